#include "editor/insertlyriccommand.h"

#include "editor/deletelyriccommand.h"
#include "editor/documenttab.h"
#include "editor/historywatch.h"
#include "editor/lyricedit.h"
#include "model/rendermodel.h"

#include <QTextBlock>

InsertLyricCommand::InsertLyricCommand(DocumentTab *tab, const QString &text)
    : EditCommand(tab) {
    if (text.isEmpty()) {
        return;
    }
    LyricEdit *lyric = lyricEdit();
    if (lyric->textCursor().hasSelection()) {
        tab->runCommand(new DeleteLyricCommand(tab, true, Qt::NoModifier));
    }
    QTextCursor cursor = lyric->textCursor();
    cursor.clearSelection();
    tab->setSyncing(true);
    const int p = cursor.position();
    const int before = ownedScoreLines(cursor.block().text());
    const int totalBefore = lyric->sungCharTotal();
    {
        HistoryWatch watch(lyric->document());
        cursor.beginEditBlock();
        cursor.insertText(normalizedText(text));
        cursor.endEditBlock();
        m_lyricSteps = watch.changed() ? 1 : 0;
    }
    int after = 0;
    const QTextBlock last = cursor.block();
    for (QTextBlock b = lyric->document()->findBlock(p); b.isValid(); b = b.next()) {
        after += ownedScoreLines(b.text());
        if (b == last) {
            break;
        }
    }
    const int k = lyric->scoreLineAt(p);
    m_scoreSteps = adjustScoreLines(k + 1, after - before, totalBefore) ? 1 : 0;
    lyric->setTextCursor(cursor);
    tab->setSyncing(false);
    tab->lyricCursorPositionChanged();
}

void InsertLyricCommand::replay(bool undo) {
    replayLyricSteps(undo, m_lyricSteps, m_scoreSteps);
}

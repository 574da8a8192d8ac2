#include "editor/deletelyriccommand.h"

#include "editor/documenttab.h"
#include "editor/historywatch.h"
#include "editor/lyricedit.h"

#include <QTextBlock>

DeleteLyricCommand::DeleteLyricCommand(DocumentTab *tab, bool backward,
                                       Qt::KeyboardModifiers modifiers)
    : EditCommand(tab) {
    LyricEdit *lyric = lyricEdit();
    QTextCursor cursor = lyric->textCursor();
    if (!cursor.hasSelection()) {
        const bool ctrl = modifiers == Qt::ControlModifier;
        if (backward) {
            cursor.movePosition(ctrl ? QTextCursor::StartOfBlock : QTextCursor::PreviousCharacter,
                                QTextCursor::KeepAnchor);
        } else {
            cursor.movePosition(ctrl ? QTextCursor::EndOfBlock : QTextCursor::NextCharacter,
                                QTextCursor::KeepAnchor);
        }
    }
    if (!cursor.hasSelection()) {
        return;
    }
    tab->setSyncing(true);
    const QTextDocument *doc = lyric->document();
    const QTextBlock lastBlock = doc->findBlock(cursor.selectionEnd());
    int before = 0;
    for (QTextBlock b = doc->findBlock(cursor.selectionStart()); b.isValid(); b = b.next()) {
        before += ownedScoreLines(b.text());
        if (b == lastBlock) {
            break;
        }
    }
    const int totalBefore = lyric->sungCharTotal();
    {
        HistoryWatch watch(lyric->document());
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        cursor.endEditBlock();
        m_lyricSteps = watch.changed() ? 1 : 0;
    }
    const int after = ownedScoreLines(cursor.block().text());
    const int k = lyric->scoreLineAt(cursor.position());
    m_scoreSteps = adjustScoreLines(k + 1, after - before, totalBefore) ? 1 : 0;
    lyric->setTextCursor(cursor);
    tab->setSyncing(false);
    tab->lyricCursorPositionChanged();
}

void DeleteLyricCommand::replay(bool undo) {
    replayLyricSteps(undo, m_lyricSteps, m_scoreSteps);
}

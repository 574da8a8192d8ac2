#include "editor/pastelyriccommand.h"

#include "editor/deletelyriccommand.h"
#include "editor/documenttab.h"
#include "editor/historywatch.h"
#include "editor/insertlyriccommand.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "model/clipboardrecord.h"
#include "model/linegrammar.h"
#include "model/rendermodel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>

namespace {

// One score line's text from a clipboard record: a record from elsewhere might
// carry line breaks, which would add score lines.
QString singleLine(const QString &score) {
    QString s = normalizedText(score);
    s.remove(QLatin1Char('\n'));
    return s;
}

// A pasted character's score line, inserted as score line n. firstOwner: the
// score's one line belonged to no character yet; it becomes this one's.
void insertScoreLine(QTextCursor *scoreCursor, int n, const QString &text, bool firstOwner) {
    const QTextDocument *scoreDoc = scoreCursor->document();
    if (firstOwner) {
        scoreCursor->setPosition(0);
        scoreCursor->insertText(text);
    } else if (n < scoreDoc->blockCount()) {
        scoreCursor->setPosition(scoreDoc->findBlockByNumber(n).position());
        scoreCursor->insertText(text + QLatin1Char('\n'));
    } else {
        scoreCursor->movePosition(QTextCursor::End);
        scoreCursor->insertText(QLatin1Char('\n') + text);
    }
}

} // namespace

PasteLyricCommand::PasteLyricCommand(DocumentTab *tab)
    : EditCommand(tab) {
    LyricEdit *lyric = lyricEdit();
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (!mime) {
        return;
    }
    const QString recordType = QString::fromLatin1(lyricScoreMimeType);
    const bool hasRecord = mime->hasFormat(recordType);
    if (!hasRecord && (!mime->hasText() || mime->text().isEmpty())) {
        return;
    }
    if (lyric->textCursor().hasSelection()) {
        tab->runCommand(new DeleteLyricCommand(tab, true, Qt::NoModifier));
    }
    if (!hasRecord) {
        tab->runCommand(new InsertLyricCommand(tab, mime->text()));
        return;
    }

    pasteRecord(mime->data(recordType));
}

// A lyric-score record: its characters inserted one at a time at the lyric
// cursor, each sung one with its score line.
void PasteLyricCommand::pasteRecord(const QByteArray &record) {
    DocumentTab *tab = this->tab();
    LyricEdit *lyric = lyricEdit();
    QStringList lyricList;
    QStringList scoreList;
    decodeClipboard(record, &lyricList, &scoreList);

    QTextCursor cursor = lyric->textCursor();
    cursor.clearSelection();
    QTextDocument *lyricDoc = lyric->document();
    QTextDocument *scoreDoc = scoreEdit()->document();
    tab->setSyncing(true);
    HistoryWatch lyricWatch(lyricDoc);
    HistoryWatch scoreWatch(scoreDoc);
    QTextCursor scoreCursor(scoreDoc);
    scoreCursor.beginEditBlock();

    const bool wasDirective = isDirectiveLine(cursor.block().text());
    const QString tail = cursor.block().text().mid(cursor.positionInBlock());
    // The sung characters that own a score line. A tail that turns sung
    // again counts only once it gets its lines, at the end.
    int owned = lyric->sungCharTotal();
    for (int i = 0; i < lyricList.size(); ++i) {
        const QString score = singleLine(scoreList.value(i));
        bool scoreUsed = false;
        // One character at a time, so that each sung character of an entry
        // from elsewhere still gets a score line of its own. The lyric edits
        // form one step of the lyric history: each is joined to the first,
        // and closing each lets the pairing index see it.
        for (const QString &piece : splitCharacters(normalizedText(lyricList.at(i)))) {
            if (lyricWatch.changed()) {
                cursor.joinPreviousEditBlock();
            } else {
                cursor.beginEditBlock();
            }
            cursor.insertText(piece);
            cursor.endEditBlock();
            if (piece.size() != 1 || !isSungChar(piece.at(0)) ||
                isDirectiveLine(cursor.block().text())) {
                continue;
            }
            const QString text = scoreUsed ? QString() : score;
            scoreUsed = true;
            const int n = lyric->scoreLineAt(cursor.position());
            const bool firstOwner = owned++ == 0 && scoreDoc->blockCount() == 1;
            insertScoreLine(&scoreCursor, n, text, firstOwner);
        }
    }
    const bool nowDirective = isDirectiveLine(cursor.block().text());
    if (nowDirective != wasDirective) {
        const int k = lyric->scoreLineAt(cursor.position());
        const int m = sungCharCount(tail);
        adjustScoreLines(k + 1, nowDirective ? -m : m, owned);
    }
    scoreCursor.endEditBlock();
    m_lyricSteps = lyricWatch.changed() ? 1 : 0;
    m_scoreSteps = scoreWatch.changed() ? 1 : 0;
    lyric->setTextCursor(cursor);
    tab->setSyncing(false);
    tab->lyricCursorPositionChanged();
}

void PasteLyricCommand::replay(bool undo) {
    replayLyricSteps(undo, m_lyricSteps, m_scoreSteps);
}

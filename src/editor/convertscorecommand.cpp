#include "editor/convertscorecommand.h"

#include "editor/historywatch.h"
#include "editor/scoreedit.h"
#include "model/ordinarygongche.h"

#include <QTextCursor>

ConvertScoreCommand::ConvertScoreCommand(DocumentTab *tab, const QVector<QPair<int, int>> &ranges)
    : EditCommand(tab) {
    ScoreEdit *score = scoreEdit();
    QTextCursor cursor(score->document());
    HistoryWatch watch(score->document());
    cursor.beginEditBlock();
    int shift = 0; // how much the ranges converted so far grew or shrank
    int end = score->textCursor().position();
    for (const auto &range : ranges) {
        cursor.setPosition(range.first + shift);
        cursor.setPosition(range.second + shift, QTextCursor::KeepAnchor);
        const QString before = cursor.selectedText();
        const QString after = OrdinaryGongche::toSymbols(before);
        if (after != before) {
            cursor.insertText(after);
        }
        shift += after.size() - before.size();
        end = range.second + shift;
    }
    cursor.endEditBlock();
    m_changed = watch.changed();
    if (m_changed) {
        QTextCursor c = score->textCursor();
        c.setPosition(end);
        score->setTextCursor(c);
    }
}

void ConvertScoreCommand::replay(bool undo) {
    replayScoreStep(undo);
}

#include "editor/insertscorecommand.h"

#include "editor/deletescorecommand.h"
#include "editor/historywatch.h"
#include "editor/qorveledit.h"
#include "editor/scoreedit.h"

InsertScoreCommand::InsertScoreCommand(QorvelEdit *tab, const QString &text,
                                       Qt::KeyboardModifiers modifiers)
    : EditCommand(tab) {
    if (text.isEmpty()) {
        return;
    }
    ScoreEdit *score = scoreEdit();
    const int start = score->textCursor().selectionStart();
    if (score->textCursor().hasSelection()) {
        tab->runCommand(new DeleteScoreCommand(tab, true, Qt::NoModifier));
    }
    QTextCursor cursor(score->document());
    HistoryWatch watch(score->document());
    cursor.beginEditBlock();
    cursor.setPosition(start);
    if (modifiers == Qt::ShiftModifier) {
        cursor.insertText(text);
    } else {
        // Every kind of line break means "the next score line", so that no
        // text from elsewhere can add lines.
        const QStringList parts = normalizedLineBreaks(text).split(QLatin1Char('\n'));
        for (int i = 0; i < parts.size(); ++i) {
            if (!parts.at(i).isEmpty()) {
                cursor.insertText(parts.at(i));
            }
            if (i + 1 < parts.size()) {
                cursor.movePosition(QTextCursor::NextBlock);
            }
        }
    }
    cursor.endEditBlock();
    m_changed = watch.changed();
    score->setTextCursor(cursor);
}

void InsertScoreCommand::replay(bool undo) {
    replayScoreStep(undo);
}

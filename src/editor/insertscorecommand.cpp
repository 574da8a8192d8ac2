#include "editor/insertscorecommand.h"

#include "editor/deletescorecommand.h"
#include "editor/documenttab.h"
#include "editor/historywatch.h"
#include "editor/scoreedit.h"
#include "model/rendermodel.h"

InsertScoreCommand::InsertScoreCommand(DocumentTab *tab, const QString &text,
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
    // Undoing puts the editor's cursor back where the block began.
    cursor.setPosition(start);
    cursor.beginEditBlock();
    if (modifiers == Qt::ShiftModifier) {
        const int from = cursor.position();
        cursor.insertText(text);
        m_ranges.append({from, cursor.position()});
    } else {
        // Every kind of line break means "the next score line", so that no
        // text from elsewhere can add lines.
        const QStringList parts = normalizedText(text).split(QLatin1Char('\n'));
        for (int i = 0; i < parts.size(); ++i) {
            if (!parts.at(i).isEmpty()) {
                const int from = cursor.position();
                cursor.insertText(parts.at(i));
                m_ranges.append({from, cursor.position()});
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

#include "editor/deletescorecommand.h"

#include "editor/documenttab.h"
#include "editor/historywatch.h"
#include "editor/scoreedit.h"

#include <QTextBlock>

DeleteScoreCommand::DeleteScoreCommand(DocumentTab *tab, bool backward,
                                       Qt::KeyboardModifiers modifiers)
    : EditCommand(tab) {
    ScoreEdit *score = scoreEdit();
    QTextCursor cursor = score->textCursor();
    const bool shift = modifiers == Qt::ShiftModifier;
    const bool ctrl = modifiers == Qt::ControlModifier;
    if (!cursor.hasSelection()) {
        if (shift) {
            cursor.movePosition(backward ? QTextCursor::PreviousCharacter
                                         : QTextCursor::NextCharacter,
                                QTextCursor::KeepAnchor);
        } else if (backward) {
            if (cursor.atBlockStart()) {
                cursor.movePosition(QTextCursor::PreviousCharacter);
                score->setTextCursor(cursor);
                return;
            }
            cursor.movePosition(ctrl ? QTextCursor::StartOfBlock : QTextCursor::PreviousCharacter,
                                QTextCursor::KeepAnchor);
        } else {
            if (cursor.atBlockEnd()) {
                cursor.movePosition(QTextCursor::NextCharacter);
                score->setTextCursor(cursor);
                return;
            }
            cursor.movePosition(ctrl ? QTextCursor::EndOfBlock : QTextCursor::NextCharacter,
                                QTextCursor::KeepAnchor);
        }
    }
    if (!cursor.hasSelection()) {
        return;
    }
    HistoryWatch watch(score->document());
    if (shift) {
        cursor.beginEditBlock();
        cursor.removeSelectedText();
        cursor.endEditBlock();
        m_changed = watch.changed();
        score->setTextCursor(cursor);
        return;
    }
    tab->setSyncing(true);
    const int position = cursor.position();
    const bool backwardSelection = cursor.position() < cursor.anchor();
    const QTextDocument *doc = score->document();
    const int firstLine = doc->findBlock(cursor.selectionStart()).blockNumber();
    const int lastLine = doc->findBlock(cursor.selectionEnd()).blockNumber();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    cursor.insertText(QString(lastLine - firstLine, QLatin1Char('\n')));
    cursor.endEditBlock();
    score->setTextCursor(cursor);
    m_changed = watch.changed();
    if (backwardSelection) {
        cursor.setPosition(position);
        score->setTextCursor(cursor);
    }
    tab->setSyncing(false);
    tab->scoreCursorPositionChanged();
}

void DeleteScoreCommand::replay(bool undo) {
    replayScoreStep(undo);
}

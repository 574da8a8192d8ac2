#pragma once

#include "editor/editcommand.h"

#include <QPair>
#include <QVector>
#include <Qt>

// Inserts text at the score cursor. Each line of a multi-line text goes to the
// start of the next existing score line, so no line is added; with exactly
// Shift the text goes in unchanged and may add lines.
class InsertScoreCommand : public EditCommand {
public:
    InsertScoreCommand(DocumentTab *tab, const QString &text, Qt::KeyboardModifiers modifiers);

    bool hasEdits() const override { return m_changed; }
    // Where the text went: one range of score positions per inserted piece.
    const QVector<QPair<int, int>> &insertedRanges() const { return m_ranges; }

protected:
    void replay(bool undo) override;

private:
    bool m_changed = false;
    QVector<QPair<int, int>> m_ranges;
};

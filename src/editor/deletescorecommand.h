#pragma once

#include "editor/editcommand.h"

#include <Qt>

// Deletes score text and keeps the number of score lines: at a line's edge it
// only moves the cursor, and a selection across lines leaves its lines empty.
// With exactly Shift it deletes like a plain editor, line breaks included.
class DeleteScoreCommand : public EditCommand {
public:
    DeleteScoreCommand(DocumentTab *tab, bool backward, Qt::KeyboardModifiers modifiers);

    bool hasEdits() const override { return m_changed; }

protected:
    void replay(bool undo) override;

private:
    bool m_changed = false;
};

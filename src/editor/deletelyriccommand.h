#pragma once

#include "editor/editcommand.h"

#include <Qt>

// Deletes the lyric selection, or without one the character (with Ctrl: the
// rest of the line) before or after the cursor, and removes or adds the score
// lines whose sung characters went or came.
class DeleteLyricCommand : public EditCommand {
public:
    DeleteLyricCommand(DocumentTab *tab, bool backward, Qt::KeyboardModifiers modifiers);

    bool hasEdits() const override { return m_lyricSteps + m_scoreSteps > 0; }

protected:
    void replay(bool undo) override;

private:
    int m_lyricSteps = 0;
    int m_scoreSteps = 0;
};

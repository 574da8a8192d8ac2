#pragma once

#include "editor/editcommand.h"

// Inserts text at the lyric cursor (replacing the selection by a separate
// deletion first) and gives each new sung character an empty score line right
// after the score line of the last sung character before it.
class InsertLyricCommand : public EditCommand {
public:
    InsertLyricCommand(DocumentTab *tab, const QString &text);

    bool hasEdits() const override { return m_lyricSteps + m_scoreSteps > 0; }

protected:
    void replay(bool undo) override;

private:
    int m_lyricSteps = 0;
    int m_scoreSteps = 0;
};

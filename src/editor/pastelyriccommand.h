#pragma once

#include "editor/editcommand.h"

// Pastes the clipboard at the lyric cursor. A lyric-score record brings each
// sung character's score line along; plain text becomes a separate insertion.
class PasteLyricCommand : public EditCommand {
public:
    PasteLyricCommand(DocumentTab *tab);

    bool hasEdits() const override { return m_lyricSteps + m_scoreSteps > 0; }

protected:
    void replay(bool undo) override;

private:
    void pasteRecord(const QByteArray &record);

    int m_lyricSteps = 0;
    int m_scoreSteps = 0;
};

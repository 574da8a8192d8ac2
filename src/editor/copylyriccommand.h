#pragma once

#include "editor/editcommand.h"

// Puts the lyric selection on the clipboard, as a lyric-score record (each
// character with its paired score line) and as plain text. Never pushed.
class CopyLyricCommand : public EditCommand {
public:
    explicit CopyLyricCommand(DocumentTab *tab);

    bool hasEdits() const override { return false; }
};

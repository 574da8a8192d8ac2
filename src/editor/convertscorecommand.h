#pragma once

#include "editor/editcommand.h"

#include <QPair>
#include <QVector>

// Turns gongche written as ordinary characters (上尺工 …) into the symbols of
// the gongche font, within the given ranges of score positions: the text
// just inserted. Its own step on the undo stack, so that one undo gives back
// the text as it was typed or pasted.
class ConvertScoreCommand : public EditCommand {
public:
    ConvertScoreCommand(DocumentTab *tab, const QVector<QPair<int, int>> &ranges);

    bool hasEdits() const override { return m_changed; }

protected:
    void replay(bool undo) override;

private:
    bool m_changed = false;
};

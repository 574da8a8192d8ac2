#pragma once

#include <QPlainTextEdit>

class QPaintEvent;

// A plain-text editor with a gutter on its left edge that shows one label per
// line: the lyric editor labels each line's kind, the score editor each score
// line's sung character.
class GutteredEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

    // The label beside line blockNumber.
    virtual QString gutterLabel(int blockNumber) const = 0;

protected:
    // Paints the labels of the visible lines into gutter, each centred in a
    // cell width wide and as high as a line of the editor's own font.
    void paintGutterLabels(QWidget *gutter, QPaintEvent *event, int width, const QColor &pen,
                           const QColor &background, const QFont &font);
    // Puts gutter along the left edge of the contents, width wide.
    void placeGutter(QWidget *gutter, int width);
};

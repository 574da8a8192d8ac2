#pragma once

#include <QPair>
#include <QPlainTextEdit>
#include <QVector>

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

    // Marks what sounds during playback: a tinted box around each range of
    // document positions [first, second), drawn over the text without
    // touching it, its cursor or its selections; and scrolls the first
    // range into view when it is outside. Empty clears.
    void setPlayingMarks(const QVector<QPair<int, int>> &ranges);
    const QVector<QPair<int, int>> &playingMarks() const { return m_playingMarks; }

    static const QColor playingColor;

protected:
    // Paints the labels of the visible lines into gutter, each centred in a
    // cell width wide and as high as a line of the editor's own font.
    void paintGutterLabels(QWidget *gutter, QPaintEvent *event, int width, const QColor &pen,
                           const QColor &background, const QFont &font);
    // Puts gutter along the left edge of the contents, width wide.
    void placeGutter(QWidget *gutter, int width);

    void paintEvent(QPaintEvent *event) override;

private:
    // The box of the characters from position first to second, in viewport
    // coordinates: one per visual line they cover.
    QVector<QRect> rangeRects(int first, int second) const;

    QVector<QPair<int, int>> m_playingMarks;
};

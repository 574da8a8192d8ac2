#pragma once

#include <QMetaType>
#include <QRectF>
#include <QVector>

// Where something drawn on a score page came from: a sung character of the
// lyric text, or one gongche symbol of the score drawn beside it. The
// typesetter records one for each as it draws them (Typesetter::sourceAreas),
// so that a view of the page can find a character again, or tell what lies
// under a point. Nothing of it is drawn.
//
// rect is in the page's own units (points) with the origin at the top-left
// corner of the whole page, margins included: the coordinates in which
// Typesetter::paintPage draws and the SVG page's view box is given. A
// character's rect is its cell in the column; a symbol's rect is the
// bounding box of its ink, turned with the score.
struct SourceArea {
    enum Kind { Character, Symbol };

    Kind kind = Character;
    // The index of the page the area is on.
    int page = -1;
    QRectF rect;
    // The sung character: its index among all sung characters of the
    // document, which is also the index of its score line (as the render
    // model pairs them).
    int character = -1;
    // The lyric line the character stands in (the index of its DocumentLine,
    // that is its line in the lyric editor) and its UTF-16 position there.
    int lyricLine = -1;
    int position = -1;
    // For a Symbol, the index of the symbol in the character's score line:
    // the score is drawn two UTF-16 units (one gongche symbol) at a time, so
    // symbol k is units 2k and 2k + 1 of the line. -1 for a Character.
    int symbol = -1;

    bool operator==(const SourceArea &o) const {
        return kind == o.kind && page == o.page && rect == o.rect && character == o.character &&
               lyricLine == o.lyricLine && position == o.position && symbol == o.symbol;
    }
    bool operator!=(const SourceArea &o) const { return !(*this == o); }
};

Q_DECLARE_TYPEINFO(SourceArea, Q_MOVABLE_TYPE);
Q_DECLARE_METATYPE(SourceArea)

using SourceAreas = QVector<SourceArea>;

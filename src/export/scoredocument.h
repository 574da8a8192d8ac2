#pragma once

#include "model/documentline.h"

#include <QString>

// The render model of a score read from its two texts, without an editor: one
// DocumentLine per lyric line, each sung character of a Lyric line paired with
// its score line.
class ScoreDocument {
public:
    // Pairs as the document tab does: the i-th sung character of the lyric
    // text (counting only lines that are not directive lines) owns score line
    // i. In a Lyric line every character gets one scores entry (a surrogate
    // pair is one character): for a character matching the Lyric pattern the
    // score line of the last sung character up to and including it, else "".
    // A score line that does not exist gives "".
    static DocumentLines fromTexts(const QString &lyric, const QString &score);
};

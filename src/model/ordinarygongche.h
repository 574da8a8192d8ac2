#pragma once

#include <QString>

// Gongche written as ordinary characters, as a system input method or a web
// page gives them: 上尺工 for the pitches, 仩 伬 仜 伍 亿 for the high forms
// written with 亻, and the marks 、 ○ ● × that editions print for the beats.
// Turned into the symbols of the gongche font: the middle octave, plain form.
class OrdinaryGongche {
public:
    // The symbol an ordinary character stands for, or 0.
    static char32_t symbolFor(QChar c);
    // Whether text holds any pitch written as an ordinary character: such
    // text is a score in ordinary characters.
    static bool hasOrdinaryPitch(const QString &text);
    // text with every ordinary gongche character turned into its symbol;
    // spaces and the punctuation marks that have no symbol dropped; line
    // breaks, symbols and every other character kept as they are.
    static QString toSymbols(const QString &text);
    // Whether a character of a score line is one a score may hold: a gongche
    // symbol (either half of its surrogate pair) or white space.
    static bool isScoreCharacter(const QString &text, int index);
};

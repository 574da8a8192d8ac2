#pragma once

#include "model/gongchesymbol.h"

#include <QString>
#include <QVector>

// A turn of melody as the library searches it: a sequence of pitch classes,
// whatever the octave form (合≡六, 四≡五, 一≡乙, the high and low forms), the
// small and 气口 series, and the beat marks and ornaments between the signs.
// Pitch classes count semitones from 上, folded to one octave: 上 0, 尺 2,
// 工 4, 凡 5, 六 7, 五 9, 乙 11.
//
// Sequences are kept as keys, one letter per element, so that a phrase is a
// substring of a melody: the pitch key writes class c as 'a' + c; the step
// key writes the step from each pitch to the next, folded to 0–11, the same
// way, so that a turn is found in any key (工尺上 ~ 五六凡). Separator marks a
// break that no phrase crosses (between tunes).
class PitchPhrase {
public:
    static constexpr QChar Separator = QLatin1Char('|');

    // The pitch class of a pitch sign; -1 for anything else.
    static int pitchClass(const GongcheSymbol &symbol);
    // The pitch class of a pitch name written as an ordinary character
    // (合四一上尺工凡六五乙 and the high forms with 亻); -1 for anything else.
    static int pitchClassOfName(QChar c);

    // The pitches of a phrase typed or pasted: plain pitch names and pitch
    // signs count; beat marks, ornaments, the ordinary beat marks 、○●×,
    // spaces and punctuation between them are passed over. Any other
    // character makes the phrase invalid: the result is empty and bad (when
    // given) is that character.
    static QVector<int> parse(const QString &text, QString *bad = nullptr);

    // The pitch key of a sequence, and its step key (one letter fewer).
    static QString pitchKey(const QVector<int> &classes);
    static QString stepKey(const QVector<int> &classes);
    // The step key of a pitch key of the same length: at i the step from i to
    // i + 1, Separator where no step follows (at a separator or the end).
    static QString stepsOfPitchKey(const QString &pitchKey);

    // The plain names of a pitch key, 合 … 乙 spelled in the middle octave
    // (上尺工凡六五乙), for showing what was found.
    static QString names(const QString &pitchKey);

    // Every start of needle in haystack, overlapping ones included.
    static QVector<int> occurrences(const QString &haystack, const QString &needle);
};

#pragma once

#include "model/documentline.h"
#include "music/melody.h"
#include "music/musicrules.h"
#include "music/tunesettings.h"

#include <QVector>

namespace music {

// Turns the render model of a document into a Melody: pitches in the key of
// the 笛色, times from the 板眼 in the meter of each tune, ornaments as grace
// notes, and the problems a checker reports. Deterministic; no widgets.
//
// A tune is a 曲牌 heading line and the lines after it up to the next heading;
// the lines before the first heading are a tune of their own. Each tune is
// built on its own from the settings in force at its start, so an editor can
// rebuild only the tune a keystroke touched: build() is exactly the tunes'
// buildTune() results joined by append().
class MelodyBuilder {
public:
    // Where a tune lies in a document.
    struct Tune {
        int firstLine = 0; // lyric line of its heading (or 0)
        int lineCount = 0;
        int firstCharacter = 0; // sung index of its first sung character
        bool operator==(const Tune &o) const {
            return firstLine == o.firstLine && lineCount == o.lineCount &&
                   firstCharacter == o.firstCharacter;
        }
    };

    explicit MelodyBuilder(const MusicRules &rules = MusicRules());

    const MusicRules &rules() const { return m_rules; }
    // The settings at the top of a document.
    TuneSettings initialSettings() const { return m_rules.start; }

    Melody build(const DocumentLines &lines) const;

    // One tune on its own: tuneLines are its lines (a heading first, except
    // for the part before the first heading), settings those in force at its
    // first line. Times start at 0; places are absolute: lyric line
    // firstLyricLine + i, score line firstCharacter + j for its j-th sung
    // character. The tune takes the settings in force at its first sung line;
    // annotations after that hold from the next tune on.
    Melody buildTune(const DocumentLines &tuneLines, int firstLyricLine, int firstCharacter,
                     const TuneSettings &settings) const;

    // The settings after the annotation lines of lines, starting from before;
    // malformed items reported to problems (lyric line firstLyricLine + i).
    static TuneSettings settingsAfter(const DocumentLines &lines, TuneSettings before,
                                      QVector<Problem> *problems = nullptr, int firstLyricLine = 0,
                                      const MusicRules &rules = MusicRules::defaults());

    // The tunes of a document, in order; none for a document without lines.
    static QVector<Tune> tunes(const DocumentLines &lines);
    // The sung characters of lines (those that own score lines).
    static int sungCharacters(const DocumentLines &lines);
    // Appends a tune built from 0 to a melody: its times moved to the
    // melody's end, its note indices to the melody's note count.
    static void append(Melody *melody, const Melody &tune);

private:
    MusicRules m_rules;
};

} // namespace music

#pragma once

#include "music/melody.h"

#include <optional>

namespace music {

// What one press of play hears: the stretch of a melody from a sung character
// on (to another, for a loop), moved to start at tick 0, in another 笛色 or
// octave when asked, and after a measure of count-in clicks when asked.
// The notes keep their characters and places, so that whoever plays the
// excerpt can show which character sounds. No widgets.
class PlaybackExcerpt {
public:
    struct Request {
        int fromCharacter = 0;     // the sung character to start at
        int toCharacter = -1;      // the last sung character played; -1 to the end
        std::optional<Key> key;    // 笛色 for this playback only
        bool keyVariant = false;   // with key: the other sources' pitch
        std::optional<int> octave; // 八度 (-1, 0, 1) for this playback only
        bool countIn = false;      // one measure of clicks before the music
    };

    // The excerpt; empty (no notes) when the request covers no note. A start
    // after the last note plays from the beginning.
    static Melody cut(const Melody &melody, const Request &request);

    // Beats of the count-in for a section: its measure, four beats for 散板.
    static int countInBeats(const Section &section);
};

} // namespace music

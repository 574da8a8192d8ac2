#pragma once

#include "music/melody.h"

#include <QString>
#include <optional>

class QSettings;

// How the user last chose to listen: kept between sessions, never in the
// score file. The key and octave overrides hold for playback only. Looping a
// selection is a way of playing, not a setting: it is not kept.
struct PlaybackSettings {
    static constexpr int minTempoPercent = 50;
    static constexpr int maxTempoPercent = 200;

    int tempoPercent = 100;
    std::optional<music::Key> key; // none: the document's 笛色
    bool keyVariant = false;       // with key: 凡字调 in E, 上字调 in B
    std::optional<int> octave;     // none: the document's 八度
    bool clicks = true;            // the 板眼 clicks
    bool countIn = false;          // one measure of clicks first
    QString soundFont;             // empty: the first standard sound font

    // Read from group "playback"; values out of range fall back to the
    // defaults, and keys no longer used are ignored.
    void read(QSettings &settings);
    // Writes group "playback", dropping the keys no longer used.
    void write(QSettings &settings) const;

    bool operator==(const PlaybackSettings &o) const;
};

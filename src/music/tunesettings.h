#pragma once

#include "music/melody.h"

namespace music {

// The settings in force at a line of the document: what the annotation lines
// (`; 笛色=小工调 板式=一板三眼 速度=60 八度=0`) above it have set. The member
// initialisers are the settings at the top of a document (MusicRules::start).
//
// 笛色, 速度 and 八度 hold until another annotation changes them, across tune
// headings. A stated 板式 holds the same way, for the tune it is read in and
// the following ones, until another 板式 annotation (板式=自动 returns to
// detecting the meter of each tune).
struct TuneSettings {
    Key key = Key::XiaoGong;
    bool keyVariant = false; // 凡字调 in E, 上字调 in B
    int tempo = 60;          // quarter beats per minute
    int octave = 0;          // -1, 0, 1
    bool meterStated = false;
    Meter meter = Meter::SanBan; // when meterStated
    bool zeng = false;           // when meterStated: 加赠

    bool operator==(const TuneSettings &o) const {
        return key == o.key && keyVariant == o.keyVariant && tempo == o.tempo &&
               octave == o.octave && meterStated == o.meterStated &&
               (!meterStated || (meter == o.meter && zeng == o.zeng));
    }
    bool operator!=(const TuneSettings &o) const { return !(*this == o); }
};

} // namespace music

#include "music/melody.h"

#include "music/musicrules.h"

namespace music {

int Section::beatsPerMeasure() const {
    return MusicRules::defaults().meterRule(meter, zeng).beats;
}

bool Section::operator==(const Section &o) const {
    return quPai == o.quPai && meter == o.meter && zeng == o.zeng &&
           meterGuessed == o.meterGuessed && key == o.key && keyVariant == o.keyVariant &&
           tempo == o.tempo && octave == o.octave && start == o.start &&
           measuredStart == o.measuredStart && firstDownbeat == o.firstDownbeat && end == o.end &&
           firstNote == o.firstNote && noteCount == o.noteCount && lyricLine == o.lyricLine;
}

} // namespace music

#pragma once

#include "music/melody.h"
#include "music/musicrules.h"

#include <QString>

namespace music {

// The 板式 of a tune whose document does not state one, read from its beat
// marks (底板 does not count: it ends a phrase in any meter):
//   a 赠板        → 加赠: 8 beats when the rest reads as 一板三眼, else 4;
//   a 中眼        → 一板三眼;
//   no marks      → 散板 (引子 and free-tempo lines);
//   only 眼       → 一板三眼;
//   else the notes per 板: from MusicRules::threeEyesNotesPerBan 一板三眼, up to
//   flowingNotesPerBan with no 眼 marked 流水板, between 一板一眼.
class MeterDetector {
public:
    struct Counts {
        int ban = 0; // 头板 and 腰板
        int xiaoYan = 0;
        int zhongYan = 0;
        int zengBan = 0;
        int diBan = 0;
        double notes = 0; // small notes count half
    };
    struct Guess {
        Meter meter = Meter::SanBan;
        bool zeng = false;
        QString reason; // why, as the checker tells it: "有中眼", "每板约 2.5 个音" …
    };

    static Guess detect(const Counts &counts, const MusicRules &rules);
};

} // namespace music

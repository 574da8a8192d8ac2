#include "music/meterdetector.h"

namespace music {

MeterDetector::Guess MeterDetector::detect(const Counts &counts, const MusicRules &rules) {
    // Under 加赠 the 赠板 is the 板 of the second plain measure.
    const int bans = counts.ban + counts.zengBan;
    const double notesPerBan = bans > 0 ? counts.notes / bans : 0.0;
    const bool threeEyes =
        counts.zhongYan > 0 || bans == 0 || notesPerBan >= rules.threeEyesNotesPerBan;
    if (counts.zengBan > 0) {
        return {threeEyes ? Meter::YiBanSanYan : Meter::YiBanYiYan, true};
    }
    if (counts.zhongYan > 0) {
        return {Meter::YiBanSanYan, false};
    }
    if (counts.ban == 0 && counts.xiaoYan == 0) {
        return {Meter::SanBan, false};
    }
    if (threeEyes) {
        return {Meter::YiBanSanYan, false};
    }
    if (counts.xiaoYan == 0 && notesPerBan <= rules.flowingNotesPerBan) {
        return {Meter::LiuShui, false};
    }
    return {Meter::YiBanYiYan, false};
}

} // namespace music

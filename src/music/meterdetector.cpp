#include "music/meterdetector.h"

namespace music {

MeterDetector::Guess MeterDetector::detect(const Counts &counts, const MusicRules &rules) {
    // Under 加赠 the 赠板 is the 板 of the second plain measure.
    const int bans = counts.ban + counts.zengBan;
    const double notesPerBan = bans > 0 ? counts.notes / bans : 0.0;
    const bool threeEyes =
        counts.zhongYan > 0 || bans == 0 || notesPerBan >= rules.threeEyesNotesPerBan;
    const QString perBan =
        QStringLiteral("每板约 %1 个音").arg(QString::number(notesPerBan, 'f', 1));
    if (counts.zengBan > 0) {
        return {threeEyes ? Meter::YiBanSanYan : Meter::YiBanYiYan, true,
                QStringLiteral("有赠板，") +
                    (counts.zhongYan > 0 ? QStringLiteral("有中眼") : perBan)};
    }
    if (counts.zhongYan > 0) {
        return {Meter::YiBanSanYan, false, QStringLiteral("有中眼")};
    }
    if (counts.ban == 0 && counts.xiaoYan == 0) {
        return {Meter::SanBan, false,
                counts.diBan > 0 ? QStringLiteral("只有底板") : QStringLiteral("没有板眼记号")};
    }
    if (bans == 0) {
        return {Meter::YiBanSanYan, false, QStringLiteral("只有眼，没有板")};
    }
    if (threeEyes) {
        return {Meter::YiBanSanYan, false, perBan};
    }
    if (counts.xiaoYan == 0 && notesPerBan <= rules.flowingNotesPerBan) {
        return {Meter::LiuShui, false, QStringLiteral("没有眼，") + perBan};
    }
    return {Meter::YiBanYiYan, false, perBan};
}

} // namespace music

#include "music/musicrules.h"

#include <algorithm>
#include <cmath>

namespace music {

namespace {

using S = GongcheSymbol;

const QVector<int> noIndices;

// The 笛色: their names, the MIDI note of their 上 and its letter, and the
// other sources' where they disagree.
QVector<MusicRules::KeyRule> keyTable() {
    return {
        {Key::XiaoGong,
         {QStringLiteral("小工调"), QStringLiteral("小工")},
         74,
         {QStringLiteral("D")},
         74,
         {}},
        {Key::FanZi,
         {QStringLiteral("凡字调"), QStringLiteral("凡字"), QStringLiteral("凡调")},
         75,
         {QStringLiteral("E♭"), QStringLiteral("Eb")},
         76,
         {QStringLiteral("E")}},
        {Key::LiuZi,
         {QStringLiteral("六字调"), QStringLiteral("六字"), QStringLiteral("六调")},
         77,
         {QStringLiteral("F")},
         77,
         {}},
        {Key::ZhengGong,
         {QStringLiteral("正工调"), QStringLiteral("五字调"), QStringLiteral("正工"),
          QStringLiteral("五字"), QStringLiteral("五调")},
         79,
         {QStringLiteral("G")},
         79,
         {}},
        {Key::YiZi,
         {QStringLiteral("乙字调"), QStringLiteral("乙字"), QStringLiteral("乙调")},
         69,
         {QStringLiteral("A")},
         69,
         {}},
        {Key::ShangZi,
         {QStringLiteral("上字调"), QStringLiteral("上字"), QStringLiteral("上调")},
         70,
         {QStringLiteral("B♭"), QStringLiteral("Bb")},
         71,
         {QStringLiteral("B")}},
        {Key::ChiZi,
         {QStringLiteral("尺字调"), QStringLiteral("尺字"), QStringLiteral("尺调")},
         72,
         {QStringLiteral("C")},
         72,
         {}},
    };
}

// The 板式: their beats and where 板, 小眼 and 中眼 fall.
QVector<MusicRules::MeterRule> meterTable() {
    MusicRules::MeterRule sanYan;
    sanYan.meter = Meter::YiBanSanYan;
    sanYan.names = QStringList{QStringLiteral("一板三眼")};
    sanYan.beats = 4;
    sanYan.ban = {0};
    sanYan.xiaoYan = {1, 3}; // 头眼 or 末眼
    sanYan.zhongYan = {2};
    sanYan.doublable = true;

    MusicRules::MeterRule yiYan;
    yiYan.meter = Meter::YiBanYiYan;
    yiYan.names = QStringList{QStringLiteral("一板一眼")};
    yiYan.beats = 2;
    yiYan.ban = {0};
    yiYan.xiaoYan = {1}; // its one 眼, whichever sign is written
    yiYan.zhongYan = {1};
    yiYan.doublable = true;

    MusicRules::MeterRule liuShui;
    liuShui.meter = Meter::LiuShui;
    liuShui.names = QStringList{QStringLiteral("流水板"), QStringLiteral("有板无眼")};
    liuShui.beats = 1;
    liuShui.ban = {0};

    MusicRules::MeterRule sanBan;
    sanBan.meter = Meter::SanBan;
    sanBan.names = QStringList{QStringLiteral("散板")};

    return {sanYan, yiYan, liuShui, sanBan};
}

// How each 腔 is played, in scale steps around its note.
QVector<MusicRules::OrnamentRule> ornamentTable() {
    return {
        // 豁腔: the next scale step up, at the end of the note.
        {S::Ornament::HuoQiang, {}, {1}, false},
        // 擻腔: the note, then its upper neighbour and the note twice, in the
        // last half beat of a note of two beats or more, else the last quarter.
        {S::Ornament::SouQiang,
         {},
         {1, 0, 0},
         false,
         ticksPerBeat / 2,
         ticksPerBeat / 4,
         2 * ticksPerBeat,
         true},
        // 疊腔: the note struck again, its lower neighbour before it.
        {S::Ornament::DieQiang, {}, {-1, 0}, false},
        {S::Ornament::DieQiangQiKou, {}, {-1, 0}, true},
        // 带腔撮腔: the upper neighbour before the note.
        {S::Ornament::DaiQiangCuoQiang, {1}, {}, false},
    };
}

} // namespace

MusicRules::MusicRules()
    // 合 四 一 上 尺 工 凡 六 五 乙
    : pitchSemitones{-5, -3, -1, 0, 2, 4, 5, 7, 9, 11} // low, middle, high (亻), double high (彳)
    , octaveSemitones{-12, 0, 12, 24} {
    keys = keyTable();
    meters = meterTable();
    zengPrefixes = QStringList{QStringLiteral("加赠"), QStringLiteral("赠板")};
    automaticMeterNames = QStringList{QStringLiteral("自动"), QStringLiteral("推测")};

    oneBeatShares = {{8}, {4, 4}, {4, 2, 2}, {2, 2, 2, 2}};
    writableShares = {8, 6, 4, 3, 2, 1};
    sentenceEnds = QStringLiteral("。！？!?");

    ornaments = ornamentTable();
}

const MusicRules &MusicRules::defaults() {
    static const MusicRules rules;
    return rules;
}

const QVector<int> &MusicRules::MeterRule::indices(GongcheSymbol::Beat beat) const {
    switch (beat) {
    case S::Beat::Ban:
        return ban;
    case S::Beat::XiaoYan:
        return xiaoYan;
    case S::Beat::ZhongYan:
        return zhongYan;
    case S::Beat::ZengBan:
        return zengBan;
    }
    return noIndices;
}

QVector<int> MusicRules::MeterRule::strongIndices() const {
    QVector<int> out = ban + zengBan;
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

const MusicRules::KeyRule *MusicRules::keyRule(Key key) const {
    for (const KeyRule &k : keys) {
        if (k.key == key) {
            return &k;
        }
    }
    return nullptr;
}

int MusicRules::shangMidi(Key key, bool variant) const {
    const KeyRule *k = keyRule(key);
    if (!k) {
        return 74;
    }
    return variant && k->hasVariant() ? k->variantShangMidi : k->shangMidi;
}

QString MusicRules::keyName(Key key, bool variant) const {
    const KeyRule *k = keyRule(key);
    if (!k || k->names.isEmpty()) {
        return QString();
    }
    if (variant && k->hasVariant()) {
        return QStringLiteral("%1(%2)").arg(k->names.first(), k->variantLetters.first());
    }
    return k->names.first();
}

MusicRules::MeterRule MusicRules::meterRule(Meter meter, bool zeng) const {
    const MeterRule *plain = nullptr;
    for (const MeterRule &m : meters) {
        if (m.meter == meter) {
            plain = &m;
            break;
        }
    }
    MeterRule out;
    out.meter = meter;
    if (!plain) {
        return out;
    }
    if (!zeng) {
        return *plain;
    }
    if (!plain->doublable || plain->beats <= 0) {
        out.names = plain->names;
        return out;
    }
    // The doubled measure: its 板, the 赠板 inside it, and the 眼 of the plain
    // measure after each of the two.
    const int beats = 2 * plain->beats;
    const int at = std::clamp(int(std::lround(zengBanAt * beats)), 1, beats - 1);
    out.zeng = true;
    out.beats = beats;
    for (const QString &prefix : zengPrefixes) {
        for (const QString &name : plain->names) {
            out.names.append(prefix + name);
        }
    }
    out.ban = {0};
    out.zengBan = {at};
    const auto repeat = [beats, at](const QVector<int> &eyes) {
        QVector<int> r;
        for (int start : {0, at}) {
            for (int e : eyes) {
                if (start + e < beats && start + e != at && start + e != 0) {
                    r.append(start + e);
                }
            }
        }
        std::sort(r.begin(), r.end());
        r.erase(std::unique(r.begin(), r.end()), r.end());
        return r;
    };
    out.xiaoYan = repeat(plain->xiaoYan);
    out.zhongYan = repeat(plain->zhongYan);
    return out;
}

QString MusicRules::meterName(Meter meter, bool zeng) const {
    const MeterRule rule = meterRule(meter, zeng);
    return rule.names.isEmpty() ? QString() : rule.names.first();
}

int MusicRules::semitones(const GongcheSymbol &pitch) const {
    return pitchSemitones[size_t(pitch.pitchName())] +
           octaveSemitones[size_t(int(pitch.octave()) + 1)];
}

int MusicRules::midi(int semitonesFromShang, Key key, bool variant, int octave) const {
    return shangMidi(key, variant) + semitonesFromShang + 12 * octave;
}

int MusicRules::scaleStep(int semitonesFromShang, int steps) const {
    // The pitch classes of the ten names: one octave of the scale.
    QVector<int> scale;
    for (int s : pitchSemitones) {
        scale.append(s);
    }
    return scaleStep(semitonesFromShang, steps, scale);
}

int MusicRules::scaleStep(int semitonesFromShang, int steps, QVector<int> scale) {
    for (int &pc : scale) {
        pc = ((pc % 12) + 12) % 12;
    }
    std::sort(scale.begin(), scale.end());
    scale.erase(std::unique(scale.begin(), scale.end()), scale.end());
    if (scale.isEmpty()) {
        return semitonesFromShang;
    }
    const int size = scale.size();
    const int octave =
        semitonesFromShang >= 0 ? semitonesFromShang / 12 : -((-semitonesFromShang + 11) / 12);
    const int pc = semitonesFromShang - 12 * octave;
    int degree = 0;
    for (int i = 0; i < size; ++i) {
        if (scale.at(i) <= pc) {
            degree = i;
        }
    }
    const int target = degree + steps;
    const int targetOctave = target >= 0 ? target / size : -((-target + size - 1) / size);
    return 12 * (octave + targetOctave) + scale.at(target - targetOctave * size);
}

const MusicRules::OrnamentRule *MusicRules::ornamentRule(GongcheSymbol::Ornament ornament) const {
    for (const OrnamentRule &o : ornaments) {
        if (o.ornament == ornament) {
            return &o;
        }
    }
    return nullptr;
}

} // namespace music

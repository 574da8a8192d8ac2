#include "import/importrules.h"

#include "model/linegrammar.h"

#include <algorithm>
#include <cstdlib>

namespace music {

namespace {

using S = GongcheSymbol;

int pitchClass(int midi) {
    return ((midi % 12) + 12) % 12;
}

// Semitones between two pitch classes, the short way round.
int classDistance(int a, int b) {
    const int d = std::abs(pitchClass(a) - pitchClass(b));
    return std::min(d, 12 - d);
}

} // namespace

ImportRules::ImportRules(const MusicRules &rules)
    : m_rules(rules) {
    meterRows = {
        {1, Meter::LiuShui, false},
        {2, Meter::YiBanYiYan, false},
        {4, Meter::YiBanSanYan, false},
        {8, Meter::YiBanSanYan, true},
    };
    phraseEnds = QStringLiteral("。！？!?，,；;：:");
    numerals = QStringLiteral("〇一二三四五六七八九十");
    messages.unmappedKey = QStringLiteral("%1调没有对应的笛色，已按%2记谱");
    messages.chromatic = QStringLiteral("升降音已归入最近的音级");
    messages.outOfRange = QStringLiteral("音域外的音已移八度");
    messages.meterMapped = QStringLiteral("%1拍记作%2");
    messages.meterChanged = QStringLiteral("曲中拍号改变，仍按%1记谱");
    messages.freeRhythm = QStringLiteral("没有拍号，按散板记谱，节奏不保留");
    messages.restMerged = QStringLiteral("休止已并入前一音");
    messages.unwritable = QStringLiteral("此拍节奏无法用板眼写出，已保留音高");
    messages.onsetDiffers = QStringLiteral("读回时此音的位置与原谱不同");
    messages.pitchDiffers = QStringLiteral("读回时此音的音高与原谱不同");
    messages.fermataDropped = QStringLiteral("延长记号不在板上，已略去");
    messages.nonCjkLyric = QStringLiteral("非汉字的歌词写在空格之后，不唱");
    messages.extraCharacters = QStringLiteral("一个音节有几个字：工尺只写在第一个字上");
    messages.tempoClamped = QStringLiteral("速度%1超出范围，已记作%2");

    // The Plain series in rising order, from the catalogue and the model's
    // semitones.
    for (int o = int(S::Octave::Low); o <= int(S::Octave::DoubleHigh); ++o) {
        for (int n = int(S::PitchName::He); n <= int(S::PitchName::YiHigh); ++n) {
            const auto octave = S::Octave(o);
            const auto name = S::PitchName(n);
            if (S::pitchCode(S::Series::Plain, octave, name) == 0) {
                continue;
            }
            const int semitones = m_rules.pitchSemitones[size_t(n)] +
                                  m_rules.octaveSemitones[size_t(o - int(S::Octave::Low))];
            m_degrees.append({name, octave, semitones});
        }
    }
    std::stable_sort(m_degrees.begin(), m_degrees.end(),
                     [](const Degree &a, const Degree &b) { return a.semitones < b.semitones; });
}

int ImportRules::accidentalsOf(int pc) {
    // The major key a fifth above has one sharp more: 7 semitones a step.
    for (int f = 0; f <= 6; ++f) {
        if (pitchClass(7 * f) == pitchClass(pc) || pitchClass(-7 * f) == pitchClass(pc)) {
            return f;
        }
    }
    return 6;
}

QString ImportRules::tonicName(int fifths) {
    static const QString letters = QStringLiteral("FCGDAEB");
    const int step = fifths + 1; // F is one fifth below C
    const int letter = ((step % 7) + 7) % 7;
    const int alter = (step - letter) / 7;
    QString out(letters.at(letter));
    for (int i = 0; i < std::abs(alter); ++i) {
        out += alter > 0 ? QChar(0x266F) : QChar(0x266D);
    }
    return out;
}

ImportRules::KeyChoice ImportRules::keyFor(int fifths) const {
    const int tonic = pitchClass(7 * fifths);
    KeyChoice best;
    int bestCost[3] = {99, 99, 99};
    for (const MusicRules::KeyRule &k : m_rules.keys) {
        for (bool variant : {false, true}) {
            if (variant && !k.hasVariant()) {
                continue;
            }
            const int shang = variant ? k.variantShangMidi : k.shangMidi;
            // Nearest, then fewer accidentals, then the lower 上 (a default
            // source before a variant at equal cost).
            const int below = pitchClass(shang) == pitchClass(tonic - 1) ? 0 : 1;
            const int cost[3] = {classDistance(shang, tonic), accidentalsOf(shang), below};
            if (std::lexicographical_compare(cost, cost + 3, bestCost, bestCost + 3)) {
                std::copy(cost, cost + 3, bestCost);
                best = {k.key, variant, shang, cost[0] == 0};
            }
        }
    }
    return best;
}

ImportRules::Naming ImportRules::name(int semitones) const {
    Naming out;
    if (m_degrees.isEmpty()) {
        return out;
    }
    const int lowest = m_degrees.first().semitones;
    const int highest = m_degrees.last().semitones;
    while (semitones < lowest) {
        semitones += 12;
        out.moved = true;
    }
    while (semitones > highest) {
        semitones -= 12;
        out.moved = true;
    }
    out.degree = m_degrees.first();
    for (const Degree &d : m_degrees) {
        if (d.semitones <= semitones) {
            out.degree = d;
        }
    }
    out.chromatic = out.degree.semitones != semitones;
    return out;
}

char32_t ImportRules::signOf(const Degree &degree, bool small, bool qiKou) {
    const S::Series series = small ? (qiKou ? S::Series::SmallQiKou : S::Series::Small)
                                   : (qiKou ? S::Series::QiKou : S::Series::Plain);
    return S::pitchCode(series, degree.octave, degree.name);
}

ImportRules::MeterChoice ImportRules::meterFor(int beats, int beatType) const {
    MeterChoice out;
    if (beats <= 0 || beatType <= 0) {
        return out;
    }
    const qint64 unit = qint64(4) * ticksPerBeat / beatType; // the signature's note value
    const qint64 measure = unit * beats;
    out.reported = beatType != 4;
    for (const MeterRow &row : meterRows) {
        if (measure == qint64(row.quarters) * ticksPerBeat) {
            out.meter = row.meter;
            out.zeng = row.zeng;
            return out;
        }
    }
    out.reported = true;
    const bool compound = beatType >= 8 && beats % 3 == 0;
    out.beatTicks = compound ? 3 * unit : unit;
    const int count = compound ? beats / 3 : beats;
    out.meter = Meter::LiuShui;
    for (const MeterRow &row : meterRows) {
        if (row.quarters == count) {
            out.meter = row.meter;
            out.zeng = row.zeng;
        }
    }
    return out;
}

GongcheSymbol::Beat ImportRules::markAt(const MusicRules::MeterRule &rule, int index, bool *found) {
    *found = true;
    for (S::Beat beat : {S::Beat::Ban, S::Beat::ZengBan, S::Beat::XiaoYan, S::Beat::ZhongYan}) {
        if (rule.indices(beat).contains(index)) {
            return beat;
        }
    }
    *found = false;
    return S::Beat::Ban;
}

bool ImportRules::diBanAt(const MusicRules::MeterRule &rule, int index) {
    return rule.indices(S::Beat::Ban).contains(index);
}

QString ImportRules::ordinalHeading(int ordinal) const {
    QString number;
    if (ordinal <= 10) {
        number = numerals.at(std::max(ordinal, 0));
    } else if (ordinal < 100) {
        const int tens = ordinal / 10;
        const int ones = ordinal % 10;
        number = (tens > 1 ? QString(numerals.at(tens)) : QString()) + numerals.at(10) +
                 (ones > 0 ? QString(numerals.at(ones)) : QString());
    } else {
        number = QString::number(ordinal);
    }
    return QStringLiteral("【第%1支】").arg(number);
}

QString ImportRules::headingIn(const QString &words) {
    const QString text = withoutControls(words);
    const int open = text.indexOf(QChar(0x3010));
    const int close = text.indexOf(QChar(0x3011), open + 1);
    if (open < 0 || close <= open + 1) {
        return QString();
    }
    QString heading = text.mid(open, close - open + 1);
    // A mode in brackets right after it stays: "【皂罗袍】(仙吕)".
    const QString rest = text.mid(close + 1);
    if (!rest.isEmpty() && (rest.at(0) == QLatin1Char('(') || rest.at(0) == QChar(0xFF08))) {
        const int end = rest.indexOf(QRegularExpression(QStringLiteral("[)）]")));
        if (end > 1) {
            heading += rest.left(end + 1);
        }
    }
    return lineKindOf(heading) == LineKind::QuPai ? heading : QString();
}

} // namespace music

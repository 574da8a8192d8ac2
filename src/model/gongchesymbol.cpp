#include "model/gongchesymbol.h"

namespace {

using S = GongcheSymbol;

// The octave sections of a series in code point order, with the pitch name
// each begins at.
struct Section {
    S::Octave octave;
    int offset; // from the start of the series
    int length;
    S::PitchName first;
};
constexpr Section sections[] = {
    {S::Octave::Low, 0, 7, S::PitchName::He},
    {S::Octave::Middle, 7, 10, S::PitchName::He},
    {S::Octave::High, 17, 7, S::PitchName::Shang},
    {S::Octave::DoubleHigh, 24, 7, S::PitchName::Shang},
};

struct BeatEntry {
    char32_t code;
    S::Beat beat;
    S::BeatPosition position;
};
constexpr BeatEntry beatMarks[] = {
    {S::TouBan, S::Beat::Ban, S::BeatPosition::Tou},
    {S::XiaoYan, S::Beat::XiaoYan, S::BeatPosition::Tou},
    {S::ZhongYan, S::Beat::ZhongYan, S::BeatPosition::Tou},
    {S::ZengBan, S::Beat::ZengBan, S::BeatPosition::Tou},
    {S::YaoXiaoYan, S::Beat::XiaoYan, S::BeatPosition::Yao},
    {S::YaoZhongYan, S::Beat::ZhongYan, S::BeatPosition::Yao},
    {S::YaoBan, S::Beat::Ban, S::BeatPosition::Yao},
    {S::YaoZengBan, S::Beat::ZengBan, S::BeatPosition::Yao},
    {S::DiBan, S::Beat::Ban, S::BeatPosition::Di},
};

struct OrnamentEntry {
    char32_t code;
    S::Ornament ornament;
    const char *name;
};
constexpr OrnamentEntry ornaments[] = {
    {S::DieQiang, S::Ornament::DieQiang, "疊腔"},
    {S::DieQiangQiKou, S::Ornament::DieQiangQiKou, "疊腔气口"},
    {S::DaiQiangCuoQiang, S::Ornament::DaiQiangCuoQiang, "带腔撮腔"},
    {S::HuoQiang, S::Ornament::HuoQiang, "豁腔"},
    {S::SouQiang, S::Ornament::SouQiang, "擻腔"},
};

const char *const pitchNames[] = {"合", "四", "一", "上", "尺", "工", "凡", "六", "五", "乙"};

} // namespace

GongcheSymbol::GongcheSymbol(char32_t code)
    : m_code(code) {
    for (const BeatEntry &e : beatMarks) {
        if (e.code == code) {
            m_kind = Kind::BeatMark;
            m_beat = e.beat;
            m_position = e.position;
            return;
        }
    }
    for (const OrnamentEntry &e : ornaments) {
        if (e.code == code) {
            m_kind = Kind::Ornament;
            m_ornament = e.ornament;
            return;
        }
    }
    if (code >= FirstPitch && code <= LastPitch) {
        const int index = int(code - FirstPitch);
        m_series = Series(index / SeriesLength);
        const int inSeries = index % SeriesLength;
        for (const Section &s : sections) {
            if (inSeries >= s.offset && inSeries < s.offset + s.length) {
                m_kind = Kind::Pitch;
                m_octave = s.octave;
                m_pitch = PitchName(int(s.first) + inSeries - s.offset);
                return;
            }
        }
    }
    m_code = 0;
}

GongcheSymbol GongcheSymbol::of(const QString &text) {
    return GongcheSymbol(codeOf(text));
}

QString GongcheSymbol::text() const {
    return isValid() ? textOf(m_code) : QString();
}

QString GongcheSymbol::name() const {
    switch (m_kind) {
    case Kind::Pitch:
        return pitchNameText(m_pitch);
    case Kind::Ornament:
        for (const OrnamentEntry &e : ornaments) {
            if (e.code == m_code) {
                return QString::fromUtf8(e.name);
            }
        }
        return QString();
    case Kind::BeatMark: {
        static const char *const beats[] = {"板", "头眼/末眼", "中眼", "赠板"};
        static const char *const positions[] = {"头", "腰", "底"};
        QString beat = QString::fromUtf8(beats[int(m_beat)]);
        if (m_beat == Beat::Ban) {
            return QString::fromUtf8(positions[int(m_position)]) + beat;
        }
        if (m_position == BeatPosition::Yao) {
            beat.replace(QStringLiteral("/"), QStringLiteral("/腰"));
            return QStringLiteral("腰") + beat;
        }
        return beat;
    }
    case Kind::None:
        break;
    }
    return QString();
}

char32_t GongcheSymbol::seriesStart(Series series) {
    return FirstPitch + char32_t(int(series) * SeriesLength);
}

char32_t GongcheSymbol::sectionStart(Series series, Octave octave) {
    for (const Section &s : sections) {
        if (s.octave == octave) {
            return seriesStart(series) + char32_t(s.offset);
        }
    }
    return 0;
}

int GongcheSymbol::sectionLength(Octave octave) {
    return octave == Octave::Middle ? 10 : 7;
}

char32_t GongcheSymbol::pitchCode(Series series, Octave octave, PitchName name) {
    for (const Section &s : sections) {
        if (s.octave != octave) {
            continue;
        }
        const int k = int(name) - int(s.first);
        if (k < 0 || k >= s.length) {
            return 0;
        }
        return seriesStart(series) + char32_t(s.offset + k);
    }
    return 0;
}

char32_t GongcheSymbol::beatCode(Beat beat, BeatPosition position) {
    for (const BeatEntry &e : beatMarks) {
        if (e.beat == beat && e.position == position) {
            return e.code;
        }
    }
    return 0;
}

QString GongcheSymbol::pitchNameText(PitchName name) {
    return QString::fromUtf8(pitchNames[int(name)]);
}

const QVector<char32_t> &GongcheSymbol::all() {
    static const QVector<char32_t> codes = [] {
        QVector<char32_t> out;
        for (char32_t c = TouBan; c <= SouQiang; ++c) {
            out.append(c);
        }
        for (char32_t c = FirstPitch; c <= LastPitch; ++c) {
            out.append(c);
        }
        return out;
    }();
    return codes;
}

char32_t GongcheSymbol::codeOf(const QString &text) {
    if (text.size() == 2 && text.at(0).isHighSurrogate() && text.at(1).isLowSurrogate()) {
        return QChar::surrogateToUcs4(text.at(0), text.at(1));
    }
    return 0;
}

QString GongcheSymbol::textOf(char32_t code) {
    return QString::fromUcs4(&code, 1);
}

#pragma once

#include <QString>
#include <QVector>

// The catalogue of gongche symbols: what each code point of the gongche font
// is. The symbols live in the Supplementary Private Use Area-A, one character
// each (a surrogate pair in UTF-16):
//
//   U+F0000..U+F0007  beat marks (板眼): 头板, 头眼/末眼, 中眼, 赠板 and their 腰 forms
//   U+F0008..U+F000D  疊腔, 疊腔气口, 底板, 带腔撮腔, 豁腔, 擻腔
//   U+F0020..U+F009B  pitch signs in four series of 31 (plain, 气口, small,
//                     small 气口), each in four octave sections: low
//                     (合 … 凡, 7), middle (合 … 乙, 10), high and double
//                     high (上 … 乙, 7 each)
//
// A GongcheSymbol is a small value: the code point and what the catalogue
// says of it. Every place that asks what a character is asks here.
class GongcheSymbol {
public:
    enum class Kind { None, BeatMark, Ornament, Pitch };
    // The ten pitch names in rising order: 合 四 一 上 尺 工 凡 六 五 乙.
    enum class PitchName { He, Si, Yi, Shang, Chi, Gong, Fan, Liu, Wu, YiHigh };
    enum class Octave { Low = -1, Middle = 0, High = 1, DoubleHigh = 2 };
    enum class Series { Plain, QiKou, Small, SmallQiKou };
    // 头眼 and 末眼 share one sign, XiaoYan; which of the two it is follows
    // from where it falls in the measure.
    enum class Beat { Ban, XiaoYan, ZhongYan, ZengBan };
    // Where the beat falls on its note: at the onset (头), inside it (腰), at
    // its end (底).
    enum class BeatPosition { Tou, Yao, Di };
    enum class Ornament { DieQiang, DieQiangQiKou, DaiQiangCuoQiang, HuoQiang, SouQiang };

    // Named code points.
    static constexpr char32_t TouBan = 0xF0000;
    static constexpr char32_t XiaoYan = 0xF0001; // 头眼 or 末眼
    static constexpr char32_t ZhongYan = 0xF0002;
    static constexpr char32_t ZengBan = 0xF0003;
    static constexpr char32_t YaoXiaoYan = 0xF0004; // 腰头眼 or 腰末眼
    static constexpr char32_t YaoZhongYan = 0xF0005;
    static constexpr char32_t YaoBan = 0xF0006;
    static constexpr char32_t YaoZengBan = 0xF0007;
    static constexpr char32_t DieQiang = 0xF0008;
    static constexpr char32_t DieQiangQiKou = 0xF0009;
    static constexpr char32_t DiBan = 0xF000A;
    static constexpr char32_t DaiQiangCuoQiang = 0xF000B;
    static constexpr char32_t HuoQiang = 0xF000C;
    static constexpr char32_t SouQiang = 0xF000D;
    static constexpr char32_t FirstPitch = 0xF0020;
    static constexpr int SeriesLength = 31;
    static constexpr char32_t LastPitch = FirstPitch + 4 * SeriesLength - 1; // U+F009B

    GongcheSymbol() = default;
    explicit GongcheSymbol(char32_t code);
    // The symbol that text is: exactly one character, else an invalid symbol.
    static GongcheSymbol of(const QString &text);

    bool isValid() const { return m_kind != Kind::None; }
    char32_t code() const { return m_code; }
    Kind kind() const { return m_kind; }
    bool isBeatMark() const { return m_kind == Kind::BeatMark; }
    bool isOrnament() const { return m_kind == Kind::Ornament; }
    bool isPitch() const { return m_kind == Kind::Pitch; }
    // The symbol as text (two UTF-16 units).
    QString text() const;

    // Pitch signs.
    PitchName pitchName() const { return m_pitch; }
    Octave octave() const { return m_octave; }
    Series series() const { return m_series; }
    bool isSmall() const { return m_series == Series::Small || m_series == Series::SmallQiKou; }
    bool hasQiKou() const { return m_series == Series::QiKou || m_series == Series::SmallQiKou; }

    // Beat marks.
    Beat beat() const { return m_beat; }
    BeatPosition beatPosition() const { return m_position; }

    // Ornaments.
    Ornament ornament() const { return m_ornament; }

    // The plain name: 合 … 乙 for a pitch, 头板, 头眼/末眼, 腰板, 底板 … for the rest.
    QString name() const;

    // The code point of a pitch sign, or 0 when the series has no such sign
    // (the low section has no 六 五 乙, the high sections no 合 四 一).
    static char32_t pitchCode(Series series, Octave octave, PitchName name);
    // The beat mark of a beat at a position, or 0 (底 exists for 板 only).
    static char32_t beatCode(Beat beat, BeatPosition position);
    // The first code point of a series, and the first of each octave section.
    static char32_t seriesStart(Series series);
    static char32_t sectionStart(Series series, Octave octave);
    // The number of signs in an octave section: 7, or 10 for the middle one.
    static int sectionLength(Octave octave);
    // The Chinese name of a pitch name.
    static QString pitchNameText(PitchName name);
    // Every code point of the catalogue, in order.
    static const QVector<char32_t> &all();
    // The code point of a one-character string, or 0.
    static char32_t codeOf(const QString &text);
    static QString textOf(char32_t code);

private:
    char32_t m_code = 0;
    Kind m_kind = Kind::None;
    PitchName m_pitch = PitchName::He;
    Octave m_octave = Octave::Middle;
    Series m_series = Series::Plain;
    Beat m_beat = Beat::Ban;
    BeatPosition m_position = BeatPosition::Tou;
    Ornament m_ornament = Ornament::DieQiang;
};

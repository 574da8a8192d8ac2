#include "model/ordinarygongche.h"

#include "model/gongchesymbol.h"

namespace {

using S = GongcheSymbol;

char32_t pitch(S::PitchName name, S::Octave octave = S::Octave::Middle) {
    return S::pitchCode(S::Series::Plain, octave, name);
}

// Punctuation a copied score carries between its signs, which no symbol
// stands for.
bool isDroppedMark(QChar c) {
    if (c.isSpace()) {
        return true;
    }
    switch (c.category()) {
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
        return true;
    default:
        return false;
    }
}

} // namespace

char32_t OrdinaryGongche::symbolFor(QChar c) {
    switch (c.unicode()) {
    case 0x5408: // 合
        return pitch(S::PitchName::He);
    case 0x56DB: // 四
        return pitch(S::PitchName::Si);
    case 0x4E00: // 一
        return pitch(S::PitchName::Yi);
    case 0x4E0A: // 上
        return pitch(S::PitchName::Shang);
    case 0x5C3A: // 尺
        return pitch(S::PitchName::Chi);
    case 0x5DE5: // 工
        return pitch(S::PitchName::Gong);
    case 0x51E1: // 凡
        return pitch(S::PitchName::Fan);
    case 0x516D: // 六
        return pitch(S::PitchName::Liu);
    case 0x4E94: // 五
        return pitch(S::PitchName::Wu);
    case 0x4E59: // 乙
        return pitch(S::PitchName::YiHigh);
    case 0x4EE9: // 仩
        return pitch(S::PitchName::Shang, S::Octave::High);
    case 0x4F2C: // 伬
        return pitch(S::PitchName::Chi, S::Octave::High);
    case 0x4EDC: // 仜
        return pitch(S::PitchName::Gong, S::Octave::High);
    case 0x4F0D: // 伍
        return pitch(S::PitchName::Wu, S::Octave::High);
    case 0x4EBF: // 亿
        return pitch(S::PitchName::YiHigh, S::Octave::High);
    case 0x3001: // 、
        return S::TouBan;
    case 0x25CB: // ○
    case 0x3007: // 〇
        return S::XiaoYan;
    case 0x25CF: // ●
        return S::ZhongYan;
    case 0x00D7: // ×
        return S::ZengBan;
    default:
        return 0;
    }
}

bool OrdinaryGongche::hasOrdinaryPitch(const QString &text) {
    for (QChar c : text) {
        const char32_t code = symbolFor(c);
        if (code && GongcheSymbol(code).isPitch()) {
            return true;
        }
    }
    return false;
}

QString OrdinaryGongche::toSymbols(const QString &text) {
    QString out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        if (const char32_t code = symbolFor(c)) {
            out += GongcheSymbol::textOf(code);
        } else if (c == QLatin1Char('\n') || c == QChar::ParagraphSeparator ||
                   c == QChar::LineSeparator || !isDroppedMark(c)) {
            out += c;
        }
    }
    return out;
}

bool OrdinaryGongche::isScoreCharacter(const QString &text, int index) {
    const QChar c = text.at(index);
    if (c.isSpace()) {
        return true;
    }
    if (c.isHighSurrogate() && index + 1 < text.size()) {
        return GongcheSymbol::of(text.mid(index, 2)).isValid();
    }
    if (c.isLowSurrogate() && index > 0) {
        return GongcheSymbol::of(text.mid(index - 1, 2)).isValid();
    }
    return false;
}

#pragma once

// Score lines written in a short hand, for tests that need gongche symbols
// without spelling out code points.

#include "model/gongchesymbol.h"

#include <QString>

inline GongcheSymbol::PitchName shortHandName(QChar c) {
    const QString names = QStringLiteral("合四一上尺工凡六五乙");
    return GongcheSymbol::PitchName(names.indexOf(c));
}

// A score written in a short hand, one sung character per "/": a pitch name,
// preceded by s (small), q (气口) or both, followed by ' (high), " (double
// high) or , (low); | is 头板, o 头眼, * 中眼, ~ 豁腔, ^ 疊腔.
inline QString gongcheShortHand(const QString &shortHand) {
    QString out;
    GongcheSymbol::Series series = GongcheSymbol::Series::Plain;
    bool small = false, qiKou = false;
    for (int i = 0; i < shortHand.size(); ++i) {
        const QChar c = shortHand.at(i);
        auto put = [&out](char32_t code) { out += QString::fromUcs4(&code, 1); };
        switch (c.unicode()) {
        case '/':
            out += QLatin1Char('\n');
            break;
        case 's':
            small = true;
            break;
        case 'q':
            qiKou = true;
            break;
        case '|':
            put(GongcheSymbol::TouBan);
            break;
        case 'o':
            put(GongcheSymbol::XiaoYan);
            break;
        case '*':
            put(GongcheSymbol::ZhongYan);
            break;
        case '~':
            put(GongcheSymbol::HuoQiang);
            break;
        case '^':
            put(GongcheSymbol::DieQiang);
            break;
        default: {
            GongcheSymbol::Octave octave = GongcheSymbol::Octave::Middle;
            const QChar next = i + 1 < shortHand.size() ? shortHand.at(i + 1) : QChar();
            if (next == QLatin1Char('\'')) {
                octave = GongcheSymbol::Octave::High;
            } else if (next == QLatin1Char('"')) {
                octave = GongcheSymbol::Octave::DoubleHigh;
            } else if (next == QLatin1Char(',')) {
                octave = GongcheSymbol::Octave::Low;
            }
            if (octave != GongcheSymbol::Octave::Middle) {
                ++i;
            }
            series =
                small ? (qiKou ? GongcheSymbol::Series::SmallQiKou : GongcheSymbol::Series::Small)
                      : (qiKou ? GongcheSymbol::Series::QiKou : GongcheSymbol::Series::Plain);
            small = qiKou = false;
            const char32_t code = GongcheSymbol::pitchCode(series, octave, shortHandName(c));
            Q_ASSERT(code != 0);
            put(code);
        }
        }
    }
    return out;
}

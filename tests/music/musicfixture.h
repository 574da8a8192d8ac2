#pragma once

// Scores written the way a reader of gongche writes them, turned into the
// symbols of the catalogue, and the melodies of small documents.
//
// A score line is written with the ordinary characters for the middle-octave
// pitches 合四一上尺工凡六五乙 and the high ones 仩伬仜, the beat marks as
// editions print them (、 头板, ○ 头眼/末眼, ● 中眼, × 赠板), and letters for
// what has no ordinary character:
//   Y 腰板   y 腰眼 (头/末)   z 腰中眼   X 腰赠板   D 底板
//   H 豁腔   S 擻腔   T 疊腔   Q 疊腔气口   C 带腔撮腔
// and, after a pitch, s (small), k (气口), L (low octave), h (high), w
// (double high) change it.

#include "model/gongchesymbol.h"
#include "model/rendermodel.h"
#include "music/melody.h"
#include "music/melodybuilder.h"
#include "testsupport.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

namespace musicfixture {

using S = GongcheSymbol;

inline QString gc(const QString &written) {
    static const QHash<QChar, S::PitchName> names = {
        {QChar(0x5408), S::PitchName::He},    {QChar(0x56DB), S::PitchName::Si},
        {QChar(0x4E00), S::PitchName::Yi},    {QChar(0x4E0A), S::PitchName::Shang},
        {QChar(0x5C3A), S::PitchName::Chi},   {QChar(0x5DE5), S::PitchName::Gong},
        {QChar(0x51E1), S::PitchName::Fan},   {QChar(0x516D), S::PitchName::Liu},
        {QChar(0x4E94), S::PitchName::Wu},    {QChar(0x4E59), S::PitchName::YiHigh},
        {QChar(0x4EE9), S::PitchName::Shang}, {QChar(0x4F2C), S::PitchName::Chi},
        {QChar(0x4EDC), S::PitchName::Gong},
    };
    static const QHash<QChar, char32_t> others = {
        {QChar(0x3001), S::TouBan},           {QChar(0x25CB), S::XiaoYan},
        {QChar(0x25CF), S::ZhongYan},         {QChar(0x00D7), S::ZengBan},
        {QLatin1Char('Y'), S::YaoBan},        {QLatin1Char('y'), S::YaoXiaoYan},
        {QLatin1Char('z'), S::YaoZhongYan},   {QLatin1Char('X'), S::YaoZengBan},
        {QLatin1Char('D'), S::DiBan},         {QLatin1Char('H'), S::HuoQiang},
        {QLatin1Char('S'), S::SouQiang},      {QLatin1Char('T'), S::DieQiang},
        {QLatin1Char('Q'), S::DieQiangQiKou}, {QLatin1Char('C'), S::DaiQiangCuoQiang},
    };
    struct Item {
        char32_t code = 0; // a mark or ornament; 0 for a pitch
        S::PitchName name = S::PitchName::Shang;
        S::Octave octave = S::Octave::Middle;
        bool small = false;
        bool qiKou = false;
        QString raw; // text kept as it is
    };
    QVector<Item> items;
    for (QChar c : written) {
        if (names.contains(c)) {
            Item i;
            i.name = names.value(c);
            const bool high = c == QChar(0x4EE9) || c == QChar(0x4F2C) || c == QChar(0x4EDC);
            i.octave = high ? S::Octave::High : S::Octave::Middle;
            items.append(i);
        } else if (others.contains(c)) {
            Item i;
            i.code = others.value(c);
            items.append(i);
        } else if (!items.isEmpty() && items.last().code == 0 && items.last().raw.isEmpty() &&
                   QStringLiteral("skLhw").contains(c)) {
            Item &p = items.last();
            switch (c.toLatin1()) {
            case 's':
                p.small = true;
                break;
            case 'k':
                p.qiKou = true;
                break;
            case 'L':
                p.octave = S::Octave::Low;
                break;
            case 'h':
                p.octave = S::Octave::High;
                break;
            default:
                p.octave = S::Octave::DoubleHigh;
                break;
            }
        } else {
            Item i;
            i.raw = QString(c);
            items.append(i);
        }
    }
    QString out;
    for (const Item &i : items) {
        if (!i.raw.isEmpty()) {
            out += i.raw;
        } else if (i.code != 0) {
            out += sym(i.code);
        } else {
            const S::Series series = i.small ? (i.qiKou ? S::Series::SmallQiKou : S::Series::Small)
                                             : (i.qiKou ? S::Series::QiKou : S::Series::Plain);
            out += sym(S::pitchCode(series, i.octave, i.name));
        }
    }
    return out;
}

// The score text of written score lines.
inline QString scoreText(const QStringList &lines) {
    QStringList out;
    for (const QString &l : lines) {
        out.append(gc(l));
    }
    return out.join(QLatin1Char('\n'));
}

inline DocumentLines document(const QString &lyric, const QStringList &scoreLines) {
    return renderModel(lyric, scoreText(scoreLines));
}

inline music::Melody melodyOf(const QString &lyric, const QStringList &scoreLines,
                              const music::MusicRules &rules = music::MusicRules()) {
    return music::MelodyBuilder(rules).build(document(lyric, scoreLines));
}

inline QVector<qint64> onsets(const music::Melody &m) {
    QVector<qint64> out;
    for (const music::Note &n : m.notes) {
        out.append(n.onset);
    }
    return out;
}

inline QVector<qint64> durations(const music::Melody &m) {
    QVector<qint64> out;
    for (const music::Note &n : m.notes) {
        out.append(n.duration);
    }
    return out;
}

inline QVector<int> midis(const music::Melody &m) {
    QVector<int> out;
    for (const music::Note &n : m.notes) {
        out.append(n.midi);
    }
    return out;
}

// Clicks as "time:板" or "time:眼" for readable comparisons.
inline QStringList clicks(const music::Melody &m) {
    QStringList out;
    for (const music::BeatClick &c : m.clicks) {
        out.append(QStringLiteral("%1:%2").arg(c.time).arg(c.ban ? QStringLiteral("板")
                                                                 : QStringLiteral("眼")));
    }
    return out;
}

// The messages of the problems, in order.
inline QStringList messages(const music::Melody &m) {
    QStringList out;
    for (const music::Problem &p : m.problems) {
        out.append(p.message);
    }
    return out;
}

inline music::Place scoreAt(int character, int column, int length) {
    music::Place p;
    p.pane = music::Place::Pane::Score;
    p.line = character;
    p.column = column;
    p.length = length;
    return p;
}

inline music::Place lyricAt(int line, int column = 0, int length = 0) {
    music::Place p;
    p.pane = music::Place::Pane::Lyric;
    p.line = line;
    p.column = column;
    p.length = length;
    return p;
}

// A note and a tune section made by hand, for the writers' tests.
inline music::Note note(int midi, qint64 onset, qint64 duration, int character,
                        const QString &lyric = {}) {
    music::Note n;
    n.midi = midi;
    n.onset = onset;
    n.duration = duration;
    n.character = character;
    n.lyric = lyric;
    return n;
}

inline music::Section section(music::Meter meter, music::Key key, int tempo, qint64 start,
                              qint64 firstDownbeat, qint64 end, const QString &quPai = {}) {
    music::Section s;
    s.quPai = quPai;
    s.meter = meter;
    s.key = key;
    s.tempo = tempo;
    s.start = start;
    s.firstDownbeat = firstDownbeat;
    s.end = end;
    return s;
}

} // namespace musicfixture

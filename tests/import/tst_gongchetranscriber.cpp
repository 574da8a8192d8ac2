// GongcheTranscriber: small scores to expected documents, and the round trip
// document → melody → score as a reader sees it → document.

#include "../music/musicfixture.h"
#include "import/gongchetranscriber.h"
#include "import/midifilereader.h"
#include "import/musicxmlreader.h"
#include "model/linegrammar.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "music/beatsplitter.h"
#include "music/melodybuilder.h"
#include "music/midiwriter.h"
#include "music/musicxmlwriter.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace music;
using musicfixture::gc;

namespace {

// Notes written "midi:eighths[:lyric][/flags]" in order, a rest as "r:eighths":
// eighths of a quarter; flags g (grace, no time), b (breath), f (fermata).
// Measures of the meter beats/beatType follow each other from the first
// (a pickup of `pickup` eighths first when given) up to the last note's end.
SourceScore scoreOf(const QString &notes, int beats, int beatType, int fifths = 2, int pickup = 0) {
    SourceScore s;
    qint64 t = 0;
    for (const QString &token : notes.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList flagged = token.split(QLatin1Char('/'));
        const QStringList parts = flagged.first().split(QLatin1Char(':'));
        SourceNote n;
        n.midi = parts.at(0) == QLatin1String("r") ? -1 : parts.at(0).toInt();
        const QString flags = flagged.value(1);
        n.grace = flags.contains(QLatin1Char('g'));
        n.breathAfter = flags.contains(QLatin1Char('b'));
        n.fermata = flags.contains(QLatin1Char('f'));
        n.duration = n.grace ? 0 : parts.value(1).toInt() * ticksPerBeat / 8;
        n.lyric = parts.value(2);
        n.onset = t;
        t += n.duration;
        s.notes.append(n);
    }
    const qint64 length = beats > 0 ? qint64(beats) * 4 * ticksPerBeat / beatType : t;
    qint64 start = 0;
    int number = pickup > 0 ? 0 : 1;
    while (start < t || s.measures.isEmpty()) {
        SourceMeasure m;
        m.start = start;
        m.length =
            start == 0 && pickup > 0 ? pickup * ticksPerBeat / 8 : std::max<qint64>(length, 1);
        m.number = QString::number(number++);
        m.beats = beats;
        m.beatType = beatType;
        m.fifths = fifths;
        m.keyStated = m.meterStated = start == 0;
        s.measures.append(m);
        start += m.length;
    }
    for (SourceNote &n : s.notes) {
        for (int i = 0; i < s.measures.size(); ++i) {
            n.measure = s.measures.at(i).start <= n.onset ? i : n.measure;
        }
    }
    return s;
}

QStringList remarkTexts(const QVector<ImportRemark> &remarks) {
    QStringList out;
    for (const ImportRemark &r : remarks) {
        out.append(r.text());
    }
    return out;
}

QString readable(const QString &score) {
    QString out;
    for (uint c : score.toUcs4()) {
        if (c >= 0xF0000) {
            out += QStringLiteral("<%1>").arg(c - 0xF0000, 0, 16);
        } else {
            out += QString::fromUcs4(&c, 1);
        }
    }
    return out;
}

// A random document the melody model reads as written: tunes in the four
// meters the import writes, every beat marked (头 on a note that starts on it,
// 腰 on one held across it), small notes where only they give the beat's
// shares, phrases ending in 底板 (with a 气口, or a beat of silence after),
// each tune ending on its last note's 底板. No ornaments.
class RandomDocument {
    using S = GongcheSymbol;

public:
    RandomDocument(quint32 seed, const MusicRules &rules)
        : m_random(seed)
        , m_rules(rules)
        , m_splitter(rules) {}

    QString lyric;
    QString score;

    void make() {
        QStringList lyricLines{QStringLiteral("# 随机")};
        QStringList scoreLines;
        const int tunes = 1 + m_random.bounded(2);
        for (int t = 0; t < tunes; ++t) {
            makeTune(t, &lyricLines, &scoreLines);
        }
        lyric = lyricLines.join(QLatin1Char('\n'));
        score = scoreLines.join(QLatin1Char('\n'));
    }

private:
    struct Written {
        char32_t code = 0;
        QVector<char32_t> marks;
        bool startsCharacter = false;
        bool phraseEnd = false;
    };

    char32_t pitch(bool small, bool qiKou) {
        static const QVector<QPair<S::PitchName, S::Octave>> degrees = {
            {S::PitchName::Gong, S::Octave::Low},      {S::PitchName::He, S::Octave::Middle},
            {S::PitchName::Si, S::Octave::Middle},     {S::PitchName::Yi, S::Octave::Middle},
            {S::PitchName::Shang, S::Octave::Middle},  {S::PitchName::Chi, S::Octave::Middle},
            {S::PitchName::Gong, S::Octave::Middle},   {S::PitchName::Fan, S::Octave::Middle},
            {S::PitchName::Liu, S::Octave::Middle},    {S::PitchName::Wu, S::Octave::Middle},
            {S::PitchName::YiHigh, S::Octave::Middle}, {S::PitchName::Shang, S::Octave::High},
            {S::PitchName::Chi, S::Octave::High},
        };
        const auto &d = degrees.at(m_random.bounded(degrees.size()));
        const S::Series series = small ? (qiKou ? S::Series::SmallQiKou : S::Series::Small)
                                       : (qiKou ? S::Series::QiKou : S::Series::Plain);
        return S::pitchCode(series, d.second, d.first);
    }

    static S::Beat kindAt(const MusicRules::MeterRule &rule, int index) {
        for (S::Beat b : {S::Beat::Ban, S::Beat::ZengBan, S::Beat::XiaoYan, S::Beat::ZhongYan}) {
            if (rule.indices(b).contains(index)) {
                return b;
            }
        }
        return S::Beat::Ban;
    }

    // A small pattern for n notes that no other pattern with as few small
    // notes shares the beat like; all plain when the one drawn is not.
    QVector<bool> smallPattern(int n, bool lastPlain) {
        QVector<bool> small(n, false);
        if (n < 2 || m_random.bounded(2) == 0) {
            return small;
        }
        small[m_random.bounded(n)] = true;
        if (lastPlain && small.last()) {
            return QVector<bool>(n, false);
        }
        const QVector<qint64> shares = m_splitter.oneBeat(small);
        for (int mask = 0; mask < (1 << n); ++mask) {
            QVector<bool> other(n);
            int count = 0;
            for (int i = 0; i < n; ++i) {
                other[i] = (mask >> i) & 1;
                count += other[i] ? 1 : 0;
            }
            if (count <= 1 && other != small && m_splitter.oneBeat(other) == shares) {
                return QVector<bool>(n, false);
            }
        }
        return small;
    }

    void makeTune(int t, QStringList *lyricLines, QStringList *scoreLines) {
        static const QVector<QPair<Meter, bool>> meters = {{Meter::YiBanSanYan, false},
                                                           {Meter::YiBanYiYan, false},
                                                           {Meter::LiuShui, false},
                                                           {Meter::YiBanSanYan, true}};
        static const QVector<QPair<Key, bool>> keys = {{Key::XiaoGong, false},
                                                       {Key::FanZi, true},
                                                       {Key::ZhengGong, false},
                                                       {Key::ChiZi, false},
                                                       {Key::ShangZi, false}};
        const auto meter = meters.at(m_random.bounded(meters.size()));
        const auto key = keys.at(m_random.bounded(keys.size()));
        const MusicRules::MeterRule rule = m_rules.meterRule(meter.first, meter.second);
        const int measures = rule.beats == 8 ? 1 + m_random.bounded(2) : 2 + m_random.bounded(3);
        lyricLines->append(QStringLiteral("【曲%1】").arg(QChar(0x7532 + t)));
        lyricLines->append(QStringLiteral("; 笛色=%1 板式=%2 速度=%3")
                               .arg(m_rules.keyName(key.first, key.second),
                                    m_rules.meterName(meter.first, meter.second))
                               .arg(QList<int>{60, 72, 90}.at(m_random.bounded(3))));
        const QVector<Written> notes = tuneNotes(rule, measures * rule.beats);
        writeTune(notes, lyricLines, scoreLines);
    }

    QVector<Written> tuneNotes(const MusicRules::MeterRule &rule, int beats) {
        QVector<Written> notes;
        bool held = false;
        bool silent = false;
        for (int b = 0; b < beats; ++b) {
            if (silent) {
                silent = false;
                continue;
            }
            const S::Beat kind = kindAt(rule, b % rule.beats);
            const bool last = b == beats - 1;
            int n = 1 + m_random.bounded(4);
            if (held) {
                notes.last().marks.append(S::beatCode(kind, S::BeatPosition::Yao));
                n = m_random.bounded(2);
            }
            const bool carry = !last && m_random.bounded(10) < 3;
            const QVector<bool> small = smallPattern(n, carry);
            for (int i = 0; i < n; ++i) {
                Written w;
                w.code = pitch(small.at(i), false);
                w.startsCharacter = notes.isEmpty() || m_random.bounded(10) < 4;
                if (i == 0 && !held) {
                    w.marks.append(S::beatCode(kind, S::BeatPosition::Tou));
                }
                notes.append(w);
            }
            held = carry && (n > 0 || held);
            const bool beforeBan = (b + 1) % rule.beats == 0;
            if (last) {
                notes.last().marks.append(S::DiBan);
            } else if (!held && beforeBan && m_random.bounded(4) == 0) {
                endPhrase(&notes.last(), rule.beats > 1 && b + 2 < beats, &silent);
            }
        }
        return notes;
    }

    // A phrase ending on a 板: a beat of silence after its 底板, or a 气口.
    void endPhrase(Written *w, bool silenceAllowed, bool *silent) {
        *silent = silenceAllowed && m_random.bounded(2) == 0;
        if (!*silent) {
            const GongcheSymbol s(w->code);
            w->code = S::pitchCode(s.isSmall() ? S::Series::SmallQiKou : S::Series::QiKou,
                                   s.octave(), s.pitchName());
        }
        w->marks.append(S::DiBan);
        w->phraseEnd = true;
    }

    void writeTune(const QVector<Written> &notes, QStringList *lyricLines,
                   QStringList *scoreLines) {
        static const QString pool = QStringLiteral("春花秋月何时了往事知多少小楼昨夜又东风");
        QString line;
        bool breakNext = false;
        for (const Written &w : notes) {
            if (w.startsCharacter) {
                if (breakNext) {
                    lyricLines->append(line);
                    line.clear();
                    breakNext = false;
                }
                line += pool.at(m_random.bounded(pool.size()));
                scoreLines->append(QString());
            }
            scoreLines->last() += GongcheSymbol::textOf(w.code);
            for (char32_t m : w.marks) {
                scoreLines->last() += GongcheSymbol::textOf(m);
            }
            breakNext = breakNext || w.phraseEnd;
        }
        lyricLines->append(line);
    }

    QRandomGenerator m_random;
    const MusicRules &m_rules;
    BeatSplitter m_splitter;
};

// The lines of a lyric text that are not sung: title, settings, headings.
QStringList directives(const QString &lyric) {
    QStringList out;
    for (const QString &l : lyric.split(QLatin1Char('\n'))) {
        if (isDirectiveLine(l)) {
            out.append(l);
        }
    }
    return out;
}

// A score written in musicfixture's notation, lines separated by "|".
QString written(const QString &lines) {
    return musicfixture::scoreText(lines.split(QLatin1Char('|')));
}

const QString xiaoGong = QStringLiteral("; 笛色=小工调 板式=一板三眼 速度=60");

// The sung characters of a melody, one per note.
QStringList lyrics(const Melody &m) {
    QStringList out;
    for (const Note &n : m.notes) {
        out.append(n.lyric);
    }
    return out;
}

// A melody written to a file and read back: what the import of that file
// works from.
SourceScore throughFile(const Melody &melody, const QString &format) {
    const SourceReading read =
        format == QLatin1String("musicxml")
            ? MusicXmlReader::read(MusicXmlWriter::encode(melody, {QStringLiteral("随机"), false}))
            : MidiFileReader::read(MidiWriter::encode(melody, {false, QStringLiteral("随机")}));
    return read.score;
}

} // namespace

class TestGongcheTranscriber : public QObject {
    Q_OBJECT
private slots:
    // Small scores and the documents they become: notes as scoreOf() writes
    // them, the key signature in fifths, a pickup in eighths of a quarter.
    void cases_data() {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<int>("beats");
        QTest::addColumn<int>("beatType");
        QTest::addColumn<int>("fifths");
        QTest::addColumn<int>("pickup");
        QTest::addColumn<QString>("lyric");
        QTest::addColumn<QString>("score");
        QTest::addColumn<QStringList>("remarks");
        const auto row = [](const char *name, const QString &notes, int beats, int beatType,
                            int fifths, int pickup, const QString &lyric, const QString &score,
                            const QStringList &remarks = {}) {
            QTest::newRow(name) << notes << beats << beatType << fifths << pickup << lyric << score
                                << remarks;
        };
        const auto settings = [](const char *key, const char *meter, int tempo = 60) {
            return QStringLiteral("; 笛色=%1 板式=%2 速度=%3")
                .arg(QString::fromUtf8(key), QString::fromUtf8(meter))
                .arg(tempo);
        };
        const QString whole = QStringLiteral("上、yzyD");
        // Keys: the 笛色 whose 上 is the major tonic of the signature.
        row("D major", QStringLiteral("74:32:春"), 4, 4, 2, 0, xiaoGong + QStringLiteral("\n春"),
            whole);
        row("A minor is C major: A is 五", QStringLiteral("81:32:春"), 4, 4, 0, 0,
            settings("尺字调", "一板三眼") + QStringLiteral("\n春"), QStringLiteral("五、yzyD"));
        row("E: 凡字调(E)", QStringLiteral("76:32:春"), 4, 4, 4, 0,
            settings("凡字调(E)", "一板三眼") + QStringLiteral("\n春"), whole);
        row("B: 上字调(B)", QStringLiteral("71:32:春"), 4, 4, 5, 0,
            settings("上字调(B)", "一板三眼") + QStringLiteral("\n春"), whole);
        row("E flat: 凡字调", QStringLiteral("75:32:春"), 4, 4, -3, 0,
            settings("凡字调", "一板三眼") + QStringLiteral("\n春"), whole);
        row("D flat: nearest, fewer accidentals: C", QStringLiteral("73:32:春"), 4, 4, -5, 0,
            settings("尺字调", "一板三眼") + QStringLiteral("\n春"), whole,
            {QStringLiteral("第1小节：D♭调没有对应的笛色，已按尺字调记谱"),
             QStringLiteral("第1小节第1拍：升降音已归入最近的音级")});
        row("F sharp: F and G tie, the lower", QStringLiteral("77:32:春"), 4, 4, 6, 0,
            settings("六字调", "一板三眼") + QStringLiteral("\n春"), whole,
            {QStringLiteral("第1小节：F♯调没有对应的笛色，已按六字调记谱")});
        // Pitch: the octave sections, chromatic and out of range notes.
        row("octave sections", QStringLiteral("57:8:春 62:8:花 86:8:秋 109:8:月"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花秋月"), QStringLiteral("合L、|上L○|仩●|乙w○D"));
        row("chromatic: the degree below", QStringLiteral("75:16:春 77:16:花"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花"), QStringLiteral("上、y|尺●yD"),
            {QStringLiteral("第1小节第1拍：升降音已归入最近的音级"),
             QStringLiteral("第1小节第3拍：升降音已归入最近的音级")});
        row("out of range: moved by octaves", QStringLiteral("50:16:春 120:16:花"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花"), QStringLiteral("上L、y|五w●yD"),
            {QStringLiteral("第1小节第1拍：音域外的音已移八度"),
             QStringLiteral("第1小节第3拍：音域外的音已移八度"),
             QStringLiteral("第1小节第3拍：升降音已归入最近的音级")});
        // Meters.
        row("2/4", QStringLiteral("74:8:春 76:8:花 78:16:秋"), 2, 4, 2, 0,
            settings("小工调", "一板一眼") + QStringLiteral("\n春花秋"),
            QStringLiteral("上、|尺○|工、yD"));
        row("1/4", QStringLiteral("74:8:春 76:8:花 78:8:秋"), 1, 4, 2, 0,
            settings("小工调", "流水板") + QStringLiteral("\n春花秋"),
            QStringLiteral("上、|尺、|工、D"));
        row("8/4", QStringLiteral("74:16:春 76:16:花 78:16:秋 79:16:月"), 8, 4, 2, 0,
            settings("小工调", "加赠一板三眼") + QStringLiteral("\n春花秋月"),
            QStringLiteral("上、y|尺●y|工×y|凡●yD"));
        row("3/4: 流水板", QStringLiteral("74:8:春 76:8:花 78:8:秋"), 3, 4, 2, 0,
            settings("小工调", "流水板") + QStringLiteral("\n春花秋"),
            QStringLiteral("上、|尺、|工、D"), {QStringLiteral("第1小节：3/4拍记作流水板")});
        row("6/8: 一板一眼 in dotted quarters", QStringLiteral("74:12:春 76:12:花"), 6, 8, 2, 0,
            settings("小工调", "一板一眼", 40) + QStringLiteral("\n春花"),
            QStringLiteral("上、|尺○D"), {QStringLiteral("第1小节：6/8拍记作一板一眼")});
        row("2/2: 一板三眼", QStringLiteral("74:32:春"), 2, 2, 2, 0,
            xiaoGong + QStringLiteral("\n春"), whole,
            {QStringLiteral("第1小节：2/2拍记作一板三眼")});
        row("no time signature: 散板, fermata 底板", QStringLiteral("74:8:春 76:4:花 78:4:秋/f"), 0,
            0, 2, 0, settings("小工调", "散板") + QStringLiteral("\n春花秋"),
            QStringLiteral("上|尺|工D"),
            {QStringLiteral("第1小节：没有拍号，按散板记谱，节奏不保留")});
        // Rhythm.
        row("头 and 腰", QStringLiteral("74:4:春 76:8:花 78:4 79:16:秋"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花秋"), QStringLiteral("上、|尺y工|凡●yD"));
        row("底板, then a silent beat", QStringLiteral("74:32:春 r:8 76:24:花"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春\n花"), QStringLiteral("上、yzyD|尺○zyD"));
        row("a rest inside a phrase lengthens the note before it",
            QStringLiteral("74:8:春 76:4:花 r:4 78:16:秋"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花\n秋"), QStringLiteral("上、|尺○|工●yD"),
            {QStringLiteral("第1小节第2拍：休止已并入前一音")});
        row("small note found", QStringLiteral("74:6:春 76:2 78:24:花"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花"), QStringLiteral("上、尺s|工○zyD"));
        row("small note first in its beat", QStringLiteral("74:2:春 76:6 78:24:花"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花"), QStringLiteral("上s、尺|工○zyD"));
        row("a beat no shares give", QStringLiteral("74:3:春 76:5 78:24:花"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花"), QStringLiteral("上、尺|工○zyD"),
            {QStringLiteral("第1小节第1拍：此拍节奏无法用板眼写出，已保留音高")});
        row("grace: a small note before its note",
            QStringLiteral("74:8:春 78:0/g 76:8:花 79:16:秋"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花秋"), QStringLiteral("上、|工s尺○|凡●yD"));
        row("breath: 气口, a phrase end", QStringLiteral("74:8:春 76:8:花/b 78:16:秋"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花\n秋"), QStringLiteral("上、|尺k○|工●yD"));
        row("breath on a 板: 底板", QStringLiteral("74:8:春 76:8:花/b 78:16:秋"), 2, 4, 2, 0,
            settings("小工调", "一板一眼") + QStringLiteral("\n春花\n秋"),
            QStringLiteral("上、|尺k○D|工、yD"));
        row("fermata off the 板", QStringLiteral("74:8:春 76:8:花/f 78:16:秋"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花\n秋"), QStringLiteral("上、|尺○|工●yD"),
            {QStringLiteral("第1小节第2拍：延长记号不在板上，已略去")});
        // Pickups.
        row("one-beat pickup", QStringLiteral("71:8:春 74:32:花"), 4, 4, 2, 8,
            xiaoGong + QStringLiteral("\n春花"), QStringLiteral("四|上、yzyD"));
        row("two-beat pickup", QStringLiteral("71:8:春 69:8:花 74:32:秋"), 4, 4, 2, 16,
            xiaoGong + QStringLiteral("\n春花秋"), QStringLiteral("四●|合○|上、yzyD"));
        row("half-beat pickup", QStringLiteral("71:4:春 74:32:花"), 4, 4, 2, 4,
            xiaoGong + QStringLiteral("\n春花"), QStringLiteral("四|上、yzyD"),
            {QStringLiteral("第0小节第1拍：此拍节奏无法用板眼写出，已保留音高")});
        // Lyrics.
        row("notes before the first syllable", QStringLiteral("71:8 74:8:春 76:16:花"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春花"), QStringLiteral("四、上○|尺●yD"));
        row("punctuation kept, a line break after it",
            QStringLiteral("74:8:春， 76:8:花 78:16:秋。"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n春，\n花秋。"), QStringLiteral("上、|尺○|工●yD"));
        row("no words: a space a beat", QStringLiteral("74:4 76:4 78:8 79:16"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n   "), QStringLiteral("上、尺|工○|凡●yD"));
        row("words that are not Chinese", QStringLiteral("74:8:la 76:8:li 78:16:lo"), 4, 4, 2, 0,
            xiaoGong + QStringLiteral("\n la li lo"), QStringLiteral("上、|尺○|工●yD"),
            {QStringLiteral("第1小节：非汉字的歌词写在空格之后，不唱")});
    }
    void cases() {
        QFETCH(QString, notes);
        QFETCH(int, beats);
        QFETCH(int, beatType);
        QFETCH(int, fifths);
        QFETCH(int, pickup);
        QFETCH(QString, lyric);
        QFETCH(QString, score);
        QFETCH(QStringList, remarks);
        const auto r =
            GongcheTranscriber().transcribe(scoreOf(notes, beats, beatType, fifths, pickup));
        QCOMPARE(r.lyric, lyric);
        QCOMPARE(readable(r.score), readable(written(score)));
        QCOMPARE(remarkTexts(r.remarks), remarks);
    }

    // Where tunes start and what they are called; the readers' problems in
    // document order with the character they concern.
    void tunes_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("lyric");
        QTest::addColumn<QStringList>("remarks");
        QTest::newRow("rehearsal")
            << 0
            << (QStringLiteral("# 牡丹亭\n") + xiaoGong + QStringLiteral("\n春花\n【B】\n") +
                xiaoGong + QStringLiteral("\n秋月"))
            << QStringList();
        QTest::newRow("words") << 1
                               << (QStringLiteral("# 牡丹亭\n") + xiaoGong +
                                   QStringLiteral("\n春花\n【皂罗袍】(仙吕)\n") + xiaoGong +
                                   QStringLiteral("\n秋月"))
                               << QStringList();
        QTest::newRow("double bar and a new key")
            << 2
            << (QStringLiteral("# 牡丹亭\n") + xiaoGong +
                QStringLiteral("\n春花\n【第二支】\n; 笛色=尺字调 板式=一板三眼 速度=60\n秋月"))
            << QStringList();
        QTest::newRow("a key without a double bar: one tune")
            << 3 << (QStringLiteral("# 牡丹亭\n") + xiaoGong + QStringLiteral("\n春花秋月"))
            << QStringList{QStringLiteral("第2小节第3拍：升降音已归入最近的音级")};
        QTest::newRow("readers' problems")
            << 4 << (QStringLiteral("# 牡丹亭\n") + xiaoGong + QStringLiteral("\n春花秋月"))
            << QStringList{QStringLiteral("没有声部"), QStringLiteral("第1小节：改了这一小节"),
                           QStringLiteral("第2小节第3拍：和弦只取最高音")};
    }
    void tunes() {
        QFETCH(int, change);
        QFETCH(QString, lyric);
        QFETCH(QStringList, remarks);
        SourceScore s = scoreOf(QStringLiteral("74:16:春 76:16:花 78:16:秋 79:16:月"), 4, 4);
        s.title = QStringLiteral("牡丹亭");
        SourceMeasure &second = s.measures[1];
        switch (change) {
        case 0:
            second.rehearsal = QStringLiteral("B");
            break;
        case 1:
            second.words = QStringLiteral("【皂罗袍】(仙吕) 一板三眼");
            break;
        case 2:
        case 3:
            second.doubleBarBefore = change == 2;
            second.keyStated = true;
            second.fifths = 0;
            for (int i = 2; i < s.notes.size(); ++i) {
                s.notes[i].midi -= 2; // the same degrees in C
            }
            break;
        default:
            s.problems.append(
                {1, s.measures.at(1).start + 2 * ticksPerBeat, QStringLiteral("和弦只取最高音")});
            s.problems.append({0, -1, QStringLiteral("改了这一小节")});
            s.problems.append({-1, -1, QStringLiteral("没有声部")});
            break;
        }
        const auto r = GongcheTranscriber().transcribe(s);
        QCOMPARE(r.lyric, lyric);
        QCOMPARE(remarkTexts(r.remarks), remarks);
        if (change == 4) {
            QCOMPARE(r.remarks.last().character, 3);
            QCOMPARE(r.remarks.at(1).character, 0);
        }
    }

    // The sample documents carry ornaments and leave beats unmarked, so they
    // cannot come back as written; without their ornaments, their music must:
    // the same pitches, onsets and lengths, nothing reported.
    void sampleMusic_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("format");
        for (const char *format : {"musicxml", "midi"}) {
            const QString f = QString::fromLatin1(format);
            QTest::addRow("sample %s", format) << "tests/export/golden/sample.gcp" << f;
            QTest::addRow("sample_jianpu %s", format)
                << "tests/export/golden/sample_jianpu.gcp" << f;
            QTest::addRow("example %s", format) << "examples/youyuan-zaoluopao.gcp" << f;
        }
    }
    void sampleMusic() {
        QFETCH(QString, path);
        QFETCH(QString, format);
        QString lyric, score;
        const QByteArray bytes = readAll(QStringLiteral(QORVEL_SOURCE_DIR "/") + path);
        QVERIFY(!bytes.isEmpty());
        QCOMPARE(decodeScoreFile(bytes, &lyric, &score), ScoreFileDamage::None);
        for (char32_t o :
             {GongcheSymbol::DieQiang, GongcheSymbol::DieQiangQiKou,
              GongcheSymbol::DaiQiangCuoQiang, GongcheSymbol::HuoQiang, GongcheSymbol::SouQiang}) {
            score.remove(GongcheSymbol::textOf(o));
        }
        const MelodyBuilder builder;
        const Melody original = builder.build(renderModel(lyric, score));
        const auto r = GongcheTranscriber().transcribe(throughFile(original, format));
        QVERIFY2(r.remarks.isEmpty(), qPrintable(remarkTexts(r.remarks).join(QLatin1Char('\n'))));
        const Melody back = builder.build(renderModel(r.lyric, r.score));
        QCOMPARE(musicfixture::midis(back), musicfixture::midis(original));
        QCOMPARE(musicfixture::onsets(back), musicfixture::onsets(original));
        QCOMPARE(musicfixture::durations(back), musicfixture::durations(original));
    }

    // Documents that mark every beat, written as MusicXML, read back to
    // themselves: the same pitch signs and 板眼, the same sung characters,
    // settings and headings, nothing reported. Written as MIDI (which has no
    // breaths and no tune names), to the same pitches and onsets.
    void roundTrip_data() {
        QTest::addColumn<QString>("format");
        QTest::newRow("musicxml") << QStringLiteral("musicxml");
        QTest::newRow("midi") << QStringLiteral("midi");
    }
    void roundTrip() {
        QFETCH(QString, format);
        const MusicRules rules;
        const MelodyBuilder builder(rules);
        const GongcheTranscriber transcriber(rules);
        for (quint32 i = 0; i < 200; ++i) {
            RandomDocument doc(20240601u + i, rules);
            doc.make();
            const Melody melody = builder.build(renderModel(doc.lyric, doc.score));
            for (const Problem &p : melody.problems) {
                // The keys move some pitches off the flute: that is no fault.
                QVERIFY2(p.message == QStringLiteral("超出笛子音域"), qPrintable(p.text()));
            }
            const auto r = transcriber.transcribe(throughFile(melody, format));
            const QString which =
                QStringLiteral("document %1:\n%2\n%3").arg(i).arg(doc.lyric, readable(doc.score));
            if (format == QLatin1String("midi")) {
                const Melody back = builder.build(renderModel(r.lyric, r.score));
                QVERIFY2(musicfixture::midis(back) == musicfixture::midis(melody),
                         qPrintable(which));
                QVERIFY2(musicfixture::onsets(back) == musicfixture::onsets(melody),
                         qPrintable(which + QStringLiteral("\ngot:\n") + readable(r.score)));
                continue;
            }
            QVERIFY2(r.remarks.isEmpty(),
                     qPrintable(which + QLatin1Char('\n') +
                                remarkTexts(r.remarks).join(QLatin1Char('\n'))));
            QVERIFY2(r.score == doc.score,
                     qPrintable(which + QStringLiteral("\ngot:\n") + readable(r.score)));
            QCOMPARE(directives(r.lyric), directives(doc.lyric));
            QCOMPARE(sungText(r.lyric), sungText(doc.lyric));
        }
    }
};

QTEST_GUILESS_MAIN(TestGongcheTranscriber)
#include "tst_gongchetranscriber.moc"

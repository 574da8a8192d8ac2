// GongcheTranscriber: small scores to expected documents, and the round trip
// document → melody → file → reader → document.

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

namespace {

// Notes "midi:eighths[:lyric][/flags: g grace, b breath, f fermata]", a rest "r:eighths"; meter
// "beats/beatType" ("-" for none) [kFIFTHS (default 2)] [pPICKUP in eighths].
SourceScore scoreOf(const QString &notes, const QString &meter) {
    const QStringList head = meter.split(QLatin1Char(' '));
    const int beats = head.at(0).section('/', 0, 0).toInt(),
              beatType = head.at(0).section('/', 1).toInt();
    int fifths = 2, pickup = 0;
    for (const QString &h : head.mid(1))
        (h.startsWith(QLatin1Char('k')) ? fifths : pickup) = h.mid(1).toInt();
    SourceScore s;
    qint64 t = 0;
    for (const QString &token : notes.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = token.section(QLatin1Char('/'), 0, 0).split(QLatin1Char(':'));
        const QString flags = token.section(QLatin1Char('/'), 1);
        SourceNote n;
        n.midi = parts.at(0) == QLatin1String("r") ? -1 : parts.at(0).toInt();
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
    for (qint64 start = 0; start < t || s.measures.isEmpty(); start += s.measures.last().length) {
        SourceMeasure m;
        m.start = start;
        m.length =
            start == 0 && pickup > 0 ? pickup * ticksPerBeat / 8 : std::max<qint64>(length, 1);
        m.number = QString::number(s.measures.size() + (pickup > 0 ? 0 : 1));
        m.beats = beats;
        m.beatType = beatType;
        m.fifths = fifths;
        m.keyStated = m.meterStated = start == 0;
        s.measures.append(m);
    }
    for (SourceNote &n : s.notes)
        for (int i = 0; i < s.measures.size(); ++i)
            n.measure = s.measures.at(i).start <= n.onset ? i : n.measure;
    return s;
}

QString remarkTexts(const QVector<ImportRemark> &remarks) {
    QStringList out;
    for (const ImportRemark &r : remarks)
        out.append(r.text());
    return out.join(QLatin1Char('|'));
}

QString readable(const QString &score) {
    QString out;
    for (uint c : score.toUcs4())
        out += c >= 0xF0000 ? QStringLiteral("<%1>").arg(c - 0xF0000, 0, 16)
                            : QString::fromUcs4(&c, 1);
    return out;
}

QString settings(const QString &keyMeterTempo) {
    const QStringList f = keyMeterTempo.split(QLatin1Char(' '));
    return QStringLiteral("; 笛色=%1 板式=%2 速度=%3").arg(f.at(0), f.at(1), f.value(2, "60"));
}

const QString xiaoGong = settings(QStringLiteral("小工调 一板三眼"));

// A document the melody model reads as written: the four meters the import writes, every beat
// marked (头, or 腰 on a held note), small notes only where they alone give the shares, phrases
// ending in 底板 (with a 气口, or a silent beat after). No ornaments.
class RandomDocument {
    using S = GongcheSymbol;
    using P = S::PitchName;
    using O = S::Octave;
    struct Written {
        char32_t code = 0;
        QVector<char32_t> marks;
        bool startsCharacter = false, phraseEnd = false;
    };

public:
    RandomDocument(quint32 seed, const MusicRules &rules)
        : m_random(seed)
        , m_rules(rules)
        , m_splitter(rules) {
        QStringList lyricLines{QStringLiteral("# 随机")}, scoreLines;
        const int tunes = 1 + m_random.bounded(2);
        for (int t = 0; t < tunes; ++t)
            makeTune(t, &lyricLines, &scoreLines);
        lyric = lyricLines.join(QLatin1Char('\n'));
        score = scoreLines.join(QLatin1Char('\n'));
    }
    QString lyric, score;

private:
    char32_t pitch(bool small) {
        static const QVector<P> names = {P::Gong,   P::He,    P::Si,  P::Yi,  P::Shang,
                                         P::Chi,    P::Gong,  P::Fan, P::Liu, P::Wu,
                                         P::YiHigh, P::Shang, P::Chi};
        const int i = m_random.bounded(names.size());
        const O octave = i == 0 ? O::Low : i > 10 ? O::High : O::Middle;
        return S::pitchCode(small ? S::Series::Small : S::Series::Plain, octave, names.at(i));
    }

    // A small pattern for n notes that no other with as few small notes shares the beat like;
    // all plain when the one drawn is not.
    QVector<bool> smallPattern(int n, bool lastPlain) {
        QVector<bool> small(n, false);
        if (n < 2 || m_random.bounded(2) == 0)
            return small;
        small[m_random.bounded(n)] = true;
        if (lastPlain && small.last())
            return QVector<bool>(n, false);
        const QVector<qint64> shares = m_splitter.oneBeat(small);
        for (int mask = 0; mask < (1 << n); ++mask) {
            QVector<bool> other(n);
            for (int i = 0; i < n; ++i)
                other[i] = (mask >> i) & 1;
            if (other.count(true) <= 1 && other != small && m_splitter.oneBeat(other) == shares)
                return QVector<bool>(n, false);
        }
        return small;
    }

    void makeTune(int t, QStringList *lyricLines, QStringList *scoreLines) {
        const int m = m_random.bounded(4), k = m_random.bounded(5); // 3: 加赠, 1: 凡字调(E)
        const Meter meter = m == 1   ? Meter::YiBanYiYan
                            : m == 2 ? Meter::LiuShui
                                     : Meter::YiBanSanYan;
        const Key key =
            QVector<Key>{Key::XiaoGong, Key::FanZi, Key::ZhengGong, Key::ChiZi, Key::ShangZi}.at(k);
        const MusicRules::MeterRule rule = m_rules.meterRule(meter, m == 3);
        const int measures = rule.beats == 8 ? 1 + m_random.bounded(2) : 2 + m_random.bounded(3);
        lyricLines->append(QStringLiteral("【曲%1】").arg(QChar(0x7532 + t)));
        lyricLines->append(
            settings(m_rules.keyName(key, k == 1) + ' ' + m_rules.meterName(meter, m == 3) + ' ' +
                     QString::number(QList<int>{60, 72, 90}.at(m_random.bounded(3)))));
        writeTune(tuneNotes(rule, measures * rule.beats), lyricLines, scoreLines);
    }

    QVector<Written> tuneNotes(const MusicRules::MeterRule &rule, int beats) {
        QVector<Written> notes;
        bool held = false, silent = false;
        for (int b = 0; b < beats; ++b) {
            if (std::exchange(silent, false))
                continue;
            S::Beat kind = S::Beat::Ban;
            for (S::Beat k : {S::Beat::ZhongYan, S::Beat::XiaoYan, S::Beat::ZengBan, S::Beat::Ban})
                kind = rule.indices(k).contains(b % rule.beats) ? k : kind;
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
                w.code = pitch(small.at(i));
                w.startsCharacter = notes.isEmpty() || m_random.bounded(10) < 4;
                if (i == 0 && !held)
                    w.marks.append(S::beatCode(kind, S::BeatPosition::Tou));
                notes.append(w);
            }
            held = carry && (n > 0 || held);
            Written &w = notes.last();
            if (last) {
                w.marks.append(S::DiBan);
            } else if (!held && (b + 1) % rule.beats == 0 && m_random.bounded(4) == 0) {
                // A phrase ending on a 板: a beat of silence after its 底板, or a 气口.
                silent = rule.beats > 1 && b + 2 < beats && m_random.bounded(2) == 0;
                if (!silent) {
                    const GongcheSymbol s(w.code);
                    w.code = S::pitchCode(s.isSmall() ? S::Series::SmallQiKou : S::Series::QiKou,
                                          s.octave(), s.pitchName());
                }
                w.marks.append(S::DiBan);
                w.phraseEnd = true;
            }
        }
        return notes;
    }

    void writeTune(const QVector<Written> &notes, QStringList *lyricLines,
                   QStringList *scoreLines) {
        static const QString pool = QStringLiteral("春花秋月何时了往事知多少小楼昨夜又东风");
        QString line;
        bool breakNext = false;
        for (const Written &w : notes) {
            if (w.startsCharacter) {
                if (std::exchange(breakNext, false))
                    lyricLines->append(std::exchange(line, QString()));
                line += pool.at(m_random.bounded(pool.size()));
                scoreLines->append(QString());
            }
            scoreLines->last() += GongcheSymbol::textOf(w.code);
            for (char32_t m : w.marks)
                scoreLines->last() += GongcheSymbol::textOf(m);
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
    for (const QString &l : lyric.split(QLatin1Char('\n')))
        if (isDirectiveLine(l))
            out.append(l);
    return out;
}

// A melody written to a file and read back: what the import of that file works from.
SourceScore throughFile(const Melody &melody, const QString &format) {
    const QString title = QStringLiteral("随机");
    if (format == QLatin1String("midi"))
        return MidiFileReader::read(MidiWriter::encode(melody, {false, title})).score;
    return MusicXmlReader::read(MusicXmlWriter::encode(melody, {title, false})).score;
}

} // namespace

class TestGongcheTranscriber : public QObject {
    Q_OBJECT
private slots:
    // Small scores and the documents they become: sung lines after the settings ("key meter
    // [tempo]", default 小工调 一板三眼 60), score lines (musicfixture notation) and remarks by
    // "|".
    void cases_data() {
        for (const char *c : {"notes", "meter", "sung", "score", "remarks", "settings"})
            QTest::addColumn<QString>(c);
        const auto row = [](const char *name, const QString &notes, const QString &meter,
                            const QString &sung, const QString &score, const QString &remarks = {},
                            const QString &head = {}) {
            QTest::newRow(name) << notes << meter << sung << score << remarks << head;
        };
        const char *whole = "上、yzyD";
        // Keys: the 笛色 whose 上 is the major tonic of the signature.
        row("D major", "74:32:春", "4/4", "春", whole);
        row("A minor is C major: A is 五", "81:32:春", "4/4 k0", "春", "五、yzyD", "",
            "尺字调 一板三眼");
        row("E: 凡字调(E)", "76:32:春", "4/4 k4", "春", whole, "", "凡字调(E) 一板三眼");
        row("D flat: nearest, fewer accidentals: C", "73:32:春", "4/4 k-5", "春", whole,
            "第1小节：D♭调没有对应的笛色，已按尺字调记谱|第1小节第1拍：升降音已归入最近的音级",
            "尺字调 一板三眼");
        row("F sharp: F and G tie, the lower", "77:32:春", "4/4 k6", "春", whole,
            "第1小节：F♯调没有对应的笛色，已按六字调记谱", "六字调 一板三眼");
        // Pitch: the octave sections, chromatic and out of range notes.
        row("octave sections", "57:8:春 62:8:花 86:8:秋 109:8:月", "4/4", "春花秋月",
            "合L、|上L○|仩●|乙w○D");
        row("chromatic: the degree below", "75:16:春 77:16:花", "4/4", "春花", "上、y|尺●yD",
            "第1小节第1拍：升降音已归入最近的音级|第1小节第3拍：升降音已归入最近的音级");
        row("out of range: moved by octaves", "50:16:春 120:16:花", "4/4", "春花", "上L、y|五w●yD",
            "第1小节第1拍：音域外的音已移八度|第1小节第3拍：音域外的音已移八度|"
            "第1小节第3拍：升降音已归入最近的音级");
        // Meters; 2/4, 1/4 and 8/4 come back in the round trip.
        row("3/4: 流水板", "74:8:春 76:8:花 78:8:秋", "3/4", "春花秋", "上、|尺、|工、D",
            "第1小节：3/4拍记作流水板", "小工调 流水板");
        row("6/8: 一板一眼 in dotted quarters", "74:12:春 76:12:花", "6/8", "春花", "上、|尺○D",
            "第1小节：6/8拍记作一板一眼", "小工调 一板一眼 40");
        row("2/2: 一板三眼", "74:32:春", "2/2", "春", whole, "第1小节：2/2拍记作一板三眼");
        row("no time signature: 散板, fermata 底板", "74:8:春 76:4:花 78:4:秋/f", "-", "春花秋",
            "上|尺|工D", "第1小节：没有拍号，按散板记谱，节奏不保留", "小工调 散板");
        // Rhythm.
        row("头 and 腰", "74:4:春 76:8:花 78:4 79:16:秋", "4/4", "春花秋", "上、|尺y工|凡●yD");
        row("底板, then a silent beat", "74:32:春 r:8 76:24:花", "4/4", "春\n花",
            "上、yzyD|尺○zyD");
        row("a rest inside a phrase lengthens the note before it", "74:8:春 76:4:花 r:4 78:16:秋",
            "4/4", "春花\n秋", "上、|尺○|工●yD", "第1小节第2拍：休止已并入前一音");
        row("small note found", "74:6:春 76:2 78:24:花", "4/4", "春花", "上、尺s|工○zyD");
        row("a beat no shares give", "74:3:春 76:5 78:24:花", "4/4", "春花", "上、尺|工○zyD",
            "第1小节第1拍：此拍节奏无法用板眼写出，已保留音高");
        row("grace: a small note before its note", "74:8:春 78:0/g 76:8:花 79:16:秋", "4/4",
            "春花秋", "上、|工s尺○|凡●yD");
        row("breath: 气口, a phrase end", "74:8:春 76:8:花/b 78:16:秋", "4/4", "春花\n秋",
            "上、|尺k○|工●yD");
        row("breath on a 板: 底板", "74:8:春 76:8:花/b 78:16:秋", "2/4", "春花\n秋",
            "上、|尺k○D|工、yD", "", "小工调 一板一眼");
        row("fermata off the 板", "74:8:春 76:8:花/f 78:16:秋", "4/4", "春花\n秋", "上、|尺○|工●yD",
            "第1小节第2拍：延长记号不在板上，已略去");
        // Pickups.
        row("two-beat pickup", "71:8:春 69:8:花 74:32:秋", "4/4 p16", "春花秋", "四●|合○|上、yzyD");
        row("half-beat pickup", "71:4:春 74:32:花", "4/4 p4", "春花", "四|上、yzyD",
            "第0小节第1拍：此拍节奏无法用板眼写出，已保留音高");
        // Lyrics.
        row("notes before the first syllable", "71:8 74:8:春 76:16:花", "4/4", "春花",
            "四、上○|尺●yD");
        row("punctuation kept, a line break after it", "74:8:春， 76:8:花 78:16:秋。", "4/4",
            "春，\n花秋。", "上、|尺○|工●yD");
        row("no words: a space a beat", "74:4 76:4 78:8 79:16", "4/4", "   ", "上、尺|工○|凡●yD");
        row("words that are not Chinese", "74:8:la 76:8:li 78:16:lo", "4/4", " la li lo",
            "上、|尺○|工●yD", "第1小节：非汉字的歌词写在空格之后，不唱");
    }
    void cases() {
        QFETCH(QString, notes);
        QFETCH(QString, meter);
        QFETCH(QString, sung);
        QFETCH(QString, score);
        QFETCH(QString, remarks);
        QFETCH(QString, settings);
        const auto r = GongcheTranscriber().transcribe(scoreOf(notes, meter));
        QCOMPARE(r.lyric, (settings.isEmpty() ? xiaoGong : ::settings(settings)) + '\n' + sung);
        QCOMPARE(readable(r.score),
                 readable(musicfixture::scoreText(score.split(QLatin1Char('|')))));
        QCOMPARE(remarkTexts(r.remarks), remarks);
    }

    // Where tunes start and their names (lyric: title, 春花, `between`, 秋月); the readers'
    // problems in document order with the character they concern.
    void tunes_data() {
        QTest::addColumn<int>("change");
        for (const char *c : {"between", "remarks"})
            QTest::addColumn<QString>(c);
        QTest::newRow("rehearsal") << 0 << "\n【B】\n" + xiaoGong + '\n' << QString();
        QTest::newRow("words") << 1 << "\n【皂罗袍】(仙吕)\n" + xiaoGong + '\n' << QString();
        QTest::newRow("double bar and a new key")
            << 2 << "\n【第二支】\n" + settings("尺字调 一板三眼") + '\n'
            << QString();
        QTest::newRow("a key without a double bar: one tune")
            << 3 << QString() << QStringLiteral("第2小节第3拍：升降音已归入最近的音级");
        QTest::newRow("readers' problems")
            << 4 << QString()
            << QStringLiteral("没有声部|第1小节：改了这一小节|第2小节第3拍：和弦只取最高音");
    }
    void tunes() {
        QFETCH(int, change);
        QFETCH(QString, between);
        QFETCH(QString, remarks);
        SourceScore s = scoreOf(QStringLiteral("74:16:春 76:16:花 78:16:秋 79:16:月"), "4/4");
        s.title = QStringLiteral("牡丹亭");
        SourceMeasure &second = s.measures[1];
        if (change == 0)
            second.rehearsal = QStringLiteral("B");
        if (change == 1)
            second.words = QStringLiteral("【皂罗袍】(仙吕) 一板三眼");
        if (change == 2 || change == 3) {
            second.doubleBarBefore = change == 2;
            second.keyStated = true;
            second.fifths = 0;
            for (int i = 2; i < s.notes.size(); ++i)
                s.notes[i].midi -= 2; // the same degrees in C
        }
        if (change == 4) {
            s.problems.append(
                {1, second.start + 2 * ticksPerBeat, QStringLiteral("和弦只取最高音")});
            s.problems.append({0, -1, QStringLiteral("改了这一小节")});
            s.problems.append({-1, -1, QStringLiteral("没有声部")});
        }
        const auto r = GongcheTranscriber().transcribe(s);
        QCOMPARE(r.lyric, "# 牡丹亭\n" + xiaoGong + "\n春花" + between + "秋月");
        QCOMPARE(remarkTexts(r.remarks), remarks);
        QVERIFY(change != 4 || (r.remarks.last().character == 3 && r.remarks.at(1).character == 0));
    }

    // The samples (ornaments, unmarked beats) cannot come back as written; without their ornaments,
    // their music must: the same pitches, onsets and lengths, nothing reported.
    void sampleMusic_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("format");
        for (const char *format : {"musicxml", "midi"})
            for (const char *path :
                 {"tests/export/golden/sample.gcp", "tests/export/golden/sample_jianpu.gcp",
                  "examples/youyuan-zaoluopao.gcp"})
                QTest::addRow("%s %s", path, format) << path << format;
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
              GongcheSymbol::DaiQiangCuoQiang, GongcheSymbol::HuoQiang, GongcheSymbol::SouQiang})
            score.remove(GongcheSymbol::textOf(o));
        const MelodyBuilder builder;
        const Melody original = builder.build(renderModel(lyric, score));
        const auto r = GongcheTranscriber().transcribe(throughFile(original, format));
        QVERIFY2(r.remarks.isEmpty(), qPrintable(remarkTexts(r.remarks)));
        const Melody back = builder.build(renderModel(r.lyric, r.score));
        QCOMPARE(musicfixture::midis(back), musicfixture::midis(original));
        QCOMPARE(musicfixture::onsets(back), musicfixture::onsets(original));
        QCOMPARE(musicfixture::durations(back), musicfixture::durations(original));
    }

    // Documents marking every beat come back through MusicXML as written, nothing reported; through
    // MIDI (no breaths, no tune names) to the same pitches and onsets.
    void roundTrip_data() {
        QTest::addColumn<QString>("format");
        for (const char *format : {"musicxml", "midi"})
            QTest::newRow(format) << format;
    }
    void roundTrip() {
        QFETCH(QString, format);
        const MusicRules rules;
        const MelodyBuilder builder(rules);
        const GongcheTranscriber transcriber(rules);
        for (quint32 i = 0; i < 200; ++i) {
            const RandomDocument doc(20240601u + i, rules);
            const Melody melody = builder.build(renderModel(doc.lyric, doc.score));
            for (const Problem &p : melody.problems) // keys move some pitches off the flute
                QVERIFY2(p.message == QStringLiteral("超出笛子音域"), qPrintable(p.text()));
            const auto r = transcriber.transcribe(throughFile(melody, format));
            const QString which = QString::number(i) + ":\n" + doc.lyric + '\n' +
                                  readable(doc.score) + "\ngot:\n" + readable(r.score);
            if (format == QLatin1String("midi")) {
                const Melody back = builder.build(renderModel(r.lyric, r.score));
                QVERIFY2(musicfixture::midis(back) == musicfixture::midis(melody) &&
                             musicfixture::onsets(back) == musicfixture::onsets(melody),
                         qPrintable(which));
                continue;
            }
            QVERIFY2(r.remarks.isEmpty(), qPrintable(which + '\n' + remarkTexts(r.remarks)));
            QVERIFY2(r.score == doc.score, qPrintable(which));
            QCOMPARE(directives(r.lyric), directives(doc.lyric));
            QCOMPARE(sungText(r.lyric), sungText(doc.lyric));
        }
    }
};

QTEST_GUILESS_MAIN(TestGongcheTranscriber)
#include "tst_gongchetranscriber.moc"

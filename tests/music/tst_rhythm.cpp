// Rhythm as a copyist writes it: phrases that end on their 底板, beats whose
// notes all have values 简谱 writes without a tie, crowded beats that keep
// every note, free openings, ornaments in the tune's own scale, 擻腔. Each
// document's notes agree with what the MIDI and MusicXML writers make of them.
#include "music/beatsplitter.h"
#include "music/melodybuilder.h"
#include "music/midiwriter.h"
#include "music/musicrules.h"
#include "music/musicxmlwriter.h"
#include "musicfixture.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace music;
using namespace musicfixture;

namespace {

const QString sanYan = QStringLiteral("; 板式=一板三眼\n【测试】\n");

// The values a note may take inside one beat, in ticks.
bool writable(qint64 ticks) {
    static const QVector<qint64> values = {480, 360, 240, 180, 120, 60};
    return values.contains(ticks);
}

// Where a note breaks the rule: a part of it inside one beat (from its onset
// to the next beat, or from a beat to its end) whose value 简谱 cannot write
// without a tie. Free notes (散板, a free opening) have no beats.
QString unwritablePart(const Melody &m) {
    for (const Section &s : m.sections) {
        if (s.beatsPerMeasure() == 0) {
            continue;
        }
        for (int i = s.firstNote; i < s.firstNote + s.noteCount; ++i) {
            const Note &n = m.notes.at(i);
            if (n.onset < s.measuredStart) {
                continue;
            }
            const qint64 from = n.onset - s.measuredStart;
            const qint64 to = from + n.duration;
            const qint64 nextBeat = (from / ticksPerBeat + 1) * ticksPerBeat;
            const qint64 head = std::min(to, nextBeat) - from;
            const qint64 tail = to > nextBeat ? to % ticksPerBeat : 0;
            if (n.duration < ticksPerBeat / 8 || (head < ticksPerBeat && !writable(head)) ||
                (tail > 0 && !writable(tail))) {
                return QStringLiteral("note %1 at %2 lasting %3")
                    .arg(i)
                    .arg(n.onset)
                    .arg(n.duration);
            }
        }
    }
    return {};
}

int gracesOf(const Melody &m) {
    int graces = 0;
    for (const Note &n : m.notes) {
        graces += n.gracesBefore.size() + n.gracesAfter.size();
    }
    return graces;
}

// The notes the MIDI writer sounds on the flute track: one for every note and
// every grace of the melody.
int midiNotes(const Melody &m) {
    int count = 0;
    for (const MidiWriter::TimedEvent &e : MidiWriter::events(m, MidiWriter::Options())) {
        if (e.track == 1 && (quint8(e.bytes.at(0)) & 0xf0) == 0x90 && quint8(e.bytes.at(2)) > 0) {
            ++count;
        }
    }
    return count;
}

// What the MusicXML writer makes of a melody: the notes it writes (graces
// apart) and whether every measure after the first adds up to its time.
struct Xml {
    int notes = 0; // sounding notes that start (not continuations of a tie)
    int graces = 0;
    bool measuresAddUp = true;
    bool finalBar = false;
    qint64 length = 0; // in divisions over all measures
    int divisions = 0;
};

Xml readXml(const QByteArray &bytes) {
    const XScore score = parseMusicXml(bytes);
    Xml out;
    // The time and the divisions hold from the measure that states them on.
    int beats = 0;
    int beatType = 4;
    bool senza = false;
    for (const XMeasure &m : score.measures) {
        if (m.divisions > 0) {
            out.divisions = m.divisions;
        }
        if (m.beats > 0) {
            beats = m.beats;
            senza = false;
        }
        if (m.beatType > 0) {
            beatType = m.beatType;
        }
        senza = senza || m.senza;
        if (!m.barStyle.isEmpty()) {
            out.finalBar = m.barStyle == QLatin1String("light-heavy");
        }
        for (const XNote &n : m.notes) {
            if (n.grace) {
                ++out.graces;
            } else if (!n.rest && !n.ties.contains(QLatin1String("stop"))) {
                ++out.notes;
            }
        }
        out.length += m.length();
        const qint64 full = qint64(beats) * out.divisions * 4 / std::max(1, beatType);
        if (!m.implicit && !senza && beats > 0 && m.length() != full) {
            out.measuresAddUp = false;
        }
    }
    return out;
}

// Every note and grace of a melody is in the exported files, once.
void checkExportsAgree(const Melody &m) {
    QCOMPARE(midiNotes(m), m.notes.size() + gracesOf(m));
    const Xml xml = readXml(MusicXmlWriter::encode(m, MusicXmlWriter::Options()));
    QCOMPARE(xml.notes, m.notes.size());
    QCOMPARE(xml.graces, gracesOf(m));
    QVERIFY(xml.measuresAddUp);
    QVERIFY(xml.finalBar);
    QCOMPARE(xml.length * ticksPerBeat / std::max(1, xml.divisions), m.length());
}

} // namespace

class TestRhythm : public QObject {
    Q_OBJECT

private slots:
    void documents_data();
    void documents();
    void diBanThenYaoIsReported();
    void beatShares_data();
    void beatShares();
    void beatsOfOneToNineNotes_data();
    void beatsOfOneToNineNotes();
    void crowdedBeatKeepsEveryNote();
    void ornamentsStayInTheTunesScale();
    void souQiang_data();
    void souQiang();
    void randomScoresAreWritable();
};

// Whole documents: the notes, the 板眼 clicks, where the measured part starts
// and where the tune ends, and the exported files agreeing with them.
void TestRhythm::documents_data() {
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QStringList>("score");
    QTest::addColumn<QVector<qint64>>("onsets");
    QTest::addColumn<QVector<qint64>>("durations");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<qint64>("measuredStart");
    QTest::addColumn<qint64>("end");

    // The last note ends on its 底板: the tune ends on that 板, no silent bar.
    QTest::newRow("ends on 底板") << sanYan + QStringLiteral("春花秋月")
                                  << QStringList{"上、尺", "工○", "六●工", "尺○上D"}
                                  << QVector<qint64>{0, 240, 480, 960, 1200, 1440, 1680}
                                  << QVector<qint64>{240, 240, 480, 240, 240, 240, 240}
                                  << QStringList{"0:板", "480:眼", "960:眼", "1440:眼", "1920:板"}
                                  << qint64(0) << qint64(1920);
    // A 头板 on the next note is the 底板's own 板: the next note starts there.
    QTest::newRow("底板 then 头板")
        << sanYan + QStringLiteral("春花秋月明日")
        << QStringList{"上、尺", "工○", "六●工", "尺○上D", "工、", "尺○"}
        << QVector<qint64>{0, 240, 480, 960, 1200, 1440, 1680, 1920, 2400}
        << QVector<qint64>{240, 240, 480, 240, 240, 240, 240, 480, 1440}
        << QStringList{"0:板", "480:眼", "960:眼", "1440:眼", "1920:板", "2400:眼"} << qint64(0)
        << qint64(3840);
    // The same with the 头板 written before the note, at the start of its line.
    QTest::newRow("底板 then 头板 before its note")
        << sanYan + QStringLiteral("春花秋") << QStringList{"上、尺D", "、工", "尺○"}
        << QVector<qint64>{0, 480, 1920, 2400} << QVector<qint64>{480, 1440, 480, 1440}
        << QStringList{"0:板", "1920:板", "2400:眼"} << qint64(0) << qint64(3840);
    // A 底板 then a 头眼 on the next note: the beat after the 板 is silent.
    QTest::newRow("底板 then 头眼")
        << sanYan + QStringLiteral("春花") << QStringList{"上、尺D", "工○"}
        << QVector<qint64>{0, 480, 2400} << QVector<qint64>{480, 1440, 1440}
        << QStringList{"0:板", "1920:板", "2400:眼"} << qint64(0) << qint64(3840);
    // Three characters before the first 板 are sung freely (a beat a note, a
    // character's first 1½, the last held), then the measured part begins.
    QTest::newRow("free opening") << sanYan + QStringLiteral("春花秋月")
                                  << QStringList{"上尺", "工", "六五", "工、"}
                                  << QVector<qint64>{0, 720, 1200, 1920, 2640, 3120}
                                  << QVector<qint64>{720, 480, 720, 720, 480, 1920}
                                  << QStringList{"3120:板"} << qint64(3120) << qint64(5040);
    // One character of a few notes stays a pickup of one beat.
    QTest::newRow("short pickup") << sanYan + QStringLiteral("春花") << QStringList{"四上", "尺、"}
                                  << QVector<qint64>{0, 240, 480} << QVector<qint64>{240, 240, 1920}
                                  << QStringList{"480:板"} << qint64(0) << qint64(2400);
    // The free opening ends on the note the first mark (a 腰板) falls in,
    // which is a pickup held across the 板.
    QTest::newRow("free opening, 腰板")
        << sanYan + QStringLiteral("春花秋") << QStringList{"上", "尺", "工Y六○"}
        << QVector<qint64>{0, 720, 1440, 2400} << QVector<qint64>{720, 720, 960, 1440}
        << QStringList{"1920:板", "2400:眼"} << qint64(1440) << qint64(3840);
    // plain, small, plain in one beat: ¼ ¼ ½, not ⅝ ⅛ ¼.
    QTest::newRow("plain small plain")
        << sanYan + QStringLiteral("春花") << QStringList{"上、尺s工", "六○"}
        << QVector<qint64>{0, 120, 240, 480} << QVector<qint64>{120, 120, 240, 1440}
        << QStringList{"0:板", "480:眼"} << qint64(0) << qint64(1920);
}

void TestRhythm::documents() {
    QFETCH(QString, lyric);
    QFETCH(QStringList, score);
    const Melody m = melodyOf(lyric, score);
    QTEST(onsets(m), "onsets");
    QTEST(durations(m), "durations");
    QTEST(clicks(m), "clicks");
    QCOMPARE(m.sections.size(), 1);
    QTEST(m.sections.first().measuredStart, "measuredStart");
    QTEST(m.sections.first().end, "end");
    QCOMPARE(messages(m), QStringList());
    QCOMPARE(unwritablePart(m), QString());
    checkExportsAgree(m);
    if (m.sections.first().measuredStart > 0) {
        const int freeNotes =
            int(std::count_if(m.notes.begin(), m.notes.end(), [&m](const Note &n) {
                return n.onset < m.sections.first().measuredStart;
            }));
        QVERIFY(m.notes.at(freeNotes - 1).fermata);
    }
}

// A 腰 mark after the 底板 of the same note cannot hold a note its 底板 has
// ended: an error at that mark, and the mark does not count.
void TestRhythm::diBanThenYaoIsReported() {
    const Melody m = melodyOf(sanYan + QStringLiteral("春花秋"), {"上、尺Dy", "工、", "尺○"});
    const Melody without = melodyOf(sanYan + QStringLiteral("春花秋"), {"上、尺D", "工、", "尺○"});
    QCOMPARE(onsets(m), onsets(without));
    QCOMPARE(durations(m), durations(without));
    QCOMPARE(clicks(m), clicks(without));
    QCOMPARE(m.problems.size(), 1);
    const Problem &p = m.problems.first();
    QCOMPARE(p.severity, Problem::Severity::Error);
    QCOMPARE(p.place, scoreAt(0, 8, 2)); // the 腰眼 after 尺 and its 底板
    QVERIFY2(p.message.contains(QStringLiteral("底板")), qPrintable(p.message));
    QVERIFY(!m.notes.isEmpty());
    for (const Note &n : m.notes) {
        QVERIFY(n.duration > 0); // nothing turned into a rest
    }
}

// One beat among its notes: p plain, s small, in grid units (⅛ beat).
void TestRhythm::beatShares_data() {
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QVector<int>>("shares");
    QTest::newRow("p") << "p" << QVector<int>{8};
    QTest::newRow("pp") << "pp" << QVector<int>{4, 4};
    QTest::newRow("ppp") << "ppp" << QVector<int>{4, 2, 2};
    QTest::newRow("pppp") << "pppp" << QVector<int>{2, 2, 2, 2};
    QTest::newRow("ppppp") << "ppppp" << QVector<int>{2, 2, 2, 1, 1};
    QTest::newRow("pppppppp") << "pppppppp" << QVector<int>(8, 1);
    QTest::newRow("ps") << "ps" << QVector<int>{6, 2};
    QTest::newRow("sp") << "sp" << QVector<int>{2, 6};
    QTest::newRow("psp") << "psp" << QVector<int>{2, 2, 4};
    QTest::newRow("pss") << "pss" << QVector<int>{4, 2, 2};
    QTest::newRow("pps") << "pps" << QVector<int>{4, 2, 2};
    QTest::newRow("psss") << "psss" << QVector<int>{4, 2, 1, 1}; // ⅝ is not written
    QTest::newRow("psps") << "psps" << QVector<int>{3, 1, 3, 1};
    QTest::newRow("ppps") << "ppps" << QVector<int>{4, 2, 1, 1};
    QTest::newRow("pppss") << "pppss" << QVector<int>{4, 1, 1, 1, 1};
    QTest::newRow("ss") << "ss" << QVector<int>{4, 4};
    // More than eight: the small notes become graces (0), then the latest
    // plain ones.
    QTest::newRow("9, one small") << "ppppspppp" << QVector<int>{1, 1, 1, 1, 0, 1, 1, 1, 1};
    QTest::newRow("10 plain") << "pppppppppp" << QVector<int>{1, 1, 1, 1, 1, 1, 1, 1, 0, 0};
}

void TestRhythm::beatShares() {
    QFETCH(QString, notes);
    QFETCH(QVector<int>, shares);
    QVector<bool> small;
    for (QChar c : notes) {
        small.append(c == QLatin1Char('s'));
    }
    const MusicRules rules;
    QVector<qint64> ticks;
    for (int s : shares) {
        ticks.append(qint64(s) * ticksPerBeat / 8);
    }
    QCOMPARE(BeatSplitter(rules).oneBeat(small), ticks);
}

// A beat of one to nine notes, with and without small notes, in a document:
// every note sounds or is a grace, every value is writable, the exports agree.
void TestRhythm::beatsOfOneToNineNotes_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("smallEvery"); // 0: none small
    for (int n = 1; n <= 9; ++n) {
        for (int every : {0, 2, 3}) {
            QTest::addRow("%d notes, small every %d", n, every) << n << every;
        }
    }
}

void TestRhythm::beatsOfOneToNineNotes() {
    QFETCH(int, count);
    QFETCH(int, smallEvery);
    QString beat;
    const QString names = QStringLiteral("上尺工六五工尺上四");
    for (int i = 0; i < count; ++i) {
        beat += names.at(i);
        if (smallEvery > 0 && i % smallEvery == smallEvery - 1) {
            beat += QLatin1Char('s');
        }
        if (i == 0) {
            beat += QStringLiteral("、");
        }
    }
    const Melody m = melodyOf(sanYan + QStringLiteral("春花"), {beat, QStringLiteral("工○")});
    QCOMPARE(m.notes.size() + gracesOf(m), count + 1);
    QCOMPARE(m.notes.first().onset, qint64(0));
    QCOMPARE(m.notes.last().onset, qint64(ticksPerBeat));
    QCOMPARE(unwritablePart(m), QString());
    checkExportsAgree(m);
}

// A thousand notes in one beat: the first eight sound, none shorter than ⅛
// beat, the rest are graces, nothing is lost, and the check says so once.
void TestRhythm::crowdedBeatKeepsEveryNote() {
    QString beat = QStringLiteral("上、");
    for (int i = 0; i < 999; ++i) {
        beat += QStringLiteral("尺工").at(i % 2);
    }
    const Melody m = melodyOf(sanYan + QStringLiteral("春花"), {beat, QStringLiteral("工○")});
    QCOMPARE(m.notes.size(), 9);
    QCOMPARE(m.notes.size() + gracesOf(m), 1001);
    QCOMPARE(unwritablePart(m), QString());
    QCOMPARE(messages(m).count(QStringLiteral("一拍中音太多")), 1);
    QCOMPARE(midiNotes(m), 1001);
    const Xml xml = readXml(MusicXmlWriter::encode(m, MusicXmlWriter::Options()));
    QCOMPARE(xml.notes + xml.graces, 1001);
}

// A pentatonic tune (上尺工六五 and their octaves) never gets 凡, 乙 or 一
// from an ornament: 疊腔 on 上 falls to 五 below, 撮腔 on 五 rises to 仩.
void TestRhythm::ornamentsStayInTheTunesScale() {
    const QString lyric = sanYan + QStringLiteral("春花秋月");
    const Melody m = melodyOf(lyric, {"上T、尺", "工○六", "五C●工", "尺○上"});
    const Note &die = m.notes.at(0);
    QCOMPARE(die.gracesAfter, (QVector<int>{71, 74})); // 四 (low 五), then 上 again
    const Note &cuo = m.notes.at(4);
    QCOMPARE(cuo.midi, 83);
    QCOMPARE(cuo.gracesBefore, (QVector<int>{86})); // 仩, not 乙 (85)
    // Where the tune uses 凡 and 乙, they are its scale.
    const Melody full = melodyOf(lyric, {"上T、凡", "工○乙", "五C●工", "尺○上"});
    QCOMPARE(full.notes.at(0).gracesAfter, (QVector<int>{73, 74})); // 一 (low 乙)
    QCOMPARE(full.notes.at(4).gracesBefore, (QVector<int>{85}));    // 乙
}

// 擻腔: the note, then its upper neighbour and the note twice, in the last
// half beat of a note of two beats or more, else in its last quarter beat.
void TestRhythm::souQiang_data() {
    QTest::addColumn<QStringList>("score");
    QTest::addColumn<qint64>("duration");
    QTest::addColumn<qint64>("span");
    QTest::newRow("long note") << QStringList{"上S、", "尺、"} << qint64(1920) << qint64(240);
    QTest::newRow("two beats") << QStringList{"上S、", "尺●"} << qint64(960) << qint64(240);
    QTest::newRow("short note") << QStringList{"上S、", "尺○"} << qint64(480) << qint64(120);
}

void TestRhythm::souQiang() {
    QFETCH(QStringList, score);
    const Melody m = melodyOf(sanYan + QStringLiteral("春花"), score);
    const Note &n = m.notes.first();
    QTEST(n.duration, "duration");
    QCOMPARE(n.gracesAfter, (QVector<int>{76, 74, 74}));
    QTEST(n.graceAfterTicks, "span");
    // The MIDI file sounds the three in that span at the note's end.
    QVector<qint64> graceOnsets;
    for (const MidiWriter::TimedEvent &e : MidiWriter::events(m, MidiWriter::Options())) {
        if (e.track == 1 && (quint8(e.bytes.at(0)) & 0xf0) == 0x90 && quint8(e.bytes.at(2)) > 0 &&
            e.tick < n.duration) {
            graceOnsets.append(e.tick);
        }
    }
    QFETCH(qint64, duration);
    QFETCH(qint64, span);
    QCOMPARE(graceOnsets,
             (QVector<qint64>{0, duration - span, duration - span * 2 / 3, duration - span / 3}));
}

// Random scores in every meter: no unwritable value, nothing shorter than ⅛
// beat, every pitch sounds or is a grace.
void TestRhythm::randomScoresAreWritable() {
    QRandomGenerator random(20261209);
    const QStringList marks = {"、", "○", "●", "Y", "y", "D", "×", ""};
    const QStringList pitches = {"上", "尺", "工", "六", "五", "四", "合", "凡"};
    const QStringList meters = {"一板三眼", "一板一眼", "流水板", "加赠一板三眼"};
    for (int round = 0; round < 300; ++round) {
        const int characters = 1 + int(random.bounded(12));
        QStringList score;
        QString lyric;
        int pitchCount = 0;
        for (int c = 0; c < characters; ++c) {
            QString line;
            const int notes = 1 + int(random.bounded(5));
            for (int k = 0; k < notes; ++k) {
                line += pitches.at(int(random.bounded(pitches.size())));
                ++pitchCount;
                if (random.bounded(4) == 0) {
                    line += QLatin1Char('s');
                }
                if (random.bounded(2) == 0) {
                    line += marks.at(int(random.bounded(marks.size())));
                }
            }
            score.append(line);
            lyric += QChar(0x4E00 + c);
        }
        const QString meter = meters.at(int(random.bounded(meters.size())));
        const Melody m =
            melodyOf(QStringLiteral("; 板式=%1\n【测试】\n%2").arg(meter, lyric), score);
        QCOMPARE(m.notes.size() + gracesOf(m), pitchCount);
        QVERIFY2(unwritablePart(m).isEmpty(),
                 qPrintable(score.join(QLatin1Char('|')) + QLatin1Char(' ') + meter +
                            QLatin1Char(' ') + unwritablePart(m)));
    }
}

QTEST_MAIN(TestRhythm)
#include "tst_rhythm.moc"

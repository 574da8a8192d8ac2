// The MusicXML writer: the score read back with QXmlStreamReader, validated
// against the MusicXML 4.0 schema by xmllint and converted by LilyPond's
// musicxml2ly, readers nobody here wrote.
#include "music/musicxmlwriter.h"
#include "musicfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace music;
using musicfixture::note;
using musicfixture::parseMusicXml;
using musicfixture::pickupMelody;
using musicfixture::section;
using musicfixture::XMeasure;
using musicfixture::XNote;
using musicfixture::XScore;

Q_DECLARE_METATYPE(music::Melody)

namespace {

// 散板 in 小工调, then 一板一眼 加赠 in 凡字调 with a pickup of one beat.
Melody twoTunes() {
    Melody m;
    m.sections.append(section(Meter::SanBan, Key::XiaoGong, 50, 0, 0, 1920));
    Section zeng = section(Meter::YiBanYiYan, Key::FanZi, 72, 1920, 2400, 2400 + 2 * 1920,
                           QStringLiteral("好姐姐"));
    zeng.zeng = true;
    m.sections.append(zeng);
    m.notes.append(note(74, 0, 960, 0, QStringLiteral("袅")));
    m.notes.append(note(76, 960, 960, 0));
    m.notes[1].breathAfter = true;
    m.notes.append(note(70, 1920, 480, 1, QStringLiteral("晴")));
    m.notes.append(note(75, 2400, 960, 1));
    m.notes.append(note(72, 3360, 960, 2, QStringLiteral("丝")));
    m.notes.append(note(70, 4320, 1920, 3, QStringLiteral("吹")));
    return m;
}

// 一板三眼 加赠 in 正工调: a breve, and a note over the 赠板.
Melody zengMelody() {
    Melody m;
    Section s =
        section(Meter::YiBanSanYan, Key::ZhengGong, 40, 0, 0, 7680, QStringLiteral("山坡羊"));
    s.zeng = true;
    m.sections.append(s);
    m.notes.append(note(67, 0, 3840, 0, QStringLiteral("良")));
    m.notes.append(note(69, 3840, 960, 1, QStringLiteral("辰")));
    m.notes.append(note(71, 4800, 480, 1));
    m.notes.append(note(74, 5280, 2400, 2, QStringLiteral("美")));
    return m;
}

// 流水板 in 六字调 with a pickup of half a beat and notes over bar lines.
Melody liuShuiMelody() {
    Melody m;
    m.sections.append(
        section(Meter::LiuShui, Key::LiuZi, 120, 0, 240, 240 + 4 * 480, QStringLiteral("朴灯蛾")));
    m.notes.append(note(72, 0, 240, 0, QStringLiteral("一")));
    m.notes.append(note(70, 240, 480, 1, QStringLiteral("江")));
    m.notes.append(note(69, 720, 240, 2, QStringLiteral("风")));
    m.notes.append(note(67, 960, 480, 2));
    m.notes.append(note(65, 1440, 720, 3, QStringLiteral("月")));
    m.notes[4].gracesBefore = {67, 65};
    return m;
}

// 散板 alone in 尺字调: a 气口 ends the first bar.
Melody sanBanMelody() {
    Melody m;
    m.sections.append(section(Meter::SanBan, Key::ChiZi, 50, 0, 0, 3000, QStringLiteral("引子")));
    m.notes.append(note(72, 0, 720, 0, QStringLiteral("梦")));
    m.notes[0].breathAfter = true;
    m.notes.append(note(74, 720, 480, 1, QStringLiteral("回")));
    m.notes.append(note(76, 1200, 1800, 1));
    m.notes[2].fermata = true;
    return m;
}

// 小工调 with notes outside the key: F natural twice, then F sharp.
Melody accidentalMelody() {
    Melody m;
    m.sections.append(section(Meter::YiBanSanYan, Key::XiaoGong, 60, 0, 0, 1920));
    m.notes.append(note(77, 0, 480, 0, QStringLiteral("春")));
    m.notes.append(note(77, 480, 480, 0));
    m.notes.append(note(78, 960, 480, 0));
    m.notes.append(note(73, 1440, 480, 1, QStringLiteral("香")));
    return m;
}

// Lengths no single note value states: 5/4 of a beat, then 11/4.
Melody oddLengthMelody() {
    Melody m;
    m.sections.append(section(Meter::YiBanSanYan, Key::ChiZi, 60, 0, 0, 1920));
    m.notes.append(note(72, 0, 600, 0, QStringLiteral("月")));
    m.notes.append(note(74, 600, 1320, 1, QStringLiteral("落")));
    return m;
}

// 一板三眼 opening freely (散): two characters unmeasured, the last held,
// then a pickup of one beat (none with pickup false) and one whole bar.
Melody freeOpeningMelody(bool pickup = true) {
    const qint64 measured = 1920;
    const qint64 downbeat = measured + (pickup ? 480 : 0);
    Melody m;
    Section s = section(Meter::YiBanSanYan, Key::XiaoGong, 60, 0, downbeat, downbeat + 1920,
                        QStringLiteral("步步娇"));
    s.measuredStart = measured;
    m.sections.append(s);
    m.notes.append(note(74, 0, 720, 0, QStringLiteral("袅")));
    m.notes.append(note(76, 720, 480, 1, QStringLiteral("晴")));
    m.notes.append(note(78, 1200, 720, 1));
    m.notes[2].fermata = true;
    if (pickup) {
        m.notes.append(note(81, measured, 480, 2, QStringLiteral("丝")));
    }
    m.notes.append(note(79, downbeat, 960, 3, QStringLiteral("吹")));
    m.notes.append(note(78, downbeat + 960, 960, 4, QStringLiteral("来")));
    return m;
}

// 一板一眼 ending on a 底板: the last note ends on the 板 that closes its
// bar, and the tune with it; a second tune follows in the same way.
Melody diBanEndMelody() {
    Melody m;
    m.sections.append(section(Meter::YiBanYiYan, Key::XiaoGong, 60, 0, 0, 1920));
    m.sections.append(
        section(Meter::YiBanYiYan, Key::XiaoGong, 60, 1920, 1920, 2880, QStringLiteral("尾声")));
    m.notes.append(note(74, 0, 960, 0, QStringLiteral("闲")));
    m.notes.append(note(76, 960, 960, 1, QStringLiteral("庭")));
    m.notes.append(note(78, 1920, 480, 2, QStringLiteral("院")));
    m.notes.append(note(74, 2400, 480, 3, QStringLiteral("深")));
    return m;
}

// A melody such as the builder makes, drawn at random: one to three tunes of
// any meter, each with a pickup and whole bars (or free), a measured one now
// and then opening freely, notes on the grid of an eighth of a beat (a
// sixteenth for small ones), now and then a rest, and ornaments, 气口 and
// fermatas here and there.
Melody randomMelody(QRandomGenerator &random) {
    static const Meter meters[] = {Meter::YiBanSanYan, Meter::YiBanYiYan, Meter::LiuShui,
                                   Meter::SanBan};
    Melody m;
    qint64 cursor = 0;
    int character = 0;
    const int tunes = 1 + random.bounded(3);
    for (int t = 0; t < tunes; ++t) {
        Section s;
        s.meter = meters[random.bounded(4)];
        s.zeng = s.meter != Meter::SanBan && random.bounded(2) == 1;
        s.key = Key(random.bounded(7));
        s.tempo = 40 + random.bounded(80);
        s.start = cursor;
        const int beats = s.meter == Meter::YiBanSanYan  ? 4
                          : s.meter == Meter::YiBanYiYan ? 2
                          : s.meter == Meter::LiuShui    ? 1
                                                         : 0;
        const qint64 bar = qint64(beats * (s.zeng ? 2 : 1)) * ticksPerBeat;
        if (bar > 0) {
            // Now and then a free opening before the measured part.
            s.measuredStart =
                s.start + (random.bounded(3) == 0 ? 60 * (4 + random.bounded(60)) : 0);
            s.firstDownbeat = s.measuredStart + 60 * random.bounded(int(bar / 60));
            s.end = s.firstDownbeat + bar * (1 + random.bounded(3));
        } else {
            s.firstDownbeat = s.start;
            s.end = s.start + 60 * (8 + random.bounded(80));
        }
        s.firstNote = m.notes.size();
        for (qint64 at = s.start; at < s.end;) {
            if (random.bounded(8) == 0) {
                at += 60 * (1 + random.bounded(4)); // a rest
                continue;
            }
            const bool small = random.bounded(6) == 0;
            qint64 length = small ? 30 * (1 + random.bounded(4)) : 60 * (1 + random.bounded(16));
            length = std::min(length, s.end - at);
            const bool first = m.notes.isEmpty() || random.bounded(3) == 0;
            character += first ? 1 : 0;
            Note n = note(60 + random.bounded(25), at, length, character,
                          first ? QString(QChar(0x4e00 + character)) : QString());
            n.small = small;
            n.breathAfter = random.bounded(7) == 0;
            n.fermata = random.bounded(15) == 0;
            for (int g = random.bounded(5) == 0 ? 1 + random.bounded(2) : 0; g > 0; --g) {
                n.gracesBefore.append(60 + random.bounded(25));
            }
            for (int g = random.bounded(7) == 0 ? 1 + random.bounded(2) : 0; g > 0; --g) {
                n.gracesAfter.append(60 + random.bounded(25));
            }
            m.notes.append(n);
            at += length;
        }
        s.noteCount = m.notes.size() - s.firstNote;
        m.sections.append(s);
        cursor = s.end;
    }
    return m;
}

MusicXmlWriter::Options options(bool split = false, const QString &title = {}) {
    MusicXmlWriter::Options o;
    o.splitZengMeasures = split;
    o.title = title;
    return o;
}

struct Case {
    QString name;
    Melody melody;
    MusicXmlWriter::Options options;
};

QVector<Case> allCases() {
    return {{QStringLiteral("pickup"), pickupMelody(), options(false, QStringLiteral("游园"))},
            {QStringLiteral("two tunes"), twoTunes(), options()},
            {QStringLiteral("zeng"), zengMelody(), options()},
            {QStringLiteral("zeng split"), zengMelody(), options(true)},
            {QStringLiteral("two tunes split"), twoTunes(), options(true)},
            {QStringLiteral("liushui"), liuShuiMelody(), options()},
            {QStringLiteral("sanban"), sanBanMelody(), options()},
            {QStringLiteral("accidentals"), accidentalMelody(), options()},
            {QStringLiteral("odd lengths"), oddLengthMelody(), options()},
            {QStringLiteral("free opening"), freeOpeningMelody(), options()},
            {QStringLiteral("free opening no pickup"), freeOpeningMelody(false), options()},
            {QStringLiteral("ends on diban"), diBanEndMelody(), options()},
            {QStringLiteral("empty"), Melody(), options()}};
}

XScore encodeAndParse(const Melody &melody, const MusicXmlWriter::Options &o) {
    return parseMusicXml(MusicXmlWriter::encode(melody, o));
}

// Each bar against the time in force: full, but for the opening pickup and
// the last bar, which may be short; bars senza misura are free. Empty when
// every bar adds up.
QStringList barsThatDoNotAddUp(const XScore &score) {
    QStringList out;
    int divisions = 0;
    int beats = 0;
    int beatType = 4;
    bool senza = false;
    for (int i = 0; i < score.measures.size(); ++i) {
        const XMeasure &m = score.measures.at(i);
        divisions = m.divisions ? m.divisions : divisions;
        if (m.hasTime) {
            senza = m.senza;
            beats = m.beats;
            beatType = m.beatType;
        }
        if (senza) {
            continue;
        }
        const int expected = beats * divisions * 4 / beatType;
        const bool mayBeShort = (i == 0 && m.implicit) || i + 1 == score.measures.size();
        if (m.length() != expected && !(mayBeShort && m.length() < expected)) {
            out.append(
                QStringLiteral("bar %1: %2 of %3").arg(m.number).arg(m.length()).arg(expected));
        }
    }
    return out;
}

QStringList pitches(const QVector<XNote> &notes) {
    QStringList out;
    for (const XNote &n : notes) {
        out.append(n.rest ? QStringLiteral("r") : n.pitch());
    }
    return out;
}

QVector<XNote> mainNotes(const XMeasure &m) {
    QVector<XNote> out;
    for (const XNote &n : m.notes) {
        if (!n.grace && !n.rest) {
            out.append(n);
        }
    }
    return out;
}

// The MusicXML 4.0 schema beside the project's checkout; empty when absent.
QString schemaDir() {
    const QString dir = QDir::cleanPath(QStringLiteral(QORVEL_SOURCE_DIR "/../shared/musicxml"));
    return QFileInfo::exists(dir + QStringLiteral("/musicxml.xsd")) ? dir : QString();
}

// Runs a program to its end; its exit code, with everything it printed.
int run(const QString &program, const QStringList &args, QString *output,
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        *output = QStringLiteral("%1 did not finish").arg(program);
        return -1;
    }
    *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestMusicXmlWriter : public QObject {
    Q_OBJECT

private slots:
    void documentIsPartwise40();
    void barsAddUp_data();
    void barsAddUp();
    void pickupIsMeasureZero();
    void tiesAtBarLines();
    void notesSplitIntoNoteValues();
    void lyricsAndSlurs();
    void graceNotes();
    void breathMarksAndFermatas();
    void tunesAreNamedAtTheirStart();
    void sanBanIsSenzaMisura();
    void freeOpeningIsSenzaMisura_data();
    void freeOpeningIsSenzaMisura();
    void noFreeOpeningChangesNothing();
    void endsOnTheLastBan();
    void zengIsADoubledBar();
    void zengSplitAtTheZengBan();
    void laterPickupHasATimeOfItsOwn();
    void pitchesSpelledInTheKey();
    void accidentalsOutsideTheKey();
    void emptyMelodyIsOneEmptyBar();
    void randomMelodiesAddUp();
    void writesFiles();
    void validatesAgainstTheSchema_data();
    void validatesAgainstTheSchema();
    void convertsWithMusicXml2ly_data();
    void convertsWithMusicXml2ly();
};

void TestMusicXmlWriter::documentIsPartwise40() {
    const XScore s = encodeAndParse(pickupMelody(), options(false, QStringLiteral("游园")));
    QVERIFY2(s.error.isEmpty(), qPrintable(s.error));
    QCOMPARE(s.doctype, QStringLiteral("score-partwise"));
    QCOMPARE(s.publicId, QStringLiteral("-//Recordare//DTD MusicXML 4.0 Partwise//EN"));
    QCOMPARE(s.version, QStringLiteral("4.0"));
    QCOMPARE(s.workTitle, QStringLiteral("游园"));
    QCOMPARE(s.partName, QStringLiteral("笛"));
    QCOMPARE(s.midiProgram, 74);
    const XMeasure &first = s.measures.first();
    QVERIFY(first.divisions > 0);
    QCOMPARE(480 % first.divisions, 0);
    QVERIFY(first.hasKey);
    QCOMPARE(first.fifths, 2);
    QVERIFY(first.hasTime);
    QCOMPARE(first.beats, 4);
    QCOMPARE(first.beatType, 4);
    QVERIFY(first.hasClef);
    QCOMPARE(s.measures.last().barStyle, QStringLiteral("light-heavy"));
}

void TestMusicXmlWriter::barsAddUp_data() {
    QTest::addColumn<Melody>("melody");
    QTest::addColumn<bool>("split");
    for (const Case &c : allCases()) {
        QTest::newRow(qPrintable(c.name)) << c.melody << c.options.splitZengMeasures;
    }
}

void TestMusicXmlWriter::barsAddUp() {
    QFETCH(Melody, melody);
    QFETCH(bool, split);
    const XScore s = encodeAndParse(melody, options(split));
    QVERIFY2(s.error.isEmpty(), qPrintable(s.error));
    const QStringList wrong = barsThatDoNotAddUp(s);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String("; "))));
    // The bars hold the whole piece, no more.
    int total = 0;
    for (const XMeasure &m : s.measures) {
        total += m.length();
    }
    const qint64 length = melody.length() > 0 ? melody.length() : 4 * ticksPerBeat;
    QCOMPARE(qint64(total) * ticksPerBeat / s.measures.first().divisions, length);
}

void TestMusicXmlWriter::pickupIsMeasureZero() {
    const XScore s = encodeAndParse(pickupMelody(), options());
    QCOMPARE(s.measures.size(), 3);
    QCOMPARE(s.measures.at(0).number, QStringLiteral("0"));
    QVERIFY(s.measures.at(0).implicit);
    QCOMPARE(s.measures.at(0).length(), s.measures.first().divisions); // one beat
    QCOMPARE(s.measures.at(1).number, QStringLiteral("1"));
    QVERIFY(!s.measures.at(1).implicit);
    QCOMPARE(s.measures.at(2).number, QStringLiteral("2"));

    // No pickup, no bar 0.
    Melody m = pickupMelody();
    m.sections[0].firstDownbeat = 0;
    m.sections[0].end = 3 * 1920;
    const XScore whole = encodeAndParse(m, options());
    QCOMPARE(whole.measures.at(0).number, QStringLiteral("1"));
    QVERIFY(!whole.measures.at(0).implicit);
}

void TestMusicXmlWriter::tiesAtBarLines() {
    const XScore s = encodeAndParse(pickupMelody(), options());
    const int quarter = s.measures.first().divisions;
    // 姹 (A5) sounds from the third beat of bar 1 to the first of bar 2.
    const XNote end = mainNotes(s.measures.at(1)).last();
    const XNote start = mainNotes(s.measures.at(2)).first();
    QCOMPARE(end.pitch(), QStringLiteral("A5"));
    QCOMPARE(start.pitch(), QStringLiteral("A5"));
    QCOMPARE(end.duration, 2 * quarter);
    QCOMPARE(start.duration, quarter);
    QCOMPARE(end.ties, QStringList{QStringLiteral("start")});
    QCOMPARE(end.tied, QStringList{QStringLiteral("start")});
    QCOMPARE(start.ties, QStringList{QStringLiteral("stop")});
    QCOMPARE(start.tied, QStringList{QStringLiteral("stop")});
    QCOMPARE(end.lyric, QStringLiteral("姹"));
    QVERIFY(start.lyric.isEmpty());

    // 流水板: a bar of one beat, two notes over bar lines.
    const XScore liu = encodeAndParse(liuShuiMelody(), options());
    int ties = 0;
    for (const XNote &n : liu.notes()) {
        ties += n.ties.count(QStringLiteral("start"));
        QCOMPARE(n.ties.count(QStringLiteral("start")), n.tied.count(QStringLiteral("start")));
    }
    QCOMPARE(ties, 2);
}

void TestMusicXmlWriter::notesSplitIntoNoteValues() {
    const XScore s = encodeAndParse(oddLengthMelody(), options());
    QCOMPARE(s.measures.size(), 1);
    const QVector<XNote> notes = s.measures.first().notes;
    QStringList written;
    for (const XNote &n : notes) {
        written.append(
            QStringLiteral("%1 %2%3%4%5")
                .arg(n.pitch(), n.type, QString(n.dots, QLatin1Char('.')),
                     n.ties.contains(QStringLiteral("stop")) ? QStringLiteral(" ~") : QString(),
                     n.ties.contains(QStringLiteral("start")) ? QStringLiteral(" ~>") : QString()));
    }
    // 5/4 of a beat: a quarter tied to a 16th; 11/4: a half tied to a dotted eighth.
    QCOMPARE(written, QStringList({QStringLiteral("C5 quarter ~>"), QStringLiteral("C5 16th ~"),
                                   QStringLiteral("D5 half ~>"), QStringLiteral("D5 eighth. ~")}));
    QCOMPARE(notes.at(0).lyric, QStringLiteral("月"));
    QVERIFY(notes.at(1).lyric.isEmpty());

    // A bar of 加赠 一板三眼 full of one note: a breve.
    const XMeasure first = encodeAndParse(zengMelody(), options()).measures.first();
    QCOMPARE(first.notes.size(), 1);
    QCOMPARE(first.notes.first().type, QStringLiteral("breve"));
}

void TestMusicXmlWriter::lyricsAndSlurs() {
    const XScore s = encodeAndParse(pickupMelody(), options());
    QStringList lyrics;
    QStringList slurred;
    for (const XNote &n : s.notes()) {
        if (!n.lyric.isEmpty()) {
            lyrics.append(n.lyric);
        }
        for (const QString &slur : n.slurs) {
            slurred.append(slur + QLatin1Char(' ') + n.pitch());
        }
    }
    QCOMPARE(lyrics, QStringList({QStringLiteral("原"), QStringLiteral("来"), QStringLiteral("姹"),
                                  QStringLiteral("紫"), QStringLiteral("嫣")}));
    // 来 is sung on two notes; 姹 on one, though it is written twice, tied.
    QCOMPARE(slurred, QStringList({QStringLiteral("start E5"), QStringLiteral("stop F#5")}));

    const XScore two = encodeAndParse(twoTunes(), options());
    slurred.clear();
    for (const XNote &n : two.notes()) {
        for (const QString &slur : n.slurs) {
            slurred.append(slur + QLatin1Char(' ') + n.pitch());
        }
    }
    QCOMPARE(slurred, QStringList({QStringLiteral("start D5"), QStringLiteral("stop E5"),
                                   QStringLiteral("start Bb4"), QStringLiteral("stop Eb5")}));
}

void TestMusicXmlWriter::graceNotes() {
    const XScore s = encodeAndParse(pickupMelody(), options());
    const QVector<XNote> bar = s.measures.at(2).notes;
    QStringList written;
    for (const XNote &n : bar) {
        written.append((n.grace
                            ? (n.graceAfter ? QStringLiteral("after ") : QStringLiteral("before "))
                            : QString()) +
                       n.pitch());
        if (n.grace) {
            QCOMPARE(n.duration, 0);
            QCOMPARE(n.type, QStringLiteral("16th"));
        }
    }
    QCOMPARE(written, QStringList({QStringLiteral("A5"), QStringLiteral("before A5"),
                                   QStringLiteral("G5"), QStringLiteral("F#5"),
                                   QStringLiteral("after G5"), QStringLiteral("after F#5")}));
    QVERIFY(bar.at(1).slash); // a single ornament is slashed
    // Each takes an eighth of a beat, as it sounds in the MIDI file: from 紫's
    // beat before it, from 嫣's two beats after it.
    QCOMPARE(bar.at(1).steal, 12.5);
    QCOMPARE(bar.at(4).steal, 6.25);
    QCOMPARE(bar.at(5).steal, 6.25);

    // Where the note states the span its graces after take, they share it:
    // a beat of 嫣's two, half a beat each; those before keep their own.
    Melody spanned = pickupMelody();
    spanned.notes[5].graceAfterTicks = 480;
    spanned.notes[4].graceAfterTicks = 240; // no graces after: nothing to share
    const QVector<XNote> stated = encodeAndParse(spanned, options()).measures.at(2).notes;
    QCOMPARE(stated.at(1).steal, 12.5);
    QCOMPARE(stated.at(4).steal, 25.0);
    QCOMPARE(stated.at(5).steal, 25.0);

    const XScore liu = encodeAndParse(liuShuiMelody(), options());
    int before = 0;
    for (const XNote &n : liu.notes()) {
        if (n.grace) {
            ++before;
            QVERIFY(!n.graceAfter);
            QVERIFY(!n.slash);
        }
    }
    QCOMPARE(before, 2);
}

void TestMusicXmlWriter::breathMarksAndFermatas() {
    const XScore s = encodeAndParse(pickupMelody(), options());
    QStringList breaths;
    QStringList fermatas;
    for (const XNote &n : s.notes()) {
        if (n.breath) {
            breaths.append(n.pitch());
        }
        if (n.fermata) {
            fermatas.append(n.pitch());
        }
    }
    QCOMPARE(breaths, QStringList{QStringLiteral("G5")});
    QCOMPARE(fermatas, QStringList{QStringLiteral("F#5")});
}

void TestMusicXmlWriter::tunesAreNamedAtTheirStart() {
    const XScore s = encodeAndParse(twoTunes(), options());
    QCOMPARE(s.measures.at(0).words, QStringList{QStringLiteral("散板")});
    QCOMPARE(s.measures.at(0).tempo, 50);
    int second = -1;
    for (int i = 1; i < s.measures.size(); ++i) {
        if (!s.measures.at(i).words.isEmpty()) {
            QCOMPARE(second, -1);
            second = i;
        }
    }
    QCOMPARE(second, 1);
    QCOMPARE(s.measures.at(1).words, QStringList{QStringLiteral("【好姐姐】加赠一板一眼")});
    QCOMPARE(s.measures.at(1).tempo, 72);
    QCOMPARE(s.measures.at(0).barStyle, QStringLiteral("light-light"));

    const XScore p = encodeAndParse(pickupMelody(), options());
    QCOMPARE(p.measures.at(0).words, QStringList{QStringLiteral("【皂罗袍】一板三眼")});
}

void TestMusicXmlWriter::sanBanIsSenzaMisura() {
    const XScore s = encodeAndParse(sanBanMelody(), options());
    QVERIFY(s.measures.first().hasTime);
    QVERIFY(s.measures.first().senza);
    QCOMPARE(s.measures.first().beats, 0);
    // The bar ends at the 气口.
    QCOMPARE(s.measures.size(), 2);
    QCOMPARE(pitches(s.measures.at(0).notes), QStringList{QStringLiteral("C5")});
    QVERIFY(s.measures.at(0).notes.first().breath);
    QCOMPARE(s.measures.at(0).barStyle, QStringLiteral("dashed"));
    QVERIFY(!s.measures.at(1).hasTime);

    // 散板 then a metered tune: the meter comes back, shown.
    const XScore two = encodeAndParse(twoTunes(), options());
    QVERIFY(two.measures.at(0).senza);
    QVERIFY(!two.measures.at(1).senza);
}

void TestMusicXmlWriter::freeOpeningIsSenzaMisura_data() {
    QTest::addColumn<bool>("pickup");
    QTest::addColumn<QStringList>("times"); // each bar's time signature, "-" for none
    QTest::newRow("pickup") << true
                            << QStringList({QStringLiteral("senza"), QStringLiteral("1/4"),
                                            QStringLiteral("4/4")});
    QTest::newRow("no pickup") << false
                               << QStringList({QStringLiteral("senza"), QStringLiteral("4/4")});
}

void TestMusicXmlWriter::freeOpeningIsSenzaMisura() {
    QFETCH(bool, pickup);
    QFETCH(QStringList, times);
    const XScore s = encodeAndParse(freeOpeningMelody(pickup), options());
    QStringList written;
    for (const XMeasure &m : s.measures) {
        written.append(!m.hasTime ? QStringLiteral("-")
                       : m.senza  ? QStringLiteral("senza")
                                  : QStringLiteral("%1/%2").arg(m.beats).arg(m.beatType));
    }
    QCOMPARE(written, times);
    // The opening is one bar, its last note held; the tune is named once, above it.
    const XMeasure &free = s.measures.first();
    QCOMPARE(pitches(free.notes),
             QStringList({QStringLiteral("D5"), QStringLiteral("E5"), QStringLiteral("F#5")}));
    QVERIFY(free.notes.last().fermata);
    QCOMPARE(free.length(), 4 * free.divisions);
    QVERIFY(!free.implicit);
    QCOMPARE(free.words, QStringList{QStringLiteral("【步步娇】一板三眼")});
    QVERIFY(free.barStyle.isEmpty());
    for (int i = 1; i < s.measures.size(); ++i) {
        QVERIFY(s.measures.at(i).words.isEmpty());
        QVERIFY(!s.measures.at(i).hasKey);
    }
    QCOMPARE(mainNotes(s.measures.last()).first().lyric, QStringLiteral("吹"));
    QCOMPARE(s.measures.last().barStyle, QStringLiteral("light-heavy"));
}

void TestMusicXmlWriter::noFreeOpeningChangesNothing() {
    // Stated as the tune's start, the measured part is the whole tune.
    for (const Melody &melody : {pickupMelody(), twoTunes(), liuShuiMelody()}) {
        Melody same = melody;
        for (Section &section : same.sections) {
            section.measuredStart = section.start;
        }
        QCOMPARE(MusicXmlWriter::encode(same, options()),
                 MusicXmlWriter::encode(melody, options()));
    }
}

void TestMusicXmlWriter::endsOnTheLastBan() {
    const XScore s = encodeAndParse(diBanEndMelody(), options());
    // Two bars of the first tune, one of the second: no bar left empty after
    // either 底板, and no rest anywhere.
    QCOMPARE(s.measures.size(), 3);
    for (const XMeasure &m : s.measures) {
        QVERIFY2(!mainNotes(m).isEmpty(), qPrintable(m.number));
        QCOMPARE(m.length(), 2 * s.measures.first().divisions);
    }
    QVERIFY(!pitches(s.notes()).contains(QStringLiteral("r")));
    QCOMPARE(s.measures.at(1).barStyle, QStringLiteral("light-light"));
    QCOMPARE(s.measures.last().barStyle, QStringLiteral("light-heavy"));
    QCOMPARE(pitches(mainNotes(s.measures.last())),
             QStringList({QStringLiteral("F#5"), QStringLiteral("D5")}));
}

void TestMusicXmlWriter::zengIsADoubledBar() {
    const XScore s = encodeAndParse(zengMelody(), options());
    QCOMPARE(s.measures.size(), 2);
    QCOMPARE(s.measures.at(0).beats, 8);
    QCOMPARE(s.measures.at(0).beatType, 4);
    QVERIFY(s.measures.at(0).barStyle.isEmpty());

    // 一板一眼 加赠: 4/4 from its first 板.
    const XScore two = encodeAndParse(twoTunes(), options());
    QVERIFY(two.measures.at(2).hasTime);
    QCOMPARE(two.measures.at(2).beats, 4);
    QCOMPARE(two.measures.at(2).beatType, 4);
}

void TestMusicXmlWriter::zengSplitAtTheZengBan() {
    const XScore s = encodeAndParse(zengMelody(), options(true));
    QCOMPARE(s.measures.size(), 4);
    QCOMPARE(s.measures.at(0).beats, 4);
    QStringList styles;
    for (const XMeasure &m : s.measures) {
        styles.append(m.barStyle);
    }
    QCOMPARE(styles, QStringList({QStringLiteral("dashed"), QString(), QStringLiteral("dashed"),
                                  QStringLiteral("light-heavy")}));
    // 美 is tied over the 赠板.
    QCOMPARE(mainNotes(s.measures.at(2)).last().ties, QStringList{QStringLiteral("start")});
    QCOMPARE(mainNotes(s.measures.at(3)).first().ties, QStringList{QStringLiteral("stop")});

    const XScore two = encodeAndParse(twoTunes(), options(true));
    QCOMPARE(two.measures.at(2).beats, 2);
}

void TestMusicXmlWriter::laterPickupHasATimeOfItsOwn() {
    const XScore s = encodeAndParse(twoTunes(), options());
    const XMeasure &pickup = s.measures.at(1);
    QVERIFY(!pickup.implicit);
    QVERIFY(pickup.hasTime);
    QCOMPARE(pickup.beats, 1);
    QCOMPARE(pickup.beatType, 4);
    QCOMPARE(pitches(pickup.notes), QStringList{QStringLiteral("Bb4")});
    QCOMPARE(pickup.notes.first().lyric, QStringLiteral("晴"));
    QVERIFY(pickup.hasKey);
    QCOMPARE(pickup.fifths, -3);
    QVERIFY(s.measures.at(2).hasTime);
    QVERIFY(!s.measures.at(3).hasTime);
    QStringList numbers;
    for (const XMeasure &m : s.measures) {
        numbers.append(m.number);
    }
    QCOMPARE(numbers, QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                   QStringLiteral("4")}));
}

void TestMusicXmlWriter::pitchesSpelledInTheKey() {
    // 凡字调: flats.
    const XScore two = encodeAndParse(twoTunes(), options());
    QStringList written = pitches(two.notes());
    written.removeAll(QStringLiteral("r"));
    QCOMPARE(written,
             QStringList({QStringLiteral("D5"), QStringLiteral("E5"), QStringLiteral("Bb4"),
                          QStringLiteral("Eb5"), QStringLiteral("C5"), QStringLiteral("Bb4")}));
    for (const XNote &n : two.notes()) {
        QVERIFY2(n.accidental.isEmpty(), qPrintable(n.pitch())); // all in their keys
    }
    // 六字调: B flat; 正工调: F sharp.
    QVERIFY(pitches(encodeAndParse(liuShuiMelody(), options()).notes())
                .contains(QStringLiteral("Bb4")));
    Melody g = zengMelody();
    g.notes[1].midi = 78;
    QVERIFY(pitches(encodeAndParse(g, options()).notes()).contains(QStringLiteral("F#5")));
    // 凡字调 as the other sources pitch it: E major.
    Melody e = twoTunes();
    e.sections[1].keyVariant = true;
    for (int i = 2; i < e.notes.size(); ++i) {
        ++e.notes[i].midi;
    }
    const XScore inE = encodeAndParse(e, options());
    QCOMPARE(inE.measures.at(1).fifths, 4);
    written = pitches(inE.notes());
    written.removeAll(QStringLiteral("r"));
    QCOMPARE(written.mid(2), QStringList({QStringLiteral("B4"), QStringLiteral("E5"),
                                          QStringLiteral("C#5"), QStringLiteral("B4")}));
}

void TestMusicXmlWriter::accidentalsOutsideTheKey() {
    const XScore s = encodeAndParse(accidentalMelody(), options());
    const QVector<XNote> notes = s.measures.first().notes;
    QCOMPARE(pitches(notes), QStringList({QStringLiteral("F5"), QStringLiteral("F5"),
                                          QStringLiteral("F#5"), QStringLiteral("C#5")}));
    QStringList accidentals;
    for (const XNote &n : notes) {
        accidentals.append(n.accidental);
    }
    QCOMPARE(accidentals, QStringList({QStringLiteral("natural"), QString(),
                                       QStringLiteral("sharp"), QString()}));
}

void TestMusicXmlWriter::emptyMelodyIsOneEmptyBar() {
    const XScore s = encodeAndParse(Melody(), options());
    QVERIFY2(s.error.isEmpty(), qPrintable(s.error));
    QCOMPARE(s.measures.size(), 1);
    QCOMPARE(s.measures.first().notes.size(), 1);
    QVERIFY(s.measures.first().notes.first().measureRest);
}

void TestMusicXmlWriter::randomMelodiesAddUp() {
    QRandomGenerator random(20240611);
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 60; ++i) {
        const Melody melody = randomMelody(random);
        const bool split = i % 2 == 1;
        const QByteArray xml = MusicXmlWriter::encode(melody, options(split));
        const XScore s = parseMusicXml(xml);
        QVERIFY2(s.error.isEmpty(), qPrintable(s.error));
        const QStringList wrong = barsThatDoNotAddUp(s);
        QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("melody %1: ").arg(i) +
                                             wrong.join(QLatin1String("; "))));
        int total = 0;
        QStringList lyrics;
        QString tiedPitch;
        for (const XMeasure &m : s.measures) {
            total += m.length();
            for (const XNote &n : m.notes) {
                if (!n.lyric.isEmpty()) {
                    lyrics.append(n.lyric);
                }
                if (n.grace) {
                    continue;
                }
                // A tie leads to the same pitch, and only a tie leads on.
                QCOMPARE(n.ties.contains(QStringLiteral("stop")), !tiedPitch.isEmpty());
                if (!tiedPitch.isEmpty()) {
                    QCOMPARE(n.pitch(), tiedPitch);
                }
                tiedPitch = n.ties.contains(QStringLiteral("start")) ? n.pitch() : QString();
                QVERIFY2(!n.type.isEmpty() || n.measureRest, qPrintable(n.pitch()));
            }
        }
        QVERIFY(tiedPitch.isEmpty());
        QCOMPARE(qint64(total) * ticksPerBeat / s.measures.first().divisions, melody.length());
        QStringList sung;
        for (const Note &n : melody.notes) {
            if (!n.lyric.isEmpty()) {
                sung.append(n.lyric);
            }
        }
        QCOMPARE(lyrics, sung);
        if (i < 12) {
            files.append(dir.filePath(QStringLiteral("random%1.musicxml").arg(i)));
            QVERIFY(MusicXmlWriter::write(melody, files.last(), options(split)).ok());
        }
    }

    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty()) {
        QSKIP("xmllint is missing (libxml2-utils; scripts/setup.sh installs it)");
    }
    if (schemaDir().isEmpty()) {
        QSKIP("the MusicXML 4.0 schema is not beside the checkout (../shared/musicxml)");
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XML_CATALOG_FILES"), schemaDir() + QStringLiteral("/catalog.xml"));
    QString output;
    const int code =
        run(xmllint,
            QStringList{QStringLiteral("--nonet"), QStringLiteral("--noout"),
                        QStringLiteral("--schema"), schemaDir() + QStringLiteral("/musicxml.xsd")} +
                files,
            &output, env);
    QVERIFY2(code == 0, qPrintable(output));
}

// Over an older file, whole; into missing folders; not under a plain file.
void TestMusicXmlWriter::writesFiles() {
    musicfixture::checkWriter(
        QStringLiteral("musicxml"),
        [](const QString &path) { return MusicXmlWriter::write(pickupMelody(), path, options()); },
        MusicXmlWriter::encode(pickupMelody(), options()));
}

void TestMusicXmlWriter::validatesAgainstTheSchema_data() {
    barsAddUp_data();
}

void TestMusicXmlWriter::validatesAgainstTheSchema() {
    QFETCH(Melody, melody);
    QFETCH(bool, split);
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty()) {
        QSKIP("xmllint is missing (libxml2-utils; scripts/setup.sh installs it)");
    }
    if (schemaDir().isEmpty()) {
        QSKIP("the MusicXML 4.0 schema is not beside the checkout (../shared/musicxml)");
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("score.musicxml"));
    QVERIFY(MusicXmlWriter::write(melody, path, options(split, QStringLiteral("游园"))).ok());
    // The catalog maps the schema's own imports onto the copies beside it.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XML_CATALOG_FILES"), schemaDir() + QStringLiteral("/catalog.xml"));
    QString output;
    const int code =
        run(xmllint,
            {QStringLiteral("--nonet"), QStringLiteral("--noout"), QStringLiteral("--schema"),
             schemaDir() + QStringLiteral("/musicxml.xsd"), path},
            &output, env);
    QVERIFY2(code == 0, qPrintable(output));
}

void TestMusicXmlWriter::convertsWithMusicXml2ly_data() {
    barsAddUp_data();
}

void TestMusicXmlWriter::convertsWithMusicXml2ly() {
    QFETCH(Melody, melody);
    QFETCH(bool, split);
    const QString converter = QStandardPaths::findExecutable(QStringLiteral("musicxml2ly"));
    if (converter.isEmpty()) {
        QSKIP("musicxml2ly is missing (lilypond; scripts/setup.sh installs it)");
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("score.musicxml"));
    const QString ly = dir.filePath(QStringLiteral("score.ly"));
    QVERIFY(MusicXmlWriter::write(melody, path, options(split, QStringLiteral("游园"))).ok());
    QString output;
    const int code = run(converter, {QStringLiteral("--output=") + ly, path}, &output);
    QVERIFY2(code == 0, qPrintable(output));
    QVERIFY2(!output.contains(QLatin1String("error"), Qt::CaseInsensitive), qPrintable(output));
    QFile f(ly);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    for (const Note &n : melody.notes) {
        if (!n.lyric.isEmpty()) {
            QVERIFY2(text.contains(n.lyric), qPrintable(n.lyric));
        }
    }
    // A pickup opens the piece unless a free opening comes before it.
    const bool pickup = !melody.sections.isEmpty() &&
                        melody.sections.first().meter != Meter::SanBan &&
                        melody.sections.first().firstDownbeat > melody.sections.first().start &&
                        melody.sections.first().measuredStart <= melody.sections.first().start;
    QCOMPARE(text.contains(QLatin1String("\\partial")), pickup);
}

QTEST_MAIN(TestMusicXmlWriter)
#include "tst_musicxmlwriter.moc"

// The MIDI file reader: files the MIDI writer makes read back as the melody
// they were made from; files built byte by byte show each rule of the format
// and each kind of damage; and a file that mido, a MIDI library nobody here
// wrote, saves.
#include "../music/musicfixture.h"
#include "import/midifilereader.h"
#include "music/midiwriter.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using namespace music;

namespace {

// ---- Files byte by byte -------------------------------------------------

QByteArray vlq(quint32 value) {
    QByteArray out(1, char(value & 0x7f));
    while ((value >>= 7) != 0) {
        out.prepend(char(0x80 | (value & 0x7f)));
    }
    return out;
}

QByteArray bigEndian(quint32 value, int bytes) {
    QByteArray out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
        out.append(char((value >> shift) & 0xff));
    }
    return out;
}

QByteArray raw(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

QByteArray header(int format, int tracks, int division = 480) {
    return "MThd" + bigEndian(6, 4) + bigEndian(format, 2) + bigEndian(tracks, 2) +
           bigEndian(division, 2);
}

// A chunk whose length field says `length` (its body's size by default).
QByteArray chunk(const char *type, const QByteArray &body, qint64 length = -1) {
    return QByteArray(type) + bigEndian(quint32(length < 0 ? body.size() : length), 4) + body;
}

// A track chunk of these events, closed by an end-of-track event.
QByteArray track(const QByteArray &events) {
    return chunk("MTrk", events + raw({0, 0xff, 0x2f, 0}));
}

// A file of the tracks (a format 0 file when there is one).
QByteArray smf(const QVector<QByteArray> &tracks, int division = 480) {
    QByteArray out = header(tracks.size() == 1 ? 0 : 1, tracks.size(), division);
    for (const QByteArray &t : tracks) {
        out += track(t);
    }
    return out;
}

QByteArray on(quint32 delta, int key, int channel = 0, int velocity = 90) {
    return vlq(delta) + raw({0x90 | channel, key, velocity});
}

QByteArray off(quint32 delta, int key, int channel = 0) {
    return vlq(delta) + raw({0x80 | channel, key, 64});
}

QByteArray meta(quint32 delta, int type, const QByteArray &data) {
    return vlq(delta) + raw({0xff, type}) + vlq(data.size()) + data;
}

QByteArray utf8(const char *text) {
    return QByteArray(text);
}

QByteArray gb18030(const QString &text) {
    return QTextCodec::codecForName("GB18030")->fromUnicode(text);
}

// Two quarter notes, C and D.
QByteArray twoNotes() {
    return on(0, 60) + off(480, 60) + on(0, 62) + off(480, 62);
}

// ---- What a reading holds, as text --------------------------------------

// "onset+duration:midi" ("-" for a rest), then "'lyric" when it has one.
QStringList notesOf(const SourceScore &score) {
    QStringList out;
    for (const SourceNote &n : score.notes) {
        QString s = QStringLiteral("%1+%2:%3")
                        .arg(n.onset)
                        .arg(n.duration)
                        .arg(n.isRest() ? QStringLiteral("-") : QString::number(n.midi));
        if (!n.lyric.isEmpty()) {
            s += QLatin1Char('\'') + n.lyric;
        }
        out.append(s);
    }
    return out;
}

// "measure:message", "*" for the whole file.
QStringList problemsOf(const SourceScore &score) {
    QStringList out;
    for (const SourceProblem &p : score.problems) {
        out.append((p.measure < 0 ? QStringLiteral("*") : QString::number(p.measure)) +
                   QLatin1Char(':') + p.message);
    }
    return out;
}

// "number start+length beats/beatType", then what is stated in it: "M" a
// meter, "K<fifths>" or "K<fifths>m" a key ("k…" when only in force), "T<bpm>",
// "R<rehearsal>".
QStringList measuresOf(const SourceScore &score) {
    QStringList out;
    for (const SourceMeasure &m : score.measures) {
        QString s = QStringLiteral("%1 %2+%3 %4/%5")
                        .arg(m.number)
                        .arg(m.start)
                        .arg(m.length)
                        .arg(m.beats)
                        .arg(m.beatType);
        if (m.meterStated) {
            s += QStringLiteral(" M");
        }
        if (m.keyStated || m.fifths != 0 || m.minor) {
            s += (m.keyStated ? QStringLiteral(" K") : QStringLiteral(" k")) +
                 QString::number(m.fifths) + (m.minor ? QStringLiteral("m") : QString());
        }
        if (m.tempo > 0) {
            s += QStringLiteral(" T%1").arg(m.tempo);
        }
        if (!m.rehearsal.isEmpty()) {
            s += QStringLiteral(" R") + m.rehearsal;
        }
        out.append(s);
    }
    return out;
}

// What every reading keeps: notes in time order one after another from the
// start, none empty, each in the measure that holds its onset; measures one
// after another from the start, the notes ending with the last.
void checkShape(const SourceScore &score) {
    qint64 now = 0;
    for (const SourceNote &n : score.notes) {
        QCOMPARE(n.onset, now);
        QVERIFY(n.duration > 0);
        QVERIFY(n.measure >= 0 && n.measure < score.measures.size());
        const SourceMeasure &m = score.measures.at(n.measure);
        QVERIFY(m.start <= n.onset && n.onset < m.start + m.length);
        now += n.duration;
    }
    qint64 start = 0;
    for (const SourceMeasure &m : score.measures) {
        QCOMPARE(m.start, start);
        QVERIFY(m.length > 0);
        start += m.length;
    }
    QCOMPARE(start, now);
}

// ---- Melodies the writer plays ------------------------------------------

const QString sanYan = QStringLiteral("; 板式=一板三眼\n【测试】\n");

// The notes as the MIDI writer plays them, on the reader's grid: an ornament
// before a note sounds for an eighth of a beat from the note's start, those
// after it in the time the melody gives them at its end (an eighth of a beat
// each when it gives none); the note sounds in what is left. The syllable
// goes with the first sound of its note.
QStringList played(const Melody &melody) {
    QStringList out;
    const auto add = [&](qint64 onset, qint64 duration, int midi, const QString &lyric) {
        QString s = QStringLiteral("%1+%2:%3").arg(onset).arg(duration).arg(midi);
        if (!lyric.isEmpty()) {
            s += QLatin1Char('\'') + lyric;
        }
        out.append(s);
    };
    for (const Note &n : melody.notes) {
        const qint64 grace = ticksPerBeat / 8;
        const qint64 after = n.gracesAfter.isEmpty() ? 0
                             : n.graceAfterTicks > 0 ? std::min(n.graceAfterTicks, n.duration / 2) /
                                                           n.gracesAfter.size()
                                                     : grace;
        qint64 t = n.onset;
        QString lyric = n.lyric;
        for (int midi : n.gracesBefore) {
            add(t, grace, midi, lyric);
            lyric.clear();
            t += grace;
        }
        const qint64 mainEnd = n.onset + n.duration - after * n.gracesAfter.size();
        add(t, mainEnd - t, n.midi, lyric);
        t = mainEnd;
        for (int midi : n.gracesAfter) {
            add(t, after, midi, QString());
            t += after;
        }
    }
    return out;
}

QStringList soundingNotesOf(const SourceScore &score) {
    QStringList out = notesOf(score);
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](const QString &s) { return s.contains(QStringLiteral(":-")); }),
              out.end());
    return out;
}

} // namespace

Q_DECLARE_METATYPE(QVector<QByteArray>)

class TestMidiFileReader : public QObject {
    Q_OBJECT

private slots:
    void writerRoundTrip_data();
    void writerRoundTrip();
    void writerMeasures();
    void bytes_data();
    void bytes();
    void measures_data();
    void measures();
    void readFile();
    void mido();
};

void TestMidiFileReader::writerRoundTrip_data() {
    QTest::addColumn<QString>("lyric");
    QTest::addColumn<QStringList>("score");
    QTest::addColumn<bool>("clicks");
    QTest::addColumn<int>("graces"); // ornament notes in the melody

    // A pickup of one beat, then 板, 眼 and 中眼.
    QTest::newRow("pickup") << sanYan + QStringLiteral("春花秋月")
                            << QStringList{"四上", "尺、工○", "上●尺", "工○"} << true << 0;
    // A 腰板: a note held across the bar line.
    QTest::newRow("held across the bar")
        << sanYan + QStringLiteral("春花秋月明")
        << QStringList{"上、尺", "工○", "六●工", "尺○工Y上", "尺○"} << false << 0;
    // 一板一眼 with a 底板.
    QTest::newRow("two beats") << QStringLiteral("; 板式=一板一眼\n【测试】\n春花秋")
                               << QStringList{"上、尺", "工○六D", "五六○"} << true << 0;
    // A silent beat after a 底板 becomes a rest.
    QTest::newRow("silence") << sanYan + QStringLiteral("春花") << QStringList{"上、尺D", "工○"}
                             << true << 0;
    // Small notes: a quarter and an eighth and three eighths of a beat.
    QTest::newRow("small notes") << sanYan + QStringLiteral("春花秋")
                                 << QStringList{"上、尺s", "六s○工", "五●"} << false << 0;
    // An ornament before a note (撮腔) and 豁腔 after one.
    QTest::newRow("ornaments") << sanYan + QStringLiteral("春花秋月")
                               << QStringList{"上、尺", "工C○六", "五●工H", "尺○上"} << true << 2;
    // 散板: written in 4/4.
    QTest::newRow("free meter") << QStringLiteral("【引子】\n春花。秋月")
                                << QStringList{"上尺", "工", "六五", "工D"} << true << 0;
}

void TestMidiFileReader::writerRoundTrip() {
    QFETCH(QString, lyric);
    QFETCH(QStringList, score);
    QFETCH(bool, clicks);
    QFETCH(int, graces);
    const Melody melody = musicfixture::melodyOf(lyric, score);
    QVERIFY(!melody.notes.isEmpty());
    int ornaments = 0;
    for (const Note &n : melody.notes) {
        ornaments += n.gracesBefore.size() + n.gracesAfter.size();
    }
    QCOMPARE(ornaments, graces);
    MidiWriter::Options options;
    options.clicks = clicks;
    options.title = QStringLiteral("牡丹亭");
    const SourceReading reading = MidiFileReader::read(MidiWriter::encode(melody, options));
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    checkShape(reading.score);

    const QStringList expected = played(melody);
    // Every sound of the writer lies on the grid, so nothing moves.
    for (const QString &s : expected) {
        QVERIFY2(s.section(QLatin1Char('+'), 0, 0).toLongLong() % 60 == 0, qPrintable(s));
    }
    QCOMPARE(soundingNotesOf(reading.score), expected);
    QCOMPARE(reading.score.title, QStringLiteral("牡丹亭"));
    // The click track is percussion, the conductor track has no notes: there
    // is nothing to report.
    QCOMPARE(problemsOf(reading.score), QStringList());
    const Note &last = melody.notes.last();
    QCOMPARE(reading.score.notes.last().onset + reading.score.notes.last().duration,
             last.onset + last.duration);
}

// The writer's pickup bar is a bar of its own; the tune's meter, key and
// tempo stand in the first.
void TestMidiFileReader::writerMeasures() {
    const Melody melody =
        musicfixture::melodyOf(QStringLiteral("; 笛色=正工调 速度=72\n【测试】\n春花秋月"),
                               {QStringLiteral("四上"), QStringLiteral("尺、工○"),
                                QStringLiteral("上●尺"), QStringLiteral("工○")});
    const SourceReading reading =
        MidiFileReader::read(MidiWriter::encode(melody, MidiWriter::Options()));
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(measuresOf(reading.score),
             (QStringList{"1 0+480 1/4 M K1 T72", "2 480+1920 4/4 M k1"}));
    QCOMPARE(reading.score.title, QString());
}

void TestMidiFileReader::bytes_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QStringList>("problems");
    QTest::addColumn<QString>("error");

    const QStringList cd = {"0+480:60", "480+480:62"};
    const QByteArray conductor = meta(0, 0x03, utf8("游园")) + meta(0, 0x51, bigEndian(500000, 3));
    const QString onlyFirst = QStringLiteral("*:只读第一个声部，其余声部未读入");
    const QString truncated = QStringLiteral("*:MIDI文件不完整，只读入了其中完整的部分");
    const QString damaged = QStringLiteral("*:MIDI文件中有损坏的音轨，其后的部分未读入");
    const QString tooLong = QStringLiteral("乐曲太长（超过100000小节），无法读入");
    const QString noNotes = QStringLiteral("MIDI文件中没有可读入的音符");

    // Formats and tracks.
    QTest::newRow("format 0") << smf({meta(0, 0x03, utf8("惊梦")) + twoNotes()}) << "惊梦" << cd
                              << QStringList() << QString();
    QTest::newRow("format 1") << smf({conductor, meta(0, 0x03, utf8("笛")) + twoNotes()}) << "游园"
                              << cd << QStringList() << QString();
    QTest::newRow("empty name") << smf({meta(0, 0x03, utf8(" ")) + meta(0, 0x03, utf8("题")),
                                        twoNotes()})
                                << "题" << cd << QStringList() << QString();
    QTest::newRow("second track") << smf({twoNotes(), on(0, 72) + off(960, 72)}) << "" << cd
                                  << QStringList{onlyFirst} << QString();
    QTest::newRow("second channel")
        << smf({on(0, 60) + on(0, 48, 1) + off(480, 60) + on(0, 62) + off(480, 62) + off(0, 48, 1)})
        << "" << cd << QStringList{onlyFirst} << QString();
    QTest::newRow("drums skipped")
        << smf({on(0, 36, 9) + off(240, 36, 9) + on(240, 60) + off(480, 60)}) << ""
        << QStringList{"0+480:-", "480+480:60"} << QStringList() << QString();
    QTest::newRow("drums only") << smf({on(0, 36, 9) + off(240, 36, 9)}) << "" << QStringList()
                                << QStringList() << noNotes;
    QTest::newRow("format 2") << header(2, 1) + track(twoNotes()) << "" << QStringList()
                              << QStringList() << "不支持格式2的MIDI文件";
    QTest::newRow("format 3") << header(3, 1) + track(twoNotes()) << "" << QStringList()
                              << QStringList() << "MIDI文件头已损坏";

    // Events.
    QTest::newRow("running status") << smf({vlq(0) + raw({0x90, 60, 90}) + vlq(480) + raw({60, 0}) +
                                            vlq(0) + raw({62, 90}) + vlq(480) + raw({62, 0})})
                                    << "" << cd << QStringList() << QString();
    QTest::newRow("velocity 0 ends")
        << smf({on(0, 60) + on(480, 60, 0, 0) + on(0, 62) + on(480, 62, 0, 0)}) << "" << cd
        << QStringList() << QString();
    QTest::newRow("other messages")
        << smf({vlq(0) + raw({0xc0, 73}) + vlq(0) + raw({0xb0, 7, 100}) + on(0, 60) + vlq(100) +
                raw({0xe0, 0, 64}) + vlq(0) + raw({0xd0, 30}) + off(380, 60) + on(0, 62) + vlq(0) +
                raw({0xa0, 62, 10}) + off(480, 62)})
        << "" << cd << QStringList() << QString();
    QTest::newRow("sysex") << smf({vlq(0) + raw({0xf0, 4, 0x7e, 0x7f, 0x09, 0xf7}) + on(0, 60) +
                                   vlq(240) + raw({0xf7, 2, 0xf3, 1}) + off(240, 60) + on(0, 62) +
                                   off(480, 62)})
                           << "" << cd << QStringList() << QString();
    QTest::newRow("unknown chunk")
        << header(0, 1) + chunk("XFIH", QByteArray(10, 'x')) + track(twoNotes()) << "" << cd
        << QStringList() << QString();
    QTest::newRow("longer header") << "MThd" + bigEndian(8, 4) + bigEndian(0, 2) + bigEndian(1, 2) +
                                          bigEndian(480, 2) + raw({0, 0}) + track(twoNotes())
                                   << "" << cd << QStringList() << QString();
    QTest::newRow("note never ended") << smf({on(0, 60) + meta(960, 0x7f, utf8("x"))}) << ""
                                      << QStringList{"0+960:60"} << QStringList() << QString();
    QTest::newRow("struck again") << smf({on(0, 60) + on(480, 60) + off(0, 60) + off(480, 60)})
                                  << "" << QStringList{"0+480:60", "480+480:60"} << QStringList()
                                  << QString();

    // One voice of many.
    QTest::newRow("chord") << smf({on(0, 60) + on(0, 67) + on(0, 64) + off(480, 60) + off(0, 64) +
                                   off(0, 67) + on(0, 62) + off(480, 62) + on(0, 55) + on(0, 59) +
                                   off(480, 55) + off(0, 59)})
                           << "" << QStringList{"0+480:67", "480+480:62", "960+480:59"}
                           << QStringList{"0:和弦只取最高音"} << QString();
    QTest::newRow("overlap") << smf({on(0, 60) + on(480, 62) + off(240, 60) + off(240, 62)}) << ""
                             << cd << QStringList() << QString();
    QTest::newRow("rests") << smf({on(240, 60) + off(240, 60) + on(1920, 62) + off(480, 62)}) << ""
                           << QStringList{"0+240:-", "240+240:60", "480+1440:-", "1920+480:-",
                                          "2400+480:62"}
                           << QStringList() << QString();

    // Performance timing.
    QTest::newRow("played late and short")
        << smf({on(7, 60) + off(465, 60) + on(10, 62) + off(480, 62)}) << "" << cd
        << QStringList{"0:2个音已对齐到⅛拍"} << QString();
    QTest::newRow("too short to keep")
        << smf({on(0, 60) + off(10, 60) + on(470, 62) + off(480, 62)}) << ""
        << QStringList{"0+60:60", "60+420:-", "480+480:62"} << QStringList{"0:1个音已对齐到⅛拍"}
        << QString();
    QTest::newRow("no length") << smf({on(0, 60) + off(0, 60)}) << "" << QStringList{"0+60:60"}
                               << QStringList{"0:1个音已对齐到⅛拍"} << QString();
    QTest::newRow("96 to the quarter")
        << smf({on(0, 60) + off(96, 60) + on(0, 62) + off(96, 62)}, 96) << "" << cd << QStringList()
        << QString();
    QTest::newRow("one to the quarter") << smf({on(0, 60) + off(1, 60) + on(0, 62) + off(1, 62)}, 1)
                                        << "" << cd << QStringList() << QString();
    QTest::newRow("moved per measure")
        << smf({on(3, 60) + off(1917, 60) + on(3, 62) + off(1917, 62) + on(0, 64) + off(1920, 64)})
        << "" << QStringList{"0+1920:60", "1920+1920:62", "3840+1920:64"}
        << QStringList{"0:1个音已对齐到⅛拍", "1:1个音已对齐到⅛拍"} << QString();

    // Words.
    QTest::newRow("lyrics") << smf({meta(0, 0x05, utf8("原")) + on(0, 60) +
                                    meta(480, 0x01, utf8("x")) + off(0, 60) +
                                    meta(0, 0x05, utf8("来")) + on(0, 62) + off(480, 62)})
                            << "" << QStringList{"0+480:60'原", "480+480:62'来"} << QStringList()
                            << QString();
    QTest::newRow("lyric a little early")
        << smf({on(0, 60) + meta(420, 0x05, utf8("来")) + off(60, 60) + on(0, 62) + off(480, 62)})
        << "" << QStringList{"0+480:60", "480+480:62'来"} << QStringList() << QString();
    QTest::newRow("lyric on no note")
        << smf({on(0, 60) + meta(240, 0x05, utf8("来")) + off(240, 60) + on(0, 62) + off(480, 62) +
                meta(480, 0x05, utf8("去"))})
        << "" << cd
        << QStringList{"0:唱词“来”没有对应的音，未读入", "0:唱词“去”没有对应的音，未读入"}
        << QString();
    QTest::newRow("lyric after a rest")
        << smf({meta(0, 0x05, utf8("啊")) + on(480, 60) + off(480, 60)}) << ""
        << QStringList{"0+480:-", "480+480:60"} << QStringList{"0:唱词“啊”没有对应的音，未读入"}
        << QString();
    // A karaoke file: the words in a track of their own after a header.
    QTest::newRow("karaoke")
        << smf({meta(0, 0x03, utf8("Song")),
                meta(0, 0x01, utf8("@KMIDI KARAOKE FILE")) + meta(0, 0x01, utf8("@TSong")) +
                    meta(0, 0x01, utf8("Sequenced by someone")) + meta(480, 0x01, utf8("/Hel-")) +
                    meta(480, 0x01, utf8("lo\r\n")) + meta(480, 0x01, utf8("\\@world")) +
                    meta(480, 0x01, utf8("%-")),
                on(480, 60) + off(480, 60) + on(0, 62) + off(480, 62) + on(0, 64) + off(480, 64)})
        << "Song" << QStringList{"0+480:-", "480+480:60'Hel", "960+480:62'lo", "1440+480:64'world"}
        << QStringList() << QString();
    QTest::newRow("words from another track")
        << smf({on(0, 60) + off(480, 60) + on(0, 62) + off(480, 62),
                meta(0, 0x05, utf8("春")) + meta(480, 0x05, utf8("花"))})
        << "" << QStringList{"0+480:60'春", "480+480:62'花"} << QStringList() << QString();
    QTest::newRow("GB18030") << smf({meta(0, 0x05, gb18030(QStringLiteral("良辰"))) + on(0, 60) +
                                     off(480, 60) + meta(0, 0x05, gb18030(QStringLiteral("美景"))) +
                                     on(0, 62) + off(480, 62)})
                             << "" << QStringList{"0+480:60'良辰", "480+480:62'美景"}
                             << QStringList() << QString();
    QTest::newRow("UTF-8 cut short")
        << smf({meta(0, 0x03, raw({'C', 'a', 'f', 0xc3})) + twoNotes()}) << "Caf\u00c3" << cd
        << QStringList() << QString();
    QTest::newRow("Latin-1") << smf({meta(0, 0x03, raw({'C', 'a', 'f', 0xe9})) +
                                     meta(0, 0x05, utf8("ah")) + twoNotes()})
                             << "Caf\u00e9" << QStringList{"0+480:60'ah", "480+480:62"}
                             << QStringList() << QString();

    // Damage.
    QTest::newRow("not MIDI") << QByteArray("RIFF....WAVEfmt ") << "" << QStringList()
                              << QStringList() << "不是MIDI文件";
    QTest::newRow("empty") << QByteArray() << "" << QStringList() << QStringList()
                           << "不是MIDI文件";
    QTest::newRow("short header") << "MThd" + bigEndian(5, 4) + bigEndian(0, 2) + bigEndian(1, 2) +
                                         bigEndian(480, 2) + track(twoNotes())
                                  << "" << QStringList() << QStringList() << "MIDI文件头已损坏";
    QTest::newRow("header past the end")
        << "MThd" + bigEndian(0xffffffff, 4) + bigEndian(0, 2) + bigEndian(1, 2) + bigEndian(480, 2)
        << "" << QStringList() << QStringList() << "MIDI文件头已损坏";
    QTest::newRow("no division") << header(0, 1, 0) + track(twoNotes()) << "" << QStringList()
                                 << QStringList() << "MIDI文件头已损坏";
    QTest::newRow("SMPTE") << header(0, 1, 0xe728) + track(twoNotes()) << "" << QStringList()
                           << QStringList() << "不支持按SMPTE时间码计时的MIDI文件";
    QTest::newRow("no tracks") << header(1, 0) << "" << QStringList() << QStringList() << noNotes;
    // A note the cut leaves sounding ends with what is there.
    QTest::newRow("truncated chunk") << header(0, 1) + chunk("MTrk", twoNotes() + on(0, 64), 1000)
                                     << "" << cd + QStringList{"960+60:64"}
                                     << QStringList{truncated, "0:1个音已对齐到⅛拍"} << QString();
    QTest::newRow("cut in an event")
        << header(0, 1) + chunk("MTrk", twoNotes() + raw({0, 0x90, 64})) << "" << cd
        << QStringList{truncated} << QString();
    QTest::newRow("cut in a meta")
        << header(0, 1) + chunk("MTrk", twoNotes() + raw({0, 0xff, 0x05, 10, 'a'})) << "" << cd
        << QStringList{truncated} << QString();
    QTest::newRow("length 0xFFFFFFFF")
        << header(1, 2) + track(conductor) + chunk("MTrk", twoNotes(), 0xffffffff) << "游园" << cd
        << QStringList{truncated} << QString();
    QTest::newRow("meta length past the end")
        << header(0, 1) + chunk("MTrk", twoNotes() + raw({0, 0xff, 0x01, 0x8f, 0xff, 0xff, 0x7f}))
        << "" << cd << QStringList{truncated} << QString();
    QTest::newRow("VLQ of 5 bytes")
        << smf({twoNotes() + raw({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 64, 90})}) << "" << cd
        << QStringList{damaged} << QString();
    QTest::newRow("data without status")
        << smf({raw({0, 60, 90}) + twoNotes()}) << "" << QStringList() << QStringList() << noNotes;
    QTest::newRow("real-time byte") << smf({twoNotes() + raw({0, 0xf8}) + on(0, 64) + off(480, 64)})
                                    << "" << cd << QStringList{damaged} << QString();
    QTest::newRow("absurd delta times")
        << smf({on(0, 60) + off(0x0fffffff, 60) + on(0x0fffffff, 62) + off(0x0fffffff, 62)}) << ""
        << QStringList() << QStringList() << tooLong;
    QTest::newRow("absurd delta at one to the quarter")
        << smf({on(0x0fffffff, 60) + off(1, 60)}, 1) << "" << QStringList() << QStringList()
        << tooLong;
    QByteArray manyDeltas;
    for (int i = 0; i < 5000; ++i) {
        manyDeltas += meta(0x0fffffff, 0x01, "x");
    }
    QTest::newRow("delta times past any piece") << smf({on(0, 60) + manyDeltas + off(0, 60)}) << ""
                                                << QStringList() << QStringList() << tooLong;
    QTest::newRow("a long conductor track")
        << smf({conductor + meta(0x0fffffff, 0x7f, "x"), twoNotes()}) << "游园" << cd
        << QStringList() << QString();
}

void TestMidiFileReader::bytes() {
    QFETCH(QByteArray, file);
    QFETCH(QString, title);
    QFETCH(QStringList, notes);
    QFETCH(QStringList, problems);
    QFETCH(QString, error);
    const SourceReading reading = MidiFileReader::read(file);
    QCOMPARE(reading.error, error);
    if (!reading.ok()) {
        QVERIFY(reading.score.notes.isEmpty() && reading.score.measures.isEmpty());
        return;
    }
    QCOMPARE(reading.score.title, title);
    QCOMPARE(notesOf(reading.score), notes);
    QCOMPARE(problemsOf(reading.score), problems);
    checkShape(reading.score);
}

void TestMidiFileReader::measures_data() {
    QTest::addColumn<QVector<QByteArray>>("tracks");
    QTest::addColumn<QStringList>("measures");
    QTest::addColumn<QStringList>("problems");

    const QByteArray long4 = on(0, 60) + off(4 * 1920, 60);
    const auto meter = [](quint32 delta, int beats, int power) {
        return meta(delta, 0x58, raw({beats, power, 24, 8}));
    };
    const auto key = [](quint32 delta, int fifths, int minor) {
        return meta(delta, 0x59, raw({fifths & 0xff, minor}));
    };
    const auto tempo = [](quint32 delta, quint32 perQuarter) {
        return meta(delta, 0x51, bigEndian(perQuarter, 3));
    };

    QTest::newRow("none stated") << QVector<QByteArray>{long4}
                                 << QStringList{"1 0+1920 4/4", "2 1920+1920 4/4",
                                                "3 3840+1920 4/4", "4 5760+1920 4/4"}
                                 << QStringList();
    QTest::newRow("last as far as the notes")
        << QVector<QByteArray>{on(0, 60) + off(2400, 60)}
        << QStringList{"1 0+1920 4/4", "2 1920+480 4/4"} << QStringList();
    QTest::newRow("meters") << QVector<QByteArray>{meter(0, 3, 2) + meter(2 * 1440, 6, 3), long4}
                            << QStringList{"1 0+1440 3/4 M",    "2 1440+1440 3/4",
                                           "3 2880+1440 6/8 M", "4 4320+1440 6/8",
                                           "5 5760+1440 6/8",   "6 7200+480 6/8"}
                            << QStringList();
    QTest::newRow("meter inside a bar")
        << QVector<QByteArray>{meter(960, 2, 2), on(0, 60) + off(2880, 60)}
        << QStringList{"1 0+960 4/4", "2 960+960 2/4 M", "3 1920+960 2/4"} << QStringList();
    QTest::newRow("meter not readable")
        << QVector<QByteArray>{meter(0, 3, 2) + meter(1440, 0, 2) + meter(0, 3, 9) +
                                   meta(0, 0x58, raw({3})),
                               on(0, 60) + off(2880, 60)}
        << QStringList{"1 0+1440 3/4 M", "2 1440+1440 3/4"}
        << QStringList{"1:无法识别的拍号，已忽略", "1:无法识别的拍号，已忽略",
                       "1:无法识别的拍号，已忽略"};
    QTest::newRow("keys") << QVector<QByteArray>{key(0, 2, 0) + key(3840, -3, 1) + key(1920, 9, 0) +
                                                     key(0, 1, 2),
                                                 long4}
                          << QStringList{"1 0+1920 4/4 K2", "2 1920+1920 4/4 k2",
                                         "3 3840+1920 4/4 K-3m", "4 5760+1920 4/4 k-3m"}
                          << QStringList{"3:无法识别的调号，已忽略", "3:无法识别的调号，已忽略"};
    QTest::newRow("tempi") << QVector<QByteArray>{tempo(0, 500000) + tempo(1920, 500000) +
                                                      tempo(1920, 600000) + tempo(10, 1000000) +
                                                      tempo(1910, 0) + tempo(1920, 1000000),
                                                  long4}
                           << QStringList{"1 0+1920 4/4 T120", "2 1920+1920 4/4",
                                          "3 3840+1920 4/4 T100", "4 5760+1920 4/4"}
                           << QStringList();
    QTest::newRow("marks")
        << QVector<QByteArray>{meta(1920, 0x06, utf8("A")) + meta(0, 0x07, utf8("B")) +
                                   meta(1920, 0x06, utf8("  ")) + meta(0x7fffff, 0x06, utf8("C")),
                               long4}
        << QStringList{"1 0+1920 4/4", "2 1920+1920 4/4 RA B", "3 3840+1920 4/4", "4 5760+1920 4/4"}
        << QStringList();
    QByteArray many = on(0, 60);
    for (int i = 0; i < 100001; ++i) {
        many += vlq(480) + raw({0x80, 60, 0, 0, 0x90, 60, 90});
    }
    QTest::newRow("too many bars") << QVector<QByteArray>{meter(0, 1, 2), many + off(480, 60)}
                                   << QStringList() << QStringList();
}

void TestMidiFileReader::measures() {
    QFETCH(QVector<QByteArray>, tracks);
    QFETCH(QStringList, measures);
    QFETCH(QStringList, problems);
    const SourceReading reading = MidiFileReader::read(smf(tracks));
    if (measures.isEmpty()) {
        QCOMPARE(reading.error, QStringLiteral("乐曲太长（超过100000小节），无法读入"));
        return;
    }
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(measuresOf(reading.score), measures);
    QCOMPARE(problemsOf(reading.score), problems);
    checkShape(reading.score);
}

// From a file: what read() gives, a clear refusal when it cannot be read or
// is too large.
void TestMidiFileReader::readFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("曲.mid"));
    const QByteArray file = smf({twoNotes()});
    QVERIFY(writeFile(path, file));
    const SourceReading reading = MidiFileReader::readFile(path);
    QVERIFY(reading.ok());
    QCOMPARE(notesOf(reading.score), notesOf(MidiFileReader::read(file).score));

    const SourceReading missing = MidiFileReader::readFile(dir.filePath(QStringLiteral("无.mid")));
    QVERIFY(missing.error.startsWith(QStringLiteral("无法读取“无.mid”")));

    const QString large = dir.filePath(QStringLiteral("large.mid"));
    QFile f(large);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    QVERIFY(f.resize(MidiFileReader::maxFileSize + 1));
    f.close();
    QCOMPARE(MidiFileReader::readFile(large).error,
             QStringLiteral("文件太大，不是可以读入的MIDI文件"));
}

// A file mido writes: 96 ticks to the quarter, running status, the conductor
// events in the first track, the melody with lyrics in the second, a bass in
// the third.
void TestMidiFileReader::mido() {
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) {
        QSKIP("/usr/bin/python3 is missing");
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mido.mid"));
    const QString script = QStringLiteral(R"(
import sys
try:
    import mido
except ImportError:
    sys.exit(3)
f = mido.MidiFile(type=1, ticks_per_beat=96)
t0 = mido.MidiTrack()
t0.append(mido.MetaMessage('track_name', name='Song', time=0))
t0.append(mido.MetaMessage('set_tempo', tempo=750000, time=0))
t0.append(mido.MetaMessage('time_signature', numerator=3, denominator=4, time=0))
t0.append(mido.MetaMessage('key_signature', key='Bb', time=0))
t0.append(mido.MetaMessage('marker', text='A', time=288))
t1 = mido.MidiTrack()
for i, (note, word) in enumerate([(62, 'la'), (64, 'li'), (65, ''), (67, 'lo')]):
    if word:
        t1.append(mido.MetaMessage('lyrics', text=word, time=0))
    t1.append(mido.Message('note_on', note=note, velocity=80, time=0))
    t1.append(mido.Message('note_on', note=note, velocity=0, time=96 if i < 3 else 192))
t2 = mido.MidiTrack()
t2.append(mido.Message('note_on', channel=1, note=38, velocity=80, time=0))
t2.append(mido.Message('note_off', channel=1, note=38, velocity=0, time=480))
f.tracks += [t0, t1, t2]
f.save(sys.argv[1])
)");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    QVERIFY(python.waitForFinished(60000));
    if (python.exitCode() == 3) {
        QSKIP("python3-mido is missing");
    }
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const QByteArray file = readAll(path);
    // mido writes running status: two note-ons in a row share a status byte.
    QVERIFY(file.contains(raw({0x90, 62, 80, 0x60, 62, 0})));

    const SourceReading reading = MidiFileReader::read(file);
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(reading.score.title, QStringLiteral("Song"));
    QCOMPARE(notesOf(reading.score),
             (QStringList{"0+480:62'la", "480+480:64'li", "960+480:65", "1440+960:67'lo"}));
    QCOMPARE(measuresOf(reading.score),
             (QStringList{"1 0+1440 3/4 M K-2 T80", "2 1440+960 3/4 k-2 RA"}));
    QCOMPARE(problemsOf(reading.score), QStringList{"*:只读第一个声部，其余声部未读入"});
    checkShape(reading.score);
}

QTEST_MAIN(TestMidiFileReader)
#include "tst_midifilereader.moc"

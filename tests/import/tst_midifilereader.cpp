// The MIDI file reader on files built byte by byte: each rule of the format and
// each kind of damage; and what the transcriber's round trips do not look at in
// a file of the MIDI writer (title, ornaments, bars) and in one mido saves.
#include "../music/musicfixture.h"
#include "import/midifilereader.h"
#include "music/midiwriter.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtEndian>
#include <QtTest>

using namespace music;

// What the rows expect again and again.
#define CD "480:60 480:62"
#define ONLY_FIRST " !*:只读第一个声部，其余声部未读入"
#define TRUNCATED " !*:MIDI文件不完整，只读入了其中完整的部分"
#define DAMAGED " !*:MIDI文件中有损坏的音轨，其后的部分未读入"
#define BAD_HEADER "error: MIDI文件头已损坏"
#define TOO_LONG "error: 乐曲太长（超过100000小节），无法读入"
#define NO_NOTES "error: MIDI文件中没有可读入的音符"
#define MOVED "个音已对齐到⅛拍"

namespace {

QByteArray vlq(quint32 value) {
    QByteArray out(1, char(value & 0x7f));
    while ((value >>= 7) != 0) {
        out.prepend(char(0x80 | (value & 0x7f)));
    }
    return out;
}

QByteArray be(quint32 value, int bytes) {
    value = qToBigEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&value) + 4 - bytes, bytes);
}

// A track's events written as words: "+N" waits N ticks before the next event;
// "dK"/"uK" a key down/up ("dK/C" on channel C), "nK/L" a note of L ticks,
// "mB/P" a meter (B beats of 2^-P), "kF/M" a key, "tT" a tempo; "name:",
// "text:", "lyric:", "mark:", "cue:", "seq:" a meta event of the rest of the
// word ("_" a space); "=hex" bytes as they are.
QByteArray ev(const QByteArray &words) {
    static const QHash<QByteArray, int> types = {{"name", 3}, {"text", 1}, {"lyric", 5},
                                                 {"mark", 6}, {"cue", 7},  {"seq", 0x7f}};
    QByteArray out;
    quint32 wait = 0;
    const auto meta = [&](int type, const QByteArray &data) {
        out += vlq(wait) + char(0xff) + char(type) + vlq(data.size()) + data;
    };
    for (QByteArray w : words.split(' ')) {
        const QList<QByteArray> n = w.mid(1).split('/');
        const int a = n.value(0).toInt(), b = n.value(1).toInt(), colon = w.indexOf(':');
        const char op = w.isEmpty() ? '+' : colon > 0 ? ':' : w.at(0);
        if (op == '+') {
            wait += quint32(a);
            continue;
        } else if (op == '=') {
            out += QByteArray::fromHex(w.mid(1));
            continue;
        } else if (op == ':') {
            meta(types.value(w.left(colon), -1), w.mid(colon + 1).replace('_', ' '));
        } else if (op == 'd' || op == 'u') {
            out += vlq(wait) + be((op == 'd' ? 0x90 : 0x80) << 16 | b << 16 | a << 8 | 90, 3);
        } else if (op == 'n') {
            out += vlq(wait) + be(0x9000 | a, 2) + char(90) + vlq(b) + be(0x8000 | a, 2) + char(0);
        } else if (op == 'm' || op == 'k' || op == 't') {
            meta(op == 'm'   ? 0x58
                 : op == 'k' ? 0x59
                             : 0x51,
                 op == 'm'   ? be(a << 24 | b << 16 | 0x1808, 4)
                 : op == 'k' ? be((a & 0xff) << 8 | b, 2)
                             : be(a, 3));
        } else {
            qFatal("no such event: %s", w.constData());
        }
        wait = 0;
    }
    return out;
}

QByteArray header(int format, int tracks, int division = 480, quint32 length = 6) {
    return "MThd" + be(length, 4) + be(format, 2) + be(tracks, 2) + be(division, 2);
}
// A track chunk of the events whose length field says `length` (its size by default).
QByteArray chunk(const QByteArray &events, qint64 length = -1, const char *type = "MTrk") {
    return QByteArray(type) + be(quint32(length < 0 ? events.size() : length), 4) + events;
}
QByteArray track(const QByteArray &words) {
    return chunk(ev(words + " =00ff2f00"));
}
// A file of tracks of events written as words (format 0 when there is one).
QByteArray midi(std::initializer_list<QByteArray> tracks, int division = 480) {
    QByteArray out = header(tracks.size() == 1 ? 0 : 1, int(tracks.size()), division);
    for (const QByteArray &t : tracks) {
        out += track(t);
    }
    return out;
}

QString problemsOf(const SourceScore &score) {
    QString out;
    for (const SourceProblem &p : score.problems) {
        out += " !" + (p.measure < 0 ? "*" : QString::number(p.measure)) + ':' + p.message;
    }
    return out;
}

// "error: …", or «title», then each note "duration:midi" ("-" a rest),
// "'lyric" when it has one and "," when a breath follows it; then the problems
// " !measure:message" ("*" for the whole file).
QString notesOf(const SourceReading &r) {
    QStringList out(r.score.title.isEmpty() ? QStringList()
                                            : QStringList("«" + r.score.title + "»"));
    for (const SourceNote &n : r.score.notes) {
        out << QString::number(n.duration) + ':' + (n.isRest() ? "-" : QString::number(n.midi)) +
                   (n.lyric.isEmpty() ? "" : '\'' + n.lyric) + (n.breathAfter ? "," : "");
    }
    return r.ok() ? out.join(' ') + problemsOf(r.score) : "error: " + r.error;
}

// Each measure "length beats/beatType" ("‖" before when a tune ends there),
// " M" a meter stated, " K…"/" k…" a key stated/in force, " T" a tempo, " R" a
// mark; joined by " | ", then the problems.
QString measuresOf(const SourceReading &r) {
    QStringList out;
    for (const SourceMeasure &m : r.score.measures) {
        const QString key = QString::number(m.fifths) + (m.minor ? "m" : "");
        out << QString(m.doubleBarBefore ? "‖" : "") + QString::number(m.length) + ' ' +
                   QString::number(m.beats) + '/' + QString::number(m.beatType) +
                   (m.meterStated ? " M" : "") + (m.keyStated ? " K" + key : "") +
                   (!m.keyStated && key != "0" ? " k" + key : "") +
                   (m.tempo > 0 ? " T" + QString::number(m.tempo) : "") +
                   (m.rehearsal.isEmpty() ? "" : " R" + m.rehearsal);
    }
    return r.ok() ? out.join(" | ") + problemsOf(r.score) : "error: " + r.error;
}

// What every reading keeps: notes one after another from the start, none
// empty, each in the measure that holds its onset; measures numbered 1, 2, …
// one after another, ending with the notes. A refusal holds nothing.
void checkShape(const SourceReading &r) {
    QVERIFY(r.ok() || (r.score.notes.isEmpty() && r.score.measures.isEmpty()));
    qint64 now = 0, start = 0;
    for (const SourceNote &n : r.score.notes) {
        QCOMPARE(n.onset, now);
        QVERIFY(n.duration > 0 && n.measure >= 0 && n.measure < r.score.measures.size());
        const SourceMeasure &m = r.score.measures.at(n.measure);
        QVERIFY(m.start <= n.onset && n.onset < m.start + m.length);
        now += n.duration;
    }
    for (const SourceMeasure &m : r.score.measures) {
        QCOMPARE(m.start, start);
        QVERIFY(m.length > 0 && m.number == QString::number(&m - r.score.measures.begin() + 1));
        start += m.length;
    }
    QCOMPARE(start, now);
}

void row(const char *name, const QByteArray &file, const QString &expected) {
    QTest::newRow(name) << file << expected;
}

} // namespace

class TestMidiFileReader : public QObject {
    Q_OBJECT

private slots:
    void bytes_data();
    // A row whose expectation begins "bars: " is about the measures.
    void bytes() {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        const SourceReading reading = MidiFileReader::read(file);
        QCOMPARE(expected.startsWith("bars: ") ? "bars: " + measuresOf(reading) : notesOf(reading),
                 expected);
        checkShape(reading);
    }
    void readFile();
    void mido();
};

void TestMidiFileReader::bytes_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");
    const QByteArray cd = "n60/480 n62/480", conductor = "name:游园 t500000";
    const QByteArray head = header(0, 1),
                     gb = QTextCodec::codecForName("GB18030")->fromUnicode("良辰");
    // Formats, tracks and channels.
    row("format 0", midi({"name:惊梦 " + cd}), "«惊梦» " CD);
    row("format 1, a name not empty", midi({"name:_ " + conductor, "name:笛 " + cd}), "«游园» " CD);
    row("second track", midi({cd, "n72/960"}), CD ONLY_FIRST);
    row("second channel", midi({"d60 d48/1 +480 u60 n62/480 u48/1"}), CD ONLY_FIRST);
    row("drums skipped", midi({"d36/9 +240 u36/9 +240 n60/480"}), "480:- 480:60");
    row("drums only", midi({"d36/9 +240 u36/9"}), NO_NOTES);
    row("no tracks", header(1, 0), NO_NOTES);
    row("format 2", header(2, 1) + track(cd), "error: 不支持格式2的MIDI文件");
    row("format 3", header(3, 1) + track(cd), BAD_HEADER);
    row("unknown chunk", head + chunk("xxxxxxxxxx", -1, "XFIH") + track(cd), CD);
    row("longer header", header(0, 1, 480, 8) + QByteArray(2, 0) + track(cd), CD);
    // Events: running status, a note-on of velocity 0 ending a note, messages of
    // one and two data bytes, system exclusive ones.
    row("running status", midi({"=00903c5a83603c00003e5a83603e00"}), CD);
    row("other messages",
        midi({"=00f0047e7f09f700c04900b00764 d60 =64e0004000d01e00f702f301 +380 u60 d62 =00a03e0a "
              "+480 u62"}),
        CD);
    row("note never ended", midi({"d60 +960 seq:x"}), "960:60");
    row("struck again", midi({"d60 +480 d60 u60 +480 u60"}), "480:60 480:60");
    row("chord", midi({"d60 d67 d64 +480 u60 u64 u67 n62/480 d55 d59 +480 u55 u59"}),
        "480:67 480:62 480:59 !0:和弦只取最高音");
    row("overlap", midi({"d60 +480 d62 +240 u60 +240 u62"}), CD);
    row("rests split at bars", midi({"+240 n60/240 +1920 n62/480"}),
        "240:- 240:60 1440:- 480:- 480:62");
    // An eighth of a beat between notes is a breath; more, or before the first, a rest.
    row("breaths", midi({"+60 n60/360 +60 n62/480 +120 n64/480"}),
        "60:- 420:60, 480:62 120:- 480:64");
    // Performance timing.
    row("played late and short", midi({"+7 n60/465 +10 n62/480"}), CD " !0:2" MOVED);
    row("too short to keep", midi({"n60/10 +470 n62/480"}), "60:60 420:- 480:62 !0:1" MOVED);
    row("one to the quarter", midi({"n60/1 n62/1"}, 1), CD);
    row("moved per measure", midi({"+3 n60/1917 +3 n62/1917 n64/1920"}),
        "1920:60 1920:62 1920:64 !0:1" MOVED " !1:1" MOVED);
    // Words and their encodings.
    row("lyrics over texts", midi({"lyric:原 d60 +480 text:x u60 lyric:来 n62/480"}),
        "480:60'原 480:62'来");
    row("lyric a little early", midi({"d60 +420 lyric:来 +60 u60 n62/480"}), "480:60 480:62'来");
    row("lyric on no note", midi({"d60 +240 lyric:来 +240 u60 n62/480 +480 lyric:去"}),
        CD " !0:唱词“来”没有对应的音，未读入 !0:唱词“去”没有对应的音，未读入");
    row("karaoke",
        midi({"name:Song",
              "text:@KMIDI_KARAOKE_FILE text:@TSong text:By_someone +480 text:/Hel- +480 "
              "text:lo\r\n +480 text:\\@world +480 text:%-",
              "+480 n60/480 n62/480 n64/480"}),
        "«Song» 480:- 480:60'Hel 480:62'lo 480:64'world");
    row("words from another track", midi({cd, "lyric:春 +480 lyric:花"}), "480:60'春 480:62'花");
    row("GB18030", midi({"lyric:" + gb + " n60/480 lyric:" + gb + " n62/480"}),
        "480:60'良辰 480:62'良辰");
    row("UTF-8 cut short", midi({"name:Caf\xc3 " + cd}), "«Caf\u00c3» " CD);
    row("Latin-1", midi({"name:Caf\xe9 lyric:ah " + cd}), "«Caf\u00e9» 480:60'ah 480:62");
    // Damage.
    row("not MIDI", "RIFF....WAVEfmt ", "error: 不是MIDI文件");
    row("empty", QByteArray(), "error: 不是MIDI文件");
    row("short header", header(0, 1, 480, 5) + track(cd), BAD_HEADER);
    row("header past the end", header(0, 1, 480, 0xffffffff), BAD_HEADER);
    row("no division", header(0, 1, 0) + track(cd), BAD_HEADER);
    row("SMPTE", header(0, 1, 0xe728) + track(cd), "error: 不支持按SMPTE时间码计时的MIDI文件");
    // A note the cut leaves sounding ends with what is there.
    row("truncated chunk", head + chunk(ev(cd + " d64"), 1000),
        CD " 60:64" TRUNCATED " !0:1" MOVED);
    row("cut in an event", head + chunk(ev(cd + " =009040")), CD TRUNCATED);
    row("cut in a meta", head + chunk(ev(cd + " =00ff050a61")), CD TRUNCATED);
    row("length 0xFFFFFFFF", header(1, 2) + track(conductor) + chunk(ev(cd), 0xffffffff),
        "«游园» " CD TRUNCATED);
    row("meta length past the end", head + chunk(ev(cd + " =00ff018fffff7f")), CD TRUNCATED);
    row("VLQ of 5 bytes", midi({cd + " =818080800090405a"}), CD DAMAGED);
    row("data without status", midi({"=003c5a " + cd}), NO_NOTES);
    row("real-time byte", midi({cd + " =00f8 n64/480"}), CD DAMAGED);
    row("absurd delta times", midi({"n60/268435455 +268435455 n62/268435455"}), TOO_LONG);
    row("absurd delta at one to the quarter", midi({"+268435455 n60/1"}, 1), TOO_LONG);
    row("delta times past any piece",
        midi({"d60" + QByteArray(" +268435455 text:x").repeated(5000) + " u60"}), TOO_LONG);
    row("a long conductor track", midi({conductor + " +268435455 seq:x", cd}), "«游园» " CD);

    // Bars.
    const QByteArray long4 = "n60/7680", bad = " !1:无法识别的拍号，已忽略";
    row("4/4 until stated, the last bar short", midi({"n60/2400"}), "bars: 1920 4/4 | 480 4/4");
    row("meters", midi({"m3/2 +2880 m6/3", long4}),
        "bars: 1440 3/4 M | 1440 3/4 | ‖1440 6/8 M | 1440 6/8 | 1440 6/8 | 480 6/8");
    row("meter inside a bar", midi({"+960 m2/2", "n60/2880"}),
        "bars: 960 4/4 | ‖960 2/4 M | 960 2/4");
    row("meters not readable", midi({"m3/2 +1440 m0/2 m3/9 =00ff580103", "n60/2880"}),
        "bars: 1440 3/4 M | 1440 3/4" + bad + bad + bad);
    row("keys", midi({"k2/0 +3840 k-3/1 +1920 k9/0 k1/2", long4}),
        "bars: 1920 4/4 K2 | 1920 4/4 k2 | ‖1920 4/4 K-3m | 1920 4/4 k-3m "
        "!3:无法识别的调号，已忽略 !3:无法识别的调号，已忽略");
    // A short bar before a longer meter is its tune's pickup, unless the key changes too.
    row("tunes and pickups",
        midi({"m1/2 +480 m4/2 +3840 m2/2 +960 m4/2 +1920 m4/2 +1920 m2/2 +960 m4/2",
              "+2400 k2/0 +7680 k3/0", "n60/12000"}),
        "bars: 480 1/4 M | 1920 4/4 M | ‖1920 4/4 K2 | ‖960 2/4 M k2 | 1920 4/4 M k2 | 1920 4/4 M "
        "k2 | ‖960 2/4 M k2 | ‖1920 4/4 M K3");
    row("tempi",
        midi({"t500000 +1920 t500000 +1920 t600000 +10 t1000000 +1910 t0 +1920 t1000000", long4}),
        "bars: 1920 4/4 T120 | 1920 4/4 | 1920 4/4 T100 | 1920 4/4");
    row("marks", midi({"+1920 mark:A cue:B +1920 mark:__ +8388607 mark:C", long4}),
        "bars: 1920 4/4 | 1920 4/4 RA B | 1920 4/4 | 1920 4/4");
    row("too many bars",
        midi({"m1/2 d60" + QByteArray(" =8360803c0000903c5a").repeated(100001) + " +480 u60"}),
        "bars: " TOO_LONG);

    // The writer's file: the title; ornaments as short notes (before a note from its start,
    // 豁腔 at its end); the pickup a bar of its own, the tune's meter, key and tempo in the
    // first; the click track (percussion) not reported.
    const QByteArray written = MidiWriter::encode(
        musicfixture::melodyOf("; 笛色=正工调 板式=一板三眼 速度=72\n【测试】\n春花秋月",
                               {"四上", "尺、工C○", "上●尺H", "工○"}),
        {true, QStringLiteral("牡丹亭")});
    row("writer", written,
        "«牡丹亭» 240:76'春 240:79 480:81'花 60:88 420:83 240:79'秋 180:81 60:83 480:83'月");
    row("writer's bars", written, "bars: 480 1/4 M K1 T72 | 1920 4/4 M k1");
}

// From a file: what read() gives; a clear refusal when it cannot be read or is
// too large.
void TestMidiFileReader::readFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("曲.mid"));
    QVERIFY(writeFile(path, midi({"n60/480 n62/480"})));
    QCOMPARE(notesOf(MidiFileReader::readFile(path)), QStringLiteral(CD));
    QVERIFY(MidiFileReader::readFile(dir.filePath(QStringLiteral("无.mid")))
                .error.startsWith(QStringLiteral("无法读取“无.mid”")));
    QVERIFY(QFile(path).resize(MidiFileReader::maxFileSize + 1));
    QCOMPARE(MidiFileReader::readFile(path).error,
             QStringLiteral("文件太大，不是可以读入的MIDI文件"));
}

// A file mido, a MIDI library nobody here wrote, saves: 96 ticks to the
// quarter, running status, the conductor events in the first track, the melody
// with lyrics in the second, a bass in the third.
void TestMidiFileReader::mido() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mido.mid"));
    const QString script = QStringLiteral(R"(
import sys, mido
M, N = mido.MetaMessage, mido.Message
t0 = [M('track_name', name='Song'), M('set_tempo', tempo=750000), M('key_signature', key='Bb'),
      M('time_signature', numerator=3, denominator=4), M('marker', text='A', time=288)]
t1 = [M('lyrics', text='la'), N('note_on', note=62), N('note_on', note=62, velocity=0, time=96),
      M('lyrics', text='li'), N('note_on', note=64), N('note_on', note=64, velocity=0, time=96),
      N('note_on', note=65), N('note_on', note=65, velocity=0, time=96), M('lyrics', text='lo'),
      N('note_on', note=67), N('note_on', note=67, velocity=0, time=192)]
t2 = [N('note_on', channel=1, note=38), N('note_off', channel=1, note=38, time=480)]
f = mido.MidiFile(type=1, ticks_per_beat=96, tracks=[mido.MidiTrack(t) for t in (t0, t1, t2)])
f.save(sys.argv[1])
)");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    QVERIFY(python.waitForFinished(60000));
    const QByteArray error = python.readAllStandardError();
    if (error.contains("No module named 'mido'")) {
        QSKIP("python3-mido is missing");
    }
    QVERIFY2(python.exitCode() == 0, error.constData());
    const QByteArray file = readAll(path);
    QVERIFY(file.contains(QByteArray::fromHex("903e40603e00"))); // running status
    const SourceReading reading = MidiFileReader::read(file);
    QCOMPARE(notesOf(reading),
             QStringLiteral("«Song» 480:62'la 480:64'li 480:65 960:67'lo" ONLY_FIRST));
    QCOMPARE(measuresOf(reading), QStringLiteral("1440 3/4 M K-2 T80 | 960 3/4 k-2 RA" ONLY_FIRST));
    checkShape(reading);
}

QTEST_MAIN(TestMidiFileReader)
#include "tst_midifilereader.moc"

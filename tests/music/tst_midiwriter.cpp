// The MIDI writer: the bytes of the header and of a few events, and the whole
// file read back by mido, a MIDI library nobody here wrote.
#include "music/midiwriter.h"
#include "musicfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace music;
using musicfixture::note;
using musicfixture::section;

Q_DECLARE_METATYPE(music::Key)
Q_DECLARE_METATYPE(music::Meter)
Q_DECLARE_METATYPE(QVector<music::BeatClick>)

namespace {

// The writers' tune, with the clicks of its beats.
Melody pickupMelody() {
    Melody m = musicfixture::pickupMelody();
    for (qint64 t = 480; t < m.sections.first().end; t += 480) {
        m.clicks.append({t, (t - 480) % 1920 == 0});
    }
    return m;
}

// A tune in 散板 at 50 in 小工调, then one of 一板一眼 加赠 at 72 in 凡字调
// with a pickup of one beat.
Melody twoTunes() {
    Melody m;
    Section free;
    free.meter = Meter::SanBan;
    free.key = Key::XiaoGong;
    free.tempo = 50;
    free.start = free.firstDownbeat = 0;
    free.end = 1920;
    free.noteCount = 2;
    m.sections.append(free);
    Section zeng;
    zeng.quPai = QStringLiteral("好姐姐");
    zeng.meter = Meter::YiBanYiYan;
    zeng.zeng = true;
    zeng.key = Key::FanZi;
    zeng.tempo = 72;
    zeng.start = 1920;
    zeng.firstDownbeat = 2400;
    zeng.end = 2400 + 2 * 1920;
    zeng.firstNote = 2;
    zeng.noteCount = 4;
    m.sections.append(zeng);
    m.notes.append(note(74, 0, 960, 0, QStringLiteral("袅")));
    m.notes.append(note(76, 960, 960, 0));
    m.notes[1].breathAfter = true;
    m.notes.append(note(70, 1920, 480, 1, QStringLiteral("晴")));
    m.notes.append(note(75, 2400, 960, 1));
    m.notes.append(note(72, 3360, 960, 2, QStringLiteral("丝")));
    m.notes.append(note(70, 4320, 1920, 3, QStringLiteral("吹")));
    m.clicks = {{2400, true}, {3360, false}, {4320, true}, {5280, false}};
    return m;
}

MidiWriter::Options options(bool clicks = true, const QString &title = {}) {
    MidiWriter::Options o;
    o.clicks = clicks;
    o.title = title;
    return o;
}

QByteArray vlq(quint32 value) {
    QByteArray out(1, char(value & 0x7f));
    while ((value >>= 7) != 0) {
        out.prepend(char(0x80 | (value & 0x7f)));
    }
    return out;
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

QByteArray textMeta(int type, const QString &text) {
    const QByteArray utf8 = text.toUtf8();
    return bytes({0xff, type}) + vlq(quint32(utf8.size())) + utf8;
}

// The chunks after the header, without their "MTrk" and length.
QVector<QByteArray> tracksOf(const QByteArray &file) {
    QVector<QByteArray> out;
    int at = 14;
    while (at + 8 <= file.size()) {
        if (file.mid(at, 4) != "MTrk") {
            break;
        }
        const quint32 length =
            (quint32(quint8(file.at(at + 4))) << 24) | (quint32(quint8(file.at(at + 5))) << 16) |
            (quint32(quint8(file.at(at + 6))) << 8) | quint32(quint8(file.at(at + 7)));
        out.append(file.mid(at + 8, int(length)));
        at += 8 + int(length);
    }
    return out;
}

// The data of the one meta event of that type on the conductor track of m;
// null when there is none or more than one.
QByteArray onlyMeta(const Melody &m, int type, int length) {
    const QByteArray track = tracksOf(MidiWriter::encode(m, options())).value(0);
    const QByteArray meta = bytes({0xff, type, length});
    const int at = track.indexOf(meta);
    if (at < 0 || track.indexOf(meta, at + 1) >= 0) {
        return QByteArray();
    }
    return track.mid(at + 3, length);
}

// A note as it sounds: its key, from note-on to note-off in ticks.
struct Sounded {
    int note;
    qint64 on;
    qint64 off;
};

QStringList describe(const QVector<Sounded> &notes) {
    QStringList out;
    for (const Sounded &s : notes) {
        out.append(QStringLiteral("%1 [%2, %3)").arg(s.note).arg(s.on).arg(s.off));
    }
    return out;
}

// What mido makes of the file, or an empty object (and why) when it cannot run.
QJsonObject readWithMido(const QByteArray &file, QString *why) {
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) {
        *why = QStringLiteral("/usr/bin/python3 is missing (scripts/setup.sh installs it)");
        return {};
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("melody.mid"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(file) != file.size()) {
        *why = QStringLiteral("cannot write %1").arg(path);
        return {};
    }
    f.close();
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(QORVEL_SOURCE_DIR "/tests/music/mididump.py"), path});
    if (!python.waitForFinished(60000)) {
        *why = QStringLiteral("mididump.py did not finish");
        return {};
    }
    if (python.exitCode() == 3) {
        *why = QStringLiteral("python3-mido is missing (scripts/setup.sh installs it)");
        return {};
    }
    if (python.exitCode() != 0) {
        *why = QStringLiteral("mido could not read the file: ") +
               QString::fromUtf8(python.readAllStandardError());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

QVector<Sounded> soundedOn(const QJsonArray &track, int channel) {
    QVector<Sounded> out;
    QHash<int, qint64> on;
    for (const QJsonValue &v : track) {
        const QJsonObject m = v.toObject();
        if (m.value(QLatin1String("channel")).toInt(-1) != channel) {
            continue;
        }
        const int key = m.value(QLatin1String("note")).toInt();
        const qint64 at = qint64(m.value(QLatin1String("at")).toDouble());
        const QString type = m.value(QLatin1String("type")).toString();
        if (type == QLatin1String("note_on") && m.value(QLatin1String("velocity")).toInt() > 0) {
            on.insert(key, at);
        } else if (type == QLatin1String("note_off") || type == QLatin1String("note_on")) {
            out.append({key, on.take(key), at});
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Sounded &a, const Sounded &b) { return a.on < b.on; });
    return out;
}

QVector<QJsonObject> messages(const QJsonArray &track, const QString &type) {
    QVector<QJsonObject> out;
    for (const QJsonValue &v : track) {
        if (v.toObject().value(QLatin1String("type")).toString() == type) {
            out.append(v.toObject());
        }
    }
    return out;
}

} // namespace

class TestMidiWriter : public QObject {
    Q_OBJECT

private slots:
    void headerIsFormatOneAtTicksPerBeat();
    void conductorTrackBytes();
    void melodyTrackOpensWithFluteAndLyric();
    void keySignatures_data();
    void keySignatures();
    void timeSignatures_data();
    void timeSignatures();
    void clickTrackIsOptional();
    void readBackWithMido();
    void tempoAndMeterChangesReadBack();
    void writesFiles();
    void clicksNeverOverlap_data();
    void clicksNeverOverlap();
};

void TestMidiWriter::headerIsFormatOneAtTicksPerBeat() {
    const QByteArray file = MidiWriter::encode(pickupMelody(), options());
    QCOMPARE(file.left(14), QByteArray("MThd\0\0\0\x06\0\x01\0\x03\x01\xe0", 14));
    QCOMPARE(tracksOf(file).size(), 3);
    // Every byte belongs to the header or a track chunk.
    int total = 14;
    for (const QByteArray &t : tracksOf(file)) {
        total += 8 + t.size();
        QVERIFY(t.endsWith(QByteArray("\xff\x2f\x00", 3)));
    }
    QCOMPARE(total, file.size());
}

void TestMidiWriter::conductorTrackBytes() {
    const QByteArray file =
        MidiWriter::encode(pickupMelody(), options(true, QStringLiteral("游园")));
    QByteArray expected;
    expected += vlq(0) + textMeta(0x03, QStringLiteral("游园"));
    expected += vlq(0) + bytes({0xff, 0x51, 0x03, 0x0f, 0x42, 0x40}); // 1,000,000 µs a beat
    expected += vlq(0) + bytes({0xff, 0x58, 0x04, 1, 2, 24, 8});      // the pickup: 1/4
    expected += vlq(0) + bytes({0xff, 0x59, 0x02, 2, 0});             // D major
    expected += vlq(480) + bytes({0xff, 0x58, 0x04, 4, 2, 24, 8});    // 4/4 from the 板
    expected += vlq(4320 - 480) + bytes({0xff, 0x2f, 0x00});
    QCOMPARE(vlq(480), bytes({0x83, 0x60}));
    QCOMPARE(tracksOf(file).at(0), expected);
}

void TestMidiWriter::melodyTrackOpensWithFluteAndLyric() {
    const QByteArray track = tracksOf(MidiWriter::encode(pickupMelody(), options())).at(1);
    QByteArray expected;
    expected += vlq(0) + textMeta(0x03, QStringLiteral("笛"));
    expected += vlq(0) + bytes({0xc0, 73}); // General MIDI's program 74, the flute
    expected += vlq(0) + textMeta(0x05, QStringLiteral("原"));
    expected += vlq(0) + bytes({0x90, 74, 90});
    expected += vlq(480) + bytes({0x80, 74, 64}); // the note ends before the next lyric
    expected += vlq(0) + textMeta(0x05, QStringLiteral("来"));
    expected += vlq(0) + bytes({0x90, 76, 90});
    QCOMPARE(track.left(expected.size()), expected);
}

void TestMidiWriter::keySignatures_data() {
    QTest::addColumn<Key>("key");
    QTest::addColumn<bool>("variant");
    QTest::addColumn<int>("fifths");
    QTest::newRow("小工调 D") << Key::XiaoGong << false << 2;
    QTest::newRow("凡字调 E♭") << Key::FanZi << false << -3;
    QTest::newRow("六字调 F") << Key::LiuZi << false << -1;
    QTest::newRow("正工调 G") << Key::ZhengGong << false << 1;
    QTest::newRow("乙字调 A") << Key::YiZi << false << 3;
    QTest::newRow("上字调 B♭") << Key::ShangZi << false << -2;
    QTest::newRow("尺字调 C") << Key::ChiZi << false << 0;
    // Where the other sources are followed.
    QTest::newRow("凡字调 E") << Key::FanZi << true << 4;
    QTest::newRow("上字调 B") << Key::ShangZi << true << 5;
    QTest::newRow("小工调 D, no other") << Key::XiaoGong << true << 2;
}

void TestMidiWriter::keySignatures() {
    QFETCH(Key, key);
    QFETCH(bool, variant);
    QFETCH(int, fifths);
    Melody m = pickupMelody();
    m.sections[0].key = key;
    m.sections[0].keyVariant = variant;
    const QByteArray keySignature = onlyMeta(m, 0x59, 2);
    QCOMPARE(keySignature.size(), 2);
    QCOMPARE(int(qint8(keySignature.at(0))), fifths);
    QCOMPARE(int(keySignature.at(1)), 0); // major
}

void TestMidiWriter::timeSignatures_data() {
    QTest::addColumn<Meter>("meter");
    QTest::addColumn<bool>("zeng");
    QTest::addColumn<int>("beats");
    QTest::newRow("一板三眼") << Meter::YiBanSanYan << false << 4;
    QTest::newRow("一板三眼加赠") << Meter::YiBanSanYan << true << 8;
    QTest::newRow("一板一眼") << Meter::YiBanYiYan << false << 2;
    QTest::newRow("一板一眼加赠") << Meter::YiBanYiYan << true << 4;
    QTest::newRow("流水板") << Meter::LiuShui << false << 1;
    QTest::newRow("散板 as 4/4") << Meter::SanBan << false << 4;
}

void TestMidiWriter::timeSignatures() {
    QFETCH(Meter, meter);
    QFETCH(bool, zeng);
    QFETCH(int, beats);
    Melody m = pickupMelody();
    m.sections[0].meter = meter;
    m.sections[0].zeng = zeng;
    m.sections[0].firstDownbeat = 0; // no pickup: one time signature
    QCOMPARE(onlyMeta(m, 0x58, 4), bytes({beats, 2, 24, 8}));
}

void TestMidiWriter::clickTrackIsOptional() {
    const QByteArray without = MidiWriter::encode(pickupMelody(), options(false));
    QCOMPARE(without.mid(10, 2), bytes({0, 2}));
    QCOMPARE(tracksOf(without).size(), 2);
    const QByteArray with = MidiWriter::encode(pickupMelody(), options(true));
    const QByteArray clicks = tracksOf(with).at(2);
    // The first 板 on the high wood block of channel 10, after the track name.
    QVERIFY(clicks.contains(vlq(480) + bytes({0x99, 76, 110})));
    QVERIFY(clicks.contains(bytes({0x99, 37, 90})));
    QVERIFY(!tracksOf(without).at(1).contains(char(0x99)));
}

void TestMidiWriter::readBackWithMido() {
    const Melody melody = pickupMelody();
    QString why;
    const QJsonObject midi =
        readWithMido(MidiWriter::encode(melody, options(true, QStringLiteral("游园"))), &why);
    if (midi.isEmpty()) {
        QSKIP(qPrintable(why));
    }
    QCOMPARE(midi.value(QLatin1String("type")).toInt(), 1);
    QCOMPARE(midi.value(QLatin1String("ticks_per_beat")).toInt(), 480);
    // 4320 ticks at 60 beats a minute.
    QCOMPARE(midi.value(QLatin1String("length")).toDouble(), 9.0);
    const QJsonArray tracks = midi.value(QLatin1String("tracks")).toArray();
    QCOMPARE(tracks.size(), 3);

    const QJsonArray conductor = tracks.at(0).toArray();
    QCOMPARE(messages(conductor, QStringLiteral("track_name"))
                 .value(0)
                 .value(QLatin1String("text"))
                 .toString(),
             QStringLiteral("游园"));
    const auto tempi = messages(conductor, QStringLiteral("set_tempo"));
    QCOMPARE(tempi.size(), 1);
    QCOMPARE(tempi.at(0).value(QLatin1String("tempo")).toInt(), 1000000);
    const auto keys = messages(conductor, QStringLiteral("key_signature"));
    QCOMPARE(keys.size(), 1);
    QCOMPARE(keys.at(0).value(QLatin1String("key")).toString(), QStringLiteral("D"));
    const auto times = messages(conductor, QStringLiteral("time_signature"));
    QCOMPARE(times.size(), 2);
    QCOMPARE(times.at(0).value(QLatin1String("numerator")).toInt(), 1);
    QCOMPARE(times.at(1).value(QLatin1String("at")).toInt(), 480);
    QCOMPARE(times.at(1).value(QLatin1String("numerator")).toInt(), 4);
    QCOMPARE(times.at(1).value(QLatin1String("denominator")).toInt(), 4);

    const QJsonArray flute = tracks.at(1).toArray();
    const auto programs = messages(flute, QStringLiteral("program_change"));
    QCOMPARE(programs.size(), 1);
    QCOMPARE(programs.at(0).value(QLatin1String("program")).toInt(), 73);
    QCOMPARE(programs.at(0).value(QLatin1String("channel")).toInt(), 0);

    // Each note as written, but for the ornaments, which take an eighth of a
    // beat from their note, and the 气口, which leaves a short silence.
    const QVector<Sounded> expected = {{74, 0, 480},     {76, 480, 1200},  {78, 1200, 1440},
                                       {81, 1440, 2880}, {81, 2880, 2940}, {79, 2940, 3300},
                                       {78, 3360, 4200}, {79, 4200, 4260}, {78, 4260, 4320}};
    QCOMPARE(describe(soundedOn(flute, 0)), describe(expected));

    QStringList lyrics;
    QList<int> lyricTimes;
    for (const QJsonObject &m : messages(flute, QStringLiteral("lyrics"))) {
        lyrics.append(m.value(QLatin1String("text")).toString());
        lyricTimes.append(m.value(QLatin1String("at")).toInt());
    }
    QCOMPARE(lyrics, QStringList({QStringLiteral("原"), QStringLiteral("来"), QStringLiteral("姹"),
                                  QStringLiteral("紫"), QStringLiteral("嫣")}));
    QCOMPARE(lyricTimes, QList<int>({0, 480, 1440, 2880, 3360}));

    const QVector<Sounded> clicks = soundedOn(tracks.at(2).toArray(), 9);
    QCOMPARE(clicks.size(), melody.clicks.size());
    for (int i = 0; i < clicks.size(); ++i) {
        QCOMPARE(clicks.at(i).on, melody.clicks.at(i).time);
        QCOMPARE(clicks.at(i).note, melody.clicks.at(i).ban ? 76 : 37);
        QVERIFY(clicks.at(i).off > clicks.at(i).on);
    }
    // Every track ends together.
    for (const QJsonValue &t : tracks) {
        const QJsonObject last = t.toArray().last().toObject();
        QCOMPARE(last.value(QLatin1String("type")).toString(), QStringLiteral("end_of_track"));
        QCOMPARE(last.value(QLatin1String("at")).toInt(), 4320);
    }
}

void TestMidiWriter::tempoAndMeterChangesReadBack() {
    QString why;
    const QJsonObject midi = readWithMido(MidiWriter::encode(twoTunes(), options(false)), &why);
    if (midi.isEmpty()) {
        QSKIP(qPrintable(why));
    }
    // Four beats at 50 and nine at 72.
    QVERIFY(qAbs(midi.value(QLatin1String("length")).toDouble() - (4 * 1.2 + 9 * 60.0 / 72)) <
            1e-3);
    const QJsonArray conductor = midi.value(QLatin1String("tracks")).toArray().at(0).toArray();
    QList<QPair<int, int>> tempi;
    for (const QJsonObject &m : messages(conductor, QStringLiteral("set_tempo"))) {
        tempi.append(
            {m.value(QLatin1String("at")).toInt(), m.value(QLatin1String("tempo")).toInt()});
    }
    QCOMPARE(tempi, (QList<QPair<int, int>>{{0, 1200000}, {1920, 833333}}));
    QStringList times;
    for (const QJsonObject &m : messages(conductor, QStringLiteral("time_signature"))) {
        times.append(QStringLiteral("%1@%2/%3")
                         .arg(m.value(QLatin1String("at")).toInt())
                         .arg(m.value(QLatin1String("numerator")).toInt())
                         .arg(m.value(QLatin1String("denominator")).toInt()));
    }
    // 散板 in 4/4; the second tune's pickup as a bar of 1/4, then 一板一眼
    // 加赠 in 4/4.
    QCOMPARE(times, QStringList({QStringLiteral("0@4/4"), QStringLiteral("1920@1/4"),
                                 QStringLiteral("2400@4/4")}));
    QStringList keys;
    for (const QJsonObject &m : messages(conductor, QStringLiteral("key_signature"))) {
        keys.append(QStringLiteral("%1@%2")
                        .arg(m.value(QLatin1String("at")).toInt())
                        .arg(m.value(QLatin1String("key")).toString()));
    }
    QCOMPARE(keys, QStringList({QStringLiteral("0@D"), QStringLiteral("1920@Eb")}));

    const QVector<Sounded> notes =
        soundedOn(midi.value(QLatin1String("tracks")).toArray().at(1).toArray(), 0);
    const QVector<Sounded> expected = {{74, 0, 960},     {76, 960, 1860},  {70, 1920, 2400},
                                       {75, 2400, 3360}, {72, 3360, 4320}, {70, 4320, 6240}};
    QCOMPARE(describe(notes), describe(expected));
}

// Over an older file, whole; into missing folders; not under a plain file.
void TestMidiWriter::writesFiles() {
    musicfixture::checkWriter(
        QStringLiteral("mid"),
        [](const QString &path) { return MidiWriter::write(pickupMelody(), path, options()); },
        MidiWriter::encode(pickupMelody(), options()));
}

void TestMidiWriter::clicksNeverOverlap_data() {
    QTest::addColumn<QVector<BeatClick>>("clicks");
    QTest::newRow("板 and 眼 on one beat")
        << QVector<BeatClick>{{480, true}, {480, false}, {960, false}, {960, false}};
    QTest::newRow("closer than a click")
        << QVector<BeatClick>{{480, false}, {500, false}, {510, true}, {511, true}, {600, false}};
    QTest::newRow("out of order") << QVector<BeatClick>{
        {960, false}, {480, false}, {490, false}, {480, true}};
    QVector<BeatClick> dense;
    for (qint64 t = 0; t < 4000; t += 7) {
        dense.append({t - t % 21, t % 3 == 0});
    }
    QTest::newRow("dense") << dense;
}

// Read back by mido: on every key of the click channel each note ends before
// the next of the same key begins, and every click time sounds.
void TestMidiWriter::clicksNeverOverlap() {
    QFETCH(QVector<BeatClick>, clicks);
    Melody melody = pickupMelody();
    melody.clicks = clicks;
    QString why;
    const QJsonObject midi = readWithMido(MidiWriter::encode(melody, options()), &why);
    if (midi.isEmpty()) {
        QSKIP(qPrintable(why));
    }
    const QJsonArray track = midi.value(QLatin1String("tracks")).toArray().at(2).toArray();
    QHash<int, bool> sounding;
    QSet<qint64> onsets;
    for (const QJsonValue &v : track) {
        const QJsonObject m = v.toObject();
        if (m.value(QLatin1String("channel")).toInt(-1) != 9) {
            continue;
        }
        const int key = m.value(QLatin1String("note")).toInt();
        const qint64 at = qint64(m.value(QLatin1String("at")).toDouble());
        const bool on = m.value(QLatin1String("type")).toString() == QLatin1String("note_on") &&
                        m.value(QLatin1String("velocity")).toInt() > 0;
        QVERIFY2(sounding.value(key) != on,
                 qPrintable(QStringLiteral("key %1 %2 twice at %3")
                                .arg(key)
                                .arg(on ? QStringLiteral("on") : QStringLiteral("off"))
                                .arg(at)));
        sounding[key] = on;
        if (on) {
            onsets.insert(at);
        }
    }
    for (auto it = sounding.cbegin(); it != sounding.cend(); ++it) {
        QVERIFY(!it.value());
    }
    QSet<qint64> times;
    for (const BeatClick &c : clicks) {
        times.insert(c.time);
    }
    QCOMPARE(onsets, times);
}

QTEST_MAIN(TestMidiWriter)
#include "tst_midiwriter.moc"

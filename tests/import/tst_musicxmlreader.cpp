// The MusicXML reader: hand-written scores for each thing it reads, the
// MusicXML writer's scores read back, compressed .mxl archives built here
// with libzip (good ones and hostile ones), and inputs that must fail cleanly.
#include "../music/musicfixture.h"
#include "import/musicxmlreader.h"
#include "import/mxlarchive.h"
#include "music/musicxmlwriter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <zip.h>

using namespace music;
using musicfixture::melodyOf;
using musicfixture::parseMusicXml;
using musicfixture::XScore;

Q_DECLARE_METATYPE(music::Melody)

namespace {

using Entries = QVector<QPair<QString, QByteArray>>;

// A partwise score with these parts (the inside of each <part>), after the
// header (work, credits) given.
QByteArray partwise(const QStringList &parts, const QString &header = {}) {
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<score-partwise version=\"4.0\">") +
                  header + QStringLiteral("<part-list>");
    for (int i = 0; i < parts.size(); ++i) {
        xml += QStringLiteral("<score-part id=\"P%1\"><part-name>p</part-name></score-part>")
                   .arg(i + 1);
    }
    xml += QStringLiteral("</part-list>");
    for (int i = 0; i < parts.size(); ++i) {
        xml += QStringLiteral("<part id=\"P%1\">%2</part>").arg(i + 1).arg(parts.at(i));
    }
    return (xml + QStringLiteral("</score-partwise>\n")).toUtf8();
}

QByteArray score(const QString &measures) {
    return partwise({measures});
}

// Measures numbered from 1, the first with divisions (and more attributes).
QString bars(const QStringList &bodies, int divisions = 1, const QString &attributes = {}) {
    QString out;
    for (int i = 0; i < bodies.size(); ++i) {
        out += QStringLiteral("<measure number=\"%1\">").arg(i + 1);
        if (i == 0) {
            out += QStringLiteral("<attributes><divisions>%1</divisions>%2</attributes>")
                       .arg(divisions)
                       .arg(attributes);
        }
        out += bodies.at(i) + QStringLiteral("</measure>");
    }
    return out;
}

// <pitch> of a name such as "C4", "F#5" or "Bb3".
QString pitch(const QString &name) {
    const QString step = name.left(1);
    int alter = 0;
    QString octave = name.mid(1);
    if (octave.startsWith(QLatin1Char('#')) || octave.startsWith(QLatin1Char('b'))) {
        alter = octave.startsWith(QLatin1Char('#')) ? 1 : -1;
        octave = octave.mid(1);
    }
    return QStringLiteral("<pitch><step>%1</step>%2<octave>%3</octave></pitch>")
        .arg(step, alter ? QStringLiteral("<alter>%1</alter>").arg(alter) : QString(), octave);
}

// A note; extra goes inside it (voice, ties, notations, lyrics, chord).
QString n(const QString &name, int duration, const QString &extra = {}) {
    return QStringLiteral("<note>%1<duration>%2</duration>%3</note>")
        .arg(pitch(name))
        .arg(duration)
        .arg(extra);
}

QString chord(const QString &name, int duration) {
    return n(name, duration, QStringLiteral("<chord/>"));
}

QString rest(int duration, const QString &extra = {}) {
    return QStringLiteral("<note><rest/><duration>%1</duration>%2</note>").arg(duration).arg(extra);
}

QString grace(const QString &name, const QString &attributes = {}) {
    return QStringLiteral("<note><grace%1/>%2<type>16th</type></note>")
        .arg(attributes, pitch(name));
}

QString voice(int v) {
    return QStringLiteral("<voice>%1</voice>").arg(v);
}

QString lyric(const QString &text, const QString &number = QStringLiteral("1")) {
    const QString attr =
        number.isEmpty() ? QString() : QStringLiteral(" number=\"%1\"").arg(number);
    return QStringLiteral("<lyric%1><syllabic>single</syllabic><text>%2</text></lyric>")
        .arg(attr, text);
}

QString tie(const QString &types) {
    QString out;
    for (const QString &type : types.split(QLatin1Char(' '))) {
        out += QStringLiteral("<tie type=\"%1\"/>").arg(type);
    }
    return out;
}

QString backup(int duration) {
    return QStringLiteral("<backup><duration>%1</duration></backup>").arg(duration);
}

QString forward(int duration) {
    return QStringLiteral("<forward><duration>%1</duration></forward>").arg(duration);
}

QString time(int beats, int beatType) {
    return QStringLiteral("<time><beats>%1</beats><beat-type>%2</beat-type></time>")
        .arg(beats)
        .arg(beatType);
}

QString direction(const QString &types, const QString &sound = {}) {
    return QStringLiteral("<direction placement=\"above\">%1%2</direction>").arg(types, sound);
}

QString words(const QString &text) {
    return QStringLiteral("<direction-type><words>%1</words></direction-type>").arg(text);
}

QString metronome(const QString &unit, int perMinute, bool dotted = false) {
    return QStringLiteral("<direction-type><metronome><beat-unit>%1</beat-unit>%2"
                          "<per-minute>%3</per-minute></metronome></direction-type>")
        .arg(unit, dotted ? QStringLiteral("<beat-unit-dot/>") : QString())
        .arg(perMinute);
}

QString barline(const QString &location, const QString &style) {
    return QStringLiteral("<barline location=\"%1\"><bar-style>%2</bar-style></barline>")
        .arg(location, style);
}

// "onset+duration pitch [g] [,] [^] m<measure> [=lyric]"; a rest's pitch is r.
QString describe(const SourceNote &note, bool withMeasure = true) {
    QString out = QStringLiteral("%1+%2 %3")
                      .arg(note.onset)
                      .arg(note.duration)
                      .arg(note.isRest() ? QStringLiteral("r") : QString::number(note.midi));
    if (note.grace) {
        out += QStringLiteral(" g");
    }
    if (note.breathAfter) {
        out += QStringLiteral(" ,");
    }
    if (note.fermata) {
        out += QStringLiteral(" ^");
    }
    if (withMeasure) {
        out += QStringLiteral(" m%1").arg(note.measure);
    }
    if (!note.lyric.isEmpty()) {
        out += QStringLiteral(" =") + note.lyric;
    }
    return out;
}

QStringList describe(const QVector<SourceNote> &notes) {
    QStringList out;
    for (const SourceNote &note : notes) {
        out.append(describe(note));
    }
    return out;
}

QStringList describe(const QVector<SourceProblem> &problems) {
    QStringList out;
    for (const SourceProblem &p : problems) {
        out.append(QStringLiteral("m%1 @%2 %3").arg(p.measure).arg(p.time).arg(p.message));
    }
    return out;
}

// "number start+length beats/beatType fifths[m] [K] [T] [♩tempo] [«words»]
// [[rehearsal]] [‖]".
QStringList describe(const QVector<SourceMeasure> &measures) {
    QStringList out;
    for (const SourceMeasure &m : measures) {
        QString s = QStringLiteral("%1 %2+%3 %4/%5 %6%7")
                        .arg(m.number)
                        .arg(m.start)
                        .arg(m.length)
                        .arg(m.beats)
                        .arg(m.beatType)
                        .arg(m.fifths)
                        .arg(m.minor ? QStringLiteral("m") : QString());
        if (m.keyStated) {
            s += QStringLiteral(" K");
        }
        if (m.meterStated) {
            s += QStringLiteral(" T");
        }
        if (m.tempo) {
            s += QStringLiteral(" ♩%1").arg(m.tempo);
        }
        if (!m.words.isEmpty()) {
            s += QStringLiteral(" «%1»").arg(m.words);
        }
        if (!m.rehearsal.isEmpty()) {
            s += QStringLiteral(" [%1]").arg(m.rehearsal);
        }
        if (m.doubleBarBefore) {
            s += QStringLiteral(" ‖");
        }
        out.append(s);
    }
    return out;
}

// The invariants every reading keeps: notes in time order and contiguous
// (a grace at the onset of what follows it), no negative durations, measure
// indices in range.
void checkInvariants(const SourceScore &s) {
    qint64 t = 0;
    for (const SourceNote &note : s.notes) {
        QVERIFY2(note.duration >= 0, qPrintable(describe(note)));
        QVERIFY2(note.grace == (note.duration == 0), qPrintable(describe(note)));
        QVERIFY2(note.measure >= 0 && note.measure < s.measures.size(), qPrintable(describe(note)));
        QVERIFY2(note.onset == t || (note.grace && note.onset >= t), qPrintable(describe(note)));
        t = note.onset + note.duration;
    }
}

// An archive of these entries, written by libzip; with a password, each
// entry is encrypted.
QByteArray zipOf(const Entries &entries, const char *password = nullptr) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("a.zip")));
    int error = 0;
    zip_t *archive = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        return QByteArray();
    }
    for (const auto &entry : entries) {
        zip_source_t *source = zip_source_buffer(archive, entry.second.constData(),
                                                 zip_uint64_t(entry.second.size()), 0);
        const zip_int64_t index =
            zip_file_add(archive, entry.first.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return QByteArray();
        }
        if (password &&
            zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256, password) != 0) {
            zip_discard(archive);
            return QByteArray();
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return QByteArray();
    }
    return readAll(dir.filePath(QStringLiteral("a.zip")));
}

QByteArray container(const QString &rootPath) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<container><rootfiles><rootfile full-path=\"%1\" "
                          "media-type=\"application/vnd.recordare.musicxml+xml\"/>"
                          "</rootfiles></container>")
        .arg(rootPath)
        .toUtf8();
}

QByteArray smallScore() {
    return score(bars({n(QStringLiteral("D5"), 4, lyric(QStringLiteral("春")))}));
}

// Sets the stated sizes of every entry (local headers and central
// directory) to size.
QByteArray withStatedSize(QByteArray zip, quint32 size) {
    const auto put = [&zip](int at, quint32 v) {
        for (int i = 0; i < 4; ++i) {
            zip[at + i] = char((v >> (8 * i)) & 0xff);
        }
    };
    for (int at = zip.indexOf("PK\x03\x04"); at >= 0; at = zip.indexOf("PK\x03\x04", at + 4)) {
        put(at + 22, size);
    }
    for (int at = zip.indexOf("PK\x01\x02"); at >= 0; at = zip.indexOf("PK\x01\x02", at + 4)) {
        put(at + 24, size);
    }
    return zip;
}

// A score of count measures of 4/4, four quarter notes each with a syllable.
QByteArray longScore(int count) {
    QString body;
    body.reserve(count * 700);
    for (int i = 0; i < count; ++i) {
        body += QStringLiteral("<measure number=\"%1\">").arg(i + 1);
        if (i == 0) {
            body += QStringLiteral("<attributes><divisions>1</divisions>") + time(4, 4) +
                    QStringLiteral("</attributes>");
        }
        for (int k = 0; k < 4; ++k) {
            body += n(QStringLiteral("C5"), 1, voice(1) + lyric(QStringLiteral("春")));
        }
        body += QStringLiteral("</measure>");
    }
    return score(body);
}

} // namespace

class TestMusicXmlReader : public QObject {
    Q_OBJECT

private slots:
    void notes_data();
    void notes();
    void measures_data();
    void measures();
    void title_data();
    void title();
    void onlyTheFirstPart();
    void errors_data();
    void errors();
    void writerRoundTrip_data();
    void writerRoundTrip();
    void mxl_data();
    void mxl();
    void mxlZipBombs_data();
    void mxlZipBombs();
    void mxlLimitIsTheActualSize();
    void mxlEncrypted();
    void readFileChecksSize();
    void tenThousandMeasures();
};

void TestMusicXmlReader::notes_data() {
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("problems");

    const QString C4 = QStringLiteral("C4"), D4 = QStringLiteral("D4"), E4 = QStringLiteral("E4");

    QTest::newRow("pitches and a rest")
        << score(bars(
               {n(C4, 1) + rest(1) + n(QStringLiteral("F#5"), 2), n(QStringLiteral("Bb3"), 4)}))
        << QStringList{"0+480 60 m0", "480+480 r m0", "960+960 78 m0", "1920+1920 58 m1"}
        << QStringList{};
    QTest::newRow("divisions change between and within measures")
        << score(bars({n(C4, 2) + n(D4, 1) + n(E4, 1),
                       QStringLiteral("<attributes><divisions>8</divisions></attributes>") +
                           n(QStringLiteral("F4"), 8) +
                           QStringLiteral("<attributes><divisions>1</divisions></attributes>") +
                           n(QStringLiteral("G4"), 1)},
                      2))
        << QStringList{"0+480 60 m0", "480+240 62 m0", "720+240 64 m0", "960+480 65 m1",
                       "1440+480 67 m1"}
        << QStringList{};
    QTest::newRow("backup, forward and a second voice")
        << score(bars({n(C4, 2, voice(1)) + n(D4, 2, voice(1)) + backup(4) +
                           n(QStringLiteral("E3"), 4, voice(2)),
                       n(QStringLiteral("F4"), 1, voice(1)) + forward(1) +
                           n(QStringLiteral("G4"), 2, voice(1)) + backup(4) +
                           n(QStringLiteral("A3"), 4, voice(2))}))
        << QStringList{"0+960 60 m0", "960+960 62 m0", "1920+480 65 m1", "2400+480 r m1",
                       "2880+960 67 m1"}
        << QStringList{"m0 @0 只取第一层，其他层的音已略去",
                       "m1 @1920 只取第一层，其他层的音已略去"};
    QTest::newRow("the first voice is the first note's")
        << score(bars({n(C4, 4, voice(2)) + backup(4) + n(E4, 4, voice(1))}))
        << QStringList{"0+1920 60 m0"} << QStringList{"m0 @0 只取第一层，其他层的音已略去"};
    QTest::newRow("a chord keeps its highest pitch")
        << score(bars({n(C4, 1) + chord(E4, 1) + chord(QStringLiteral("G4"), 1) + n(D4, 1) +
                       chord(QStringLiteral("B3"), 1) + n(E4, 2)}))
        << QStringList{"0+480 67 m0", "480+480 62 m0", "960+960 64 m0"}
        << QStringList{"m0 @0 和弦只取最高音"};
    QTest::newRow("ties merge across bars")
        << score(bars({n(C4, 1, lyric(QStringLiteral("春"))) + n(D4, 1, tie("start")),
                       n(D4, 1, tie("stop start")),
                       n(D4, 1,
                         tie("stop") + QStringLiteral("<notations><articulations><breath-mark/>"
                                                      "</articulations></notations>")) +
                           n(E4, 1)},
                      1, time(2, 4)))
        << QStringList{"0+480 60 m0 =春", "480+1440 62 , m0", "1920+480 64 m2"} << QStringList{};
    QTest::newRow("ties stated only by tied notations")
        << score(bars({n(C4, 2, QStringLiteral("<notations><tied type=\"start\"/></notations>")) +
                       n(C4, 2, QStringLiteral("<notations><tied type=\"stop\"/></notations>"))}))
        << QStringList{"0+1920 60 m0"} << QStringList{};
    QTest::newRow("a tie to another pitch does not merge")
        << score(bars({n(C4, 2, tie("start")) + n(D4, 2, tie("stop"))}))
        << QStringList{"0+960 60 m0", "960+960 62 m0"} << QStringList{};
    QTest::newRow("a grace before its note")
        << score(bars({grace(QStringLiteral("D5"), QStringLiteral(" slash=\"yes\"")) +
                       n(QStringLiteral("C5"), 4, lyric(QStringLiteral("春")))}))
        << QStringList{"0+0 74 g m0", "0+1920 72 m0 =春"} << QStringList{};
    QTest::newRow("graces after a note go before the next")
        << score(bars({n(C4, 4) + grace(E4, QStringLiteral(" steal-time-previous=\"10\"")) +
                           grace(D4, QStringLiteral(" steal-time-previous=\"10\"")),
                       n(QStringLiteral("G4"), 4)}))
        << QStringList{"0+1920 60 m0", "1920+0 64 g m1", "1920+0 62 g m1", "1920+1920 67 m1"}
        << QStringList{};
    QTest::newRow("graces after the last note end the piece")
        << score(bars({n(C4, 4) + grace(D4)})) << QStringList{"0+1920 60 m0", "1920+0 62 g m0"}
        << QStringList{};
    QTest::newRow("breath mark, caesura and fermata")
        << score(bars(
               {n(C4, 1,
                  QStringLiteral("<notations><articulations><breath-mark/></articulations>"
                                 "</notations>")) +
                n(D4, 1,
                  QStringLiteral(
                      "<notations><articulations><caesura/></articulations></notations>")) +
                n(E4, 2, QStringLiteral("<notations><fermata type=\"upright\"/></notations>"))}))
        << QStringList{"0+480 60 , m0", "480+480 62 , m0", "960+960 64 ^ m0"} << QStringList{};
    QTest::newRow("verse 1 over verse 2")
        << score(bars(
               {n(C4, 2,
                  lyric(QStringLiteral("二"), QStringLiteral("2")) + lyric(QStringLiteral("一"))) +
                n(D4, 2, lyric(QStringLiteral("三"), QStringLiteral("2")))}))
        << QStringList{"0+960 60 m0 =一", "960+960 62 m0"} << QStringList{};
    QTest::newRow("the first verse found when none is 1")
        << score(bars({n(C4, 2,
                         lyric(QStringLiteral("三"), QStringLiteral("3")) +
                             lyric(QStringLiteral("二"), QStringLiteral("2"))) +
                       n(D4, 2, lyric(QStringLiteral("丙"), QStringLiteral("2")))}))
        << QStringList{"0+960 60 m0 =三", "960+960 62 m0"} << QStringList{};
    QTest::newRow("an unnumbered lyric is verse 1")
        << score(bars({n(C4, 4,
                         lyric(QStringLiteral("二"), QStringLiteral("2")) +
                             lyric(QStringLiteral("一"), QString()))}))
        << QStringList{"0+1920 60 m0 =一"} << QStringList{};
    QTest::newRow("elided syllables join, an extender adds none")
        << score(bars({n(C4, 2,
                         QStringLiteral("<lyric number=\"1\"><text>春</text><elision/>"
                                        "<text>花</text></lyric>")) +
                       n(D4, 2, QStringLiteral("<lyric number=\"1\"><extend/></lyric>"))}))
        << QStringList{"0+960 60 m0 =春花", "960+960 62 m0"} << QStringList{};
    QTest::newRow("whole-measure rests")
        << score(bars({QStringLiteral("<note><rest measure=\"yes\"/><duration>3</duration>"
                                      "</note>"),
                       QStringLiteral("<note><rest measure=\"yes\"/></note>"), n(C4, 3)},
                      1, time(3, 4)))
        << QStringList{"0+1440 r m0", "1440+1440 r m1", "2880+1440 60 m2"} << QStringList{};
    QTest::newRow("a cue note leaves a rest")
        << score(bars({n(C4, 1) + n(D4, 1, QStringLiteral("<cue/>")) + n(E4, 2)}))
        << QStringList{"0+480 60 m0", "480+480 r m0", "960+960 64 m0"} << QStringList{};
    QTest::newRow("triplets divide evenly")
        << score(bars({n(C4, 1) + n(D4, 1) + n(E4, 1) + n(C4, 9)}, 3))
        << QStringList{"0+160 60 m0", "160+160 62 m0", "320+160 64 m0", "480+1440 60 m0"}
        << QStringList{};
    QTest::newRow("an uneven tuplet rounds, reported once a measure")
        << score(bars({n(C4, 1) + n(D4, 1) + n(E4, 1) + n(C4, 1) + n(D4, 1) + n(E4, 1) + n(C4, 1),
                       n(D4, 7)},
                      7))
        << QStringList{"0+69 60 m0",   "69+68 62 m0",  "137+69 64 m0", "206+68 60 m0",
                       "274+69 62 m0", "343+68 64 m0", "411+69 60 m0", "480+480 62 m1"}
        << QStringList{"m0 @0 时值不能整除，已就近取整"};
    QTest::newRow("an overlap cuts the note before")
        << score(bars({n(C4, 4) + backup(2) + n(D4, 2)}))
        << QStringList{"0+960 60 m0", "960+960 62 m0"} << QStringList{"m0 @960 重叠的音已截短"};
    QTest::newRow("of two notes at one onset the first stays")
        << score(bars({n(C4, 2) + backup(2) + n(E4, 2) + n(D4, 2)}))
        << QStringList{"0+960 60 m0", "960+960 62 m0"}
        << QStringList{"m0 @0 同时开始的音只取第一个"};
    QTest::newRow("a quarter tone goes to the nearest semitone")
        << score(bars({QStringLiteral("<note><pitch><step>C</step><alter>0.5</alter>"
                                      "<octave>4</octave></pitch><duration>4</duration></note>")}))
        << QStringList{"0+1920 61 m0"} << QStringList{"m0 @0 微分音已归入最近的半音"};
    QTest::newRow("an unpitched note sounds as a rest")
        << score(bars({QStringLiteral("<note><unpitched><display-step>E</display-step>"
                                      "<display-octave>4</display-octave></unpitched>"
                                      "<duration>4</duration></note>")}))
        << QStringList{"0+1920 r m0"} << QStringList{};
}

void TestMusicXmlReader::notes() {
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, problems);
    const SourceReading reading = MusicXmlReader::read(xml);
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(describe(reading.score.notes), expected);
    QCOMPARE(describe(reading.score.problems), problems);
    checkInvariants(reading.score);
}

void TestMusicXmlReader::measures_data() {
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("expected");

    const QString C4 = QStringLiteral("C4");
    const QString key2 = QStringLiteral("<key><fifths>2</fifths><mode>major</mode></key>");
    QTest::newRow("key and time carried over")
        << score(bars({n(C4, 4), n(C4, 4),
                       QStringLiteral("<attributes><key><fifths>-3</fifths><mode>minor</mode>"
                                      "</key>") +
                           time(3, 4) + QStringLiteral("</attributes>") + n(C4, 3)},
                      1, key2 + time(4, 4)))
        << QStringList{"1 0+1920 4/4 2 K T", "2 1920+1920 4/4 2", "3 3840+1440 3/4 -3m K T"};
    QTest::newRow("senza misura") << score(bars({n(C4, 5)}, 1,
                                                QStringLiteral("<time><senza-misura/></time>")))
                                  << QStringList{"1 0+2400 0/0 0 T"};
    QTest::newRow("composite meters")
        << score(
               bars({n(C4, 5), QStringLiteral("<attributes><time><beats>3</beats><beat-type>8"
                                              "</beat-type><beats>2</beats><beat-type>4</beat-type>"
                                              "</time></attributes>") +
                                   n(C4, 3)},
                    2,
                    QStringLiteral("<time><beats>3+2</beats><beat-type>8</beat-type>"
                                   "</time>")))
        << QStringList{"1 0+1200 5/8 0 T", "2 1200+720 3/8 0 T"};
    QTest::newRow("tempo from metronome or sound")
        << score(bars({direction(metronome(QStringLiteral("quarter"), 72)) + n(C4, 1),
                       direction(metronome(QStringLiteral("half"), 30)) + n(C4, 1),
                       direction(metronome(QStringLiteral("quarter"), 40, true)) + n(C4, 1),
                       direction(metronome(QStringLiteral("eighth"), 120)) + n(C4, 1),
                       direction(metronome(QStringLiteral("quarter"), 80),
                                 QStringLiteral("<sound tempo=\"66\"/>")) +
                           n(C4, 1),
                       QStringLiteral("<sound tempo=\"90.4\"/>") + n(C4, 1), n(C4, 1)}))
        << QStringList{"1 0+480 0/0 0 ♩72",    "2 480+480 0/0 0 ♩60",  "3 960+480 0/0 0 ♩60",
                       "4 1440+480 0/0 0 ♩60", "5 1920+480 0/0 0 ♩66", "6 2400+480 0/0 0 ♩90",
                       "7 2880+480 0/0 0"};
    QTest::newRow("words and rehearsal marks")
        << score(bars({direction(words(QStringLiteral("【皂罗袍】"))) +
                       direction(words(QStringLiteral(" 一板三眼 ")) +
                                 QStringLiteral("<direction-type><rehearsal>A</rehearsal>"
                                                "</direction-type>")) +
                       n(C4, 4)}))
        << QStringList{"1 0+1920 0/0 0 «【皂罗袍】 一板三眼» [A]"};
    QTest::newRow("double bars")
        << score(bars({n(C4, 1) + barline(QStringLiteral("right"), QStringLiteral("light-heavy")),
                       n(C4, 1) + barline(QStringLiteral("right"), QStringLiteral("dashed")),
                       barline(QStringLiteral("left"), QStringLiteral("light-light")) + n(C4, 1),
                       n(C4, 1) + barline(QStringLiteral("right"), QStringLiteral("regular")),
                       n(C4, 1) + barline(QStringLiteral("right"), QStringLiteral("heavy-heavy")),
                       n(C4, 1)}))
        << QStringList{"1 0+480 0/0 0",    "2 480+480 0/0 0 ‖", "3 960+480 0/0 0 ‖",
                       "4 1440+480 0/0 0", "5 1920+480 0/0 0",  "6 2400+480 0/0 0 ‖"};
    QTest::newRow("numbers as written; an empty measure takes no time")
        << score(QStringLiteral("<measure number=\"0\" implicit=\"yes\"><attributes><divisions>1"
                                "</divisions></attributes>") +
                 n(C4, 1) + QStringLiteral("</measure><measure number=\"1\">") + n(C4, 4) +
                 QStringLiteral("</measure><measure number=\"12a\"></measure><measure>") +
                 n(C4, 4) + QStringLiteral("</measure>"))
        << QStringList{"0 0+480 0/0 0", "1 480+1920 0/0 0", "12a 2400+0 0/0 0",
                       "4 2400+1920 0/0 0"};
}

void TestMusicXmlReader::measures() {
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, expected);
    const SourceReading reading = MusicXmlReader::read(xml);
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(describe(reading.score.measures), expected);
    checkInvariants(reading.score);
}

void TestMusicXmlReader::title_data() {
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("title");
    const QString credit =
        QStringLiteral("<credit page=\"1\"><credit-type>subtitle</credit-type><credit-words>副"
                       "</credit-words></credit><credit page=\"1\"><credit-type>title"
                       "</credit-type><credit-words>游园</credit-words></credit>");
    const QString movement = QStringLiteral("<movement-title>皂罗袍</movement-title>");
    const QString work = QStringLiteral("<work><work-number>1</work-number><work-title> 牡丹亭 "
                                        "</work-title></work>");
    QTest::newRow("work title first") << work + movement + credit << QStringLiteral("牡丹亭");
    QTest::newRow("then the movement title") << movement + credit << QStringLiteral("皂罗袍");
    QTest::newRow("then a title credit") << credit << QStringLiteral("游园");
    QTest::newRow("none") << QString() << QString();
}

void TestMusicXmlReader::title() {
    QFETCH(QString, header);
    QFETCH(QString, title);
    const SourceReading reading =
        MusicXmlReader::read(partwise({bars({n(QStringLiteral("C4"), 4)})}, header));
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(reading.score.title, title);
}

void TestMusicXmlReader::onlyTheFirstPart() {
    const QString first = bars({n(QStringLiteral("C4"), 4), n(QStringLiteral("D4"), 4)});
    const QString other = bars({direction(words(QStringLiteral("别处"))) +
                                    n(QStringLiteral("G5"), 2) + n(QStringLiteral("A5"), 2),
                                n(QStringLiteral("B5"), 4) + n(QStringLiteral("C6"), 4)});
    const SourceReading reading = MusicXmlReader::read(partwise({first, other, other}));
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(describe(reading.score.notes), QStringList({"0+1920 60 m0", "1920+1920 62 m1"}));
    QCOMPARE(describe(reading.score.measures),
             QStringList({"1 0+1920 0/0 0", "2 1920+1920 0/0 0"}));
    QCOMPARE(describe(reading.score.problems), QStringList({"m-1 @-1 只读第一声部（共3个声部）"}));
}

void TestMusicXmlReader::errors_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // what the error says (a part of it)

    const QByteArray dtd = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 "
                           "Partwise//EN\" \"http://www.musicxml.org/dtds/partwise.dtd\">\n";
    const QByteArray body = "<score-partwise version=\"4.0\"><part-list><score-part id=\"P1\">"
                            "<part-name>&foo;</part-name></score-part></part-list><part "
                            "id=\"P1\"><measure number=\"1\"/></part></score-partwise>";
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE score-partwise [\n"
                        "<!ENTITY l0 \"hahahahahahahahahaha\">\n";
    for (int i = 1; i < 10; ++i) {
        laughs += QStringLiteral("<!ENTITY l%1 \"&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;&l%2;"
                                 "&l%2;\">\n")
                      .arg(i)
                      .arg(i - 1)
                      .toLatin1();
    }
    laughs += "]>\n<score-partwise><work><work-title>&l9;</work-title></work></score-partwise>";
    QByteArray manyNotes = "<score-partwise><part id=\"P1\"><measure number=\"1\">";
    for (int i = 0; i <= MusicXmlReader::maxNotes; ++i) {
        manyNotes += "<note><rest/><duration>1</duration></note>";
    }
    manyNotes += "</measure></part></score-partwise>";
    QByteArray manyMeasures = "<score-partwise><part id=\"P1\">";
    for (int i = 0; i <= MusicXmlReader::maxMeasures; ++i) {
        manyMeasures += "<measure/>";
    }
    manyMeasures += "</part></score-partwise>";

    QTest::newRow("empty") << QByteArray() << QStringLiteral("文件是空的");
    QTest::newRow("blank") << QByteArray(" \n\t\n") << QStringLiteral("文件是空的");
    QTest::newRow("timewise") << QByteArray("<score-timewise version=\"4.0\"><measure number=\"1\">"
                                            "<part id=\"P1\"/></measure></score-timewise>")
                              << QStringLiteral("score-timewise");
    QTest::newRow("other XML") << QByteArray("<html><body/></html>")
                               << QStringLiteral("不是 MusicXML 乐谱");
    QTest::newRow("unclosed element")
        << QByteArray("<?xml version=\"1.0\"?>\n<score-partwise>\n<part id=\"P1\">"
                      "<measure number=\"1\">\n</part>")
        << QStringLiteral("XML 格式有误（第4行第");
    QTest::newRow("not XML at all")
        << QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 11) << QStringLiteral("XML 格式有误（第1行第");
    QTest::newRow("content after the root")
        << QByteArray("<score-partwise><part id=\"P1\"/></score-partwise>\n<x/>")
        << QStringLiteral("XML 格式有误（第2行第");
    QTest::newRow("undeclared entity, external DTD")
        << dtd + body << QStringLiteral("XML 中有未声明的实体“&foo;”（第3行第");
    QTest::newRow("undeclared entity, no DTD") << body << QStringLiteral("XML 格式有误（第1行第");
    QTest::newRow("billion laughs") << laughs << QStringLiteral("XML 格式有误");
    QTest::newRow("no part") << QByteArray("<score-partwise version=\"4.0\"><part-list/>"
                                           "</score-partwise>")
                             << QStringLiteral("乐谱中没有声部");
    QTest::newRow("too many notes") << manyNotes << QStringLiteral("音符太多（超过500000个）");
    QTest::newRow("too many measures")
        << manyMeasures << QStringLiteral("乐谱太长（超过100000小节）");
}

void TestMusicXmlReader::errors() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const SourceReading reading = MusicXmlReader::read(bytes);
    QVERIFY(!reading.ok());
    QVERIFY2(reading.error.contains(error), qPrintable(reading.error));
    QVERIFY(reading.score.notes.isEmpty());
    QVERIFY(reading.score.measures.isEmpty());
}

void TestMusicXmlReader::writerRoundTrip_data() {
    QTest::addColumn<Melody>("melody");
    QTest::newRow("pickup, tie over the bar, graces, breath, fermata")
        << musicfixture::pickupMelody();
    QTest::newRow("一板三眼 with an ornament")
        << melodyOf(QStringLiteral("; 板式=一板三眼\n【测试】\n春花秋月"),
                    {QStringLiteral("、上○尺●工○六"), QStringLiteral("、尺○工●六○五"),
                     QStringLiteral("、工○六●五○仩"), QStringLiteral("、六H○五●仩○伬")});
    QTest::newRow("散板 with 气口") << melodyOf(
        QStringLiteral("; 板式=散板 笛色=凡字调\n【测试】\n春花秋"),
        {QStringLiteral("上k尺工"), QStringLiteral("六五s"), QStringLiteral("工H尺k上")});
    QTest::newRow("加赠") << melodyOf(
        QStringLiteral("; 板式=加赠一板三眼 笛色=六字调\n【测试】\n春花"),
        {QStringLiteral("、上○尺●工○六×五○六●工○尺"), QStringLiteral("、上○尺●工○六×五○六●工○尺")});
}

// The writer's score read back: every note's pitch, onset, duration, lyric,
// breath and fermata, each ornament as a grace note where the note it
// belongs to is sung, and the writer's bars as the measures.
void TestMusicXmlReader::writerRoundTrip() {
    QFETCH(Melody, melody);
    QVERIFY(!melody.notes.isEmpty());
    const QByteArray xml = MusicXmlWriter::encode(melody, {QStringLiteral("牡丹亭"), false});
    const SourceReading reading = MusicXmlReader::read(xml);
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(reading.score.title, QStringLiteral("牡丹亭"));
    QCOMPARE(describe(reading.score.problems), QStringList());
    checkInvariants(reading.score);

    QVector<Note> order = melody.notes;
    std::stable_sort(order.begin(), order.end(),
                     [](const Note &a, const Note &b) { return a.onset < b.onset; });
    QStringList expected;
    for (const Note &note : order) {
        SourceNote s;
        for (int midi : note.gracesBefore) {
            s.onset = note.onset;
            s.midi = midi;
            s.grace = true;
            expected.append(describe(s, false));
        }
        s = SourceNote();
        s.onset = note.onset;
        s.duration = note.duration;
        s.midi = note.midi;
        s.lyric = note.lyric;
        s.breathAfter = note.breathAfter;
        s.fermata = note.fermata;
        expected.append(describe(s, false));
        for (int midi : note.gracesAfter) {
            s = SourceNote();
            s.onset = note.onset + note.duration;
            s.midi = midi;
            s.grace = true;
            expected.append(describe(s, false));
        }
    }
    QStringList sounding;
    for (const SourceNote &note : reading.score.notes) {
        if (!note.isRest()) {
            sounding.append(describe(note, false));
        }
    }
    QCOMPARE(sounding, expected);

    const XScore written = parseMusicXml(xml);
    QCOMPARE(reading.score.measures.size(), written.measures.size());
    const int divisions = written.measures.first().divisions;
    qint64 start = 0;
    for (int i = 0; i < written.measures.size(); ++i) {
        const SourceMeasure &m = reading.score.measures.at(i);
        QCOMPARE(m.number, written.measures.at(i).number);
        QCOMPARE(m.start, start);
        QCOMPARE(m.length, qint64(written.measures.at(i).length()) * ticksPerBeat / divisions);
        start += m.length;
    }
}

void TestMusicXmlReader::mxl_data() {
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<QString>("root");  // the path read; empty when refused
    QTest::addColumn<QString>("error"); // what the refusal says (a part of it)

    const QByteArray xml = smallScore();
    const QByteArray meta = "META-INF/container.xml";
    QTest::newRow("the container names the score")
        << Entries{{QStringLiteral("other.xml"), "<x/>"},
                   {QString::fromLatin1(meta), container(QStringLiteral("score/游园.musicxml"))},
                   {QStringLiteral("score/游园.musicxml"), xml}}
        << QStringLiteral("score/游园.musicxml") << QString();
    QTest::newRow("no container: the first score outside META-INF")
        << Entries{{QStringLiteral("META-INF/x.xml"), "<x/>"},
                   {QStringLiteral("readme.txt"), "hello"},
                   {QStringLiteral("dir/"), ""},
                   {QStringLiteral("b.XML"), xml},
                   {QStringLiteral("c.musicxml"), "<x/>"}}
        << QStringLiteral("b.XML") << QString();
    QTest::newRow("no score") << Entries{{QStringLiteral("readme.txt"), "hello"}} << QString()
                              << QStringLiteral("压缩乐谱中没有 MusicXML 文件");
    QTest::newRow("container without a root")
        << Entries{{QString::fromLatin1(meta), "<container><rootfiles/></container>"},
                   {QStringLiteral("a.xml"), xml}}
        << QString() << QStringLiteral("没有指明乐谱文件");
    QTest::newRow("damaged container")
        << Entries{{QString::fromLatin1(meta), "<container><rootfiles>"},
                   {QStringLiteral("a.xml"), xml}}
        << QString() << QStringLiteral("container.xml）有误");
    const QStringList escaping = {QStringLiteral("../x.xml"), QStringLiteral("a/../../x.xml"),
                                  QStringLiteral("/etc/x.xml"), QStringLiteral("a\\x.xml"),
                                  QStringLiteral("C:x.xml")};
    for (const QString &path : escaping) {
        QTest::newRow(qPrintable(QStringLiteral("root path ") + path))
            << Entries{{QString::fromLatin1(meta), container(path)}, {path, xml}} << QString()
            << QStringLiteral("指向压缩包之外");
    }
    QTest::newRow("an escaping entry without container")
        << Entries{{QStringLiteral("../x.xml"), xml}} << QString()
        << QStringLiteral("指向压缩包之外");
    QTest::newRow("root names no entry")
        << Entries{{QString::fromLatin1(meta), container(QStringLiteral("missing.xml"))},
                   {QStringLiteral("a.xml"), xml}}
        << QString() << QStringLiteral("压缩乐谱中找不到“missing.xml”");
}

void TestMusicXmlReader::mxl() {
    QFETCH(Entries, entries);
    QFETCH(QString, root);
    QFETCH(QString, error);
    const QByteArray zip = zipOf(entries);
    QVERIFY(MxlArchive::looksLikeZip(zip));
    const MxlArchive::Extraction archive = MxlArchive::extract(zip);
    if (root.isEmpty()) {
        QVERIFY(!archive.ok());
        QVERIFY2(archive.error.contains(error), qPrintable(archive.error));
        QVERIFY(archive.score.isEmpty());
        return;
    }
    QVERIFY2(archive.ok(), qPrintable(archive.error));
    QCOMPARE(archive.rootPath, root);
    QCOMPARE(archive.score, smallScore());

    // Read as a file, whatever its name says.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("游园.musicxml"));
    QVERIFY(writeFile(path, zip));
    const SourceReading reading = MusicXmlReader::readFile(path);
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(describe(reading.score.notes), QStringList({"0+1920 74 m0 =春"}));
}

void TestMusicXmlReader::mxlZipBombs_data() {
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<QString>("error");

    const QByteArray good = zipOf({{QStringLiteral("a.xml"), smallScore()}});
    // Past the limit: 70 MiB of zeros deflate to about 70 KiB.
    const QByteArray zeros70(70 * 1024 * 1024, '\0');
    const QByteArray big = zipOf({{QStringLiteral("a.xml"), zeros70}});
    QVERIFY(big.size() < 200 * 1024);
    const QByteArray zeros30(30 * 1024 * 1024, '\0');
    const QByteArray dense = zipOf({{QStringLiteral("a.xml"), zeros30}});

    QTest::newRow("larger than the limit") << big << QStringLiteral("太大（超过64 MB）");
    QTest::newRow("larger than stated")
        << withStatedSize(big, 1000) << QStringLiteral("压缩比异常");
    QTest::newRow("absurd ratio under the limit") << dense << QStringLiteral("压缩比异常");
    QTest::newRow("truncated") << good.left(good.size() - 30) << QStringLiteral("已损坏");
    QByteArray corrupt = good;
    const int header = corrupt.indexOf("PK\x03\x04");
    const auto u16 = [&corrupt](int at) {
        return int(uchar(corrupt.at(at))) | int(uchar(corrupt.at(at + 1))) << 8;
    };
    const int data = header + 30 + u16(header + 26) + u16(header + 28) + 4; // in a.xml's data
    for (int i = data; i < data + 8; ++i) {
        corrupt[i] = char(corrupt.at(i) ^ 0x5a);
    }
    QTest::newRow("corrupt data") << corrupt << QStringLiteral("已损坏");
    QTest::newRow("only a signature") << QByteArray("PK\x03\x04", 4) << QStringLiteral("已损坏");
}

void TestMusicXmlReader::mxlZipBombs() {
    QFETCH(QByteArray, zip);
    QFETCH(QString, error);
    const MxlArchive::Extraction archive = MxlArchive::extract(zip);
    QVERIFY(!archive.ok());
    QVERIFY2(archive.error.contains(error), qPrintable(archive.error));
    QVERIFY(archive.score.isEmpty());
}

// A header that understates an entry that compresses like text: the entry is
// refused once it has inflated past the limit.
void TestMusicXmlReader::mxlLimitIsTheActualSize() {
    QRandomGenerator random(20240611);
    QByteArray text;
    while (text.size() < 2 * 1024 * 1024) {
        text += QByteArray::number(random.generate(), 16);
    }
    const QByteArray zip = withStatedSize(zipOf({{QStringLiteral("a.xml"), text}}), 1000);
    QVERIFY(zip.size() > 512 * 1024); // no bomb: about half the size
    const MxlArchive::Extraction archive = MxlArchive::extract(zip, 1024 * 1024);
    QCOMPARE(archive.error, QStringLiteral("压缩乐谱中的文件太大（超过1 MB）"));
    QVERIFY(archive.score.isEmpty());
}

void TestMusicXmlReader::mxlEncrypted() {
    const QByteArray zip = zipOf({{QStringLiteral("a.xml"), smallScore()}}, "secret");
    if (zip.isEmpty()) {
        QSKIP("this libzip cannot write encrypted entries");
    }
    const MxlArchive::Extraction archive = MxlArchive::extract(zip);
    QCOMPARE(archive.error, QStringLiteral("压缩乐谱已加密，无法读取"));
    QVERIFY(archive.score.isEmpty());
}

void TestMusicXmlReader::readFileChecksSize() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("大.musicxml"));
    QFile big(path);
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(MusicXmlReader::maxFileBytes + 1)); // sparse: nothing is written
    big.close();
    QCOMPARE(MusicXmlReader::readFile(path).error,
             QStringLiteral("“大.musicxml”太大（超过64 MB），无法导入"));
    QVERIFY(MusicXmlReader::readFile(dir.filePath(QStringLiteral("none.xml")))
                .error.startsWith(QStringLiteral("无法打开“none.xml”")));
}

void TestMusicXmlReader::tenThousandMeasures() {
    const SourceReading reading = MusicXmlReader::read(longScore(10000));
    QVERIFY2(reading.ok(), qPrintable(reading.error));
    QCOMPARE(reading.score.measures.size(), 10000);
    QCOMPARE(reading.score.notes.size(), 40000);
    QCOMPARE(reading.score.notes.last().onset, qint64(39999) * ticksPerBeat);
    QCOMPARE(reading.score.notes.last().measure, 9999);
    QCOMPARE(reading.score.notes.last().lyric, QStringLiteral("春"));
    QCOMPARE(reading.score.measures.last().number, QStringLiteral("10000"));
}

QTEST_GUILESS_MAIN(TestMusicXmlReader)
#include "tst_musicxmlreader.moc"

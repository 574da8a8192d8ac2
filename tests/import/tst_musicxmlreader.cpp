// The MusicXML reader: one small hand-written score for each thing it reads,
// compressed .mxl archives built with libzip (good and hostile), and inputs
// that must fail cleanly, all read as files. Whole documents through the
// writer and back are tst_gongchetranscriber's round trips.
#include "../music/musicfixture.h"
#include "import/musicxmlreader.h"
#include "import/mxlarchive.h"
#include "music/musicxmlwriter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <zip.h>

using namespace music;
using Entries = QVector<QPair<QString, QByteArray>>;

namespace {

QString N(qint64 v) {
    return QString::number(v);
}

QString el(const char *name, const QString &inside) {
    return QStringLiteral("<%1>%2</%1>").arg(QString::fromLatin1(name), inside);
}

QByteArray partwise(const QStringList &parts, const QString &header = {}) {
    QString list, body;
    for (int i = 1; i <= parts.size(); ++i) {
        list += "<score-part id=\"P" + N(i) + "\"><part-name>p</part-name></score-part>";
        body += "<part id=\"P" + N(i) + "\">" + parts.at(i - 1) + "</part>";
    }
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\">" +
            header + el("part-list", list) + body + "</score-partwise>\n")
        .toUtf8();
}

// Measures numbered from 1, the first with divisions and these attributes.
QString bars(const QStringList &bodies, int divisions = 1, const QString &attributes = {}) {
    QString out;
    for (int i = 0; i < bodies.size(); ++i) {
        out += "<measure number=\"" + N(i + 1) + "\">" +
               (i ? QString() : el("attributes", el("divisions", N(divisions)) + attributes)) +
               bodies.at(i) + "</measure>";
    }
    return out;
}

QByteArray doc(const QStringList &bodies, int divisions = 1, const QString &attributes = {}) {
    return partwise({bars(bodies, divisions, attributes)});
}

// A note of a pitch such as "C4", "F#5" or "Bb3"; extra goes inside it.
QString n(const char *name, int duration, const QString &extra = {}) {
    const QString s = QString::fromLatin1(name);
    const int alter = s.contains('#') ? 1 : s.contains('b') ? -1 : 0;
    return "<note><pitch><step>" + s.left(1) + "</step><alter>" + N(alter) + "</alter><octave>" +
           s.right(1) + "</octave></pitch>" + (duration ? el("duration", N(duration)) : QString()) +
           extra + "</note>";
}

// A grace note (it has no duration), with these attributes on <grace>.
QString grace(const char *name, const QString &attributes = {}) {
    return n(name, 0).replace(QStringLiteral("<note>"), "<note><grace" + attributes + "/>");
}

QString lyric(const char *text, const char *number = "1") {
    return QStringLiteral("<lyric%1><text>%2</text></lyric>")
        .arg(*number ? QStringLiteral(" number=\"%1\"").arg(number) : QString(), text);
}

QString time(int beats, int beatType) {
    return el("time", el("beats", N(beats)) + el("beat-type", N(beatType)));
}

QString words(const char *text) {
    return el("direction", el("direction-type", el("words", QString::fromUtf8(text))));
}

QString metronome(const char *unit, int perMinute, const QString &sound = {}) {
    return el("direction",
              el("direction-type",
                 el("metronome", el("beat-unit", unit) + el("per-minute", N(perMinute)))) +
                  sound);
}

QString barline(const char *location, const char *style) {
    return QStringLiteral("<barline location=\"%1\">").arg(location) + el("bar-style", style) +
           "</barline>";
}

// Notes as "onset+duration pitch [g] [,] [^] m<measure> [=lyric]" (a rest's
// pitch is r), then "! m<measure> @<time> problem"; "✗error" when refused.
QString describe(const SourceReading &r) {
    QStringList out;
    for (const SourceNote &x : r.score.notes) {
        out << N(x.onset) + '+' + N(x.duration) + ' ' +
                   (x.isRest() ? QStringLiteral("r") : N(x.midi)) + (x.grace ? " g" : "") +
                   (x.breathAfter ? " ," : "") + (x.fermata ? " ^" : "") + " m" + N(x.measure) +
                   (x.lyric.isEmpty() ? QString() : " =" + x.lyric);
    }
    for (const SourceProblem &p : r.score.problems) {
        out << "! m" + N(p.measure) + " @" + N(p.time) + ' ' + p.message;
    }
    return r.ok() ? out.join(QStringLiteral(", ")) : "✗" + r.error + out.join(QString());
}

// "number start+length beats/beatType fifths[m] [K] [T] [♩tempo] [«words»] [[rehearsal]] [‖]".
QString describeMeasures(const SourceReading &r) {
    QStringList out;
    for (const SourceMeasure &m : r.score.measures) {
        out << m.number + ' ' + N(m.start) + '+' + N(m.length) + ' ' + N(m.beats) + '/' +
                   N(m.beatType) + ' ' + N(m.fifths) + (m.minor ? "m" : "") +
                   (m.keyStated ? " K" : "") + (m.meterStated ? " T" : "") +
                   (m.tempo ? " ♩" + N(m.tempo) : QString()) +
                   (m.words.isEmpty() ? QString() : " «" + m.words + "»") +
                   (m.rehearsal.isEmpty() ? QString() : " [" + m.rehearsal + "]") +
                   (m.doubleBarBefore ? " ‖" : "");
    }
    return out.join(QStringLiteral(", "));
}

// bytes read as the file 游园.musicxml, whatever they are.
SourceReading readAsFile(const QByteArray &bytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("游园.musicxml"));
    return writeFile(path, bytes) ? MusicXmlReader::readFile(path) : SourceReading();
}

// Every reading: notes contiguous in time order (a grace at the onset of what
// follows it), graces and only graces take no time, measure indices in range.
void checkInvariants(const SourceScore &s) {
    qint64 t = 0;
    for (const SourceNote &x : s.notes) {
        QVERIFY(x.grace == (x.duration == 0) && x.duration >= 0);
        QVERIFY(x.measure >= 0 && x.measure < s.measures.size());
        QVERIFY(x.onset == t || (x.grace && x.onset >= t));
        t = x.onset + x.duration;
    }
}

// An archive of these entries, written by libzip; with a password, encrypted.
QByteArray zipOf(const Entries &entries, const char *password = nullptr) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.zip"));
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE, nullptr);
    for (const auto &[name, bytes] : entries) {
        const zip_int64_t i = zip_file_add(
            zip, name.toUtf8().constData(),
            zip_source_buffer(zip, bytes.constData(), bytes.size(), 0), ZIP_FL_ENC_UTF_8);
        if (password && zip_file_set_encryption(zip, i, ZIP_EM_AES_256, password) != 0) {
            zip_discard(zip);
            return QByteArray();
        }
    }
    return zip_close(zip) == 0 ? readAll(path) : QByteArray();
}

QByteArray container(const QString &root) {
    return ("<container><rootfiles><rootfile full-path=\"" + root + "\"/></rootfiles></container>")
        .toUtf8();
}

const QByteArray smallScore = doc({n("D5", 4, lyric("春"))});

// Every entry's stated sizes (local headers and central directory) set to size.
QByteArray withStatedSize(QByteArray zip, quint32 size) {
    const std::pair<const char *, int> fields[] = {{"PK\x03\x04", 22}, {"PK\x01\x02", 24}};
    for (const auto &[signature, offset] : fields) {
        for (int at = zip.indexOf(signature); at >= 0; at = zip.indexOf(signature, at + 4)) {
            for (int i = 0; i < 4; ++i) {
                zip[at + offset + i] = char((size >> (8 * i)) & 0xff);
            }
        }
    }
    return zip;
}

} // namespace

class TestMusicXmlReader : public QObject {
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void titleGracesAndNumbersFromTheWriter();
    void mxlLimitIsTheActualSize();
    void fileSizeAndMissingFile();
    void tenThousandMeasures();
};

// Each row: a file, its notes and problems (or "✗" and a part of the error),
// and, when given, its measures.
void TestMusicXmlReader::reads_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("measures");
    const auto row = [](const char *name, const QByteArray &bytes, const char *expected,
                        const char *measures = "") {
        QTest::newRow(name) << bytes << QString::fromUtf8(expected) << QString::fromUtf8(measures);
    };
    const QString v1 = QStringLiteral("<voice>1</voice>"), v2 = QStringLiteral("<voice>2</voice>");
    const QString chord = QStringLiteral("<chord/>"), C4 = n("C4", 1);
    const auto tie = [](const char *t) { return QStringLiteral("<tie type=\"%1\"/>").arg(t); };
    const auto backup = [](int d) { return el("backup", el("duration", N(d))); };
    const auto notation = [](const char *t) {
        return QStringLiteral("<notations>%1</notations>").arg(t);
    };
    const QString breath = notation("<articulations><breath-mark/></articulations>");
    const QString after = QStringLiteral(" steal-time-previous=\"10\"");

    row("pitches and a rest",
        doc({n("C4", 1) + "<note><rest/><duration>1</duration></note>" + n("F#5", 2), n("Bb3", 4)}),
        "0+480 60 m0, 480+480 r m0, 960+960 78 m0, 1920+1920 58 m1");
    row("divisions change between and within measures",
        doc({n("C4", 2) + n("D4", 1) + n("E4", 1),
             el("attributes", el("divisions", "8")) + n("F4", 8) +
                 el("attributes", el("divisions", "1")) + n("G4", 1)},
            2),
        "0+480 60 m0, 480+240 62 m0, 720+240 64 m0, 960+480 65 m1, 1440+480 67 m1");
    row("backup, forward and a second voice",
        doc({n("C4", 2, v1) + n("D4", 2, v1) + backup(4) + n("E3", 4, v2),
             n("F4", 1, v1) + el("forward", el("duration", "1")) + n("G4", 2, v1) + backup(4) +
                 n("A3", 4, v2)}),
        "0+960 60 m0, 960+960 62 m0, 1920+480 65 m1, 2400+480 r m1, 2880+960 67 m1, "
        "! m0 @0 只取第一层，其他层的音已略去, ! m1 @1920 只取第一层，其他层的音已略去");
    row("the first voice is the first note's", doc({n("C4", 4, v2) + backup(4) + n("E4", 4, v1)}),
        "0+1920 60 m0, ! m0 @0 只取第一层，其他层的音已略去");
    row("a chord keeps its highest pitch",
        doc({n("C4", 1) + n("E4", 1, chord) + n("G4", 1, chord) + n("D4", 1) + n("B3", 1, chord) +
             n("E4", 2)}),
        "0+480 67 m0, 480+480 62 m0, 960+960 64 m0, ! m0 @0 和弦只取最高音");
    row("ties merge across bars",
        doc({n("C4", 1, lyric("春")) + n("D4", 1, tie("start")),
             n("D4", 1, tie("stop") + tie("start")), n("D4", 1, tie("stop") + breath) + n("E4", 1)},
            1, time(2, 4)),
        "0+480 60 m0 =春, 480+1440 62 , m0, 1920+480 64 m2");
    row("ties stated only by tied notations",
        doc({n("C4", 2, notation("<tied type=\"start\"/>")) +
             n("C4", 2, notation("<tied type=\"stop\"/>"))}),
        "0+1920 60 m0");
    row("a tie to another pitch does not merge",
        doc({n("C4", 2, tie("start")) + n("D4", 2, tie("stop"))}), "0+960 60 m0, 960+960 62 m0");
    row("a grace before its note", doc({grace("D5", " slash=\"yes\"") + n("C5", 4, lyric("春"))}),
        "0+0 74 g m0, 0+1920 72 m0 =春");
    row("graces after a note go before the next",
        doc({n("C4", 4) + grace("E4", after) + grace("D4", after), n("G4", 4)}),
        "0+1920 60 m0, 1920+0 64 g m1, 1920+0 62 g m1, 1920+1920 67 m1");
    row("graces after the last note end the piece", doc({n("C4", 4) + grace("D4")}),
        "0+1920 60 m0, 1920+0 62 g m0");
    row("breath mark, caesura and fermata",
        doc({n("C4", 1, breath) +
             n("D4", 1, notation("<articulations><caesura/></articulations>")) +
             n("E4", 2, notation("<fermata type=\"upright\"/>"))}),
        "0+480 60 , m0, 480+480 62 , m0, 960+960 64 ^ m0");
    row("verse 1 over verse 2",
        doc({n("C4", 2, lyric("二", "2") + lyric("一")) + n("D4", 2, lyric("三", "2"))}),
        "0+960 60 m0 =一, 960+960 62 m0");
    row("the first verse found when none is 1",
        doc({n("C4", 2, lyric("三", "3") + lyric("二", "2")) + n("D4", 2, lyric("丙", "2"))}),
        "0+960 60 m0 =三, 960+960 62 m0");
    row("an unnumbered lyric is verse 1", doc({n("C4", 4, lyric("二", "2") + lyric("一", ""))}),
        "0+1920 60 m0 =一");
    row("elided syllables join, an extender adds none",
        doc({n("C4", 2, lyric("春</text><elision/><text>花")) +
             n("D4", 2, lyric("</text><extend/><text>"))}),
        "0+960 60 m0 =春花, 960+960 62 m0");
    row("whole-measure rests",
        doc({"<note><rest measure=\"yes\"/><duration>3</duration></note>",
             "<note><rest measure=\"yes\"/></note>", n("C4", 3)},
            1, time(3, 4)),
        "0+1440 r m0, 1440+1440 r m1, 2880+1440 60 m2");
    row("a cue note leaves a rest", doc({n("C4", 1) + n("D4", 1, "<cue/>") + n("E4", 2)}),
        "0+480 60 m0, 480+480 r m0, 960+960 64 m0");
    row("triplets divide evenly", doc({n("C4", 1) + n("D4", 1) + n("E4", 1) + n("C4", 9)}, 3),
        "0+160 60 m0, 160+160 62 m0, 320+160 64 m0, 480+1440 60 m0");
    row("an uneven tuplet rounds, reported once a measure",
        doc({(n("C4", 1) + n("D4", 1) + n("E4", 1)).repeated(2) + n("C4", 1), n("D4", 7)}, 7),
        "0+69 60 m0, 69+68 62 m0, 137+69 64 m0, 206+68 60 m0, 274+69 62 m0, 343+68 64 m0, "
        "411+69 60 m0, 480+480 62 m1, ! m0 @0 时值不能整除，已就近取整");
    row("an overlap cuts the note before", doc({n("C4", 4) + backup(2) + n("D4", 2)}),
        "0+960 60 m0, 960+960 62 m0, ! m0 @960 重叠的音已截短");
    row("of two notes at one onset the first stays",
        doc({n("C4", 2) + backup(2) + n("E4", 2) + n("D4", 2)}),
        "0+960 60 m0, 960+960 62 m0, ! m0 @0 同时开始的音只取第一个");
    row("a quarter tone goes to the nearest semitone",
        doc({n("C4", 4).replace(QStringLiteral("<alter>0"), QStringLiteral("<alter>0.5"))}),
        "0+1920 61 m0, ! m0 @0 微分音已归入最近的半音");
    row("an unpitched note sounds as a rest",
        doc({"<note><unpitched><display-step>E</display-step><display-octave>4</display-octave>"
             "</unpitched><duration>4</duration></note>"}),
        "0+1920 r m0");
    const QString other = bars({words("别处") + n("G5", 4), n("B5", 4)});
    row("only the first part", partwise({bars({n("C4", 4), n("D4", 4)}), other, other}),
        "0+1920 60 m0, 1920+1920 62 m1, ! m-1 @-1 只读第一声部（共3个声部）",
        "1 0+1920 0/0 0, 2 1920+1920 0/0 0");

    // Measures.
    row("key and time carried over",
        doc({n("C4", 4), n("C4", 4),
             el("attributes", "<key><fifths>-3</fifths><mode>minor</mode></key>" + time(3, 4)) +
                 n("C4", 3)},
            1, "<key><fifths>2</fifths><mode>major</mode></key>" + time(4, 4)),
        "", "1 0+1920 4/4 2 K T, 2 1920+1920 4/4 2, 3 3840+1440 3/4 -3m K T");
    row("senza misura", doc({n("C4", 5)}, 1, "<time><senza-misura/></time>"), "",
        "1 0+2400 0/0 0 T");
    row("composite meters",
        doc({n("C4", 5),
             el("attributes", time(3, 8) + time(2, 4)).replace("</time><time>", "") + n("C4", 3)},
            2, "<time><beats>3+2</beats><beat-type>8</beat-type></time>"),
        "", "1 0+1200 5/8 0 T, 2 1200+720 3/8 0 T");
    row("tempo from metronome or sound",
        doc({metronome("quarter", 72) + C4, metronome("half", 30) + C4,
             metronome("quarter", 40).replace("</beat-unit>", "</beat-unit><beat-unit-dot/>") + C4,
             metronome("eighth", 120) + C4, metronome("quarter", 80, "<sound tempo=\"66\"/>") + C4,
             "<sound tempo=\"90.4\"/>" + C4, C4}),
        "",
        "1 0+480 0/0 0 ♩72, 2 480+480 0/0 0 ♩60, 3 960+480 0/0 0 ♩60, 4 1440+480 0/0 0 ♩60, "
        "5 1920+480 0/0 0 ♩66, 6 2400+480 0/0 0 ♩90, 7 2880+480 0/0 0");
    row("words and rehearsal marks",
        doc({words("【皂罗袍】") +
             words(" 一板三眼 ")
                 .replace("</direction>", "<direction-type><rehearsal>A</rehearsal>"
                                          "</direction-type></direction>") +
             n("C4", 4)}),
        "", "1 0+1920 0/0 0 «【皂罗袍】 一板三眼» [A]");
    row("double bars",
        doc({C4 + barline("right", "light-heavy"), C4 + barline("right", "dashed"),
             barline("left", "light-light") + C4, C4 + barline("right", "regular"),
             C4 + barline("right", "heavy-heavy"), C4}),
        "",
        "1 0+480 0/0 0, 2 480+480 0/0 0 ‖, 3 960+480 0/0 0 ‖, 4 1440+480 0/0 0, "
        "5 1920+480 0/0 0, 6 2400+480 0/0 0 ‖");
    row("numbers as written; an empty measure takes no time",
        partwise({"<measure number=\"0\" implicit=\"yes\"><attributes><divisions>1</divisions>"
                  "</attributes>" +
                  C4 + "</measure><measure number=\"1\">" + n("C4", 4) +
                  "</measure><measure number=\"12a\"></measure><measure>" + n("C4", 4) +
                  "</measure>"}),
        "", "0 0+480 0/0 0, 1 480+1920 0/0 0, 12a 2400+0 0/0 0, 4 2400+1920 0/0 0");

    // Refusals.
    const QByteArray body = "<score-partwise><part-list><score-part id=\"P1\"><part-name>&foo;"
                            "</part-name></score-part></part-list><part id=\"P1\"><measure/>"
                            "</part></score-partwise>";
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE score-partwise [\n<!ENTITY l0 "
                        "\"hahahahahahahahahaha\">\n";
    for (int i = 1; i < 10; ++i) {
        laughs += QStringLiteral("<!ENTITY l%1 \"%2\">\n")
                      .arg(i)
                      .arg(QStringLiteral("&l%1;").arg(i - 1).repeated(10))
                      .toLatin1();
    }
    laughs += "]>\n<score-partwise><work><work-title>&l9;</work-title></work></score-partwise>";
    const auto many = [](const char *what, int count) {
        return "<score-partwise><part id=\"P1\"><measure>" + QByteArray(what).repeated(count + 1) +
               "</measure></part></score-partwise>";
    };
    row("empty", QByteArray(), "✗文件是空的");
    row("blank", " \n\t\n", "✗文件是空的");
    row("timewise", "<score-timewise><measure><part id=\"P1\"/></measure></score-timewise>",
        "✗score-timewise");
    row("other XML", "<html><body/></html>", "✗不是 MusicXML 乐谱");
    row("unclosed element",
        "<?xml version=\"1.0\"?>\n<score-partwise>\n<part id=\"P1\"><measure>\n</part>",
        "✗XML 格式有误（第4行第");
    row("not XML at all", QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 11), "✗XML 格式有误（第1行第");
    row("content after the root", "<score-partwise><part id=\"P1\"/></score-partwise>\n<x/>",
        "✗XML 格式有误（第2行第");
    row("undeclared entity, external DTD",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML "
        "4.0 Partwise//EN\" \"http://www.musicxml.org/dtds/partwise.dtd\">\n" +
            body,
        "✗XML 中有未声明的实体“&foo;”（第3行第");
    row("undeclared entity, no DTD", body, "✗XML 格式有误（第1行第");
    row("billion laughs", laughs, "✗XML 格式有误");
    row("no part", "<score-partwise><part-list/></score-partwise>", "✗乐谱中没有声部");
    row("too many notes",
        many("<note><rest/><duration>1</duration></note>", MusicXmlReader::maxNotes),
        "✗音符太多（超过500000个）");
    row("too many measures", many("</measure><measure>", MusicXmlReader::maxMeasures),
        "✗乐谱太长（超过100000小节）");

    // Compressed scores.
    const QString meta = QStringLiteral("META-INF/container.xml");
    const QString root = QStringLiteral("score/游园.musicxml");
    const char *read = "0+1920 74 m0 =春";
    row("mxl: the container names the score",
        zipOf({{"other.xml", "<x/>"}, {meta, container(root)}, {root, smallScore}}), read);
    row("mxl without container: the first score outside META-INF",
        zipOf({{"META-INF/x.xml", "<x/>"},
               {"readme.txt", "hello"},
               {"dir/", ""},
               {"b.XML", smallScore},
               {"c.musicxml", "<x/>"}}),
        read);
    row("mxl: no score", zipOf({{"readme.txt", "hello"}}), "✗压缩乐谱中没有 MusicXML 文件");
    row("mxl: container without a root",
        zipOf({{meta, "<container><rootfiles/></container>"}, {"a.xml", smallScore}}),
        "✗没有指明乐谱文件");
    row("mxl: damaged container", zipOf({{meta, "<container><rootfiles>"}, {"a.xml", smallScore}}),
        "✗container.xml）有误");
    for (const char *path : {"../x.xml", "a/../../x.xml", "/etc/x.xml", "a\\x.xml", "C:x.xml"}) {
        QTest::addRow("mxl: root path %s", path)
            << zipOf({{meta, container(path)}, {path, smallScore}}) << "✗指向压缩包之外"
            << "";
    }
    row("mxl: an escaping entry without container", zipOf({{"../x.xml", smallScore}}),
        "✗指向压缩包之外");
    row("mxl: root names no entry",
        zipOf({{meta, container("missing.xml")}, {"a.xml", smallScore}}),
        "✗压缩乐谱中找不到“missing.xml”");
    const QByteArray good = zipOf({{"a.xml", smallScore}});
    // 70 MiB of zeros deflate to about 70 KiB; 30 MiB is under the limit.
    const QByteArray big = zipOf({{"a.xml", QByteArray(70 << 20, '\0')}});
    QVERIFY(big.size() < 200 * 1024);
    QByteArray corrupt = good;
    const int header = corrupt.indexOf("PK\x03\x04");
    const auto u16 = [&](int at) {
        return int(uchar(corrupt[at])) | int(uchar(corrupt[at + 1])) << 8;
    };
    const int data = header + 30 + u16(header + 26) + u16(header + 28) + 4; // in a.xml's data
    for (int i = data; i < data + 8; ++i) {
        corrupt[i] = char(corrupt.at(i) ^ 0x5a);
    }
    row("mxl larger than the limit", big, "✗太大（超过64 MB）");
    row("mxl larger than stated", withStatedSize(big, 1000), "✗压缩比异常");
    row("mxl of absurd ratio under the limit", zipOf({{"a.xml", QByteArray(30 << 20, '\0')}}),
        "✗压缩比异常");
    row("mxl truncated", good.left(good.size() - 30), "✗已损坏");
    row("mxl with corrupt data", corrupt, "✗已损坏");
    row("mxl of only a signature", QByteArray("PK\x03\x04", 4), "✗已损坏");
    const QByteArray encrypted = zipOf({{"a.xml", smallScore}}, "secret");
    if (!encrypted.isEmpty()) { // this libzip can write encrypted entries
        row("mxl encrypted", encrypted, "✗压缩乐谱已加密，无法读取");
    }
}

void TestMusicXmlReader::reads() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QFETCH(QString, measures);
    const SourceReading r = readAsFile(bytes);
    if (expected.startsWith(QStringLiteral("✗"))) {
        QVERIFY2(!r.ok() && r.error.contains(expected.mid(1)), qPrintable(r.error));
        QVERIFY(r.score.notes.isEmpty() && r.score.measures.isEmpty());
        return;
    }
    if (!expected.isEmpty()) {
        QCOMPARE(describe(r), expected);
    }
    if (!measures.isEmpty()) {
        QCOMPARE(describeMeasures(r), measures);
    }
    checkInvariants(r.score);
}

// What the transcriber's round trips do not look at: the title (and which
// header states it), graces before and after a note, the pickup's number.
void TestMusicXmlReader::titleGracesAndNumbersFromTheWriter() {
    const SourceReading r = MusicXmlReader::read(
        MusicXmlWriter::encode(musicfixture::pickupMelody(), {QStringLiteral("牡丹亭"), false}));
    QCOMPARE(r.score.title, QStringLiteral("牡丹亭"));
    QCOMPARE(describe(r),
             QStringLiteral("0+480 74 m0 =原, 480+720 76 m1 =来, 1200+240 78 m1, "
                            "1440+1440 81 m1 =姹, 2880+0 81 g m2, 2880+480 79 , m2 =紫, "
                            "3360+960 78 ^ m2 =嫣, 4320+0 79 g m2, 4320+0 78 g m2"));
    QCOMPARE(describeMeasures(r), QStringLiteral("0 0+480 4/4 2 K T ♩60 «【皂罗袍】一板三眼», "
                                                 "1 480+1920 4/4 2, 2 2400+1920 4/4 2"));
    const QString credit = QStringLiteral("<credit><credit-type>title</credit-type>"
                                          "<credit-words>游园</credit-words></credit>");
    const QString movement = QStringLiteral("<movement-title>皂罗袍</movement-title>");
    const QString work = QStringLiteral("<work><work-title> 牡丹亭 </work-title></work>");
    const QStringList headers = {work + movement + credit, movement + credit, credit, QString()};
    const QStringList titles = {QStringLiteral("牡丹亭"), QStringLiteral("皂罗袍"),
                                QStringLiteral("游园"), QString()};
    for (int i = 0; i < headers.size(); ++i) {
        QCOMPARE(MusicXmlReader::read(partwise({bars({n("C4", 4)})}, headers.at(i))).score.title,
                 titles.at(i));
    }
}

// A header that understates an entry that compresses like text: the entry is
// refused once it has inflated past the limit.
void TestMusicXmlReader::mxlLimitIsTheActualSize() {
    QRandomGenerator random(20240611);
    QByteArray text;
    while (text.size() < 2 * 1024 * 1024) {
        text += QByteArray::number(random.generate(), 16);
    }
    const QByteArray zip = withStatedSize(zipOf({{"a.xml", text}}), 1000);
    QVERIFY(zip.size() > 512 * 1024); // no bomb: about half the size
    const MxlArchive::Extraction archive = MxlArchive::extract(zip, 1024 * 1024);
    QCOMPARE(archive.error, QStringLiteral("压缩乐谱中的文件太大（超过1 MB）"));
    QVERIFY(archive.score.isEmpty());
}

void TestMusicXmlReader::fileSizeAndMissingFile() {
    QTemporaryDir dir;
    QFile big(dir.filePath(QStringLiteral("大.musicxml")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(MusicXmlReader::maxFileBytes + 1)); // sparse: nothing is written
    big.close();
    QCOMPARE(MusicXmlReader::readFile(big.fileName()).error,
             QStringLiteral("“大.musicxml”太大（超过64 MB），无法导入"));
    QVERIFY(MusicXmlReader::readFile(dir.filePath(QStringLiteral("none.xml")))
                .error.startsWith(QStringLiteral("无法打开“none.xml”")));
}

void TestMusicXmlReader::tenThousandMeasures() {
    const QString measure = n("C5", 1, lyric("春")).repeated(4);
    const SourceReading r =
        MusicXmlReader::read(doc(QVector<QString>(10000, measure).toList(), 1, time(4, 4)));
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.score.measures.size(), 10000);
    QCOMPARE(r.score.notes.size(), 40000);
    const SourceNote &last = r.score.notes.last();
    QCOMPARE(QStringLiteral("%1 m%2 %3").arg(last.onset).arg(last.measure).arg(last.lyric),
             QStringLiteral("19199520 m9999 春"));
    QCOMPARE(r.score.measures.last().number, QStringLiteral("10000"));
}

QTEST_GUILESS_MAIN(TestMusicXmlReader)
#include "tst_musicxmlreader.moc"

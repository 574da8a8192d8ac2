// The MusicXML reader: a small score for each thing it reads, .mxl archives built with libzip,
// inputs that must fail cleanly. Whole documents are tst_gongchetranscriber's round trips.
#include "../music/musicfixture.h"
#include "import/musicxmlreader.h"
#include "import/mxlarchive.h"
#include "music/musicxmlwriter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <zip.h>

using namespace music;

namespace {

QString N(qint64 v) {
    return QString::number(v);
}

// text with each match of pattern replaced by what make makes of it.
template <typename Make>
QString each(const QString &text, const QRegularExpression &pattern, Make make) {
    QString out;
    int at = 0;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(at, m.capturedStart() - at) + make(m);
        at = m.capturedEnd();
    }
    return out + text.mid(at);
}

// Text with notes written "pitch:duration{element}…" ("C4:1", "F#5:2{chord}",
// "r:1" a rest, "R:3" a whole-measure rest, "D4:0" one without duration), "{a/b c=\"d\":text}" for
// <a><b c="d">text</b></a> ("{a/b}" for <a><b/></a>), everything else as it stands.
QString xml(const QString &text) {
    static const QRegularExpression note(R"(\b([A-G][#b]?\d|r|R):(\d+)((?:\{[^}]*\})*))");
    static const QRegularExpression brace(R"(\{([^{}:]*)(:[^{}]*)?\})");
    QString out = each(text, note, [](const QRegularExpressionMatch &m) {
        const QString p = m.captured(1), alter = N(p.contains('#') - p.contains('b'));
        return "<note>" +
               (p == "r"   ? "<rest/>"
                : p == "R" ? "<rest measure='yes'/>"
                           : "<pitch><step>" + p.left(1) + "</step><alter>" + alter +
                                 "</alter><octave>" + p.right(1) + "</octave></pitch>") +
               (m.captured(2) == "0" ? "" : "<duration>" + m.captured(2) + "</duration>") +
               m.captured(3) + "</note>";
    });
    for (QString last; last != out;) {
        last = out;
        out = each(last, brace, [](const QRegularExpressionMatch &m) {
            const QStringList path = m.captured(1).split('/');
            QString inside = m.captured(2).mid(1);
            for (int i = path.size() - 1; i >= 0; --i) {
                inside = i + 1 == path.size() && m.captured(2).isEmpty()
                             ? "<" + path.at(i) + "/>"
                             : "<" + path.at(i) + ">" + inside + "</" +
                                   path.at(i).section(' ', 0, 0) + ">";
            }
            return inside;
        });
    }
    return out;
}

QByteArray partwise(const QStringList &parts, const QString &header = {}) {
    QString list, body;
    for (int i = 1; i <= parts.size(); ++i) {
        list += "<score-part id=\"P" + N(i) + "\"><part-name>p</part-name></score-part>";
        body += "<part id=\"P" + N(i) + "\">" + parts.at(i - 1) + "</part>";
    }
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\">" +
            xml(header) + "<part-list>" + list + "</part-list>" + body + "</score-partwise>\n")
        .toUtf8();
}

// Measures numbered from 1 split at "|", the first with divisions and these attributes.
QString bars(const QString &text, int divisions = 1, const QString &attributes = {}) {
    QStringList bodies =
        xml("{attributes:{divisions:" + N(divisions) + "}" + attributes + "}" + text).split('|');
    for (int i = 0; i < bodies.size(); ++i) {
        bodies[i] = "<measure number=\"" + N(i + 1) + "\">" + bodies.at(i) + "</measure>";
    }
    return bodies.join(QString());
}

QByteArray doc(const QString &text, int divisions = 1, const QString &attributes = {}) {
    return partwise({bars(text, divisions, attributes)});
}

// "《title》 notes problems # measures": a note "midi:duration" (r a rest; "midig" a grace), then
// "," breath, "^" fermata, "=lyric"; "|" between measures; a problem "!m<measure>@<time> text";
// a measure "number:length [beats/beatType] [fifths[m]] [K] [T] [♩tempo] [«words»] [[rehearsal]]
// [‖]". "✗error" when refused.
QString describe(const SourceReading &r, bool notes = true, bool measures = false) {
    QStringList out(r.score.title.isEmpty() ? QStringList()
                                            : QStringList("《" + r.score.title + "》"));
    for (int i = 0, measure = 0; notes && i < r.score.notes.size(); ++i) {
        const SourceNote &x = r.score.notes.at(i);
        for (; measure < x.measure; ++measure) {
            out << QStringLiteral("|");
        }
        out << (x.isRest() ? QStringLiteral("r") : N(x.midi)) +
                   (x.grace ? QStringLiteral("g") : ':' + N(x.duration)) +
                   (x.breathAfter ? "," : "") + (x.fermata ? "^" : "") +
                   (x.lyric.isEmpty() ? QString() : '=' + x.lyric);
    }
    for (int i = 0; notes && i < r.score.problems.size(); ++i) {
        const SourceProblem &p = r.score.problems.at(i);
        out << "!m" + N(p.measure) + '@' + N(p.time) + ' ' + p.message;
    }
    QStringList bars;
    for (const SourceMeasure &m : r.score.measures) {
        bars << m.number + ':' + N(m.length) +
                    (m.beats || m.beatType ? ' ' + N(m.beats) + '/' + N(m.beatType) : QString()) +
                    (m.fifths || m.minor ? ' ' + N(m.fifths) + (m.minor ? "m" : "") : QString()) +
                    (m.keyStated ? " K" : "") + (m.meterStated ? " T" : "") +
                    (m.tempo ? " ♩" + N(m.tempo) : QString()) +
                    (m.words.isEmpty() ? QString() : " «" + m.words + "»") +
                    (m.rehearsal.isEmpty() ? QString() : " [" + m.rehearsal + "]") +
                    (m.doubleBarBefore ? " ‖" : "");
    }
    if (measures) {
        out << "# " + bars.join(QStringLiteral(", "));
    }
    return r.ok() ? out.join(' ') : "✗" + r.error + out.join(QString());
}

// An archive of these entries, written by libzip; with a password, encrypted.
QByteArray zipOf(const QVector<QPair<QString, QByteArray>> &entries,
                 const char *password = nullptr) {
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

// Every entry's stated sizes (local headers and central directory) set to size.
QByteArray withStatedSize(QByteArray zip, quint32 size) {
    for (const auto &[signature, offset] : {std::pair("PK\x03\x04", 22), {"PK\x01\x02", 24}}) {
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
    void limits();
};

// Each row: bytes read as a file, and their description (notes only, "# measures"
// only, or both), or "✗" and a part of the error.
void TestMusicXmlReader::reads_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const QByteArray &bytes, const QString &expected) {
        QTest::newRow(name) << bytes << expected;
    };
    const QString voices = "只取第一层，其他层的音已略去";

    row("pitches and a rest", doc("C4:1 r:1 F#5:2 | Bb3:4"), "60:480 r:480 78:960 | 58:1920");
    row("divisions change",
        doc("C4:2 D4:1 E4:1 | {attributes/divisions:8} F4:8 {attributes/divisions:1} G4:1", 2),
        "60:480 62:240 64:240 | 65:480 67:480");
    row("backup, forward, a second voice",
        doc("C4:2{voice:1} D4:2{voice:1} {backup/duration:4} E3:4{voice:2} | F4:1{voice:1} "
            "{forward/duration:1} G4:2{voice:1} {backup/duration:4} A3:4{voice:2}"),
        "60:960 62:960 | 65:480 r:480 67:960 !m0@0 " + voices + " !m1@1920 " + voices);
    row("the first note's voice", doc("C4:2{voice:2} {backup/duration:2} E4:2{voice:1}"),
        "60:960 !m0@0 " + voices);
    row("a chord's highest pitch", doc("C4:1 E4:1{chord} G4:1{chord} D4:1 B3:1{chord} E4:2"),
        "67:480 62:480 64:960 !m0@0 和弦只取最高音");
    row("ties merge across bars",
        doc("C4:1{lyric/text:春} D4:1{tie type='start'} | D4:1{tie type='stop'}"
            "{tie type='start'} | D4:1{tie type='stop'}{notations/articulations/breath-mark} "
            "E4:1",
            1, "{time:{beats:2}{beat-type:4}}"),
        "60:480=春 62:1440, | | 64:480");
    row("tied notations", doc("C4:2{notations/tied type='start'} C4:2{notations/tied type='stop'}"),
        "60:1920");
    row("a tie to another pitch", doc("C4:2{tie type='start'} D4:2{tie type='stop'}"),
        "60:960 62:960");
    row("a grace before its note", doc("D5:0{grace slash='yes'} C5:4{lyric/text:春}"),
        "74g 72:1920=春");
    row("graces after a note",
        doc("C4:4 E4:0{grace steal-time-previous='10'} D4:0{grace steal-time-previous='10'} | "
            "G4:4"),
        "60:1920 | 64g 62g 67:1920");
    row("graces after the last note end the piece", doc("C4:4 D4:0{grace}"), "60:1920 62g");
    row("breath mark, caesura and fermata",
        doc("C4:1{notations/articulations/breath-mark} D4:1{notations/articulations/caesura} "
            "E4:2{notations/fermata type='upright'}"),
        "60:480, 62:480, 64:960^");
    row("verse 1 over 2",
        doc("C4:2{lyric number='2'/text:二}{lyric number='1'/text:一} "
            "D4:2{lyric number='2'/text:三}"),
        "60:960=一 62:960");
    row("no verse 1",
        doc("C4:2{lyric number='3'/text:三}{lyric number='2'/text:二} "
            "D4:2{lyric number='2'/text:丙}"),
        "60:960=三 62:960");
    row("an unnumbered lyric is verse 1", doc("C4:4{lyric number='2'/text:二}{lyric/text:一}"),
        "60:1920=一");
    row("elision and extender",
        doc("C4:2{lyric:<text>春</text><elision/><text>花</text>} "
            "D4:2{lyric:<text></text><extend/><text></text>}"),
        "60:960=春花 62:960");
    row("whole-measure rests", doc("R:3 | R:0 | C4:3", 1, "{time:{beats:3}{beat-type:4}}"),
        "r:1440 | r:1440 | 60:1440");
    row("a cue note leaves a rest", doc("C4:1 D4:1{cue} E4:2"), "60:480 r:480 64:960");
    row("triplets divide evenly", doc("C4:1 D4:1 E4:1 C4:9", 3), "60:160 62:160 64:160 60:1440");
    row("an uneven tuplet", doc("C4:1 D4:1 E4:1 C4:1 D4:1 E4:1 C4:1 | D4:7", 7),
        "60:69 62:68 64:69 60:68 62:69 64:68 60:69 | 62:480 !m0@0 时值不能整除，已就近取整");
    row("an overlap cuts the note before", doc("C4:4 {backup/duration:2} D4:2"),
        "60:960 62:960 !m0@960 重叠的音已截短");
    row("of two notes at one onset the first stays", doc("C4:2 {backup/duration:2} E4:2 D4:2"),
        "60:960 62:960 !m0@0 同时开始的音只取第一个");
    row("a quarter tone", doc("C4:4").replace("<alter>0<", "<alter>0.5<"),
        "61:1920 !m0@0 微分音已归入最近的半音");
    row("unpitched", doc("{note:{unpitched:{display-step:E}{display-octave:4}}{duration:4}}"),
        "r:1920");
    const QString other = bars("{direction/direction-type/words:别处} G5:4 | B5:4");
    row("only the first part", partwise({bars("C4:4 | D4:4"), other, other}),
        "60:1920 | 62:1920 !m-1@-1 只读第一声部（共3个声部） # 1:1920, 2:1920");
    const QString work = "{work/work-title: 牡丹亭 }", movement = "{movement-title:皂罗袍}",
                  credit = "{credit:{credit-type:title}{credit-words:游园}}";
    row("title: work", partwise({bars("C4:1")}, work + movement + credit), "《牡丹亭》 60:480");
    row("title: movement", partwise({bars("C4:1")}, movement + credit), "《皂罗袍》 60:480");
    row("title: credit", partwise({bars("C4:1")}, credit), "《游园》 60:480");
    // The title, graces before and after a note, the pickup's number: what the
    // transcriber's round trips do not look at.
    row("the writer's score",
        MusicXmlWriter::encode(musicfixture::pickupMelody(), {QStringLiteral("牡丹亭"), false}),
        "《牡丹亭》 74:480=原 | 76:720=来 78:240 81:1440=姹 | 81g 79:480,=紫 78:960^=嫣 79g 78g "
        "# 0:480 4/4 2 K T ♩60 «【皂罗袍】一板三眼», 1:1920 4/4 2, 2:1920 4/4 2");
    QString measures = " # 1:1920 4/4 T";
    for (int i = 2; i <= 10000; ++i) {
        measures += ", " + N(i) + ":1920 4/4";
    }
    row("ten thousand measures",
        doc((xml("C5:1{lyric/text:春} ").repeated(4) + '|').repeated(10000).chopped(1), 1,
            "{time:{beats:4}{beat-type:4}}"),
        (QStringLiteral("72:480=春 ").repeated(4) + "| ").repeated(10000).chopped(3) + measures);

    // Measures.
    row("key and time carried over",
        doc("C4:4 | C4:4 | {attributes:{key:{fifths:-3}{mode:minor}}{time:{beats:3}{beat-type:4}}} "
            "C4:3",
            1, "{key:{fifths:2}{mode:major}}{time:{beats:4}{beat-type:4}}"),
        "# 1:1920 4/4 2 K T, 2:1920 4/4 2, 3:1440 3/4 -3m K T");
    row("senza misura", doc("C4:5", 1, "<time><senza-misura/></time>"), "# 1:2400 T");
    row("composite meters",
        doc("C4:5 | {attributes/time:<beats>3</beats><beat-type>8</beat-type><beats>2</beats>"
            "<beat-type>4</beat-type>} C4:3",
            2, "<time><beats>3+2</beats><beat-type>8</beat-type></time>"),
        "# 1:1200 5/8 T, 2:720 3/8 T");
    row("tempo from metronome or sound",
        doc("{direction/direction-type/metronome:{beat-unit:quarter}{per-minute:72}} C4:1 | "
            "{direction/direction-type/metronome:{beat-unit:half}{per-minute:30}} C4:1 | "
            "{direction/direction-type/metronome:{beat-unit:quarter}{beat-unit-dot}{per-minute:40}}"
            " C4:1 | {direction/direction-type/metronome:{beat-unit:eighth}{per-minute:120}} C4:1 |"
            " {direction:{direction-type/metronome:{beat-unit:quarter}{per-minute:80}}"
            "{sound tempo='66'}} C4:1 | {sound tempo='90.4'} C4:1 | C4:1"),
        "# 1:480 ♩72, 2:480 ♩60, 3:480 ♩60, 4:480 ♩60, 5:480 ♩66, 6:480 ♩90, 7:480");
    row("words and rehearsal marks",
        doc("{direction/direction-type/words:【皂罗袍】}"
            "{direction:{direction-type/words: 一板三眼 }{direction-type/rehearsal:A}} C4:4"),
        "# 1:1920 «【皂罗袍】 一板三眼» [A]");
    row("double bars",
        doc("C4:1 {barline location='right'/bar-style:light-heavy} | C4:1 "
            "{barline location='right'/bar-style:dashed} | {barline location='left'/bar-style:"
            "light-light} C4:1 | C4:1 {barline location='right'/bar-style:regular} | C4:1 "
            "{barline location='right'/bar-style:heavy-heavy} | C4:1"),
        "# 1:480, 2:480 ‖, 3:480 ‖, 4:480, 5:480, 6:480 ‖");
    row("numbers as written, an empty measure",
        partwise({xml("<measure number='0' implicit='yes'>{attributes/divisions:1}C4:1"
                      "</measure><measure number='1'>C4:4</measure><measure number='12a'>"
                      "</measure><measure>C4:4</measure>")}),
        "# 0:480, 1:1920, 12a:0, 4:1920");

    // Refusals.
    const QByteArray body =
        "<score-partwise><movement-title>&foo;</movement-title></score-partwise>";
    QByteArray laughs = "<!DOCTYPE score-partwise [<!ENTITY l0 \"hahahahahahahahahaha\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                  ("&l" + QByteArray::number(i - 1) + ';').repeated(10) + "\">\n";
    }
    laughs += "]><score-partwise><work><work-title>&l9;</work-title></work></score-partwise>";
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
        partwise({"<measure>" + xml("r:1").repeated(MusicXmlReader::maxNotes + 1) + "</measure>"}),
        "✗音符太多（超过500000个）");
    row("too many measures", doc(QString('|').repeated(MusicXmlReader::maxMeasures)),
        "✗乐谱太长（超过100000小节）");

    // Compressed scores.
    const QString meta = "META-INF/container.xml", root = "score/游园.musicxml";
    const QByteArray score = doc("D5:4{lyric/text:春}");
    const auto container = [](const QString &root) {
        return QStringLiteral(
                   "<container><rootfiles><rootfile full-path=\"%1\"/></rootfiles></container>")
            .arg(root)
            .toUtf8();
    };
    row("mxl: the container names the score",
        zipOf({{"other.xml", "<x/>"}, {meta, container(root)}, {root, score}}), "74:1920=春");
    row("mxl without container: the first score outside META-INF",
        zipOf({{"META-INF/x.xml", "<x/>"},
               {"readme.txt", "hello"},
               {"dir/", ""},
               {"b.XML", score},
               {"c.musicxml", "<x/>"}}),
        "74:1920=春");
    row("mxl: no score", zipOf({{"readme.txt", "hello"}}), "✗压缩乐谱中没有 MusicXML 文件");
    row("mxl: container without a root",
        zipOf({{meta, "<container><rootfiles/></container>"}, {"a.xml", score}}),
        "✗没有指明乐谱文件");
    row("mxl: damaged container", zipOf({{meta, "<container><rootfiles>"}, {"a.xml", score}}),
        "✗container.xml）有误");
    for (const char *path : {"../x.xml", "a/../../x.xml", "/etc/x.xml", "a\\x.xml", "C:x.xml"}) {
        QTest::addRow("mxl: root path %s", path)
            << zipOf({{meta, container(path)}, {path, score}}) << "✗指向压缩包之外";
    }
    row("mxl: an escaping entry without container", zipOf({{"../x.xml", score}}),
        "✗指向压缩包之外");
    row("mxl: root names no entry", zipOf({{meta, container("missing.xml")}, {"a.xml", score}}),
        "✗压缩乐谱中找不到“missing.xml”");
    // 70 MiB of zeros deflate to about 70 KiB; 30 MiB is under the limit.
    const QByteArray good = zipOf({{"a.xml", score}}),
                     big = zipOf({{"a.xml", QByteArray(70 << 20, '\0')}});
    QVERIFY(big.size() < 200 * 1024);
    QByteArray corrupt = good; // the last bytes of a.xml's data, before the central directory
    for (int i = good.indexOf("PK\x01\x02") - 8; i < good.indexOf("PK\x01\x02"); ++i) {
        corrupt[i] = char(corrupt.at(i) ^ 0x5a);
    }
    row("mxl larger than the limit", big, "✗太大（超过64 MB）");
    row("mxl larger than stated", withStatedSize(big, 1000), "✗压缩比异常");
    row("mxl of absurd ratio under the limit", zipOf({{"a.xml", QByteArray(30 << 20, '\0')}}),
        "✗压缩比异常");
    row("mxl truncated", good.left(good.size() - 30), "✗已损坏");
    row("mxl with corrupt data", corrupt, "✗已损坏");
    row("mxl of only a signature", QByteArray("PK\x03\x04", 4), "✗已损坏");
    const QByteArray encrypted = zipOf({{"a.xml", score}}, "secret");
    if (!encrypted.isEmpty()) { // this libzip can write encrypted entries
        row("mxl encrypted", encrypted, "✗压缩乐谱已加密，无法读取");
    }
}

void TestMusicXmlReader::reads() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("游园.musicxml"));
    QVERIFY(writeFile(path, bytes));
    const SourceReading r = MusicXmlReader::readFile(path);
    if (expected.startsWith(QStringLiteral("✗"))) {
        QVERIFY2(!r.ok() && r.error.contains(expected.mid(1)), qPrintable(r.error));
        QVERIFY(r.score.notes.isEmpty() && r.score.measures.isEmpty());
        return;
    }
    QCOMPARE(describe(r, !expected.startsWith('#'), expected.contains('#')), expected);
    // Notes and measures contiguous from 0; graces and only graces take no time.
    const SourceScore &s = r.score;
    for (int i = 0; i < s.measures.size(); ++i) {
        QCOMPARE(s.measures.at(i).start,
                 i ? s.measures.at(i - 1).start + s.measures.at(i - 1).length : 0);
    }
    qint64 t = 0;
    for (const SourceNote &x : s.notes) {
        QVERIFY(x.grace == (x.duration == 0) && x.duration >= 0 && x.onset == t);
        QVERIFY(x.measure >= 0 && x.measure < s.measures.size());
        t = x.onset + x.duration;
    }
}

// An archive's header that understates an entry that compresses like text: the
// entry is refused once it has inflated past the limit. A file over the limit.
void TestMusicXmlReader::limits() {
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
    QTemporaryDir dir;
    QFile big(dir.filePath(QStringLiteral("大.musicxml")));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(MusicXmlReader::maxFileBytes + 1));
    big.close(); // sparse: nothing is written
    QCOMPARE(MusicXmlReader::readFile(big.fileName()).error,
             QStringLiteral("“大.musicxml”太大（超过64 MB），无法导入"));
    QVERIFY(MusicXmlReader::readFile(dir.filePath(QStringLiteral("none.xml")))
                .error.startsWith(QStringLiteral("无法打开“none.xml”")));
}

QTEST_GUILESS_MAIN(TestMusicXmlReader)
#include "tst_musicxmlreader.moc"

#include "../music/musicfixture.h"
#include "model/scorefile.h"
#include "staff/lilypondwriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace music;
using musicfixture::note;
using musicfixture::section;

namespace {

// Marks after the pitch they fall on (see musicfixture.h): a pickup, a dotted
// beat, short and small notes, a 气口, a tie over the bar line, an ornament,
// a spoken line, a doubled (加赠) measure and a 散板 tune ending on a 底板.
const QString mixedLyric = QStringLiteral("# 春景\n; 板式=一板三眼\n【第一】\n春花秋月，\n> "
                                          "好景致！\n风\n【第二】\n; 板式=加赠一板三眼\n雨"
                                          "\n【第三】\n; 板式=散板\n云水");
const QStringList mixedScore = {QStringLiteral("上尺、"),
                                QStringLiteral("工○六●五"),
                                QStringLiteral("尺○上L工sk尺s六h五w"),
                                QStringLiteral("上、尺工Y六●五○"),
                                QStringLiteral("工、H"),
                                QStringLiteral("工、六○五●六○五×六○五●工○尺"),
                                QStringLiteral("上尺工D"),
                                QStringLiteral("六五")};

// A tune opening freely (散起) before a pickup, ornaments before and after.
Melody freeOpening() {
    Melody m;
    Section s =
        section(Meter::YiBanSanYan, Key::XiaoGong, 60, 0, 2400, 4320, QStringLiteral("步步娇"));
    s.measuredStart = 1920;
    m.sections.append(s);
    m.notes.append(note(74, 0, 720, 0, QStringLiteral("袅")));
    m.notes.append(note(76, 720, 480, 1, QStringLiteral("晴")));
    m.notes.append(note(78, 1200, 720, 1));
    m.notes[2].fermata = true;
    m.notes[2].breathAfter = true;
    m.notes.append(note(81, 1920, 480, 2, QStringLiteral("丝")));
    m.notes[3].gracesBefore = {83, 81};
    m.notes.append(note(79, 2400, 1920, 3, QStringLiteral("吹")));
    m.notes[4].gracesAfter = {81};
    m.notes[4].small = false;
    m.sections[0].noteCount = m.notes.size();
    return m;
}

struct Row {
    QString name;
    DocumentLines lines;
    Melody melody;
    bool splitZeng = false;
    QStringList features; // text the .ly holds
};

QVector<Row> rows() {
    QVector<Row> out;
    const DocumentLines mixed = musicfixture::document(mixedLyric, mixedScore);
    const Melody mixedMelody = MelodyBuilder().build(mixed);
    out.append(
        {QStringLiteral("mixed"),
         mixed,
         mixedMelody,
         false,
         {QStringLiteral("\\partial 4"), QStringLiteral("\\time 8/4"),
          QStringLiteral("\\cadenzaOn"), QStringLiteral("\\fermata"), QStringLiteral("\\breathe"),
          QStringLiteral("~"), QStringLiteral("\\cue "),
          QStringLiteral("\\markup { \"白：好景致！\" }"), QStringLiteral("title = \"春景\""),
          QStringLiteral("\"、\""), QStringLiteral("\\key d \\major")}});
    out.append({QStringLiteral("zeng split"),
                mixed,
                mixedMelody,
                true,
                {QStringLiteral("\\bar \"!\""), QStringLiteral("\\time 4/4")}});
    Melody pickup = musicfixture::pickupMelody();
    pickup.notes[1].small = true;
    out.append({QStringLiteral("pickup and graces"),
                {},
                pickup,
                false,
                {QStringLiteral("\\partial 4"), QStringLiteral("\\acciaccatura "),
                 QStringLiteral("\\afterGrace "), QStringLiteral("\\fermata"),
                 QStringLiteral("\\breathe"), QStringLiteral("~")}});
    out.append({QStringLiteral("free opening"),
                {},
                freeOpening(),
                false,
                {QStringLiteral("\\cadenzaOn"), QStringLiteral("\\cadenzaOff \\time 4/4"),
                 QStringLiteral("\\partial 4"), QStringLiteral("\\grace {")}});
    QString lyric, score;
    if (readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"), &lyric,
                      &score)
            .ok()) {
        const DocumentLines lines = renderModel(lyric, score);
        out.append(
            {QStringLiteral("sample aria"),
             lines,
             MelodyBuilder().build(lines),
             false,
             {QStringLiteral("皂罗袍"), QStringLiteral("\\time 8/4"), QStringLiteral("\\partial 1"),
              // Its 换行 and 分页 lines, each between two characters of a bar.
              QStringLiteral("\\bar \"\" \\break "), QStringLiteral("\\bar \"\" \\pageBreak ")}});
    }
    return out;
}

LilyPondWriter::Options optionsOf(const Row &row) {
    LilyPondWriter::Options o;
    o.style.jianpu.splitZeng = row.splitZeng;
    return o;
}

QString fileNameOf(int index) {
    return QStringLiteral("row%1").arg(index);
}

// What LilyPond made of every row's file, made once in one run.
struct Engraved {
    bool ran = false;
    QString dir;
    QHash<QString, QString> log; // per file base name: its part of the output
};

Engraved &engraved() {
    static Engraved e;
    return e;
}

// The notes LilyPond's MIDI files for `base` play, in order: pitch and onset
// (in the files' own ticks, 384 a beat) relative to the first, per file.
bool midiNotes(const QString &dir, const QString &base, QVector<QVector<QPair<int, qint64>>> *out,
               QString *error) {
    QDir d(dir);
    QStringList files = d.entryList(
        {base + QStringLiteral(".midi"), base + QStringLiteral("-*.midi")}, QDir::Files);
    std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (const QString &f : files) {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(QORVEL_SOURCE_DIR "/tests/music/mididump.py"), d.filePath(f)});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            *error = QStringLiteral("mididump failed on %1").arg(f);
            return false;
        }
        const QJsonObject midi = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QVector<QPair<int, qint64>> notes;
        QHash<int, qint64> on;
        for (const QJsonValue &track : midi.value(QStringLiteral("tracks")).toArray()) {
            for (const QJsonValue &v : track.toArray()) {
                const QJsonObject m = v.toObject();
                const QString type = m.value(QStringLiteral("type")).toString();
                const int pitch = m.value(QStringLiteral("note")).toInt();
                const qint64 at = m.value(QStringLiteral("at")).toInt();
                if (type == QLatin1String("note_on") &&
                    m.value(QStringLiteral("velocity")).toInt() > 0) {
                    on.insert(pitch, at);
                } else if (type == QLatin1String("note_off") || type == QLatin1String("note_on")) {
                    const qint64 start = on.take(pitch);
                    // Ornaments take their time from the note before them:
                    // they start off the grid of the written notes (a 24th
                    // of a beat, 16 ticks), which keep their onsets.
                    Q_UNUSED(at);
                    if (start % 16 == 0) {
                        notes.append({pitch, start});
                    }
                }
            }
        }
        std::sort(notes.begin(), notes.end(),
                  [](const auto &a, const auto &b) { return a.second < b.second; });
        out->append(notes);
    }
    return true;
}

// The textedit links of an SVG page: line, column and what is drawn ("path",
// or the text).
struct SvgLink {
    int line = 0;
    int column = 0;
    QString drawn;
};

QVector<SvgLink> svgLinks(const QString &dir, const QString &base) {
    QVector<SvgLink> out;
    static const QRegularExpression link(
        QStringLiteral("<a [^>]*xlink:href=\"textedit://[^\"]*:(\\d+):(\\d+):(\\d+)\">(.*?)</a>"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tspan(QStringLiteral("<tspan[^>]*>([^<]*)</tspan>"));
    QDir d(dir);
    for (const QString &f : d.entryList(
             {base + QStringLiteral(".svg"), base + QStringLiteral("-*.svg")}, QDir::Files)) {
        QFile file(d.filePath(f));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QString svg = QString::fromUtf8(file.readAll());
        for (auto it = link.globalMatch(svg); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QRegularExpressionMatch t = tspan.match(m.captured(4));
            out.append({m.captured(1).toInt(), m.captured(2).toInt(),
                        t.hasMatch() ? t.captured(1) : QStringLiteral("path")});
        }
    }
    return out;
}

} // namespace

class TestLilyPondWriter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void engraves_data();
    void engraves();
    void tunesSplitTheDocument();

private:
    QTemporaryDir m_dir;
};

// All rows' files in one LilyPond run: Guile's start-up is most of the time.
void TestLilyPondWriter::initTestCase() {
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/lilypond"))) {
        return;
    }
    QVERIFY(m_dir.isValid());
    // QORVEL_KEEP_LY=1 keeps the files for a look.
    m_dir.setAutoRemove(qEnvironmentVariableIsEmpty("QORVEL_KEEP_LY"));
    const QVector<Row> all = rows();
    QStringList files;
    for (int i = 0; i < all.size(); ++i) {
        const LilyPondSource source =
            LilyPondWriter::document(all.at(i).lines, all.at(i).melody, optionsOf(all.at(i)));
        const QString path = m_dir.filePath(fileNameOf(i) + QStringLiteral(".ly"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(source.text.toUtf8());
        files.append(path);
    }
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("/usr/bin/lilypond"),
            QStringList{QStringLiteral("-dbackend=svg"), QStringLiteral("-dpoint-and-click"),
                        QStringLiteral("--formats=svg")} +
                files);
    QVERIFY(p.waitForFinished(600000));
    const QString output = QString::fromUtf8(p.readAll());
    // The output of each file begins "Processing `FILE'".
    const QStringList parts = output.split(QStringLiteral("Processing `"));
    for (const QString &part : parts) {
        const QString name = QFileInfo(part.section(QLatin1Char('\''), 0, 0)).completeBaseName();
        engraved().log.insert(name, part);
    }
    engraved().dir = m_dir.path();
    engraved().ran = true;
}

void TestLilyPondWriter::engraves_data() {
    QTest::addColumn<int>("index");
    const QVector<Row> all = rows();
    for (int i = 0; i < all.size(); ++i) {
        QTest::newRow(qPrintable(all.at(i).name)) << i;
    }
}

void TestLilyPondWriter::engraves() {
    QFETCH(int, index);
    if (!engraved().ran) {
        QSKIP("LilyPond is not installed");
    }
    const Row row = rows().at(index);
    const LilyPondSource source = LilyPondWriter::document(row.lines, row.melody, optionsOf(row));
    const QString base = fileNameOf(index);
    const QString log = engraved().log.value(base);

    // It compiles cleanly.
    QVERIFY2(!log.isEmpty(), qPrintable(base));
    QVERIFY2(!log.contains(QStringLiteral("warning:")) && !log.contains(QStringLiteral("error:")),
             qPrintable(log));

    // The features, as written.
    for (const QString &feature : row.features) {
        QVERIFY2(source.text.contains(feature), qPrintable(feature));
    }

    // The MIDI plays the melody's pitches at its onsets.
    QVector<QVector<QPair<int, qint64>>> files;
    QString error;
    QVERIFY2(midiNotes(engraved().dir, base, &files, &error), qPrintable(error));
    QVector<Note> expected;
    for (const Note &n : row.melody.notes) {
        if (n.duration > 0) {
            expected.append(n);
        }
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const Note &a, const Note &b) { return a.onset < b.onset; });
    int next = 0;
    for (const auto &played : files) {
        for (int i = 0; i < played.size(); ++i) {
            QVERIFY2(next + i < expected.size(), "more notes played than written");
            const Note &n = expected.at(next + i);
            QVERIFY2(played.at(i).first == n.midi,
                     qPrintable(QStringLiteral("note %1: %2 played, %3 written")
                                    .arg(next + i)
                                    .arg(played.at(i).first)
                                    .arg(n.midi)));
            QCOMPARE(played.at(i).second - played.first().second,
                     (n.onset - expected.at(next).onset) * 384 / ticksPerBeat);
        }
        next += played.size();
    }
    QCOMPARE(next, expected.size());

    // Every lyric character drawn, in order; every linked note in the table.
    QVector<SvgLink> links = svgLinks(engraved().dir, base);
    QVERIFY(!links.isEmpty());
    std::sort(links.begin(), links.end(), [](const SvgLink &a, const SvgLink &b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    QString drawn, sung;
    const QStringList lines = source.text.split(QLatin1Char('\n'));
    for (const SvgLink &l : links) {
        auto inTable = [&](bool lyric) {
            for (const LilyPondLink &t : source.links) {
                if (t.line == l.line && t.column == l.column && (t.symbol < 0) == lyric) {
                    return true;
                }
            }
            return false;
        };
        if (l.drawn.size() == 1 && isSungChar(l.drawn.at(0)) && l.drawn != QStringLiteral(" ")) {
            drawn += l.drawn;
            QVERIFY2(inTable(true),
                     qPrintable(QStringLiteral("lyric %1:%2").arg(l.line).arg(l.column)));
        } else if (l.drawn == QLatin1String("path")) {
            const QString at = lines.value(l.line - 1).mid(l.column, 1);
            if (QStringLiteral("abcdefg").contains(at) && !at.isEmpty()) {
                QVERIFY2(inTable(false), qPrintable(QStringLiteral("note %1:%2 %3")
                                                        .arg(l.line)
                                                        .arg(l.column)
                                                        .arg(lines.value(l.line - 1))));
            }
        }
    }
    for (const Note &n : expected) {
        if (!n.lyric.trimmed().isEmpty()) {
            sung += n.lyric.trimmed();
        }
    }
    QCOMPARE(drawn, sung);
}

// One file per tune, together holding every note and character once.
void TestLilyPondWriter::tunesSplitTheDocument() {
    const Row row = rows().first();
    const QVector<LilyPondSource> tunes =
        LilyPondWriter::tunes(row.lines, row.melody, optionsOf(row));
    QCOMPARE(tunes.size(), 3);
    QCOMPARE(tunes.first().title, QStringLiteral("春景"));
    QVERIFY(tunes.first().text.contains(QStringLiteral("title = ")));
    QVERIFY(!tunes.at(1).text.contains(QStringLiteral("title = ")));
    int notes = 0;
    int character = 0;
    for (const LilyPondSource &t : tunes) {
        QVERIFY(t.text.startsWith(QStringLiteral("\\version \"2.24.0\"")));
        QCOMPARE(t.firstCharacter, character);
        character = t.endCharacter;
        QCOMPARE(t.headings.size(), 1);
        for (const LilyPondLink &l : t.links) {
            notes += l.symbol >= 0 ? 0 : 1;
        }
    }
    QCOMPARE(character, 8);
    QCOMPARE(notes, 8); // one syllable per sung character
    QVERIFY(tunes.first().text.contains(QStringLiteral("白：好景致！")));
}

QTEST_GUILESS_MAIN(TestLilyPondWriter)
#include "tst_lilypondwriter.moc"

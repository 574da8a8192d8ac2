// The export from the command line, run as the real program: a copy of the
// built executable in a directory of its own, so that the test decides what
// "settings.ini" beside it holds.
#include "editor/documenttab.h"
#include "export/exportconfig.h"
#include "exportfixture.h"
#include "fonts/fontregistry.h"
#include "fonts/fontsubstitutions.h"
#include "model/scorefile.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "testsupport.h"
#include "typeset/selfcontainedsvg.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QImageReader>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList errLines() const { return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void helpDescribesBothModes();
    void exportsPdf();
    void exportsImages_data();
    void exportsImages();
    void exportsSvg();
    void exportsMidiAndMusicXml();
    void usesTheSettingsFile();
    void schemeForThisRunOnly();
    void badScheme();
    void badFile();
    void notAScoreFile();
    void damagedFileWritesNothing_data();
    void damagedFileWritesNothing();
    void unwritableOutput();
    void usageErrors_data();
    void usageErrors();
    void lineBreaksTypesetAlikeEverywhere();
    void unknownNotationWritesNothing_data();
    void unknownNotationWritesNothing();
    void jianpuPdf();
    void notationOptionOverridesTheSettings();
    // Needs the 简谱 typesetter: the PDF of 简谱 pages holds their text.
    void jianpuPdfText();
    void zengOption_data();
    void zengOption();
    void shortOutputOption();
    void neverWritesOverAScore_data();
    void neverWritesOverAScore();
    void fileSizeLimitIsReported();
    void books_data();
    void books();

private:
    Result run(const QStringList &args, bool keepPlatform = false);
    QString program() const { return m_bin.filePath(QStringLiteral("qorvel")); }
    QString settingsFile() const { return m_bin.filePath(QStringLiteral("settings.ini")); }

    QTemporaryDir m_bin;  // the program and its settings
    QTemporaryDir m_work; // scores and outputs
    QString m_score;
};

void TestCommandLine::initTestCase() {
    const QString built = QStringLiteral(QORVEL_BINARY_DIR "/qorvel");
    QVERIFY2(QFileInfo::exists(built), "the qorvel executable is not built");
    QVERIFY(QFile::copy(built, program()));
    QVERIFY(QFile::setPermissions(program(), QFile::permissions(built)));
    m_score = m_work.filePath(QStringLiteral("游园.gcp"));
    const SampleScore s = sampleScore();
    QVERIFY(writeScoreFile(m_score, s.lyric, s.score));
}

void TestCommandLine::init() {
    QFile::remove(settingsFile());
}

Result TestCommandLine::run(const QStringList &args, bool keepPlatform) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!keepPlatform) {
        // No display and no platform chosen: the program must manage alone.
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_FONT_DPI"));
    }
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_work.path());
    p.start(program(), args);
    Result r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

void TestCommandLine::helpDescribesBothModes() {
    for (const QString &flag : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const Result r = run({flag});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("Opens the editor")));
        QVERIFY(r.out.contains(QStringLiteral("--export <FORMAT>")));
        QVERIFY(r.out.contains(QStringLiteral("--output <PATH>")));
        QVERIFY(r.out.contains(QStringLiteral("--dpi <DPI>")));
        QVERIFY(r.out.contains(QStringLiteral("--scheme <SCHEME.json>")));
        QVERIFY(r.err.isEmpty());
    }
}

void TestCommandLine::exportsPdf() {
    const QString pdf = m_work.filePath(QStringLiteral("out/游园.pdf"));
    const Result r = run({QStringLiteral("--export"), QStringLiteral("pdf"),
                          QStringLiteral("--output"), pdf, m_score});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, pdf + QLatin1Char('\n'));
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err)); // no progress bar without a terminal
    QVERIFY(readAll(pdf).startsWith("%PDF-"));
    QVERIFY(!QFileInfo::exists(settingsFile())); // read, never written
    if (haveTool(QStringLiteral("pdfinfo"))) {
        const QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {pdf}));
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))),
                 qPrintable(info));
    }
}

void TestCommandLine::exportsImages_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("dpi");
    QTest::addColumn<int>("width");
    QTest::newRow("png") << "png" << QStringList() << 794;
    QTest::newRow("png 160") << "png" << QStringList{QStringLiteral("--dpi"), QStringLiteral("160")}
                             << 1323;
    QTest::newRow("jpg 300") << "JPG" << QStringList{QStringLiteral("--dpi=300")} << 2480;
}

void TestCommandLine::exportsImages() {
    QFETCH(QString, format);
    QFETCH(QStringList, dpi);
    QFETCH(int, width);
    QTemporaryDir out;
    const Result r = run(QStringList{QStringLiteral("--export"), format, QStringLiteral("--output"),
                                     out.path(), m_score} +
                         dpi);
    QCOMPARE(r.exitCode, 0);
    const QString ext = format.toLower();
    const QString folder = out.filePath(QStringLiteral("游园_") + ext);
    QCOMPARE(r.out, folder + QLatin1Char('\n'));
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
    QCOMPARE(QImageReader(folder + QStringLiteral("/游园_1.") + ext).size().width(), width);
}

void TestCommandLine::exportsSvg() {
    QTemporaryDir out;
    const QString target = out.filePath(QStringLiteral("new/dir"));
    Result r = run({QStringLiteral("--export=svg"), QStringLiteral("--output=") + target, m_score});
    QCOMPARE(r.exitCode, 0);
    const QString folder = target + QStringLiteral("/游园_svg");
    QCOMPARE(r.out, folder + QLatin1Char('\n'));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/说明文件.txt")));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/游园_0.svg")));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Qorvel工尺谱字体.ttf")));
    // Again: a new folder beside the first.
    r = run({QStringLiteral("--export"), QStringLiteral("svg"), QStringLiteral("--output"), target,
             m_score});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, target + QStringLiteral("/游园_svg_0\n"));
}

// The melody formats are written from the document: one file each.
void TestCommandLine::exportsMidiAndMusicXml() {
    const QString midi = m_work.filePath(QStringLiteral("out/游园.mid"));
    Result r = run({QStringLiteral("--export"), QStringLiteral("midi"), QStringLiteral("--output"),
                    midi, m_score});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, midi + QLatin1Char('\n'));
    const QByteArray smf = readAll(midi);
    QVERIFY(smf.startsWith("MThd"));
    QCOMPARE(smf.mid(8, 2), QByteArray::fromHex("0001")); // format 1
    QVERIFY(smf.contains(QStringLiteral("原").toUtf8())); // the lyric events

    const QString xml = m_work.filePath(QStringLiteral("out/游园.musicxml"));
    r = run({QStringLiteral("--export"), QStringLiteral("MusicXML"), QStringLiteral("--output"),
             xml, m_score});
    QCOMPARE(r.exitCode, 0);
    const QByteArray score = readAll(xml);
    QVERIFY(score.contains("<score-partwise"));
    QVERIFY(score.contains(QStringLiteral("<text>原</text>").toUtf8()));
}

void TestCommandLine::usesTheSettingsFile() {
    QVERIFY(writeFile(settingsFile(),
                      "[Export]\npageSizeId=9\npageWidth=420\npageHeight=595\nbanColor=#0000ff\n"));
    const QByteArray before = readAll(settingsFile());
    QTemporaryDir out;
    const Result r = run({QStringLiteral("--export"), QStringLiteral("svg"),
                          QStringLiteral("--output"), out.path(), m_score});
    QCOMPARE(r.exitCode, 0);
    const QByteArray page = readAll(out.filePath(QStringLiteral("游园_svg/游园_0.svg")));
    QVERIFY(page.contains("viewBox=\"0 0 420 595\""));
    QVERIFY(page.contains("#0000ff"));
    QCOMPARE(readAll(settingsFile()), before);
}

void TestCommandLine::schemeForThisRunOnly() {
    QVERIFY(writeFile(settingsFile(), "[Export]\ncolWidth=140\n"));
    const QByteArray before = readAll(settingsFile());
    const QString scheme = m_work.filePath(QStringLiteral("landscape.json"));
    QVERIFY(writeFile(scheme, "{\"isLandscape\": true, \"banColor\": \"#00ff00\"}"));

    QTemporaryDir out;
    Result r = run({QStringLiteral("--export"), QStringLiteral("svg"), QStringLiteral("--scheme"),
                    scheme, QStringLiteral("--output"), out.path(), m_score});
    QCOMPARE(r.exitCode, 0);
    QByteArray page = readAll(out.filePath(QStringLiteral("游园_svg/游园_0.svg")));
    QVERIFY(page.contains("viewBox=\"0 0 842 595\""));
    QVERIFY(page.contains("#00ff00"));
    QCOMPARE(readAll(settingsFile()), before);

    // The next run has the settings as they were.
    r = run({QStringLiteral("--export"), QStringLiteral("svg"), QStringLiteral("--output"),
             out.path(), m_score});
    QCOMPARE(r.exitCode, 0);
    page = readAll(out.filePath(QStringLiteral("游园_svg_0/游园_0.svg")));
    QVERIFY(page.contains("viewBox=\"0 0 595 842\""));
    QVERIFY(!page.contains("#00ff00"));
}

void TestCommandLine::badScheme() {
    const QString scheme = m_work.filePath(QStringLiteral("bad.json"));
    QVERIFY(writeFile(scheme, "[\"not\", \"an object\"]"));
    QTemporaryDir out;
    for (const QString &path : {scheme, m_work.filePath(QStringLiteral("missing.json"))}) {
        const Result r =
            run({QStringLiteral("--export"), QStringLiteral("pdf"), QStringLiteral("--scheme"),
                 path, QStringLiteral("--output"), out.filePath(QStringLiteral("x.pdf")), m_score});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.errLines().size(), 1);
        QVERIFY2(r.err.contains(QStringLiteral("导入失败，文件错误！")), qPrintable(r.err));
        QVERIFY(r.err.contains(path));
        QVERIFY(r.out.isEmpty());
    }
    QCOMPARE(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 0);
}

void TestCommandLine::badFile() {
    QTemporaryDir out;
    const QString missing = m_work.filePath(QStringLiteral("missing.gcp"));
    const Result r = run({QStringLiteral("--export"), QStringLiteral("png"),
                          QStringLiteral("--output"), out.path(), missing});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(missing), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("打开文件时发生错误！")));
    QVERIFY(r.out.isEmpty());
}

void TestCommandLine::damagedFileWritesNothing_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("cut");
    QTest::addColumn<QString>("damage");
    QTest::newRow("pdf, cut short")
        << QStringLiteral("pdf") << 3 << QStringLiteral("longer than the data");
    QTest::newRow("svg, cut in a length")
        << QStringLiteral("svg") << -1 << QStringLiteral("ends inside");
    QTest::newRow("png, bytes left over")
        << QStringLiteral("png") << -2 << QStringLiteral("left over");
}

// A damaged file is not typeset from what is left of it: nothing is written,
// the one line on standard error names the file and the damage, and the exit
// status says it failed.
void TestCommandLine::damagedFileWritesNothing() {
    QFETCH(QString, format);
    QFETCH(int, cut);
    QFETCH(QString, damage);
    QByteArray bytes = readAll(m_score);
    if (cut == -1) {
        bytes = bytes.left(6);
    } else if (cut == -2) {
        bytes += QByteArray(2, '\0');
    } else {
        bytes.chop(cut * 2);
    }
    const QString damaged = m_work.filePath(QStringLiteral("damaged-%1.gcp").arg(format));
    QVERIFY(writeFile(damaged, bytes));
    QTemporaryDir out;
    const QString target =
        format == QLatin1String("pdf") ? out.filePath(QStringLiteral("a.pdf")) : out.path();
    const Result r =
        run({QStringLiteral("--export"), format, QStringLiteral("--output"), target, damaged});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(damaged) && r.err.contains(QStringLiteral("damaged")) &&
                 r.err.contains(damage),
             qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestCommandLine::notAScoreFile() {
    const QString text = m_work.filePath(QStringLiteral("notes.txt"));
    QVERIFY(writeFile(text, "# 游园\n"));
    QTemporaryDir out;
    const Result r = run({QStringLiteral("--export"), QStringLiteral("svg"),
                          QStringLiteral("--output"), out.path(), text});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY(r.err.contains(text));
    QVERIFY2(r.err.contains(QStringLiteral("请选择工尺谱文件（.gcp）格式！")), qPrintable(r.err));
}

void TestCommandLine::unwritableOutput() {
    const QString plain = m_work.filePath(QStringLiteral("plain"));
    QVERIFY(writeFile(plain, QByteArray()));
    struct Case {
        QString format, output, message;
    };
    const QList<Case> cases = {
        {QStringLiteral("pdf"), plain + QStringLiteral("/a.pdf"), QStringLiteral("文件夹不存在。")},
        {QStringLiteral("pdf"), m_work.path(), QStringLiteral("同名的文件夹已存在。")},
        {QStringLiteral("png"), plain + QStringLiteral("/dir"), plain + QStringLiteral("/dir")},
        {QStringLiteral("svg"), QStringLiteral("/proc"), QStringLiteral("创建目录失败!")},
    };
    for (const Case &c : cases) {
        const Result r = run(
            {QStringLiteral("--export"), c.format, QStringLiteral("--output"), c.output, m_score});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.errLines().size(), 1);
        QVERIFY2(r.err.contains(c.message), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }
}

void TestCommandLine::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    const QString out = QStringLiteral("--output=/tmp/x");
    QTest::newRow("unknown format") << QStringList{"--export", "tiff", out, "a.gcp"};
    QTest::newRow("no output") << QStringList{"--export", "pdf", "a.gcp"};
    QTest::newRow("no file") << QStringList{"--export", "pdf", out};
    QTest::newRow("two files") << QStringList{"--export", "pdf", out, "a.gcp", "b.gcp"};
    QTest::newRow("bad dpi") << QStringList{"--export", "png", "--dpi", "120", out, "a.gcp"};
    QTest::newRow("dpi not a number") << QStringList{"--export", "png", "--dpi", "x", out, "a.gcp"};
    QTest::newRow("unknown option") << QStringList{"--export", "pdf", "--colour", out, "a.gcp"};
    QTest::newRow("format missing") << QStringList{"a.gcp", "--export"};
    QTest::newRow("bad notation") << QStringList{"--export", "pdf", "--notation",
                                                 "foo",      out,   "a.gcp"};
    QTest::newRow("-o without a value") << QStringList{"--export", "pdf", "a.gcp", "-o"};
    QTest::newRow("bad zeng") << QStringList{"--export", "musicxml", "--zeng",
                                             "half",     out,        "a.gcp"};
    QTest::newRow("book and a score file")
        << QStringList{"--export", "pdf", "--book", "b.gcpbook", out, "a.gcp"};
    QTest::newRow("book as a melody")
        << QStringList{"--export", "midi", "--book", "b.gcpbook", out};
    QTest::newRow("book and an import")
        << QStringList{"--export", "pdf", "--book", "b.gcpbook", "--import", "a.mid", out};
    QTest::newRow("book without a format") << QStringList{"--book", "b.gcpbook", out};
}

void TestCommandLine::usageErrors() {
    QFETCH(QStringList, args);
    const Result r = run(args);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY(r.err.contains(QStringLiteral("--help")));
    QVERIFY(r.out.isEmpty());
}

// A file whose texts break their lines in every way an editor knows, with
// no-break spaces, typesets to the same pages in a document tab, from the
// command line and as the same document written with plain line feeds.
void TestCommandLine::lineBreaksTypesetAlikeEverywhere() {
    installChineseFontSubstitutions();
    QVERIFY(useProgramDir());
    ExportConfig::instance()->restoreDefaults();

    const SampleScore plain = sampleScore();
    const QStringList separators = {QStringLiteral("\r\n"), QStringLiteral("\r"),
                                    QString(QChar(0x2028)), QString(QChar(0x2029)),
                                    QStringLiteral("\n")};
    const auto mixed = [&separators](const QString &text) {
        const QStringList lines = text.split(QLatin1Char('\n'));
        QString out = lines.first();
        for (int i = 1; i < lines.size(); ++i) {
            out += separators.at(i % separators.size()) + lines.at(i);
        }
        return out;
    };
    QString lyric = mixed(plain.lyric);
    lyric.replace(QStringLiteral("= "), QStringLiteral("=") + QChar(0x00A0));
    lyric.replace(QStringLiteral("# "), QStringLiteral("#") + QChar(0x00A0));
    const QString score = mixed(plain.score);
    QVERIFY(lyric.contains(QChar(0x2028)) && lyric.contains(QChar(0x00A0)) &&
            lyric.contains(QStringLiteral("\r\n")) && score.contains(QChar(0x2029)));
    // Split at line feeds alone, the file would be a different document.
    QVERIFY(renderModel(QStringList{lyric}, score.split(QLatin1Char('\n'))) !=
            renderModel(plain.lyric, plain.score));
    const QString file = m_work.filePath(QStringLiteral("mixed.gcp"));
    QVERIFY(writeScoreFile(file, lyric, score));

    const auto pagesOf = [](const DocumentLines &lines) {
        Typesetter t;
        t.generate(ExportConfig::instance()->pageStyle(), lines, false);
        return t.pages();
    };
    const QList<QByteArray> fromPlain = pagesOf(renderModel(plain.lyric, plain.score));
    QVERIFY(fromPlain.size() > 1);

    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(file));
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(pagesOf(tab.documentLines()), fromPlain);

    const QString out = m_work.filePath(QStringLiteral("mixed-out"));
    const Result r = run(
        {QStringLiteral("--export"), QStringLiteral("svg"), QStringLiteral("--output"), out, file});
    QCOMPARE(r.exitCode, 0);
    const QDir folder(r.out.trimmed());
    QList<QByteArray> fromCommandLine;
    for (int n = 0; n < fromPlain.size() + 1; ++n) {
        const QString page = folder.filePath(QStringLiteral("游园_%1.svg").arg(n));
        if (QFileInfo::exists(page)) {
            fromCommandLine << readAll(page);
        }
    }
    QCOMPARE(fromCommandLine.size(), fromPlain.size());
    // The files are those pages, their glyphs drawn from outlines they carry.
    SelfContainedSvg converter;
    for (int n = 0; n < fromPlain.size(); ++n) {
        QVERIFY2(fromCommandLine.at(n) == converter.convert(fromPlain.at(n)),
                 qPrintable(QString::number(n)));
    }
}

void TestCommandLine::unknownNotationWritesNothing_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("notation");
    QTest::newRow("pdf") << "pdf"
                         << "xyz";
    QTest::newRow("svg") << "svg"
                         << "简谱";
    QTest::newRow("midi") << "midi" << QString(); // checked for every format
}

void TestCommandLine::unknownNotationWritesNothing() {
    QFETCH(QString, format);
    QFETCH(QString, notation);
    QTemporaryDir out;
    const QString target =
        format == QLatin1String("svg") ? out.path() : out.filePath(QStringLiteral("x.") + format);
    const Result r =
        run({QStringLiteral("--export"), format, QStringLiteral("--notation=") + notation,
             QStringLiteral("--output"), target, m_score});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(
                 QStringLiteral("--notation must be gongche, jianpu or staff, not \"%1\"")
                     .arg(notation)),
             qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestCommandLine::jianpuPdf() {
    const Result help = run({QStringLiteral("--help")});
    QVERIFY(help.out.contains(QStringLiteral("--notation <gongche|jianpu|staff>")));
    const QString pdf = m_work.filePath(QStringLiteral("out/游园-简谱.pdf"));
    const Result r =
        run({QStringLiteral("--export"), QStringLiteral("pdf"), QStringLiteral("--notation"),
             QStringLiteral("jianpu"), QStringLiteral("--output"), pdf, m_score});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, pdf + QLatin1Char('\n'));
    QVERIFY(readAll(pdf).startsWith("%PDF-"));
    QVERIFY(!QFileInfo::exists(settingsFile()));
    // The melody formats have no pages: the option changes nothing there.
    const QString midi = m_work.filePath(QStringLiteral("out/游园-简谱.mid"));
    QCOMPARE(run({QStringLiteral("--export"), QStringLiteral("midi"), QStringLiteral("--notation"),
                  QStringLiteral("jianpu"), QStringLiteral("--output"), midi, m_score})
                 .exitCode,
             0);
    QVERIFY(readAll(midi).startsWith("MThd"));
}

// Without --notation the settings decide (gongche unless changed); with it,
// the option does, for this run only.
void TestCommandLine::notationOptionOverridesTheSettings() {
    const auto svgPages = [this](const QStringList &extra) {
        QTemporaryDir out;
        const Result r = run(QStringList{QStringLiteral("--export"), QStringLiteral("svg"),
                                         QStringLiteral("--output"), out.path(), m_score} +
                             extra);
        QMap<int, QByteArray> pages; // by page number
        const QDir folder(r.out.trimmed());
        for (const QString &name : folder.entryList({QStringLiteral("*.svg")}, QDir::Files)) {
            pages.insert(name.section(QLatin1Char('_'), -1).section(QLatin1Char('.'), 0, 0).toInt(),
                         readAll(folder.filePath(name)));
        }
        return pages.values();
    };
    const QList<QByteArray> gongche = svgPages({});
    const QList<QByteArray> jianpu = svgPages({QStringLiteral("--notation=jianpu")});
    QVERIFY(!gongche.isEmpty() && !jianpu.isEmpty());
    QVERIFY(writeFile(settingsFile(), "[Export]\nnotation=jianpu\n"));
    const QByteArray before = readAll(settingsFile());
    QCOMPARE(svgPages({}), jianpu);
    QCOMPARE(svgPages({QStringLiteral("--notation"), QStringLiteral("gongche")}), gongche);
    QCOMPARE(readAll(settingsFile()), before);
}

void TestCommandLine::jianpuPdfText() {
    if (!haveTool(QStringLiteral("pdftotext"))) {
        QSKIP("pdftotext (poppler-utils) is not installed");
    }
    const QString pdf = m_work.filePath(QStringLiteral("youyuan-jianpu.pdf"));
    const Result r =
        run({QStringLiteral("--export"), QStringLiteral("pdf"), QStringLiteral("--notation"),
             QStringLiteral("jianpu"), QStringLiteral("--output"), pdf,
             QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp")});
    QCOMPARE(r.exitCode, 0);
    // In the order of the page's lines; the characters set apart under their
    // notes come out with spaces between them.
    const QString text = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"),
                                              QStringLiteral("UTF-8"), pdf, QStringLiteral("-")}));
    QString compact = text;
    compact.remove(QRegularExpression(QStringLiteral("\\s+")));
    QVERIFY2(compact.contains(QStringLiteral("1=D")), qPrintable(text.left(1500)));
    QVERIFY2(compact.contains(QStringLiteral("原来姹紫嫣红开遍")), qPrintable(text.left(1500)));
}

// 加赠 measures whole (8/4) or split at the 赠板 (4/4), from the option, or
// from the settings without it; the sample aria is sung 加赠.
void TestCommandLine::zengOption_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QByteArray>("beats");
    QTest::newRow("default") << QString() << QByteArray() << QByteArray("<beats>8</beats>");
    QTest::newRow("whole") << QStringLiteral("whole")
                           << QByteArray("[Export]\nzengMeasures=split\n")
                           << QByteArray("<beats>8</beats>");
    QTest::newRow("split") << QStringLiteral("split") << QByteArray()
                           << QByteArray("<beats>4</beats>");
    QTest::newRow("split by the settings")
        << QString() << QByteArray("[Export]\nzengMeasures=split\n")
        << QByteArray("<beats>4</beats>");
}

void TestCommandLine::zengOption() {
    QFETCH(QString, option);
    QFETCH(QByteArray, ini);
    QFETCH(QByteArray, beats);
    QVERIFY(run({QStringLiteral("--help")}).out.contains(QStringLiteral("--zeng <split|whole>")));
    if (!ini.isEmpty()) {
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    QTemporaryDir out;
    const QString xml = out.filePath(QStringLiteral("aria.musicxml"));
    QStringList args{QStringLiteral("--export"), QStringLiteral("musicxml"),
                     QStringLiteral("--output"), xml,
                     QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp")};
    if (!option.isEmpty()) {
        args << QStringLiteral("--zeng") << option;
    }
    const Result r = run(args);
    QCOMPARE(r.exitCode, 0);
    const QByteArray written = readAll(xml);
    QVERIFY(written.contains(beats));
    QVERIFY(!written.contains(beats == "<beats>4</beats>" ? QByteArray("<beats>8</beats>")
                                                          : QByteArray("<beats>4</beats>")));
}

void TestCommandLine::shortOutputOption() {
    const QString mid = m_work.filePath(QStringLiteral("short/游园.mid"));
    const Result r = run(
        {QStringLiteral("--export"), QStringLiteral("midi"), QStringLiteral("-o"), mid, m_score});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, mid + QLatin1Char('\n'));
    QVERIFY(readAll(mid).startsWith("MThd"));
}

void TestCommandLine::neverWritesOverAScore_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("output"); // relative to the work folder
    QTest::newRow("pdf onto the input") << "pdf"
                                        << "游园.gcp";
    QTest::newRow("same file by another path") << "midi"
                                               << "./sub/../游园.gcp";
    QTest::newRow("another score") << "wav"
                                   << "other.gcp";
    QTest::newRow("svg into the input") << "svg"
                                        << "游园.gcp";
}

// An output path naming a score file is refused: exit 1, the score untouched.
void TestCommandLine::neverWritesOverAScore() {
    QFETCH(QString, format);
    QFETCH(QString, output);
    const QString other = m_work.filePath(QStringLiteral("other.gcp"));
    QVERIFY(writeScoreFile(other, QStringLiteral("原来"), QStringLiteral("\n")));
    QVERIFY(QDir(m_work.path()).mkpath(QStringLiteral("sub")));
    const QByteArray score = readAll(m_score);
    const QByteArray otherBytes = readAll(other);
    const Result r = run({QStringLiteral("--export"), format, QStringLiteral("--output"), output,
                          QFileInfo(m_score).fileName()});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(QStringLiteral("不能导出到")), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QCOMPARE(readAll(m_score), score);
    QCOMPARE(readAll(other), otherBytes);
}

// Under `ulimit -f` the write fails with EFBIG: reported, not a silent kill.
void TestCommandLine::fileSizeLimitIsReported() {
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("big.pdf"));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("ulimit -f 4; exec \"$0\" \"$@\""), program(),
             QStringLiteral("--export"), QStringLiteral("pdf"), QStringLiteral("-o"), pdf,
             m_score});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("文件超过了系统允许的大小")), qPrintable(err));
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

// A book exported from the command line: its pages, or one line saying why
// not, with nothing written.
void TestCommandLine::books_data() {
    QTest::addColumn<QString>("book");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // of a failure
    const QString good =
        QStringLiteral("书名=曲选\n谱式=简谱\n卷=上卷\n曲=游园.gcp\n曲=游园.gcp\n");
    QTest::newRow("pdf") << good << QStringList{"--export", "pdf"} << 0 << QString();
    QTest::newRow("png, gongche over the book's notation")
        << good << QStringList{"--export", "png", "--notation", "gongche"} << 0 << QString();
    QTest::newRow("missing score")
        << QStringLiteral("曲=游园.gcp\n\n曲=无.gcp\n") << QStringList{"--export", "pdf"} << 1
        << QStringLiteral("第3行：找不到曲谱文件“无.gcp”");
    QTest::newRow("bad line") << QStringLiteral("书名=x\n目录=是\n曲=游园.gcp\n")
                              << QStringList{"--export", "svg"} << 1
                              << QStringLiteral("第2行：未知的项目“目录”");
    QTest::newRow("missing scheme")
        << QStringLiteral("方案=无\n曲=游园.gcp\n") << QStringList{"--export", "pdf"} << 1
        << QStringLiteral("无.json: 导入失败，文件错误！");
}

void TestCommandLine::books() {
    QFETCH(QString, book);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString bookPath = m_work.filePath(QStringLiteral("曲选.gcpbook"));
    QVERIFY(writeFile(bookPath, book.toUtf8()));
    QTemporaryDir out;
    const bool toFolder = options.at(1) != QLatin1String("pdf");
    const QString target = toFolder ? out.path() : out.filePath(QStringLiteral("曲选.pdf"));
    const Result r = run(options + QStringList{QStringLiteral("--book"), bookPath,
                                               QStringLiteral("--output"), target});
    QCOMPARE(r.exitCode, exitCode);
    if (exitCode != 0) {
        QCOMPARE(r.errLines().size(), 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        return;
    }
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    const QString written = r.out.trimmed();
    QVERIFY(QFileInfo::exists(written));
    if (!toFolder) {
        QVERIFY(readAll(written).startsWith("%PDF-"));
        return;
    }
    // Title page, contents, two pieces: the pages named after the book.
    const QStringList images = QDir(written).entryList({QStringLiteral("*.png")});
    QVERIFY2(images.size() >= 4, qPrintable(images.join(QLatin1Char(' '))));
    QVERIFY(images.contains(QStringLiteral("曲选_0.png")));
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"

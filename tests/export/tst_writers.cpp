#include "export/exportconfig.h"
#include "export/exportformat.h"
#include "exportfixture.h"
#include "fonts/fontregistry.h"
#include "fonts/fontsubstitutions.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "testsupport.h"
#include "typeset/selfcontainedsvg.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

ExportConfig &cfg() {
    return *ExportConfig::instance();
}

const QString defaultTitle = QStringLiteral("Qorvel工尺谱导出曲谱");

QStringList entries(const QString &dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// The same with the hidden ones: what a failed write may not leave behind.
QStringList allEntries(const QString &dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// One progress report; status 0 started, 1 advanced, 2 finished.
struct Progress {
    Typesetter::Task task;
    int status, value, max;
};

QList<Progress> progressOf(const QSignalSpy &spy) {
    QList<Progress> out;
    for (const QList<QVariant> &a : spy) {
        out.append({a.at(0).value<Typesetter::Task>(), int(a.at(1).value<Typesetter::Progress>()),
                    a.at(2).toInt(), a.at(3).toInt()});
    }
    return out;
}

} // namespace

class TestWriters : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void imageFoldersCountUp();
    void a4At96Dpi();
    void resolutionIndex();
    void transparentPngAndOpaqueJpg();
    void svgFolderHoldsPagesFontAndReadMe();
    void defaultTitleNamesTheSvgFiles();
    void progressOfEachWriter();
    void titlesMakeSafeFileNames_data();
    void titlesMakeSafeFileNames();
    void titleWithSpacesStaysInTheDirectory();

    void pdfExistingDirectoryIsNotWritable();
    void pdfFailedWriteKeepsTheOldFile();
    void underAPlainFile_data();
    void underAPlainFile();
    void pageFolderNotCreatable_data();
    void pageFolderNotCreatable();
    void pageWriteFails_data();
    void pageWriteFails();
    void hugeImageFailsCleanly();
    void svgFontWriteFails();
    void failureAfterSomePagesLeavesNothing_data();
    void failureAfterSomePagesLeavesNothing();
};

void TestWriters::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
}

void TestWriters::init() {
    cfg().restoreDefaults();
}

void TestWriters::imageFoldersCountUp() {
    QTemporaryDir dir;
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    PromptScript prompts;
    for (int i = 0; i < 3; ++i) {
        QVERIFY(g.exportImages(dir.path(), 0, QStringLiteral("PNG")));
    }
    QCOMPARE(prompts.count(), 0);
    // The title keeps the space after "#"; the folder name does not.
    QCOMPARE(g.documentTitle(), QStringLiteral(" 游园"));
    QCOMPARE(entries(dir.path()),
             (QStringList{QStringLiteral("游园_png"), QStringLiteral("游园_png_0"),
                          QStringLiteral("游园_png_1")}));
    QCOMPARE(g.lastExportPath(), dir.filePath(QStringLiteral("游园_png_1")));
    QCOMPARE(entries(dir.filePath(QStringLiteral("游园_png_0"))),
             (QStringList{QStringLiteral("游园_0.png"), QStringLiteral("游园_1.png")}));
}

void TestWriters::a4At96Dpi() {
    QTemporaryDir dir;
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    PromptScript prompts;
    QVERIFY(g.exportImages(dir.path(), 0, QStringLiteral("png")));
    QCOMPARE(QImageReader(dir.filePath(QStringLiteral("游园_png/游园_0.png"))).size(),
             QSize(794, 1123));

    cfg().setIsLandscape(true);
    g.reset();
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    QVERIFY(g.exportImages(dir.path(), 0, QStringLiteral("jpg")));
    QCOMPARE(QImageReader(dir.filePath(QStringLiteral("游园_jpg/游园_0.jpg"))).size(),
             QSize(1123, 794));
    QCOMPARE(prompts.count(), 0);
}

void TestWriters::resolutionIndex() {
    QCOMPARE(Typesetter::resolutionDpi(0), 96);
    QCOMPARE(Typesetter::resolutionDpi(1), 160);
    QCOMPARE(Typesetter::resolutionDpi(2), 300);
    QCOMPARE(Typesetter::resolutionDpi(3), 600);
    QCOMPARE(Typesetter::resolutionDpi(4), 96);
    QCOMPARE(Typesetter::resolutionDpi(-1), 96);
    // A6 at 160 dpi, through the writer.
    cfg().setPageSizeId(QPageSize::A6);
    QTemporaryDir dir;
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    PromptScript prompts;
    QVERIFY(g.exportImages(dir.path(), 1, QStringLiteral("png")));
    QCOMPARE(QImageReader(dir.filePath(QStringLiteral("游园_png/游园_0.png"))).size(),
             g.imageSize(160));
    QCOMPARE(g.imageSize(160), QSize(661, 932)); // 105 × 148 mm
}

void TestWriters::transparentPngAndOpaqueJpg() {
    QTemporaryDir dir;
    cfg().setBackgroundColor(QColor(QStringLiteral("#3366cc")));
    Typesetter g;
    PromptScript prompts;

    // The page paints its background: a PNG shows it.
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    QVERIFY(g.exportImages(dir.path(), 0, QStringLiteral("png")));
    QImage png(dir.filePath(QStringLiteral("游园_png/游园_0.png")));
    QCOMPARE(png.pixelColor(2, 2), QColor(QStringLiteral("#3366cc")));

    // A transparent page leaves a PNG transparent where nothing is drawn...
    cfg().setIsBgTransparent(true);
    g.reset();
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    QVERIFY(g.exportImages(dir.path(), 0, QStringLiteral("png")));
    png = QImage(dir.filePath(QStringLiteral("游园_png_0/游园_0.png")));
    QVERIFY(png.hasAlphaChannel());
    QCOMPARE(png.pixelColor(2, 2).alpha(), 0);
    // ...but the ink is there.
    int opaque = 0;
    for (int y = 0; y < png.height(); y += 2) {
        for (int x = 0; x < png.width(); x += 2) {
            opaque += qAlpha(png.pixel(x, y)) > 128;
        }
    }
    QVERIFY(opaque > 100);

    // A JPG always has the background colour under the page.
    QVERIFY(g.exportImages(dir.path(), 0, QStringLiteral("jpg")));
    const QImage jpg(dir.filePath(QStringLiteral("游园_jpg/游园_0.jpg")));
    const QColor c = jpg.pixelColor(2, 2);
    QVERIFY2(qAbs(c.red() - 0x33) < 6 && qAbs(c.green() - 0x66) < 6 && qAbs(c.blue() - 0xcc) < 6,
             qPrintable(c.name()));
    QCOMPARE(prompts.count(), 0);
}

void TestWriters::svgFolderHoldsPagesFontAndReadMe() {
    QTemporaryDir dir;
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    QCOMPARE(g.pages().size(), 2);
    PromptScript prompts;
    QVERIFY(g.exportSvg(dir.path()));
    QVERIFY(g.exportSvg(dir.path()));
    QCOMPARE(entries(dir.path()),
             (QStringList{QStringLiteral("游园_svg"), QStringLiteral("游园_svg_0")}));
    const QString folder = dir.filePath(QStringLiteral("游园_svg"));
    const QString fontFile = FontRegistry::instance()->defaultFamily() + QStringLiteral(".ttf");
    QCOMPARE(entries(folder),
             (QStringList{fontFile, QStringLiteral("游园_0.svg"), QStringLiteral("游园_1.svg"),
                          QStringLiteral("说明文件.txt")}));
    // The pages as the typesetter holds them, their glyphs drawn from
    // outlines they carry.
    QFile page(folder + QStringLiteral("/游园_1.svg"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    SelfContainedSvg converter;
    converter.convert(g.pages().at(0));
    QCOMPARE(page.readAll(), converter.convert(g.pages().at(1)));

    QFile font(folder + QLatin1Char('/') + fontFile);
    QVERIFY(font.open(QIODevice::ReadOnly));
    QFile embedded(FontRegistry::defaultFontPath());
    QVERIFY(embedded.open(QIODevice::ReadOnly));
    QCOMPARE(font.readAll(), embedded.readAll());

    QFile readMe(folder + QStringLiteral("/说明文件.txt"));
    QVERIFY(readMe.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(readMe.readAll()),
             QStringLiteral("Qorvel工尺谱导出曲谱说明：SVG文件已内含所用字形，无需安装字体即可正常"
                            "显示，文字仍可选择和搜索。如需在其他软件中编辑文字，请安装“Qorvel工尺"
                            "谱字体.ttf”。"));
    QCOMPARE(prompts.count(), 0);
}

void TestWriters::defaultTitleNamesTheSvgFiles() {
    QTemporaryDir dir;
    Typesetter g;
    DocumentLines lines = sampleLines(false);
    lines.removeAt(0); // no tune heading either
    g.generate(ExportConfig::instance()->pageStyle(), lines, false);
    QVERIFY(g.documentTitle().isEmpty());
    PromptScript prompts;
    QVERIFY(g.exportSvg(dir.path()));
    QCOMPARE(g.documentTitle(), defaultTitle);
    QVERIFY(QFileInfo::exists(dir.filePath(defaultTitle + QStringLiteral("_svg/") + defaultTitle +
                                           QStringLiteral("_0.svg"))));
}

void TestWriters::progressOfEachWriter() {
    QTemporaryDir dir;
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    const int n = g.pages().size();
    PromptScript prompts;
    const QMap<QString, Typesetter::Task> tasks = {
        {QStringLiteral("pdf"), Typesetter::Task::WritePdf},
        {QStringLiteral("png"), Typesetter::Task::WriteImages},
        {QStringLiteral("jpg"), Typesetter::Task::WriteImages},
        {QStringLiteral("svg"), Typesetter::Task::WriteSvg}};
    const DocumentLines lines = sampleLines();
    for (const ExportFormat &f : ExportFormat::all()) {
        if (!f.needsPages) {
            continue; // written from the document, not from pages
        }
        QSignalSpy spy(&g, &Typesetter::progressUpdate);
        const QString target =
            f.toFolder ? dir.path() : dir.filePath(QStringLiteral("a") + f.suffix);
        const Outcome outcome = f.write({g, lines, target, 0});
        QVERIFY2(outcome.ok(), qPrintable(f.id));
        QVERIFY(QFileInfo::exists(outcome.path()));
        const QList<Progress> p = progressOf(spy);
        QCOMPARE(p.size(), n + 2);
        for (const Progress &step : p) {
            QCOMPARE(step.task, tasks.value(f.id));
        }
        QCOMPARE(p.first().status, 0);
        QCOMPARE(p.first().value, 0);
        QCOMPARE(p.first().max, n);
        for (int k = 1; k <= n; ++k) {
            QCOMPARE(p.at(k).status, 1);
            QCOMPARE(p.at(k).value, k);
        }
        QCOMPARE(p.last().status, 2);
        QCOMPARE(p.last().value, n);
    }
    QCOMPARE(prompts.count(), 0);
}

void TestWriters::titlesMakeSafeFileNames_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("游园") << QStringLiteral("游园");
    QTest::newRow("spaces kept inside, trimmed outside")
        << QStringLiteral("  牡丹亭 游园 ") << QStringLiteral("牡丹亭 游园");
    QTest::newRow("separators") << QStringLiteral("../../etc/x") << QStringLiteral(".._.._etc_x");
    QTest::newRow("backslash") << QStringLiteral("a\\..\\b") << QStringLiteral("a_.._b");
    QTest::newRow("parent") << QStringLiteral("..") << QStringLiteral("__");
    QTest::newRow("self") << QStringLiteral(" . ") << QStringLiteral("_");
    QTest::newRow("reserved") << QStringLiteral("a:b*c?d\"e<f>g|h")
                              << QStringLiteral("a_b_c_d_e_f_g_h");
    QTest::newRow("control") << QStringLiteral("a\nb\tc") << QStringLiteral("a_b_c");
    QTest::newRow("empty") << QString() << defaultTitle;
    QTest::newRow("blank") << QStringLiteral("   ") << defaultTitle;
}

void TestWriters::titlesMakeSafeFileNames() {
    QFETCH(QString, title);
    QFETCH(QString, name);
    QCOMPARE(Typesetter::safeFileName(title), name);
}

void TestWriters::titleWithSpacesStaysInTheDirectory() {
    // A title line keeps its spaces; the folder does not begin with one.
    DocumentLines lines = sampleLines(false);
    lines.prepend(lineOf(LineKind::Title, QStringLiteral("#  牡丹亭 游园 ")));
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), lines, false);
    QCOMPARE(g.documentTitle(), QStringLiteral("  牡丹亭 游园 "));
    QTemporaryDir dir;
    PromptScript prompts;
    QVERIFY(g.exportSvg(dir.path()));
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("牡丹亭 游园_svg")});
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("牡丹亭 游园_svg/牡丹亭 游园_0.svg"))));

    // A very long title is shortened to a name the file system takes.
    lines.first().text = QStringLiteral("# ") + QString(300, QChar(0x6625));
    g.reset();
    g.generate(ExportConfig::instance()->pageStyle(), lines, false);
    QVERIFY(g.exportImages(dir.path(), 0, QStringLiteral("png")));
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(entries(dir.path()).size(), 2);
}

void TestWriters::pdfExistingDirectoryIsNotWritable() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("busy.pdf")));
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    PromptScript prompts;
    QSignalSpy spy(&g, &Typesetter::progressUpdate);
    const Outcome outcome = g.exportPdf(dir.filePath(QStringLiteral("busy.pdf")));
    QVERIFY(!outcome);
    QCOMPARE(prompts.count(), 0); // the caller shows the message
    QCOMPARE(outcome.title(), QStringLiteral("错误"));
    QCOMPARE(outcome.message(), QStringLiteral("无法写入“busy.pdf”：同名的文件夹已存在。"));
    QCOMPARE(spy.size(), 0);
}

void TestWriters::pdfFailedWriteKeepsTheOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("score.pdf"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), manyPages(3), false);
    PromptScript prompts;
    Outcome outcome;
    {
        FileSizeLimit limit(2048);
        QVERIFY(limit.ok());
        outcome = (g.exportPdf(path));
    }
    QVERIFY(!outcome);
    QCOMPARE(prompts.count(), 0); // the caller shows the message
    QCOMPARE(outcome.message(), QStringLiteral("无法写入“score.pdf”：文件超过了系统允许的大小。"));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("score.pdf")});
}

namespace {

// The document as PDF ("pdf") to the file target, or its pages as images
// ("png") or SVG ("svg") in the folder target, from the first.
Outcome exportAs(Typesetter &g, const QString &format, const QString &target) {
    if (format == QLatin1String("pdf")) {
        return g.exportPdf(target);
    }
    return format == QLatin1String("svg") ? g.exportSvg(target) : g.exportImages(target, 0, format);
}

} // namespace

// The folder cannot be made (its parent is a file): the write fails and says
// so, instead of reporting success, with no message box and nothing written.
void TestWriters::underAPlainFile_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message"); // empty: not compared
    QTest::newRow("pdf") << QStringLiteral("pdf") << QStringLiteral("plain/sub/score.pdf")
                         << QStringLiteral("无法写入“score.pdf”：文件夹不存在。");
    QTest::newRow("images") << QStringLiteral("png") << QStringLiteral("plain/out") << QString();
    QTest::newRow("svg") << QStringLiteral("svg") << QStringLiteral("plain/out") << QString();
}

void TestWriters::underAPlainFile() {
    QFETCH(QString, format);
    QFETCH(QString, target);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("plain")), QByteArray()));
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    PromptScript prompts;
    const Outcome outcome = exportAs(g, format, dir.filePath(target));
    QVERIFY(!outcome);
    QCOMPARE(prompts.count(), 0); // the caller shows the message
    if (!message.isEmpty()) {
        QCOMPARE(outcome.message(), message);
    }
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("plain")});
}

void TestWriters::pageFolderNotCreatable_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::newRow("images") << QStringLiteral("png") << QStringLiteral("提示")
                            << QStringLiteral("创建目录失败");
    QTest::newRow("svg") << QStringLiteral("svg") << QStringLiteral("错误")
                         << QStringLiteral("创建目录失败!");
}

void TestWriters::pageFolderNotCreatable() {
    QFETCH(QString, format);
    // Nothing can be created in /proc, not even by root.
    if (!QFileInfo(QStringLiteral("/proc/self")).exists()) {
        QSKIP("needs /proc");
    }
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    PromptScript prompts;
    const Outcome outcome = exportAs(g, format, QStringLiteral("/proc"));
    QVERIFY(!outcome);
    QCOMPARE(prompts.count(), 0); // the caller shows the message
    QTEST(outcome.title(), "title");
    QTEST(outcome.message(), "message");
}

// A page that cannot be written whole: no partial set of pages is left, not
// even hidden, and the progress ends as failed at the first page.
void TestWriters::pageWriteFails_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("limit"); // bytes a file may have
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("reports"); // of progress; -1: not counted
    QTest::newRow("images") << QStringLiteral("png") << 1024 << QStringLiteral("提示")
                            << QStringLiteral("导出图片失败：文件超过了系统允许的大小。") << 2;
    QTest::newRow("svg") << QStringLiteral("svg") << 512 << QStringLiteral("错误")
                         << QStringLiteral("导出SVG文件失败：文件超过了系统允许的大小。") << -1;
}

void TestWriters::pageWriteFails() {
    QFETCH(QString, format);
    QFETCH(int, limit);
    QFETCH(int, reports);
    QTemporaryDir dir;
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    PromptScript prompts;
    QSignalSpy spy(&g, &Typesetter::progressUpdate);
    Outcome outcome;
    {
        FileSizeLimit fileSize(static_cast<rlim_t>(limit));
        QVERIFY(fileSize.ok());
        outcome = exportAs(g, format, dir.path());
    }
    QVERIFY(!outcome);
    QCOMPARE(prompts.count(), 0); // the caller shows the message
    QTEST(outcome.title(), "title");
    QTEST(outcome.message(), "message");
    QCOMPARE(allEntries(dir.path()), QStringList());
    const QList<Progress> p = progressOf(spy);
    QVERIFY(!p.isEmpty());
    if (reports >= 0) {
        QCOMPARE(p.size(), reports);
    }
    QCOMPARE(p.last().status, 2);
    QCOMPARE(p.last().value, 1);
}

void TestWriters::hugeImageFailsCleanly() {
    // B1 at 600 dpi: 16700 × 23625 pixels, 1.6 GB as an image.
    cfg().setPageSizeId(QPageSize::B1);
    QTemporaryDir dir;
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    PromptScript prompts;
    const Outcome outcome = g.exportImages(dir.path(), 3, QStringLiteral("png"));
    QVERIFY(!outcome);
    QCOMPARE(prompts.count(), 0); // the caller shows the message
    QCOMPARE(outcome.message(), QStringLiteral("导出图片失败！"));
    QCOMPARE(allEntries(dir.path()), QStringList());
}

void TestWriters::svgFontWriteFails() {
    QTemporaryDir dir;
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), {}, false); // one small page
    int largestPage = 0;
    for (const QByteArray &p : g.pages()) {
        largestPage = std::max(largestPage, int(p.size()));
    }
    QFile embedded(FontRegistry::defaultFontPath());
    QVERIFY(embedded.open(QIODevice::ReadOnly));
    QVERIFY(embedded.size() > largestPage + 1024);
    PromptScript prompts;
    Outcome outcome;
    {
        FileSizeLimit limit(rlim_t(largestPage + 512));
        QVERIFY(limit.ok());
        outcome = (g.exportSvg(dir.path()));
    }
    QVERIFY(!outcome);
    QCOMPARE(prompts.count(), 0); // the caller shows the message
    QCOMPARE(outcome.message(), QStringLiteral("导出字体文件失败：文件超过了系统允许的大小。"));
    // The pages written before go with the failure: no partial set is left.
    QCOMPARE(allEntries(dir.path()), QStringList());
}

void TestWriters::failureAfterSomePagesLeavesNothing_data() {
    QTest::addColumn<QString>("format");
    QTest::newRow("png") << "png";
    QTest::newRow("jpg") << "jpg";
    QTest::newRow("svg") << "svg";
}

// The disk fills up (here: the file size limit drops) after the first page
// is written: the pages written go too, and a folder of an earlier export
// stays as it was.
void TestWriters::failureAfterSomePagesLeavesNothing() {
    QFETCH(QString, format);
    QTemporaryDir dir;
    const QString earlier = QStringLiteral("游园_") + format;
    QVERIFY(QDir(dir.path()).mkpath(earlier + QStringLiteral("/keep")));
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), manyPages(3), false);
    QVERIFY(g.pages().size() >= 3);
    struct rlimit old {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    int written = 0;
    connect(&g, &Typesetter::progressUpdate, this,
            [&](Typesetter::Task, Typesetter::Progress progress, int value, int) {
                if (progress == Typesetter::Progress::Advanced && value == 1) {
                    written = value;
                    struct rlimit small = old;
                    small.rlim_cur = 256;
                    setrlimit(RLIMIT_FSIZE, &small);
                }
            });
    PromptScript prompts;
    const Outcome outcome = format == QLatin1String("svg") ? g.exportSvg(dir.path())
                                                           : g.exportImages(dir.path(), 0, format);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(written, 1);
    QVERIFY(!outcome);
    QVERIFY2(outcome.message().endsWith(QStringLiteral("文件超过了系统允许的大小。")),
             qPrintable(outcome.message()));
    QCOMPARE(allEntries(dir.path()), QStringList{earlier});
    QCOMPARE(entries(dir.filePath(earlier)), QStringList{QStringLiteral("keep")});
}

QTEST_MAIN(TestWriters)
#include "tst_writers.moc"

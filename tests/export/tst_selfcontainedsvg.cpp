// Exported SVG pages that need no fonts: their glyphs travel in the file as
// outlines, their text stays in it, invisible, and librsvg on a machine
// without any font draws them as it draws the page with the fonts installed.
#include "export/exportconfig.h"
#include "exportfixture.h"
#include "fonts/fontregistry.h"
#include "fonts/fontsubstitutions.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "svgpage.h"
#include "testsupport.h"
#include "typeset/selfcontainedsvg.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

ExportConfig &cfg() {
    return *ExportConfig::instance();
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What an exported page holds besides what the generator wrote.
struct Outlines {
    bool ok = false;
    QSet<QString> defined;     // ids of the paths in <defs>
    QStringList referenced;    // the targets of the <use> elements, in order
    int hiddenGroups = 0;      // glyph groups hidden from screen readers
    int windingGroups = 0;     // of them, those filled by winding
    QStringList texts;         // the text of every <text>
    QStringList textOpacities; // their fill-opacity
};

Outlines readOutlines(const QByteArray &svg) {
    Outlines o;
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("path") && a.hasAttribute(QLatin1String("id"))) {
            o.defined.insert(a.value(QLatin1String("id")).toString());
        } else if (xml.name() == QLatin1String("use")) {
            o.referenced << a.value(QLatin1String("http://www.w3.org/1999/xlink"),
                                    QLatin1String("href"))
                                .toString();
        } else if (xml.name() == QLatin1String("g") &&
                   a.value(QLatin1String("aria-hidden")) == QLatin1String("true")) {
            ++o.hiddenGroups;
            o.windingGroups += a.value(QLatin1String("fill-rule")) == QLatin1String("nonzero");
        } else if (xml.name() == QLatin1String("text")) {
            o.textOpacities << a.value(QLatin1String("fill-opacity")).toString();
            o.texts << xml.readElementText();
        }
    }
    o.ok = !xml.hasError();
    return o;
}

// The page without what the converter adds or changes: glyph groups,
// outlines and text elements.
QString withoutText(const QByteArray &svg) {
    QString s = QString::fromUtf8(svg);
    s.remove(QRegularExpression(QStringLiteral("<g [^>]*aria-hidden=\"true\"[^>]*>.*?</g>\\n"),
                                QRegularExpression::DotMatchesEverythingOption));
    s.remove(QRegularExpression(QStringLiteral("<path id=\"qg\\d+\" d=\"[^\"]*\"/>\\n")));
    s.remove(QRegularExpression(QStringLiteral("<text[^>]*>.*?</text>"),
                                QRegularExpression::DotMatchesEverythingOption));
    s.remove(QRegularExpression(QStringLiteral("<defs>\\n+")));
    return s;
}

// How many pixels are ink: darker than light grey.
int inkOf(const QImage &image) {
    const QImage g = image.convertToFormat(QImage::Format_Grayscale8);
    int ink = 0;
    for (int y = 0; y < g.height(); ++y) {
        const uchar *line = g.constScanLine(y);
        for (int x = 0; x < g.width(); ++x) {
            ink += line[x] < 160;
        }
    }
    return ink;
}

// The share of pixels whose grey levels differ by at most tolerance, and the
// same share among the pixels that are ink in either image.
struct Agreement {
    double all = 0;
    double ink = 0;
};

Agreement agreement(const QImage &a, const QImage &b, int tolerance) {
    if (a.size() != b.size() || a.isNull()) {
        return {};
    }
    const QImage ga = a.convertToFormat(QImage::Format_Grayscale8);
    const QImage gb = b.convertToFormat(QImage::Format_Grayscale8);
    qint64 same = 0, inkSame = 0, ink = 0;
    for (int y = 0; y < ga.height(); ++y) {
        const uchar *la = ga.constScanLine(y);
        const uchar *lb = gb.constScanLine(y);
        for (int x = 0; x < ga.width(); ++x) {
            const bool close = std::abs(int(la[x]) - int(lb[x])) <= tolerance;
            same += close;
            if (la[x] < 160 || lb[x] < 160) {
                ++ink;
                inkSame += close;
            }
        }
    }
    return {double(same) / (qint64(ga.width()) * ga.height()), ink ? double(inkSame) / ink : 0.0};
}

} // namespace

class TestSelfContainedSvg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void outlinesForEveryGlyph_data();
    void outlinesForEveryGlyph();
    void restOfThePageUnchanged();
    void pageWithoutTextUnchanged();
    void unreadablePageUnchanged();
    void glyphsSharedAcrossPages();
    void pagesInMemoryStillNameTheirFonts();
    void readMeSaysNoFontIsNeeded();

    void rendersWithoutAnyFont_data();
    void rendersWithoutAnyFont();

private:
    QString exportPage(const DocumentLines &lines, int page, QByteArray *inMemory);
    QString writeFontConf(const QString &name, const QStringList &dirs, bool systemFonts);
    QImage rsvg(const QString &conf, const QString &file);

    QTemporaryDir m_out;
    Typesetter m_engine;
};

void TestSelfContainedSvg::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
    // QORVEL_KEEP_OUTPUT=1 keeps the written files and the renderings for a look.
    if (qEnvironmentVariableIsSet("QORVEL_KEEP_OUTPUT")) {
        m_out.setAutoRemove(false);
        qInfo("output kept in %s", qPrintable(m_out.path()));
    }
}

void TestSelfContainedSvg::init() {
    cfg().restoreDefaults();
}

// Exports lines as SVG and returns the file of page `page`; the page as the
// typesetter holds it goes to inMemory.
QString TestSelfContainedSvg::exportPage(const DocumentLines &lines, int page,
                                         QByteArray *inMemory) {
    m_engine.reset();
    m_engine.generate(cfg().pageStyle(), lines, false);
    PromptScript prompts;
    const Outcome outcome = m_engine.exportSvg(m_out.path());
    if (!outcome || prompts.count() != 0 || page >= m_engine.pages().size()) {
        return QString();
    }
    if (inMemory) {
        *inMemory = m_engine.pages().at(page);
    }
    return outcome.path() + QLatin1Char('/') + Typesetter::safeFileName(m_engine.documentTitle()) +
           QLatin1Char('_') + QString::number(page) + QStringLiteral(".svg");
}

void TestSelfContainedSvg::outlinesForEveryGlyph_data() {
    QTest::addColumn<bool>("jianpu");
    QTest::newRow("gongche") << false;
    QTest::newRow("jianpu") << true;
}

void TestSelfContainedSvg::outlinesForEveryGlyph() {
    QFETCH(bool, jianpu);
    if (jianpu) {
        cfg().setNotation(PageStyle::Notation::Jianpu);
    }
    QByteArray inMemory;
    const QString file = exportPage(sampleLines(), 0, &inMemory);
    QVERIFY(!file.isEmpty());
    const QByteArray exported = readFile(file);
    const Outlines o = readOutlines(exported);
    QVERIFY(o.ok);

    // Every text is still there, with the same words, but painted by nothing.
    const SvgPage before = parseSvgPage(inMemory);
    QStringList texts;
    for (const SvgText &t : before.texts) {
        texts << t.text;
    }
    QVERIFY(texts.size() > 20);
    QCOMPARE(o.texts, texts);
    for (const QString &opacity : o.textOpacities) {
        QCOMPARE(opacity, QStringLiteral("0"));
    }
    QCOMPARE(o.textOpacities.size(), texts.size());
    QVERIFY(texts.join(QString()).contains(QStringLiteral("皂罗袍")));

    // The glyphs are drawn from outlines the file defines, by winding, each
    // outline once.
    QVERIFY(!o.referenced.isEmpty());
    for (const QString &ref : o.referenced) {
        QVERIFY2(ref.startsWith(QLatin1Char('#')) && o.defined.contains(ref.mid(1)),
                 qPrintable(ref));
    }
    QCOMPARE(o.windingGroups, o.hiddenGroups);
    QVERIFY(o.hiddenGroups >= texts.size() - 5); // all but blank texts
    QCOMPARE(exported.count("<path id=\"qg"), o.defined.size());
    // A gongche page uses the score font's symbols; all its outlines are there.
    if (!jianpu) {
        const SvgText symbol = before.first(sym(0xF002C));
        QCOMPARE(symbol.family, FontRegistry::instance()->defaultFamily());
    }
    // The colours of the texts carry over to their glyphs.
    const QRegularExpression coloured(QStringLiteral("<g fill=\"#ff4c00\" fill-opacity=\"1\""));
    QCOMPARE(exported.count("fill=\"#ff4c00\"") > 0, inMemory.contains("fill=\"#ff4c00\""));
    if (!jianpu) {
        QVERIFY(coloured.match(QString::fromUtf8(exported)).hasMatch());
    }
}

void TestSelfContainedSvg::restOfThePageUnchanged() {
    QByteArray inMemory;
    const QString file = exportPage(sampleLines(), 0, &inMemory);
    QVERIFY(!file.isEmpty());
    const QByteArray exported = readFile(file);
    QVERIFY(exported.size() > inMemory.size());
    QCOMPARE(withoutText(exported), withoutText(inMemory));
    // Header, title and background as they were.
    QVERIFY(exported.startsWith(inMemory.left(inMemory.indexOf("<defs>"))));
}

void TestSelfContainedSvg::pageWithoutTextUnchanged() {
    m_engine.reset();
    m_engine.generate(cfg().pageStyle(), {}, false);
    QCOMPARE(m_engine.pages().size(), 1);
    QVERIFY(!m_engine.pages().first().contains("<text"));
    SelfContainedSvg converter;
    QCOMPARE(converter.convert(m_engine.pages().first()), m_engine.pages().first());
    QCOMPARE(converter.glyphCount(), 0);
}

void TestSelfContainedSvg::unreadablePageUnchanged() {
    SelfContainedSvg converter;
    const QByteArray broken("<svg><defs></defs><text x=\"1\" y=\"2\">字</tex></svg>");
    QCOMPARE(converter.convert(broken), broken);
    QCOMPARE(converter.convert(QByteArray()), QByteArray());
}

void TestSelfContainedSvg::glyphsSharedAcrossPages() {
    m_engine.reset();
    m_engine.generate(cfg().pageStyle(), manyPages(3), false);
    QVERIFY(m_engine.pages().size() >= 3);
    SelfContainedSvg converter;
    const QByteArray first = converter.convert(m_engine.pages().at(0));
    const int afterFirst = converter.glyphCount();
    QVERIFY(afterFirst > 10);
    // The same scene again: no outline is made twice, and each page still
    // defines every outline it uses.
    const QByteArray third = converter.convert(m_engine.pages().at(2));
    QCOMPARE(converter.glyphCount(), afterFirst);
    const Outlines o = readOutlines(third);
    for (const QString &ref : o.referenced) {
        QVERIFY(o.defined.contains(ref.mid(1)));
    }
    QVERIFY(!o.defined.isEmpty());
    QCOMPARE(readOutlines(first).defined, o.defined);
}

void TestSelfContainedSvg::pagesInMemoryStillNameTheirFonts() {
    m_engine.reset();
    m_engine.generate(cfg().pageStyle(), sampleLines(), false);
    const QList<QByteArray> before = m_engine.pages();
    PromptScript prompts;
    QVERIFY(m_engine.exportSvg(m_out.path()));
    QCOMPARE(m_engine.pages(), before);
    QVERIFY(!before.first().contains("<use"));
}

void TestSelfContainedSvg::readMeSaysNoFontIsNeeded() {
    const QString file = exportPage(sampleLines(), 0, nullptr);
    QVERIFY(!file.isEmpty());
    const QString readMe = QString::fromUtf8(
        readFile(QFileInfo(file).absolutePath() + QStringLiteral("/说明文件.txt")));
    QVERIFY2(readMe.contains(QStringLiteral("无需安装字体")), qPrintable(readMe));
}

QString TestSelfContainedSvg::writeFontConf(const QString &name, const QStringList &dirs,
                                            bool systemFonts) {
    QFile conf(m_out.filePath(name));
    if (!conf.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return QString();
    }
    QString body = QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM "
                                  "\"fonts.dtd\">\n<fontconfig>\n");
    if (systemFonts) {
        // The system's fonts, with 楷体 taken by the same font as in the program.
        body += QStringLiteral("<include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"
                               "<alias binding=\"same\"><family>楷体</family><prefer><family>"
                               "AR PL UKai CN</family></prefer></alias>\n");
    }
    for (const QString &dir : dirs) {
        body += QStringLiteral("<dir>%1</dir>\n").arg(dir.toHtmlEscaped());
    }
    body += QStringLiteral("<cachedir>%1</cachedir>\n</fontconfig>\n")
                .arg(m_out.filePath(name + QStringLiteral(".cache")));
    conf.write(body.toUtf8());
    return conf.fileName();
}

// The page rendered by librsvg at 144 dpi, twice the page units, on white.
QImage TestSelfContainedSvg::rsvg(const QString &conf, const QString &file) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FONTCONFIG_FILE"), conf);
    return QImage::fromData(runTool(QStringLiteral("rsvg-convert"),
                                    {QStringLiteral("-z"), QStringLiteral("2"),
                                     QStringLiteral("-b"), QStringLiteral("white"), file},
                                    env),
                            "PNG");
}

void TestSelfContainedSvg::rendersWithoutAnyFont_data() {
    QTest::addColumn<bool>("jianpu");
    QTest::newRow("gongche") << false;
    QTest::newRow("jianpu") << true;
}

void TestSelfContainedSvg::rendersWithoutAnyFont() {
    QFETCH(bool, jianpu);
    if (!haveTool(QStringLiteral("rsvg-convert"))) {
        QSKIP("rsvg-convert (librsvg2-bin) is not installed");
    }
    if (jianpu) {
        cfg().setNotation(PageStyle::Notation::Jianpu);
    }
    QByteArray inMemory;
    const QString exported = exportPage(sampleLines(), 0, &inMemory);
    QVERIFY(!exported.isEmpty());
    const QString folder = QFileInfo(exported).absolutePath();
    const QString named = m_out.filePath(QStringLiteral("named.svg"));
    QVERIFY(writeFile(named, inMemory));

    // A fontconfig that finds no font at all...
    const QString bare = writeFontConf(QStringLiteral("bare.conf"), {}, false);
    QVERIFY(!bare.isEmpty());
    if (haveTool(QStringLiteral("fc-list"))) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FONTCONFIG_FILE"), bare);
        const QByteArray fonts = runTool(QStringLiteral("fc-list"), {}, env);
        QVERIFY(!fonts.isNull());
        QVERIFY2(fonts.trimmed().isEmpty(), fonts.constData());
    }
    // ...and one with the system's fonts and the exported gongche font.
    const QString full = writeFontConf(QStringLiteral("full.conf"), {folder}, true);
    QVERIFY(!full.isEmpty());

    const QImage withoutFonts = rsvg(bare, exported);
    const QImage withFonts = rsvg(full, named);
    QVERIFY(!withoutFonts.isNull());
    QVERIFY(!withFonts.isNull());
    const QString tag = jianpu ? QStringLiteral("jianpu") : QStringLiteral("gongche");
    withoutFonts.save(m_out.filePath(tag + QStringLiteral("-exported-no-fonts.png")));
    withFonts.save(m_out.filePath(tag + QStringLiteral("-named-with-fonts.png")));
    QCOMPARE(withoutFonts.size(), withFonts.size());

    // The same page: nearly every pixel the same within antialiasing (the
    // fonts installed are hinted, the outlines are not), the same amount of
    // ink, no glyph missing.
    const Agreement same = agreement(withoutFonts, withFonts, 64);
    const int ink = inkOf(withFonts);
    const int inkWithout = inkOf(withoutFonts);
    double worst = 0;
    const double d = blockDifference(withoutFonts, withFonts, 8, &worst);
    qInfo("%s: %.2f%% of pixels agree, %.2f%% of ink; ink %d vs %d; blocks %.1f, at most %.1f",
          qPrintable(tag), 100 * same.all, 100 * same.ink, inkWithout, ink, d, worst);
    QVERIFY(ink > 2000);
    QVERIFY2(same.all >= 0.99, qPrintable(QString::number(same.all)));
    QVERIFY2(std::abs(inkWithout - ink) < ink / 20,
             qPrintable(QStringLiteral("%1 vs %2").arg(inkWithout).arg(ink)));
    QVERIFY2(d < 8 && worst < 50, qPrintable(QStringLiteral("%1, %2").arg(d).arg(worst)));

    // As Qt draws the page, too.
    const QImage byQt = renderSvg(inMemory, withoutFonts.size());
    double qtWorst = 0;
    const double qtD = blockDifference(withoutFonts, byQt, 8, &qtWorst);
    QVERIFY2(agreement(withoutFonts, byQt, 64).all >= 0.99 && qtD < 12 && qtWorst < 60,
             qPrintable(QStringLiteral("%1, %2").arg(qtD).arg(qtWorst)));

    // The measures see a page whose glyphs are missing: the page as the
    // typesetter holds it, without the fonts it names.
    const QImage missing = rsvg(bare, named);
    QVERIFY(!missing.isNull());
    double missingWorst = 0;
    blockDifference(missing, withFonts, 8, &missingWorst);
    const int missingInk = inkOf(missing);
    qInfo("%s without fonts: ink %d, blocks at most %.1f", qPrintable(tag), missingInk,
          missingWorst);
    QVERIFY2(missingWorst > 80 || std::abs(missingInk - ink) >= ink / 20,
             qPrintable(QStringLiteral("%1, %2").arg(missingWorst).arg(missingInk)));
}

QTEST_MAIN(TestSelfContainedSvg)
#include "tst_selfcontainedsvg.moc"

// The written files as other programs read them: poppler for the PDF, librsvg
// (with and without the exported font installed) for an SVG page.
#include "export/exportconfig.h"
#include "exportfixture.h"
#include "fonts/fontregistry.h"
#include "fonts/fontsubstitutions.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "testsupport.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The text without gongche symbols (Supplementary Private Use Area-A) and
// white space.
QString lyricsOnly(const QString &s) {
    QString out;
    for (int i = 0; i < s.size(); ++i) {
        if (s.at(i).isHighSurrogate() && i + 1 < s.size()) {
            const uint c = QChar::surrogateToUcs4(s.at(i), s.at(i + 1));
            if (c < 0xF0000 || c > 0xFFFFD) {
                out += s.mid(i, 2);
            }
            ++i;
        } else if (!s.at(i).isSpace()) {
            out += s.at(i);
        }
    }
    return out;
}

} // namespace

class TestReaders : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pdfPageCount();
    void pdfEmbedsBothFonts();
    void pdfTextIsSearchable();
    void pdfPagesLookLikeTheSvgPages();
    void pdfLandscapeAndCustomPaper();
    void svgPageWithTheExportedFont();

private:
    QString writePdf(const DocumentLines &lines, const QString &name);
    Typesetter m_engine;
    QTemporaryDir m_out;
    QString m_pdf;
};

void TestReaders::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
    ExportConfig::instance()->restoreDefaults();
    // QORVEL_KEEP_OUTPUT=1 keeps the written files and the renderings for a look.
    if (qEnvironmentVariableIsSet("QORVEL_KEEP_OUTPUT")) {
        m_out.setAutoRemove(false);
        qInfo("output kept in %s", qPrintable(m_out.path()));
    }
    m_pdf = writePdf(sampleLines(), QStringLiteral("sample.pdf"));
    QVERIFY(!m_pdf.isEmpty());
}

QString TestReaders::writePdf(const DocumentLines &lines, const QString &name) {
    m_engine.reset();
    m_engine.generate(ExportConfig::instance()->pageStyle(), lines, false);
    PromptScript prompts;
    const QString path = m_out.filePath(name);
    if (!m_engine.exportPdf(path) || prompts.count() != 0) {
        return QString();
    }
    return path;
}

void TestReaders::pdfPageCount() {
    if (!haveTool(QStringLiteral("pdfinfo"))) {
        QSKIP("pdfinfo (poppler-utils) is not installed");
    }
    const QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {m_pdf}));
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))), qPrintable(info));
    // The page is the paper in points.
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x "
                                                             "842(\\.\\d+)? pts"))),
             qPrintable(info));
    QVERIFY(info.contains(QStringLiteral("游园")));
}

void TestReaders::pdfEmbedsBothFonts() {
    if (!haveTool(QStringLiteral("pdffonts"))) {
        QSKIP("pdffonts (poppler-utils) is not installed");
    }
    const QString fonts = QString::fromUtf8(runTool(QStringLiteral("pdffonts"), {m_pdf}));
    const QStringList lines = fonts.split(QLatin1Char('\n'));
    auto embedded = [&](const QString &namePart) {
        for (const QString &l : lines) {
            if (l.contains(namePart, Qt::CaseInsensitive)) {
                // name type encoding emb sub uni object ID
                const QStringList cols = l.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                return cols.size() >= 5 && cols.at(cols.size() - 5) == QLatin1String("yes");
            }
        }
        return false;
    };
    QVERIFY2(embedded(QStringLiteral("Qorvel")), qPrintable(fonts));
    QVERIFY2(embedded(QStringLiteral("UKai")), qPrintable(fonts));
}

void TestReaders::pdfTextIsSearchable() {
    if (!haveTool(QStringLiteral("pdftotext"))) {
        QSKIP("pdftotext (poppler-utils) is not installed");
    }
    const QString text = lyricsOnly(QString::fromUtf8(runTool(
        QStringLiteral("pdftotext"), {QStringLiteral("-raw"), m_pdf, QStringLiteral("-")})));
    for (const QString &lyric :
         {QStringLiteral("游园"), QStringLiteral("皂罗袍"), QStringLiteral("原来姹紫嫣红开遍"),
          QStringLiteral("似这般都付与断井颓垣"), QStringLiteral("春香"),
          QStringLiteral("良辰美景奈何天")}) {
        QVERIFY2(text.contains(lyric), qPrintable(lyric + QStringLiteral(" in ") + text));
    }
}

void TestReaders::pdfPagesLookLikeTheSvgPages() {
    if (!haveTool(QStringLiteral("pdftoppm"))) {
        QSKIP("pdftoppm (poppler-utils) is not installed");
    }
    QList<QImage> fromPdf;
    for (int k = 1; k <= m_engine.pages().size(); ++k) {
        const QByteArray png = runTool(
            QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"), QString::number(k),
             QStringLiteral("-l"), QString::number(k), QStringLiteral("-png"), m_pdf});
        fromPdf << QImage::fromData(png, "PNG");
        QVERIFY(!fromPdf.last().isNull());
    }
    for (int k = 0; k < fromPdf.size(); ++k) {
        const QImage svg = renderSvg(m_engine.pages().at(k), fromPdf.at(k).size());
        double worst = 0;
        const double d = blockDifference(fromPdf.at(k), svg, 8, &worst);
        qInfo("page %d differs by %.1f, at most %.1f", k, d, worst);
        if (k == 0) {
            fromPdf.at(k).save(m_out.filePath(QStringLiteral("pdf-page.png")));
            svg.save(m_out.filePath(QStringLiteral("svg-page.png")));
        }
        QVERIFY2(d < 12, qPrintable(QStringLiteral("page %1 differs by %2").arg(k).arg(d)));
        // No glyph is missing (punctuation clipped to its small cell was).
        QVERIFY2(worst < 60,
                 qPrintable(QStringLiteral("page %1: a block by %2").arg(k).arg(worst)));
    }
    // The measure tells different pages apart, a page shifted by two pixels,
    // and one drawn at the wrong scale.
    const QImage other = renderSvg(m_engine.pages().at(1), fromPdf.at(0).size());
    QVERIFY(blockDifference(fromPdf.at(0), other, 8) > 40);
    const QImage shifted =
        renderSvg(m_engine.pages().at(0), fromPdf.at(0).size(), QTransform::fromTranslate(2, 0));
    QVERIFY(blockDifference(fromPdf.at(0), shifted, 8) > 18);
    const QImage scaled =
        renderSvg(m_engine.pages().at(0), fromPdf.at(0).size(), QTransform::fromScale(0.95, 0.95));
    QVERIFY(blockDifference(fromPdf.at(0), scaled, 8) > 25);
}

void TestReaders::pdfLandscapeAndCustomPaper() {
    if (!haveTool(QStringLiteral("pdfinfo"))) {
        QSKIP("pdfinfo (poppler-utils) is not installed");
    }
    ExportConfig &cfg = *ExportConfig::instance();
    cfg.setIsLandscape(true);
    QString pdf = writePdf(sampleLines(), QStringLiteral("landscape.pdf"));
    QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {pdf}));
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+842(\\.\\d+)? x "
                                                             "595(\\.\\d+)? pts"))),
             qPrintable(info));
    cfg.setIsLandscape(false);
    cfg.setPageSizeId(QPageSize::Custom);
    cfg.setPageWidth(400);
    cfg.setPageHeight(500);
    pdf = writePdf(sampleLines(), QStringLiteral("custom.pdf"));
    info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {pdf}));
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+400 x 500 pts"))),
             qPrintable(info));
    cfg.restoreDefaults();
}

void TestReaders::svgPageWithTheExportedFont() {
    if (!haveTool(QStringLiteral("rsvg-convert"))) {
        QSKIP("rsvg-convert (librsvg2-bin) is not installed");
    }
    m_engine.reset();
    m_engine.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    PromptScript prompts;
    QVERIFY(m_engine.exportSvg(m_out.path()));
    const QString folder = m_engine.lastExportPath();
    const QString fontFile =
        folder + QLatin1Char('/') + FontRegistry::instance()->defaultFamily() + ".ttf";
    QVERIFY(QFileInfo::exists(fontFile));

    // Fontconfig set-ups of the system fonts, with 楷体 taken by the same
    // font as in the program, and with or without the exported font.
    QTemporaryDir fc;
    auto writeConf = [&](const QString &name, bool withFont) {
        QFile conf(fc.filePath(name));
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Text)) {
            return QString();
        }
        conf.write(
            QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                           "<fontconfig>\n<include ignore_missing=\"yes\">/etc/fonts/fonts.conf"
                           "</include>\n%1<cachedir>%2</cachedir>\n"
                           "<alias binding=\"same\"><family>楷体</family><prefer><family>"
                           "AR PL UKai CN</family></prefer></alias>\n</fontconfig>\n")
                .arg(withFont ? QStringLiteral("<dir>%1</dir>\n").arg(folder.toHtmlEscaped())
                              : QString(),
                     fc.filePath(QStringLiteral("cache")))
                .toUtf8());
        return conf.fileName();
    };
    auto rsvg = [&](const QString &conf, const QString &page) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FONTCONFIG_FILE"), conf);
        return QImage::fromData(runTool(QStringLiteral("rsvg-convert"),
                                        {QStringLiteral("-b"), QStringLiteral("white"), page}, env),
                                "PNG");
    };
    const QString withFont = writeConf(QStringLiteral("with.conf"), true);
    const QString withoutFont = writeConf(QStringLiteral("without.conf"), false);
    QVERIFY(!withFont.isEmpty() && !withoutFont.isEmpty());

    const QString page = folder + QLatin1Char('/') +
                         Typesetter::safeFileName(m_engine.documentTitle()) +
                         QStringLiteral("_0.svg");
    const QImage byRsvg = rsvg(withFont, page);
    QVERIFY(!byRsvg.isNull());
    byRsvg.save(m_out.filePath(QStringLiteral("rsvg-page.png")));
    const QImage byQt = renderSvg(m_engine.pages().at(0), byRsvg.size());
    double worst = 0;
    const double d = blockDifference(byRsvg, byQt, 8, &worst);
    qInfo("rsvg page differs by %.1f, at most %.1f", d, worst);
    QVERIFY2(d < 12 && worst < 60,
             qPrintable(QStringLiteral("differs by %1, %2").arg(d).arg(worst)));

    // The exported page carries its glyphs: without the font it looks the same.
    const QImage bare = rsvg(withoutFont, page);
    QVERIFY(!bare.isNull());
    double bareWorst = 0;
    const double bareD = blockDifference(bare, byQt, 8, &bareWorst);
    QVERIFY2(bareD < 12 && bareWorst < 60,
             qPrintable(QStringLiteral("differs by %1, %2").arg(bareD).arg(bareWorst)));

    // The page as the typesetter holds it names the font: without it the
    // gongche symbols are missing, and the measure sees it.
    const QString named = m_out.filePath(QStringLiteral("named.svg"));
    QVERIFY(writeFile(named, m_engine.pages().at(0)));
    const QImage missing = rsvg(withoutFont, named);
    QVERIFY(!missing.isNull());
    double missingWorst = 0;
    blockDifference(missing, byQt, 8, &missingWorst);
    QVERIFY2(missingWorst > 80, qPrintable(QString::number(missingWorst)));
}

QTEST_MAIN(TestReaders)
#include "tst_readers.moc"

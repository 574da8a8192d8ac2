// Printing: the pages a printer gets are the pages the PDF export writes, in
// both notations, on the export's paper; which pages are printed and how
// often follows the printer's settings; nothing is printed for a document
// without pages.
#include "export/exportconfig.h"
#include "export/pageprinter.h"
#include "exportfixture.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

DocumentLines sampleAria() {
    QString lyric, score;
    if (!readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"), &lyric,
                       &score)) {
        return {};
    }
    return renderModel(lyric, score);
}

// The pages of a PDF file rendered at 50 dpi, first to last.
QList<QImage> renderPdf(const QString &pdf, const QString &prefix) {
    if (runTool(QStringLiteral("pdftoppm"),
                {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-png"), pdf, prefix})
            .isNull()) {
        return {};
    }
    const QFileInfo info(prefix);
    QStringList names = QDir(info.absolutePath())
                            .entryList({info.fileName() + QStringLiteral("-*.png")}, QDir::Files);
    // "-1.png", "-2.png", … and "-01.png" beyond nine pages: by number.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const auto number = [](const QString &n) {
            return n.section(QLatin1Char('-'), -1).section(QLatin1Char('.'), 0, 0).toInt();
        };
        return number(a) < number(b);
    });
    QList<QImage> pages;
    for (const QString &name : names) {
        pages << QImage(info.absolutePath() + QLatin1Char('/') + name);
    }
    return pages;
}

// "Page size: 595.276 x 841.89 pts (A4)" of pdfinfo, as a size in points.
QSizeF pdfPageSize(const QString &pdf) {
    const QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {pdf}));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

} // namespace

class TestPagePrinter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void pageLayoutFromTheStyle();
    void printedPagesMatchTheExport_data();
    void printedPagesMatchTheExport();
    void pageRangeOrderAndCopies();
    void rangeOutsideThePagesPrintsNothing();
    void nothingToPrint();
    void smallerPaperTakesTheWholePage();

private:
    QTemporaryDir m_out;
};

void TestPagePrinter::initTestCase() {
    QVERIFY(useProgramDir());
    QVERIFY(m_out.isValid());
    ExportConfig::instance()->restoreDefaults();
}

void TestPagePrinter::cleanup() {
    ExportConfig::instance()->restoreDefaults();
}

void TestPagePrinter::pageLayoutFromTheStyle() {
    PageStyle style = ExportConfig::instance()->pageStyle();
    QPageLayout layout = PagePrinter::pageLayout(style);
    QCOMPARE(layout.pageSize().id(), QPageSize::A4);
    QCOMPARE(layout.orientation(), QPageLayout::Portrait);
    QCOMPARE(layout.margins(), QMarginsF(0, 0, 0, 0));

    style.landscape = true;
    layout = PagePrinter::pageLayout(style);
    QCOMPARE(layout.orientation(), QPageLayout::Landscape);
    QCOMPARE(layout.fullRectPoints().size(), QSize(842, 595));

    style.landscape = false;
    style.pageWidth = 400;
    style.pageHeight = 500;
    layout = PagePrinter::pageLayout(style);
    QCOMPARE(layout.fullRectPoints().size(), QSize(400, 500));

    // The printer takes the paper and draws on all of it.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    PagePrinter::prepare(&printer, style, QStringLiteral("游园"));
    QCOMPARE(printer.pageLayout().fullRectPoints().size(), QSize(400, 500));
    QVERIFY(printer.fullPage());
    QCOMPARE(printer.docName(), QStringLiteral("游园"));
}

void TestPagePrinter::printedPagesMatchTheExport_data() {
    QTest::addColumn<bool>("jianpu");
    QTest::addColumn<bool>("landscape");
    QTest::newRow("gongche") << false << false;
    QTest::newRow("jianpu") << true << false;
    QTest::newRow("gongche landscape") << false << true;
}

void TestPagePrinter::printedPagesMatchTheExport() {
    QFETCH(bool, jianpu);
    QFETCH(bool, landscape);
    if (!haveTool(QStringLiteral("pdftoppm")) || !haveTool(QStringLiteral("pdfinfo"))) {
        QSKIP("pdftoppm and pdfinfo (poppler-utils) are not installed");
    }
    const DocumentLines lines = sampleAria();
    QVERIFY(!lines.isEmpty());
    PageStyle style = ExportConfig::instance()->pageStyle();
    style.notation = jianpu ? PageStyle::Notation::Jianpu : PageStyle::Notation::Gongche;
    style.landscape = landscape;
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');

    Typesetter engine;
    engine.generate(style, lines, false);
    const int pageCount = engine.pages().size();
    QVERIFY(pageCount >= 2);
    const QString exported = m_out.filePath(tag + QStringLiteral("-export.pdf"));
    QVERIFY(engine.exportPdf(exported));

    const QString printed = m_out.filePath(tag + QStringLiteral("-print.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printed);
        const Outcome outcome = PagePrinter::print(&printer, style, lines);
        QVERIFY2(outcome.ok(), qPrintable(outcome.message()));
        QCOMPARE(outcome.path(), printed);
    }

    const QSizeF exportedSize = pdfPageSize(exported);
    const QSizeF printedSize = pdfPageSize(printed);
    QVERIFY(!exportedSize.isEmpty());
    QVERIFY2(qAbs(exportedSize.width() - printedSize.width()) < 0.5 &&
                 qAbs(exportedSize.height() - printedSize.height()) < 0.5,
             qPrintable(QStringLiteral("%1 x %2 against %3 x %4")
                            .arg(printedSize.width())
                            .arg(printedSize.height())
                            .arg(exportedSize.width())
                            .arg(exportedSize.height())));
    QCOMPARE(printedSize.width() > printedSize.height(), landscape);

    const QList<QImage> fromExport =
        renderPdf(exported, m_out.filePath(tag + QStringLiteral("-e")));
    const QList<QImage> fromPrint = renderPdf(printed, m_out.filePath(tag + QStringLiteral("-p")));
    QCOMPARE(fromExport.size(), pageCount);
    QCOMPARE(fromPrint.size(), pageCount);
    for (int k = 0; k < pageCount; ++k) {
        QCOMPARE(fromPrint.at(k).size(), fromExport.at(k).size());
        double worst = 0;
        const double d = blockDifference(fromPrint.at(k), fromExport.at(k), 4, &worst);
        qInfo("%s page %d differs by %.2f, at most %.1f", QTest::currentDataTag(), k + 1, d, worst);
        QVERIFY2(d < 3, qPrintable(QStringLiteral("page %1 differs by %2").arg(k + 1).arg(d)));
        QVERIFY2(worst < 40,
                 qPrintable(QStringLiteral("page %1: a block by %2").arg(k + 1).arg(worst)));
    }
    // The measure tells pages apart: the first printed page is not the second.
    QVERIFY(blockDifference(fromPrint.at(0), fromExport.at(1), 4) > 10);
}

void TestPagePrinter::pageRangeOrderAndCopies() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    QCOMPARE(PagePrinter::pageSequence(printer, 3), QVector<int>({0, 1, 2}));

    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    QCOMPARE(PagePrinter::pageSequence(printer, 5), QVector<int>({1, 2}));
    printer.setFromTo(4, 9); // beyond the last page
    QCOMPARE(PagePrinter::pageSequence(printer, 5), QVector<int>({3, 4}));
    printer.setPageOrder(QPrinter::LastPageFirst);
    QCOMPARE(PagePrinter::pageSequence(printer, 5), QVector<int>({4, 3}));

    printer.setPageOrder(QPrinter::FirstPageFirst);
    printer.setPrintRange(QPrinter::AllPages);
    printer.setCopyCount(2);
    if (printer.supportsMultipleCopies()) {
        QCOMPARE(PagePrinter::pageSequence(printer, 2), QVector<int>({0, 1}));
    } else {
        printer.setCollateCopies(true);
        QCOMPARE(PagePrinter::pageSequence(printer, 2), QVector<int>({0, 1, 0, 1}));
        printer.setCollateCopies(false);
        QCOMPARE(PagePrinter::pageSequence(printer, 2), QVector<int>({0, 0, 1, 1}));
    }
}

void TestPagePrinter::rangeOutsideThePagesPrintsNothing() {
    const QString pdf = m_out.filePath(QStringLiteral("outside.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(7, 8);
    Typesetter engine;
    engine.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    QVERIFY(engine.pages().size() < 7);
    const Outcome outcome = PagePrinter::print(&printer, engine);
    QVERIFY(!outcome.ok());
    QVERIFY(!outcome.message().isEmpty());
    QVERIFY(!QFile::exists(pdf));
}

void TestPagePrinter::nothingToPrint() {
    const QString pdf = m_out.filePath(QStringLiteral("empty.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    const Typesetter engine; // nothing typeset
    const Outcome outcome = PagePrinter::print(&printer, engine);
    QVERIFY(!outcome.ok());
    QCOMPARE(outcome.message(), QStringLiteral("没有可打印的页面。"));
    QVERIFY(!QFile::exists(pdf));
}

// A5 paper chosen in the dialog for A4 pages: each page is scaled down to
// fit, whole, rather than cut off.
void TestPagePrinter::smallerPaperTakesTheWholePage() {
    if (!haveTool(QStringLiteral("pdftoppm"))) {
        QSKIP("pdftoppm (poppler-utils) is not installed");
    }
    Typesetter engine;
    engine.generate(ExportConfig::instance()->pageStyle(), sampleLines(), false);
    const QString exported = m_out.filePath(QStringLiteral("a4.pdf"));
    QVERIFY(engine.exportPdf(exported));
    const QString printed = m_out.filePath(QStringLiteral("a5.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printed);
    PagePrinter::prepare(&printer, engine.style(), engine.documentTitle());
    printer.setPageSize(QPageSize(QPageSize::A5));
    QVERIFY(PagePrinter::print(&printer, engine));

    const QList<QImage> a4 = renderPdf(exported, m_out.filePath(QStringLiteral("a4")));
    const QList<QImage> a5 = renderPdf(printed, m_out.filePath(QStringLiteral("a5")));
    QCOMPARE(a5.size(), a4.size());
    // A5 is A4 halved: the A4 page scaled to the A5 size is the printed page.
    const QImage scaled =
        a4.first().scaled(a5.first().size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const double d = blockDifference(a5.first(), scaled, 4);
    QVERIFY2(d < 12, qPrintable(QString::number(d)));
}

QTEST_MAIN(TestPagePrinter)
#include "tst_pageprinter.moc"

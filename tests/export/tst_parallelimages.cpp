// PNG and JPG pages drawn and encoded on several threads: the files are the
// images a page-by-page render gives, each under its own page's name, grey
// where a page has no colour, reported page by page from the calling
// thread; a page that cannot be written stops the export as before.
#include "export/exportconfig.h"
#include "exportfixture.h"
#include "fonts/fontsubstitutions.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "testsupport.h"
#include "typeset/typesetter.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

ExportConfig &cfg() {
    return *ExportConfig::instance();
}

const QString pool = QStringLiteral(
    "原来姹紫嫣红开遍似这般都付与断井颓垣良辰美景奈何天赏心乐事谁家院朝飞暮卷云霞翠轩"
    "雨丝风片烟波画船锦屏人忒看的这韶光贱");

// pages pages, each with other characters: a tune heading and a sung line
// whose characters start further along the pool on every page. With marks,
// every character gets a beat mark (drawn in the style's colours); without,
// pitches only.
DocumentLines distinctPages(int pages, bool marks = true) {
    const QStringList pitches = {sym(0xF002C), sym(0xF0030), sym(0xF002F), sym(0xF0031)};
    QStringList lyric;
    QStringList scores;
    for (int p = 0; p < pages; ++p) {
        if (p > 0) {
            lyric << QStringLiteral("@分页符");
        }
        lyric << QStringLiteral("【皂罗袍】");
        QString line;
        for (int i = 0; i < 12; ++i) {
            line += pool.at((p * 5 + i) % pool.size());
        }
        lyric << line;
        for (int i = 0; i < line.size(); ++i) {
            scores << pitches.at((p + i) % pitches.size()) +
                          (marks ? sym(i % 2 ? 0xF0001 : 0xF0000) : QString());
        }
    }
    return renderModel(lyric.join(QLatin1Char('\n')), scores.join(QLatin1Char('\n')));
}

QString pageFile(const Outcome &outcome, const Typesetter &g, int page, const QString &fmt) {
    return outcome.path() + QLatin1Char('/') + Typesetter::safeFileName(g.documentTitle()) +
           QLatin1Char('_') + QString::number(page) + QLatin1Char('.') + fmt;
}

bool sameImage(const QImage &a, const QImage &b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

bool isOpaqueGrey(const QImage &image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            if (qAlpha(p) != 255 || qRed(p) != qGreen(p) || qGreen(p) != qBlue(p)) {
                return false;
            }
        }
    }
    return true;
}

QImage::Format storedFormat(const QString &path) {
    QImageReader reader(path);
    return reader.imageFormat();
}

} // namespace

class TestParallelImages : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void pngIsTheSequentialRender();
    void jpgIsTheSequentialRender();
    void greyOnlyWithoutColour();
    void transparentPagesKeepTheirAlpha();
    void progressFromTheCallingThreadInOrder();
    void laterPageFails();
    void pageImageOutOfRange();
};

void TestParallelImages::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
    qInfo("%d threads", QThread::idealThreadCount());
}

void TestParallelImages::init() {
    cfg().restoreDefaults();
}

void TestParallelImages::pngIsTheSequentialRender() {
    Typesetter g;
    g.generate(cfg().pageStyle(), distinctPages(7), false);
    const int n = g.pages().size();
    QCOMPARE(n, 7);
    QTemporaryDir dir;
    PromptScript prompts;
    const Outcome outcome = g.exportImages(dir.path(), 0, QStringLiteral("png"));
    QVERIFY(outcome);
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(QDir(outcome.path()).entryList(QDir::Files).size(), n);

    QList<QImage> expected;
    for (int k = 0; k < n; ++k) {
        expected << g.pageImage(k, 96, true);
        QCOMPARE(expected.last().size(), QSize(794, 1123));
    }
    for (int k = 0; k < n; ++k) {
        const QImage written(pageFile(outcome, g, k, QStringLiteral("png")));
        QVERIFY(!written.isNull());
        QVERIFY2(sameImage(written, expected.at(k)), qPrintable(QString::number(k)));
        // The pages differ, so a page under another's name would be seen.
        if (k > 0) {
            QVERIFY(!sameImage(written, expected.at(k - 1)));
        }
    }
}

void TestParallelImages::jpgIsTheSequentialRender() {
    Typesetter g;
    g.generate(cfg().pageStyle(), distinctPages(5), false);
    const int n = g.pages().size();
    QTemporaryDir dir;
    PromptScript prompts;
    const Outcome outcome = g.exportImages(dir.path(), 0, QStringLiteral("JPG"));
    QVERIFY(outcome);
    for (int k = 0; k < n; ++k) {
        // The same image, encoded on this thread as the writer encodes it.
        QImage image = g.pageImage(k, 96, false);
        QVERIFY(!image.hasAlphaChannel());
        if (isOpaqueGrey(image)) {
            image = image.convertToFormat(QImage::Format_Grayscale8);
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpg");
        writer.setQuality(100);
        QVERIFY(writer.write(image));
        QFile file(pageFile(outcome, g, k, QStringLiteral("jpg")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == bytes, qPrintable(QString::number(k)));
    }
}

void TestParallelImages::greyOnlyWithoutColour() {
    // The second page has no beat marks: nothing in the marks' colour.
    const DocumentLines lines = distinctPages(1, true)
                                << lineOf(LineKind::PageBreak, QStringLiteral("@分页符"))
                                << lineOf(LineKind::LianBai,
                                          QStringLiteral("= 春香，你看这园中景致如何？"));
    Typesetter g;
    g.generate(cfg().pageStyle(), lines, false);
    QCOMPARE(g.pages().size(), 2);
    QTemporaryDir dir;
    PromptScript prompts;
    for (const QString &fmt : {QStringLiteral("png"), QStringLiteral("jpg")}) {
        const Outcome outcome = g.exportImages(dir.path(), 0, fmt);
        QVERIFY(outcome);
        QCOMPARE(storedFormat(pageFile(outcome, g, 0, fmt)), QImage::Format_RGB32);
        QCOMPARE(storedFormat(pageFile(outcome, g, 1, fmt)), QImage::Format_Grayscale8);
        QVERIFY(!isOpaqueGrey(g.pageImage(0, 96, fmt == QLatin1String("png"))));
        QVERIFY(isOpaqueGrey(g.pageImage(1, 96, fmt == QLatin1String("png"))));
    }

    // Every colour black: every page grey.
    cfg().setBanColor(Qt::black);
    cfg().setZhongYanColor(Qt::black);
    g.reset();
    g.generate(cfg().pageStyle(), distinctPages(3), false);
    const Outcome outcome = g.exportImages(dir.path(), 0, QStringLiteral("png"));
    QVERIFY(outcome);
    for (int k = 0; k < g.pages().size(); ++k) {
        const QString file = pageFile(outcome, g, k, QStringLiteral("png"));
        QCOMPARE(storedFormat(file), QImage::Format_Grayscale8);
        QVERIFY(sameImage(QImage(file), g.pageImage(k, 96, true)));
    }
}

void TestParallelImages::transparentPagesKeepTheirAlpha() {
    cfg().setIsBgTransparent(true);
    cfg().setBanColor(Qt::black);
    cfg().setZhongYanColor(Qt::black);
    Typesetter g;
    g.generate(cfg().pageStyle(), distinctPages(3), false);
    QTemporaryDir dir;
    PromptScript prompts;
    const Outcome outcome = g.exportImages(dir.path(), 0, QStringLiteral("png"));
    QVERIFY(outcome);
    for (int k = 0; k < g.pages().size(); ++k) {
        const QString file = pageFile(outcome, g, k, QStringLiteral("png"));
        QCOMPARE(storedFormat(file), QImage::Format_ARGB32);
        const QImage written(file);
        QCOMPARE(written.pixelColor(2, 2).alpha(), 0);
        QVERIFY(sameImage(written, g.pageImage(k, 96, true)));
    }
    // A JPG of the same pages is opaque, on the style's colour, and grey.
    const Outcome jpg = g.exportImages(dir.path(), 0, QStringLiteral("jpg"));
    QVERIFY(jpg);
    QCOMPARE(storedFormat(pageFile(jpg, g, 0, QStringLiteral("jpg"))), QImage::Format_Grayscale8);
}

void TestParallelImages::progressFromTheCallingThreadInOrder() {
    Typesetter g;
    g.generate(cfg().pageStyle(), distinctPages(9), false);
    const int n = g.pages().size();
    QTemporaryDir dir;
    PromptScript prompts;
    QList<int> values;
    QList<Typesetter::Progress> states;
    bool elsewhere = false;
    bool early = false;
    QThread *const here = QThread::currentThread();
    const QString title = Typesetter::safeFileName(g.documentTitle());
    const QString folder = dir.filePath(title + QStringLiteral("_png"));
    // A direct connection: each report runs where it is emitted.
    const auto connection = connect(
        &g, &Typesetter::progressUpdate, this,
        [&](Typesetter::Task task, Typesetter::Progress progress, int value, int max) {
            elsewhere = elsewhere || QThread::currentThread() != here ||
                        task != Typesetter::Task::WriteImages || max != n;
            // Each page is on disk (in the folder that takes the final name
            // when all are written) when it is reported, and the next is not.
            if (progress == Typesetter::Progress::Advanced) {
                const QStringList pending =
                    QDir(dir.path())
                        .entryList({QStringLiteral(".qv-*")}, QDir::Dirs | QDir::Hidden);
                const auto page = [&](int k) {
                    return QStringLiteral("%1/%2/%3_%4.png")
                        .arg(dir.path(), pending.value(0), title)
                        .arg(k);
                };
                early =
                    early || !QFileInfo::exists(page(value - 1)) || QFileInfo::exists(page(value));
            }
            values << value;
            states << progress;
        },
        Qt::DirectConnection);
    const Outcome outcome = g.exportImages(dir.path(), 1, QStringLiteral("png"));
    disconnect(connection);
    QVERIFY(outcome);
    QCOMPARE(outcome.path(), folder);
    QVERIFY(!elsewhere);
    QVERIFY(!early);
    QCOMPARE(values.size(), n + 2);
    QCOMPARE(states.first(), Typesetter::Progress::Started);
    QCOMPARE(states.last(), Typesetter::Progress::Finished);
    for (int k = 0; k <= n; ++k) {
        QCOMPARE(values.at(k), k);
    }
    QCOMPARE(values.last(), n);
}

void TestParallelImages::laterPageFails() {
    // A nearly empty first page and a full second one: a file size limit
    // between their sizes lets the first be written and stops the second.
    DocumentLines lines = renderModel(
        QStringLiteral("原\n@分页符\n") +
            (QStringList() << pool << pool << pool << pool << pool << pool).join(QLatin1Char('\n')),
        QString());
    Typesetter g;
    g.generate(cfg().pageStyle(), lines, false);
    QVERIFY(g.pages().size() >= 2);
    QTemporaryDir dir;
    PromptScript prompts;
    const Outcome first = g.exportImages(dir.path(), 0, QStringLiteral("png"));
    QVERIFY(first);
    const qint64 small = QFileInfo(pageFile(first, g, 0, QStringLiteral("png"))).size();
    const qint64 large = QFileInfo(pageFile(first, g, 1, QStringLiteral("png"))).size();
    QVERIFY2(small * 2 < large, qPrintable(QStringLiteral("%1 %2").arg(small).arg(large)));

    QSignalSpy spy(&g, &Typesetter::progressUpdate);
    Outcome outcome;
    {
        FileSizeLimit limit(rlim_t((small + large) / 2));
        QVERIFY(limit.ok());
        outcome = g.exportImages(dir.path(), 0, QStringLiteral("png"));
    }
    QVERIFY(!outcome);
    QCOMPARE(prompts.count(), 0); // the caller shows the message
    QCOMPARE(outcome.title(), QStringLiteral("提示"));
    QCOMPARE(outcome.message(), QStringLiteral("导出图片失败：文件超过了系统允许的大小。"));
    QCOMPARE(spy.size(), 3);
    QCOMPARE(spy.at(1).at(1).value<Typesetter::Progress>(), Typesetter::Progress::Advanced);
    QCOMPARE(spy.at(1).at(2).toInt(), 1);
    QCOMPARE(spy.at(2).at(1).value<Typesetter::Progress>(), Typesetter::Progress::Finished);
    QCOMPARE(spy.at(2).at(2).toInt(), 2);
    // No partial set: only the folder of the first, complete export is there.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{Typesetter::safeFileName(g.documentTitle()) + QStringLiteral("_png")});
}

void TestParallelImages::pageImageOutOfRange() {
    Typesetter g;
    QVERIFY(g.pageImage(0, 96, true).isNull());
    g.generate(cfg().pageStyle(), distinctPages(1), false);
    QVERIFY(!g.pageImage(0, 96, true).isNull());
    QVERIFY(g.pageImage(1, 96, true).isNull());
    QVERIFY(g.pageImage(-1, 96, false).isNull());
}

QTEST_MAIN(TestParallelImages)
#include "tst_parallelimages.moc"

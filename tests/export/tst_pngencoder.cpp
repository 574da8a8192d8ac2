// The PNG files of page images: every pixel as it was, in the smallest
// colour type the image's format allows, with its resolution, readable by Qt
// and by ImageMagick.
#include "exportfixture.h"
#include "typeset/pngencoder.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// An image of size in format with every kind of pixel: random colours and
// alpha, paper white, ink black, and runs of each.
QImage sampleImage(const QSize &size, QImage::Format format, quint32 seed) {
    QImage image(size, QImage::Format_ARGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            QRgb p = random.generate();
            if ((x / 7 + y) % 3 == 0) {
                p = qRgba(255, 255, 255, 255);
            } else if ((x + y / 5) % 4 == 0) {
                p = qRgba(0, 0, 0, 255);
            }
            image.setPixel(x, y, p);
        }
    }
    image = image.convertToFormat(format);
    image.setDotsPerMeterX(11811); // 300 dpi
    image.setDotsPerMeterY(11811);
    return image;
}

struct Read {
    QImage image;
    QImage::Format stored = QImage::Format_Invalid;
};

Read readPng(const QByteArray &png) {
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    Read r;
    r.stored = reader.imageFormat();
    r.image = reader.read();
    return r;
}

} // namespace

class TestPngEncoder : public QObject {
    Q_OBJECT

private slots:
    void everyPixelKept_data();
    void everyPixelKept();
    void otherFormatsAsArgb();
    void levelsGiveTheSamePixels();
    void nullImage();
    void readByImageMagick();
};

void TestPngEncoder::everyPixelKept_data() {
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("grey") << QImage::Format_Grayscale8 << QSize(37, 23);
    QTest::newRow("rgb") << QImage::Format_RGB32 << QSize(64, 9);
    QTest::newRow("argb") << QImage::Format_ARGB32 << QSize(5, 41);
    QTest::newRow("one pixel") << QImage::Format_RGB32 << QSize(1, 1);
    QTest::newRow("a wide row") << QImage::Format_Grayscale8 << QSize(3001, 2);
}

void TestPngEncoder::everyPixelKept() {
    QFETCH(QImage::Format, format);
    QFETCH(QSize, size);
    const QImage image = sampleImage(size, format, 7);
    const QByteArray png = PngEncoder::encode(image);
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QVERIFY(png.endsWith(QByteArray("IEND\xae\x42\x60\x82", 8)));
    const Read r = readPng(png);
    QVERIFY(!r.image.isNull());
    QCOMPARE(r.stored, format);
    QCOMPARE(r.image.size(), size);
    QCOMPARE(r.image.convertToFormat(QImage::Format_ARGB32),
             image.convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(r.image.dotsPerMeterX(), 11811);
    QCOMPARE(r.image.dotsPerMeterY(), 11811);
}

void TestPngEncoder::otherFormatsAsArgb() {
    const QImage premultiplied = sampleImage(QSize(20, 20), QImage::Format_ARGB32_Premultiplied, 3);
    const Read r = readPng(PngEncoder::encode(premultiplied));
    QCOMPARE(r.stored, QImage::Format_ARGB32);
    QCOMPARE(r.image.convertToFormat(QImage::Format_ARGB32),
             premultiplied.convertToFormat(QImage::Format_ARGB32));
}

void TestPngEncoder::levelsGiveTheSamePixels() {
    // A page-like image: white with a few black bars.
    QImage page(400, 300, QImage::Format_Grayscale8);
    page.fill(255);
    for (int y = 40; y < 260; y += 20) {
        for (int x = 30; x < 370; ++x) {
            page.setPixel(x, y, qRgb(0, 0, 0));
        }
    }
    const QByteArray stored = PngEncoder::encode(page, 0);
    const QByteArray fast = PngEncoder::encode(page, 2);
    const QByteArray best = PngEncoder::encode(page, 9);
    QVERIFY(stored.size() > page.width() * page.height());
    QVERIFY(fast.size() < stored.size() / 20);
    QVERIFY(best.size() <= fast.size());
    for (const QByteArray &png : {stored, fast, best}) {
        QCOMPARE(readPng(png).image.convertToFormat(QImage::Format_Grayscale8), page);
    }
}

void TestPngEncoder::nullImage() {
    QVERIFY(PngEncoder::encode(QImage()).isNull());
}

void TestPngEncoder::readByImageMagick() {
    if (!haveTool(QStringLiteral("convert"))) {
        QSKIP("ImageMagick is not installed");
    }
    QTemporaryDir dir;
    for (QImage::Format format :
         {QImage::Format_Grayscale8, QImage::Format_RGB32, QImage::Format_ARGB32}) {
        const QImage image = sampleImage(QSize(31, 17), format, 11);
        const QString in = dir.filePath(QStringLiteral("in.png"));
        QFile file(in);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(PngEncoder::encode(image));
        file.close();
        // Converted to a plain RGBA file by another decoder: the same pixels.
        const QString out = dir.filePath(QStringLiteral("out.png"));
        QVERIFY(!runTool(QStringLiteral("convert"), {in, QStringLiteral("PNG32:") + out}).isNull());
        const QImage back(out);
        QVERIFY(!back.isNull());
        QCOMPARE(back.convertToFormat(QImage::Format_ARGB32),
                 image.convertToFormat(QImage::Format_ARGB32));
    }
}

QTEST_MAIN(TestPngEncoder)
#include "tst_pngencoder.moc"

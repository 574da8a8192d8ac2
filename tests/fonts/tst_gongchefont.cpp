// The embedded gongche font: its names, its coverage of the dictionary's
// symbols, the layout rules of its glyphs, and that the toolkit finds, draws
// and embeds it.
#include "fonts/fontregistry.h"
#include "platform/apppaths.h"
#include "testsupport.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QProcess>
#include <QRawFont>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

const QString kFamily = QStringLiteral("Qorvel工尺谱字体");
const QString kResource = QStringLiteral(":/resources/fonts/tolvk.ttf");

// At a pixel size equal to the units per em, font units and pixels coincide.
constexpr int kUpm = 1024;
constexpr qreal kAscent = 900;
constexpr qreal kDescent = 124;

QString hex(uint code) {
    return QStringLiteral("U+%1").arg(code, 5, 16).toUpper();
}

quint32 glyphOf(const QRawFont &font, uint code) {
    return font.glyphIndexesForString(sym(code)).value(0);
}

// Every distinct code of the shipped dictionary, in file order.
QVector<uint> dictionaryCodes() {
    QVector<uint> codes;
    QFile file(QStringLiteral(":/resources/wordsdict.csv"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return codes;
    }
    QTextStream in(&file);
    in.setCodec("UTF-8");
    in.readLine();
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char(' '));
        bool ok = false;
        const uint code = QString(fields.value(0)).remove(QLatin1Char('U')).toUInt(&ok, 16);
        if (ok && !codes.contains(code)) {
            codes.append(code);
        }
    }
    return codes;
}

// The strings of one sfnt "name" table for a name id, keyed by language id
// (Windows platform, Unicode BMP encoding only).
QMap<int, QString> windowsNames(const QByteArray &table, int nameId) {
    QMap<int, QString> out;
    const auto *d = reinterpret_cast<const uchar *>(table.constData());
    if (table.size() < 6) {
        return out;
    }
    const int count = qFromBigEndian<quint16>(d + 2);
    const int strings = qFromBigEndian<quint16>(d + 4);
    for (int i = 0; i < count && 6 + 12 * (i + 1) <= table.size(); ++i) {
        const uchar *r = d + 6 + 12 * i;
        const int platform = qFromBigEndian<quint16>(r);
        const int encoding = qFromBigEndian<quint16>(r + 2);
        const int language = qFromBigEndian<quint16>(r + 4);
        const int id = qFromBigEndian<quint16>(r + 6);
        const int length = qFromBigEndian<quint16>(r + 8);
        const int offset = qFromBigEndian<quint16>(r + 10);
        if (platform != 3 || encoding != 1 || id != nameId ||
            strings + offset + length > table.size()) {
            continue;
        }
        QString s;
        for (int k = 0; k + 1 < length; k += 2) {
            s.append(QChar(qFromBigEndian<quint16>(d + strings + offset + k)));
        }
        out.insert(language, s);
    }
    return out;
}

QByteArray pathSignature(const QPainterPath &path) {
    QByteArray sig;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        sig += QByteArray::number(int(e.type)) + ':' + QByteArray::number(qRound(e.x)) + ',' +
               QByteArray::number(qRound(e.y)) + ';';
    }
    return sig;
}

} // namespace

class TestGongcheFont : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void registeredAsTheDefaultFamily();
    void namesMetricsAndEmbeddingPermission();
    void coversExactlyTheDictionarySymbols();
    void inkStandsOnTheBaseline();
    void tightBoundingRectIsTheInk();
    void smallFormsAreScaledFullForms();
    void everySymbolHasItsOwnOutline();
    void drawnThroughAPlainFontOfTheFamily();
    void embeddedInPdfOutput();
    void generatorReproducesTheResource();

private:
    QTemporaryDir m_home;
    QRawFont m_font;
    QVector<uint> m_codes;
};

void TestGongcheFont::initTestCase() {
    QVERIFY(m_home.isValid());
    AppPaths::setProgramDirOverride(m_home.path(), true);
    m_font = QRawFont(kResource, kUpm);
    QVERIFY(m_font.isValid());
    m_codes = dictionaryCodes();
    QCOMPARE(m_codes.size(), 138);
}

void TestGongcheFont::registeredAsTheDefaultFamily() {
    QFile file(kResource);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray head = file.read(4);
    QCOMPARE(head, QByteArray("\x00\x01\x00\x00", 4)); // TrueType outlines

    FontRegistry *registry = FontRegistry::instance();
    QCOMPARE(registry->defaultFamily(), kFamily);
    QVERIFY(!registry->families().isEmpty());
    QCOMPARE(registry->families().first(), kFamily);
    // Registering again (every reload does) keeps one family.
    registry->reload();
    QCOMPARE(registry->families().count(kFamily), 1);
}

void TestGongcheFont::namesMetricsAndEmbeddingPermission() {
    // QRawFont reads the family through FreeType, which turns non-ASCII
    // letters into "?"; the name table itself is checked below.
    QVERIFY(m_font.familyName().startsWith(QLatin1String("Qorvel")));
    QCOMPARE(m_font.styleName(), QStringLiteral("Regular"));
    QCOMPARE(m_font.unitsPerEm(), qreal(kUpm));
    QCOMPARE(m_font.ascent(), kAscent);
    QCOMPARE(m_font.descent(), kDescent);

    // The family reads the same in English and Simplified Chinese records,
    // whichever one a font database prefers.
    const QMap<int, QString> families = windowsNames(m_font.fontTable("name"), 1);
    QCOMPARE(families.value(0x409), kFamily);
    QCOMPARE(families.value(0x804), kFamily);
    QCOMPARE(windowsNames(m_font.fontTable("name"), 6).value(0x409),
             QStringLiteral("QorvelGongche-Regular"));

    // OS/2 fsType 0: installable embedding, so PDF output may carry the font.
    const QByteArray os2 = m_font.fontTable("OS/2");
    QVERIFY(os2.size() >= 78);
    const auto *d = reinterpret_cast<const uchar *>(os2.constData());
    QCOMPARE(int(qFromBigEndian<quint16>(d + 8)), 0);
    // xAvgCharWidth is one em: the width of the pitch lane of a score.
    QCOMPARE(int(qFromBigEndian<qint16>(d + 2)), kUpm);
}

void TestGongcheFont::coversExactlyTheDictionarySymbols() {
    const QSet<uint> expected(m_codes.begin(), m_codes.end());
    for (uint code : m_codes) {
        QVERIFY2(m_font.supportsCharacter(code), qPrintable(hex(code)));
    }
    // The gaps and the ends of the block hold nothing.
    for (uint code = 0xF0000; code <= 0xF00FF; ++code) {
        QCOMPARE(m_font.supportsCharacter(code), expected.contains(code));
    }
    QVERIFY(expected.contains(0xF0000) && expected.contains(0xF000D));
    QVERIFY(expected.contains(0xF0020) && expected.contains(0xF009B));
    // Besides the symbols only the ASCII space: the ideographic space and the
    // ideographs themselves are left to the system fonts.
    QVERIFY(m_font.supportsCharacter(QChar(0x20)));
    QVERIFY(!m_font.supportsCharacter(QChar(0x3000)));
    QVERIFY(!m_font.supportsCharacter(QChar(0x5408))); // 合 itself is not part of it
    // .notdef, space and one glyph per symbol, nothing else.
    const QByteArray maxp = m_font.fontTable("maxp");
    QVERIFY(maxp.size() >= 6);
    QCOMPARE(int(qFromBigEndian<quint16>(reinterpret_cast<const uchar *>(maxp.constData()) + 4)),
             m_codes.size() + 2);
}

void TestGongcheFont::inkStandsOnTheBaseline() {
    // Every symbol's ink starts at the baseline, centred in its one-em
    // advance, below the ascent.
    for (uint code : qAsConst(m_codes)) {
        const quint32 glyph = glyphOf(m_font, code);
        const QByteArray what = hex(code).toLatin1();
        const QPointF advance = m_font.advancesForGlyphIndexes({glyph}).value(0);
        QVERIFY2(qFuzzyCompare(advance.x(), qreal(kUpm)), what.constData());
        const QRectF ink = m_font.boundingRect(glyph);
        QVERIFY2(ink.width() > 40 && ink.height() > 40, what.constData());
        QVERIFY2(qAbs(ink.center().x() - kUpm / 2.0) <= 2, what.constData());
        QVERIFY2(qAbs(ink.bottom()) <= 1, what.constData());
        QVERIFY2(ink.top() >= -kAscent, what.constData());
        QVERIFY2(ink.left() >= 0 && ink.right() <= kUpm, what.constData());
    }
    // The tallest ink comes close to the ascent: the line box fits the ink.
    qreal tallest = 0;
    for (uint code : qAsConst(m_codes)) {
        tallest = qMax(tallest, -m_font.boundingRect(glyphOf(m_font, code)).top());
    }
    QVERIFY2(tallest > kAscent - 80, QByteArray::number(tallest).constData());
    // Beat marks stay smaller than the pitch signs they accompany.
    const QRectF ban = m_font.boundingRect(glyphOf(m_font, 0xF0000));
    const QRectF gong = m_font.boundingRect(glyphOf(m_font, 0xF002C));
    QVERIFY(ban.height() < gong.height() && ban.width() < gong.width() / 2);
}

void TestGongcheFont::tightBoundingRectIsTheInk() {
    // The typesetter measures symbols with QFontMetrics::tightBoundingRect;
    // for ink on the baseline it reports the same box as the glyph outline.
    for (int pixels : {16, 21, 48}) {
        QFont font(kFamily);
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        const QRawFont raw = QRawFont::fromFont(font);
        QVERIFY(raw.isValid());
        for (uint code : qAsConst(m_codes)) {
            const QRectF ink = raw.boundingRect(glyphOf(raw, code));
            const QRect tight = metrics.tightBoundingRect(sym(code));
            const QByteArray what = (hex(code) + QStringLiteral(" at %1 px").arg(pixels) +
                                     QStringLiteral(": tight %1,%2 %3x%4, ink %5,%6 %7x%8")
                                         .arg(tight.x())
                                         .arg(tight.y())
                                         .arg(tight.width())
                                         .arg(tight.height())
                                         .arg(ink.x())
                                         .arg(ink.y())
                                         .arg(ink.width())
                                         .arg(ink.height()))
                                        .toLatin1();
            QVERIFY2(qAbs(tight.left() - ink.left()) <= 1, what.constData());
            QVERIFY2(qAbs(tight.top() - ink.top()) <= 1, what.constData());
            QVERIFY2(qAbs(tight.width() - ink.width()) <= 1, what.constData());
            QVERIFY2(qAbs(tight.height() - ink.height()) <= 1, what.constData());
            // The ink bottom is the baseline.
            QVERIFY2(qAbs(tight.top() + tight.height()) <= 1, what.constData());
        }
    }
}

void TestGongcheFont::smallFormsAreScaledFullForms() {
    // U+F005E.. are U+F0020.. in small form, one series (0x3E codes) later.
    for (uint code = 0xF005E; code <= 0xF009B; ++code) {
        const QRectF small = m_font.boundingRect(glyphOf(m_font, code));
        const QRectF full = m_font.boundingRect(glyphOf(m_font, code - 0x3E));
        const QByteArray what = hex(code).toLatin1();
        QVERIFY2(qAbs(small.width() - 0.56 * full.width()) <= 3, what.constData());
        QVERIFY2(qAbs(small.height() - 0.56 * full.height()) <= 3, what.constData());
    }
    // Breath-mark forms are their plain sign plus the mark: wider ink.
    for (uint code = 0xF003F; code <= 0xF005D; ++code) {
        const QRectF breath = m_font.boundingRect(glyphOf(m_font, code));
        const QRectF plain = m_font.boundingRect(glyphOf(m_font, code - 31));
        QVERIFY2(breath.width() > plain.width() * 0.82 + 100, hex(code).toLatin1().constData());
    }
}

void TestGongcheFont::everySymbolHasItsOwnOutline() {
    QHash<QByteArray, uint> seen;
    for (uint code : qAsConst(m_codes)) {
        const QByteArray sig = pathSignature(m_font.pathForGlyph(glyphOf(m_font, code)));
        QVERIFY2(!sig.isEmpty(), hex(code).toLatin1().constData());
        QVERIFY2(!seen.contains(sig),
                 qPrintable(hex(code) + QStringLiteral(" looks like ") + hex(seen.value(sig))));
        seen.insert(sig, code);
    }
}

void TestGongcheFont::drawnThroughAPlainFontOfTheFamily() {
    QFont font(FontRegistry::instance()->defaultFamily());
    font.setPixelSize(64);
    QCOMPARE(QFontInfo(font).family(), kFamily);
    const QFontMetrics metrics(font);
    QVERIFY(metrics.inFontUcs4(0xF002C));
    QCOMPARE(metrics.averageCharWidth(), 64);

    // Draw 工 (U+F002C) in the middle of a square, baseline at y = 96: the
    // ink is centred on the advance and stands on the baseline.
    QImage image(128, 128, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(32, 96), sym(0xF002C));
    painter.end();
    int inked = 0;
    int lowest = 0;
    qreal sumX = 0, sumY = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                ++inked;
                sumX += x;
                sumY += y;
                lowest = qMax(lowest, y);
            }
        }
    }
    QVERIFY2(inked > 200, QByteArray::number(inked).constData());
    QVERIFY(qAbs(sumX / inked - 64) < 6);
    QVERIFY2(lowest == 95 || lowest == 96, QByteArray::number(lowest).constData());
    QVERIFY(sumY / inked < 96 - 10);
}

void TestGongcheFont::embeddedInPdfOutput() {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        QPainter painter(&writer);
        QFont font(kFamily);
        font.setPointSize(24);
        painter.setFont(font);
        painter.drawText(QPointF(100, 400), sym(0xF0000) + sym(0xF002C) + sym(0xF0064));
    }
    const QByteArray pdf = buffer.data();
    QVERIFY(pdf.startsWith("%PDF"));
    QVERIFY2(pdf.contains("/FontFile2"), "the font is not embedded");
    QVERIFY(pdf.contains("QorvelGongche-Regular"));
}

void TestGongcheFont::generatorReproducesTheResource() {
    const QString python = QStringLiteral("/usr/bin/python3");
    const QString source = QStringLiteral("/usr/share/fonts/truetype/arphic/ukai.ttc");
    if (!QFile::exists(python) || !QFile::exists(source)) {
        QSKIP("python3 or AR PL UKai is not installed");
    }
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("tolvk.ttf"));
    QProcess process;
    process.start(python, {QStringLiteral(QORVEL_SOURCE_DIR "/tools/fontgen/make_font.py"),
                           QStringLiteral("--source"), source, QStringLiteral("--output"), out});
    QVERIFY(process.waitForFinished(60000));
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             process.readAllStandardError().constData());
    QFile generated(out);
    QVERIFY(generated.open(QIODevice::ReadOnly));
    QFile embedded(kResource);
    QVERIFY(embedded.open(QIODevice::ReadOnly));
    // Byte for byte: no time stamps or other run-dependent data in the font.
    QVERIFY(generated.readAll() == embedded.readAll());
}

QTEST_MAIN(TestGongcheFont)
#include "tst_gongchefont.moc"

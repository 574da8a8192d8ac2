#include "fonts/fontsubstitutions.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QRawFont>
#include <QtTest>

// The Windows family names of the built-in defaults must resolve to real CJK
// families on Linux, or every measurement of Chinese text is a Latin font's.
class TestFontSubstitutions : public QObject {
    Q_OBJECT

private:
    static bool containsFamily(const QStringList &families, const QString &family) {
        return families.contains(family, Qt::CaseInsensitive);
    }

    // The width of one CJK character relative to the em of a font.
    static double cjkAdvanceRatio(const QFont &font) {
        const QFontMetricsF metrics(font);
        const QString sample = QStringLiteral("工尺上四合凡");
        return metrics.horizontalAdvance(sample) / sample.size() / QFontInfo(font).pixelSize();
    }

private slots:
    void initTestCase() {
        const QStringList installed = QFontDatabase().families();
        if (!containsFamily(installed, QStringLiteral("AR PL UKai CN")) ||
            !containsFamily(installed, QStringLiteral("WenQuanYi Micro Hei"))) {
            QSKIP("the Chinese font packages of scripts/setup.sh are not installed");
        }
        if (containsFamily(installed, QStringLiteral("楷体"))) {
            QSKIP("楷体 is installed here; nothing to substitute");
        }
        installChineseFontSubstitutions();
    }

    void kaiResolvesToKaiFamily() {
        for (const char *name : {"楷体", "KaiTi"}) {
            const QString family = QFontInfo(QFont(QString::fromUtf8(name), 30)).family();
            QVERIFY2(family.contains(QStringLiteral("kai"), Qt::CaseInsensitive),
                     qPrintable(QStringLiteral("%1 -> %2").arg(QString::fromUtf8(name), family)));
        }
    }

    void heiResolvesToCjkSans() {
        for (const char *name : {"黑体", "SimHei"}) {
            const QString family = QFontInfo(QFont(QString::fromUtf8(name), 30)).family();
            QVERIFY2(containsFamily(heiFamilyCandidates(), family),
                     qPrintable(QStringLiteral("%1 -> %2").arg(QString::fromUtf8(name), family)));
        }
    }

    void kaiMeasuresLikeCjkFont() {
        const QFont kai(QStringLiteral("楷体"), 30);
        // 30 pt at 96 dpi is a 40 px em; a CJK font's characters are one em wide.
        QCOMPARE(QFontInfo(kai).pixelSize(), 40);
        const double ratio = cjkAdvanceRatio(kai);
        QVERIFY2(ratio > 0.9 && ratio < 1.1, qPrintable(QString::number(ratio)));

        // The resolved face itself carries the Chinese glyphs: nothing is
        // measured through a per-glyph fallback from a Latin font.
        const QRawFont face = QRawFont::fromFont(kai);
        QVERIFY(face.supportsCharacter(QChar(0x5DE5)));
        QVERIFY(face.supportsCharacter(QChar(0x5C3A)));
        const QRawFont dejaVu = QRawFont::fromFont(QFont(QStringLiteral("DejaVu Sans"), 30));
        QVERIFY(!dejaVu.supportsCharacter(QChar(0x5DE5)));
    }

    void secondCallChangesNothing() {
        const QStringList before = QFont::substitutes(QStringLiteral("楷体"));
        installChineseFontSubstitutions();
        QCOMPARE(QFont::substitutes(QStringLiteral("楷体")), before);
    }

    void unrelatedFamiliesUntouched() {
        QVERIFY(QFont::substitutes(QStringLiteral("DejaVu Sans")).isEmpty());
        QCOMPARE(QFontInfo(QFont(QStringLiteral("DejaVu Sans"), 12)).family(),
                 QStringLiteral("DejaVu Sans"));
    }
};

QTEST_MAIN(TestFontSubstitutions)
#include "tst_fontsubstitutions.moc"

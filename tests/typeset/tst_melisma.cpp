// A melisma longer than a column goes on in the next columns, every symbol
// inside the page, when the wrap setting says so.
#include "../export/exportfixture.h"
#include "../export/svgpage.h"
#include "export/exportconfig.h"
#include "fonts/fontsubstitutions.h"
#include "model/rendermodel.h"
#include "testsupport.h"
#include "typeset/sourcearea.h"
#include "typeset/typesetter.h"

#include <QtTest>

class TestMelisma : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void longMelismaStaysOnThePage_data();
    void longMelismaStaysOnThePage();
};

namespace {

// count symbols: pitches, with a beat mark after every fourth.
QString melisma(int count) {
    const QString pitches[] = {sym(0xF002C), sym(0xF0030), sym(0xF002F), sym(0xF0031)};
    QString score;
    for (int i = 0; i < count; ++i) {
        score += (i % 5 == 4) ? sym(0xF0000) : pitches[i % 4];
    }
    return score;
}

} // namespace

void TestMelisma::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
}

void TestMelisma::init() {
    ExportConfig::instance()->restoreDefaults();
}

void TestMelisma::longMelismaStaysOnThePage_data() {
    QTest::addColumn<int>("symbols");
    QTest::addColumn<bool>("landscape");
    QTest::newRow("500") << 500 << false;
    QTest::newRow("500, landscape") << 500 << true;
    QTest::newRow("2000") << 2000 << false;
}

void TestMelisma::longMelismaStaysOnThePage() {
    QFETCH(int, symbols);
    QFETCH(bool, landscape);
    PageStyle style = ExportConfig::instance()->pageStyle();
    QVERIFY(style.lineBreakScoreOverflow);
    style.landscape = landscape;
    const QString score = melisma(symbols) + QLatin1Char('\n') + sym(0xF002C);
    Typesetter engine;
    engine.generate(style, renderModel(QStringLiteral("原来"), score), false);
    QVERIFY(!engine.pages().isEmpty());
    // QORVEL_KEEP_OUTPUT=dir keeps the pages, for looking at them.
    const QString keep = qEnvironmentVariable("QORVEL_KEEP_OUTPUT");
    for (int p = 0; !keep.isEmpty() && p < engine.pages().size(); ++p) {
        QFile f(QStringLiteral("%1/melisma-%2-%3.svg").arg(keep, QTest::currentDataTag()).arg(p));
        if (f.open(QIODevice::WriteOnly)) {
            f.write(engine.pages().at(p));
        }
    }

    int drawn = 0;
    bool secondCharacter = false;
    for (const QByteArray &bytes : engine.pages()) {
        const SvgPage svg = parseSvgPage(bytes);
        QVERIFY(svg.ok);
        // The page's own box, from its view box.
        const QStringList box = svg.viewBox.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(box.size(), 4);
        const QSizeF page(box.at(2).toDouble(), box.at(3).toDouble());
        QCOMPARE(page.width() > page.height(), landscape);
        const QRectF inside = QRectF(QPointF(0, 0), page).adjusted(-1, -1, 1, 1);
        for (const SvgText &t : svg.texts) {
            if (t.text == QStringLiteral("来")) {
                secondCharacter = true;
            }
            if (t.family != style.scoreFont.family()) {
                continue;
            }
            ++drawn;
            QVERIFY2(inside.contains(t.centre()),
                     qPrintable(QStringLiteral("symbol %1 at %2,%3 outside %4×%5")
                                    .arg(drawn)
                                    .arg(t.centre().x())
                                    .arg(t.centre().y())
                                    .arg(page.width())
                                    .arg(page.height())));
        }
    }
    QCOMPARE(drawn, symbols + 1);
    QVERIFY(secondCharacter);

    // Every symbol is still found at its place in the score.
    QSet<int> found;
    for (int p = 0; p < engine.pages().size(); ++p) {
        for (const SourceArea &a : engine.sourceAreas(p)) {
            if (a.kind == SourceArea::Symbol && a.character == 0) {
                found.insert(a.symbol);
            }
        }
    }
    QCOMPARE(found.size(), symbols);
    QCOMPARE(*std::max_element(found.cbegin(), found.cend()), symbols - 1);
}

QTEST_MAIN(TestMelisma)
#include "tst_melisma.moc"

// The typeset sample aria, at the default settings, puts no ink on top of
// other ink; crowded settings do, and InkCollisions sees it. The inks it
// finds are those of the texts of the written SVG pages.
#include "editor/documenttab.h"
#include "export/exportconfig.h"
#include "fonts/fontsubstitutions.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "svgpage.h"
#include "typeset/inkcollisions.h"
#include "typeset/typesetter.h"

#include <QTemporaryDir>
#include <QtTest>

class TestCollision : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sampleHasNoOverlappingInk();
    void overlapsAreSeen();
    void inksAreThoseOfThePages();
    void overlappingInksAreListedOnce();

private:
    static QStringList overlapsInSample();
    static bool typesetSample(Typesetter &engine);
    QTemporaryDir m_programDir;
};

void TestCollision::initTestCase() {
    AppPaths::setProgramDirOverride(m_programDir.path(), true);
    installChineseFontSubstitutions();
    ExportConfig::instance()->restoreDefaults();
}

bool TestCollision::typesetSample(Typesetter &engine) {
    PromptScript prompts;
    DocumentTab tab;
    if (!tab.open(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"))) {
        return false;
    }
    engine.generate(ExportConfig::instance()->pageStyle(), tab.documentLines(), false);
    return true;
}

QStringList TestCollision::overlapsInSample() {
    Typesetter engine;
    if (!typesetSample(engine)) {
        return {QStringLiteral("the sample did not open")};
    }
    QStringList overlaps;
    for (int p = 0; p < engine.pages().size(); ++p) {
        const InkCollisions page(engine.pageCanvas(p));
        for (const InkCollisions::Overlap &o : page.overlaps()) {
            overlaps << QStringLiteral("page %1: %2 / %3 (%4 pt²)")
                            .arg(p + 1)
                            .arg(page.inks().at(o.first).text, page.inks().at(o.second).text)
                            .arg(o.area, 0, 'f', 1);
        }
    }
    return overlaps;
}

void TestCollision::sampleHasNoOverlappingInk() {
    const QStringList overlaps = overlapsInSample();
    QVERIFY2(overlaps.isEmpty(), qPrintable(overlaps.join(QLatin1Char('\n'))));
}

// The check itself: scores pushed into their characters are caught.
void TestCollision::overlapsAreSeen() {
    ExportConfig::instance()->setLyricScoreSpace(-30);
    const QStringList overlaps = overlapsInSample();
    ExportConfig::instance()->restoreDefaults();
    QVERIFY(overlaps.size() > 10);
}

// One ink per text element of the SVG page, in the same order, each inside
// the font's tight box of that text. (That box is rounded to whole units,
// and reaches down to the baseline from ink above it, as from a middle dot.)
void TestCollision::inksAreThoseOfThePages() {
    Typesetter engine;
    QVERIFY(typesetSample(engine));
    QVERIFY(engine.pages().size() > 1);
    for (int p = 0; p < engine.pages().size(); ++p) {
        const SvgPage page = parseSvgPage(engine.pages().at(p));
        const QVector<InkCollisions::Ink> inks = InkCollisions::inksOf(engine.pageCanvas(p));
        QCOMPARE(inks.size(), page.texts.size());
        for (int i = 0; i < inks.size(); ++i) {
            const SvgText &t = page.texts.at(i);
            QCOMPARE(inks.at(i).text, t.text);
            const QRectF tight = t.deviceMetrics().tightBoundingRect(t.text).translated(t.origin);
            const QRectF box = t.transform.map(QPolygonF(tight)).boundingRect();
            QVERIFY2(box.adjusted(-1, -1, 1, 1).contains(inks.at(i).polygon.boundingRect()),
                     qPrintable(t.text));
        }
    }
}

// Three letters set into each other make three overlaps of three inks; a
// fourth far away overlaps nothing.
void TestCollision::overlappingInksAreListedOnce() {
    QFont font;
    font.setPixelSize(20);
    PageCanvas canvas;
    canvas.setFont(font);
    for (int x : {0, 5, 10, 200}) {
        canvas.drawText(QPointF(x, 20), QStringLiteral("M"));
    }
    const InkCollisions collisions(canvas);
    QCOMPARE(collisions.inks().size(), 4);
    QCOMPARE(collisions.overlaps().size(), 3);
    QCOMPARE(collisions.overlaps().first().first, 0);
    QCOMPARE(collisions.overlaps().first().second, 1);
    QVERIFY(collisions.overlaps().first().area > InkCollisions::minArea);
    const QVector<QPolygonF> outlined = collisions.overlappingInks();
    QCOMPARE(outlined.size(), 3);
    QCOMPARE(outlined.first(), collisions.inks().first().polygon);
    QVERIFY(!outlined.contains(collisions.inks().last().polygon));
}

QTEST_MAIN(TestCollision)
#include "tst_collision.moc"

// The typeset sample aria, at the default settings, puts no ink on top of
// other ink: for every pair of text elements of a page, the boxes of their
// ink (from the SVG positions and the fonts' tight boxes) do not overlap.
#include "editor/documenttab.h"
#include "export/exportconfig.h"
#include "fonts/fontsubstitutions.h"
#include "promptscript.h"
#include "shell/apppaths.h"
#include "svgpage.h"
#include "typeset/typesetter.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// The ink of a text element as a polygon on the page.
QPolygonF inkOf(const SvgText &t) {
    const QRectF ink = t.deviceMetrics().tightBoundingRect(t.text).translated(t.origin);
    return t.transform.map(QPolygonF(ink));
}

double area(const QPolygonF &p) {
    double a = 0;
    for (int i = 0; i < p.size(); ++i) {
        const QPointF &u = p.at(i);
        const QPointF &v = p.at((i + 1) % p.size());
        a += u.x() * v.y() - v.x() * u.y();
    }
    return qAbs(a) / 2;
}

} // namespace

class TestCollision : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sampleHasNoOverlappingInk();
    void overlapsAreSeen();

private:
    static QStringList overlapsInSample();
    QTemporaryDir m_programDir;
};

void TestCollision::initTestCase() {
    AppPaths::setProgramDirOverride(m_programDir.path(), true);
    installChineseFontSubstitutions();
    ExportConfig::instance()->restoreDefaults();
}

QStringList TestCollision::overlapsInSample() {
    PromptScript prompts;
    DocumentTab tab;
    if (!tab.open(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"))) {
        return {QStringLiteral("the sample did not open")};
    }
    Typesetter engine;
    engine.generate(ExportConfig::instance()->pageStyle(), tab.documentLines(), false);

    QStringList overlaps;
    for (int p = 0; p < engine.pages().size(); ++p) {
        const SvgPage page = parseSvgPage(engine.pages().at(p));
        QList<QPolygonF> inks;
        for (const SvgText &t : page.texts) {
            inks.append(inkOf(t));
        }
        for (int i = 0; i < inks.size(); ++i) {
            for (int j = i + 1; j < inks.size(); ++j) {
                if (!inks.at(i).boundingRect().intersects(inks.at(j).boundingRect())) {
                    continue;
                }
                // Touching edges and antialiasing slivers do not count.
                const double shared = area(inks.at(i).intersected(inks.at(j)));
                if (shared > 0.5) {
                    overlaps << QStringLiteral("page %1: %2 / %3 (%4 pt²)")
                                    .arg(p + 1)
                                    .arg(page.texts.at(i).text, page.texts.at(j).text)
                                    .arg(shared, 0, 'f', 1);
                }
            }
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

QTEST_MAIN(TestCollision)
#include "tst_collision.moc"

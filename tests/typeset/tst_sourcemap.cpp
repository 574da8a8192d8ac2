// The typesetter's source map: where every sung character and every symbol of
// its score went on the pages.
#include "../export/exportfixture.h"
#include "export/exportconfig.h"
#include "fonts/fontsubstitutions.h"
#include "model/linegrammar.h"
#include "model/rendermodel.h"
#include "testsupport.h"
#include "typeset/sourcearea.h"
#include "typeset/typesetter.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {

PageStyle defaultStyle() {
    return ExportConfig::instance()->pageStyle();
}

// Every area of every page, in page order.
QVector<SourceArea> allAreas(const Typesetter &g) {
    QVector<SourceArea> out;
    for (int p = 0; p < g.pages().size(); ++p) {
        out << g.sourceAreas(p);
    }
    return out;
}

QVector<SourceArea> ofKind(const QVector<SourceArea> &areas, SourceArea::Kind kind) {
    QVector<SourceArea> out;
    for (const SourceArea &a : areas) {
        if (a.kind == kind) {
            out << a;
        }
    }
    return out;
}

// The sung characters of the lines as the render model counts them: for each,
// its lyric line and UTF-16 position.
QVector<QPair<int, int>> sungCharacters(const DocumentLines &lines) {
    QVector<QPair<int, int>> out;
    for (int l = 0; l < lines.size(); ++l) {
        const QString &text = lines.at(l).text;
        if (isDirectiveLine(text)) {
            continue;
        }
        for (int i = 0; i < text.size(); ++i) {
            if (isSungChar(text.at(i))) {
                out.append({l, i});
            }
        }
    }
    return out;
}

// The number of symbols drawn for a score line: two UTF-16 units each.
int symbolCount(const QString &score) {
    return (score.size() + 1) / 2;
}

// True when the image has a pixel of ink (not the page's white) inside rect.
bool hasInk(const QImage &image, const QRect &rect) {
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 200) {
                return true;
            }
        }
    }
    return false;
}

constexpr double tol = 0.5;

} // namespace

class TestSourceMap : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void everySungCharacterOnce();
    void areasLieOnTheirPage();
    void readingOrder_data();
    void readingOrder();
    void symbolsFollowTheirCharacter_data();
    void symbolsFollowTheirCharacter();
    void areasCoverTheInk();
    void pageBreaksMoveLaterCharactersOn();
    void findCharacterGivesTheOutline();
    void directiveLinesStayOutOfTheMap();
    void previewMapsWhatItDrew();
    void resetClearsTheMap();
    void mapLeavesThePagesAlone();
};

void TestSourceMap::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
}

void TestSourceMap::init() {
    ExportConfig::instance()->restoreDefaults();
}

void TestSourceMap::everySungCharacterOnce() {
    const DocumentLines lines = sampleLines();
    Typesetter g;
    g.generate(defaultStyle(), lines, false);
    const QVector<SourceArea> chars = ofKind(allAreas(g), SourceArea::Character);
    const QVector<QPair<int, int>> sung = sungCharacters(lines);
    QVERIFY(sung.size() > 20);
    QCOMPARE(chars.size(), sung.size());
    for (int i = 0; i < chars.size(); ++i) {
        const SourceArea &a = chars.at(i);
        QCOMPARE(a.character, i);
        QCOMPARE(a.lyricLine, sung.at(i).first);
        QCOMPARE(a.position, sung.at(i).second);
        QCOMPARE(a.symbol, -1);
        QVERIFY(isSungChar(lines.at(a.lyricLine).text.at(a.position)));
    }
}

void TestSourceMap::areasLieOnTheirPage() {
    Typesetter g;
    g.generate(defaultStyle(), manyPages(2), false);
    QVERIFY(g.pages().size() >= 4);
    const QRectF page(QPointF(0, 0), g.pageSize());
    const QSize avail = g.availableSize();
    const PageStyle style = g.style();
    const QRectF printable(style.marginLeft, style.marginTop, avail.width(), avail.height());
    for (int p = 0; p < g.pages().size(); ++p) {
        for (const SourceArea &a : g.sourceAreas(p)) {
            QCOMPARE(a.page, p);
            QVERIFY(!a.rect.isEmpty());
            QVERIFY2(page.contains(a.rect),
                     qPrintable(
                         QStringLiteral("character %1 symbol %2").arg(a.character).arg(a.symbol)));
            if (a.kind == SourceArea::Character) {
                // A character's cell stays inside the margins.
                QVERIFY(printable.adjusted(-tol, -tol, tol, tol).contains(a.rect));
            }
        }
    }
    QVERIFY(g.sourceAreas(-1).isEmpty());
    QVERIFY(g.sourceAreas(g.pages().size()).isEmpty());
}

void TestSourceMap::readingOrder_data() {
    QTest::addColumn<int>("pageHeight");
    QTest::addColumn<int>("minColumns");
    QTest::newRow("A4") << 842 << 2;
    // Short pages: the lines flow over many columns and pages.
    QTest::newRow("short") << 300 << 8;
}

// Down each column, and from column to column leftwards.
void TestSourceMap::readingOrder() {
    QFETCH(int, pageHeight);
    QFETCH(int, minColumns);
    PageStyle style = defaultStyle();
    style.pageHeight = pageHeight;
    Typesetter g;
    g.generate(style, manyPages(2), false);
    int columns = 0;
    for (int p = 0; p < g.pages().size(); ++p) {
        const QVector<SourceArea> chars = ofKind(g.sourceAreas(p), SourceArea::Character);
        for (int i = 1; i < chars.size(); ++i) {
            const QRectF &prev = chars.at(i - 1).rect;
            const QRectF &next = chars.at(i).rect;
            if (qFuzzyCompare(prev.x(), next.x())) {
                QVERIFY(next.top() >= prev.bottom() - tol);
            } else {
                QVERIFY(next.right() <= prev.left() + tol);
                ++columns;
            }
        }
    }
    QVERIFY2(columns >= minColumns, qPrintable(QString::number(columns)));
}

void TestSourceMap::symbolsFollowTheirCharacter_data() {
    QTest::addColumn<int>("angle");
    QTest::newRow("slanted") << -45;
    QTest::newRow("upright") << 0;
}

// Each character is followed by the symbols of its score line, in the order
// of the line, drawn beside it: to its right and from its height downwards.
void TestSourceMap::symbolsFollowTheirCharacter() {
    QFETCH(int, angle);
    const SampleScore s = sampleScore();
    const DocumentLines lines = renderModel(s.lyric, s.score);
    const QStringList scoreLines = editorLines(s.score);
    PageStyle style = defaultStyle();
    style.scoreAngle = angle;
    Typesetter g;
    g.generate(style, lines, false);
    const QVector<SourceArea> areas = allAreas(g);
    SourceArea owner;
    int next = 0;
    int symbols = 0;
    for (const SourceArea &a : areas) {
        if (a.kind == SourceArea::Character) {
            if (owner.character >= 0) {
                QCOMPARE(next, symbolCount(scoreLines.value(owner.character)));
            }
            owner = a;
            next = 0;
            continue;
        }
        QCOMPARE(a.character, owner.character);
        QCOMPARE(a.lyricLine, owner.lyricLine);
        QCOMPARE(a.position, owner.position);
        QCOMPARE(a.page, owner.page);
        QCOMPARE(a.symbol, next++);
        ++symbols;
        QVERIFY2(a.rect.left() >= owner.rect.right() - 1,
                 qPrintable(QStringLiteral("%1 %2").arg(a.rect.left()).arg(owner.rect.right())));
        QVERIFY(a.rect.top() >= owner.rect.top());
        // Within reach of its character, not of some other one.
        QVERIFY(a.rect.left() - owner.rect.right() < style.colWidth);
        QVERIFY(a.rect.top() - owner.rect.bottom() < 150);
    }
    QCOMPARE(next, symbolCount(scoreLines.value(owner.character)));
    QCOMPARE(symbols, 3 * ofKind(areas, SourceArea::Character).size());
}

// The areas are where the ink is: every cell and every symbol area holds
// ink of the page as it is painted.
void TestSourceMap::areasCoverTheInk() {
    Typesetter g;
    g.generate(defaultStyle(), sampleLines(), false);
    const double scale = 2;
    for (int p = 0; p < g.pages().size(); ++p) {
        QImage image(g.pageSize() * scale, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.scale(scale, scale);
            g.paintPage(painter, p);
        }
        for (const SourceArea &a : g.sourceAreas(p)) {
            const QRectF r = a.rect;
            const QRect shown(QPoint(qFloor(r.left() * scale), qFloor(r.top() * scale)),
                              QPoint(qCeil(r.right() * scale), qCeil(r.bottom() * scale)));
            QVERIFY2(hasInk(image, shown), qPrintable(QStringLiteral("page %1 character %2 "
                                                                     "symbol %3")
                                                          .arg(p)
                                                          .arg(a.character)
                                                          .arg(a.symbol)));
        }
    }
}

void TestSourceMap::pageBreaksMoveLaterCharactersOn() {
    const DocumentLines lines = sampleLines();
    int breakLine = -1;
    for (int l = 0; l < lines.size(); ++l) {
        if (lines.at(l).kind == LineKind::PageBreak) {
            breakLine = l;
        }
    }
    QVERIFY(breakLine > 0);
    Typesetter g;
    g.generate(defaultStyle(), lines, false);
    QCOMPARE(g.pages().size(), 2);
    for (const SourceArea &a : allAreas(g)) {
        QCOMPARE(a.page, a.lyricLine > breakLine ? 1 : 0);
    }

    // Over many pages the characters only ever move on.
    Typesetter many;
    many.generate(defaultStyle(), manyPages(3), false);
    int lastPage = 0;
    int lastCharacter = -1;
    for (const SourceArea &a : ofKind(allAreas(many), SourceArea::Character)) {
        QVERIFY(a.page >= lastPage);
        QCOMPARE(a.character, lastCharacter + 1);
        lastPage = a.page;
        lastCharacter = a.character;
    }
    QVERIFY(lastPage >= 4);
}

void TestSourceMap::findCharacterGivesTheOutline() {
    Typesetter g;
    g.generate(defaultStyle(), manyPages(2), false);
    const QVector<SourceArea> areas = allAreas(g);
    const QVector<SourceArea> chars = ofKind(areas, SourceArea::Character);
    for (const SourceArea &c : chars) {
        int page = -1;
        QRectF rect;
        QVERIFY(g.findCharacter(c.character, &page, &rect));
        QCOMPARE(page, c.page);
        QRectF outline = c.rect;
        for (const SourceArea &a : areas) {
            if (a.character == c.character) {
                outline |= a.rect;
            }
        }
        QCOMPARE(rect, outline);
        QVERIFY(rect.contains(c.rect));
    }
    // Nothing is written for a character no page shows.
    int page = 7;
    QRectF rect(1, 2, 3, 4);
    QVERIFY(!g.findCharacter(-1, &page, &rect));
    QVERIFY(!g.findCharacter(chars.size(), &page, &rect));
    QCOMPARE(page, 7);
    QCOMPARE(rect, QRectF(1, 2, 3, 4));
    // Either pointer may be left out.
    QVERIFY(g.findCharacter(chars.size() - 1, nullptr, nullptr));
    QVERIFY(g.findCharacter(0, &page, nullptr));
    QCOMPARE(page, 0);
}

// A line that begins like a directive owns no score lines: its characters
// are drawn but not counted, and the next line goes on counting.
void TestSourceMap::directiveLinesStayOutOfTheMap() {
    const QString directive = QStringLiteral("@注意这一句");
    QCOMPARE(lineKindOf(directive), LineKind::Lyric);
    QVERIFY(isDirectiveLine(directive));
    const DocumentLines lines =
        renderModel(QStringList{QStringLiteral("原来姹紫"), directive, QStringLiteral("嫣红开遍")},
                    QStringList{sym(0xF002C), sym(0xF0030), sym(0xF002F), sym(0xF0031),
                                sym(0xF0033), sym(0xF002E), sym(0xF002C), sym(0xF0030)});
    Typesetter g;
    g.generate(defaultStyle(), lines, false);
    const QVector<SourceArea> chars = ofKind(allAreas(g), SourceArea::Character);
    QCOMPARE(chars.size(), 8);
    for (int i = 0; i < chars.size(); ++i) {
        QCOMPARE(chars.at(i).character, i);
        QCOMPARE(chars.at(i).lyricLine, i < 4 ? 0 : 2);
        QCOMPARE(chars.at(i).position, i % 4);
    }
}

// A preview stops after the second page is begun: the first page's map is
// whole, and the characters it never reached are not found.
void TestSourceMap::previewMapsWhatItDrew() {
    const DocumentLines lines = manyPages(2);
    Typesetter full;
    full.generate(defaultStyle(), lines, false);
    Typesetter preview;
    preview.generate(defaultStyle(), lines, true);
    QCOMPARE(preview.pages().size(), 2);
    QCOMPARE(preview.sourceAreas(0), full.sourceAreas(0));
    const int last = ofKind(allAreas(full), SourceArea::Character).size() - 1;
    QVERIFY(full.findCharacter(last, nullptr, nullptr));
    QVERIFY(!preview.findCharacter(last, nullptr, nullptr));
}

void TestSourceMap::resetClearsTheMap() {
    Typesetter g;
    g.generate(defaultStyle(), sampleLines(), false);
    QVERIFY(!g.sourceAreas(0).isEmpty());
    g.reset();
    QVERIFY(g.sourceAreas(0).isEmpty());
    QVERIFY(!g.findCharacter(0, nullptr, nullptr));
    // A new run maps afresh, the same way.
    g.generate(defaultStyle(), sampleLines(), false);
    Typesetter other;
    other.generate(defaultStyle(), sampleLines(), false);
    QCOMPARE(allAreas(g), allAreas(other));
}

// The map is kept beside the pages, never in them: reading it changes neither
// the SVG pages nor the drawing they are played from. (The golden pages of
// tst_golden hold the exported bytes themselves.)
void TestSourceMap::mapLeavesThePagesAlone() {
    Typesetter g;
    g.generate(defaultStyle(), sampleLines(), false);
    const QList<QByteArray> pages = g.pages();
    const int operations = g.pageCanvas(0).operationCount();
    QVERIFY(g.findCharacter(3, nullptr, nullptr));
    QVERIFY(!allAreas(g).isEmpty());
    QCOMPARE(g.pages(), pages);
    QCOMPARE(g.pageCanvas(0).operationCount(), operations);
    Typesetter again;
    again.generate(defaultStyle(), sampleLines(), false);
    QCOMPARE(again.pages(), pages);
}

QTEST_MAIN(TestSourceMap)
#include "tst_sourcemap.moc"

// What a click on a page points at: inside beats near, a symbol beats the
// character outline around it, and nothing beyond reach.
#include "typeset/sourcepicker.h"

#include <QtTest>

namespace {

SourceArea area(SourceArea::Kind kind, const QRectF &rect, int character, int symbol = -1) {
    SourceArea a;
    a.kind = kind;
    a.rect = rect;
    a.character = character;
    a.symbol = symbol;
    return a;
}

} // namespace

class TestSourcePicker : public QObject {
    Q_OBJECT

private slots:
    void picks();
};

void TestSourcePicker::picks() {
    const QVector<SourceArea> areas = {
        area(SourceArea::Character, QRectF(100, 100, 40, 40), 7),
        area(SourceArea::Symbol, QRectF(130, 105, 12, 12), 7, 0),
        area(SourceArea::Symbol, QRectF(130, 120, 12, 12), 7, 1),
        area(SourceArea::Character, QRectF(100, 160, 40, 40), 8),
    };
    SourceArea found;
    QVERIFY(SourcePicker::pick(areas, QPointF(110, 110), &found));
    QCOMPARE(found.character, 7);
    QCOMPARE(found.kind, SourceArea::Character);
    // Inside the character's cell and a symbol's box: the symbol.
    QVERIFY(SourcePicker::pick(areas, QPointF(135, 125), &found));
    QCOMPARE(found.kind, SourceArea::Symbol);
    QCOMPARE(found.symbol, 1);
    // Between two cells, nearer the lower one, within reach.
    QVERIFY(SourcePicker::pick(areas, QPointF(120, 157), &found));
    QCOMPARE(found.character, 8);
    // Beyond reach of everything.
    QVERIFY(!SourcePicker::pick(areas, QPointF(20, 20), &found));
    QCOMPARE(found.character, 8); // untouched
    QVERIFY(!SourcePicker::pick({}, QPointF(110, 110), &found));
}

QTEST_MAIN(TestSourcePicker)
#include "tst_sourcepicker.moc"

// The indexed pairing of lyric positions with score lines against the
// definition that walks the whole document.
#include "editor/fenwicktree.h"
#include "editor/sungindex.h"
#include "editor/sungwalk.h"

#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

class TestSungIndex : public QObject {
    Q_OBJECT

private slots:
    void fenwick();
    void examples();
    void randomEditsAgreeWithWalk();
    void queriesInsideOpenEditBlock();
};

void TestSungIndex::fenwick() {
    FenwickTree t;
    QCOMPARE(t.total(), 0);
    QCOMPARE(t.lowerBound(1), 0);
    t.assign({2, 0, 3, 0, 0, 1});
    QCOMPARE(t.size(), 6);
    QCOMPARE(t.prefix(0), 0);
    QCOMPARE(t.prefix(3), 5);
    QCOMPARE(t.total(), 6);
    QCOMPARE(t.lowerBound(1), 0);
    QCOMPARE(t.lowerBound(2), 0);
    QCOMPARE(t.lowerBound(3), 2);
    QCOMPARE(t.lowerBound(6), 5);
    QCOMPARE(t.lowerBound(7), 6);
    t.add(1, 4);
    QCOMPARE(t.prefix(2), 6);
    QCOMPARE(t.lowerBound(3), 1);
}

void TestSungIndex::examples() {
    QTextDocument doc;
    SungIndex index(&doc);
    QCOMPARE(index.scoreLineAt(0), -1);
    QCOMPARE(index.sungCharEnd(0), 0);
    QCOMPARE(index.sungCharEnd(1), 0);
    doc.setPlainText(QStringLiteral("# 标题\n春香，你好"));
    const int line2 = 5;
    QCOMPARE(index.scoreLineAt(0), -1);
    QCOMPARE(index.scoreLineAt(3), -1); // inside the title
    QCOMPARE(index.scoreLineAt(line2), -1);
    QCOMPARE(index.scoreLineAt(line2 + 1), 0);
    QCOMPARE(index.scoreLineAt(line2 + 5), 3);
    QCOMPARE(index.sungCharEnd(0), line2);
    QCOMPARE(index.sungCharEnd(1), line2 + 1);
    QCOMPARE(index.sungCharEnd(3), line2 + 4);
    QCOMPARE(index.sungCharEnd(9), line2 + 5);
    QCOMPARE(index.sungCharAt(1), QStringLiteral("春"));
    QCOMPARE(index.sungCharAt(3), QStringLiteral("你"));
    QCOMPARE(index.sungCharAt(4), QStringLiteral("好"));
    QCOMPARE(index.sungCharAt(5), QString());
    QCOMPARE(index.sungCharAt(0), QString());
    QCOMPARE(index.total(), 4);
}

namespace {

QString randomText(QRandomGenerator &rng, int maxLength) {
    static const QString alphabet = QStringLiteral("春香你好 #;@=【】，a\n\n中") +
                                    QString::fromUcs4(U"\U000F0001") + QStringLiteral(">");
    QString s;
    const int n = rng.bounded(maxLength + 1);
    for (int i = 0; i < n; ++i) {
        s += alphabet.at(rng.bounded(alphabet.size()));
    }
    return s;
}

void compareWithWalk(const QTextDocument &doc, const SungIndex &index, QRandomGenerator &rng) {
    const int length = doc.characterCount();
    const int total = walkAllSungText(&doc).size();
    QCOMPARE(index.total(), total);
    for (int k = 0; k < 12; ++k) {
        const int p = rng.bounded(-2, length + 3);
        QCOMPARE(index.scoreLineAt(p), walkScoreLineAt(&doc, p));
        const int n = rng.bounded(-1, total + 3);
        QCOMPARE(index.sungCharEnd(n), walkSungCharEnd(&doc, n));
        QCOMPARE(index.sungCharAt(n), walkSungCharAt(&doc, n));
    }
}

} // namespace

void TestSungIndex::randomEditsAgreeWithWalk() {
    QRandomGenerator rng(20240611);
    for (int round = 0; round < 20; ++round) {
        QTextDocument doc;
        SungIndex index(&doc);
        doc.setPlainText(randomText(rng, 60));
        for (int step = 0; step < 150; ++step) {
            QTextCursor c(&doc);
            const int length = doc.characterCount() - 1;
            const int a = rng.bounded(length + 1);
            const int b = rng.bounded(length + 1);
            c.setPosition(a);
            c.setPosition(b, QTextCursor::KeepAnchor);
            const int op = rng.bounded(6);
            const QString before = doc.toPlainText();
            switch (op) {
            case 0:
                c.removeSelectedText();
                break;
            case 1:
            case 2:
                c.insertText(randomText(rng, 6));
                break;
            case 3: // several changes in one block, reported together
                c.beginEditBlock();
                c.insertText(randomText(rng, 4));
                c.setPosition(rng.bounded(doc.characterCount()));
                c.insertText(randomText(rng, 4));
                c.endEditBlock();
                break;
            case 4:
                if (doc.isUndoAvailable() && rng.bounded(2)) {
                    doc.undo();
                } else {
                    doc.redo();
                }
                break;
            default:
                if (rng.bounded(10) == 0) {
                    doc.setPlainText(randomText(rng, 40));
                } else {
                    c.insertText(QStringLiteral("\n"));
                }
                break;
            }
            compareWithWalk(doc, index, rng);
            if (QTest::currentTestFailed()) {
                qWarning() << "round" << round << "step" << step << "op" << op << before
                           << doc.toPlainText();
                return;
            }
        }
    }
}

void TestSungIndex::queriesInsideOpenEditBlock() {
    QTextDocument doc;
    SungIndex index(&doc);
    doc.setPlainText(QStringLiteral("春香\n#x"));
    QTextCursor c(&doc);
    c.beginEditBlock();
    c.setPosition(2);
    c.insertText(QStringLiteral("你\n好"));
    // contentsChange has not been emitted yet; the answers must still be current.
    QCOMPARE(index.scoreLineAt(doc.characterCount() - 1), walkScoreLineAt(&doc, 99));
    QCOMPARE(index.total(), 4);
    QCOMPARE(index.sungCharAt(4), QStringLiteral("好"));
    c.endEditBlock();
    QCOMPARE(index.total(), 4);
}

QTEST_MAIN(TestSungIndex)
#include "tst_sungindex.moc"

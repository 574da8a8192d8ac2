// The lyric and score editors on their own: pairing, gutter labels, search,
// line insertion and removal, the beat-mark guess.
#include "editor/inputmethod.h"
#include "editor/lyricedit.h"
#include "editor/lyriclinenumberarea.h"
#include "editor/scoreedit.h"
#include "editor/scorelinenumberarea.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QTextBlock>
#include <QtTest>

namespace {} // namespace

class TestEditors : public QObject {
    Q_OBJECT

private slots:
    void pairingOfTitleAndSungLine();
    void gutterLabels();
    void highlights();
    void removeLines_data();
    void removeLines();
    void insertEmptyLines_data();
    void insertEmptyLines();
    void beatMarkGuess_data();
    void beatMarkGuess();
    void focusOutResetsInputMethod();
};

void TestEditors::pairingOfTitleAndSungLine() {
    LyricEdit lyric;
    lyric.setPlainText(QStringLiteral("# 标题\n春香，你好"));
    const int line2 = 5;
    QCOMPARE(lyric.scoreLineAt(line2 + 1), 0); // after 春
    QCOMPARE(lyric.scoreLineAt(line2 + 5), 3); // after 好
    QCOMPARE(lyric.scoreLineAt(0), -1);
    QCOMPARE(lyric.scoreLineAt(-7), -1);
    QCOMPARE(lyric.scoreLineAt(3), -1); // inside the title: a directive line
    QCOMPARE(lyric.scoreLineAt(line2), -1);
    QCOMPARE(lyric.sungCharEnd(1), line2 + 1);
    QCOMPARE(lyric.sungCharEnd(3), line2 + 4); // skips the comma
    QCOMPARE(lyric.sungCharEnd(9), line2 + 5); // end of the document
    QCOMPARE(lyric.sungCharEnd(0), line2);
    QCOMPARE(lyric.allSungText(), QStringLiteral("春香你好"));
    QCOMPARE(lyric.sungCharTotal(), 4);
    // The walking definition gives the same.
    lyric.setIndexed(false);
    QCOMPARE(lyric.scoreLineAt(line2 + 5), 3);
    QCOMPARE(lyric.sungCharEnd(3), line2 + 4);
    QCOMPARE(lyric.sungCharAt(2), QStringLiteral("香"));
}

void TestEditors::gutterLabels() {
    QWidget tab;
    auto *lyric = new LyricEdit(&tab);
    auto *score = new ScoreEdit(&tab); // finds the lyric editor among its siblings
    lyric->setPlainText(QStringLiteral("# 标题\n春香，你好\n\nabc\nabc 123\n@注"));
    QCOMPARE(lyric->gutterLabel(0), QStringLiteral("标题"));
    QCOMPARE(lyric->gutterLabel(1), QStringLiteral("唱"));
    QCOMPARE(lyric->gutterLabel(2), QString());
    QCOMPARE(lyric->gutterLabel(3), QString());
    QCOMPARE(lyric->gutterLabel(4), QStringLiteral("唱"));
    QCOMPARE(lyric->gutterLabel(5), QStringLiteral("唱"));

    lyric->setPlainText(QStringLiteral("# 标题\n春香，你好"));
    score->setPlainText(QStringLiteral("a\nb\nc\nd\ne"));
    QCOMPARE(score->gutterLabel(0), QStringLiteral("春"));
    QCOMPARE(score->gutterLabel(1), QStringLiteral("香"));
    QCOMPARE(score->gutterLabel(2), QStringLiteral("你"));
    QCOMPARE(score->gutterLabel(3), QStringLiteral("好"));
    QCOMPARE(score->gutterLabel(4), QString());

    // Both gutters paint without trouble and sit left of the text.
    tab.resize(600, 300);
    lyric->setGeometry(0, 0, 300, 300);
    score->setGeometry(300, 0, 300, 300);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    QCOMPARE(lyric->viewport()->geometry().left() - lyric->contentsRect().left(),
             lyric->gutterWidth());
    QTRY_COMPARE(score->lineNumberArea()->width(), score->gutterWidth());
    QVERIFY(!lyric->lineNumberArea()->grab().isNull());
    QVERIFY(!score->lineNumberArea()->grab().isNull());
}

void TestEditors::highlights() {
    LyricEdit lyric;
    lyric.setPlainText(QStringLiteral("春香\n你好"));
    lyric.highlightCurrentLine(4);
    QCOMPARE(lyric.extraSelections().size(), 1);
    const QTextEdit::ExtraSelection line = lyric.extraSelections().at(0);
    QCOMPARE(line.format.background().color(), QColor(0, 100, 100, 60));
    QVERIFY(line.format.property(QTextFormat::FullWidthSelection).toBool());
    QCOMPARE(line.cursor.block().blockNumber(), 1);
    QVERIFY(!line.cursor.hasSelection());

    lyric.highlightSungChar(2);
    QCOMPARE(lyric.extraSelections().size(), 1);
    QCOMPARE(lyric.extraSelections().at(0).cursor.selectedText(), QStringLiteral("香"));
    QVERIFY(!lyric.extraSelections().at(0).format.hasProperty(QTextFormat::FullWidthSelection));
    lyric.highlightSungChar(0);
    QCOMPARE(lyric.extraSelections().at(0).cursor.selectedText(), QStringLiteral("春"));
}

void TestEditors::removeLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first two") << "a\nb\nc" << 0 << 2 << "c";
    QTest::newRow("middle") << "a\nb\nc" << 1 << 1 << "a\nc";
    QTest::newRow("last") << "a\nb\nc" << 2 << 1 << "a\nb";
    QTest::newRow("beyond") << "a\nb\nc" << 5 << 1 << "a\nb\nc";
    QTest::newRow("more than exist") << "a\nb\nc" << 1 << 9 << "a";
    QTest::newRow("all") << "a\nb\nc" << 0 << 3 << "";
    QTest::newRow("negative first") << "a\nb" << -3 << 1 << "b";
}

void TestEditors::removeLines() {
    QFETCH(QString, text);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, expected);
    ScoreEdit score;
    score.setPlainText(text);
    const int steps = score.document()->availableUndoSteps();
    score.removeLines(first, count);
    QCOMPARE(score.toPlainText(), expected);
    if (expected != text) { // one step of the editor's own history
        score.undo();
        QCOMPARE(score.toPlainText(), text);
        QCOMPARE(score.document()->availableUndoSteps(), steps);
    }
}

void TestEditors::insertEmptyLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    QTest::newRow("middle") << "a\nb" << 1 << 2 << "a\n\n\nb";
    QTest::newRow("after last") << "a\nb" << 2 << 1 << "a\nb\n";
    QTest::newRow("start") << "a\nb" << 0 << 1 << "\na\nb";
    QTest::newRow("negative") << "a\nb" << -1 << 1 << "\na\nb";
    QTest::newRow("beyond") << "a\nb" << 7 << 2 << "a\nb\n\n";
}

void TestEditors::insertEmptyLines() {
    QFETCH(QString, text);
    QFETCH(int, at);
    QFETCH(int, count);
    QFETCH(QString, expected);
    ScoreEdit score;
    score.setPlainText(text);
    score.insertEmptyLines(at, count);
    QCOMPARE(score.toPlainText(), expected);
    score.undo();
    QCOMPARE(score.toPlainText(), text);
}

void TestEditors::beatMarkGuess_data() {
    const QString touBan = sym(0xF0000);
    const QString touYan = sym(0xF0001);
    const QString zhongYan = sym(0xF0002);
    const QString zengBan = sym(0xF0003);
    const QString pitch = sym(0xF002C);
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("guess");
    QTest::newRow("none") << QString(pitch + "\n" + pitch) << touBan;
    QTest::newRow("one") << QString(pitch + zhongYan) << zhongYan;
    QTest::newRow("touban alone") << touBan << touBan;
    QTest::newRow("two: second nearest") << QString(touBan + "\n" + touYan) << touBan;
    QTest::newRow("three") << QString(zhongYan + touBan + touYan) << touBan;
    // Nearest last: 头板, 头眼, 中眼, 头眼 -> the fourth nearest, 头板.
    QTest::newRow("four, across lines")
        << QString(touBan + pitch + "\n" + touYan + "\n\n" + zhongYan + pitch + touYan) << touBan;
    QString eight;
    for (int i = 0; i < 8; ++i) {
        eight += (i == 0 ? zhongYan : (i == 3 ? zengBan : touYan)) + pitch;
    }
    QTest::newRow("eight with zengban: the farthest") << eight << zhongYan;
    QString eightPlain;
    for (int i = 0; i < 8; ++i) {
        eightPlain += (i == 4 ? zhongYan : touYan);
    }
    QTest::newRow("eight without zengban: fourth nearest") << eightPlain << zhongYan;
}

void TestEditors::beatMarkGuess() {
    QFETCH(QString, before);
    QFETCH(QString, guess);
    ScoreEdit score;
    score.setPlainText(before + QStringLiteral("\n") + sym(0xF0001)); // after the cursor: ignored
    QTextCursor c = score.textCursor();
    c.setPosition(before.size());
    score.setTextCursor(c);
    QCOMPARE(score.guessBeatMark(), guess);
    score.suggestBeatMark();
    QVERIFY(InputMethod::instance()->isVisible());
    QCOMPARE(InputMethod::instance()->composition(), guess);
    InputMethod::instance()->reset();
}

void TestEditors::focusOutResetsInputMethod() {
    QWidget window;
    auto *score = new ScoreEdit(&window);
    auto *other = new QLineEdit(&window);
    other->move(0, 200);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    score->setFocus();
    QTRY_VERIFY(score->hasFocus());
    InputMethod::instance()->appendText(QStringLiteral("g"));
    QVERIFY(InputMethod::instance()->isVisible());
    other->setFocus();
    QTRY_VERIFY(!InputMethod::instance()->isVisible());
    QVERIFY(InputMethod::instance()->segments().isEmpty());
}

QTEST_MAIN(TestEditors)
#include "tst_editors.moc"

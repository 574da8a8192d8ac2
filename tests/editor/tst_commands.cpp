// The undo commands, driven through the document tab: what each edit does to
// both texts, how many steps it leaves, and that undo and redo restore the
// texts exactly.
#include "editor/copylyriccommand.h"
#include "editor/deletelyriccommand.h"
#include "editor/deletescorecommand.h"
#include "editor/insertlyriccommand.h"
#include "editor/insertscorecommand.h"
#include "editor/pastelyriccommand.h"
#include "model/clipboardrecord.h"
#include "tabdriver.h"
#include "testsupport.h"

#include <QClipboard>
#include <QMimeData>
#include <QtTest>

using namespace tabdriver;

namespace {

void putRecord(const QStringList &lyric, const QStringList &score, const QString &text) {
    auto *mime = new QMimeData;
    mime->setData(QString::fromLatin1(lyricScoreMimeType), encodeClipboard(lyric, score));
    mime->setText(text);
    QGuiApplication::clipboard()->setMimeData(mime);
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typingAfterSungCharAddsScoreLine();
    void typingIntoEmptyDocument();
    void backspaceOnDirectiveLine();
    void deletingHashMakesSungLine();
    void deletingAcrossLines();
    void ctrlDeletes();
    void scoreDeleteKeepsLines();
    void scoreDeleteAtLineEdgesOnlyMoves();
    void scoreReturnAndShiftReturn();
    void scorePasteFillsExistingLines();
    void scorePasteWithForeignLineBreaks();
    void copyRecord();
    void copyAndPasteIntoSungLine();
    void pasteIntoTitleLine();
    void pasteOverSelectionIsTwoCommands();
    void pastePunctuationOnly();
    void pasteHashAtLineStart();
    void pasteOverLineStartTurningDirective();
    void plainTextPasteUndone();
    void plainTextPasteWithLineSeparators();
    void foreignRecordKeepsPairing();
    void commandsWithoutEdits();
    void undoLimit();

private:
    DocumentTab *tab = nullptr;
    LyricEdit *lyric = nullptr;
    ScoreEdit *score = nullptr;
};

void TestCommands::init() {
    tab = new DocumentTab;
    lyric = tab->lyricEditor();
    score = tab->scoreEditor();
}

void TestCommands::cleanup() {
    delete tab;
    tab = nullptr;
    QGuiApplication::clipboard()->clear();
}

void TestCommands::typingAfterSungCharAddsScoreLine() {
    load(tab, QStringLiteral("香"), QStringLiteral("x"));
    toEnd(lyric);
    type(lyric, QStringLiteral("春"));
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("香春"), QStringLiteral("x\n")));
    QCOMPARE(tab->undoStack()->count(), 1);
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("香"), QStringLiteral("x")));
    tab->redo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("香春"), QStringLiteral("x\n")));
}

void TestCommands::typingIntoEmptyDocument() {
    // An empty score text stands for no line while there is no sung
    // character, and for one empty line once there is one.
    type(lyric, QStringLiteral("春"));
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春"), QString()));
    QVERIFY(pairingHolds(tab));
    type(lyric, QStringLiteral("香"));
    QCOMPARE(score->toPlainText(), QStringLiteral("\n"));
    QVERIFY(pairingHolds(tab));
    key(lyric, Qt::Key_Backspace);
    key(lyric, Qt::Key_Backspace);
    QCOMPARE(texts(tab), qMakePair(QString(), QString()));
    QVERIFY(pairingHolds(tab));
    // Pasting a record into the empty document.
    putRecord({QStringLiteral("春"), QStringLiteral("香")},
              {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("春香"));
    QVERIFY(focus(lyric));
    tab->paste();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春香"), QStringLiteral("a\nb")));
    while (tab->canUndo()) {
        tab->undo();
    }
    QCOMPARE(texts(tab), qMakePair(QString(), QString()));
}

void TestCommands::backspaceOnDirectiveLine() {
    load(tab, QStringLiteral("春\n#"), QStringLiteral("x"));
    toEnd(lyric);
    key(lyric, Qt::Key_Backspace);
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春\n"), QStringLiteral("x")));
    QCOMPARE(tab->undoStack()->count(), 1);
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春\n#"), QStringLiteral("x")));
}

void TestCommands::deletingHashMakesSungLine() {
    load(tab, QStringLiteral("你\n#春香\n好"), QStringLiteral("a\nb"));
    setCursor(lyric, 2);
    key(lyric, Qt::Key_Delete);
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("你\n春香\n好"), QStringLiteral("a\n\n\nb")));
    QVERIFY(pairingHolds(tab));
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("你\n#春香\n好"), QStringLiteral("a\nb")));
    // And typing it back removes them again.
    tab->redo();
    setCursor(lyric, 2);
    type(lyric, QStringLiteral("#"));
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("你\n#春香\n好"), QStringLiteral("a\nb")));
}

void TestCommands::deletingAcrossLines() {
    load(tab, QStringLiteral("春香\n; 注\n你好"), QStringLiteral("1\n2\n3\n4"));
    setCursor(lyric, 8, 1); // from after 春 to after 你
    key(lyric, Qt::Key_Backspace);
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春好"), QStringLiteral("1\n4")));
    tab->undo();
    QCOMPARE(texts(tab),
             qMakePair(QStringLiteral("春香\n; 注\n你好"), QStringLiteral("1\n2\n3\n4")));
    QCOMPARE(lyric->textCursor().hasSelection(), false);
}

void TestCommands::ctrlDeletes() {
    load(tab, QStringLiteral("春香你好"), QStringLiteral("1\n2\n3\n4"));
    setCursor(lyric, 2);
    key(lyric, Qt::Key_Backspace, Qt::ControlModifier);
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("你好"), QStringLiteral("3\n4")));
    key(lyric, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(texts(tab), qMakePair(QString(), QString()));
    tab->undo();
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春香你好"), QStringLiteral("1\n2\n3\n4")));
}

void TestCommands::scoreDeleteKeepsLines() {
    load(tab, QStringLiteral("春香你"), QStringLiteral("ab\ncd\nef"));
    setCursor(score, 7, 1); // from after a to after e
    key(score, Qt::Key_Delete);
    QCOMPARE(score->toPlainText(), QStringLiteral("a\n\nf"));
    QCOMPARE(tab->undoStack()->count(), 1);
    tab->undo();
    QCOMPARE(score->toPlainText(), QStringLiteral("ab\ncd\nef"));
    // A backward selection leaves the cursor where it was.
    setCursor(score, 1, 7);
    key(score, Qt::Key_Backspace);
    QCOMPARE(score->toPlainText(), QStringLiteral("a\n\nf"));
    QCOMPARE(score->textCursor().position(), 1);
    tab->undo();
    setCursor(score, 7, 1);
    key(score, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(score->toPlainText(), QStringLiteral("af"));
    tab->undo();
    QCOMPARE(score->toPlainText(), QStringLiteral("ab\ncd\nef"));
}

void TestCommands::scoreDeleteAtLineEdgesOnlyMoves() {
    load(tab, QStringLiteral("春香"), QStringLiteral("ab\ncd"));
    setCursor(score, 3);
    key(score, Qt::Key_Backspace);
    QCOMPARE(score->toPlainText(), QStringLiteral("ab\ncd"));
    QCOMPARE(score->textCursor().position(), 2);
    key(score, Qt::Key_Delete);
    QCOMPARE(score->toPlainText(), QStringLiteral("ab\ncd"));
    QCOMPARE(score->textCursor().position(), 3);
    QCOMPARE(tab->undoStack()->count(), 0);
    // Shift crosses the line break.
    key(score, Qt::Key_Backspace, Qt::ShiftModifier);
    QCOMPARE(score->toPlainText(), QStringLiteral("abcd"));
    tab->undo();
    QCOMPARE(score->toPlainText(), QStringLiteral("ab\ncd"));
    // Ctrl+Backspace empties to the start of the line only.
    setCursor(score, 5);
    key(score, Qt::Key_Backspace, Qt::ControlModifier);
    QCOMPARE(score->toPlainText(), QStringLiteral("ab\n"));
}

void TestCommands::scoreReturnAndShiftReturn() {
    load(tab, QStringLiteral("春香"), QStringLiteral("ab\ncd"));
    setCursor(score, 1);
    key(score, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCOMPARE(score->toPlainText(), QStringLiteral("ab\ncd"));
    QCOMPARE(score->textCursor().position(), 3);
    QCOMPARE(tab->undoStack()->count(), 0);
    key(score, Qt::Key_Return); // on the last line: stays
    QCOMPARE(score->textCursor().position(), 3);
    setCursor(score, 1);
    key(score, Qt::Key_Return, Qt::ShiftModifier, QStringLiteral("\r"));
    QCOMPARE(score->toPlainText(), QStringLiteral("a\nb\ncd"));
    QCOMPARE(tab->undoStack()->count(), 1);
    tab->undo();
    QCOMPARE(score->toPlainText(), QStringLiteral("ab\ncd"));
}

void TestCommands::scorePasteFillsExistingLines() {
    load(tab, QStringLiteral("一二三四五六七"), QStringLiteral("0\n1\n2\n3\n4\n5\n6"));
    setCursor(score, score->document()->findBlockByNumber(4).position());
    QVERIFY(focus(score));
    QGuiApplication::clipboard()->setText(QStringLiteral("x\ny\nz"));
    tab->paste();
    QCOMPARE(score->toPlainText(), QStringLiteral("0\n1\n2\n3\nx4\ny5\nz6"));
    QCOMPARE(tab->undoStack()->count(), 1);
    // At the last line the rest stays on it.
    QGuiApplication::clipboard()->setText(QStringLiteral("p\nq"));
    toEnd(score);
    tab->paste();
    QCOMPARE(score->toPlainText(), QStringLiteral("0\n1\n2\n3\nx4\ny5\nz6pq"));
    tab->undo();
    QCOMPARE(score->textCursor().blockNumber(), 6); // where the edit was
    tab->undo();
    QCOMPARE(score->toPlainText(), QStringLiteral("0\n1\n2\n3\n4\n5\n6"));
    QCOMPARE(score->textCursor().blockNumber(), 4);
}

void TestCommands::scorePasteWithForeignLineBreaks() {
    // Text from other programs: CR LF, a lone CR, the separators a rich text
    // editor reports. None may add a score line.
    load(tab, QStringLiteral("一二三四五"), QStringLiteral("0\n1\n2\n3\n4"));
    QVERIFY(focus(score));
    setCursor(score, 0);
    QGuiApplication::clipboard()->setText(QStringLiteral("a\r\nb\rc") + QChar(0x2029) +
                                          QStringLiteral("d") + QChar(0x2028) +
                                          QStringLiteral("e"));
    tab->paste();
    QCOMPARE(score->toPlainText(), QStringLiteral("a0\nb1\nc2\nd3\ne4"));
    QCOMPARE(score->document()->blockCount(), 5);
}

void TestCommands::copyRecord() {
    load(tab, QStringLiteral("春，\n香"), QStringLiteral("A\nB"));
    setCursor(lyric, 4, 0);
    QVERIFY(focus(lyric));
    tab->copy();
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime->hasFormat(QString::fromLatin1(lyricScoreMimeType)));
    QStringList l, s;
    decodeClipboard(mime->data(QString::fromLatin1(lyricScoreMimeType)), &l, &s);
    QCOMPARE(l, (QStringList{QStringLiteral("春"), QStringLiteral("，"), QStringLiteral("\n"),
                             QStringLiteral("香")}));
    QCOMPARE(s, (QStringList{QStringLiteral("A"), QString(), QString(), QStringLiteral("B")}));
    QCOMPARE(mime->text(), QStringLiteral("春，") + QChar(0x2029) + QStringLiteral("香"));
    QCOMPARE(tab->undoStack()->count(), 0);
}

void TestCommands::copyAndPasteIntoSungLine() {
    const QString a = sym(0xF002C) + sym(0xF0000);
    const QString b = sym(0xF0030);
    load(tab, QStringLiteral("春，香\n你好"), a + "\n" + b + "\nn\nh");
    setCursor(lyric, 3, 0);
    QVERIFY(focus(lyric));
    tab->copy();
    toEnd(lyric);
    tab->paste();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("春，香\n你好春，香"));
    QCOMPARE(score->toPlainText(), a + "\n" + b + "\nn\nh\n" + a + "\n" + b);
    QCOMPARE(tab->undoStack()->count(), 1);
    // In the middle of a line the pasted scores go to their places.
    setCursor(lyric, 5);
    tab->paste();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("春，香\n你春，香好春，香"));
    QCOMPARE(score->toPlainText(), a + "\n" + b + "\nn\n" + a + "\n" + b + "\nh\n" + a + "\n" + b);
    QVERIFY(pairingHolds(tab));
    tab->undo();
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春，香\n你好"), a + "\n" + b + "\nn\nh"));
}

void TestCommands::pasteIntoTitleLine() {
    load(tab, QStringLiteral("# 标题\n春，香"), QStringLiteral("A\nB"));
    setCursor(lyric, 8, 5);
    QVERIFY(focus(lyric));
    tab->copy();
    setCursor(lyric, 4);
    tab->paste();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("# 标题春，香\n春，香"), QStringLiteral("A\nB")));
    QCOMPARE(tab->undoStack()->count(), 1);
    tab->undo();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("# 标题\n春，香"));
}

void TestCommands::pasteOverSelectionIsTwoCommands() {
    load(tab, QStringLiteral("春香你好"), QStringLiteral("1\n2\n3\n4"));
    putRecord({QStringLiteral("秋")}, {QStringLiteral("Q")}, QStringLiteral("秋"));
    setCursor(lyric, 3, 1);
    QVERIFY(focus(lyric));
    tab->paste();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春秋好"), QStringLiteral("1\nQ\n4")));
    QCOMPARE(tab->undoStack()->count(), 2);
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春好"), QStringLiteral("1\n4")));
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春香你好"), QStringLiteral("1\n2\n3\n4")));
}

void TestCommands::pastePunctuationOnly() {
    load(tab, QStringLiteral("春香"), QStringLiteral("1\n2"));
    putRecord({QStringLiteral("，")}, {QString()}, QStringLiteral("，"));
    setCursor(lyric, 1);
    QVERIFY(focus(lyric));
    const int lyricSteps = lyric->document()->availableUndoSteps();
    const int scoreSteps = score->document()->availableUndoSteps();
    tab->paste();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春，香"), QStringLiteral("1\n2")));
    QCOMPARE(tab->undoStack()->count(), 1);
    QVERIFY(lyric->document()->availableUndoSteps() > lyricSteps);
    QCOMPARE(score->document()->availableUndoSteps(), scoreSteps);
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春香"), QStringLiteral("1\n2")));
}

void TestCommands::pasteHashAtLineStart() {
    // The line turns into a directive line: its characters give up their lines.
    load(tab, QStringLiteral("你\n春香"), QStringLiteral("a\nb\nc"));
    putRecord({QStringLiteral("#")}, {QString()}, QStringLiteral("#"));
    setCursor(lyric, 2);
    QVERIFY(focus(lyric));
    tab->paste();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("你\n#春香"), QStringLiteral("a")));
    // And the other way round.
    putRecord({QStringLiteral("好")}, {QStringLiteral("h")}, QStringLiteral("好"));
    setCursor(lyric, 2);
    tab->paste();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("你\n好#春香"), QStringLiteral("a\nh\n\n")));
    QVERIFY(pairingHolds(tab));
    tab->undo();
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("你\n春香"), QStringLiteral("a\nb\nc")));
}

void TestCommands::pasteOverLineStartTurningDirective() {
    // Deleting the selected first character turns the line into a directive
    // line (its score lines go); pasting the character back turns it sung again.
    load(tab, QStringLiteral("啭@好"), QStringLiteral("a\nb"));
    setCursor(lyric, 1, 0);
    QVERIFY(focus(lyric));
    tab->copy();
    tab->paste();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("啭@好"), QStringLiteral("a\n")));
    QVERIFY(pairingHolds(tab));
    QCOMPARE(tab->undoStack()->count(), 2);
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("@好"), QString()));
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("啭@好"), QStringLiteral("a\nb")));
}

void TestCommands::plainTextPasteUndone() {
    load(tab, QStringLiteral("春"), QStringLiteral("x"));
    QGuiApplication::clipboard()->setText(QStringLiteral("香，你\n好"));
    toEnd(lyric);
    QVERIFY(focus(lyric));
    tab->paste();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春香，你\n好"), QStringLiteral("x\n\n\n")));
    QCOMPARE(tab->undoStack()->count(), 1);
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春"), QStringLiteral("x")));
}

void TestCommands::plainTextPasteWithLineSeparators() {
    // A line separator would stay inside one line of the editor yet be saved
    // as a line break, and a no-break space would be saved as a (sung) space:
    // after saving and opening again the pairing would be off.
    load(tab, QStringLiteral("春"), QStringLiteral("x"));
    QGuiApplication::clipboard()->setText(QStringLiteral("香") + QChar(0x2028) +
                                          QStringLiteral("#你") + QChar(0x00A0) +
                                          QStringLiteral("好"));
    toEnd(lyric);
    QVERIFY(focus(lyric));
    tab->paste();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("春香\n#你 好"));
    QCOMPARE(lyric->document()->blockCount(), 2);
    QVERIFY(pairingHolds(tab));
    // What is saved is what the editor pairs.
    QTextDocument reread;
    reread.setPlainText(lyric->toPlainText());
    QCOMPARE(walkAllSungText(&reread), walkAllSungText(lyric->document()));
}

void TestCommands::foreignRecordKeepsPairing() {
    // A record written by another program: entries of several characters,
    // score entries with line breaks, fewer scores than characters.
    load(tab, QStringLiteral("春"), QStringLiteral("x"));
    putRecord({QStringLiteral("香你"), QStringLiteral("\r\n"), QStringLiteral("好 ")},
              {QStringLiteral("a\nb")}, QStringLiteral("香你好"));
    toEnd(lyric);
    QVERIFY(focus(lyric));
    tab->paste();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("春香你\n好 "));
    QVERIFY(pairingHolds(tab));
    QCOMPARE(score->toPlainText(), QStringLiteral("x\nab\n\n\n"));
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春"), QStringLiteral("x")));
}

void TestCommands::commandsWithoutEdits() {
    load(tab, QStringLiteral("春"), QStringLiteral("x"));
    setCursor(lyric, 0);
    {
        DeleteLyricCommand c(tab, true, Qt::NoModifier);
        QVERIFY(!c.hasEdits());
    }
    {
        InsertLyricCommand c(tab, QString());
        QVERIFY(!c.hasEdits());
    }
    {
        InsertScoreCommand c(tab, QString(), Qt::NoModifier);
        QVERIFY(!c.hasEdits());
    }
    {
        CopyLyricCommand c(tab);
        QVERIFY(!c.hasEdits());
    }
    toEnd(lyric);
    {
        DeleteLyricCommand c(tab, false, Qt::ControlModifier);
        QVERIFY(!c.hasEdits());
    }
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春"), QStringLiteral("x")));
}

void TestCommands::undoLimit() {
    load(tab, QString(), QString());
    for (int i = 0; i < 230; ++i) {
        type(lyric, QStringLiteral("春"));
    }
    QCOMPARE(tab->undoStack()->count(), 200);
    QVERIFY(pairingHolds(tab));
    while (tab->canUndo()) {
        tab->undo();
    }
    QCOMPARE(lyric->toPlainText(), QString(30, QChar(0x6625)));
    QVERIFY(pairingHolds(tab));
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"

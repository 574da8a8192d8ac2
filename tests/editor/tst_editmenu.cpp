// What the 编辑 menu and the gutter add to a document: undo back to the saved
// text clears the modified mark, 替换 changes lyric matches one undo step at a
// time (全部替换 in one), Alt with a letter never types, and a settings line
// is labelled 设置.
#include "editor/inputmethod.h"
#include "model/scorefile.h"
#include "promptscript.h"
#include "tabdriver.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tabdriver;

class TestEditMenu : public QObject {
    Q_OBJECT

private slots:
    void settingsLineIsLabelledAsSuch_data();
    void settingsLineIsLabelledAsSuch();
    void undoToTheSavedTextClearsModified();
    void recoveredTextStaysModifiedWhenUndone();
    void replaceOneMatchAtATime();
    void replaceAllIsOneUndoStep();
    void altWithALetterNeverTypes_data();
    void altWithALetterNeverTypes();

private:
    QTemporaryDir m_dir;
};

void TestEditMenu::settingsLineIsLabelledAsSuch_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("label");
    QTest::newRow("settings") << QStringLiteral("; 笛色=小工调 板式=一板三眼 速度=60 八度=0")
                              << QStringLiteral("设置");
    QTest::newRow("wide equals") << QStringLiteral("; 速度＝72") << QStringLiteral("设置");
    QTest::newRow("comment") << QStringLiteral("; 第一折") << QStringLiteral("注释");
    QTest::newRow("sung") << QStringLiteral("春=花") << QStringLiteral("唱");
}

void TestEditMenu::settingsLineIsLabelledAsSuch() {
    QFETCH(QString, line);
    QFETCH(QString, label);
    DocumentTab tab;
    load(&tab, line, QString());
    QCOMPARE(tab.lyricEditor()->gutterLabel(0), label);
}

void TestEditMenu::undoToTheSavedTextClearsModified() {
    const QString path = m_dir.filePath(QStringLiteral("undo.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("春花"), QStringLiteral("\n")));
    PromptScript prompts; // a backup warning must not wait for a click
    DocumentTab tab;
    QVERIFY(tab.open(path));
    QVERIFY(!tab.isModified());
    toEnd(tab.lyricEditor());
    type(tab.lyricEditor(), QStringLiteral("秋"));
    QVERIFY(tab.isModified());
    tab.undo();
    QVERIFY(!tab.isModified());
    tab.redo();
    QVERIFY(tab.isModified());

    // Saved with 秋: undoing it is a change, coming back is not.
    QVERIFY(tab.save(false));
    QVERIFY(!tab.isModified());
    tab.undo();
    QVERIFY(tab.isModified());
    tab.redo();
    QVERIFY(!tab.isModified());
}

void TestEditMenu::recoveredTextStaysModifiedWhenUndone() {
    DocumentTab tab;
    tab.restore(QStringLiteral("春花"), QStringLiteral("\n"), QStringLiteral("未命名"));
    QVERIFY(tab.isModified());
    toEnd(tab.lyricEditor());
    type(tab.lyricEditor(), QStringLiteral("秋"));
    tab.undo();
    QVERIFY(tab.isModified()); // the recovered text was never saved
}

void TestEditMenu::replaceOneMatchAtATime() {
    DocumentTab tab;
    load(&tab, QStringLiteral("春花\n花月"), QStringLiteral("工\n尺\n上\n四"));
    // The first press finds, the second replaces and goes on.
    SearchResult r = tab.replace(QStringLiteral("花"), QStringLiteral("风"));
    QCOMPARE(r.matchCount, 2);
    QCOMPARE(tab.lyricEditor()->toPlainText(), QStringLiteral("春花\n花月"));
    r = tab.replace(QStringLiteral("花"), QStringLiteral("风"));
    QCOMPARE(tab.lyricEditor()->toPlainText(), QStringLiteral("春风\n花月"));
    QCOMPARE(r.matchCount, 1);
    QCOMPARE(tab.lyricEditor()->textCursor().selectedText(), QStringLiteral("花"));
    // As typing over a selection: the new character gets an empty score line,
    // the others keep theirs.
    QCOMPARE(tab.scoreEditor()->toPlainText(), QStringLiteral("工\n\n上\n四"));
    tab.undo();
    QCOMPARE(tab.lyricEditor()->toPlainText(), QStringLiteral("春花\n花月"));
    QCOMPARE(tab.scoreEditor()->toPlainText(), QStringLiteral("工\n尺\n上\n四"));
}

void TestEditMenu::replaceAllIsOneUndoStep() {
    DocumentTab tab;
    load(&tab, QStringLiteral("春花\n花月"), QStringLiteral("工\n尺\n上\n四"));
    QCOMPARE(tab.replaceAll(QStringLiteral("花"), QStringLiteral("秋风")), 2);
    QCOMPARE(tab.lyricEditor()->toPlainText(), QStringLiteral("春秋风\n秋风月"));
    QCOMPARE(tab.scoreEditor()->document()->blockCount(), 6);
    QCOMPARE(tab.undoStack()->count(), 1);
    tab.undo();
    QCOMPARE(tab.lyricEditor()->toPlainText(), QStringLiteral("春花\n花月"));
    QCOMPARE(tab.scoreEditor()->toPlainText(), QStringLiteral("工\n尺\n上\n四"));
    // Deleting: an empty replacement.
    QCOMPARE(tab.replaceAll(QStringLiteral("花"), QString()), 2);
    QCOMPARE(tab.lyricEditor()->toPlainText(), QStringLiteral("春\n月"));
    QCOMPARE(tab.scoreEditor()->toPlainText(), QStringLiteral("工\n四"));
    QCOMPARE(tab.replaceAll(QStringLiteral("雪"), QString()), 0);
}

void TestEditMenu::altWithALetterNeverTypes_data() {
    QTest::addColumn<bool>("score");
    QTest::addColumn<bool>("composing");
    QTest::newRow("lyric") << false << false;
    QTest::newRow("score") << true << false;
    QTest::newRow("score, abbreviation open") << true << true;
}

void TestEditMenu::altWithALetterNeverTypes() {
    QFETCH(bool, score);
    QFETCH(bool, composing);
    DocumentTab tab;
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    load(&tab, QStringLiteral("春"), QStringLiteral("工"));
    InputMethod::instance()->setEditor(tab.scoreEditor());
    QPlainTextEdit *editor = score ? static_cast<QPlainTextEdit *>(tab.scoreEditor())
                                   : static_cast<QPlainTextEdit *>(tab.lyricEditor());
    editor->setFocus();
    toEnd(editor);
    if (composing) {
        QTest::keyClick(editor, Qt::Key_C);
        QVERIFY(InputMethod::instance()->isVisible());
    }
    for (Qt::Key key : {Qt::Key_F, Qt::Key_X, Qt::Key_7}) {
        QTest::keyClick(editor, key, Qt::AltModifier);
    }
    QCOMPARE(tab.lyricEditor()->toPlainText(), QStringLiteral("春"));
    QCOMPARE(tab.scoreEditor()->toPlainText(), QStringLiteral("工"));
    if (composing) {
        // The abbreviation went with the first Alt key, and no letter joined it.
        QVERIFY(InputMethod::instance()->composition().isEmpty());
    }
    InputMethod::instance()->reset();
}

QTEST_MAIN(TestEditMenu)
#include "tst_editmenu.moc"

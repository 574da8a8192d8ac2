// The document tab: key routing, cursor synchronisation, insert operations,
// files, the render model, and the ways around the commands that it closes.
#include "appearance/editorconfig.h"
#include "editor/inputmethod.h"
#include "model/clipboardrecord.h"
#include "model/scorefile.h"
#include "promptscript.h"
#include "tabdriver.h"
#include "testsupport.h"

#include <QAction>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace tabdriver;

namespace {

// Runs check on the next popup menu shown, then closes it.
void onNextMenu(const std::function<void(QMenu *)> &check) {
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, check] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            timer->stop();
            timer->deleteLater();
            check(menu);
            menu->close();
        }
    });
    timer->start();
}

QStringList menuTexts(QMenu *menu, QList<bool> *enabled = nullptr) {
    QStringList texts;
    for (QAction *a : menu->actions()) {
        texts.append(a->isSeparator() ? QStringLiteral("|") : a->text());
        if (enabled) {
            enabled->append(a->isEnabled());
        }
    }
    return texts;
}

} // namespace

class TestDocumentTab : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ordinaryGongcheBecomesSymbols();
    void findsGongcheSignsInEveryForm();
    void annotationLineIsAComment();

    void newTabState();
    void lettersGoToInputMethod();
    void inputMethodCommitAndNumbers();
    void spaceOpensRelatedBeats();
    void capitalsAndDigitsGoThroughCommands();
    void keysEditingBehindTheCommands_data();
    void keysEditingBehindTheCommands();
    void navigationKeysReachTheEditors();
    void inputMethodEvents();
    void lyricCursorMovesScoreCursor();
    void lyricSelectionSelectsScoreLines();
    void scoreCursorMovesLyricCursor();
    void scoreSelectionSelectsLyricCharacters();
    void contextMenuOnFrameAndTextArea();
    void middleClickAndDrops();
    void pressInsideSelectionStartsNoDrag();
    void insertOperations();
    void cutAndCopyNeedFocus();
    void modifiedFlagAndUndoSignals();
    void saveAndOpen();
    void saveAsKeepsUntitled();
    void openFailureAndHistory();
    void documentLines();
    void randomKeysNeverBypassTheCommands();
    void rendersRealDocument();

private:
    DocumentTab *tab = nullptr;
    LyricEdit *lyric = nullptr;
    ScoreEdit *score = nullptr;
};

void TestDocumentTab::init() {
    tab = new DocumentTab;
    tab->resize(647, 416);
    lyric = tab->lyricEditor();
    score = tab->scoreEditor();
}

// A score pasted in ordinary characters becomes symbols; one undo gives the
// text back as pasted; what has no symbol shows in the error colour.
void TestDocumentTab::ordinaryGongcheBecomesSymbols() {
    load(tab, QStringLiteral("春香"), QStringLiteral("\n"));
    QVERIFY(focus(score));
    QGuiApplication::clipboard()->setText(QStringLiteral("上 尺，工仩"));
    tab->paste();
    const QString symbols = sym(0xF002A) + sym(0xF002B) + sym(0xF002C) + sym(0xF0031);
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春香"), symbols + QStringLiteral("\n")));
    QCOMPARE(score->textCursor().position(), symbols.size());
    tab->undo();
    QCOMPARE(texts(tab).second, QStringLiteral("上 尺，工仩\n"));
    tab->undo();
    QCOMPARE(texts(tab).second, QStringLiteral("\n"));
    tab->redo();
    tab->redo();
    QCOMPARE(texts(tab).second, symbols + QStringLiteral("\n"));

    // Two lines from a web page, with beat marks and a sign that has no symbol.
    setCursor(score, 0);
    QGuiApplication::clipboard()->setText(QStringLiteral("合、四\n佮○"));
    tab->paste();
    QCOMPARE(texts(tab).second, sym(0xF0027) + sym(0xF0000) + sym(0xF0028) + symbols +
                                    QStringLiteral("\n佮") + sym(0xF0001));
    const QTextBlock second = score->document()->lastBlock();
    const QVector<QTextLayout::FormatRange> formats = second.layout()->formats();
    QCOMPARE(formats.size(), 1);
    QCOMPARE(formats.first().start, 0);
    QCOMPARE(formats.first().length, 1);
    QCOMPARE(formats.first().format.foreground().color(), InputMethod::invalidColor);
    QString why;
    QVERIFY2(pairingHolds(tab, &why), qPrintable(why));

    // Text with no gongche in ordinary characters goes in as it is.
    setCursor(score, 0);
    QGuiApplication::clipboard()->setText(QStringLiteral("A, b"));
    tab->paste();
    QVERIFY(texts(tab).second.startsWith(QStringLiteral("A, b")));
}

// A gongche sign in the find field finds that pitch in the score in every
// octave and form, after the lyric's own matches.
void TestDocumentTab::findsGongcheSignsInEveryForm() {
    const QString gong = sym(0xF002C), gongHigh = sym(0xF0033), gongSmall = sym(0xF006A),
                  gongLowQiKou = sym(0xF0044), chi = sym(0xF002B), touBan = sym(0xF0000);
    load(tab, QStringLiteral("工尺\n上工"),
         gong + touBan + chi + QStringLiteral("\n") + gongHigh + QStringLiteral("\n") + chi +
             QStringLiteral("\n") + gongSmall + gongLowQiKou);
    SearchResult r = tab->find(QStringLiteral("工"), false);
    QCOMPARE(r.matchCount, 2 + 4); // two in the lyric, four in the score
    QCOMPARE(r.currentIndex, 1);
    for (int i = 2; i <= 6; ++i) {
        r = tab->find(QStringLiteral("工"), false);
        QCOMPARE(r.currentIndex, i);
    }
    // The last: the low 气口 form, selected in the score pane; the lyric follows.
    QCOMPARE(score->textCursor().selectedText(), gongLowQiKou);
    QCOMPARE(lyric->textCursor().block().text(), QStringLiteral("上工"));
    QCOMPARE(tab->find(QStringLiteral("工"), false).currentIndex, 1); // wraps
    // A run of signs, beat marks between them skipped.
    setCursor(lyric, 0);
    r = tab->find(QStringLiteral("工尺"), false);
    QCOMPARE(r, (SearchResult{2, 1}));
    QCOMPARE(lyric->textCursor().selectedText(), QStringLiteral("工尺"));
    r = tab->find(QStringLiteral("工尺"), false);
    QCOMPARE(r, (SearchResult{2, 2}));
    QCOMPARE(score->textCursor().selectedText(), gong + touBan + chi);
    QCOMPARE(tab->find(QStringLiteral("春"), false), SearchResult());
    QCOMPARE(tab->find(QString(), false), SearchResult());
}

// The settings line goes in as a comment, with the key selected to type over.
void TestDocumentTab::annotationLineIsAComment() {
    load(tab, QStringLiteral("春香"), QStringLiteral("a\nb"));
    setCursor(lyric, 1);
    tab->insertAnnotation();
    QCOMPARE(texts(tab),
             qMakePair(QStringLiteral("春香\n; 笛色=小工调 板式=一板三眼 速度=60 八度=0"),
                       QStringLiteral("a\nb")));
    QCOMPARE(lineKindOf(lyric->textCursor().block().text()), LineKind::Comment);
    QCOMPARE(lyric->textCursor().selectedText(), QStringLiteral("小工调"));
}

void TestDocumentTab::cleanup() {
    delete tab;
    tab = nullptr;
    InputMethod::instance()->reset();
    QGuiApplication::clipboard()->clear();
}

void TestDocumentTab::newTabState() {
    QCOMPARE(tab->objectName(), QStringLiteral("DocumentTab"));
    QCOMPARE(lyric->objectName(), QStringLiteral("lyricEdit"));
    QCOMPARE(score->objectName(), QStringLiteral("scoreEdit"));
    QCOMPARE(tab->filePath(), QStringLiteral("未命名"));
    QCOMPARE(tab->tabTitle(true), QStringLiteral("未命名"));
    QVERIFY(!tab->isModified());
    QVERIFY(!tab->canUndo());
    QVERIFY(!tab->canRedo());
    QVERIFY(!lyric->acceptDrops());
    QVERIFY(!score->acceptDrops());
    QVERIFY(!score->viewport()->acceptDrops());
    QCOMPARE(int(score->inputMethodHints()), 0x41);
    QCOMPARE(lyric->palette().color(QPalette::Inactive, QPalette::Highlight), QColor(0, 120, 215));
    // The configuration is applied once control returns to the event loop.
    QTRY_COMPARE(lyric->font().family(), EditorConfig::instance()->lyricFont().family());
}

void TestDocumentTab::lettersGoToInputMethod() {
    load(tab, QStringLiteral("春"), QString());
    InputMethod *im = InputMethod::instance();
    QTest::keyClick(score, Qt::Key_A);
    QVERIFY(im->isVisible());
    QTest::keyClick(score, Qt::Key_A); // popup shown: still the input method
    QCOMPARE(score->toPlainText(), QString());
    QCOMPARE(im->composition().count(QLatin1Char('a')), 2);
    QTest::keyClick(score, Qt::Key_Escape);
    QVERIFY(!im->isVisible());
    QCOMPARE(tab->undoStack()->count(), 0);
}

void TestDocumentTab::inputMethodCommitAndNumbers() {
    load(tab, QStringLiteral("春香"), QStringLiteral("\n"));
    InputMethod *im = InputMethod::instance();
    QTest::keyClick(score, Qt::Key_Z);
    QTest::keyClick(score, Qt::Key_B);
    QVERIFY(im->isVisible());
    QTest::keyClick(score, Qt::Key_2);
    QVERIFY(!im->isVisible());
    QCOMPARE(score->toPlainText(), sym(0xF0007) + "\n");
    QTest::keyClick(score, Qt::Key_Z);
    QTest::keyClick(score, Qt::Key_B);
    QTest::keyClick(score, Qt::Key_Space);
    QCOMPARE(score->toPlainText(), sym(0xF0007) + sym(0xF0003) + "\n");
    QCOMPARE(tab->undoStack()->count(), 2);
    // An unknown composition commits nothing.
    QTest::keyClick(score, Qt::Key_V);
    QTest::keyClick(score, Qt::Key_Return);
    QVERIFY(!im->isVisible());
    QCOMPARE(tab->undoStack()->count(), 2);
    tab->undo();
    tab->undo();
    QCOMPARE(score->toPlainText(), QStringLiteral("\n"));
}

void TestDocumentTab::spaceOpensRelatedBeats() {
    load(tab, QStringLiteral("春"), QString());
    QTest::keyClick(score, Qt::Key_Space);
    InputMethod *im = InputMethod::instance();
    QVERIFY(im->isVisible());
    QCOMPARE(im->composition(), sym(0xF0000));
    QCOMPARE(score->toPlainText(), QString());
    QTest::keyClick(score, Qt::Key_1);
    QCOMPARE(score->toPlainText(), sym(0xF0000));
    QVERIFY(pairingHolds(tab));
}

void TestDocumentTab::capitalsAndDigitsGoThroughCommands() {
    load(tab, QStringLiteral("春香"), QStringLiteral("a\nb"));
    setCursor(score, 1);
    QTest::keyClick(score, 'A', Qt::ShiftModifier);
    QTest::keyClick(score, Qt::Key_7);
    key(score, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\t"));
    QCOMPARE(score->toPlainText(), QStringLiteral("aA7\t\nb"));
    QCOMPARE(tab->undoStack()->count(), 3);
    while (tab->canUndo()) {
        tab->undo();
    }
    QCOMPARE(score->toPlainText(), QStringLiteral("a\nb"));
}

void TestDocumentTab::keysEditingBehindTheCommands_data() {
    QTest::addColumn<bool>("inScore");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    const int ctrl = int(Qt::ControlModifier);
    const int ctrlShift = int(Qt::ControlModifier | Qt::ShiftModifier);
    for (bool inScore : {false, true}) {
        const QByteArray where = inScore ? "score " : "lyric ";
        QTest::newRow((where + "tab").constData()) << inScore << int(Qt::Key_Tab) << 0 << "\t";
        QTest::newRow((where + "backtab").constData())
            << inScore << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << "\t";
        QTest::newRow((where + "ctrl+k").constData())
            << inScore << int(Qt::Key_K) << ctrl << "\x0b";
        QTest::newRow((where + "ctrl+u").constData())
            << inScore << int(Qt::Key_U) << ctrl << "\x15";
        QTest::newRow((where + "ctrl+y").constData())
            << inScore << int(Qt::Key_Y) << ctrl << "\x19";
        QTest::newRow((where + "ctrl+shift+z").constData())
            << inScore << int(Qt::Key_Z) << ctrlShift << "";
        QTest::newRow((where + "ctrl+backspace").constData())
            << inScore << int(Qt::Key_Backspace) << ctrl << "";
        QTest::newRow((where + "ctrl+delete").constData())
            << inScore << int(Qt::Key_Delete) << ctrl << "";
        QTest::newRow((where + "shift+return").constData())
            << inScore << int(Qt::Key_Return) << int(Qt::ShiftModifier) << "\r";
        QTest::newRow((where + "zero-width joiner").constData())
            << inScore << int(Qt::Key_unknown) << 0 << QString(QChar(0x200D));
        QTest::newRow((where + "private use").constData())
            << inScore << int(Qt::Key_unknown) << 0 << QString(QChar(0xE000));
        QTest::newRow((where + "gongche symbol").constData())
            << inScore << int(Qt::Key_unknown) << 0 << sym(0xF0001);
        QTest::newRow((where + "ctrl+shift+a").constData())
            << inScore << int(Qt::Key_A) << ctrlShift << "\x01";
        QTest::newRow((where + "shift+insert").constData())
            << inScore << int(Qt::Key_Insert) << int(Qt::ShiftModifier) << "";
    }
}

void TestDocumentTab::keysEditingBehindTheCommands() {
    // Whatever these keys do, every change must be a command: undoing all of
    // them restores the texts, and the pairing holds throughout.
    QFETCH(bool, inScore);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    const QString lyricText = QStringLiteral("春香，你\n好");
    const QString scoreText = QStringLiteral("a\nbc\nd\ne");
    load(tab, lyricText, scoreText);
    QGuiApplication::clipboard()->setText(QStringLiteral("x\ny"));
    QPlainTextEdit *editor =
        inScore ? static_cast<QPlainTextEdit *>(score) : static_cast<QPlainTextEdit *>(lyric);
    QVERIFY(focus(editor));
    setCursor(editor, 3);
    // Both a plain cursor and one just after an edit (with something to undo
    // in the editor's own history).
    for (int round = 0; round < 2; ++round) {
        tabdriver::key(editor, Qt::Key(key), Qt::KeyboardModifiers(modifiers), text);
        QString why;
        if (!inScore || !(modifiers & Qt::ShiftModifier)) {
            QVERIFY2(pairingHolds(tab, &why), qPrintable(why));
        }
        type(lyric, QStringLiteral("秋"));
    }
    while (tab->canUndo()) {
        tab->undo();
    }
    QCOMPARE(texts(tab), qMakePair(lyricText, scoreText));
    // The editors' own histories hold nothing the stack does not know of.
    QVERIFY(!lyric->document()->isUndoAvailable());
    QVERIFY(!score->document()->isUndoAvailable());
}

void TestDocumentTab::navigationKeysReachTheEditors() {
    load(tab, QStringLiteral("春香\n你好"), QStringLiteral("a\nb\nc\nd"));
    QVERIFY(focus(lyric));
    setCursor(lyric, 0);
    QTest::keyClick(lyric, Qt::Key_Right);
    QCOMPARE(lyric->textCursor().position(), 1);
    QTest::keyClick(lyric, Qt::Key_Down);
    QCOMPARE(lyric->textCursor().position(), 4);
    QTest::keyClick(lyric, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(lyric->textCursor().selectedText(), QStringLiteral("你"));
    QTest::keyClick(lyric, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(lyric->textCursor().selectionEnd(), 5);
    QCOMPARE(tab->undoStack()->count(), 0);
    setCursor(score, 0);
    QTest::keyClick(score, Qt::Key_End);
    QCOMPARE(score->textCursor().position(), 1);
}

void TestDocumentTab::inputMethodEvents() {
    load(tab, QStringLiteral("春"), QStringLiteral("x"));
    toEnd(lyric);
    {
        QInputMethodEvent preedit(QStringLiteral("xiang"), {});
        QApplication::sendEvent(lyric, &preedit);
    }
    QCOMPARE(lyric->toPlainText(), QStringLiteral("春"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("香你"));
    QApplication::sendEvent(lyric, &commit);
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春香你"), QStringLiteral("x\n\n")));
    QCOMPARE(tab->undoStack()->count(), 1);
    QInputMethodEvent empty;
    QApplication::sendEvent(lyric, &empty);
    QCOMPARE(tab->undoStack()->count(), 1);
    // A system input method committing into the score editor.
    setCursor(score, 0);
    QInputMethodEvent scoreCommit;
    scoreCommit.setCommitString(QStringLiteral("ab\ncd"));
    QApplication::sendEvent(score, &scoreCommit);
    QCOMPARE(score->toPlainText(), QStringLiteral("abx\ncd\n"));
    while (tab->canUndo()) {
        tab->undo();
    }
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春"), QStringLiteral("x")));
}

void TestDocumentTab::lyricCursorMovesScoreCursor() {
    load(tab, QStringLiteral("春香\n# 标题\n你好"), QStringLiteral("aa\nbb\ncc\ndd"));
    setCursor(lyric, 2);                         // after 香
    QCOMPARE(score->textCursor().position(), 5); // end of line 1
    QVERIFY(!score->textCursor().hasSelection());
    QCOMPARE(score->extraSelections().size(), 1);
    QCOMPARE(score->extraSelections().at(0).cursor.blockNumber(), 1);
    QCOMPARE(lyric->extraSelections().at(0).cursor.blockNumber(), 0);
    // A directive line after the first sung character: the last sung
    // character before it.
    setCursor(lyric, 5);
    QCOMPARE(score->textCursor().position(), 5);
    QVERIFY(!score->textCursor().hasSelection());
    setCursor(lyric, 0);
    QCOMPARE(score->textCursor().position(), 0);
    setCursor(lyric, lyric->document()->characterCount() - 1);
    QCOMPARE(score->textCursor().position(), 11);
}

void TestDocumentTab::lyricSelectionSelectsScoreLines() {
    load(tab, QStringLiteral("春香，你好"), QStringLiteral("aa\nbb\ncc\ndd"));
    setCursor(lyric, 4, 1); // 香，你
    QCOMPARE(score->textCursor().selectedText(),
             QStringLiteral("bb") + QChar(0x2029) + QStringLiteral("cc"));
    QVERIFY(lyric->extraSelections().isEmpty());
    QVERIFY(score->extraSelections().isEmpty());
}

void TestDocumentTab::scoreCursorMovesLyricCursor() {
    load(tab, QStringLiteral("# 题\n春香，你好"), QStringLiteral("aa\nbb\ncc\ndd"));
    setCursor(score, 7);                         // line 2
    QCOMPARE(lyric->textCursor().position(), 8); // after 你
    QCOMPARE(lyric->extraSelections().size(), 1);
    QCOMPARE(lyric->extraSelections().at(0).cursor.selectedText(), QStringLiteral("你"));
    QCOMPARE(score->extraSelections().at(0).cursor.blockNumber(), 2);
}

void TestDocumentTab::scoreSelectionSelectsLyricCharacters() {
    load(tab, QStringLiteral("# 题\n春香，你好"), QStringLiteral("aa\nbb\ncc\ndd"));
    setCursor(score, 7, 4); // from line 1 to line 2
    QCOMPARE(lyric->textCursor().selectedText(), QStringLiteral("香，你"));
    setCursor(score, 4, 7); // backwards: the same lines
    QCOMPARE(lyric->textCursor().selectedText(), QStringLiteral("香，你"));
    QVERIFY(lyric->extraSelections().isEmpty());
}

void TestDocumentTab::contextMenuOnFrameAndTextArea() {
    load(tab, QStringLiteral("春"), QStringLiteral("x"));
    QVERIFY(focus(lyric));
    QList<bool> enabled;
    QStringList texts;
    onNextMenu([&](QMenu *menu) { texts = menuTexts(menu, &enabled); });
    QTest::mousePress(lyric, Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
    QCOMPARE(texts,
             (QStringList{QStringLiteral("撤销"), QStringLiteral("重做"), QStringLiteral("|"),
                          QStringLiteral("剪切"), QStringLiteral("复制"), QStringLiteral("粘贴")}));
    QCOMPARE(enabled.at(3), false);
    QCOMPARE(enabled.at(4), false);

    // On the text area the tab's menu too, never the editor's own.
    setCursor(score, 1, 0);
    texts.clear();
    enabled.clear();
    onNextMenu([&](QMenu *menu) { texts = menuTexts(menu, &enabled); });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 10),
                            score->viewport()->mapToGlobal(QPoint(20, 10)));
    QApplication::sendEvent(score->viewport(), &event);
    QCOMPARE(texts.size(), 6);
    QCOMPARE(texts.at(0), QStringLiteral("撤销"));
    QCOMPARE(enabled.at(3), true);
    QCOMPARE(enabled.at(4), true);
}

void TestDocumentTab::middleClickAndDrops() {
    load(tab, QStringLiteral("春"), QStringLiteral("x"));
    tab->show();
    QVERIFY(QTest::qWaitForWindowExposed(tab));
    QClipboard *cb = QGuiApplication::clipboard();
    cb->setText(QStringLiteral("香香"), QClipboard::Selection);
    cb->setText(QStringLiteral("香香"));
    QTest::mouseClick(lyric->viewport(), Qt::MiddleButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseClick(score->viewport(), Qt::MiddleButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春"), QStringLiteral("x")));

    QMimeData data;
    data.setText(QStringLiteral("香"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(lyric->viewport(), &enter);
    QVERIFY(!enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(lyric->viewport(), &drop);
    QApplication::sendEvent(score->viewport(), &drop);
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春"), QStringLiteral("x")));
}

void TestDocumentTab::pressInsideSelectionStartsNoDrag() {
    load(tab, QStringLiteral("春香你好"), QStringLiteral("a\nb\nc\nd"));
    tab->show();
    QVERIFY(QTest::qWaitForWindowExposed(tab));
    setCursor(lyric, 4, 0);
    const QPoint inside = lyric->cursorRect(QTextCursor(lyric->document())).center() +
                          QPoint(lyric->fontMetrics().horizontalAdvance(QStringLiteral("春")), 0);
    QTest::mousePress(lyric->viewport(), Qt::LeftButton, Qt::NoModifier, inside);
    QVERIFY(!lyric->textCursor().hasSelection());
    // Dragging from there selects instead of moving the text away.
    QTest::mouseMove(lyric->viewport(), inside + QPoint(60, 0));
    QTest::mouseRelease(lyric->viewport(), Qt::LeftButton, Qt::NoModifier, inside + QPoint(60, 0));
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春香你好"), QStringLiteral("a\nb\nc\nd")));
}

void TestDocumentTab::insertOperations() {
    tab->insertTitle();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("# 标题"));
    QCOMPARE(lyric->textCursor().selectedText(), QStringLiteral("标题"));
    QCOMPARE(tab->undoStack()->count(), 1);
    tab->insertQuPai();
    QCOMPARE(lyric->toPlainText(), QStringLiteral("# 标题\n【曲牌名】(调)"));
    QCOMPARE(lyric->textCursor().selectedText(), QStringLiteral("曲牌名"));
    tab->insertLianBai();
    tab->insertJiaBai();
    tab->insertComment();
    tab->insertLineBreak();
    tab->insertPageBreak();
    QCOMPARE(lyric->toPlainText(),
             QStringLiteral("# 标题\n【曲牌名】(调)\n= \n> \n; \n@换行符\n@分页符"));
    QVERIFY(!lyric->textCursor().hasSelection());
    QCOMPARE(lyric->textCursor().position(), lyric->document()->characterCount() - 1);
    QCOMPARE(score->toPlainText(), QString());
    // Into a sung line: below it, the line's characters keep their lines.
    load(tab, QStringLiteral("春香\n你"), QStringLiteral("a\nb\nc"));
    setCursor(lyric, 1);
    tab->insertTitle();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春香\n# 标题\n你"), QStringLiteral("a\nb\nc")));
    QCOMPARE(lyric->textCursor().selectedText(), QStringLiteral("标题"));
    // Typing over the selected name replaces it.
    type(lyric, QStringLiteral("牡丹亭"));
    QCOMPARE(lyric->toPlainText(), QStringLiteral("春香\n# 牡丹亭\n你"));
    QVERIFY(pairingHolds(tab));
}

void TestDocumentTab::cutAndCopyNeedFocus() {
    load(tab, QStringLiteral("春香"), QStringLiteral("a\nb"));
    QVERIFY(focus(lyric));
    setCursor(score, 3, 0);                      // a selection in the unfocused score editor
    QVERIFY(lyric->textCursor().hasSelection()); // and its pair in the lyric
    setCursor(score, 3, 0);
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    QVERIFY(focus(score));
    setCursor(lyric, 0);
    setCursor(score, 3, 0);
    tab->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a\nb"));
    tab->cut();
    QCOMPARE(score->toPlainText(), QStringLiteral("\n"));
    QVERIFY(focus(lyric));
    setCursor(lyric, 1, 0);
    tab->cut();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("香"), QString()));
    QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat(
        QString::fromLatin1(lyricScoreMimeType)));
}

void TestDocumentTab::modifiedFlagAndUndoSignals() {
    QSignalSpy modified(tab, &DocumentTab::modifiedChanged);
    QSignalSpy canUndo(tab, &DocumentTab::canUndoChanged);
    QSignalSpy canRedo(tab, &DocumentTab::canRedoChanged);
    type(lyric, QStringLiteral("春"));
    QVERIFY(tab->isModified());
    QCOMPARE(modified.count(), 1);
    QCOMPARE(modified.at(0).at(0).toBool(), true);
    QCOMPARE(canUndo.count(), 1);
    QCOMPARE(tab->tabTitle(true), QStringLiteral("未命名*"));
    tab->undo();
    QVERIFY(!tab->isModified()); // undoing back to the text as it was clears it
    QVERIFY(tab->canRedo());
    QCOMPARE(canRedo.last().at(0).toBool(), true);
    QCOMPARE(modified.count(), 2);
    QCOMPARE(modified.last().at(0).toBool(), false);
}

void TestDocumentTab::saveAndOpen() {
    QTemporaryDir dir;
    PromptScript prompts;
    load(tab, QStringLiteral("春香"), sym(0xF0001) + "\n" + sym(0xF0002));
    type(lyric, QStringLiteral("，"));
    prompts.answer(dir.filePath(QStringLiteral("piece")));
    QSignalSpy modified(tab, &DocumentTab::modifiedChanged);
    QVERIFY(tab->save(false));
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::SaveFile);
    QCOMPARE(prompts.last().title, QStringLiteral("保存"));
    QCOMPARE(prompts.last().filter, QStringLiteral("工尺谱文件 (*.gcp)"));
    const QString path = dir.filePath(QStringLiteral("piece.gcp"));
    QCOMPARE(tab->filePath(), path);
    QVERIFY(!tab->isModified());
    QCOMPARE(modified.last().at(0).toBool(), false);
    QCOMPARE(tab->tabTitle(true), QStringLiteral("piece.gcp"));
    QCOMPARE(tab->tabTitle(false), path);
    // A second save asks nothing.
    type(lyric, QStringLiteral("你"));
    QVERIFY(tab->save(false));
    QCOMPARE(prompts.count(), 1);

    DocumentTab other;
    QVERIFY(other.open(path));
    QCOMPARE(texts(&other), texts(tab));
    QVERIFY(!other.isModified());
    QCOMPARE(other.filePath(), path);
    QVERIFY(!other.canUndo());
    QCOMPARE(other.tabTitle(true), QStringLiteral("piece.gcp"));

    // A cancelled dialog.
    DocumentTab third;
    QVERIFY(!third.save(false));
    QCOMPARE(third.filePath(), QStringLiteral("未命名"));
}

void TestDocumentTab::saveAsKeepsUntitled() {
    QTemporaryDir dir;
    PromptScript prompts;
    type(lyric, QStringLiteral("春"));
    const QString path = dir.filePath(QStringLiteral("copy.GCP"));
    prompts.answer(path);
    QSignalSpy saved(tab, &DocumentTab::saved);
    QVERIFY(tab->save(true));
    QVERIFY(QFileInfo::exists(path));
    // Only the file dialog: success is told by the window, quietly.
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::SaveFile);
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved.first(), (QVariantList{path, true}));
    QCOMPARE(tab->filePath(), QStringLiteral("未命名"));
    QCOMPARE(tab->tabTitle(true), QStringLiteral("未命名*"));
    QVERIFY(tab->isModified());
}

void TestDocumentTab::openFailureAndHistory() {
    QTemporaryDir dir;
    PromptScript prompts;
    load(tab, QStringLiteral("春"), QStringLiteral("x"));
    QVERIFY(!tab->open(dir.filePath(QStringLiteral("missing.gcp"))));
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("春"), QStringLiteral("x")));
    QCOMPARE(prompts.last().text, QStringLiteral("打开文件时发生错误！"));

    // Opening into a tab with history: the old commands must not replay the
    // new texts' (empty) histories.
    const QString path = dir.filePath(QStringLiteral("b.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("你好"), QStringLiteral("1\n2")));
    toEnd(lyric);
    type(lyric, QStringLiteral("香"));
    QVERIFY(tab->canUndo());
    QVERIFY(tab->open(path));
    QVERIFY(!tab->canUndo());
    tab->undo();
    QCOMPARE(texts(tab), qMakePair(QStringLiteral("你好"), QStringLiteral("1\n2")));
}

void TestDocumentTab::documentLines() {
    load(tab, QStringLiteral("# 标题\n春，香\n@注\n【曲】\n\nabc\n好"),
         QStringLiteral("S1\nS2\nS3"));
    const DocumentLines lines = tab->documentLines();
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.at(0).kind, LineKind::Title);
    QVERIFY(lines.at(0).scores.isEmpty());
    QCOMPARE(lines.at(1).kind, LineKind::Lyric);
    QCOMPARE(lines.at(1).scores,
             (QStringList{QStringLiteral("S1"), QString(), QStringLiteral("S2")}));
    QCOMPARE(lines.at(2).kind, LineKind::Lyric);
    QCOMPARE(lines.at(2).scores, (QStringList{QString(), QStringLiteral("S2")}));
    QCOMPARE(lines.at(3).kind, LineKind::QuPai);
    QCOMPARE(lines.at(4).kind, LineKind::Other);
    QCOMPARE(lines.at(5).kind, LineKind::Other);
    QCOMPARE(lines.at(6).scores, (QStringList{QStringLiteral("S3")}));
    // A score line that does not exist gives the empty string; a surrogate
    // pair is one character.
    load(tab, QStringLiteral("春") + sym(0x20000) + QStringLiteral("香"), QStringLiteral("A"));
    QCOMPARE(tab->documentLines().at(0).scores,
             (QStringList{QStringLiteral("A"), QString(), QString()}));
}

void TestDocumentTab::randomKeysNeverBypassTheCommands() {
    // Random keys with random modifiers and texts into both editors: no key
    // may change a text without a command, and undoing every command
    // restores the texts.
    QRandomGenerator rng(4711);
    load(tab, QStringLiteral("春香，你\n# 题\n好"), QStringLiteral("a\nb\nc\nd"));
    QVERIFY(focus(lyric));
    int pushes = 0;
    connect(tab->undoStack(), &QUndoStack::indexChanged, [&pushes] { ++pushes; });
    const Qt::KeyboardModifiers mods[] = {Qt::NoModifier,
                                          Qt::ShiftModifier,
                                          Qt::ControlModifier,
                                          Qt::AltModifier,
                                          Qt::ControlModifier | Qt::ShiftModifier,
                                          Qt::ControlModifier | Qt::AltModifier,
                                          Qt::MetaModifier};
    const QString keyTexts[] = {QString(),
                                QStringLiteral("x"),
                                QStringLiteral("春"),
                                QStringLiteral("\t"),
                                QStringLiteral("\r"),
                                QStringLiteral("\x7f"),
                                QStringLiteral("\b"),
                                QString(QChar(0x200C)),
                                QString(QChar(0xA0)),
                                QString(QChar(0x2028)),
                                sym(0xF0002)};
    QGuiApplication::clipboard()->setText(QStringLiteral("香\n#"));
    for (int round = 0; round < 20; ++round) {
        const auto baseline = texts(tab);
        for (int i = 0; i < 80; ++i) {
            QPlainTextEdit *editor = rng.bounded(2) ? static_cast<QPlainTextEdit *>(lyric)
                                                    : static_cast<QPlainTextEdit *>(score);
            if (rng.bounded(20) == 0) {
                editor->setFocus();
            }
            int k;
            switch (rng.bounded(4)) {
            case 0:
                k = Qt::Key_A + rng.bounded(26);
                break;
            case 1:
                k = Qt::Key_Escape + rng.bounded(0x20); // Tab, Backspace, Home, arrows, ...
                break;
            case 2:
                k = Qt::Key_Space + rng.bounded(0x60);
                break;
            default:
                k = Qt::Key_unknown;
                break;
            }
            const Qt::KeyboardModifiers m = mods[rng.bounded(int(std::size(mods)))];
            const QString t = keyTexts[rng.bounded(int(std::size(keyTexts)))];
            const auto before = texts(tab);
            const int pushesBefore = pushes;
            key(editor, Qt::Key(k), m, t);
            if (texts(tab) != before && pushes == pushesBefore) {
                QFAIL(qPrintable(QStringLiteral("key %1, modifiers %2, text %3 changed the %4 text "
                                                "without a command")
                                     .arg(k, 0, 16)
                                     .arg(int(m), 0, 16)
                                     .arg(t.isEmpty() ? 0 : t.at(0).unicode(), 0, 16)
                                     .arg(editor == lyric ? "lyric" : "score")));
            }
            if (rng.bounded(30) == 0) {
                InputMethod::instance()->reset();
            }
        }
        InputMethod::instance()->reset();
        const auto reached = texts(tab);
        while (tab->canUndo()) {
            tab->undo();
        }
        QCOMPARE(texts(tab), baseline);
        while (tab->canRedo()) {
            tab->redo();
        }
        QCOMPARE(texts(tab), reached);
        tab->undoStack()->clear();
    }
}

void TestDocumentTab::rendersRealDocument() {
    // A real piece with both gutters, the highlights and a paired selection.
    // With QORVEL_GRAB_DIR set, the tab is saved there as tab.png.
    const QString pitch = sym(0xF002C) + sym(0xF0030);
    QStringList scores;
    const QString lyricText =
        QStringLiteral("# 牡丹亭 惊梦\n【皂罗袍】(仙吕)\n原来姹紫嫣红开遍，\n"
                       "似这般都付与断井颓垣。\n= 白\n@换行符\n良辰美景奈何天");
    for (int i = 0; i < 24; ++i) {
        scores << (i % 3 == 0 ? pitch + sym(0xF0000) : pitch + sym(0xF0001));
    }
    load(tab, lyricText, scores.join(QLatin1Char('\n')));
    tab->resize(760, 420);
    QVERIFY(focus(lyric));
    setCursor(lyric, 25, 21); // 姹紫嫣红
    QCOMPARE(score->textCursor().selectedText().count(QChar(0x2029)), 3);
    QTRY_COMPARE(lyric->font().family(), EditorConfig::instance()->lyricFont().family());
    const QImage image = tab->grab().toImage();
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), tab->size() * image.devicePixelRatio());
    if (qEnvironmentVariableIsSet("QORVEL_GRAB_DIR")) {
        QVERIFY(image.save(qEnvironmentVariable("QORVEL_GRAB_DIR") + QStringLiteral("/tab.png")));
        setCursor(score, score->document()->findBlockByNumber(9).position() + 2);
        QVERIFY(tab->grab().save(qEnvironmentVariable("QORVEL_GRAB_DIR") +
                                 QStringLiteral("/tab2.png")));
    }
}

QTEST_MAIN(TestDocumentTab)
#include "tst_documenttab.moc"

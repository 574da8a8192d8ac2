#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "export/previewdock.h"
#include "model/gongchesymbol.h"
#include "model/scorefile.h"
#include "online/updatemanager.h"
#include "platform/apppaths.h"
#include "platform/serviceconfig.h"
#include "promptscript.h"
#include "shell/mainwindow.h"
#include "shell/updatenotice.h"
#include "testhttpserver.h"
#include "testsupport.h"
#include "windowfixture.h"

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startsWithTheStartPage();
    void actionsAsListed();
    void dialogsOpenFromTheirActions();
    void opensFilesInTabs();
    void commandLineArgument();
    void closingTheLastTabHidesTheSearchBar();
    void ctrlFWithoutTabDoesNothing();
    void untitledPromptAndSave();
    void closingThreeModifiedTabsStopsAtCancel();
    void searchLabel();
    void enterFindsAndShiftEnterGoesBack();
    void escNeverQuits();
    void titleNamesTheFile();
    void problemListFollowsTheDocument();
    void problemListInsertsTheSettingsLine();
    void forcedUpdateClosesTheNormalWay();
    void startPageFromCacheAndNetwork();
    void hostileStartPages();

private:
    QAction *action(const char *name) const { return windowfixture::action(m_window, name); }
    QWidget *widget(const char *name) const {
        return m_window->findChild<QWidget *>(QLatin1String(name));
    }
    DocumentTab *modifiedTab() {
        m_window->newAction();
        DocumentTab *edit = m_window->currentEdit();
        windowfixture::typeInto(edit->lyricEditor(), QStringLiteral("春"));
        return edit;
    }

    TestHttpServer m_server;
    QTemporaryDir m_programDir;
    MainWindow *m_window = nullptr;
};

void TestMainWindow::initTestCase() {
    m_server.body("/sponsor", "<p>fetched page</p>");
    m_server.body("/update_check.json", R"({"version": "2.1"})");
    windowfixture::useProgramDir(m_programDir.path(), m_server.baseUrl().toUtf8());
}

void TestMainWindow::init() {
    QVERIFY(windowfixture::openWindow(m_window));
}

void TestMainWindow::cleanup() {
    windowfixture::closeWindow(m_window);
}

void TestMainWindow::startsWithTheStartPage() {
    QVERIFY(m_window->startPage()->isVisible());
    QVERIFY(!m_window->tabWidget()->isVisible());
    QVERIFY(!m_window->startPage()->toPlainText().isEmpty()); // built-in welcome at least
    for (const char *name :
         {"undoAction", "redoAction", "saveAction", "saveAsAction", "exportAction", "copyAction",
          "pasteAction", "cutAction", "searchAction", "insertTitleAction", "insertQupaiAction",
          "insertLianbaiAction", "insertJiabaiAction", "insertCommentAction", "lineBreakAction",
          "pageBreakAction"}) {
        QVERIFY2(!action(name)->isEnabled(), name);
    }
    for (const char *name : {"newAction", "openAction", "settingAction", "fontManagerAction",
                             "helpAction", "aboutAction", "exitAction"}) {
        QVERIFY2(action(name)->isEnabled(), name);
    }
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Qorvel工尺谱"));
    QVERIFY(!widget("searchBox")->isVisible());
}

void TestMainWindow::actionsAsListed() {
    QCOMPARE(action("openAction")->toolTip(), QStringLiteral("打开文件  Ctrl+O"));
    QCOMPARE(action("lineBreakAction")->shortcut(), QKeySequence(QStringLiteral("Alt+Return")));
    QCOMPARE(action("pageBreakAction")->toolTip(), QStringLiteral("插入分页符 Alt+Shift+Enter"));
    // Esc belongs to the candidate popup and the find bar: it never quits.
    QCOMPARE(action("exitAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    QCOMPARE(action("exitAction")->toolTip(), QStringLiteral("退出 Ctrl+Q"));
    QCOMPARE(action("closeTabAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+W")));
    QCOMPARE(action("helpAction")->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(action("switchPaneAction")->shortcut(), QKeySequence(Qt::Key_F6));
    QVERIFY(!action("settingAction")->icon().isNull());
    QCOMPARE(m_window->findChildren<QAction *>().size() >= 23, true);
}

// Each dialog action runs its dialog modally; the dialog is closed as soon as
// it is up, and its title tells which one it was.
void TestMainWindow::dialogsOpenFromTheirActions() {
    const QList<QPair<const char *, QString>> dialogs = {
        {"settingAction", QStringLiteral("设置")},
        {"fontManagerAction", QStringLiteral("字体管理")},
        {"helpAction", QStringLiteral("帮助")},
        {"aboutAction", QStringLiteral("关于")}};
    for (const auto &d : dialogs) {
        QString seen;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                seen = modal->windowTitle();
                modal->close();
            }
        });
        closer.start(10);
        action(d.first)->trigger();
        closer.stop();
        QCOMPARE(seen, d.second);
    }
    // Export runs on the current tab only.
    action("exportAction")->trigger(); // disabled without a tab: nothing happens
    m_window->exportAction();
    m_window->newAction();
    // 导出 exports with the settings in force: it asks where (cancelled
    // here) and opens no window; the preview stays a pane right of the editors.
    PromptScript prompts;
    action("exportAction")->trigger();
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::SaveFile);
    QCOMPARE(prompts.last().title, QStringLiteral("导出为PDF文件"));
    QVERIFY(!QApplication::activeModalWidget());
    PreviewDock *dock = m_window->previewDock();
    QVERIFY(dock->isVisible());
    QVERIFY(!dock->isFloating());
    QCOMPARE(m_window->dockWidgetArea(dock), Qt::RightDockWidgetArea);
    QCOMPARE(m_window->findChildren<PreviewDock *>().size(), 1);
}

void TestMainWindow::opensFilesInTabs() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("曲.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("春香"), QStringLiteral("\n")));
    m_window->openDocument(path);
    m_window->openDocument(path); // shows the tab it has
    QCOMPARE(m_window->tabWidget()->count(), 1);
    QCOMPARE(m_window->tabWidget()->tabText(0), QStringLiteral("曲.gcp"));
    QVERIFY(m_window->tabWidget()->isVisible());
    QVERIFY(!m_window->startPage()->isVisible());
    QVERIFY(action("saveAction")->isEnabled());

    PromptScript prompts;
    m_window->openDocument(dir.filePath(QStringLiteral("missing.gcp")));
    QCOMPARE(m_window->tabWidget()->count(), 1);
    QCOMPARE(prompts.last().text, QStringLiteral("打开文件时发生错误！"));
}

void TestMainWindow::commandLineArgument() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("arg.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("春"), QString()));
    PromptScript prompts;
    m_window->openFromArguments({QStringLiteral("qorvel")});
    m_window->openFromArguments(
        {QStringLiteral("qorvel"), dir.filePath(QStringLiteral("none.gcp"))});
    m_window->openFromArguments({QStringLiteral("qorvel"), dir.path()}); // a directory
    QCOMPARE(m_window->tabWidget()->count(), 0);
    QCOMPARE(prompts.count(), 0); // ignored silently
    m_window->openFromArguments({QStringLiteral("qorvel"), path, QStringLiteral("ignored")});
    QCOMPARE(m_window->tabWidget()->count(), 1);
    QCOMPARE(m_window->currentEdit()->filePath(), path);
}

void TestMainWindow::closingTheLastTabHidesTheSearchBar() {
    m_window->newAction();
    m_window->searchAction();
    QVERIFY(widget("searchBox")->isVisible());
    QVERIFY(m_window->tabWidgetClose(0));
    QVERIFY(!widget("searchBox")->isVisible());
    QVERIFY(m_window->startPage()->isVisible());
    QVERIFY(!action("undoAction")->isEnabled());
}

void TestMainWindow::ctrlFWithoutTabDoesNothing() {
    QTest::keyClick(m_window, Qt::Key_F, Qt::ControlModifier);
    m_window->searchAction();
    QVERIFY(!widget("searchBox")->isVisible());
}

void TestMainWindow::untitledPromptAndSave() {
    QTemporaryDir dir;
    DocumentTab *edit = modifiedTab();
    QCOMPARE(m_window->tabWidget()->tabText(0), QStringLiteral("未命名*"));
    QVERIFY(action("undoAction")->isEnabled());
    PromptScript prompts;
    prompts.answer(QMessageBox::Yes);
    prompts.answer(dir.filePath(QStringLiteral("a"))); // the save dialog
    QVERIFY(m_window->tabWidgetClose(0));
    QCOMPARE(prompts.shown().at(0).text, QStringLiteral("\"未命名\"未保存，是否保存？"));
    QCOMPARE(prompts.shown().at(0).buttons,
             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    // Success is said in the status bar, not in a box.
    QCOMPARE(prompts.count(), 2);
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("已保存 ") +
                 QDir::toNativeSeparators(dir.filePath(QStringLiteral("a.gcp"))));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("a.gcp"))));
    Q_UNUSED(edit);
}

void TestMainWindow::closingThreeModifiedTabsStopsAtCancel() {
    QList<DocumentTab *> tabs;
    for (int i = 0; i < 3; ++i) {
        tabs.append(modifiedTab());
    }
    PromptScript prompts;
    prompts.answer(QMessageBox::No);
    prompts.answer(QMessageBox::Cancel);
    m_window->close();
    QCOMPARE(prompts.count(), 2); // asked for the third, then the second
    QCOMPARE(m_window->tabWidget()->count(), 2);
    QCOMPARE(m_window->tabWidget()->widget(0), tabs.at(0));
    QCOMPARE(m_window->tabWidget()->widget(1), tabs.at(1));
    QVERIFY(m_window->isVisible());
}

void TestMainWindow::searchLabel() {
    m_window->newAction();
    DocumentTab *edit = m_window->currentEdit();
    windowfixture::typeInto(edit->lyricEditor(), QStringLiteral("工尺工上工"));
    edit->lyricEditor()->moveCursor(QTextCursor::Start);
    m_window->searchAction();
    auto *searchEdit = m_window->findChild<QLineEdit *>(QStringLiteral("searchEdit"));
    auto *label = m_window->findChild<QLabel *>(QStringLiteral("searchResLabel"));
    searchEdit->setText(QStringLiteral("工"));
    QVERIFY(label->text().isEmpty()); // typing does not search
    m_window->onSearchNextBtnClicked();
    QCOMPARE(label->text(), QStringLiteral("1/3"));
    m_window->onSearchNextBtnClicked();
    QCOMPARE(label->text(), QStringLiteral("2/3"));
    searchEdit->clear();
    QVERIFY(label->text().isEmpty());
}

// Enter in the find field finds the next match and Shift+Enter the previous
// one; the score pane shows the score of the character found; Esc closes the
// bar; a text that is nowhere says so.
void TestMainWindow::enterFindsAndShiftEnterGoesBack() {
    m_window->newAction();
    DocumentTab *edit = m_window->currentEdit();
    edit->restore(QStringLiteral("似这般\n都付与这"), QStringLiteral("1\n2\n3\n4\n5\n6\n7"),
                  QStringLiteral("未命名"));
    edit->lyricEditor()->moveCursor(QTextCursor::Start);
    m_window->searchAction();
    auto *searchEdit = m_window->findChild<QLineEdit *>(QStringLiteral("searchEdit"));
    auto *label = m_window->findChild<QLabel *>(QStringLiteral("searchResLabel"));
    QVERIFY(searchEdit->hasFocus() || QTest::qWaitForWindowActive(m_window));
    searchEdit->setText(QStringLiteral("这"));
    const auto scoreLine = [edit] { return edit->scoreEditor()->textCursor().block().text(); };
    QTest::keyClick(searchEdit, Qt::Key_Return);
    QCOMPARE(label->text(), QStringLiteral("1/2"));
    QCOMPARE(edit->lyricEditor()->textCursor().selectedText(), QStringLiteral("这"));
    QCOMPARE(scoreLine(), QStringLiteral("2"));
    QTest::keyClick(searchEdit, Qt::Key_Enter);
    QCOMPARE(label->text(), QStringLiteral("2/2"));
    QCOMPARE(scoreLine(), QStringLiteral("7"));
    // 查找上一个: the score pane pairs with the match, not the character before it.
    QTest::keyClick(searchEdit, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(label->text(), QStringLiteral("1/2"));
    QCOMPARE(edit->lyricEditor()->textCursor().selectedText(), QStringLiteral("这"));
    QCOMPARE(scoreLine(), QStringLiteral("2"));
    m_window->onSearchPrevBtnClicked();
    QCOMPARE(label->text(), QStringLiteral("2/2"));
    QCOMPARE(scoreLine(), QStringLiteral("7"));

    searchEdit->setText(QStringLiteral("牡丹"));
    QTest::keyClick(searchEdit, Qt::Key_Return);
    QCOMPARE(label->text(), QStringLiteral("未找到"));

    QTest::keyClick(searchEdit, Qt::Key_Escape);
    QVERIFY(!widget("searchBox")->isVisible());
    QCOMPARE(m_window->tabWidget()->count(), 1);
}

// Esc belongs to the candidate popup and the find bar; it never quits.
void TestMainWindow::escNeverQuits() {
    DocumentTab *edit = modifiedTab();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QSignalSpy exits(action("exitAction"), &QAction::triggered);
    PromptScript prompts;
    edit->lyricEditor()->setFocus();
    QTest::keyClick(edit->lyricEditor(), Qt::Key_Escape);
    edit->scoreEditor()->setFocus();
    QTest::keyClick(edit->scoreEditor(), Qt::Key_Escape);
    QTest::keyClick(m_window, Qt::Key_Escape);
    QCOMPARE(exits.size(), 0);
    QCOMPARE(prompts.count(), 0);
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->tabWidget()->count(), 1);
    // Ctrl+W closes the document (asking first, as it is modified).
    prompts.answer(QMessageBox::No);
    QTest::keyClick(edit->scoreEditor(), Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(m_window->tabWidget()->count(), 0);
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(exits.size(), 0);
}

void TestMainWindow::titleNamesTheFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("游园.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("春"), QString()));
    m_window->openDocument(path);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("游园.gcp[*] — Qorvel工尺谱"));
    QVERIFY(!m_window->isWindowModified());
    windowfixture::typeInto(m_window->currentEdit()->lyricEditor(), QStringLiteral("香"));
    QVERIFY(m_window->isWindowModified());
    m_window->newAction();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("未命名[*] — Qorvel工尺谱"));
    QVERIFY(!m_window->isWindowModified());
    m_window->tabWidget()->setCurrentIndex(0);
    QVERIFY(m_window->isWindowModified());
}

// The 板眼 problems of the current document in a list, hidden while empty; a
// click puts the cursors on the character.
void TestMainWindow::problemListFollowsTheDocument() {
    auto *dock = m_window->findChild<QDockWidget *>(QStringLiteral("problemDock"));
    auto *list = m_window->findChild<QListWidget *>(QStringLiteral("problemList"));
    QVERIFY(dock && list);
    QVERIFY(dock->isHidden());
    m_window->newAction();
    DocumentTab *edit = m_window->currentEdit();
    // 香's score line holds text that is no gongche symbol.
    edit->restore(QStringLiteral("春香"), QString::fromUcs4(U"\U000F002A\U000F0000\nxy"),
                  QStringLiteral("未命名"));
    QTRY_VERIFY(dock->isVisible());
    int row = -1;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().contains(QStringLiteral("第2字「香」"))) {
            row = i;
        }
    }
    QVERIFY2(row >= 0, qPrintable(list->item(0)->text()));
    emit list->itemClicked(list->item(row));
    QCOMPARE(edit->scoreEditor()->textCursor().blockNumber(), 1);
    // Another document, with nothing wrong: the list goes.
    m_window->newAction();
    QTRY_VERIFY(dock->isHidden());
    m_window->tabWidget()->setCurrentIndex(0);
    QVERIFY(dock->isVisible());
}

// The list counts its problems in its title; a detected meter is answered by
// one click, which inserts the settings line (one undo step) and empties the
// list.
void TestMainWindow::problemListInsertsTheSettingsLine() {
    auto *dock = m_window->findChild<QDockWidget *>(QStringLiteral("problemDock"));
    auto *fix = m_window->findChild<QPushButton *>(QStringLiteral("insertSettingsLine"));
    QVERIFY(dock && fix);
    m_window->newAction();
    DocumentTab *edit = m_window->currentEdit();
    // 【测试】 春花: 上、尺 | 工●, detected as 一板三眼.
    using S = GongcheSymbol;
    const auto pitch = [](S::PitchName name) {
        return sym(S::pitchCode(S::Series::Plain, S::Octave::Middle, name));
    };
    const QString score = pitch(S::PitchName::Shang) + sym(S::TouBan) + pitch(S::PitchName::Chi) +
                          QStringLiteral("\n") + pitch(S::PitchName::Gong) + sym(S::ZhongYan);
    edit->restore(QStringLiteral("【测试】\n春花"), score, QStringLiteral("未命名"));
    QTRY_VERIFY(dock->isVisible());
    QCOMPARE(dock->windowTitle(), QStringLiteral("板眼检查（1）"));
    QVERIFY(fix->isVisible());
    QVERIFY2(fix->text().contains(QStringLiteral("; 板式=")), qPrintable(fix->text()));
    const QString lyric = edit->lyricEditor()->toPlainText();
    fix->click();
    QVERIFY(edit->lyricEditor()->toPlainText().startsWith(QStringLiteral("【测试】\n; 板式=")));
    QTRY_VERIFY(dock->isHidden());
    edit->lyricEditor()->undo();
    QCOMPARE(edit->lyricEditor()->toPlainText(), lyric);
}

void TestMainWindow::forcedUpdateClosesTheNormalWay() {
    modifiedTab();
    PromptScript prompts;
    prompts.answer(QMessageBox::Ok);
    prompts.answer(QMessageBox::Cancel);
    QList<QUrl> opened;
    UpdateNotice::setUrlOpener([&](const QUrl &url) {
        opened.append(url);
        return true;
    });
    UpdateCheck found;
    found.kind = UpdateCheck::Kind::NewerVersion;
    found.version = QStringLiteral("3");
    found.forced = true;
    found.site = QStringLiteral("https://site.example/");
    emit m_window->updateManager()->checked(found);
    UpdateNotice::setUrlOpener({});
    QCOMPARE(prompts.count(), 2);
    QCOMPARE(prompts.shown().at(0).title, QStringLiteral("更新提示"));
    QCOMPARE(prompts.shown().at(0).text, QStringLiteral("有新版本可用，请更新！"));
    QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://site.example/"))});
    QCOMPARE(prompts.last().title, QStringLiteral("警告"));
    QCOMPARE(m_window->tabWidget()->count(), 1); // the user cancelled: still open
}

void TestMainWindow::startPageFromCacheAndNetwork() {
    // No cache: the built-in welcome page at once, then the fetched page, which is cached.
    const QString cacheFile = ServiceConfig::instance()->startPageCacheFile;
    QFile::remove(cacheFile);
    {
        MainWindow fresh;
        QVERIFY(fresh.startPage()->toPlainText().contains(QStringLiteral("Qorvel工尺谱")));
        QTRY_COMPARE(fresh.startPage()->toPlainText(), QStringLiteral("fetched page"));
        QTRY_VERIFY(QFile::exists(cacheFile));
    }

    // A cached page is shown at once and not replaced by a fetched one.
    {
        QFile f(cacheFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<p>cached page</p>");
    }
    m_server.body("/sponsor", "<p>newer page</p>");
    const int requests = m_server.requests().size();
    MainWindow second;
    QCOMPARE(second.startPage()->toPlainText(), QStringLiteral("cached page"));
    QTRY_VERIFY(m_server.requests().size() >= requests + 1);
    QTRY_COMPARE(
        [&] {
            QFile f(cacheFile);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }(),
        QByteArray("<p>newer page</p>"));
    QCOMPARE(second.startPage()->toPlainText(), QStringLiteral("cached page"));
}

// A flood or a stall from the start-page server never blocks the window, and
// the built-in welcome page stays.
void TestMainWindow::hostileStartPages() {
    const QString cacheFile = ServiceConfig::instance()->startPageCacheFile;
    for (TestHttpServer::Mode mode : {TestHttpServer::Mode::Stream, TestHttpServer::Mode::Stall}) {
        QFile::remove(cacheFile);
        TestHttpServer::Route r;
        r.mode = mode;
        r.streamSize = 5 * 1024 * 1024;
        m_server.route("/sponsor", r);
        const int before = m_server.requests().size();
        MainWindow window;
        QTRY_VERIFY(m_server.requests().size() > before);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(1);
        QTRY_VERIFY(ticks >= 50); // the event loop goes on
        QVERIFY(window.startPage()->toPlainText().contains(QStringLiteral("Qorvel工尺谱")));
        QVERIFY(!QFile::exists(cacheFile));
    }
    m_server.body("/sponsor", "<p>fetched page</p>");
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

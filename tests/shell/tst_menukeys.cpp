// The window's menus and keys: every menu opens with Alt and its letter
// without typing it, Help lists exactly the shortcuts the window has, 视图
// shows every tool bar and dock, Ctrl+F5 loops the selection at once and a
// second press stops it, F5 at the start of a line starts with that line,
// the playback bar names the key and tempo, and a loop is never remembered.
#include "../music/musicfixture.h"
#include "dialogs/helpdialog.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "model/scorefile.h"
#include "platform/apppaths.h"
#include "playback/clockaudiosink.h"
#include "promptscript.h"
#include "shell/mainwindow.h"
#include "shell/playbackcontroller.h"
#include "windowfixture.h"

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolBar>
#include <QtTest>

using musicfixture::scoreText;

class TestMenuKeys : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void menusHaveTheirLetters();
    void altAndLetterOpensTheMenuAndTypesNothing();
    void helpListsExactlyTheShortcuts();
    void viewMenuShowsBarsAndDocks();
    void ctrlF5LoopsTheSelectionAtOnce();
    void f5AtTheStartOfALineStartsWithIt_data();
    void f5AtTheStartOfALineStartsWithIt();
    void loopIsNotRemembered();

private:
    DocumentTab *openPiece();
    Player *player() const { return m_window->playback()->player(); }

    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
};

void TestMenuKeys::initTestCase() {
    windowfixture::useProgramDir(m_dir.filePath(QStringLiteral("program")));
}

void TestMenuKeys::init() {
    QVERIFY(windowfixture::openWindow(m_window, true, [](MainWindow *window) {
        window->playback()->player()->setSinkFactory(
            [](QObject *parent) { return new ClockAudioSink(parent); });
    }));
    QVERIFY(m_window->isActiveWindow());
}

void TestMenuKeys::cleanup() {
    windowfixture::closeWindow(m_window);
}

// Two lines of two characters, a measure each, at 240 beats a minute, in 尺字调.
DocumentTab *TestMenuKeys::openPiece() {
    const QString path = m_dir.filePath(QStringLiteral("piece.gcp"));
    const QString score =
        scoreText({QStringLiteral("、上○尺●工○六"), QStringLiteral("、尺○工●六○五"),
                   QStringLiteral("、工○六●五○仩"), QStringLiteral("、六○五●仩○伬")});
    if (!QFile::exists(path)) {
        writeScoreFile(path,
                       QStringLiteral("; 笛色=尺字调 板式=一板三眼 速度=240\n【测试】\n春花\n秋月"),
                       score);
    }
    m_window->openDocument(path);
    return m_window->currentEdit();
}

void TestMenuKeys::menusHaveTheirLetters() {
    QStringList titles;
    for (QAction *a : m_window->menuBar()->actions()) {
        titles.append(a->text());
    }
    QCOMPARE(titles, (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("编辑(&E)"),
                                  QStringLiteral("插入(&I)"), QStringLiteral("播放(&P)"),
                                  QStringLiteral("视图(&V)"), QStringLiteral("设置(&S)"),
                                  QStringLiteral("帮助(&H)")}));
}

void TestMenuKeys::altAndLetterOpensTheMenuAndTypesNothing() {
    DocumentTab *tab = openPiece();
    QVERIFY(tab);
    const QString lyric = tab->lyricEditor()->toPlainText();
    const QString score = tab->scoreEditor()->toPlainText();
    for (QPlainTextEdit *editor : {static_cast<QPlainTextEdit *>(tab->lyricEditor()),
                                   static_cast<QPlainTextEdit *>(tab->scoreEditor())}) {
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QCOMPARE(menu->title(), QStringLiteral("文件(&F)"));
        menu->close();
        QTRY_VERIFY(!QApplication::activePopupWidget());
    }
    QCOMPARE(tab->lyricEditor()->toPlainText(), lyric);
    QCOMPARE(tab->scoreEditor()->toPlainText(), score);
    QVERIFY(!tab->isModified());
}

void TestMenuKeys::helpListsExactlyTheShortcuts() {
    openPiece(); // the document's actions are enabled
    const QString html = Help::shortcutTableHtml(m_window);
    const QRegularExpression table(QStringLiteral("<table id=\"shortcuts\"[^>]*>(.*?)</table>"));
    const QString rows = table.match(html).captured(1);
    QVERIFY(!rows.isEmpty());
    // Key cell -> text cell, unescaped.
    QHash<QString, QString> listed;
    const QRegularExpression row(QStringLiteral("<tr><td><b>(.*?)</b></td><td>(.*?)</td></tr>"));
    for (auto it = row.globalMatch(rows); it.hasNext();) {
        const auto m = it.next();
        auto unescape = [](QString s) {
            return s.replace(QStringLiteral("&gt;"), QStringLiteral(">"))
                .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        };
        QVERIFY2(!listed.contains(m.captured(1)), qPrintable(m.captured(1)));
        listed.insert(unescape(m.captured(1)), unescape(m.captured(2)));
    }
    // Every action in use with a key is there, with its text.
    QSet<QString> keys;
    for (QAction *a : m_window->findChildren<QAction *>()) {
        if (a->shortcut().isEmpty() || a->associatedWidgets().isEmpty()) {
            continue;
        }
        const QString key = a->shortcut().toString(QKeySequence::NativeText);
        keys.insert(key);
        QVERIFY2(listed.contains(key), qPrintable(key));
        QString text = a->text();
        text.remove(QLatin1Char('&'));
        QVERIFY2(listed.value(key).endsWith(text), qPrintable(key + listed.value(key)));
    }
    // And nothing else: every key listed is an action's.
    for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
        QVERIFY2(keys.contains(it.key()), qPrintable(it.key()));
    }
    for (const char *key : {"Ctrl+Q", "F1", "F5", "Ctrl+F5", "Alt+D", "Ctrl+H", "Ctrl+A"}) {
        QVERIFY2(listed.contains(QString::fromLatin1(key)), key);
    }
    QVERIFY(!listed.contains(QStringLiteral("Esc")));
    QCOMPARE(listed.value(QStringLiteral("Ctrl+Q")), QStringLiteral("文件 › 退出"));
    // The page around it.
    const QString page = Help::html(m_window);
    for (const char *text : {"; 笛色=小工调 板式=一板三眼 速度=60 八度=0", "板眼检查", "简谱",
                             "恢复早期版本", "--export", "打印", "倍高音"}) {
        QVERIFY2(page.contains(QString::fromUtf8(text)), text);
    }
    QVERIFY(!page.contains(QStringLiteral("高十六度")));
}

void TestMenuKeys::viewMenuShowsBarsAndDocks() {
    auto *view = m_window->findChild<QMenu *>(QStringLiteral("viewMenu"));
    QVERIFY(view);
    QMetaObject::invokeMethod(view, "aboutToShow");
    const QList<QAction *> shown = view->actions();
    const auto bars = m_window->findChildren<QToolBar *>(QString(), Qt::FindDirectChildrenOnly);
    const auto docks = m_window->findChildren<QDockWidget *>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(bars.size() >= 3);
    QVERIFY(!docks.isEmpty());
    for (QToolBar *bar : bars) {
        QVERIFY2(shown.contains(bar->toggleViewAction()), qPrintable(bar->objectName()));
    }
    for (QDockWidget *dock : docks) {
        QVERIFY2(shown.contains(dock->toggleViewAction()), qPrintable(dock->objectName()));
    }
    // The toggle works.
    QToolBar *bar = bars.first();
    bar->toggleViewAction()->trigger();
    QVERIFY(bar->isHidden());
    bar->toggleViewAction()->trigger();
    QVERIFY(!bar->isHidden());
}

void TestMenuKeys::ctrlF5LoopsTheSelectionAtOnce() {
    DocumentTab *tab = openPiece();
    QVERIFY(tab);
    ScoreEdit *score = tab->scoreEditor();
    QTextCursor sel(score->document()->findBlockByNumber(1));
    sel.setPosition(score->document()->findBlockByNumber(2).position() + 1,
                    QTextCursor::KeepAnchor);
    score->setTextCursor(sel);
    score->setFocus();
    PlaybackController *c = m_window->playback();

    QTest::keyClick(score, Qt::Key_F5, Qt::ControlModifier);
    QCOMPARE(player()->state(), Player::State::Playing);
    QVERIFY(c->isLooping());
    QVERIFY(c->loopAction()->isChecked());
    QSet<int> characters;
    for (const music::Note &n : player()->excerpt().notes) {
        characters.insert(n.character);
    }
    QCOMPARE(characters, (QSet<int>{1, 2}));
    // The bar says what is heard: the key, and 240 at 100 %.
    QCOMPARE(c->soundingLabel()->text(), QStringLiteral("尺字调  ♩=240"));

    QTest::keyClick(score, Qt::Key_F5, Qt::ControlModifier);
    QCOMPARE(player()->state(), Player::State::Stopped);
    QVERIFY(!c->isLooping());
    QVERIFY(!c->loopAction()->isChecked());
    QCOMPARE(score->toPlainText(), tab->scoreEditor()->toPlainText());
    QVERIFY(!tab->isModified());

    // A stop by Shift+F5 ends the loop too; the next F5 plays on, once.
    QTest::keyClick(score, Qt::Key_F5, Qt::ControlModifier);
    QVERIFY(c->isLooping());
    QTest::keyClick(score, Qt::Key_F5, Qt::ShiftModifier);
    QVERIFY(!c->isLooping());
    QVERIFY(!c->loopAction()->isChecked());
}

void TestMenuKeys::f5AtTheStartOfALineStartsWithIt_data() {
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("character");
    // Lines: 0 settings, 1 heading, 2 春花, 3 秋月.
    QTest::newRow("start of the second line") << 3 << 0 << 2;
    QTest::newRow("inside the second line") << 3 << 1 << 2;
    QTest::newRow("end of the second line") << 3 << 2 << 3;
    QTest::newRow("start of the first line") << 2 << 0 << 0;
    QTest::newRow("after the first character") << 2 << 1 << 0;
    QTest::newRow("on the heading") << 1 << 2 << 0;
}

void TestMenuKeys::f5AtTheStartOfALineStartsWithIt() {
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(int, character);
    DocumentTab *tab = openPiece();
    QVERIFY(tab);
    LyricEdit *lyric = tab->lyricEditor();
    QTextCursor c(lyric->document()->findBlockByNumber(line));
    c.setPosition(c.position() + column);
    lyric->setTextCursor(c);
    lyric->setFocus();
    QCOMPARE(PlaybackController::startCharacter(lyric), character);
    QTest::keyClick(lyric, Qt::Key_F5);
    QCOMPARE(player()->state(), Player::State::Playing);
    QCOMPARE(player()->excerpt().notes.first().character, character);
    m_window->playback()->stop();
}

void TestMenuKeys::loopIsNotRemembered() {
    DocumentTab *tab = openPiece();
    QVERIFY(tab);
    tab->lyricEditor()->selectAll();
    m_window->playback()->loopAction()->trigger();
    QVERIFY(m_window->playback()->isLooping());
    m_window->playback()->loopAction()->trigger();
    {
        QSettings stored(AppPaths::settingsFile(), QSettings::IniFormat);
        stored.setValue(QStringLiteral("playback/loop"), true); // as an older version kept it
    }
    cleanup();
    init();
    QVERIFY(!m_window->playback()->loopAction()->isChecked());
    QVERIFY(!m_window->playback()->isLooping());
    // The next store drops the old key.
    m_window->playback()->clicksAction()->toggle();
    m_window->playback()->clicksAction()->toggle();
    QSettings stored(AppPaths::settingsFile(), QSettings::IniFormat);
    QVERIFY(!stored.contains(QStringLiteral("playback/loop")));
    QVERIFY(stored.contains(QStringLiteral("playback/clicks")));
}

QTEST_MAIN(TestMenuKeys)
#include "tst_menukeys.moc"

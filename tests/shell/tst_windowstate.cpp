// The window as it was left: size, position, tool bars and the division of
// the document panes come back at the next start (a new window); the first
// start takes about three quarters of the screen, centred.
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "platform/apppaths.h"
#include "shell/windowstate.h"
#include "windowfixture.h"

#include <QDockWidget>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolBar>
#include <QtTest>

class TestWindowState : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstStartFillsThreeQuartersOfTheScreen();
    void firstStartGeometry();
    void sizePositionAndToolBarsAreRestored();
    void documentPanesKeepTheirDivision();
    void windowSplittersAreRestored();
    void neverShownWindowStoresNothing();

private:
    QToolBar *toolBar(const char *name) const {
        return m_window->findChild<QToolBar *>(QLatin1String(name));
    }
    QSplitter *paneSplitter() const {
        return m_window->currentEdit()
                   ? m_window->currentEdit()->findChild<QSplitter *>(QStringLiteral("paneSplitter"))
                   : nullptr;
    }
    // Drags the first handle of splitter by dx, as the user would.
    static void dragHandle(QSplitter *splitter, int dx) {
        QSplitterHandle *handle = splitter->handle(1);
        const QPoint from = handle->rect().center();
        const QPoint to = from + QPoint(dx, 0);
        QMouseEvent press(QEvent::MouseButtonPress, from, handle->mapToGlobal(from), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &press);
        QMouseEvent move(QEvent::MouseMove, to, handle->mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, to, handle->mapToGlobal(to), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &release);
    }
    static double share(const QSplitter *s) {
        const QList<int> sizes = s->sizes();
        return sizes.value(0) / double(sizes.value(0) + sizes.value(1));
    }

    std::unique_ptr<QTemporaryDir> m_program;
    MainWindow *m_window = nullptr;
};

// Each test starts as the first start: no settings.
void TestWindowState::init() {
    m_program = std::make_unique<QTemporaryDir>();
    QVERIFY(m_program->isValid());
    windowfixture::useProgramDir(m_program->path());
}

void TestWindowState::cleanup() {
    windowfixture::closeWindow(m_window);
}

void TestWindowState::firstStartFillsThreeQuartersOfTheScreen() {
    QVERIFY(windowfixture::openWindow(m_window));
    const QRect available = m_window->screen()->availableGeometry();
    const QRect frame = m_window->frameGeometry();
    const QSize expected = QSize(available.width() * 3 / 4, available.height() * 3 / 4)
                               .expandedTo(m_window->minimumSize());
    QVERIFY2(qAbs(m_window->width() - expected.width()) <= available.width() / 20 &&
                 qAbs(m_window->height() - expected.height()) <= available.height() / 20,
             qPrintable(QStringLiteral("%1 x %2 on %3 x %4")
                            .arg(m_window->width())
                            .arg(m_window->height())
                            .arg(available.width())
                            .arg(available.height())));
    // Centred, within a few pixels of frame.
    QVERIFY(qAbs(frame.center().x() - available.center().x()) <= 20);
    QVERIFY(qAbs(frame.center().y() - available.center().y()) <= 40);
    QVERIFY(available.contains(m_window->geometry()));
}

void TestWindowState::firstStartGeometry() {
    QCOMPARE(WindowState::firstStartGeometry(QRect(0, 0, 1600, 900)), QRect(200, 113, 1200, 675));
    QCOMPARE(WindowState::firstStartGeometry(QRect(1920, 30, 1280, 770)),
             QRect(1920 + 160, 30 + 97, 960, 577));
    // Never below the window's minimum.
    QCOMPARE(WindowState::firstStartGeometry(QRect(0, 0, 640, 480), QSize(600, 400)),
             QRect(20, 40, 600, 400));
}

void TestWindowState::sizePositionAndToolBarsAreRestored() {
    QVERIFY(windowfixture::openWindow(m_window));
    QVERIFY(toolBar("toolbar_file") && toolBar("toolbar_edit") && toolBar("toolbar_play"));
    m_window->resize(700, 480);
    m_window->move(30, 40);
    toolBar("toolbar_play")->hide();
    // Moved down below the others: the state, not only the visibility.
    m_window->addToolBar(Qt::BottomToolBarArea, toolBar("toolbar_edit"));
    QTRY_COMPARE(m_window->size(), QSize(700, 480));
    const QPoint position = m_window->pos();
    windowfixture::closeWindow(m_window);

    QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
    QVERIFY(!settings.value(QStringLiteral("MainWindow/geometry")).toByteArray().isEmpty());
    QVERIFY(!settings.value(QStringLiteral("MainWindow/state")).toByteArray().isEmpty());

    QVERIFY(windowfixture::openWindow(m_window));
    QCOMPARE(m_window->size(), QSize(700, 480));
    QCOMPARE(m_window->pos(), position);
    QVERIFY(toolBar("toolbar_play")->isHidden());
    QVERIFY(!toolBar("toolbar_file")->isHidden());
    QVERIFY(!toolBar("toolbar_edit")->isHidden());
    QCOMPARE(m_window->toolBarArea(toolBar("toolbar_edit")), Qt::BottomToolBarArea);
    QCOMPARE(m_window->toolBarArea(toolBar("toolbar_file")), Qt::TopToolBarArea);
    // The problem list shows only for problems, whatever it was before.
    QVERIFY(m_window->findChild<QDockWidget *>(QStringLiteral("problemDock"))->isHidden());

    // Once more: the restored state is stored again as it is.
    toolBar("toolbar_play")->show();
    windowfixture::closeWindow(m_window);
    QVERIFY(windowfixture::openWindow(m_window));
    QVERIFY(!toolBar("toolbar_play")->isHidden());
    QCOMPARE(m_window->size(), QSize(700, 480));
}

void TestWindowState::documentPanesKeepTheirDivision() {
    QVERIFY(windowfixture::openWindow(m_window));
    m_window->resize(900, 600);
    m_window->newAction();
    QSplitter *splitter = paneSplitter();
    QVERIFY(splitter);
    QCOMPARE(splitter->count(), 2);
    QVERIFY(!splitter->childrenCollapsible());
    QVERIFY(splitter->isAncestorOf(m_window->currentEdit()->lyricEditor()));
    QTRY_VERIFY(splitter->width() > 400);
    // At first the panes share the width about evenly.
    QVERIFY2(qAbs(share(splitter) - 0.5) < 0.1, qPrintable(QString::number(share(splitter))));

    // The user narrows the lyric pane; the next tab is divided the same way.
    dragHandle(splitter, -splitter->width() / 5);
    const double dragged = share(splitter);
    QVERIFY2(dragged < 0.4, qPrintable(QString::number(dragged)));
    m_window->newAction();
    QVERIFY(paneSplitter() != splitter);
    QTRY_VERIFY(paneSplitter()->width() > 400);
    QVERIFY2(qAbs(share(paneSplitter()) - dragged) < 0.03,
             qPrintable(QString::number(share(paneSplitter()))));

    // And so is a tab after the next start.
    windowfixture::closeWindow(m_window);
    QVERIFY(windowfixture::openWindow(m_window));
    m_window->newAction();
    QTRY_VERIFY(paneSplitter()->width() > 400);
    QVERIFY2(qAbs(share(paneSplitter()) - dragged) < 0.03,
             qPrintable(QString::number(share(paneSplitter()))));

    // The last division the user made is the one kept.
    dragHandle(paneSplitter(), paneSplitter()->width() / 4);
    const double wide = share(paneSplitter());
    QVERIFY2(wide > dragged + 0.15, qPrintable(QString::number(wide)));
    windowfixture::closeWindow(m_window);
    QVERIFY(windowfixture::openWindow(m_window));
    m_window->newAction();
    QTRY_VERIFY(paneSplitter()->width() > 400);
    QVERIFY2(qAbs(share(paneSplitter()) - wide) < 0.03,
             qPrintable(QString::number(share(paneSplitter()))));
}

// Splitters of the window itself (outside the document tabs), by name.
void TestWindowState::windowSplittersAreRestored() {
    auto build = [](QMainWindow &window) {
        auto *splitter = new QSplitter(&window);
        splitter->setObjectName(QStringLiteral("sideSplitter"));
        splitter->addWidget(new QTextEdit);
        splitter->addWidget(new QTextEdit);
        window.setCentralWidget(splitter);
        auto *bar = new QToolBar(QStringLiteral("bar"), &window);
        bar->setObjectName(QStringLiteral("bar"));
        window.addToolBar(bar);
        return splitter;
    };
    const QString file = m_program->filePath(QStringLiteral("state.ini"));
    const WindowState state(file);
    {
        QMainWindow window;
        QSplitter *splitter = build(window);
        QVERIFY(!state.restore(&window)); // nothing stored yet
        window.resize(640, 420);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        splitter->setSizes({450, 150});
        state.save(&window);
        state.saveSplitters(false, WindowState::statesOf({splitter}));
        QCOMPARE(state.splitters(false).keys(), QList<QString>({QStringLiteral("sideSplitter")}));
        QVERIFY(state.splitters(true).isEmpty());
    }
    QMainWindow window;
    QSplitter *splitter = build(window);
    QVERIFY(state.restore(&window));
    WindowState::applyTo({splitter}, state.splitters(false));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(640, 420));
    QTRY_COMPARE(splitter->sizes().value(0) + splitter->sizes().value(1) > 500, true);
    QVERIFY2(qAbs(share(splitter) - 0.75) < 0.02, qPrintable(QString::number(share(splitter))));
}

void TestWindowState::neverShownWindowStoresNothing() {
    { MainWindow hidden; }
    QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
    QVERIFY(!settings.contains(QStringLiteral("MainWindow/geometry")));
    QVERIFY(windowfixture::openWindow(m_window));
    windowfixture::closeWindow(m_window);
    settings.sync();
    QVERIFY(settings.contains(QStringLiteral("MainWindow/geometry")));
}

QTEST_MAIN(TestWindowState)
#include "tst_windowstate.moc"

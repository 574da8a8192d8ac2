#pragma once

// The one set-up of tests that drive a MainWindow in process: a private
// program folder and no network, a shown window per test function (or per
// restart within one), and a teardown that answers "discard" to every
// unsaved prompt, closes the tabs and deletes the window.
//
//     void initTestCase() { windowfixture::useProgramDir(m_dir.path()); }
//     void init() { QVERIFY(windowfixture::openWindow(m_window)); }
//     void cleanup() { windowfixture::closeWindow(m_window); }

#include "editor/documenttab.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "shell/mainwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QMessageBox>
#include <QTabWidget>
#include <QtTest>
#include <functional>

namespace windowfixture {

// Where the program looks for its start page and updates: by default an
// address where nothing listens.
inline void useNetwork(const QByteArray &baseUrl = QByteArrayLiteral("http://127.0.0.1:9")) {
    qputenv("QORVEL_API_BASE_URL", baseUrl);
}

// programDir stands for the program's own folder (writable, as beside a
// build), and the network is the one given. Once, in initTestCase, or in
// init for a first start in every test function.
inline void useProgramDir(const QString &programDir,
                          const QByteArray &baseUrl = QByteArrayLiteral("http://127.0.0.1:9")) {
    AppPaths::setProgramDirOverride(programDir, true);
    useNetwork(baseUrl);
}

// In cleanup, and before a restart: every tab closed without saving, the
// window gone (it keeps its state as the program does when it ends).
inline void closeWindow(MainWindow *&window) {
    if (!window) {
        return;
    }
    PromptScript discard;
    for (int i = 0; i < window->tabWidget()->count() + 10; ++i) {
        discard.answer(QMessageBox::No);
    }
    while (window->tabWidget()->count() > 0) {
        window->tabWidgetClose(window->tabWidget()->count() - 1);
    }
    delete window;
    window = nullptr;
}

// A new main window in window (the one there before closed first), set up
// by before, then shown: false when it was not exposed, or not active when
// active is asked (for keys sent to it).
[[nodiscard]] inline bool openWindow(MainWindow *&window, bool active = false,
                                     const std::function<void(MainWindow *)> &before = {}) {
    closeWindow(window);
    window = new MainWindow;
    if (before) {
        before(window);
    }
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) {
        qWarning("the window was not exposed");
        return false;
    }
    if (active) {
        QApplication::setActiveWindow(window);
        if (!QTest::qWaitForWindowActive(window)) {
            qWarning("the window did not become active");
            return false;
        }
    }
    return true;
}

// The file at path opened in the window; its tab (the current one).
inline DocumentTab *openTab(MainWindow *window, const QString &path) {
    window->openDocument(path);
    return window->currentEdit();
}

// The window's action of that object name, null when there is none.
inline QAction *action(const MainWindow *window, const char *name) {
    return window->findChild<QAction *>(QLatin1String(name));
}

// Text typed into w one character at a time, as an input method delivers
// it (QTest::keyClicks cannot send characters beyond Latin-1).
inline void typeInto(QWidget *w, const QString &text) {
    for (const uint cp : text.toUcs4()) {
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString::fromUcs4(&cp, 1),
                            Qt::NoModifier);
    }
}

} // namespace windowfixture

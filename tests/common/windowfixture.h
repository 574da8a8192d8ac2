#pragma once

// The one set-up of tests that drive a MainWindow in process: a private
// program folder and no network for the whole test, a shown window per test
// function, and a teardown that answers "discard" to every unsaved prompt,
// closes the tabs and deletes the window.

#include "platform/apppaths.h"
#include "promptscript.h"
#include "shell/mainwindow.h"

#include <QMessageBox>
#include <QTabWidget>
#include <QtTest>
#include <functional>

namespace windowfixture {

// Once, in initTestCase.
inline void useProgramDir(const QString &programDir) {
    AppPaths::setProgramDirOverride(programDir, true);
    qputenv("QORVEL_API_BASE_URL", "http://127.0.0.1:9"); // nothing listens there
}

// A shown main window; active too when asked (for keys sent to it).
inline MainWindow *openWindow(bool active = false,
                              const std::function<void(MainWindow *)> &before = {}) {
    auto *window = new MainWindow;
    if (before) {
        before(window);
    }
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) {
        qWarning("the window was not exposed");
    }
    if (active) {
        QApplication::setActiveWindow(window);
        if (!QTest::qWaitForWindowActive(window)) {
            qWarning("the window did not become active");
        }
    }
    return window;
}

// In cleanup: every tab closed without saving, the window gone.
inline void closeWindow(MainWindow *&window) {
    if (!window) {
        return;
    }
    PromptScript discard;
    for (int i = 0; i < 10; ++i) {
        discard.answer(QMessageBox::No);
    }
    while (window->tabWidget()->count() > 0) {
        window->tabWidgetClose(window->tabWidget()->count() - 1);
    }
    delete window;
    window = nullptr;
}

} // namespace windowfixture

#include "shell/windowstate.h"

#include "platform/apppaths.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStyle>

namespace {

const QString group = QStringLiteral("MainWindow");
const QString geometryKey = QStringLiteral("geometry");
const QString stateKey = QStringLiteral("state");

QString splitterGroup(bool tabs) {
    return tabs ? QStringLiteral("tabSplitters") : QStringLiteral("splitters");
}

} // namespace

WindowState::WindowState(const QString &settingsFile)
    : m_settingsFile(settingsFile.isEmpty() ? AppPaths::settingsFile() : settingsFile) {}

bool WindowState::restore(QMainWindow *window) const {
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(group);
    const QByteArray geometry = settings.value(geometryKey).toByteArray();
    const QByteArray state = settings.value(stateKey).toByteArray();
    settings.endGroup();

    // restoreGeometry() keeps a window whose screen is gone on one that is there.
    const bool restored = !geometry.isEmpty() && window->restoreGeometry(geometry);
    if (!restored) {
        QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect r = firstStartGeometry(screen->availableGeometry(), window->minimumSize());
            window->resize(r.size());
            window->move(r.topLeft());
        }
    }
    if (!state.isEmpty()) {
        window->restoreState(state, stateVersion);
    }
    return restored;
}

void WindowState::save(const QMainWindow *window) const {
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(group);
    settings.setValue(geometryKey, window->saveGeometry());
    settings.setValue(stateKey, window->saveState(stateVersion));
    settings.endGroup();
}

QHash<QString, QByteArray> WindowState::splitters(bool tabs) const {
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(group);
    settings.beginGroup(splitterGroup(tabs));
    QHash<QString, QByteArray> states;
    for (const QString &name : settings.childKeys()) {
        const QByteArray state = settings.value(name).toByteArray();
        if (!state.isEmpty()) {
            states.insert(name, state);
        }
    }
    return states;
}

void WindowState::saveSplitters(bool tabs, const QHash<QString, QByteArray> &states) const {
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(group);
    settings.beginGroup(splitterGroup(tabs));
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        settings.setValue(it.key(), it.value());
    }
}

QHash<QString, QByteArray> WindowState::statesOf(const QList<QSplitter *> &splitters) {
    QHash<QString, QByteArray> states;
    for (const QSplitter *s : splitters) {
        if (!s->objectName().isEmpty()) {
            states.insert(s->objectName(), s->saveState());
        }
    }
    return states;
}

void WindowState::applyTo(const QList<QSplitter *> &splitters,
                          const QHash<QString, QByteArray> &states) {
    for (QSplitter *s : splitters) {
        const QByteArray state = states.value(s->objectName());
        if (!s->objectName().isEmpty() && !state.isEmpty()) {
            s->restoreState(state);
        }
    }
}

QRect WindowState::firstStartGeometry(const QRect &available, const QSize &minimum) {
    const QSize size =
        QSize(available.width() * 3 / 4, available.height() * 3 / 4).expandedTo(minimum);
    return QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available);
}

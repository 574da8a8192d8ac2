#include "editor/filewatch.h"

#include <QCryptographicHash>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

namespace {

QByteArray hashOf(const QByteArray &bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

} // namespace

FileWatch::FileWatch(QObject *parent)
    : QObject(parent) {
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FileWatch::onWatcherNotified);
    // A file replaced by renaming (as careful writers do) is watched no more;
    // its folder tells when it comes back.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FileWatch::onWatcherNotified);
    // Back from another program, which may have written the file unwatched
    // (over a network, or while the watch was being set anew).
    if (qGuiApp) {
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
                &FileWatch::onApplicationStateChanged);
    }
}

void FileWatch::track(const QString &path, const QByteArray &contents) {
    clear();
    m_path = QFileInfo(path).absoluteFilePath();
    const QFileInfo info(m_path);
    m_known = info.isFile();
    m_size = contents.size();
    m_modified = info.lastModified();
    m_hash = hashOf(contents);
    rewatch();
}

void FileWatch::clear() {
    if (!m_watcher.files().isEmpty()) {
        m_watcher.removePaths(m_watcher.files());
    }
    if (!m_watcher.directories().isEmpty()) {
        m_watcher.removePaths(m_watcher.directories());
    }
    m_path.clear();
    m_known = false;
    m_acknowledgedChange = false;
}

void FileWatch::rewatch() {
    if (m_path.isEmpty()) {
        return;
    }
    if (QFileInfo(m_path).isFile() && !m_watcher.files().contains(m_path)) {
        m_watcher.addPath(m_path);
    }
    const QString dir = QFileInfo(m_path).absolutePath();
    if (QFileInfo(dir).isDir() && !m_watcher.directories().contains(dir)) {
        m_watcher.addPath(dir);
    }
}

FileWatch::State FileWatch::check() const {
    if (m_path.isEmpty()) {
        return State::Unchanged;
    }
    const QFileInfo info(m_path);
    if (!info.isFile()) {
        return m_known ? State::Deleted : State::Unchanged;
    }
    if (!m_known) {
        return State::Changed;
    }
    if (info.size() == m_size && info.lastModified() == m_modified) {
        return State::Unchanged;
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        return State::Changed;
    }
    return hashOf(file.readAll()) == m_hash ? State::Unchanged : State::Changed;
}

void FileWatch::acknowledge() {
    if (m_path.isEmpty()) {
        return;
    }
    QFile file(m_path);
    const QFileInfo info(m_path);
    m_known = info.isFile() && file.open(QIODevice::ReadOnly);
    const QByteArray bytes = m_known ? file.readAll() : QByteArray();
    m_size = bytes.size();
    m_modified = info.lastModified();
    m_hash = hashOf(bytes);
    m_acknowledgedChange = true;
    rewatch();
}

bool FileWatch::changedSinceRead() const {
    return m_acknowledgedChange || check() == State::Changed;
}

void FileWatch::holdWhileHidden(QWidget *widget) {
    m_heldBy = widget;
    widget->installEventFilter(this);
}

bool FileWatch::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_heldBy && event->type() == QEvent::Show && m_held) {
        QTimer::singleShot(0, this, [this] {
            if (m_held) {
                m_held = false;
                emit changed();
            }
        });
    }
    return QObject::eventFilter(watched, event);
}

void FileWatch::tell() {
    if (m_heldBy && !m_heldBy->isVisible()) {
        m_held = true;
        return;
    }
    m_held = false;
    emit changed();
}

void FileWatch::onApplicationStateChanged(Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive && check() != State::Unchanged) {
        tell();
    }
}

void FileWatch::onWatcherNotified() {
    rewatch();
    if (m_notifyPending) {
        return;
    }
    m_notifyPending = true;
    QTimer::singleShot(0, this, [this] {
        m_notifyPending = false;
        if (check() != State::Unchanged) {
            tell();
        }
    });
}

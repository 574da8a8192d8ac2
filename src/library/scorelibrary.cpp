#include "library/scorelibrary.h"

#include "library/libraryworker.h"

#include <QFileSystemWatcher>
#include <QSet>
#include <QTimer>

ScoreLibrary::ScoreLibrary(const QString &indexPath, QObject *parent)
    : QObject(parent)
    , m_indexPath(indexPath)
    , m_watcher(new QFileSystemWatcher(this))
    , m_settle(new QTimer(this)) {
    qRegisterMetaType<LibraryIndex::UpdateReport>();
    m_settle->setSingleShot(true);
    m_settle->setInterval(300);
    connect(m_settle, &QTimer::timeout, this, &ScoreLibrary::refresh);
    // Saving writes, renames and deletes in a burst: read once it settles.
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_settle,
            qOverload<>(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::fileChanged, m_settle, qOverload<>(&QTimer::start));
}

ScoreLibrary::~ScoreLibrary() {
    if (m_worker) {
        m_worker->stop();
        QMetaObject::invokeMethod(m_worker, &LibraryWorker::shutDown, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        delete m_worker;
    }
}

void ScoreLibrary::setSettleTime(int ms) {
    m_settle->setInterval(ms);
}

bool ScoreLibrary::ensureOpen() {
    if (m_opened) {
        return m_error.isEmpty();
    }
    m_opened = true;
    const Outcome opened = m_index.open(m_indexPath, true);
    if (!opened) {
        m_error = opened.message();
        emit failed(m_error);
        return false;
    }
    m_worker = new LibraryWorker(m_index.path());
    m_worker->moveToThread(&m_thread);
    connect(m_worker, &LibraryWorker::progress, this, &ScoreLibrary::progress);
    connect(m_worker, &LibraryWorker::finished, this, &ScoreLibrary::onFinished);
    connect(m_worker, &LibraryWorker::failed, this, [this](const QString &message) {
        m_error = message;
        m_busy = false;
        emit busyChanged(false);
        emit failed(message);
    });
    m_thread.setObjectName(QStringLiteral("score library"));
    m_thread.start(QThread::LowPriority);
    return true;
}

void ScoreLibrary::setFolders(const QStringList &folders) {
    QStringList clean;
    for (const QString &f : folders) {
        if (!f.isEmpty()) {
            clean.append(LibraryIndex::normalised(f));
        }
    }
    clean.removeDuplicates();
    m_folders = clean;
    request(true, false);
}

void ScoreLibrary::refresh() {
    request(false, false);
}

void ScoreLibrary::rebuild() {
    request(false, true);
}

void ScoreLibrary::request(bool prune, bool rebuild) {
    if (!ensureOpen()) {
        return;
    }
    m_pending = true;
    m_pendingPrune = m_pendingPrune || prune;
    m_pendingRebuild = m_pendingRebuild || rebuild;
    if (!m_busy) {
        startNext();
    }
}

void ScoreLibrary::startNext() {
    if (!m_pending) {
        return;
    }
    const QStringList folders = m_folders;
    const bool prune = m_pendingPrune;
    const bool rebuild = m_pendingRebuild;
    m_pending = m_pendingPrune = m_pendingRebuild = false;
    const bool wasBusy = m_busy;
    m_busy = true;
    if (!wasBusy) {
        emit busyChanged(true);
    }
    LibraryWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker, folders, prune, rebuild] { worker->run(folders, prune, rebuild); },
        Qt::QueuedConnection);
}

void ScoreLibrary::onFinished(const LibraryIndex::UpdateReport &report) {
    m_unreadable = report.unreadable;
    watch(report);
    if (m_pending) {
        emit updated(report);
        startNext();
        return;
    }
    m_busy = false;
    emit busyChanged(false);
    emit updated(report);
}

void ScoreLibrary::watch(const LibraryIndex::UpdateReport &report) {
    const QStringList wanted = report.directories + report.files;
    const QSet<QString> want(wanted.cbegin(), wanted.cend());
    const QStringList watched = m_watcher->directories() + m_watcher->files();
    QStringList gone;
    for (const QString &path : watched) {
        if (!want.contains(path)) {
            gone.append(path);
        }
    }
    if (!gone.isEmpty()) {
        m_watcher->removePaths(gone);
    }
    const QSet<QString> have(watched.cbegin(), watched.cend());
    QStringList added;
    for (const QString &path : wanted) {
        if (!have.contains(path)) {
            added.append(path);
        }
    }
    if (!added.isEmpty()) {
        m_watcher->addPaths(added);
    }
}

QVector<LibraryHit> ScoreLibrary::search(const QString &query,
                                         LibraryIndex::SearchInfo *info) const {
    return m_index.search(query, m_folders, info);
}

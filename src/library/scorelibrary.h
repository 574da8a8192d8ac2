#pragma once

#include "library/libraryindex.h"

#include <QObject>
#include <QStringList>
#include <QThread>
#include <memory>

class LibraryWorker;
class QFileSystemWatcher;
class QTimer;

// The score library as the program keeps it: folders of score files, an
// index of them kept in step with the disk, and searches in it. Reading and
// indexing run in a worker thread; a folder watcher (the folders, every
// folder below them and every score file) and a check of modification times
// at start bring in what was added, changed, renamed or deleted. Searches
// run at once on a connection of this thread.
class ScoreLibrary : public QObject {
    Q_OBJECT

public:
    explicit ScoreLibrary(const QString &indexPath = LibraryIndex::defaultPath(),
                          QObject *parent = nullptr);
    ~ScoreLibrary() override;

    // The folders searched. Setting them drops what lies outside and indexes
    // what is new or changed inside.
    void setFolders(const QStringList &folders);
    QStringList folders() const { return m_folders; }

    // Checks the folders against the index again.
    void refresh();
    // Empties the index and reads every file again.
    void rebuild();
    // Whether the worker is reading files.
    bool isBusy() const { return m_busy; }

    QVector<LibraryHit> search(const QString &query,
                               LibraryIndex::SearchInfo *info = nullptr) const;
    // The files that could not be read, as the last update left them.
    QVector<LibraryIndex::Unreadable> unreadable() const { return m_unreadable; }
    // Why the index found at start was not trusted; empty when it was.
    QString discarded() const { return m_index.discarded(); }
    // What went wrong opening the index; empty when nothing.
    QString error() const { return m_error; }
    int fileCount() const { return m_index.fileCount(m_folders); }

    // The wait before the watcher's changes are read, in milliseconds.
    void setSettleTime(int ms);

signals:
    void busyChanged(bool busy);
    void progress(int done, int total);
    // An update has finished; the index is in step with the disk as scanned.
    void updated(const LibraryIndex::UpdateReport &report);
    void failed(const QString &message);

private:
    bool ensureOpen();
    void request(bool prune, bool rebuild);
    void startNext();
    void onFinished(const LibraryIndex::UpdateReport &report);
    void watch(const LibraryIndex::UpdateReport &report);

    QString m_indexPath;
    LibraryIndex m_index; // this thread's connection, for searches
    QStringList m_folders;
    QThread m_thread;
    LibraryWorker *m_worker = nullptr;
    QFileSystemWatcher *m_watcher;
    QTimer *m_settle;
    QVector<LibraryIndex::Unreadable> m_unreadable;
    QString m_error;
    bool m_opened = false;
    bool m_busy = false;
    // What waits while the worker is busy.
    bool m_pending = false;
    bool m_pendingPrune = false;
    bool m_pendingRebuild = false;
};

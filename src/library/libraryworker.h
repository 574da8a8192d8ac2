#pragma once

#include "library/libraryindex.h"

#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>

// The index's work off the user-interface thread: reading score files and
// writing the index, through a database connection of its own. Lives in the
// ScoreLibrary's worker thread; every slot runs there.
class LibraryWorker : public QObject {
    Q_OBJECT

public:
    explicit LibraryWorker(const QString &indexPath);
    ~LibraryWorker() override;

    // Asks a running update to stop after the file it reads (any thread).
    void stop() { m_stop = true; }

public slots:
    // Drops files outside the folders when pruning, then brings the index in
    // step with them, or empties and fills it on rebuild.
    void run(const QStringList &folders, bool prune, bool rebuild);
    // Closes the connection; called before the thread ends.
    void shutDown();

signals:
    void progress(int done, int total);
    void finished(const LibraryIndex::UpdateReport &report);
    void failed(const QString &message);

private:
    QString m_indexPath;
    std::unique_ptr<LibraryIndex> m_index;
    std::atomic<bool> m_stop{false};
};

#pragma once

#include "library/libraryhit.h"
#include "model/outcome.h"

#include <QMetaType>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

class ScoreSummary;

// The index of the score library: an SQLite database of what ScoreSummary
// reads from every score file under the library's folders, with full-text
// tables (trigram) for the words. Files are keyed by path, with their
// modification time and size; update() brings the index in step with the
// disk. The index is a cache: a file that is not an index of this version,
// or that fails SQLite's own check, is moved aside and built anew.
//
// One object is one database connection, for the thread that made it.
class LibraryIndex {
public:
    struct Unreadable {
        QString path;
        QString reason;
        bool operator==(const Unreadable &o) const { return path == o.path && reason == o.reason; }
    };
    struct UpdateReport {
        int added = 0;
        int changed = 0;
        int removed = 0;
        int unchanged = 0;
        QVector<Unreadable> unreadable; // under the folders, after the update
        QStringList directories;        // the folders and every folder below them
        QStringList files;              // the score files found
    };
    struct SearchInfo {
        QString error;          // why the query finds nothing by its form, or empty
        bool truncated = false; // more hits than maxHits
    };
    static constexpr int maxHits = 1000;
    static constexpr int schemaVersion = 1;

    LibraryIndex();
    ~LibraryIndex();
    LibraryIndex(const LibraryIndex &) = delete;
    LibraryIndex &operator=(const LibraryIndex &) = delete;

    // Opens the index at path, creating it when missing. With check, a file
    // that is not an index of this version or fails the quick check is
    // moved aside (to path + ".broken") and a new index made; discarded()
    // then says why. Without check the file is taken as it is (a second
    // connection to an index checked already).
    Outcome open(const QString &path, bool check = true);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QString discarded() const { return m_discarded; }

    // Scans the folders (and the folders below them) for score files: adds
    // new ones, reads again those whose time or size changed, drops those
    // gone. Files outside the folders are left alone. progress is called
    // after each file read, with the count read and the count to read; a
    // false return stops the update (what is read so far is kept).
    UpdateReport update(const QStringList &folders,
                        const std::function<bool(int done, int total)> &progress = {});
    // Drops every file that is not under one of the folders.
    int prune(const QStringList &folders);
    // Empties the index and updates it from the folders.
    UpdateReport rebuild(const QStringList &folders,
                         const std::function<bool(int done, int total)> &progress = {});

    // The files under the folders that could not be read, or not wholly.
    QVector<Unreadable> unreadable(const QStringList &folders) const;
    // The number of files indexed under the folders (all with none given).
    int fileCount(const QStringList &folders = QStringList()) const;

    // Searches the files under the folders (LibraryQuery's syntax); hits in
    // file order, then in document order.
    QVector<LibraryHit> search(const QString &query, const QStringList &folders,
                               SearchInfo *info = nullptr) const;

    // The path as the index keeps it: absolute and clean.
    static QString normalised(const QString &path);
    // Whether path lies in one of the folders, at any depth; path and folders
    // as normalised() gives them.
    static bool isUnder(const QString &path, const QStringList &folders);
    // The default place of the index: "library.sqlite" in the data folder.
    static QString defaultPath();

private:
    bool check(QString *why);
    bool createSchema();
    bool exec(const QString &statement);
    void removeFile(qint64 id);
    bool storeFile(const QString &path, qint64 mtime, qint64 size, const ScoreSummary &summary,
                   const QString &problem);

    QString m_connection;
    QString m_path;
    QString m_discarded;
};

Q_DECLARE_METATYPE(LibraryIndex::UpdateReport)
Q_DECLARE_METATYPE(LibraryIndex::Unreadable)

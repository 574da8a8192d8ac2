#pragma once

#include "model/outcome.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The backup folder ("backups" in the per-user data folder): earlier versions
// of score files, each copied there just before a save replaced it, so that
// the user can go back to what a file held before.
//
// A version is a plain copy of the score file named
//   "<name> <yyyy-MM-dd HHmmss.zzz> [<key>].gcp"
// where <name> is the original base name made safe for a file name (no path
// separators, no "..", no control characters, at most nameLength characters),
// the time is the local time of the copy, and <key> is the first eight hex
// digits of the SHA-1 of the original's absolute path, which keeps files of
// the same name in different folders apart. Beside it, "<version>.origin"
// holds the original's absolute path and the exact time:
//   line 1   "qorvel-backup 1"
//   line 2   milliseconds since the epoch (UTC)
//   the rest the absolute path, UTF-8
// A missing or unreadable ".origin" costs only that version's original path;
// the version is still listed (with the time and name from its file name) and
// still counts against the limits.
//
// Every version of the store has its own time, later than every version
// before it, even for copies within the same millisecond; so "newest" means
// the last copied. When there are more than maxPerFile versions of a file,
// or more than maxTotalBytes of versions in the whole folder, the oldest are
// deleted: first the file's own, then the oldest of any file.
class BackupStore {
public:
    static constexpr int defaultMaxPerFile = 5;
    static constexpr qint64 defaultMaxTotalBytes = 64LL * 1024 * 1024;
    // The most characters of the original's base name in a version's name.
    static constexpr int nameLength = 48;

    struct Version {
        QString path;         // full path of the copy in the backup folder
        QString originalPath; // absolute path of the original; empty if unknown
        QString originalName; // the original's file name
        QDateTime time;       // when the copy was made (UTC)
        qint64 size = 0;      // bytes of the copy
    };

    // dir: the backup folder; empty means defaultDir().
    explicit BackupStore(const QString &dir = QString());

    static QString defaultDir();
    QString dir() const { return m_dir; }

    void setLimits(int maxPerFile, qint64 maxTotalBytes);
    int maxPerFile() const { return m_maxPerFile; }
    qint64 maxTotalBytes() const { return m_maxTotalBytes; }

    // Copies filePath, as it is on disk now, into the folder, then deletes
    // what is over the limits. Success with the copy's path; success with an
    // empty path when there is nothing to keep (no such regular file, or the
    // newest version already has the same bytes); failure when the folder or
    // the copy cannot be written, or the file alone is over maxTotalBytes.
    Outcome keep(const QString &filePath);
    // Keeps bytes as a version of filePath, as keep() keeps what is on disk:
    // for a version the disk no longer holds (the text a reload replaces).
    Outcome keep(const QString &filePath, const QByteArray &bytes);

    // The versions of filePath, newest first.
    QList<Version> versionsOf(const QString &filePath) const;
    // Every version in the folder, newest first.
    QList<Version> all() const;

    // The texts of a version. outcome, when given, receives the reader's
    // outcome (with the message to show when it failed).
    bool read(const Version &v, QString *lyric, QString *score, Outcome *outcome = nullptr) const;

    // The path that identifies a file: its canonical path when it exists,
    // otherwise its absolute path, cleaned.
    static QString identityOf(const QString &filePath);
    // The file name of a version of originalPath copied at time.
    static QString fileNameFor(const QString &originalPath, const QDateTime &time);

private:
    QList<Version> scan() const;
    // Deletes a version and its ".origin".
    void drop(const Version &v) const;
    void prune(const QString &identity) const;

    QString m_dir;
    int m_maxPerFile = defaultMaxPerFile;
    qint64 m_maxTotalBytes = defaultMaxTotalBytes;
};

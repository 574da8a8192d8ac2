#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <memory>

class QLockFile;

// The recovery folder ("recovery" in the cache directory): one file per
// modified document of a running program, so that a crash, a power cut or a
// killed process costs at most the changes since the last write.
//
// Every running program is a session with its own id. A session owns the
// lock file "<id>.lock" while it has recovery files, and names its files
// "<id>-<serial>.qrec". Files whose session lock can be taken belong to a
// program that is no longer running; adoptOrphans() takes their locks, so
// that no other program offers or deletes them at the same time.
//
// A recovery file is written atomically (a temporary file renamed over the
// old one) in this format, integers little-endian:
//   8 bytes   magic "QORVELRC"
//   quint16   format version (1)
//   quint16   reserved, 0
//   qint64    time of the write, milliseconds since the epoch (UTC)
//   3 times   quint32 byte count, then UTF-16LE code units:
//             the document's file path, the lyric text, the score text
//   16 bytes  MD5 of everything before it
// The reader checks every length against the bytes that are left and the
// checksum against the content; anything else makes the file damaged.
class RecoveryStore {
public:
    static constexpr quint16 formatVersion = 1;
    // Larger files are not read; they are listed as damaged.
    static constexpr qint64 maxFileSize = 512LL * 1024 * 1024;

    struct Entry {
        QString recoveryFile; // full path of the recovery file
        bool damaged = true;
        QString problem;  // why it is damaged, for the user
        QString filePath; // the document's own file path ("未命名" for none)
        QDateTime savedAt;
        QString lyric;
        QString score;
    };

    // What to do with an offered entry.
    enum class Choice { Keep, Restore, Discard };

    // dir: the recovery folder; empty means AppPaths::cacheDir() + "/recovery".
    explicit RecoveryStore(const QString &dir = QString());
    ~RecoveryStore();
    RecoveryStore(const RecoveryStore &) = delete;
    RecoveryStore &operator=(const RecoveryStore &) = delete;

    static QString defaultDir();
    QString dir() const { return m_dir; }
    QString sessionId() const { return m_sessionId; }

    // The path of this session's file for serial.
    QString fileFor(int serial) const;
    // Writes the file for serial atomically; takes the session lock first.
    // False when the folder or the file cannot be written.
    bool write(int serial, const QString &filePath, const QString &lyric, const QString &score);
    // Removes this session's file for serial, if any.
    void remove(int serial);
    // This session's recovery files.
    QStringList ownFiles() const;

    // Takes the locks of sessions that are no longer running and reads their
    // recovery files, oldest first. The locks are held until releaseAdopted().
    QList<Entry> adoptOrphans();
    // Deletes a recovery file of an adopted session (or of this one).
    bool discard(const QString &recoveryFile);
    // Gives up the adopted sessions: the lock of a session with files left
    // is released, so a later start offers them again.
    void releaseAdopted();

    // The bytes of a recovery file, and its inverse.
    static QByteArray encode(const QDateTime &savedAt, const QString &filePath,
                             const QString &lyric, const QString &score);
    static Entry decode(const QByteArray &bytes);
    static Entry read(const QString &recoveryFile);

private:
    bool lockSession();
    // Takes the lock of session id when its program is gone; nullptr when it
    // still runs or the lock cannot be had.
    std::unique_ptr<QLockFile> adoptSession(const QString &id) const;
    QString lockPathFor(const QString &id) const;

    QString m_dir;
    QString m_sessionId;
    std::unique_ptr<QLockFile> m_lock;
    QMap<QString, std::shared_ptr<QLockFile>> m_adopted;
};

#pragma once

#include "model/outcome.h"

#include <QByteArray>
#include <QString>

// A file written whole or not at all: the bytes go into a temporary file
// beside the target, which replaces the target only when everything was
// written and flushed to disk. Until then the old file stays as it was.
//
// The temporary file has a short name of its own (".qv-XXXXXX.tmp"), so a
// target whose name is as long as the file system allows can still be
// written. A missing folder is created. Failures name their cause: a full
// disk, a file over the size limit, no permission, a name too long.
class AtomicFile {
public:
    explicit AtomicFile(const QString &path);
    ~AtomicFile(); // an uncommitted file is discarded
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    bool open();
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }
    // Replaces the target with what was written; the outcome says why not.
    Outcome commit();
    // Drops what was written; the target stays as it was.
    void discard();

    // What went wrong first, as a failure to show; success when nothing did.
    Outcome outcome() const;
    int error() const { return m_errno; }
    QString path() const { return m_path; }

    // The message for a failed write with errno err.
    static QString describe(int err);
    // Writes path at once; failure titled "错误" naming the cause.
    static Outcome writeWhole(const QString &path, const QByteArray &bytes);
    // Makes writes past the process's file size limit fail with EFBIG instead
    // of killing the process, so that they are reported.
    static void ignoreFileSizeSignal();

private:
    void fail(int err);

    QString m_path;
    QByteArray m_temp;
    int m_fd = -1;
    int m_errno = 0;
    bool m_committed = false;
};

// Writes bytes to path atomically: the old file stays intact until the new
// one is complete. Failure carries "错误" and the cause.
Outcome writeFileAtomically(const QString &path, const QByteArray &bytes);

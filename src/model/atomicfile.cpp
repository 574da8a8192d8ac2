#include "model/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVector>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

AtomicFile::AtomicFile(const QString &path)
    : m_path(QFileInfo(path).absoluteFilePath()) {
    // Through a link the file it points to is replaced; the link stays.
    const QFileInfo info(m_path);
    if (info.isSymLink() && info.exists()) {
        m_path = info.canonicalFilePath();
    }
}

AtomicFile::~AtomicFile() {
    if (!m_committed) {
        discard();
    }
}

void AtomicFile::fail(int err) {
    if (m_errno == 0) {
        m_errno = err == 0 ? EIO : err;
    }
}

bool AtomicFile::open() {
    const QFileInfo info(m_path);
    const QString dir = info.absolutePath();
    if (!QFileInfo(dir).isDir() && !QDir().mkpath(dir)) {
        // A file where a folder should be, or a folder that cannot be made.
        QFileInfo up(dir);
        while (!up.exists() && up.absolutePath() != up.absoluteFilePath()) {
            up = QFileInfo(up.absolutePath());
        }
        fail(up.exists() && !up.isDir() ? ENOTDIR : EACCES);
        return false;
    }
    if (info.isDir()) {
        fail(EISDIR);
        return false;
    }
    // A target that exists but cannot be written is refused up front, as
    // replacing it by renaming would ignore its permissions.
    const QByteArray target = QFile::encodeName(m_path);
    if (info.exists() && ::access(target.constData(), W_OK) != 0) {
        fail(errno);
        return false;
    }
    m_temp = QFile::encodeName(dir) + "/.qv-XXXXXX.tmp";
    m_fd = ::mkstemps(m_temp.data(), 4);
    if (m_fd < 0) {
        fail(errno);
        m_temp.clear();
        return false;
    }
    // The new file keeps the permissions of the old one, or those a new
    // file would get.
    struct stat st;
    if (::stat(target.constData(), &st) == 0) {
        ::fchmod(m_fd, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(m_fd, 0666 & ~mask);
    }
    return true;
}

bool AtomicFile::write(const char *data, qint64 size) {
    if (m_fd < 0 || m_errno != 0) {
        fail(EBADF);
        return false;
    }
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

Outcome AtomicFile::commit() {
    if (m_fd < 0) {
        fail(EBADF);
        return outcome();
    }
    if (m_errno == 0 && ::fsync(m_fd) != 0 && errno != EINVAL) {
        fail(errno);
    }
    if (::close(m_fd) != 0 && m_errno == 0) {
        fail(errno);
    }
    m_fd = -1;
    if (m_errno == 0 && ::rename(m_temp.constData(), QFile::encodeName(m_path).constData()) != 0) {
        fail(errno);
    }
    if (m_errno != 0) {
        discard();
        return outcome();
    }
    m_committed = true;
    m_temp.clear();
    return Outcome::success(m_path);
}

void AtomicFile::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(m_temp.constData());
        m_temp.clear();
    }
}

Outcome AtomicFile::outcome() const {
    if (m_errno == 0) {
        return Outcome::success(m_path);
    }
    return Outcome::failure(
        QStringLiteral("错误"),
        QStringLiteral("无法写入“%1”：%2").arg(QFileInfo(m_path).fileName(), describe(m_errno)));
}

QString AtomicFile::describe(int err) {
    // The causes a user can do something about, each with the errors that name it.
    static const struct {
        QVector<int> errors;
        QString text;
    } causes[] = {
        {{ENOSPC, EDQUOT}, QStringLiteral("磁盘空间不足。")},
        {{EFBIG}, QStringLiteral("文件超过了系统允许的大小。")},
        {{EACCES, EPERM}, QStringLiteral("没有写入权限。")},
        {{EROFS}, QStringLiteral("磁盘为只读。")},
        {{ENAMETOOLONG}, QStringLiteral("文件名过长。")},
        {{ENOENT, ENOTDIR}, QStringLiteral("文件夹不存在。")},
        {{EISDIR}, QStringLiteral("同名的文件夹已存在。")},
        {{ETXTBSY, EBUSY}, QStringLiteral("文件正被使用。")},
    };
    for (const auto &cause : causes) {
        if (cause.errors.contains(err)) {
            return cause.text;
        }
    }
    return QStringLiteral("写入错误（%1）。").arg(QString::fromLocal8Bit(::strerror(err)));
}

Outcome AtomicFile::writeWhole(const QString &path, const QByteArray &bytes) {
    AtomicFile file(path);
    if (!file.open()) {
        return file.outcome();
    }
    file.write(bytes);
    return file.commit();
}

void AtomicFile::ignoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

Outcome writeFileAtomically(const QString &path, const QByteArray &bytes) {
    return AtomicFile::writeWhole(path, bytes);
}

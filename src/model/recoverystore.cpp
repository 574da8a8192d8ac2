#include "model/recoverystore.h"

#include "platform/apppaths.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSet>
#include <QSysInfo>
#include <QtEndian>
#include <algorithm>

namespace {

constexpr char magic[] = "QORVELRC";
constexpr int magicSize = 8;
constexpr int headerSize = magicSize + 2 + 2 + 8;
constexpr int hashSize = 16;
const QLatin1String fileSuffix(".qrec");
const QLatin1String lockSuffix(".lock");

// Sessions of this process. Their lock files carry this process's id, so a
// lock file with our id but not in this set is left over from an earlier
// program that happened to run under the same id.
QSet<QString> &liveSessions() {
    static QSet<QString> s;
    return s;
}

void appendString(QByteArray *out, const QString &s) {
    const quint32 bytes = quint32(s.size()) * 2;
    char count[4];
    qToLittleEndian(bytes, count);
    out->append(count, 4);
    const int at = out->size();
    out->resize(at + int(bytes));
    qToLittleEndian<quint16>(s.utf16(), s.size(), out->data() + at);
}

// Reads a counted string at *pos; false when the count is odd or runs past end.
bool takeString(const QByteArray &bytes, int *pos, int end, QString *s) {
    if (end - *pos < 4) {
        return false;
    }
    const quint32 count = qFromLittleEndian<quint32>(bytes.constData() + *pos);
    *pos += 4;
    if (count % 2 != 0 || count > quint32(end - *pos)) {
        return false;
    }
    s->resize(int(count / 2));
    qFromLittleEndian<quint16>(bytes.constData() + *pos, s->size(), s->data());
    *pos += int(count);
    return true;
}

RecoveryStore::Entry damagedEntry(const QString &problem) {
    RecoveryStore::Entry e;
    e.damaged = true;
    e.problem = problem;
    return e;
}

// "<session>-<serial>.qrec" → "<session>"; empty for any other name.
QString sessionOf(const QString &fileName) {
    if (!fileName.endsWith(fileSuffix)) {
        return QString();
    }
    const int dash = fileName.lastIndexOf(QLatin1Char('-'));
    return dash > 0 ? fileName.left(dash) : QString();
}

} // namespace

RecoveryStore::RecoveryStore(const QString &dir)
    : m_dir(dir.isEmpty() ? defaultDir() : dir) {
    // Unique among the programs sharing the folder: the process id, and a
    // random part for a process id used again after a crash.
    m_sessionId = QStringLiteral("s%1x%2")
                      .arg(QCoreApplication::applicationPid())
                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    liveSessions().insert(m_sessionId);
}

RecoveryStore::~RecoveryStore() {
    releaseAdopted();
    // The lock goes with the program; files left behind (a window destroyed
    // with unsaved documents) are offered at the next start.
    m_lock.reset();
    liveSessions().remove(m_sessionId);
}

QString RecoveryStore::defaultDir() {
    return AppPaths::cacheDir() + QStringLiteral("/recovery");
}

QString RecoveryStore::lockPathFor(const QString &id) const {
    return m_dir + QLatin1Char('/') + id + lockSuffix;
}

QString RecoveryStore::fileFor(int serial) const {
    return m_dir + QLatin1Char('/') + m_sessionId + QLatin1Char('-') + QString::number(serial) +
           fileSuffix;
}

bool RecoveryStore::lockSession() {
    if (m_lock) {
        return true;
    }
    if (!QDir().mkpath(m_dir)) {
        return false;
    }
    auto lock = std::make_unique<QLockFile>(lockPathFor(m_sessionId));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        return false;
    }
    m_lock = std::move(lock);
    return true;
}

bool RecoveryStore::write(int serial, const QString &filePath, const QString &lyric,
                          const QString &score) {
    if (!lockSession()) {
        return false;
    }
    QSaveFile file(fileFor(serial));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray bytes = encode(QDateTime::currentDateTimeUtc(), filePath, lyric, score);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void RecoveryStore::remove(int serial) {
    QFile::remove(fileFor(serial));
}

QStringList RecoveryStore::ownFiles() const {
    QStringList files;
    const QDir d(m_dir);
    for (const QString &name :
         d.entryList({m_sessionId + QStringLiteral("-*") + fileSuffix}, QDir::Files)) {
        files.append(d.filePath(name));
    }
    return files;
}

std::unique_ptr<QLockFile> RecoveryStore::adoptSession(const QString &id) const {
    if (liveSessions().contains(id)) {
        return nullptr;
    }
    auto lock = std::make_unique<QLockFile>(lockPathFor(id));
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        return lock;
    }
    if (lock->error() != QLockFile::LockFailedError) {
        return nullptr;
    }
    // A lock file naming this very process but no session of it: an earlier
    // program ran under the same process id. The removal fails while any
    // live holder keeps the file locked.
    qint64 pid = 0;
    QString host;
    QString app;
    if (lock->getLockInfo(&pid, &host, &app) && pid == QCoreApplication::applicationPid() &&
        (host.isEmpty() || host == QSysInfo::machineHostName()) && lock->removeStaleLockFile() &&
        lock->tryLock(0)) {
        return lock;
    }
    return nullptr;
}

QList<RecoveryStore::Entry> RecoveryStore::adoptOrphans() {
    QList<Entry> entries;
    const QDir d(m_dir);
    if (!d.exists()) {
        return entries;
    }
    QMap<QString, QStringList> bySession;
    for (const QString &name : d.entryList({QStringLiteral("*") + fileSuffix}, QDir::Files)) {
        const QString id = sessionOf(name);
        if (!id.isEmpty() && id != m_sessionId) {
            bySession[id].append(d.filePath(name));
        }
    }
    // Lock files of sessions that left no file: a program that ended without
    // a clean-up (or was killed before its first write).
    for (const QString &name : d.entryList({QStringLiteral("*") + lockSuffix}, QDir::Files)) {
        const QString id = name.left(name.size() - lockSuffix.size());
        if (id != m_sessionId && !bySession.contains(id) && !m_adopted.contains(id)) {
            if (auto lock = adoptSession(id)) {
                lock->unlock(); // removes the file
            }
        }
    }
    for (auto it = bySession.cbegin(); it != bySession.cend(); ++it) {
        std::shared_ptr<QLockFile> lock;
        if (m_adopted.contains(it.key())) {
            lock = m_adopted.value(it.key());
        } else {
            lock = adoptSession(it.key());
            if (!lock) {
                continue; // its program still runs
            }
            m_adopted.insert(it.key(), lock);
        }
        // Temporary files of writes that never finished.
        for (const QString &name :
             d.entryList({it.key() + QStringLiteral("-*") + fileSuffix + QStringLiteral(".*")},
                         QDir::Files)) {
            QFile::remove(d.filePath(name));
        }
        for (const QString &path : it.value()) {
            entries.append(read(path));
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        if (a.damaged != b.damaged) {
            return !a.damaged;
        }
        return a.savedAt < b.savedAt;
    });
    return entries;
}

bool RecoveryStore::discard(const QString &recoveryFile) {
    const QString id = sessionOf(QFileInfo(recoveryFile).fileName());
    if (id != m_sessionId && !m_adopted.contains(id)) {
        return false; // another running program's file
    }
    return QFile::remove(recoveryFile);
}

void RecoveryStore::releaseAdopted() {
    // Unlocking removes the lock file; a session with files left has none
    // then, and the next start takes its lock again.
    m_adopted.clear();
}

QByteArray RecoveryStore::encode(const QDateTime &savedAt, const QString &filePath,
                                 const QString &lyric, const QString &score) {
    QByteArray out;
    out.reserve(headerSize + 12 + 2 * (filePath.size() + lyric.size() + score.size()) + hashSize);
    out.append(magic, magicSize);
    char field[8];
    qToLittleEndian<quint16>(formatVersion, field);
    out.append(field, 2);
    qToLittleEndian<quint16>(0, field);
    out.append(field, 2);
    qToLittleEndian<qint64>(savedAt.toMSecsSinceEpoch(), field);
    out.append(field, 8);
    appendString(&out, filePath);
    appendString(&out, lyric);
    appendString(&out, score);
    out.append(QCryptographicHash::hash(out, QCryptographicHash::Md5));
    return out;
}

RecoveryStore::Entry RecoveryStore::decode(const QByteArray &bytes) {
    if (bytes.size() < headerSize + 12 + hashSize ||
        !bytes.startsWith(QByteArray::fromRawData(magic, magicSize))) {
        return damagedEntry(QStringLiteral("不是恢复文件"));
    }
    const quint16 version = qFromLittleEndian<quint16>(bytes.constData() + magicSize);
    if (version != formatVersion) {
        return damagedEntry(QStringLiteral("版本不符"));
    }
    const int end = bytes.size() - hashSize;
    if (QCryptographicHash::hash(QByteArray::fromRawData(bytes.constData(), end),
                                 QCryptographicHash::Md5) !=
        QByteArray::fromRawData(bytes.constData() + end, hashSize)) {
        return damagedEntry(QStringLiteral("校验失败"));
    }
    Entry e;
    const qint64 msecs = qFromLittleEndian<qint64>(bytes.constData() + magicSize + 4);
    int pos = headerSize;
    if (!takeString(bytes, &pos, end, &e.filePath) || !takeString(bytes, &pos, end, &e.lyric) ||
        !takeString(bytes, &pos, end, &e.score) || pos != end) {
        return damagedEntry(QStringLiteral("内容不完整"));
    }
    e.savedAt = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    e.damaged = false;
    return e;
}

RecoveryStore::Entry RecoveryStore::read(const QString &recoveryFile) {
    Entry e;
    QFile file(recoveryFile);
    if (!file.open(QIODevice::ReadOnly)) {
        e = damagedEntry(QStringLiteral("无法读取"));
    } else if (file.size() > maxFileSize) {
        e = damagedEntry(QStringLiteral("文件过大"));
    } else {
        e = decode(file.read(maxFileSize));
    }
    e.recoveryFile = recoveryFile;
    if (e.damaged) {
        e.savedAt = QFileInfo(recoveryFile).lastModified().toUTC();
    }
    return e;
}

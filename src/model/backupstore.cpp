#include "model/backupstore.h"

#include "model/scorefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

namespace {

const QLatin1String originSuffix(".origin");
const QLatin1String originMagic("qorvel-backup 1");
const QString timeFormat = QStringLiteral("yyyy-MM-dd HHmmss.zzz");
// An ".origin" larger than this is not one of ours.
constexpr qint64 maxOriginSize = 64 * 1024;

Outcome keepFailed() {
    return Outcome::failure(QStringLiteral("错误"), QStringLiteral("无法保存早期版本。"));
}

// "<name> <time> [<key>].gcp" → name, time, key.
const QRegularExpression &versionName() {
    static const QRegularExpression re(
        QStringLiteral("^(.+) (\\d{4}-\\d{2}-\\d{2} \\d{6}\\.\\d{3}) \\[([0-9a-f]{8})\\]\\.gcp$"));
    return re;
}

QString keyOf(const QString &identity) {
    return QString::fromLatin1(
        QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
}

bool isUnsafe(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    return c < 0x80 && QByteArrayLiteral("/\\:*?\"<>|").contains(char(c));
}

// The original's name without ".gcp", fit for a file name of its own: every
// separator, control character and leading or doubled dot becomes "_", and
// it is cut to BackupStore::nameLength characters (never inside a pair).
QString safeName(const QString &fileName) {
    QString base = fileName;
    if (base.endsWith(QLatin1String(".gcp"), Qt::CaseInsensitive)) {
        base.chop(4);
    }
    QString out;
    for (const char32_t c : base.toUcs4()) {
        char32_t safe = c;
        if (isUnsafe(c)) {
            safe = U'_';
        } else if (c == U'.' && (out.isEmpty() || out.endsWith(QLatin1Char('.')))) {
            safe = U'_';
        }
        const QString piece = QString::fromUcs4(&safe, 1);
        if (out.size() + piece.size() > BackupStore::nameLength) {
            break;
        }
        out += piece;
    }
    return out.isEmpty() ? QStringLiteral("未命名") : out;
}

QByteArray encodeOrigin(const QString &identity, const QDateTime &time) {
    return QByteArray(originMagic.data(), originMagic.size()) + '\n' +
           QByteArray::number(time.toMSecsSinceEpoch()) + '\n' + identity.toUtf8();
}

// The original's path and the time from an ".origin"; false when it is
// missing, damaged, or belongs to another key.
bool decodeOrigin(const QString &originFile, const QString &key, QString *identity,
                  QDateTime *time) {
    QFile file(originFile);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxOriginSize) {
        return false;
    }
    const QByteArray bytes = file.read(maxOriginSize);
    const int first = bytes.indexOf('\n');
    const int second = first < 0 ? -1 : bytes.indexOf('\n', first + 1);
    if (second < 0 || bytes.left(first) != QByteArray(originMagic.data(), originMagic.size())) {
        return false;
    }
    bool ok = false;
    const qint64 msecs = bytes.mid(first + 1, second - first - 1).toLongLong(&ok);
    const QByteArray raw = bytes.mid(second + 1);
    const QString path = QString::fromUtf8(raw);
    if (!ok || msecs <= 0 || path.isEmpty() || path.toUtf8() != raw || path.contains(QChar(0)) ||
        !QFileInfo(path).isAbsolute() || keyOf(path) != key) {
        return false;
    }
    *identity = path;
    *time = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    return true;
}

bool writeAtomically(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A version as found in the folder, with what it takes to match its original.
struct Found {
    BackupStore::Version version;
    QString key;
    bool knowsOrigin = false;
};

bool newerFirst(const Found &a, const Found &b) {
    if (a.version.time != b.version.time) {
        return a.version.time > b.version.time;
    }
    return a.version.path > b.version.path;
}

QList<Found> scanFolder(const QString &dir) {
    QList<Found> found;
    const QDir d(dir);
    const QFileInfoList files =
        d.entryInfoList({QStringLiteral("*.gcp")}, QDir::Files | QDir::NoSymLinks | QDir::Hidden);
    for (const QFileInfo &info : files) {
        const QRegularExpressionMatch m = versionName().match(info.fileName());
        if (!m.hasMatch()) {
            continue;
        }
        Found f;
        f.key = m.captured(3);
        f.version.path = info.absoluteFilePath();
        f.version.size = info.size();
        QString identity;
        QDateTime time;
        f.knowsOrigin = decodeOrigin(f.version.path + originSuffix, f.key, &identity, &time);
        if (f.knowsOrigin) {
            f.version.originalPath = identity;
            f.version.originalName = QFileInfo(identity).fileName();
            f.version.time = time;
        } else {
            f.version.originalName = m.captured(1) + QStringLiteral(".gcp");
            time = QDateTime::fromString(m.captured(2), timeFormat);
            f.version.time = time.isValid() ? time.toUTC() : info.lastModified().toUTC();
        }
        found.append(f);
    }
    std::sort(found.begin(), found.end(), newerFirst);
    return found;
}

// The versions of the file identity, newest first. A version whose ".origin"
// is lost goes with the key in its name.
QList<Found> versionsIn(const QList<Found> &found, const QString &identity) {
    const QString key = keyOf(identity);
    QList<Found> own;
    for (const Found &f : found) {
        if (f.key == key && (!f.knowsOrigin || f.version.originalPath == identity)) {
            own.append(f);
        }
    }
    return own;
}

bool sameBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.size() == bytes.size() && file.readAll() == bytes;
}

} // namespace

BackupStore::BackupStore(const QString &dir)
    : m_dir(dir.isEmpty() ? defaultDir() : dir) {}

QString BackupStore::defaultDir() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/backups");
}

void BackupStore::setLimits(int maxPerFile, qint64 maxTotalBytes) {
    m_maxPerFile = std::max(1, maxPerFile);
    m_maxTotalBytes = std::max<qint64>(0, maxTotalBytes);
}

QString BackupStore::identityOf(const QString &filePath) {
    const QFileInfo info(filePath);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString BackupStore::fileNameFor(const QString &originalPath, const QDateTime &time) {
    const QString identity = identityOf(originalPath);
    return safeName(QFileInfo(identity).fileName()) + QLatin1Char(' ') +
           time.toLocalTime().toString(timeFormat) + QStringLiteral(" [") + keyOf(identity) +
           QStringLiteral("].gcp");
}

Outcome BackupStore::keep(const QString &filePath) {
    const QFileInfo info(filePath);
    if (filePath.isEmpty() || !info.exists() || !info.isFile()) {
        return Outcome::success();
    }
    if (info.size() > m_maxTotalBytes) {
        return keepFailed();
    }
    QFile source(filePath);
    if (!source.open(QIODevice::ReadOnly)) {
        return keepFailed();
    }
    const QByteArray bytes = source.readAll(); // checked again: it may have grown
    if (source.error() != QFileDevice::NoError || bytes.size() > m_maxTotalBytes) {
        return keepFailed();
    }
    source.close();
    return keep(filePath, bytes);
}

Outcome BackupStore::keep(const QString &filePath, const QByteArray &bytes) {
    if (filePath.isEmpty()) {
        return Outcome::success();
    }
    if (bytes.size() > m_maxTotalBytes) {
        return keepFailed();
    }
    if (!QDir().mkpath(m_dir) || !QFileInfo(m_dir).isDir()) {
        return keepFailed();
    }

    const QString identity = identityOf(filePath);
    const QList<Found> found = scanFolder(m_dir);
    const QList<Found> own = versionsIn(found, identity);
    if (!own.isEmpty() && sameBytes(own.first().version.path, bytes)) {
        return Outcome::success();
    }

    // Later than every version in the folder, and a name of its own.
    qint64 msecs = QDateTime::currentMSecsSinceEpoch();
    for (const Found &f : found) {
        msecs = std::max(msecs, f.version.time.toMSecsSinceEpoch() + 1);
    }
    const QDir d(m_dir);
    QString copy;
    QDateTime time;
    for (;; ++msecs) {
        time = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
        copy = d.filePath(fileNameFor(identity, time));
        if (!QFileInfo::exists(copy) && !QFileInfo::exists(copy + originSuffix)) {
            break;
        }
    }

    // The ".origin" first: one left without its copy is never listed.
    if (!writeAtomically(copy + originSuffix, encodeOrigin(identity, time))) {
        QFile::remove(copy + originSuffix);
        return keepFailed();
    }
    if (!writeAtomically(copy, bytes)) {
        QFile::remove(copy + originSuffix);
        return keepFailed();
    }
    prune(identity);
    return Outcome::success(copy);
}

void BackupStore::drop(const Version &v) const {
    QFile::remove(v.path);
    QFile::remove(v.path + originSuffix);
}

void BackupStore::prune(const QString &identity) const {
    QList<Found> found = scanFolder(m_dir);
    const QList<Found> own = versionsIn(found, identity);
    for (int i = m_maxPerFile; i < own.size(); ++i) {
        drop(own.at(i).version);
    }
    if (own.size() > m_maxPerFile) {
        found = scanFolder(m_dir);
    }
    qint64 total = 0;
    for (const Found &f : found) {
        total += f.version.size;
    }
    // The oldest is last.
    while (total > m_maxTotalBytes && !found.isEmpty()) {
        const Found oldest = found.takeLast();
        drop(oldest.version);
        total -= oldest.version.size;
    }
    // ".origin" files whose copy is gone, once no keep can be writing it.
    const QDir d(m_dir);
    const QDateTime settled = QDateTime::currentDateTimeUtc().addSecs(-60);
    for (const QString &name :
         d.entryList({QStringLiteral("*.gcp") + originSuffix}, QDir::Files | QDir::Hidden)) {
        const QString copy = name.left(name.size() - originSuffix.size());
        if (versionName().match(copy).hasMatch() && !QFileInfo::exists(d.filePath(copy)) &&
            QFileInfo(d.filePath(name)).lastModified().toUTC() < settled) {
            QFile::remove(d.filePath(name));
        }
    }
}

QList<BackupStore::Version> BackupStore::versionsOf(const QString &filePath) const {
    const QString identity = identityOf(filePath);
    QList<Version> versions;
    for (const Found &f : versionsIn(scanFolder(m_dir), identity)) {
        Version v = f.version;
        if (!f.knowsOrigin) {
            v.originalPath = identity;
            v.originalName = QFileInfo(identity).fileName();
        }
        versions.append(v);
    }
    return versions;
}

QList<BackupStore::Version> BackupStore::all() const {
    QList<Version> versions;
    for (const Found &f : scanFolder(m_dir)) {
        versions.append(f.version);
    }
    return versions;
}

bool BackupStore::read(const Version &v, QString *lyric, QString *score, Outcome *outcome) const {
    const Outcome read = readScoreFile(v.path, lyric, score);
    if (outcome) {
        *outcome = read;
    }
    return read.ok();
}

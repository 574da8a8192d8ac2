#include "library/libraryindex.h"

#include "library/librarysearch.h"
#include "library/paircodec.h"
#include "library/pitchphrase.h"
#include "library/scoresummary.h"
#include "platform/apppaths.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

// "QGLB": what PRAGMA application_id holds in an index of this program.
constexpr int applicationId = 0x51474C42;
// Files read between two commits: readers see the index grow.
constexpr int filesPerCommit = 200;

QAtomicInt connectionCounter;

const char *const schema[] = {
    "CREATE TABLE files(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, "
    "mtime INTEGER NOT NULL, size INTEGER NOT NULL, title TEXT NOT NULL, "
    "title_line INTEGER NOT NULL, problem TEXT NOT NULL)",
    "CREATE TABLE tunes(file_id INTEGER NOT NULL, line INTEGER NOT NULL, heading TEXT NOT NULL, "
    "qupai TEXT NOT NULL, gongdiao TEXT NOT NULL, dise TEXT NOT NULL, banshi TEXT NOT NULL)",
    "CREATE INDEX tunes_file ON tunes(file_id)",
    "CREATE TABLE lines(id INTEGER PRIMARY KEY, file_id INTEGER NOT NULL, line INTEGER NOT NULL, "
    "first_char INTEGER NOT NULL, text TEXT NOT NULL, words TEXT NOT NULL)",
    "CREATE INDEX lines_file ON lines(file_id, line)",
    // The trigram index of the words of each line, kept by hand: rowid = lines.id.
    "CREATE VIRTUAL TABLE line_words USING fts5(words, content='lines', content_rowid='id', "
    "tokenize='trigram')",
    "CREATE TABLE melody(file_id INTEGER PRIMARY KEY, pitches TEXT NOT NULL, steps TEXT NOT NULL, "
    "places BLOB NOT NULL, characters BLOB NOT NULL)",
};

// Text for a NOT NULL column: a null string would be bound as NULL.
QString notNull(const QString &text) {
    return text.isNull() ? QStringLiteral("") : text;
}

struct Found {
    qint64 mtime = 0;
    qint64 size = 0;
};

struct Known {
    qint64 id = 0;
    qint64 mtime = 0;
    qint64 size = 0;
};

bool hasScoreSuffix(const QString &name) {
    return name.endsWith(QLatin1String(".gcp"), Qt::CaseInsensitive);
}

#ifdef Q_OS_UNIX
// One folder and those below it, hidden ones and linked folders left out.
// The system's own calls: the start-up check stats thousands of files.
void scanFolder(const QString &folder, QHash<QString, Found> *found, QStringList *directories) {
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        return;
    }
    directories->append(folder);
    const int fd = dirfd(dir);
    QStringList below;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        struct stat st;
        if (fstatat(fd, entry->d_name, &st, 0) != 0) {
            continue;
        }
        const QString name = QFile::decodeName(entry->d_name);
        if (S_ISDIR(st.st_mode)) {
            struct stat link;
            if (fstatat(fd, entry->d_name, &link, AT_SYMLINK_NOFOLLOW) == 0 &&
                !S_ISLNK(link.st_mode)) {
                below.append(folder + QLatin1Char('/') + name);
            }
        } else if (S_ISREG(st.st_mode) && hasScoreSuffix(name)) {
            found->insert(folder + QLatin1Char('/') + name,
                          {qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000,
                           qint64(st.st_size)});
        }
    }
    closedir(dir);
    for (const QString &sub : qAsConst(below)) {
        scanFolder(sub, found, directories);
    }
}
#else
void scanFolder(const QString &folder, QHash<QString, Found> *found, QStringList *directories) {
    directories->append(folder);
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir()) {
            if (!info.isSymLink()) {
                directories->append(LibraryIndex::normalised(info.filePath()));
            }
        } else if (info.isFile() && hasScoreSuffix(info.fileName())) {
            found->insert(LibraryIndex::normalised(info.filePath()),
                          {info.lastModified().toMSecsSinceEpoch(), info.size()});
        }
    }
}
#endif

// The score files under the folders (normalised), and every folder on the way.
QHash<QString, Found> scan(const QStringList &folders, QStringList *directories) {
    QHash<QString, Found> found;
    for (const QString &folder : folders) {
        if (QFileInfo(folder).isDir()) {
            scanFolder(folder, &found, directories);
        }
    }
    return found;
}

// Whether path lies in one of the normalised folders.
bool under(const QString &path, const QStringList &folders) {
    for (const QString &f : folders) {
        if (path.startsWith(f) &&
            (path.size() == f.size() || path.at(f.size()) == QLatin1Char('/') ||
             f.endsWith(QLatin1Char('/')))) {
            return true;
        }
    }
    return false;
}

QStringList normalisedFolders(const QStringList &folders) {
    QStringList out;
    for (const QString &f : folders) {
        if (!f.isEmpty()) {
            out.append(LibraryIndex::normalised(f));
        }
    }
    out.removeDuplicates();
    return out;
}

} // namespace

LibraryIndex::LibraryIndex()
    : m_connection(
          QStringLiteral("qorvel-library-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

LibraryIndex::~LibraryIndex() {
    close();
}

QString LibraryIndex::defaultPath() {
    return AppPaths::dataPath(QStringLiteral("library.sqlite"));
}

QString LibraryIndex::normalised(const QString &path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool LibraryIndex::isUnder(const QString &path, const QStringList &folders) {
    return under(path, folders);
}

bool LibraryIndex::isOpen() const {
    return QSqlDatabase::contains(m_connection) &&
           QSqlDatabase::database(m_connection, false).isOpen();
}

void LibraryIndex::close() {
    if (QSqlDatabase::contains(m_connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool LibraryIndex::exec(const QString &statement) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    return q.exec(statement);
}

Outcome LibraryIndex::open(const QString &path, bool checkIt) {
    close();
    m_path = normalised(path);
    m_discarded.clear();
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    const bool existed = QFileInfo(m_path).exists() && QFileInfo(m_path).size() > 0;

    auto connect = [this] {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        return db.open();
    };
    if (existed && checkIt) {
        QString why;
        if (!connect() || !check(&why)) {
            close();
            m_discarded = why.isEmpty() ? QStringLiteral("索引文件无法打开") : why;
            const QString aside = m_path + QStringLiteral(".broken");
            QFile::remove(aside);
            if (!QFile::rename(m_path, aside)) {
                QFile::remove(m_path);
            }
            QFile::remove(m_path + QStringLiteral("-wal"));
            QFile::remove(m_path + QStringLiteral("-shm"));
        }
    }
    if (!isOpen() && !connect()) {
        const QString error = QSqlDatabase::database(m_connection, false).lastError().text();
        close();
        return Outcome::failure(QStringLiteral("曲库"),
                                QStringLiteral("无法打开曲库索引 %1：%2").arg(m_path, error));
    }
    exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    QSqlQuery version(QSqlDatabase::database(m_connection, false));
    if (version.exec(QStringLiteral("PRAGMA user_version")) && version.next() &&
        version.value(0).toInt() == 0 && !createSchema()) {
        const QString error = version.lastError().text();
        close();
        return Outcome::failure(QStringLiteral("曲库"),
                                QStringLiteral("无法建立曲库索引 %1：%2").arg(m_path, error));
    }
    return Outcome::success(m_path);
}

bool LibraryIndex::check(QString *why) {
    // Not SQLite at all: the driver opens anything, the first read fails.
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || file.read(16) != QByteArray("SQLite format 3\0", 16)) {
        *why = QStringLiteral("索引文件不是 SQLite 数据库");
        return false;
    }
    file.close();
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("PRAGMA application_id")) || !q.next() ||
        q.value(0).toInt() != applicationId) {
        *why = QStringLiteral("索引文件属于别的程序");
        return false;
    }
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next() ||
        q.value(0).toInt() != schemaVersion) {
        *why = QStringLiteral("索引文件的版本不对");
        return false;
    }
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() ||
        q.value(0).toString() != QLatin1String("ok")) {
        *why = QStringLiteral("索引文件已损坏");
        return false;
    }
    return true;
}

bool LibraryIndex::createSchema() {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // An empty database or one left half made: nothing of it is kept.
    QSqlQuery tables(db);
    tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name NOT "
                               "LIKE 'sqlite_%' AND name NOT LIKE 'line_words_%'"));
    QStringList existing;
    while (tables.next()) {
        existing.append(tables.value(0).toString());
    }
    db.transaction();
    for (const QString &t : qAsConst(existing)) {
        exec(QStringLiteral("DROP TABLE IF EXISTS \"%1\"").arg(t));
    }
    for (const char *statement : schema) {
        if (!exec(QString::fromUtf8(statement))) {
            db.rollback();
            return false;
        }
    }
    exec(QStringLiteral("PRAGMA application_id=%1").arg(applicationId));
    exec(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion));
    return db.commit();
}

void LibraryIndex::removeFile(qint64 id) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO line_words(line_words, rowid, words) "
                             "SELECT 'delete', id, words FROM lines WHERE file_id=?"));
    q.addBindValue(id);
    q.exec();
    for (const char *table : {"lines", "tunes", "melody"}) {
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE file_id=?").arg(QLatin1String(table)));
        q.addBindValue(id);
        q.exec();
    }
    q.prepare(QStringLiteral("DELETE FROM files WHERE id=?"));
    q.addBindValue(id);
    q.exec();
}

bool LibraryIndex::storeFile(const QString &path, qint64 mtime, qint64 size,
                             const ScoreSummary &summary, const QString &problem) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO files(path, mtime, size, title, title_line, problem) "
                             "VALUES(?, ?, ?, ?, ?, ?)"));
    q.addBindValue(path);
    q.addBindValue(mtime);
    q.addBindValue(size);
    q.addBindValue(notNull(summary.title));
    q.addBindValue(summary.titleLine);
    q.addBindValue(notNull(problem));
    if (!q.exec()) {
        return false;
    }
    const qint64 id = q.lastInsertId().toLongLong();

    q.prepare(QStringLiteral("INSERT INTO tunes(file_id, line, heading, qupai, gongdiao, dise, "
                             "banshi) VALUES(?, ?, ?, ?, ?, ?, ?)"));
    for (const ScoreSummary::Tune &t : summary.tunes) {
        q.addBindValue(id);
        q.addBindValue(t.lyricLine);
        q.addBindValue(notNull(t.heading));
        q.addBindValue(notNull(t.quPai));
        q.addBindValue(notNull(t.gongDiao));
        q.addBindValue(notNull(t.diSe));
        q.addBindValue(notNull(t.banShi));
        q.exec();
    }

    QSqlQuery words(db);
    words.prepare(QStringLiteral("INSERT INTO line_words(rowid, words) VALUES(?, ?)"));
    q.prepare(QStringLiteral("INSERT INTO lines(file_id, line, first_char, text, words) "
                             "VALUES(?, ?, ?, ?, ?)"));
    for (const ScoreSummary::Line &l : summary.lines) {
        const QString searchable = ScoreSummary::searchable(l.text);
        q.addBindValue(id);
        q.addBindValue(l.lyricLine);
        q.addBindValue(l.firstCharacter);
        q.addBindValue(notNull(l.text));
        q.addBindValue(notNull(searchable));
        if (q.exec() && !searchable.isEmpty()) {
            words.addBindValue(q.lastInsertId());
            words.addBindValue(notNull(searchable));
            words.exec();
        }
    }

    QVector<QPair<int, int>> places;
    places.reserve(summary.places.size());
    for (const ScoreSummary::NotePlace &p : summary.places) {
        places.append({p.scoreLine, p.column});
    }
    q.prepare(QStringLiteral("INSERT INTO melody(file_id, pitches, steps, places, characters) "
                             "VALUES(?, ?, ?, ?, ?)"));
    q.addBindValue(id);
    q.addBindValue(notNull(summary.pitches));
    q.addBindValue(notNull(PitchPhrase::stepsOfPitchKey(summary.pitches)));
    q.addBindValue(PairCodec::encode(places));
    q.addBindValue(PairCodec::encode(summary.characters));
    return q.exec();
}

LibraryIndex::UpdateReport LibraryIndex::update(const QStringList &folderList,
                                                const std::function<bool(int, int)> &progress) {
    UpdateReport report;
    if (!isOpen()) {
        return report;
    }
    const QStringList folders = normalisedFolders(folderList);
    const QHash<QString, Found> found = scan(folders, &report.directories);
    report.files = found.keys();
    report.files.sort();

    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QHash<QString, Known> known;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(QStringLiteral("SELECT id, path, mtime, size FROM files"));
        while (q.next()) {
            const QString path = q.value(1).toString();
            if (under(path, folders)) {
                known.insert(path, {q.value(0).toLongLong(), q.value(2).toLongLong(),
                                    q.value(3).toLongLong()});
            }
        }
    }

    // Gone from the disk.
    db.transaction();
    for (auto it = known.constBegin(); it != known.constEnd(); ++it) {
        if (!found.contains(it.key())) {
            removeFile(it->id);
            ++report.removed;
        }
    }
    db.commit();

    // New or changed, in path order.
    QStringList toRead;
    for (const QString &path : qAsConst(report.files)) {
        const Found &f = found[path];
        const auto k = known.constFind(path);
        if (k == known.constEnd()) {
            toRead.append(path);
        } else if (k->mtime != f.mtime || k->size != f.size) {
            toRead.append(path);
        } else {
            ++report.unchanged;
        }
    }
    db.transaction();
    for (int i = 0; i < toRead.size(); ++i) {
        const QString &path = toRead.at(i);
        QString problem;
        const ScoreSummary summary = ScoreSummary::read(path, &problem);
        const auto k = known.constFind(path);
        if (k != known.constEnd()) {
            removeFile(k->id);
            ++report.changed;
        } else {
            ++report.added;
        }
        // The time and size of before the read: a file written meanwhile is
        // read again next time.
        storeFile(path, found[path].mtime, found[path].size, summary, problem);
        if ((i + 1) % filesPerCommit == 0) {
            db.commit();
            db.transaction();
        }
        if (progress && !progress(i + 1, toRead.size())) {
            break;
        }
    }
    db.commit();
    report.unreadable = unreadable(folders);
    return report;
}

int LibraryIndex::prune(const QStringList &folderList) {
    if (!isOpen()) {
        return 0;
    }
    const QStringList folders = normalisedFolders(folderList);
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QVector<qint64> outside;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT id, path FROM files"));
    while (q.next()) {
        if (!under(q.value(1).toString(), folders)) {
            outside.append(q.value(0).toLongLong());
        }
    }
    q.finish();
    db.transaction();
    for (const qint64 id : qAsConst(outside)) {
        removeFile(id);
    }
    db.commit();
    return outside.size();
}

LibraryIndex::UpdateReport LibraryIndex::rebuild(const QStringList &folders,
                                                 const std::function<bool(int, int)> &progress) {
    if (isOpen()) {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.transaction();
        for (const char *table : {"lines", "tunes", "melody", "files"}) {
            exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(table)));
        }
        exec(QStringLiteral("INSERT INTO line_words(line_words) VALUES('delete-all')"));
        db.commit();
    }
    return update(folders, progress);
}

QVector<LibraryIndex::Unreadable> LibraryIndex::unreadable(const QStringList &folderList) const {
    QVector<Unreadable> out;
    if (!isOpen()) {
        return out;
    }
    const QStringList folders = normalisedFolders(folderList);
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT path, problem FROM files WHERE problem != '' ORDER BY path"));
    while (q.next()) {
        const QString path = q.value(0).toString();
        if (under(path, folders)) {
            out.append({path, q.value(1).toString()});
        }
    }
    return out;
}

int LibraryIndex::fileCount(const QStringList &folderList) const {
    if (!isOpen()) {
        return 0;
    }
    const QStringList folders = normalisedFolders(folderList);
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT path FROM files"));
    int count = 0;
    while (q.next()) {
        if (folders.isEmpty() || under(q.value(0).toString(), folders)) {
            ++count;
        }
    }
    return count;
}

QVector<LibraryHit> LibraryIndex::search(const QString &query, const QStringList &folders,
                                         SearchInfo *info) const {
    if (!isOpen()) {
        return {};
    }
    LibrarySearch search(QSqlDatabase::database(m_connection, false), normalisedFolders(folders));
    return search.run(LibraryQuery::parse(query), info);
}

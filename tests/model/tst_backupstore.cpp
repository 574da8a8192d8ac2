// Earlier versions of score files: the copies kept before saves, their
// rotation per file and across the folder, files of the same name in
// different folders, the names of the copies, and damaged or foreign files
// in the folder.
#include "model/backupstore.h"
#include "model/scorefile.h"
#include "testsupport.h"

#include <QDir>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using Version = BackupStore::Version;

class TestBackupStore : public QObject {
    Q_OBJECT

private slots:
    void init();
    void keepsCopiesNewestFirst();
    void rotationPerFileAndAcrossFiles();
    void sameNameInTwoFoldersKeptApart();
    void nothingToKeepAndFailures();
    void hostileNamesStayInside();
    void damagedOriginsAndForeignFiles();

private:
    // Writes bytes to the file relative in the sources folder.
    QString put(const QString &relative, const QByteArray &bytes) {
        const QString path = m_sources->filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                        file.write(bytes) == bytes.size();
        return ok ? path : QString();
    }
    static QList<QByteArray> contents(const QList<Version> &versions) {
        QList<QByteArray> out;
        for (const Version &v : versions) {
            QFile file(v.path);
            out.append(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("?"));
        }
        return out;
    }
    QString storeDir() const { return m_storeRoot->filePath(QStringLiteral("backups")); }
    QStringList storeEntries() const {
        return QDir(storeDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    static void verifyFailure(const Outcome &o) {
        QVERIFY(!o.ok());
        QCOMPARE(o.title(), QStringLiteral("错误"));
        QCOMPARE(o.message(), QStringLiteral("无法保存早期版本。"));
    }

    std::unique_ptr<QTemporaryDir> m_sources;
    std::unique_ptr<QTemporaryDir> m_storeRoot;
};

void TestBackupStore::init() {
    m_sources = std::make_unique<QTemporaryDir>();
    m_storeRoot = std::make_unique<QTemporaryDir>();
    QVERIFY(m_sources->isValid() && m_storeRoot->isValid());
}

void TestBackupStore::keepsCopiesNewestFirst() {
    QCOMPARE(BackupStore().dir(),
             QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/backups");
    const QString path = m_sources->filePath(QStringLiteral("游园.gcp"));
    const QString a = put(QStringLiteral("a.gcp"), "a");
    BackupStore store(storeDir());
    store.setLimits(50, BackupStore::defaultMaxTotalBytes);
    // Far quicker than a millisecond each: every time still differs.
    for (int i = 1; i <= 20; ++i) {
        QVERIFY(writeScoreFile(path, QStringLiteral("第%1版").arg(i), QStringLiteral("\n")));
        const Outcome kept = store.keep(path);
        QVERIFY(kept.ok());
        QCOMPARE(QFileInfo(kept.path()).absolutePath(), QFileInfo(storeDir()).absoluteFilePath());
        QVERIFY(put(QStringLiteral("a.gcp"), QByteArray::number(i)) == a);
        QVERIFY(store.keep(a).ok());
    }
    const QList<Version> all = store.all();
    QCOMPARE(all.size(), 40);
    for (int i = 1; i < all.size(); ++i) {
        QVERIFY(all.at(i - 1).time > all.at(i).time);
    }
    QCOMPARE(contents(all).first(), QByteArray("20"));
    const Version v = store.versionsOf(m_sources->path() + QStringLiteral("/./游园.gcp")).first();
    QCOMPARE(v.originalPath, QFileInfo(path).canonicalFilePath());
    QCOMPARE(v.originalName, QStringLiteral("游园.gcp"));
    QCOMPARE(v.size, QFileInfo(path).size());
    QVERIFY(QFileInfo(v.path).fileName().startsWith(
        QStringLiteral("游园 ") + v.time.toLocalTime().toString("yyyy-MM-dd HHmmss.zzz")));
    QString lyric, score;
    QVERIFY(store.read(v, &lyric, &score));
    QCOMPARE(lyric, QStringLiteral("第20版"));

    Outcome outcome;
    QVERIFY(QFile::remove(v.path));
    QVERIFY(!store.read(v, &lyric, &score, &outcome));
    QVERIFY(!outcome.ok() && !outcome.message().isEmpty());
}

void TestBackupStore::rotationPerFileAndAcrossFiles() {
    const QString path = m_sources->filePath(QStringLiteral("游园.gcp"));
    BackupStore store(storeDir());
    for (int i = 1; i <= 7; ++i) {
        QVERIFY(writeScoreFile(path, QStringLiteral("第%1版").arg(i), QStringLiteral("\n")));
        QVERIFY(store.keep(path).ok());
    }
    const QList<Version> versions = store.versionsOf(path);
    QCOMPARE(versions.size(), 5);
    for (int i = 0; i < 5; ++i) {
        QString lyric, score;
        QVERIFY(store.read(versions.at(i), &lyric, &score));
        QCOMPARE(lyric, QStringLiteral("第%1版").arg(7 - i));
    }
    QCOMPARE(storeEntries().size(), 10); // each copy with its origin, nothing else

    // Over the total, the oldest of any file goes; the newest always stays.
    QVERIFY(QDir(storeDir()).removeRecursively());
    const QByteArray kilo(1000, 'x');
    const QString a = put(QStringLiteral("a.gcp"), kilo + "a1");
    const QString b = put(QStringLiteral("b.gcp"), kilo + "b1");
    store.setLimits(5, 3100);
    QVERIFY(store.keep(a).ok());
    QVERIFY(store.keep(b).ok());
    QVERIFY(put(QStringLiteral("a.gcp"), kilo + "a2") == a && store.keep(a).ok());
    QCOMPARE(store.all().size(), 3); // 3006 bytes
    QVERIFY(put(QStringLiteral("b.gcp"), kilo + "b2") == b && store.keep(b).ok());
    QCOMPARE(contents(store.all()), QList<QByteArray>({kilo + "b2", kilo + "a2", kilo + "b1"}));
    store.setLimits(5, 2500);
    QVERIFY(put(QStringLiteral("a.gcp"), QByteArray(2000, 'y')) == a && store.keep(a).ok());
    QCOMPARE(contents(store.all()), QList<QByteArray>({QByteArray(2000, 'y')}));
    QCOMPARE(storeEntries().size(), 2);

    // Unchanged bytes make no new version; only the newest is compared.
    QVERIFY(store.keep(a).ok() && store.keep(a).path().isEmpty());
    QVERIFY(put(QStringLiteral("a.gcp"), "z") == a && !store.keep(a).path().isEmpty());
    QVERIFY(put(QStringLiteral("a.gcp"), QByteArray(2000, 'y')) == a);
    QVERIFY(!store.keep(a).path().isEmpty());
    QCOMPARE(store.versionsOf(a).size(), 2); // 4001 bytes over 2500: the oldest went
}

void TestBackupStore::sameNameInTwoFoldersKeptApart() {
    const QString one = put(QStringLiteral("甲/游园.gcp"), "one");
    const QString two = put(QStringLiteral("乙/游园.gcp"), "two");
    BackupStore store(storeDir());
    store.setLimits(2, BackupStore::defaultMaxTotalBytes);
    QVERIFY(store.keep(one).ok() && store.keep(two).ok());
    QVERIFY(put(QStringLiteral("甲/游园.gcp"), "one again") == one && store.keep(one).ok());
    QVERIFY(put(QStringLiteral("甲/游园.gcp"), "one more") == one && store.keep(one).ok());

    const QList<Version> ofOne = store.versionsOf(one);
    const QList<Version> ofTwo = store.versionsOf(two);
    QCOMPARE(contents(ofOne), QList<QByteArray>({"one more", "one again"}));
    QCOMPARE(contents(ofTwo), QList<QByteArray>({"two"}));
    QCOMPARE(ofTwo.first().originalPath, QFileInfo(two).canonicalFilePath());
    QCOMPARE(ofOne.first().originalName, ofTwo.first().originalName);
    QCOMPARE(store.all().size(), 3);
    QVERIFY(store.versionsOf(m_sources->filePath(QStringLiteral("游园.gcp"))).isEmpty());
}

void TestBackupStore::nothingToKeepAndFailures() {
    BackupStore store(storeDir());
    for (const QString &path : {m_sources->filePath(QStringLiteral("无.gcp")), QString(),
                                m_sources->path(), QStringLiteral("/dev/null")}) {
        const Outcome kept = store.keep(path);
        QVERIFY2(kept.ok() && kept.path().isEmpty(), qPrintable(path));
    }
    QVERIFY(!QFileInfo::exists(storeDir())); // not even the folder

    // A file over the total cap.
    const QString small = put(QStringLiteral("小.gcp"), "small");
    const QString big = put(QStringLiteral("大.gcp"), QByteArray(200, 'z'));
    store.setLimits(5, 100);
    QVERIFY(store.keep(small).ok());
    verifyFailure(store.keep(big));
    QCOMPARE(store.all().size(), 1);

    // A regular file where the folder should be, or on the way to it.
    QVERIFY(QDir(storeDir()).removeRecursively());
    QVERIFY(writeFile(storeDir(), QByteArray()));
    for (const QString &dir : {storeDir(), storeDir() + QStringLiteral("/inner")}) {
        verifyFailure(BackupStore(dir).keep(small));
        QVERIFY(BackupStore(dir).all().isEmpty());
    }
}

void TestBackupStore::hostileNamesStayInside() {
    QString lone = QStringLiteral("曲");
    lone.append(QChar(0xDC00));
    const QStringList names = {
        QStringLiteral("..\u2028"),
        QStringLiteral("..."),
        QStringLiteral(".gcp"),
        QStringLiteral("\u2028\u2029\t\r\n\u202e\u200b.gcp"),
        QStringLiteral("a\\b:c*d?e\"f<g>h|i..gcp"),
        QString(300, QLatin1Char('a')),
        QString::fromUcs4(U"\U0001F3B5").repeated(150) + QStringLiteral(".gcp"),
        lone + QStringLiteral(".gcp"),
    };
    const QDir store(storeDir());
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1765200000345, Qt::UTC);
    for (const QString &name : names) {
        const QString file = BackupStore::fileNameFor(QStringLiteral("/no/..\u2028/") + name, when);
        QVERIFY2(!file.contains('/') && !file.contains('\\') && !file.contains(".."),
                 qPrintable(file));
        QVERIFY2(!file.startsWith('.') && file.toUtf8().size() <= 200, qPrintable(file));
        QVERIFY2(QStringView(file).isValidUtf16(), qPrintable(file));
        for (const uint c : file.toUcs4()) {
            QVERIFY2(QChar::isPrint(c), qPrintable(file));
        }
        QCOMPARE(QFileInfo(QDir::cleanPath(store.filePath(file))).absolutePath(),
                 store.absolutePath());
    }
    QVERIFY(BackupStore::fileNameFor(QStringLiteral("/x/..\u2028"), when)
                .startsWith(QStringLiteral("_._ ")));

    // Real files with such names: their copies, and nothing else, are in the folder.
    BackupStore kept(storeDir());
    const QStringList real = {QStringLiteral("..\u2028"), QStringLiteral("\n.gcp"),
                              QStringLiteral(".hidden.gcp"), QString(80, QChar(0x957f))};
    for (const QString &name : real) {
        const QString path = put(QStringLiteral("..\u2028/") + name, name.toUtf8());
        QVERIFY(kept.keep(path).ok());
        QCOMPARE(kept.versionsOf(path).first().originalName, name);
        QCOMPARE(contents(kept.versionsOf(path)), QList<QByteArray>({name.toUtf8()}));
    }
    QCOMPARE(storeEntries().size(), 2 * real.size());
    for (const QString &entry : storeEntries()) {
        QVERIFY2(QFileInfo(store.filePath(entry)).isFile(), qPrintable(entry));
    }
}

void TestBackupStore::damagedOriginsAndForeignFiles() {
    const QString a = put(QStringLiteral("游园.gcp"), "a1");
    const QString b = put(QStringLiteral("惊梦.gcp"), "b1");
    BackupStore store(storeDir());
    QVERIFY(store.keep(a).ok() && store.keep(b).ok());
    for (const char *text : {"a2", "a3", "a4"}) {
        QVERIFY(put(QStringLiteral("游园.gcp"), text) == a && store.keep(a).ok());
    }
    const QList<Version> before = store.versionsOf(a);
    auto overwrite = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(bytes) == bytes.size();
    };
    // Origins garbled, gone, claiming another file, huge; foreign files.
    QVERIFY(overwrite(before.at(0).path + ".origin", "\xff\xfe garbage\n\n\n"));
    QVERIFY(QFile::remove(before.at(1).path + ".origin"));
    QVERIFY(overwrite(before.at(2).path + ".origin", "qorvel-backup 1\n17\n" + b.toUtf8()));
    QVERIFY(overwrite(before.at(3).path + ".origin",
                      "qorvel-backup 1\n17\n/" + QByteArray(100000, 'x')));
    const QDir d(storeDir());
    QVERIFY(overwrite(d.filePath(QStringLiteral("notes.txt")), "hello"));
    QVERIFY(overwrite(d.filePath(QStringLiteral("x [zzzzzzzz].gcp")), "foreign"));
    QVERIFY(d.mkpath(QStringLiteral("dir 2026-12-08 153012.345 [0123abcd].gcp")));

    const QList<Version> after = store.versionsOf(a);
    QCOMPARE(after.size(), 4);
    for (const Version &v : after) {
        QCOMPARE(v.originalPath, QFileInfo(a).canonicalFilePath());
        QVERIFY(v.time.isValid());
    }
    QCOMPARE(contents(store.versionsOf(b)), QList<QByteArray>({"b1"}));
    QCOMPARE(store.all().size(), 5);
    QVERIFY(put(QStringLiteral("游园.gcp"), "a5") == a && store.keep(a).ok());
    QVERIFY(put(QStringLiteral("游园.gcp"), "a6") == a && store.keep(a).ok());
    QCOMPARE(contents(store.versionsOf(a)), QList<QByteArray>({"a6", "a5", "a4", "a3", "a2"}));
    QVERIFY(d.exists(QStringLiteral("notes.txt")) && d.exists(QStringLiteral("x [zzzzzzzz].gcp")));

    // Random damage to a good origin never loses the version.
    const QString origin = store.versionsOf(a).first().path + ".origin";
    QFile file(origin);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    QRandomGenerator random(20261208);
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes = good;
        if (round % 2 == 0) {
            bytes[random.bounded(bytes.size())] = char(random.bounded(256));
        } else {
            bytes.truncate(random.bounded(bytes.size()));
        }
        QVERIFY(overwrite(origin, bytes));
        const QList<Version> versions = store.versionsOf(a);
        QCOMPARE(versions.size(), 5);
        QCOMPARE(versions.first().originalPath, QFileInfo(a).canonicalFilePath());
        QCOMPARE(store.all().size(), 6);
    }
}

QTEST_MAIN(TestBackupStore)
#include "tst_backupstore.moc"

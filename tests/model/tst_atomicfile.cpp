// Whole files or none: a name as long as the file system allows, a full
// disk, a file size limit; what is left behind after a failure; the message
// that names the cause.
#include "model/atomicfile.h"
#include "model/scorefile.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

class TestAtomicFile : public QObject {
    Q_OBJECT

private slots:
    void longestNamesSave_data();
    void longestNamesSave();
    void causesAreNamed_data();
    void causesAreNamed();
    void fullDiskSaysSo();
    void fileSizeLimitSaysSo();
    void missingFolderIsMade();
    void permissionsAreKept();
    void linkStaysALink();
};

namespace {

// A name of exactly `bytes` bytes of UTF-8 ending in ".gcp".
QString nameOfBytes(int bytes) {
    QString name;
    int used = 4;
    while (used + 3 <= bytes) {
        name += QChar(0x6625); // 春: three bytes
        used += 3;
    }
    name += QString(bytes - used, QLatin1Char('a'));
    return name + QStringLiteral(".gcp");
}

} // namespace

void TestAtomicFile::longestNamesSave_data() {
    QTest::addColumn<int>("bytes");
    QTest::newRow("249") << 249;
    QTest::newRow("252") << 252;
    QTest::newRow("255") << 255;
}

// The temporary file beside the score has a short name of its own, so a
// score whose name takes all 255 bytes saves, and saves again.
void TestAtomicFile::longestNamesSave() {
    QFETCH(int, bytes);
    QTemporaryDir dir;
    const QString name = nameOfBytes(bytes);
    QCOMPARE(name.toUtf8().size(), bytes);
    const QString path = dir.filePath(name);
    for (const QString &lyric : {QStringLiteral("原来"), QStringLiteral("良辰美景")}) {
        const Outcome saved = writeScoreFile(path, lyric, QStringLiteral("\n"));
        QVERIFY2(saved.ok(), qPrintable(saved.message()));
        QString readLyric, readScore;
        QVERIFY(readScoreFile(path, &readLyric, &readScore).ok());
        QCOMPARE(readLyric, lyric);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
}

void TestAtomicFile::causesAreNamed_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("full disk") << ENOSPC << QStringLiteral("磁盘空间不足。");
    QTest::newRow("quota") << EDQUOT << QStringLiteral("磁盘空间不足。");
    QTest::newRow("size limit") << EFBIG << QStringLiteral("文件超过了系统允许的大小。");
    QTest::newRow("permission") << EACCES << QStringLiteral("没有写入权限。");
    QTest::newRow("read-only") << EROFS << QStringLiteral("磁盘为只读。");
    QTest::newRow("long name") << ENAMETOOLONG << QStringLiteral("文件名过长。");
    QTest::newRow("not permitted") << EPERM << QStringLiteral("没有写入权限。");
    QTest::newRow("no folder") << ENOENT << QStringLiteral("文件夹不存在。");
    QTest::newRow("not a folder") << ENOTDIR << QStringLiteral("文件夹不存在。");
    QTest::newRow("a folder") << EISDIR << QStringLiteral("同名的文件夹已存在。");
    QTest::newRow("text busy") << ETXTBSY << QStringLiteral("文件正被使用。");
    QTest::newRow("busy") << EBUSY << QStringLiteral("文件正被使用。");
    QTest::newRow("other")
        << EIO << QStringLiteral("写入错误（%1）。").arg(QString::fromLocal8Bit(::strerror(EIO)));
}

void TestAtomicFile::causesAreNamed() {
    QFETCH(int, error);
    QFETCH(QString, message);
    QCOMPARE(AtomicFile::describe(error), message);
}

// A real full disk: a 64 KiB tmpfs. The old file stays, no temporary file is
// left, and the message says the disk is full.
void TestAtomicFile::fullDiskSaysSo() {
    QTemporaryDir dir;
    QProcess mount;
    mount.start(QStringLiteral("mount"),
                {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                 QStringLiteral("size=64k"), QStringLiteral("tmpfs"), dir.path()});
    if (!mount.waitForFinished(20000) || mount.exitCode() != 0) {
        QSKIP("cannot mount a small tmpfs here (needs root)");
    }
    const auto unmount =
        qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {dir.path()}); });
    const QString path = dir.filePath(QStringLiteral("游园.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("原来"), QStringLiteral("\n")).ok());
    const QByteArray before = readAll(path);

    const QString big(60000, QChar(0x6625));
    const Outcome outcome = writeScoreFile(path, big, QString(big.size() - 1, QLatin1Char('\n')));
    QVERIFY(!outcome.ok());
    QCOMPARE(outcome.message(), QStringLiteral("保存文件时发生错误：磁盘空间不足。"));
    QCOMPARE(readAll(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("游园.gcp")});

    AtomicFile file(dir.filePath(QStringLiteral("x.pdf")));
    QVERIFY(file.open());
    file.write(QByteArray(200000, 'x'));
    const Outcome streamed = file.commit();
    QCOMPARE(streamed.message(), QStringLiteral("无法写入“x.pdf”：磁盘空间不足。"));
}

// Past the file size limit a write fails with EFBIG (the signal ignored, as
// the program does), and is reported as such.
void TestAtomicFile::fileSizeLimitSaysSo() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.mid"));
    struct rlimit old {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome outcome = writeFileAtomically(path, QByteArray(100000, 'x'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!outcome.ok());
    QCOMPARE(outcome.message(), QStringLiteral("无法写入“big.mid”：文件超过了系统允许的大小。"));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestAtomicFile::missingFolderIsMade() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a/b/c.wav"));
    QVERIFY(writeFileAtomically(path, "RIFF").ok());
    QCOMPARE(readAll(path), QByteArray("RIFF"));
}

// Replacing a file keeps its mode; a new file gets the usual one.
void TestAtomicFile::permissionsAreKept() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mode.gcp"));
    QVERIFY(writeFileAtomically(path, "one").ok());
    QVERIFY(QFile::permissions(path) & QFile::ReadOther);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(writeFileAtomically(path, "two").ok());
    QCOMPARE(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther),
             QFile::Permissions());
    QCOMPARE(readAll(path), QByteArray("two"));
}

// A score opened through a link is saved into the file it points to.
void TestAtomicFile::linkStaysALink() {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("real.gcp"));
    const QString link = dir.filePath(QStringLiteral("link.gcp"));
    QVERIFY(writeFileAtomically(target, "one").ok());
    QVERIFY(QFile::link(target, link));
    QVERIFY(writeFileAtomically(link, "two").ok());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readAll(target), QByteArray("two"));
}

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"

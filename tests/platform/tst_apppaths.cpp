#include "platform/apppaths.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestAppPaths : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void besideTheExecutable();
    void overrideWritable();
    void overrideReadOnlyUsesPerUserLocations();
    void systemLocations_data();
    void systemLocations();
    void prefixInstall();
};

void TestAppPaths::initTestCase() {
    QCoreApplication::setApplicationName(QStringLiteral("qorvel"));
}

void TestAppPaths::cleanup() {
    AppPaths::setProgramDirOverride(QString());
}

void TestAppPaths::besideTheExecutable() {
    // The test runs from its own writable build directory.
    const QString exeDir = QCoreApplication::applicationDirPath();
    QCOMPARE(AppPaths::programDir(), exeDir);
    QVERIFY(AppPaths::usesProgramDir());
    QCOMPARE(AppPaths::settingsFile(), exeDir + "/settings.ini");
    QCOMPARE(AppPaths::dataDir(), exeDir);
    QCOMPARE(AppPaths::dataPath(QStringLiteral("wordsdict.csv")), exeDir + "/wordsdict.csv");
}

void TestAppPaths::overrideWritable() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppPaths::setProgramDirOverride(dir.path(), true);
    QCOMPARE(AppPaths::programDir(), dir.path());
    QVERIFY(AppPaths::usesProgramDir());
    QCOMPARE(AppPaths::settingsFile(), dir.path() + "/settings.ini");
    QCOMPARE(AppPaths::dataPath(QStringLiteral("fonts")), dir.path() + "/fonts");
    QCOMPARE(AppPaths::cacheDir(), dir.path() + "/cache");

    // Removing the override returns to the executable's directory.
    AppPaths::setProgramDirOverride(QString());
    QCOMPARE(AppPaths::programDir(), QCoreApplication::applicationDirPath());
}

void TestAppPaths::overrideReadOnlyUsesPerUserLocations() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    AppPaths::setProgramDirOverride(dir.path(), false);
    QVERIFY(!AppPaths::usesProgramDir());

    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY(!config.isEmpty() && !data.isEmpty());
    QCOMPARE(AppPaths::settingsFile(), config + "/settings.ini");
    QCOMPARE(AppPaths::dataDir(), data);
    QCOMPARE(AppPaths::dataPath(QStringLiteral("fonts")), data + "/fonts");
    QCOMPARE(AppPaths::cacheDir(), data + "/cache");
    // The per-user directories exist once asked for, so files can be written.
    QVERIFY(QDir(config).exists());
    QVERIFY(QDir(data).exists());
    QVERIFY(!AppPaths::settingsFile().startsWith(dir.path()));
    // The per-user locations follow the test's own XDG directories.
    QVERIFY(config.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
}

void TestAppPaths::systemLocations_data() {
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("system");
    QTest::newRow("/usr/bin") << "/usr/bin" << true;
    QTest::newRow("/usr/local/bin") << "/usr/local/bin" << true;
    QTest::newRow("/usr") << "/usr" << true;
    QTest::newRow("/usr/") << "/usr/" << true;
    QTest::newRow("/bin") << "/bin" << true;
    QTest::newRow("home") << "/home/user/qorvel" << false;
    QTest::newRow("/usrlocal") << "/usrlocal/bin" << false;
    QTest::newRow("escaping /usr") << "/usr/../home/user" << false;
    QTest::newRow("/opt") << "/opt/qorvel" << false;
}

void TestAppPaths::systemLocations() {
    QFETCH(QString, dir);
    QFETCH(bool, system);
    QCOMPARE(AppPaths::isSystemLocation(dir), system);
}

void TestAppPaths::prefixInstall() {
    // PREFIX/bin beside PREFIX/share/qorvel is an installed program, wherever
    // the prefix is; a "bin" without it, or another directory, is not.
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QDir root(prefix.path());
    QVERIFY(root.mkpath(QStringLiteral("bin")));
    QVERIFY(root.mkpath(QStringLiteral("tools")));
    QCOMPARE(AppPaths::installedDataDir(root.filePath(QStringLiteral("bin"))), QString());
    QVERIFY(root.mkpath(QStringLiteral("share/qorvel")));
    QCOMPARE(AppPaths::installedDataDir(root.filePath(QStringLiteral("bin"))),
             root.filePath(QStringLiteral("share/qorvel")));
    QCOMPARE(AppPaths::installedDataDir(root.filePath(QStringLiteral("bin/"))),
             root.filePath(QStringLiteral("share/qorvel")));
    QCOMPARE(AppPaths::installedDataDir(root.filePath(QStringLiteral("tools"))), QString());
    // The build tree is no prefix install.
    QCOMPARE(AppPaths::installedDataDir(), QString());
}

QTEST_MAIN(TestAppPaths)
#include "tst_apppaths.moc"

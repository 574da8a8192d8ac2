#include "shell/singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// A second launch hands its files to the running program over a local socket;
// the running program and the launch are two SingleInstance objects here. The
// launch blocks while it waits for the answer, so it runs on another thread
// while this one serves the running program's events.
class TestSingleInstance : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString socketPath(const QString &name) const { return m_dir.filePath(name); }

    // Hands files over from another thread; the result once it is done.
    static bool handOverFromLaunch(const QString &server, const QStringList &files) {
        QFuture<bool> launch = QtConcurrent::run([server, files] {
            SingleInstance second(server);
            return second.handOver(files);
        });
        // Waits for the launch to end (it ends by itself within its timeout).
        [&] { QTRY_VERIFY_WITH_TIMEOUT(launch.isFinished(), 30000); }();
        return launch.isFinished() && launch.result();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void perUserSocket() {
        const QString name = SingleInstance::defaultServerName();
        // The tests' runtime directory is their own (tests/CMakeLists.txt).
        QVERIFY2(name.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/')),
                 qPrintable(name));
    }

    void socketForEachDisplay_data() {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("name");
        QTest::newRow("none") << ""
                              << "qorvel-instance";
        QTest::newRow("X") << ":0"
                           << "qorvel-instance-_0";
        QTest::newRow("X screen") << ":1.0"
                                  << "qorvel-instance-_1.0";
        QTest::newRow("remote X") << "host/unix:10"
                                  << "qorvel-instance-host_unix_10";
        QTest::newRow("Wayland") << "wayland-0"
                                 << "qorvel-instance-wayland_0";
    }

    void socketForEachDisplay() {
        QFETCH(QString, display);
        QFETCH(QString, name);
        // A missing runtime directory is made, for the user alone.
        const QString runtime = socketPath(QStringLiteral("runtime/user"));
        QCOMPARE(SingleInstance::serverNameFor(runtime, display),
                 runtime + QLatin1Char('/') + name);
        QCOMPARE(QFile::permissions(runtime) & 0x0777, QFile::Permissions(0x0700));
        QCOMPARE(SingleInstance::serverNameFor(QString(), display),
                 QDir::temp().filePath(name + QStringLiteral("-%1").arg(::getuid())));
    }

    void nobodyListening() {
        SingleInstance launch(socketPath(QStringLiteral("none")));
        QVERIFY(!launch.handOver({QStringLiteral("a.gcp")}));
    }

    void filesReachTheRunningProgram() {
        SingleInstance running(socketPath(QStringLiteral("running")));
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::filesReceived);

        const QStringList files = {QStringLiteral("/scores/游园 皂罗袍.gcp"),
                                   QStringLiteral("relative.gcpbook")};
        QVERIFY(handOverFromLaunch(running.serverName(), files));
        QTRY_COMPARE(received.count(), 1);
        const QStringList expected = {
            QStringLiteral("/scores/游园 皂罗袍.gcp"),
            QDir::current().absoluteFilePath(QStringLiteral("relative.gcpbook"))};
        QCOMPARE(received.at(0).at(0).toStringList(), expected);

        // A launch without files only asks for the window.
        QVERIFY(handOverFromLaunch(running.serverName(), {}));
        QTRY_COMPARE(received.count(), 2);
        QCOMPARE(received.at(1).at(0).toStringList(), QStringList());
    }

    void oneListenerAtATime() {
        SingleInstance first(socketPath(QStringLiteral("first")));
        QVERIFY(first.listen());
        SingleInstance second(first.serverName());
        QVERIFY(!second.listen());
        QVERIFY(first.isListening());
    }

    void staleSocketIsReplaced() {
        // A socket left behind by a program that ended without closing it.
        const QString path = socketPath(QStringLiteral("stale"));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        QVERIFY(size_t(encoded.size()) < sizeof(address.sun_path));
        std::copy(encoded.begin(), encoded.end(), address.sun_path);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ::close(fd);
        QVERIFY(QFileInfo::exists(path));

        SingleInstance launch(path);
        QVERIFY(!launch.handOver({QStringLiteral("a.gcp")}));
        QVERIFY(launch.listen());
        QSignalSpy received(&launch, &SingleInstance::filesReceived);
        QVERIFY(handOverFromLaunch(path, {QStringLiteral("/b.gcp")}));
        QTRY_COMPARE(received.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

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

    void socketForEachDisplay() {
        // Two displays, two sockets; a missing runtime directory is made for
        // the user alone.
        const QString runtime = socketPath(QStringLiteral("runtime/user"));
        QCOMPARE(SingleInstance::serverNameFor(runtime, QStringLiteral("host/unix:10.0")),
                 runtime + QStringLiteral("/qorvel-instance-host_unix_10.0"));
        QCOMPARE(QFile::permissions(runtime) & 0x0777, QFile::Permissions(0x0700));
        QCOMPARE(SingleInstance::serverNameFor(QString(), QString()),
                 QDir::temp().filePath(QStringLiteral("qorvel-instance-%1").arg(::getuid())));
    }

    void filesReachTheRunningProgram() {
        SingleInstance running(socketPath(QStringLiteral("running")));
        QVERIFY(!running.handOver({QStringLiteral("a.gcp")})); // nobody listens yet
        QVERIFY(running.listen());
        QVERIFY(!SingleInstance(running.serverName()).listen()); // one listener at a time
        QSignalSpy received(&running, &SingleInstance::filesReceived);

        const QStringList files = {QStringLiteral("/scores/游园 皂罗袍.gcp"),
                                   QStringLiteral("relative.gcpbook")};
        QVERIFY(handOverFromLaunch(running.serverName(), files));
        QTRY_COMPARE(received.count(), 1);
        const QStringList expected = {
            files.first(), QDir::current().absoluteFilePath(QStringLiteral("relative.gcpbook"))};
        QCOMPARE(received.at(0).at(0).toStringList(), expected);

        // A launch without files only asks for the window.
        QVERIFY(handOverFromLaunch(running.serverName(), {}));
        QTRY_COMPARE(received.count(), 2);
        QCOMPARE(received.at(1).at(0).toStringList(), QStringList());
    }

    void staleSocketIsReplaced() {
        // A socket left behind by a program that was killed.
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

#include "online/updatemanager.h"
#include "platform/serviceconfig.h"
#include "promptscript.h"
#include "shell/updatenotice.h"
#include "testhttpserver.h"

#include <QSignalSpy>
#include <QtTest>

class TestUpdateManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void replies_data();
    void replies();
    void linkThatCannotOpen();
    void hostileReplies_data();
    void hostileReplies();
    void stalledConnectionKeepsTheLoopResponsive();

private:
    // What the check found, and what the window made of it.
    struct Outcome {
        QList<UpdateCheck> found;
        QList<Prompt::Request> prompts;
        QList<QUrl> opened;
        int quitRequests = 0;
        bool success = false;
    };
    Outcome runCheck(bool openSucceeds = true);

    TestHttpServer m_server;
};

void TestUpdateManager::initTestCase() {
    qputenv("QORVEL_API_BASE_URL", m_server.baseUrl().toUtf8());
    qputenv("QORVEL_WEB_BASE_URL", "https://site.example");
    QCOMPARE(ServiceConfig::instance()->apiBaseUrl, m_server.baseUrl());
}

TestUpdateManager::Outcome TestUpdateManager::runCheck(bool openSucceeds) {
    PromptScript prompts;
    Outcome outcome;
    UpdateManager manager;
    UpdateNotice::setUrlOpener([&](const QUrl &url) {
        outcome.opened.append(url);
        return openSucceeds;
    });
    // As the window does: what was found is told, and a demanded update
    // asks the window to close.
    connect(&manager, &UpdateManager::checked, this, [&](const UpdateCheck &found) {
        outcome.found.append(found);
        if (UpdateNotice::tell(found)) {
            ++outcome.quitRequests;
        }
    });
    QSignalSpy submitted(&manager, &UpdateManager::dataSubmitted);
    manager.check();
    [&] { QTRY_COMPARE_WITH_TIMEOUT(submitted.count(), 1, 20000); }();
    UpdateNotice::setUrlOpener({});
    outcome.success = submitted.value(0).value(0).toBool();
    outcome.prompts = prompts.shown();
    return outcome;
}

void TestUpdateManager::replies_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("prompted");
    QTest::addColumn<bool>("quits");
    QTest::newRow("same version") << QByteArray(R"({"version": "2.1"})") << false << false;
    QTest::newRow("newer") << QByteArray(R"({"version": "2.2"})") << true << false;
    QTest::newRow("forced") << QByteArray(R"({"version": "3", "force": true})") << true << true;
    QTest::newRow("2.10 is 2.1") << QByteArray(R"({"version": "2.10", "force": true})") << false
                                 << false;
    QTest::newRow("no version") << QByteArray(R"({"force": true})") << false << false;
    QTest::newRow("not json") << QByteArray("<html>maintenance</html>") << false << false;
    QTest::newRow("nul ends the text")
        << QByteArray("{\"version\": \"9\"}\0garbage", 24) << true << false;
}

void TestUpdateManager::replies() {
    QFETCH(QByteArray, body);
    QFETCH(bool, prompted);
    QFETCH(bool, quits);
    m_server.body("/update_check.json", body);
    const Outcome outcome = runCheck();
    QVERIFY(outcome.success);
    QCOMPARE(outcome.found.size(), 1);
    const UpdateCheck &found = outcome.found.at(0);
    QCOMPARE(found.kind, prompted ? UpdateCheck::Kind::NewerVersion : UpdateCheck::Kind::None);
    QCOMPARE(found.forced, quits);
    QCOMPARE(found.site, prompted ? QStringLiteral("https://site.example/") : QString());
    QCOMPARE(outcome.prompts.size(), prompted ? 1 : 0);
    if (prompted) {
        QCOMPARE(outcome.prompts.at(0).title, QStringLiteral("更新提示"));
        QCOMPARE(outcome.prompts.at(0).text, QStringLiteral("有新版本可用，请更新！"));
        QCOMPARE(outcome.prompts.at(0).parent, nullptr);
        QCOMPARE(outcome.opened, QList<QUrl>{QUrl(QStringLiteral("https://site.example/"))});
    }
    // A forced update asks the window to close the normal way, never quits by itself.
    QCOMPARE(outcome.quitRequests, quits ? 1 : 0);
    QVERIFY(m_server.requestHeaders().constLast().contains("application/x-www-form-urlencoded"));
    QCOMPARE(m_server.requests().constLast(), QByteArray("/update_check.json"));
}

void TestUpdateManager::linkThatCannotOpen() {
    m_server.body("/update_check.json", R"({"version": "2.2"})");
    const Outcome outcome = runCheck(false);
    QCOMPARE(outcome.found.size(), 1);
    QCOMPARE(outcome.found.at(0).kind, UpdateCheck::Kind::NewerVersion);
    QCOMPARE(outcome.found.at(0).version, QStringLiteral("2.2"));
    QCOMPARE(outcome.prompts.size(), 2);
    QCOMPARE(outcome.prompts.at(0).text, QStringLiteral("有新版本可用，请更新！"));
    QCOMPARE(outcome.prompts.at(1).title, QStringLiteral("更新提示"));
    QCOMPARE(outcome.prompts.at(1).parent, nullptr);
    QCOMPARE(outcome.prompts.at(1).text,
             QStringLiteral("无法打开下载链接，请到官网下载：https://site.example/！"));
}

void TestUpdateManager::hostileReplies_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("5 MB body") << int(TestHttpServer::Mode::Stream);
    QTest::newRow("server error") << -1;
}

void TestUpdateManager::hostileReplies() {
    QFETCH(int, mode);
    TestHttpServer::Route r;
    if (mode < 0) {
        r.status = 500;
        r.body = R"({"version": "9"})";
    } else {
        r.mode = TestHttpServer::Mode(mode);
        r.streamSize = 5 * 1024 * 1024;
    }
    m_server.route("/update_check.json", r);
    const Outcome outcome = runCheck();
    QVERIFY(!outcome.success);
    QCOMPARE(outcome.found.size(), 1);
    QCOMPARE(outcome.found.at(0).kind, UpdateCheck::Kind::Failed);
    QVERIFY(!outcome.found.at(0).error.isEmpty());
    QCOMPARE(outcome.quitRequests, 0);
    QVERIFY(outcome.prompts.isEmpty());
    QVERIFY(outcome.opened.isEmpty());
}

// A server that sends a few bytes and then nothing: the check waits in the
// background, the event loop goes on, and destroying the checker ends it.
void TestUpdateManager::stalledConnectionKeepsTheLoopResponsive() {
    TestHttpServer::Route r;
    r.mode = TestHttpServer::Mode::Stall;
    m_server.route("/update_check.json", r);
    const int before = m_server.requests().size();
    PromptScript prompts;
    auto *manager = new UpdateManager;
    QSignalSpy submitted(manager, &UpdateManager::dataSubmitted);
    QSignalSpy checked(manager, &UpdateManager::checked);
    manager->check();
    QTRY_COMPARE(m_server.requests().size(), before + 1);
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
    timer.start(1);
    QTRY_VERIFY(ticks >= 20);
    QCOMPARE(submitted.count(), 0);
    QCOMPARE(checked.count(), 0);
    delete manager;
    QCOMPARE(prompts.count(), 0);
}

QTEST_MAIN(TestUpdateManager)
#include "tst_updatemanager.moc"

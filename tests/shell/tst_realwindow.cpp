// Drives the real program in a real X window: Xvfb, the xcb platform, keys
// typed with xdotool, the real save dialog. Skipped, with a message, where
// Xvfb or xdotool cannot run.
#include "model/scorefile.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestRealWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void typeCommitAndSave();

private:
    QString xdotool(const QStringList &args, int timeoutMs = 20000);
    void key(const QString &keys);
    void type(const QString &text);
    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 20000);

    QTemporaryDir m_home;
    QProcess m_xvfb;
    QProcess m_program;
    QString m_display;
    QString m_window;
};

QString TestRealWindow::xdotool(const QStringList &args, int timeoutMs) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(timeoutMs);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void TestRealWindow::key(const QString &keys) {
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window});
    xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80"), keys});
}

void TestRealWindow::type(const QString &text) {
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window});
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("80"), text});
}

bool TestRealWindow::waitFor(const std::function<bool()> &condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(50);
    }
    return true;
}

void TestRealWindow::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        QSKIP("Xvfb or xdotool is not installed: the real-window test cannot run here");
    }
    // A free display number: the first without a socket or lock file.
    int n = 91;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
           QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
        ++n;
    }
    m_display = QStringLiteral(":%1").arg(n);
    m_xvfb.start(QStringLiteral("Xvfb"), {m_display, QStringLiteral("-screen"), QStringLiteral("0"),
                                          QStringLiteral("1280x800x24"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_xvfb.waitForStarted(10000) ||
        !waitFor([&] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); })) {
        QSKIP("Xvfb could not start: the real-window test cannot run here");
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("QORVEL_API_BASE_URL"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("QORVEL_PROGRAM_DIR"), m_home.filePath(QStringLiteral("program")));
    QDir().mkpath(m_home.filePath(QStringLiteral("program")));
    m_program.setProcessEnvironment(env);
    m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program.start(QStringLiteral(QORVEL_BINARY_DIR "/qorvel"), QStringList());
    QVERIFY(m_program.waitForStarted(10000));
    QVERIFY(waitFor([&] {
        m_window = xdotool({QStringLiteral("search"), QStringLiteral("--name"),
                            QStringLiteral("^Qorvel工尺谱$")})
                       .section(QLatin1Char('\n'), 0, 0);
        return !m_window.isEmpty();
    }));
    xdotool(
        {QStringLiteral("windowsize"), m_window, QStringLiteral("1000"), QStringLiteral("700")});
    xdotool({QStringLiteral("windowmove"), m_window, QStringLiteral("0"), QStringLiteral("0")});
}

void TestRealWindow::cleanupTestCase() {
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(5000);
    }
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        m_xvfb.waitForFinished(5000);
    }
}

void TestRealWindow::typeCommitAndSave() {
    key(QStringLiteral("ctrl+n"));
    QTest::qWait(300); // let the new tab take the keyboard focus
    type(QStringLiteral("春香"));

    // Into the score editor: the right half of the document tab.
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), m_window,
             QStringLiteral("750"), QStringLiteral("200"), QStringLiteral("click"),
             QStringLiteral("1")});
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Home")});
    type(QStringLiteral("gc"));
    key(QStringLiteral("space"));  // commits the highlighted 工尺
    key(QStringLiteral("Return")); // on to the next score line
    type(QStringLiteral("tb"));
    key(QStringLiteral("1")); // commits candidate 1, 头板
    // Escape cancels an abbreviation; it must not reach the window's Esc (exit).
    type(QStringLiteral("gc"));
    key(QStringLiteral("Escape"));
    QTest::qWait(300);
    QCOMPARE(m_program.state(), QProcess::Running);

    const QString path = m_home.filePath(QStringLiteral("saved.gcp"));
    key(QStringLiteral("ctrl+s"));
    QString dialog;
    QVERIFY(waitFor([&] {
        dialog = xdotool({QStringLiteral("search"), QStringLiteral("--name"),
                          QStringLiteral("选择文件")})
                     .section(QLatin1Char('\n'), 0, 0);
        return !dialog.isEmpty();
    }));
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), dialog});
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("80"), path});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    QVERIFY(waitFor([&] { return QFileInfo(path).size() > 0; }));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString lyric, score;
    decodeScoreFile(file.readAll(), &lyric, &score);
    QCOMPARE(lyric, QStringLiteral("春香"));
    QCOMPARE(score, QString::fromUcs4(U"\U000F002C\U000F002B\n\U000F0000"));

    QProcess shot;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    shot.setProcessEnvironment(env);
    shot.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                          QStringLiteral("realwindow.png")});
    shot.waitForFinished(20000);
}

QTEST_MAIN(TestRealWindow)
#include "tst_realwindow.moc"

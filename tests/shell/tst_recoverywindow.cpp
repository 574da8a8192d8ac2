// Crash recovery of the real program in a real X window: type into two
// documents, kill the process with SIGKILL once their recovery files are
// written, start it again, accept the recovery dialog and save both restored
// documents through the real dialogs. Then kill it at random moments while it
// writes, and check that no recovery file is ever left half-written. Skipped,
// with a message, where Xvfb or xdotool cannot run.
#include "model/scorefile.h"
#include "shell/recoverystore.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestRecoveryWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void killedProgramLosesNothing();
    void killedWhileWritingLeavesNoHalfFile();

private:
    QString xdotool(const QStringList &args, int timeoutMs = 20000);
    void key(const QString &window, const QString &keys);
    void type(const QString &window, const QString &text);
    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 20000);
    QString findWindow(const QString &title);
    // Starts the program on programDir with args; returns its main window.
    QString start(const QString &programDir, const QStringList &args, int intervalMs = 200);
    void kill();
    void screenshot(const QString &file);
    static QList<RecoveryStore::Entry> recoveryEntries(const QString &programDir,
                                                       QStringList *names = nullptr);

    QTemporaryDir m_home;
    QProcess m_xvfb;
    QProcess m_program;
    QString m_display;
};

QString TestRecoveryWindow::xdotool(const QStringList &args, int timeoutMs) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(timeoutMs);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void TestRecoveryWindow::key(const QString &window, const QString &keys) {
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80"), keys});
}

void TestRecoveryWindow::type(const QString &window, const QString &text) {
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("80"), text});
}

bool TestRecoveryWindow::waitFor(const std::function<bool()> &condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

QString TestRecoveryWindow::findWindow(const QString &title) {
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)})
        .section(QLatin1Char('\n'), 0, 0);
}

QString TestRecoveryWindow::start(const QString &programDir, const QStringList &args,
                                  int intervalMs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("QORVEL_API_BASE_URL"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("QORVEL_PROGRAM_DIR"), programDir);
    env.insert(QStringLiteral("QORVEL_AUTOSAVE_INTERVAL_MS"), QString::number(intervalMs));
    QDir().mkpath(programDir);
    m_program.setProcessEnvironment(env);
    m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program.start(QStringLiteral(QORVEL_BINARY_DIR "/qorvel"), args);
    if (!m_program.waitForStarted(10000)) {
        return QString();
    }
    QString window;
    waitFor([&] {
        window = findWindow(QStringLiteral("Qorvel工尺谱"));
        return !window.isEmpty();
    });
    return window;
}

void TestRecoveryWindow::kill() {
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill(); // SIGKILL: no clean-up of any kind
        m_program.waitForFinished(10000);
    }
}

void TestRecoveryWindow::screenshot(const QString &file) {
    QProcess shot;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    shot.setProcessEnvironment(env);
    shot.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    shot.waitForFinished(20000);
}

QList<RecoveryStore::Entry> TestRecoveryWindow::recoveryEntries(const QString &programDir,
                                                                QStringList *names) {
    QList<RecoveryStore::Entry> entries;
    const QDir dir(programDir + QStringLiteral("/cache/recovery"));
    const QStringList files = dir.entryList({QStringLiteral("*.qrec")}, QDir::Files, QDir::Name);
    for (const QString &name : files) {
        entries.append(RecoveryStore::read(dir.filePath(name)));
    }
    if (names) {
        *names = files;
    }
    return entries;
}

void TestRecoveryWindow::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        QSKIP("Xvfb or xdotool is not installed: the crash-recovery window test cannot run here");
    }
    int n = 71;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
           QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
        ++n;
    }
    m_display = QStringLiteral(":%1").arg(n);
    m_xvfb.start(QStringLiteral("Xvfb"),
                 {m_display, QStringLiteral("-screen"), QStringLiteral("0"),
                  QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                  // no reset when the killed program was the last client
                  QStringLiteral("-noreset")});
    if (!m_xvfb.waitForStarted(10000) ||
        !waitFor([&] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); })) {
        QSKIP("Xvfb could not start: the crash-recovery window test cannot run here");
    }
}

void TestRecoveryWindow::cleanupTestCase() {
    kill();
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        m_xvfb.waitForFinished(5000);
    }
}

void TestRecoveryWindow::killedProgramLosesNothing() {
    const QString programDir = m_home.filePath(QStringLiteral("program"));
    const QString sample = m_home.filePath(QStringLiteral("youyuan-zaoluopao.gcp"));
    QVERIFY(
        QFile::copy(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"), sample));
    QString sampleLyric, sampleScore;
    QVERIFY(readScoreFile(sample, &sampleLyric, &sampleScore));

    // 1. The sample, opened from the command line, and a new document.
    QString window = start(programDir, {sample});
    QVERIFY(!window.isEmpty());
    xdotool({QStringLiteral("windowsize"), window, QStringLiteral("1000"), QStringLiteral("700")});
    xdotool({QStringLiteral("windowmove"), window, QStringLiteral("0"), QStringLiteral("0")});
    QTest::qWait(300); // let the opened tab take the keyboard focus
    key(window, QStringLiteral("ctrl+End"));
    key(window, QStringLiteral("Return"));
    type(window, QStringLiteral("春香"));

    key(window, QStringLiteral("ctrl+n"));
    QTest::qWait(300);
    type(window, QStringLiteral("春香"));
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("750"),
             QStringLiteral("200"), QStringLiteral("click"), QStringLiteral("1")});
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Home")});
    type(window, QStringLiteral("gc"));
    key(window, QStringLiteral("space"));
    key(window, QStringLiteral("Return"));
    type(window, QStringLiteral("tb"));
    key(window, QStringLiteral("1"));

    // 2. Past the interval: both recovery files hold the latest texts.
    const QString newLyric = QStringLiteral("春香");
    const QString newScore = QString::fromUcs4(U"\U000F002C\U000F002B\n\U000F0000");
    const QString typedSample = sampleLyric + QStringLiteral("\n春香");
    RecoveryStore::Entry sampleEntry;
    QVERIFY2(waitFor([&] {
                 const auto entries = recoveryEntries(programDir);
                 if (entries.size() != 2) {
                     return false;
                 }
                 bool untitledDone = false;
                 bool sampleDone = false;
                 for (const auto &e : entries) {
                     untitledDone |= e.filePath == QStringLiteral("未命名") &&
                                     e.lyric == newLyric && e.score == newScore;
                     if (e.filePath == sample && e.lyric == typedSample) {
                         sampleDone = true;
                         sampleEntry = e;
                     }
                 }
                 return untitledDone && sampleDone;
             }),
             "the recovery files never held what was typed");
    // Two sung characters more: two score lines more, the rest as it was.
    QVERIFY(sampleEntry.score.startsWith(sampleScore.left(sampleScore.size() - 1)));
    QCOMPARE(sampleEntry.score.count(QLatin1Char('\n')), sampleScore.count(QLatin1Char('\n')) + 2);

    // 3. Killed.
    kill();
    QStringList names;
    QCOMPARE(recoveryEntries(programDir, &names).size(), 2);

    // 4. Started again: the dialog offers both; Return accepts (restore all).
    window = start(programDir, {});
    QVERIFY(!window.isEmpty());
    QString dialog;
    QVERIFY(waitFor([&] {
        dialog = findWindow(QStringLiteral("恢复文档"));
        return !dialog.isEmpty();
    }));
    QTest::qWait(300); // painted, for the screenshot
    screenshot(QStringLiteral("recoverydialog.png"));
    key(dialog, QStringLiteral("Return"));
    QVERIFY(waitFor([&] { return findWindow(QStringLiteral("恢复文档")).isEmpty(); }));

    // The restored tabs are this program's now: their recovery files, written
    // from the editors at once, hold exactly the texts of before.
    QVERIFY(waitFor([&] {
        QStringList now;
        const auto entries = recoveryEntries(programDir, &now);
        if (entries.size() != 2 || now == names) {
            return false;
        }
        int same = 0;
        for (const auto &e : entries) {
            same +=
                (e.filePath == QStringLiteral("未命名") && e.lyric == newLyric &&
                 e.score == newScore) ||
                (e.filePath == sample && e.lyric == typedSample && e.score == sampleEntry.score);
        }
        return same == 2 && !now.contains(names.first()) && !now.contains(names.last());
    }));
    // Nothing was written to the score file by itself.
    QString lyric, score;
    QVERIFY(readScoreFile(sample, &lyric, &score));
    QCOMPARE(lyric, sampleLyric);

    // 5. Exit and save each restored document through the real dialogs.
    const QString untitledPath = m_home.filePath(QStringLiteral("restored.gcp"));
    key(window, QStringLiteral("Escape"));
    int answered = 0;
    QVERIFY2(waitFor(
                 [&] {
                     if (m_program.state() == QProcess::NotRunning) {
                         return true;
                     }
                     QString w = findWindow(QStringLiteral("选择文件"));
                     if (!w.isEmpty()) {
                         xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), w});
                         xdotool({QStringLiteral("type"), QStringLiteral("--delay"),
                                  QStringLiteral("50"), untitledPath});
                         xdotool({QStringLiteral("key"), QStringLiteral("Return")});
                         waitFor([&] { return findWindow(QStringLiteral("选择文件")).isEmpty(); });
                         ++answered;
                         return false;
                     }
                     for (const QString &title : {QStringLiteral("警告"), QStringLiteral("提示")}) {
                         w = findWindow(title);
                         if (!w.isEmpty()) {
                             key(w, QStringLiteral("Return")); // Yes (save); Ok
                             waitFor([&] { return findWindow(title) != w; }, 5000);
                             ++answered;
                             return false;
                         }
                     }
                     return false;
                 },
                 60000),
             "the program did not exit");
    QCOMPARE(answered, 5); // two questions, one save dialog, two confirmations

    QVERIFY(readScoreFile(sample, &lyric, &score));
    QCOMPARE(lyric, typedSample);
    QCOMPARE(score, sampleEntry.score);
    QVERIFY(readScoreFile(untitledPath, &lyric, &score));
    QCOMPARE(lyric, newLyric);
    QCOMPARE(score, newScore);
    // A normal exit leaves nothing behind.
    QVERIFY(recoveryEntries(programDir).isEmpty());
    QVERIFY(QDir(programDir + QStringLiteral("/cache/recovery"))
                .entryList({QStringLiteral("*.lock")}, QDir::Files)
                .isEmpty());
}

void TestRecoveryWindow::killedWhileWritingLeavesNoHalfFile() {
    // A document of 20,000 sung characters, so that each write takes a while.
    QString lyric, score;
    for (int i = 0; i < 2500; ++i) {
        lyric += QStringLiteral("原来姹紫嫣红开遍，\n");
    }
    for (int i = 0; i < 20000; ++i) {
        score += QString::fromUcs4(U"\U000F002C\U000F0000\n");
    }
    lyric.chop(1);
    const QString big = m_home.filePath(QStringLiteral("big.gcp"));
    QVERIFY(writeScoreFile(big, lyric, score));

    QRandomGenerator random(20240305);
    int cutShort = 0;
    int files = 0;
    int versions = 0;
    for (int round = 0; round < 30; ++round) {
        const QString programDir = m_home.filePath(QStringLiteral("kill%1").arg(round));
        const QString recoveryDir = programDir + QStringLiteral("/cache/recovery");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // A tiny interval: a write after nearly every key.
        const QString window = start(programDir, {big}, 1);
        QVERIFY(!window.isEmpty());
        QTest::qWait(200);
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        QProcess typing;
        env.insert(QStringLiteral("DISPLAY"), m_display);
        typing.setProcessEnvironment(env);
        typing.start(QStringLiteral("xdotool"),
                     {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"),
                      QStringLiteral("abcdefghijklmnopqrstuvwxyz").repeated(4)});
        QVERIFY(waitFor([&] {
            return !QDir(recoveryDir).entryList({QStringLiteral("*.qrec")}, QDir::Files).isEmpty();
        }));
        // The moment of the kill, not a synchronisation. Meanwhile count the
        // versions of the file that appear, to show that writes go on.
        const int killAfter = random.bounded(400);
        QElapsedTimer waited;
        waited.start();
        QSet<qint64> sizes;
        while (waited.elapsed() < killAfter) {
            for (const QFileInfo &f :
                 QDir(recoveryDir).entryInfoList({QStringLiteral("*.qrec")}, QDir::Files)) {
                sizes.insert(f.size());
            }
            QTest::qWait(2);
        }
        versions += sizes.size();
        kill();
        typing.kill();
        typing.waitForFinished(5000);

        const QStringList all = QDir(recoveryDir).entryList(QDir::Files);
        for (const QString &name : all) {
            if (name.endsWith(QLatin1String(".qrec"))) {
                const RecoveryStore::Entry e =
                    RecoveryStore::read(recoveryDir + QLatin1Char('/') + name);
                QVERIFY2(!e.damaged, qPrintable(name + QStringLiteral(": ") + e.problem));
                QVERIFY(e.lyric.endsWith(lyric.right(100)));
                QCOMPARE(e.filePath, big);
                ++files;
            } else if (name.contains(QLatin1String(".qrec."))) {
                ++cutShort; // a write's temporary file: the kill came mid-write
            }
        }
    }
    qInfo("30 kills: %d recovery files, all whole; %d versions seen before the kills; "
          "%d writes cut short between their link and rename",
          files, versions, cutShort);
}

QTEST_MAIN(TestRecoveryWindow)
#include "tst_recoverywindow.moc"

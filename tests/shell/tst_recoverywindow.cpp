// Crash recovery of the real program in a real X window: type into two
// documents, kill the process with SIGKILL once their recovery files are
// written, start it again, accept the recovery dialog and save both restored
// documents through the real dialogs. Then kill it at random moments while it
// writes, and check that no recovery file is ever left half-written. Skipped,
// with a message, where Xvfb or xdotool cannot run.
#include "model/recoverystore.h"
#include "model/scorefile.h"
#include "xsession.h"

#include <QDir>
#include <QRandomGenerator>
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
    // Starts the program on programDir with args, writing recovery files
    // every intervalMs; returns its main window.
    QString start(const QString &programDir, const QStringList &args, int intervalMs = 200);
    static QList<RecoveryStore::Entry> recoveryEntries(const QString &programDir,
                                                       QStringList *names = nullptr);

    QTemporaryDir m_home;
    XSession m_x;
};

QString TestRecoveryWindow::start(const QString &programDir, const QStringList &args,
                                  int intervalMs) {
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("QORVEL_AUTOSAVE_INTERVAL_MS"), QString::number(intervalMs));
    return m_x.startProgram(m_home.path(), programDir, args, extra);
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
    QORVEL_START_X_OR_SKIP(m_x, 71);
}

void TestRecoveryWindow::cleanupTestCase() {
    m_x.stop();
}

void TestRecoveryWindow::killedProgramLosesNothing() {
    const QString programDir = m_home.filePath(QStringLiteral("program"));
    const QString sample = m_home.filePath(QStringLiteral("youyuan-zaoluopao.gcp"));
    QVERIFY(copySample(sample));
    QString sampleLyric, sampleScore;
    QVERIFY(readScoreFile(sample, &sampleLyric, &sampleScore));

    // 1. The sample, opened from the command line, and a new document.
    QString window = start(programDir, {sample});
    QVERIFY(!window.isEmpty());
    QTest::qWait(300); // let the opened tab take the keyboard focus
    m_x.key(window, QStringLiteral("ctrl+End"));
    m_x.key(window, QStringLiteral("Return"));
    m_x.type(window, QStringLiteral("春香"));

    m_x.key(window, QStringLiteral("ctrl+n"));
    QTest::qWait(300);
    m_x.type(window, QStringLiteral("春香"));
    m_x.click(window, 500, 200); // the score editor, left of the preview pane
    m_x.key(window, QStringLiteral("ctrl+Home"));
    m_x.type(window, QStringLiteral("gc"));
    m_x.key(window, QStringLiteral("space"));
    m_x.key(window, QStringLiteral("Return"));
    m_x.type(window, QStringLiteral("tb"));
    m_x.key(window, QStringLiteral("1"));

    // 2. Past the interval: both recovery files hold the latest texts.
    const QString newLyric = QStringLiteral("春香");
    const QString newScore = QString::fromUcs4(U"\U000F002C\U000F002B\n\U000F0000");
    const QString typedSample = sampleLyric + QStringLiteral("\n春香");
    RecoveryStore::Entry sampleEntry;
    QVERIFY2(waitUntil([&] {
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
    m_x.stopProgram();
    QStringList names;
    QCOMPARE(recoveryEntries(programDir, &names).size(), 2);

    // 4. Started again: the dialog offers both; Return accepts (restore all).
    window = start(programDir, {});
    QVERIFY(!window.isEmpty());
    QString dialog;
    QVERIFY(waitUntil([&] {
        dialog = m_x.findWindow(QStringLiteral("恢复文档"));
        return !dialog.isEmpty();
    }));
    QTest::qWait(300); // painted, for the screenshot
    m_x.screenshot(QStringLiteral("recoverydialog.png"));
    m_x.key(dialog, QStringLiteral("Return"));
    QVERIFY(waitUntil([&] { return m_x.findWindow(QStringLiteral("恢复文档")).isEmpty(); }));

    // The restored tabs are this program's now: their recovery files, written
    // from the editors at once, hold exactly the texts of before.
    QVERIFY(waitUntil([&] {
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
    m_x.key(window, QStringLiteral("ctrl+q"));
    int answered = 0;
    QVERIFY2(waitUntil(
                 [&] {
                     if (m_x.program().state() == QProcess::NotRunning) {
                         return true;
                     }
                     QString w = m_x.findWindow(QStringLiteral("保存"));
                     if (!w.isEmpty()) {
                         m_x.type(w, untitledPath, 50);
                         m_x.key(w, QStringLiteral("Return"));
                         waitUntil(
                             [&] { return m_x.findWindow(QStringLiteral("保存")).isEmpty(); });
                         ++answered;
                         return false;
                     }
                     for (const QString &title : {QStringLiteral("警告"), QStringLiteral("提示")}) {
                         w = m_x.findWindow(title);
                         if (!w.isEmpty()) {
                             m_x.key(w, QStringLiteral("Return")); // Yes (save); Ok
                             waitUntil([&] { return m_x.findWindow(title) != w; }, 5000);
                             ++answered;
                             return false;
                         }
                     }
                     return false;
                 },
                 60000),
             "the program did not exit");
    QCOMPARE(answered, 3); // two questions, one save dialog; success is said quietly

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
        // A tiny interval: a write after nearly every key.
        const QString window = start(programDir, {big}, 1);
        QVERIFY(!window.isEmpty());
        QTest::qWait(200);
        m_x.focus(window);
        // Typed in the background, while this test watches the files.
        QProcess typing;
        typing.setProcessEnvironment(m_x.environment());
        typing.start(QStringLiteral("xdotool"),
                     {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"),
                      QStringLiteral("abcdefghijklmnopqrstuvwxyz").repeated(4)});
        // A slow machine may still be opening the document when the typing
        // starts, and keys sent before the editor has the focus go nowhere:
        // focus again and add a key every few seconds until a write shows.
        QElapsedTimer sinceKey;
        sinceKey.start();
        QVERIFY(waitUntil(
            [&] {
                if (!QDir(recoveryDir)
                         .entryList({QStringLiteral("*.qrec")}, QDir::Files)
                         .isEmpty()) {
                    return true;
                }
                if (sinceKey.elapsed() > 3000) {
                    m_x.focus(window);
                    m_x.key(window, QStringLiteral("z"));
                    sinceKey.restart();
                }
                return false;
            },
            90000));
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
        m_x.stopProgram();
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

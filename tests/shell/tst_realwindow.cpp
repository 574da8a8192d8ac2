// Drives the real program in a real X window: Xvfb, the xcb platform, keys
// typed with xdotool, the real save dialog. Skipped, with a message, where
// Xvfb or xdotool cannot run.
#include "model/backupstore.h"
#include "model/scorefile.h"
#include "xsession.h"

#include <QTemporaryDir>
#include <QtTest>

class TestRealWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void typeCommitAndSave();
    void fileChangedOnDiskIsReloaded();
    void escapeStaysCtrlWCloses();

private:
    QTemporaryDir m_home;
    XSession m_x;
    QString m_window;
};

void TestRealWindow::initTestCase() {
    QORVEL_START_X_OR_SKIP(m_x, 91);
    m_window = m_x.startProgram(m_home.path(), m_home.filePath(QStringLiteral("program")), {});
    QVERIFY(!m_window.isEmpty());
}

void TestRealWindow::cleanupTestCase() {
    m_x.stop();
}

void TestRealWindow::typeCommitAndSave() {
    m_x.key(m_window, QStringLiteral("ctrl+n"));
    QTest::qWait(300); // let the new tab take the keyboard focus
    m_x.type(m_window, QStringLiteral("春香"));

    // Into the score editor: the right half of the document tab, left of the
    // preview pane.
    m_x.click(m_window, 500, 200);
    m_x.key(m_window, QStringLiteral("ctrl+Home"));
    m_x.type(m_window, QStringLiteral("gc"));
    m_x.key(m_window, QStringLiteral("space"));  // commits the highlighted 工尺
    m_x.key(m_window, QStringLiteral("Return")); // on to the next score line
    m_x.type(m_window, QStringLiteral("tb"));
    m_x.key(m_window, QStringLiteral("1")); // commits candidate 1, 头板
    // Escape cancels an abbreviation; it must not reach the window's Esc (exit).
    m_x.type(m_window, QStringLiteral("gc"));
    m_x.key(m_window, QStringLiteral("Escape"));
    QTest::qWait(300);
    QCOMPARE(m_x.program().state(), QProcess::Running);

    const QString path = m_home.filePath(QStringLiteral("saved.gcp"));
    m_x.key(m_window, QStringLiteral("ctrl+s"));
    QString dialog;
    QVERIFY(waitUntil([&] {
        dialog = m_x.findWindow(QStringLiteral("保存"));
        return !dialog.isEmpty();
    }));
    m_x.type(dialog, path);
    m_x.key(dialog, QStringLiteral("Return"));
    QVERIFY(waitUntil([&] { return QFileInfo(path).size() > 0; }));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString lyric, score;
    decodeScoreFile(file.readAll(), &lyric, &score);
    QCOMPARE(lyric, QStringLiteral("春香"));
    QCOMPARE(score, QString::fromUcs4(U"\U000F002C\U000F002B\n\U000F0000"));

    m_x.screenshot(QStringLiteral("realwindow.png"));
}

// Another program changes the open file: the window offers to reload it, and
// Return (the default, 是) brings the new text in.
void TestRealWindow::fileChangedOnDiskIsReloaded() {
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("游园.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("原来"), QStringLiteral("\n")));
    m_window = m_x.startProgram(home.path(), home.filePath(QStringLiteral("program")), {path});
    QVERIFY(!m_window.isEmpty());
    QTest::qWait(300); // let the tab take the keyboard focus

    QVERIFY(writeScoreFile(path, QStringLiteral("良辰"), QStringLiteral("\n")));
    QString box;
    QVERIFY(waitUntil([&] {
        box = m_x.findWindow(QStringLiteral("文件已更改"));
        return !box.isEmpty();
    }));
    m_x.screenshot(QStringLiteral("realwindow-changed.png"));
    m_x.key(box, QStringLiteral("Return"));
    QVERIFY(waitUntil([&] { return m_x.findWindow(QStringLiteral("文件已更改")).isEmpty(); }));

    // The text the reload replaced is kept where 恢复早期版本… looks.
    const BackupStore store(home.path() + QStringLiteral("/data/qorvel/backups"));
    QList<BackupStore::Version> versions;
    QVERIFY(waitUntil([&] {
        versions = store.versionsOf(path);
        return !versions.isEmpty();
    }));
    QString kept, keptScore;
    QVERIFY(store.read(versions.first(), &kept, &keptScore));
    QCOMPARE(kept, QStringLiteral("原来"));

    // Typed after the reload and saved: the file holds the new text and the typing.
    m_x.click(m_window, 200, 200);
    m_x.key(m_window, QStringLiteral("ctrl+End"));
    m_x.type(m_window, QStringLiteral("美"));
    m_x.key(m_window, QStringLiteral("ctrl+s"));
    QString lyric, score;
    QVERIFY(waitUntil([&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) &&
               decodeScoreFile(file.readAll(), &lyric, &score) == ScoreFileDamage::None &&
               lyric == QStringLiteral("良辰美");
    }));
    QCOMPARE(score, QStringLiteral("\n\n"));
    QCOMPARE(m_x.program().state(), QProcess::Running);
}

// The title names the file; Esc does not quit; Ctrl+W closes the document.
void TestRealWindow::escapeStaysCtrlWCloses() {
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("牡丹亭.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("原来"), QStringLiteral("\n")));
    m_window = m_x.startProgram(home.path(), home.filePath(QStringLiteral("program")), {path});
    QVERIFY(!m_window.isEmpty());
    const auto title = [this] {
        return m_x.xdotool({QStringLiteral("getwindowname"), m_window}).trimmed();
    };
    QVERIFY(waitUntil([&] { return title() == QStringLiteral("牡丹亭.gcp — Qorvel工尺谱"); }));
    m_x.click(m_window, 200, 200);
    m_x.key(m_window, QStringLiteral("Escape"));
    m_x.key(m_window, QStringLiteral("Escape"));
    m_x.screenshot(QStringLiteral("realwindow-title.png"));
    QVERIFY(m_x.findWindow(QStringLiteral("警告")).isEmpty());
    QCOMPARE(m_x.program().state(), QProcess::Running);
    QCOMPARE(title(), QStringLiteral("牡丹亭.gcp — Qorvel工尺谱"));
    m_x.key(m_window, QStringLiteral("ctrl+w"));
    QVERIFY(waitUntil([&] { return title() == QStringLiteral("Qorvel工尺谱"); }));
    QCOMPARE(m_x.program().state(), QProcess::Running);
}

QTEST_MAIN(TestRealWindow)
#include "tst_realwindow.moc"

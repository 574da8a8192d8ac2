// Keys in the real program, in a real X window (Xvfb, xcb, xdotool): Alt+F
// opens the 文件 menu and types nothing; Ctrl+F5 loops the selection at once
// and a second Ctrl+F5 stops it. Skipped, with a message, where Xvfb or
// xdotool cannot run.
#include "xsession.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

class TestKeysWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void altFOpensTheMenuWithoutTyping();
    void ctrlF5LoopsTheSelection();

private:
    // The visible windows the program shows besides its main window (menus).
    int popups() const;
    // The score editor's part of the screen: it shows the sounding
    // character's score line while playing, and no caret (the lyric editor
    // has the focus).
    QImage scorePane(const QString &name);

    QTemporaryDir m_home;
    XSession m_x;
    QString m_window;
    int m_windows = 0; // visible windows with the main window alone
    const QString m_title = QStringLiteral("sample.gcp — Qorvel工尺谱");
};

void TestKeysWindow::initTestCase() {
    QORVEL_START_X_OR_SKIP(m_x, 81);
    const QString sample = m_home.filePath(QStringLiteral("sample.gcp"));
    QVERIFY(copySample(sample));
    QFile::setPermissions(sample, QFile::ReadOwner | QFile::WriteOwner);
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("QORVEL_AUDIO_OUTPUT"), QStringLiteral("silent"));
    m_window = m_x.startProgram(m_home.path(), m_home.filePath(QStringLiteral("program")), {sample},
                                extra);
    QVERIFY(!m_window.isEmpty());
    QVERIFY(waitUntil([&] { return !m_x.findWindow(m_title).isEmpty(); }));
    m_windows = popups();
}

void TestKeysWindow::cleanupTestCase() {
    m_x.stop();
}

int TestKeysWindow::popups() const {
    const QStringList windows =
        m_x.xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), QString()})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return windows.size() - m_windows;
}

QImage TestKeysWindow::scorePane(const QString &name) {
    m_x.screenshot(name);
    QImage shot(name);
    // The window is at the top left, 1000 × 700, the score editor right of
    // the lyric editor and left of the preview pane; its first lines.
    return shot.copy(QRect(350, 165, 290, 200));
}

void TestKeysWindow::altFOpensTheMenuWithoutTyping() {
    m_x.click(m_window, 100, 250); // into the lyric editor
    m_x.focus(m_window);
    QCOMPARE(popups(), 0);
    m_x.key(m_window, QStringLiteral("alt+f"));
    const bool opened = waitUntil([&] { return popups() == 1; });
    m_x.screenshot(QStringLiteral("keys-menu.png"));
    QVERIFY(opened);
    m_x.key(m_window, QStringLiteral("Escape"));
    QVERIFY(waitUntil([&] { return popups() == 0; }));
    // No "f" reached the text: the document is unmodified. A plain key does
    // reach it, so the focus was in the editor all along.
    QVERIFY(!m_x.findWindow(m_title).isEmpty());
    m_x.key(m_window, QStringLiteral("x"));
    QVERIFY(waitUntil(
        [&] { return !m_x.findWindow(QStringLiteral("sample.gcp* — Qorvel工尺谱")).isEmpty(); }));
    m_x.key(m_window, QStringLiteral("ctrl+z"));
    QVERIFY(waitUntil([&] { return !m_x.findWindow(m_title).isEmpty(); }));
}

// The first two sung characters selected: Ctrl+F5 plays them at once and
// goes on playing them (a score line stays marked long after their two
// beats), and a second Ctrl+F5 stops (the mark goes).
void TestKeysWindow::ctrlF5LoopsTheSelection() {
    // Find selects the match: 原来, the first two sung characters.
    m_x.key(m_window, QStringLiteral("ctrl+f"));
    m_x.type(m_window, QStringLiteral("原来"));
    m_x.key(m_window, QStringLiteral("Return"));
    m_x.key(m_window, QStringLiteral("Escape"));
    QTest::qWait(300); // let the score pane follow the cursor
    const QImage still = scorePane(QStringLiteral("keys-still.png"));
    m_x.key(m_window, QStringLiteral("ctrl+F5"));
    QVERIFY(waitUntil([&] { return scorePane(QStringLiteral("keys-playing.png")) != still; }));
    // Several times the length of the character: still marked, so it loops.
    // Played once, the two beats would be over after some two seconds; the
    // marks are there in nearly every look for six (a look may fall on the
    // turn of the loop).
    int marked = 0;
    for (int look = 0; look < 12; ++look) {
        QTest::qWait(500);
        marked += scorePane(QStringLiteral("keys-looping.png")) != still ? 1 : 0;
    }
    QVERIFY2(marked >= 9, qPrintable(QString::number(marked)));
    m_x.key(m_window, QStringLiteral("ctrl+F5"));
    QVERIFY(waitUntil([&] { return scorePane(QStringLiteral("keys-stopped.png")) == still; }));
}

QTEST_MAIN(TestKeysWindow)
#include "tst_keyswindow.moc"

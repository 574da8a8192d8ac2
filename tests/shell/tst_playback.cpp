// The 播放 menu and tool bar in the window: playing from the cursor marks the
// sounding character in both editors and never touches the document; typing
// stops it; a machine without sound says so once; the shortcuts clash with
// nothing; the settings are remembered.
#include "../music/musicfixture.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "model/scorefile.h"
#include "platform/apppaths.h"
#include "playback/clockaudiosink.h"
#include "playback/deviceaudiosink.h"
#include "promptscript.h"
#include "shell/playbackcontroller.h"
#include "windowfixture.h"

#include <QAction>
#include <QComboBox>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QUndoStack>
#include <QtTest>

using musicfixture::scoreText;

class TestPlayback : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void withoutSoundTheMessageComesOnce();
    void startPauseStopNeverTouchTheDocument();
    void playsFromTheCursorAndLoopsTheSelection();
    void typingStopsPlaybackAndIsTyped();
    void shortcutsClashWithNothing();
    void settingsAreRemembered();

private:
    DocumentTab *openPiece();
    void useClock() {
        m_window->playback()->player()->setSinkFactory(
            [](QObject *parent) { return new ClockAudioSink(parent); });
    }
    Player *player() const { return m_window->playback()->player(); }

    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
};

void TestPlayback::initTestCase() {
    windowfixture::useProgramDir(m_dir.filePath(QStringLiteral("program")));
}

void TestPlayback::init() {
    QVERIFY(windowfixture::openWindow(m_window));
}

void TestPlayback::cleanup() {
    windowfixture::closeWindow(m_window);
}

// Four characters of a measure each, at 240 beats a minute: a second each.
DocumentTab *TestPlayback::openPiece() {
    const QString path = m_dir.filePath(QStringLiteral("piece.gcp"));
    const QString score =
        scoreText({QStringLiteral("、上○尺●工○六"), QStringLiteral("、尺○工●六○五"),
                   QStringLiteral("、工○六●五○仩"), QStringLiteral("、六○五●仩○伬")});
    if (!QFile::exists(path)) {
        writeScoreFile(path, QStringLiteral("; 板式=一板三眼 速度=240\n【测试】\n春花秋月"), score);
    }
    return windowfixture::openTab(m_window, path);
}

void TestPlayback::withoutSoundTheMessageComesOnce() {
    if (DeviceAudioSink::deviceAvailable()) {
        QSKIP("this machine has a sound device");
    }
    DocumentTab *tab = openPiece();
    QVERIFY(tab);
    PromptScript prompts;
    QAction *play = m_window->playback()->playAction();
    play->trigger();
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().text, QStringLiteral("没有可用的音频输出设备"));
    QCOMPARE(player()->state(), Player::State::Stopped);
    play->trigger();
    QCOMPARE(prompts.count(), 1); // once; then in the status bar
    QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("没有可用的音频输出设备"));
    QVERIFY(!tab->isModified());
    // The program goes on working.
    QTest::sendKeyEvent(QTest::Click, tab->lyricEditor(), Qt::Key_unknown, QStringLiteral("x"),
                        Qt::NoModifier);
    QVERIFY(tab->isModified());
}

void TestPlayback::startPauseStopNeverTouchTheDocument() {
    useClock();
    DocumentTab *tab = openPiece();
    QVERIFY(tab);
    const QString lyric = tab->lyricEditor()->toPlainText();
    const QString score = tab->scoreEditor()->toPlainText();
    const int undoIndex = tab->undoStack()->index();
    const int lyricCursor = tab->lyricEditor()->textCursor().position();
    const int scoreCursor = tab->scoreEditor()->textCursor().position();
    PlaybackController *c = m_window->playback();

    c->playAction()->trigger();
    QCOMPARE(player()->state(), Player::State::Playing);
    QCOMPARE(c->playAction()->text(), QStringLiteral("暂停"));
    QVERIFY(c->stopAction()->isEnabled());
    QVERIFY(QTest::qWaitFor([&] { return !tab->lyricEditor()->playingMarks().isEmpty(); }, 20000));
    QVERIFY(!tab->scoreEditor()->playingMarks().isEmpty());
    c->playAction()->trigger();
    QCOMPARE(player()->state(), Player::State::Paused);
    QCOMPARE(c->playAction()->text(), QStringLiteral("继续"));
    c->playAction()->trigger();
    QCOMPARE(player()->state(), Player::State::Playing);
    QVERIFY(QTest::qWaitFor([&] { return player()->soundingNote() >= 5; },
                            20000)); // the second character
    c->stopAction()->trigger();
    QCOMPARE(player()->state(), Player::State::Stopped);
    QCOMPARE(c->playAction()->text(), QStringLiteral("播放"));
    QVERIFY(tab->lyricEditor()->playingMarks().isEmpty());
    QVERIFY(tab->scoreEditor()->playingMarks().isEmpty());

    QCOMPARE(tab->lyricEditor()->toPlainText(), lyric);
    QCOMPARE(tab->scoreEditor()->toPlainText(), score);
    QVERIFY(!tab->isModified());
    QCOMPARE(tab->undoStack()->index(), undoIndex);
    QCOMPARE(tab->lyricEditor()->textCursor().position(), lyricCursor);
    QCOMPARE(tab->scoreEditor()->textCursor().position(), scoreCursor);
    QVERIFY(!m_window->isWindowModified());
}

void TestPlayback::playsFromTheCursorAndLoopsTheSelection() {
    useClock();
    DocumentTab *tab = openPiece();
    QVERIFY(tab);
    ScoreEdit *scoreEdit = tab->scoreEditor();
    LyricEdit *lyricEdit = tab->lyricEditor();
    QTextCursor c(scoreEdit->document()->findBlockByNumber(2));
    scoreEdit->setTextCursor(c);
    m_window->playback()->playAction()->trigger();
    QCOMPARE(player()->excerpt().notes.first().character, 2);
    // 秋: the third sung character, and the first symbol of its score line.
    QVERIFY(QTest::qWaitFor([&] { return !lyricEdit->playingMarks().isEmpty(); }, 20000));
    const QPair<int, int> mark = lyricEdit->playingMarks().first();
    QCOMPARE(lyricEdit->toPlainText().mid(mark.first, mark.second - mark.first),
             QStringLiteral("秋"));
    const QTextBlock line = scoreEdit->document()->findBlockByNumber(2);
    QCOMPARE(scoreEdit->playingMarks().first(),
             qMakePair(line.position(), line.position() + line.length() - 1));
    const music::Note &first = player()->excerpt().notes.first();
    QCOMPARE(scoreEdit->playingMarks().at(1),
             qMakePair(line.position() + first.place.column,
                       line.position() + first.place.column + first.place.length));
    m_window->playback()->stop();

    // A selection of 花秋, looped at once: only their notes, over and over.
    QTextCursor sel(scoreEdit->document()->findBlockByNumber(1));
    sel.setPosition(scoreEdit->document()->findBlockByNumber(2).position() + 1,
                    QTextCursor::KeepAnchor);
    scoreEdit->setTextCursor(sel);
    m_window->playback()->loopAction()->trigger();
    QCOMPARE(player()->state(), Player::State::Playing);
    QSet<int> characters;
    for (const music::Note &n : player()->excerpt().notes) {
        characters.insert(n.character);
    }
    QCOMPARE(characters, (QSet<int>{1, 2}));
    m_window->playback()->loopAction()->trigger();
    QCOMPARE(player()->state(), Player::State::Stopped);
}

void TestPlayback::typingStopsPlaybackAndIsTyped() {
    useClock();
    DocumentTab *tab = openPiece();
    QVERIFY(tab);
    m_window->playback()->playAction()->trigger();
    QCOMPARE(player()->state(), Player::State::Playing);
    // Arrow keys and shortcuts leave it playing.
    QTest::keyClick(tab->lyricEditor(), Qt::Key_Right);
    QCOMPARE(player()->state(), Player::State::Playing);
    const QString before = tab->lyricEditor()->toPlainText();
    QTest::sendKeyEvent(QTest::Click, tab->lyricEditor(), Qt::Key_unknown, QStringLiteral("风"),
                        Qt::NoModifier);
    QCOMPARE(player()->state(), Player::State::Stopped);
    QCOMPARE(tab->lyricEditor()->toPlainText().size(), before.size() + 1);
    QVERIFY(tab->lyricEditor()->toPlainText().contains(QStringLiteral("风")));
    QVERIFY(tab->lyricEditor()->playingMarks().isEmpty());

    // An undo, or any other change, stops it too.
    m_window->playback()->playAction()->trigger();
    QCOMPARE(player()->state(), Player::State::Playing);
    tab->undo();
    QCOMPARE(player()->state(), Player::State::Stopped);
    // So does turning to another document.
    m_window->playback()->playAction()->trigger();
    m_window->newAction();
    QCOMPARE(player()->state(), Player::State::Stopped);
}

void TestPlayback::shortcutsClashWithNothing() {
    QHash<QKeySequence, QString> seen;
    for (QAction *a : m_window->findChildren<QAction *>()) {
        for (const QKeySequence &k : a->shortcuts()) {
            QVERIFY2(!seen.contains(k),
                     qPrintable(QStringLiteral("%1: %2 and %3")
                                    .arg(k.toString(), seen.value(k), a->objectName())));
            seen.insert(k, a->objectName());
        }
    }
    PlaybackController *c = m_window->playback();
    QCOMPARE(c->playAction()->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(c->stopAction()->shortcut(), QKeySequence(QStringLiteral("Shift+F5")));
    QCOMPARE(c->loopAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+F5")));
    for (const char *name :
         {"playAction", "stopAction", "loopAction", "clicksAction", "countInAction", "fasterAction",
          "slowerAction", "normalSpeedAction", "nextKeyAction", "nextOctaveAction"}) {
        QAction *a = m_window->findChild<QAction *>(QLatin1String(name));
        QVERIFY2(a && !a->shortcut().isEmpty(), name);
    }
    // The keys reach the actions from the editors.
    useClock();
    DocumentTab *tab = openPiece();
    tab->lyricEditor()->setFocus();
    QTest::keyClick(tab->lyricEditor(), Qt::Key_F5);
    QCOMPARE(player()->state(), Player::State::Playing);
    QTest::keyClick(tab->lyricEditor(), Qt::Key_F5, Qt::ShiftModifier);
    QCOMPARE(player()->state(), Player::State::Stopped);
}

void TestPlayback::settingsAreRemembered() {
    PlaybackController *c = m_window->playback();
    c->tempoBox()->setValue(150);
    c->keyBox()->setCurrentIndex(c->keyBox()->findText(QStringLiteral("尺字调")));
    c->octaveBox()->setCurrentIndex(c->octaveBox()->findText(QStringLiteral("高八度")));
    c->clicksAction()->setChecked(false);
    c->countInAction()->setChecked(true);
    QCOMPARE(c->settings().tempoPercent, 150);
    QCOMPARE(c->settings().key, std::optional<music::Key>(music::Key::ChiZi));
    QCOMPARE(c->settings().octave, std::optional<int>(1));
    // Beyond the range: held at 200 %.
    for (int i = 0; i < 10; ++i) {
        m_window->findChild<QAction *>(QStringLiteral("fasterAction"))->trigger();
    }
    QCOMPARE(c->tempoBox()->value(), 200);

    QVERIFY(windowfixture::openWindow(m_window));
    c = m_window->playback();
    QCOMPARE(c->tempoBox()->value(), 200);
    QCOMPARE(c->keyBox()->currentText(), QStringLiteral("尺字调"));
    QCOMPARE(c->octaveBox()->currentText(), QStringLiteral("高八度"));
    QVERIFY(!c->clicksAction()->isChecked());
    QVERIFY(c->countInAction()->isChecked());
    QVERIFY(!c->loopAction()->isChecked());

    // Back to the defaults for the other tests.
    m_window->findChild<QAction *>(QStringLiteral("normalSpeedAction"))->trigger();
    c->keyBox()->setCurrentIndex(0);
    c->octaveBox()->setCurrentIndex(0);
    c->clicksAction()->setChecked(true);
    c->countInAction()->setChecked(false);
    QCOMPARE(c->settings(), PlaybackSettings());
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"

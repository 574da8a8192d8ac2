#pragma once

#include "playback/playbacksettings.h"
#include "playback/player.h"

#include <QObject>
#include <QPointer>
#include <functional>

class DocumentTab;
class PreviewPane;
class QAction;
class QActionGroup;
class QComboBox;
class LyricEdit;
class QLabel;
class QMainWindow;
class QMenu;
class QSpinBox;
class QToolBar;

// The 播放 menu and tool bar of the window, and what they do: play the
// current document from its cursor, loop its selection (Ctrl+F5 starts the
// loop at once, a second press ends it), pause, stop, and
// set the tempo, a 笛色 or 八度 for listening only, the 板眼 clicks and a
// count-in. While it plays, the sounding character is marked in both editors
// and in the preview pane. Typing, or any other change to
// the document, stops it; playing never changes the document.
class PlaybackController : public QObject {
    Q_OBJECT

public:
    // The message for a machine without sound, shown once in a session.
    static QString noDeviceMessage();

    PlaybackController(QMainWindow *window, std::function<DocumentTab *()> currentTab);
    ~PlaybackController() override;

    QMenu *menu() const { return m_menu; }
    QToolBar *toolBar() const { return m_toolBar; }
    Player *player() const { return m_player; }
    const PlaybackSettings &settings() const { return m_settings; }

    QAction *playAction() const { return m_play; }
    QAction *stopAction() const { return m_stop; }
    QAction *loopAction() const { return m_loop; }
    QAction *clicksAction() const { return m_clicks; }
    QAction *countInAction() const { return m_countIn; }
    QSpinBox *tempoBox() const { return m_tempoBox; }
    QComboBox *keyBox() const { return m_keyBox; }
    QComboBox *octaveBox() const { return m_octaveBox; }
    // The tool bar's "小工调 ♩=72": the key heard and the beats a minute,
    // the document's 速度 times the tempo percentage.
    QLabel *soundingLabel() const { return m_soundingLabel; }
    bool isLooping() const { return m_looping; }

    // The sung character play starts at: the one before the lyric cursor, or
    // the first of its line when none of the line comes before the cursor;
    // with a selection, its first.
    static int startCharacter(const LyricEdit *lyric);
    // The sung characters a loop plays, first and last: the selection's, or
    // without one those of the cursor's line; last < first when it has none.
    static QPair<int, int> loopCharacters(const LyricEdit *lyric);

    // The preview pane that follows playback; nullptr for none.
    void setPreview(PreviewPane *pane);

public slots:
    // Plays from the cursor, pauses, or resumes.
    void playOrPause();
    void stop();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createActions();
    void createToolBar();
    void showSettings();
    void storeSettings();
    // Plays characters from to to (-1: to the end), over and over with loop.
    void start(int from, int to, bool loop);
    void setLooping(bool on);
    // The key and tempo of section, as playing shows them.
    void showSounding(const music::Section &section);
    // While stopped: the key and tempo at the cursor of the current document.
    void showSoundingAtCursor();
    void showSoundingText();
    // After a change of tempo, key, octave or clicks: goes on with the new
    // sound from the character that sounds now.
    void restartIfPlaying();
    void onStateChanged(Player::State state);
    void onSoundingNote(int note);
    void watch(DocumentTab *tab, bool on);
    void chooseSoundFont();
    void setTempo(int percent);

    QMainWindow *m_window;
    std::function<DocumentTab *()> m_currentTab;
    Player *m_player;
    PlaybackSettings m_settings;
    QPointer<DocumentTab> m_playingTab;
    QPointer<PreviewPane> m_preview;
    int m_playingCharacter = -1;
    bool m_noDeviceShown = false;
    bool m_showing = false; // the widgets are being set from the settings
    bool m_looping = false;
    QPair<int, int> m_loopRange{-1, -1};
    QString m_soundingKey;   // the key name heard; empty for none
    int m_soundingTempo = 0; // its 速度, before the percentage

    QMenu *m_menu = nullptr;
    QToolBar *m_toolBar = nullptr;
    QAction *m_play = nullptr;
    QAction *m_stop = nullptr;
    QAction *m_loop = nullptr;
    QAction *m_clicks = nullptr;
    QAction *m_countIn = nullptr;
    QAction *m_faster = nullptr;
    QAction *m_slower = nullptr;
    QAction *m_normalSpeed = nullptr;
    QAction *m_nextKey = nullptr;
    QAction *m_nextOctave = nullptr;
    QAction *m_soundFont = nullptr;
    QSpinBox *m_tempoBox = nullptr;
    QComboBox *m_keyBox = nullptr;
    QComboBox *m_octaveBox = nullptr;
    QLabel *m_soundingLabel = nullptr;
};

#include "shell/playbackcontroller.h"

#include "dialogs/prompt.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "export/previewpane.h"
#include "music/melodybuilder.h"
#include "music/musicrules.h"
#include "music/playbackexcerpt.h"
#include "platform/apppaths.h"
#include "playback/deviceaudiosink.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>

namespace {

constexpr int tempoStep = 10;

QAction *newAction(QObject *parent, const QString &objectName, const QString &text,
                   const QKeySequence &shortcut, bool checkable = false) {
    auto *action = new QAction(text, parent);
    action->setObjectName(objectName);
    action->setShortcut(shortcut);
    action->setToolTip(
        QStringLiteral("%1  %2").arg(text, shortcut.toString(QKeySequence::NativeText)));
    action->setCheckable(checkable);
    return action;
}

} // namespace

QString PlaybackController::noDeviceMessage() {
    return QStringLiteral("没有可用的音频输出设备");
}

PlaybackController::PlaybackController(QMainWindow *window,
                                       std::function<DocumentTab *()> currentTab)
    : QObject(window)
    , m_window(window)
    , m_currentTab(std::move(currentTab))
    , m_player(new Player(this)) {
    QSettings stored(AppPaths::settingsFile(), QSettings::IniFormat);
    m_settings.read(stored);
    m_player->setSoundFont(m_settings.soundFont);

    createActions();
    createToolBar();
    showSettings();

    connect(m_player, &Player::stateChanged, this, &PlaybackController::onStateChanged);
    connect(m_player, &Player::soundingNoteChanged, this, &PlaybackController::onSoundingNote);
}

PlaybackController::~PlaybackController() {
    m_player->disconnect(this);
}

void PlaybackController::createActions() {
    QStyle *style = m_window->style();
    m_play = newAction(this, QStringLiteral("playAction"), QStringLiteral("播放"),
                       QKeySequence(Qt::Key_F5));
    m_play->setIcon(style->standardIcon(QStyle::SP_MediaPlay));
    m_stop = newAction(this, QStringLiteral("stopAction"), QStringLiteral("停止"),
                       QKeySequence(Qt::SHIFT | Qt::Key_F5));
    m_stop->setIcon(style->standardIcon(QStyle::SP_MediaStop));
    m_stop->setEnabled(false);
    m_loop = newAction(this, QStringLiteral("loopAction"), QStringLiteral("循环播放选区"),
                       QKeySequence(Qt::CTRL | Qt::Key_F5), true);
    m_clicks = newAction(this, QStringLiteral("clicksAction"), QStringLiteral("板眼拍点"),
                         QKeySequence(Qt::Key_F7), true);
    m_countIn = newAction(this, QStringLiteral("countInAction"), QStringLiteral("预备拍（一小节）"),
                          QKeySequence(Qt::Key_F8), true);
    m_faster = newAction(this, QStringLiteral("fasterAction"), QStringLiteral("加快"),
                         QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Equal));
    m_slower = newAction(this, QStringLiteral("slowerAction"), QStringLiteral("减慢"),
                         QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Minus));
    m_normalSpeed = newAction(this, QStringLiteral("normalSpeedAction"), QStringLiteral("原速"),
                              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_0));
    m_nextKey = newAction(this, QStringLiteral("nextKeyAction"), QStringLiteral("换笛色"),
                          QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K));
    m_nextOctave = newAction(this, QStringLiteral("nextOctaveAction"), QStringLiteral("换八度"),
                             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O));
    m_soundFont = new QAction(QStringLiteral("选择音色库…"), this);
    m_soundFont->setObjectName(QStringLiteral("soundFontAction"));

    connect(m_play, &QAction::triggered, this, &PlaybackController::playOrPause);
    connect(m_stop, &QAction::triggered, this, &PlaybackController::stop);
    connect(m_loop, &QAction::toggled, this, [this](bool on) {
        if (!m_showing) {
            setLooping(on);
        }
    });
    connect(m_clicks, &QAction::toggled, this, [this](bool on) {
        if (!m_showing) {
            m_settings.clicks = on;
            storeSettings();
            restartIfPlaying();
        }
    });
    connect(m_countIn, &QAction::toggled, this, [this](bool on) {
        if (!m_showing) {
            m_settings.countIn = on;
            storeSettings();
        }
    });
    connect(m_faster, &QAction::triggered, this,
            [this] { setTempo(m_settings.tempoPercent + tempoStep); });
    connect(m_slower, &QAction::triggered, this,
            [this] { setTempo(m_settings.tempoPercent - tempoStep); });
    connect(m_normalSpeed, &QAction::triggered, this, [this] { setTempo(100); });
    connect(m_nextKey, &QAction::triggered, this, [this] {
        m_keyBox->setCurrentIndex((m_keyBox->currentIndex() + 1) % m_keyBox->count());
    });
    connect(m_nextOctave, &QAction::triggered, this, [this] {
        m_octaveBox->setCurrentIndex((m_octaveBox->currentIndex() + 1) % m_octaveBox->count());
    });
    connect(m_soundFont, &QAction::triggered, this, &PlaybackController::chooseSoundFont);

    m_menu = new QMenu(QStringLiteral("播放(&P)"), m_window);
    m_menu->setObjectName(QStringLiteral("playMenu"));
    m_menu->addActions({m_play, m_stop, m_loop});
    m_menu->addSeparator();
    m_menu->addActions({m_faster, m_slower, m_normalSpeed, m_nextKey, m_nextOctave});
    m_menu->addSeparator();
    m_menu->addActions({m_clicks, m_countIn});
    m_menu->addSeparator();
    m_menu->addAction(m_soundFont);
    // Before the last menu (关于), as its neighbours are ordered.
    const QList<QAction *> menus = m_window->menuBar()->actions();
    m_window->menuBar()->insertMenu(menus.isEmpty() ? nullptr : menus.last(), m_menu);
}

void PlaybackController::createToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("播放"), m_window);
    m_toolBar->setObjectName(QStringLiteral("toolbar_play"));
    m_toolBar->setFloatable(false);
    m_toolBar->addActions({m_play, m_stop, m_loop, m_clicks, m_countIn});

    m_tempoBox = new QSpinBox(m_toolBar);
    m_tempoBox->setObjectName(QStringLiteral("tempoBox"));
    m_tempoBox->setRange(PlaybackSettings::minTempoPercent, PlaybackSettings::maxTempoPercent);
    m_tempoBox->setSingleStep(tempoStep);
    m_tempoBox->setPrefix(QStringLiteral("速度 "));
    m_tempoBox->setSuffix(QStringLiteral(" %"));
    m_tempoBox->setToolTip(QStringLiteral("播放速度：曲谱所标速度的百分比（不改动文件）"));
    m_tempoBox->setKeyboardTracking(false);
    m_toolBar->addWidget(m_tempoBox);
    connect(m_tempoBox, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int percent) {
        if (!m_showing) {
            setTempo(percent);
        }
    });

    m_keyBox = new QComboBox(m_toolBar);
    m_keyBox->setObjectName(QStringLiteral("keyBox"));
    m_keyBox->setToolTip(QStringLiteral("播放用的笛色（不改动文件）"));
    m_keyBox->addItem(QStringLiteral("笛色：按曲谱"));
    const music::MusicRules &rules = music::MusicRules::defaults();
    for (const auto &rule : rules.keys) {
        m_keyBox->addItem(rules.keyName(rule.key, false), QVariantList{int(rule.key), false});
        if (rule.hasVariant()) {
            m_keyBox->addItem(rules.keyName(rule.key, true), QVariantList{int(rule.key), true});
        }
    }
    m_toolBar->addWidget(m_keyBox);
    connect(m_keyBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int i) {
        if (m_showing) {
            return;
        }
        const QVariantList data = m_keyBox->itemData(i).toList();
        if (data.size() == 2) {
            m_settings.key = music::Key(data.at(0).toInt());
            m_settings.keyVariant = data.at(1).toBool();
        } else {
            m_settings.key.reset();
            m_settings.keyVariant = false;
        }
        storeSettings();
        restartIfPlaying();
    });

    m_octaveBox = new QComboBox(m_toolBar);
    m_octaveBox->setObjectName(QStringLiteral("octaveBox"));
    m_octaveBox->setToolTip(QStringLiteral("播放用的八度（不改动文件）"));
    m_octaveBox->addItem(QStringLiteral("八度：按曲谱"));
    m_octaveBox->addItem(QStringLiteral("低八度"), -1);
    m_octaveBox->addItem(QStringLiteral("原八度"), 0);
    m_octaveBox->addItem(QStringLiteral("高八度"), 1);
    m_toolBar->addWidget(m_octaveBox);
    connect(m_octaveBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int i) {
        if (m_showing) {
            return;
        }
        const QVariant data = m_octaveBox->itemData(i);
        m_settings.octave = data.isValid() ? std::optional<int>(data.toInt()) : std::nullopt;
        storeSettings();
        restartIfPlaying();
    });

    m_soundingLabel = new QLabel(m_toolBar);
    m_soundingLabel->setObjectName(QStringLiteral("soundingLabel"));
    m_soundingLabel->setToolTip(QStringLiteral("播放的笛色和速度（每分钟四分音符拍数）"));
    m_soundingLabel->setContentsMargins(8, 0, 8, 0);
    m_toolBar->addWidget(m_soundingLabel);

    m_window->addToolBar(m_toolBar);
}

void PlaybackController::showSettings() {
    m_showing = true;
    m_loop->setChecked(m_looping);
    m_clicks->setChecked(m_settings.clicks);
    m_countIn->setChecked(m_settings.countIn);
    m_tempoBox->setValue(m_settings.tempoPercent);
    m_keyBox->setCurrentIndex(0);
    for (int i = 1; i < m_keyBox->count(); ++i) {
        const QVariantList data = m_keyBox->itemData(i).toList();
        if (m_settings.key && data.value(0).toInt() == int(*m_settings.key) &&
            data.value(1).toBool() == m_settings.keyVariant) {
            m_keyBox->setCurrentIndex(i);
        }
    }
    m_octaveBox->setCurrentIndex(m_settings.octave ? *m_settings.octave + 2 : 0);
    m_faster->setEnabled(m_settings.tempoPercent < PlaybackSettings::maxTempoPercent);
    m_slower->setEnabled(m_settings.tempoPercent > PlaybackSettings::minTempoPercent);
    m_showing = false;
    showSoundingText();
}

void PlaybackController::storeSettings() {
    QSettings stored(AppPaths::settingsFile(), QSettings::IniFormat);
    m_settings.write(stored);
}

void PlaybackController::setTempo(int percent) {
    const int bounded =
        std::clamp(percent, PlaybackSettings::minTempoPercent, PlaybackSettings::maxTempoPercent);
    if (bounded == m_settings.tempoPercent) {
        showSettings();
        return;
    }
    m_settings.tempoPercent = bounded;
    showSettings();
    storeSettings();
    restartIfPlaying();
}

void PlaybackController::setPreview(PreviewPane *pane) {
    m_preview = pane;
    if (m_preview && m_player->state() != Player::State::Stopped) {
        m_preview->showPlaying(m_playingCharacter);
    }
}

void PlaybackController::playOrPause() {
    switch (m_player->state()) {
    case Player::State::Playing:
        m_player->pause();
        break;
    case Player::State::Paused:
        m_player->resume();
        break;
    case Player::State::Stopped:
        start(-1, -1, false);
        break;
    }
}

void PlaybackController::stop() {
    m_player->stop();
    // Later: the window may be closing its tabs, or going.
    QTimer::singleShot(0, this, &PlaybackController::showSoundingAtCursor);
}

void PlaybackController::restartIfPlaying() {
    if (m_player->state() == Player::State::Stopped) {
        QTimer::singleShot(0, this, &PlaybackController::showSoundingAtCursor);
        return;
    }
    const bool paused = m_player->state() == Player::State::Paused;
    // A loop starts over at its first character; otherwise on from where it was.
    if (m_looping) {
        start(m_loopRange.first, m_loopRange.second, true);
    } else {
        start(m_playingCharacter, -1, false);
    }
    if (paused) {
        m_player->pause();
    }
}

void PlaybackController::start(int from, int to, bool loop) {
    DocumentTab *tab = m_currentTab();
    if (!tab) {
        return;
    }
    music::PlaybackExcerpt::Request request;
    request.fromCharacter = from >= 0 ? from : startCharacter(tab->lyricEditor());
    request.toCharacter = to;
    request.key = m_settings.key;
    request.keyVariant = m_settings.keyVariant;
    request.octave = m_settings.octave;
    request.countIn = m_settings.countIn;
    const music::Melody melody = music::MelodyBuilder().build(tab->documentLines());
    const music::Melody excerpt = music::PlaybackExcerpt::cut(melody, request);

    music::Synthesizer::Options options;
    options.tempoPercent = m_settings.tempoPercent;
    options.clicks = m_settings.clicks;
    // The tab first, so that the first note is marked as soon as it sounds.
    m_player->stop();
    m_looping = loop;
    m_showing = true;
    m_loop->setChecked(loop);
    m_showing = false;
    m_playingTab = tab;
    watch(tab, true);
    const Outcome played = m_player->play(excerpt, options, loop);
    if (played && !excerpt.sections.isEmpty()) {
        showSounding(excerpt.sections.first());
    }
    if (!played) {
        m_looping = false;
        m_showing = true;
        m_loop->setChecked(false);
        m_showing = false;
        watch(tab, false);
        m_playingTab = nullptr;
        if (played.message() == noDeviceMessage()) {
            if (!m_noDeviceShown) {
                m_noDeviceShown = true;
                Prompt::information(m_window, played.title(), played.message());
            } else {
                m_window->statusBar()->showMessage(played.message(), 5000);
            }
        } else {
            Prompt::warning(m_window, played.title(), played.message());
        }
        return;
    }
}

void PlaybackController::watch(DocumentTab *tab, bool on) {
    if (!tab) {
        return;
    }
    for (QWidget *editor :
         {static_cast<QWidget *>(tab->lyricEditor()), static_cast<QWidget *>(tab->scoreEditor())}) {
        if (on) {
            editor->installEventFilter(this);
        } else {
            editor->removeEventFilter(this);
        }
    }
    if (on) {
        connect(tab->undoStack(), &QUndoStack::indexChanged, this, &PlaybackController::stop);
    } else {
        disconnect(tab->undoStack(), &QUndoStack::indexChanged, this, &PlaybackController::stop);
    }
}

bool PlaybackController::eventFilter(QObject *watched, QEvent *event) {
    // Typing stops playback; the key itself goes on to the editor as ever.
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool command =
            key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const bool editing = key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
                             key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if ((!command && !key->text().isEmpty() && key->text().at(0).isPrint()) || editing) {
            stop();
        }
    } else if (event->type() == QEvent::InputMethod) {
        const auto *im = static_cast<QInputMethodEvent *>(event);
        if (!im->commitString().isEmpty() || !im->preeditString().isEmpty()) {
            stop();
        }
    }
    return QObject::eventFilter(watched, event);
}

void PlaybackController::onStateChanged(Player::State state) {
    QStyle *style = m_window->style();
    m_stop->setEnabled(state != Player::State::Stopped);
    switch (state) {
    case Player::State::Playing:
        m_play->setText(QStringLiteral("暂停"));
        m_play->setIcon(style->standardIcon(QStyle::SP_MediaPause));
        break;
    case Player::State::Paused:
        m_play->setText(QStringLiteral("继续"));
        m_play->setIcon(style->standardIcon(QStyle::SP_MediaPlay));
        break;
    case Player::State::Stopped:
        m_play->setText(QStringLiteral("播放"));
        m_play->setIcon(style->standardIcon(QStyle::SP_MediaPlay));
        if (m_playingTab) {
            m_playingTab->showPlaying(-1);
        }
        if (m_preview) {
            m_preview->showPlaying(-1);
        }
        watch(m_playingTab, false);
        m_playingTab = nullptr;
        m_playingCharacter = -1;
        m_looping = false;
        m_showing = true;
        m_loop->setChecked(false);
        m_showing = false;
        break;
    }
    m_play->setToolTip(QStringLiteral("%1  %2").arg(
        m_play->text(), m_play->shortcut().toString(QKeySequence::NativeText)));
}

void PlaybackController::onSoundingNote(int note) {
    const QVector<music::Note> &notes = m_player->excerpt().notes;
    if (note < 0 || note >= notes.size()) {
        return; // the count-in, or stopped: the last mark stays until the stop clears it
    }
    const music::Note &n = notes.at(note);
    m_playingCharacter = n.character;
    for (const music::Section &s : m_player->excerpt().sections) {
        if (note >= s.firstNote && note < s.firstNote + s.noteCount) {
            showSounding(s);
        }
    }
    if (m_playingTab) {
        m_playingTab->showPlaying(n.character, n.place);
    }
    if (m_preview) {
        m_preview->showPlaying(n.character);
    }
}

void PlaybackController::chooseSoundFont() {
    const QString start = m_settings.soundFont.isEmpty()
                              ? QFileInfo(music::Synthesizer::findSoundFont()).absolutePath()
                              : QFileInfo(m_settings.soundFont).absolutePath();
    const QString file = Prompt::openFileName(m_window, QStringLiteral("选择音色库"), start,
                                              QStringLiteral("音色库 (*.sf2 *.sf3)"));
    if (file.isEmpty()) {
        return;
    }
    m_player->stop();
    music::Synthesizer probe;
    const Outcome loaded = probe.load(file);
    if (!loaded) {
        Prompt::warning(m_window, loaded.title(), loaded.message());
        return;
    }
    m_settings.soundFont = file;
    m_player->setSoundFont(file);
    storeSettings();
    m_window->statusBar()->showMessage(QStringLiteral("音色库：%1").arg(file), 5000);
}

// --- where play starts, what a loop plays -------------------------------------

int PlaybackController::startCharacter(const LyricEdit *lyric) {
    const QTextCursor cursor = lyric->textCursor();
    if (cursor.hasSelection()) {
        return lyric->scoreLineAt(cursor.selectionStart()) + 1;
    }
    // The character before the cursor is the current one, unless it belongs
    // to an earlier line: at the start of a line play starts with the line.
    const int before = lyric->scoreLineAt(cursor.position());
    return before == lyric->scoreLineAt(cursor.block().position()) ? before + 1 : before;
}

QPair<int, int> PlaybackController::loopCharacters(const LyricEdit *lyric) {
    const QTextCursor cursor = lyric->textCursor();
    if (cursor.hasSelection()) {
        return {lyric->scoreLineAt(cursor.selectionStart()) + 1,
                lyric->scoreLineAt(cursor.selectionEnd())};
    }
    const QTextBlock line = cursor.block();
    return {lyric->scoreLineAt(line.position()) + 1,
            lyric->scoreLineAt(line.position() + line.length() - 1)};
}

void PlaybackController::setLooping(bool on) {
    if (!on) {
        if (m_looping) {
            stop();
        }
        m_looping = false;
        return;
    }
    DocumentTab *tab = m_currentTab();
    const QPair<int, int> range = tab ? loopCharacters(tab->lyricEditor()) : qMakePair(0, -1);
    if (range.second < range.first) {
        m_showing = true;
        m_loop->setChecked(false);
        m_showing = false;
        m_window->statusBar()->showMessage(QStringLiteral("请先选择要循环播放的唱字"), 5000);
        return;
    }
    m_loopRange = range;
    start(range.first, range.second, true);
}

// --- the key and tempo heard --------------------------------------------------

void PlaybackController::showSounding(const music::Section &section) {
    m_soundingKey = music::MusicRules::defaults().keyName(section.key, section.keyVariant);
    m_soundingTempo = section.tempo;
    showSoundingText();
}

void PlaybackController::showSoundingAtCursor() {
    DocumentTab *tab = m_currentTab();
    const music::Melody melody =
        tab ? music::MelodyBuilder().build(tab->documentLines()) : music::Melody();
    if (melody.sections.isEmpty()) {
        m_soundingKey.clear();
        showSoundingText();
        return;
    }
    // The section of the first note play would start with.
    const int from = startCharacter(tab->lyricEditor());
    music::Section section = melody.sections.first();
    for (const music::Section &s : melody.sections) {
        if (s.noteCount > 0 && melody.notes.at(s.firstNote).character <= from) {
            section = s;
        }
    }
    if (m_settings.key) {
        section.key = *m_settings.key;
        section.keyVariant = m_settings.keyVariant;
    }
    showSounding(section);
}

void PlaybackController::showSoundingText() {
    if (!m_soundingLabel) {
        return;
    }
    if (m_soundingKey.isEmpty()) {
        m_soundingLabel->clear();
        return;
    }
    const int perMinute = qRound(m_soundingTempo * m_settings.tempoPercent / 100.0);
    m_soundingLabel->setText(QStringLiteral("%1  ♩=%2").arg(m_soundingKey).arg(perMinute));
}

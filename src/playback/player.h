#pragma once

#include "model/outcome.h"
#include "music/melody.h"
#include "music/synthesizer.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <memory>

class AudioSink;
class QTimer;
class SynthStream;

// Plays a melody excerpt (PlaybackExcerpt) through the synthesizer into an
// audio sink, and tells, as it sounds, which of its notes is heard. Starting
// renders nothing ahead: the sink pulls the frames as it needs them, so play
// answers at once and a stop is immediate. No widgets.
class Player : public QObject {
    Q_OBJECT

public:
    enum class State { Stopped, Playing, Paused };
    Q_ENUM(State)
    using SinkFactory = std::function<AudioSink *(QObject *parent)>;

    // How often the sounding note is looked up while playing.
    static constexpr int followIntervalMs = 25;

    explicit Player(QObject *parent = nullptr);
    ~Player() override;

    // Where the sound goes; by default the sound card (DeviceAudioSink), or a
    // silent clock (ClockAudioSink) when QORVEL_AUDIO_OUTPUT is "silent".
    void setSinkFactory(SinkFactory factory);
    // The sound font: a .sf2/.sf3 file, or empty for the standard places.
    // Read at the next play.
    void setSoundFont(const QString &path);

    // Plays excerpt from its start, once or over and over. Fails with a
    // message for the user when there is nothing to play, no sound font or
    // no sound device; playback is then stopped.
    Outcome play(const music::Melody &excerpt, const music::Synthesizer::Options &options,
                 bool loop);
    void pause();
    void resume();
    void stop();

    State state() const { return m_state; }
    // The melody being played and the note of it that sounds (-1 before the
    // first, during a count-in, and when stopped).
    const music::Melody &excerpt() const { return m_excerpt; }
    int soundingNote() const { return m_note; }
    // From the last play() to the first frames handed to the sink, in
    // microseconds; -1 before any.
    qint64 startLatencyMicroseconds() const;

signals:
    void stateChanged(Player::State state);
    // The note of excerpt() heard now; -1 for none.
    void soundingNoteChanged(int note);

private:
    void follow();
    void setState(State state);
    void setNote(int note);

    SinkFactory m_sinkFactory;
    QString m_soundFont;
    QString m_loadedSoundFont;
    bool m_soundFontLoaded = false;
    music::Synthesizer m_synthesizer;
    SynthStream *m_stream;
    AudioSink *m_sink = nullptr;
    QTimer *m_followTimer;
    music::Melody m_excerpt;
    bool m_loop = false;
    State m_state = State::Stopped;
    int m_note = -1;
    qint64 m_beforeBegin = 0; // nanoseconds from play() to the stream's begin()
};

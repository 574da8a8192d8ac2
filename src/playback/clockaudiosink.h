#pragma once

#include "playback/audiosink.h"

#include <QElapsedTimer>

class QTimer;

// A sink without a sound card: takes the frames as a device would, in real
// time and a little ahead, and drops them. Playback then runs, highlights and
// ends exactly as it would with sound: on a machine without audio, and in
// tests.
class ClockAudioSink : public AudioSink {
    Q_OBJECT

public:
    // How far ahead of the clock the frames are taken, as a device's buffer.
    static constexpr int leadMilliseconds = 50;

    explicit ClockAudioSink(QObject *parent = nullptr);

    bool start(QIODevice *source, QString *why) override;
    void suspend() override;
    void resume() override;
    void stop() override;
    qint64 playedMicroseconds() const override;

private:
    void pull();
    // The clock: time played since start(), pauses excluded.
    qint64 clockMicroseconds() const;

    QTimer *m_timer;
    QIODevice *m_source = nullptr;
    QElapsedTimer m_clock;
    qint64 m_playedBefore = 0; // microseconds, up to the last suspend
    qint64 m_taken = 0;        // frames read from the source
    bool m_running = false;
};

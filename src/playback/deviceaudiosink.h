#pragma once

#include "playback/audiosink.h"

#include <memory>

class QAudioOutput;

// The sound card, through Qt Multimedia's default output device.
class DeviceAudioSink : public AudioSink {
    Q_OBJECT

public:
    // About a tenth of a second of sound between the synthesizer and the
    // speaker: short enough that play answers at once and the highlight
    // keeps up, long enough not to stutter on a busy machine.
    static constexpr int bufferMilliseconds = 100;

    explicit DeviceAudioSink(QObject *parent = nullptr);
    ~DeviceAudioSink() override;

    // Whether the system has an output device that plays 44.1 kHz 16-bit
    // stereo.
    static bool deviceAvailable();

    bool start(QIODevice *source, QString *why) override;
    void suspend() override;
    void resume() override;
    void stop() override;
    qint64 playedMicroseconds() const override;

private:
    std::unique_ptr<QAudioOutput> m_output;
};

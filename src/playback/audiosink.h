#pragma once

#include <QObject>
#include <QString>

class QIODevice;

// Where playback's sound goes: pulls 16-bit stereo frames at 44.1 kHz from a
// source device for as long as it runs. The device sink hands them to the
// sound card; the clock sink consumes them silently in real time, for
// machines without sound and for tests.
class AudioSink : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts pulling from source. False, with the reason for the user in
    // *why, when no sound can be played.
    virtual bool start(QIODevice *source, QString *why) = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
    virtual void stop() = 0;
    // The sound heard so far, in microseconds of the source since start():
    // what has left the speaker, pauses excluded.
    virtual qint64 playedMicroseconds() const = 0;
};

#pragma once

#include "music/melody.h"
#include "music/synthesizer.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QVector>

// The synthesizer as a device an audio output reads from: each read renders
// the next frames of the piece, and of its next pass when it loops (each pass
// starts the piece afresh, its count-in included). After the last pass, reads
// give silence; the player decides when playback is over.
class SynthStream : public QIODevice {
    Q_OBJECT

public:
    explicit SynthStream(music::Synthesizer *synthesizer, QObject *parent = nullptr);

    // Starts the piece from its beginning; reads render it from now on.
    void begin(const music::Melody &melody, const music::Synthesizer::Options &options, bool loop);

    // Where the pass that holds a frame of the stream began.
    qint64 passStart(qint64 streamFrame) const;
    // Frames handed out so far.
    qint64 framesRead() const { return m_framesRead; }
    // Nanoseconds from begin() to the first frames handed out; -1 before.
    qint64 firstReadNanoseconds() const { return m_firstRead; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    music::Synthesizer *m_synthesizer;
    music::Melody m_melody;
    music::Synthesizer::Options m_options;
    bool m_loop = false;
    QVector<qint64> m_passStarts;
    qint64 m_framesRead = 0;
    QElapsedTimer m_sinceBegin;
    qint64 m_firstRead = -1;
};

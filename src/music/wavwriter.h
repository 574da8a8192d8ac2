#pragma once

#include "model/outcome.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

namespace music {

// Writes 16-bit stereo frames at 44.1 kHz, interleaved left and right, as a
// RIFF WAVE file of PCM data.
class WavWriter {
public:
    static constexpr int sampleRate = 44100;
    static constexpr int channels = 2;
    static constexpr int bitsPerSample = 16;

    static QByteArray encode(const QVector<int16_t> &frames);
    // Written atomically: a failed write leaves any earlier file untouched.
    static Outcome write(const QVector<int16_t> &frames, const QString &path);
};

} // namespace music

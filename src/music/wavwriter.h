#pragma once

#include "model/outcome.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>
#include <functional>

namespace music {

// Writes 16-bit stereo frames at 44.1 kHz, interleaved left and right, as a
// RIFF WAVE file of PCM data.
class WavWriter {
public:
    static constexpr int sampleRate = 44100;
    static constexpr int channels = 2;
    static constexpr int bitsPerSample = 16;

    // The most stereo frames a file holds: its sizes are 32-bit, so the
    // whole file stays under 4 GiB (about 6 h 45 min).
    static constexpr qint64 maxFrames = (0xFFFFFFFFLL - 44) / (channels * bitsPerSample / 8);

    // Fills out with `frames` interleaved stereo frames (2 * frames values).
    using Source = std::function<void(int frames, int16_t *out)>;

    // The 44 bytes before the samples of a file of `frames` stereo frames.
    static QByteArray header(qint64 frames);
    static QByteArray encode(const QVector<int16_t> &frames);
    // Written atomically: a failed write leaves any earlier file untouched.
    static Outcome write(const QVector<int16_t> &frames, const QString &path);
    // Writes `frames` stereo frames taken from source block by block, so the
    // memory it takes does not grow with the length of the piece. A piece
    // longer than maxFrames is refused before anything is written.
    static Outcome write(const QString &path, qint64 frames, const Source &source);
};

} // namespace music

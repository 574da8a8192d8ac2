#include "music/wavwriter.h"

#include "model/atomicfile.h"

namespace music {

namespace {

void appendLittleEndian(QByteArray &out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(char((value >> (8 * i)) & 0xff));
    }
}

} // namespace

QByteArray WavWriter::encode(const QVector<int16_t> &frames) {
    const int samples = frames.size() - frames.size() % channels;
    const quint32 dataBytes = quint32(samples) * (bitsPerSample / 8);
    constexpr int blockAlign = channels * bitsPerSample / 8;
    QByteArray out;
    out.reserve(44 + int(dataBytes));
    out.append("RIFF", 4);
    appendLittleEndian(out, 36 + dataBytes, 4);
    out.append("WAVE", 4);
    out.append("fmt ", 4);
    appendLittleEndian(out, 16, 4);
    appendLittleEndian(out, 1, 2); // PCM
    appendLittleEndian(out, channels, 2);
    appendLittleEndian(out, sampleRate, 4);
    appendLittleEndian(out, quint32(sampleRate) * blockAlign, 4);
    appendLittleEndian(out, blockAlign, 2);
    appendLittleEndian(out, bitsPerSample, 2);
    out.append("data", 4);
    appendLittleEndian(out, dataBytes, 4);
    for (int i = 0; i < samples; ++i) {
        appendLittleEndian(out, quint32(quint16(frames.at(i))), 2);
    }
    return out;
}

Outcome WavWriter::write(const QVector<int16_t> &frames, const QString &path) {
    return writeFileAtomically(path, encode(frames));
}

} // namespace music

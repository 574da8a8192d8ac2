#include "music/wavwriter.h"

#include "model/atomicfile.h"

#include <algorithm>
#include <vector>

namespace music {

namespace {

void appendLittleEndian(QByteArray &out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(char((value >> (8 * i)) & 0xff));
    }
}

} // namespace

QByteArray WavWriter::header(qint64 frames) {
    const quint32 dataBytes =
        quint32(std::clamp<qint64>(frames, 0, maxFrames) * channels * (bitsPerSample / 8));
    constexpr int blockAlign = channels * bitsPerSample / 8;
    QByteArray out;
    out.reserve(44);
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
    return out;
}

QByteArray WavWriter::encode(const QVector<int16_t> &frames) {
    const int samples = frames.size() - frames.size() % channels;
    QByteArray out = header(samples / channels);
    out.reserve(44 + samples * (bitsPerSample / 8));
    for (int i = 0; i < samples; ++i) {
        appendLittleEndian(out, quint32(quint16(frames.at(i))), 2);
    }
    return out;
}

Outcome WavWriter::write(const QVector<int16_t> &frames, const QString &path) {
    return writeFileAtomically(path, encode(frames));
}

Outcome WavWriter::write(const QString &path, qint64 frames, const Source &source) {
    if (frames > maxFrames) {
        const qint64 minutes = frames / sampleRate / 60;
        const qint64 limit = maxFrames / sampleRate / 60;
        return Outcome::failure(
            QStringLiteral("错误"),
            QStringLiteral("这段曲子长约%1小时%2分钟，导出的WAV文件会超过该格式4 GB的上限"
                           "（约%3小时%4分钟）。请改用MIDI导出，或分段导出。")
                .arg(minutes / 60)
                .arg(minutes % 60)
                .arg(limit / 60)
                .arg(limit % 60));
    }
    AtomicFile file(path);
    if (!file.open()) {
        return file.outcome();
    }
    file.write(header(frames));
    constexpr int block = 4096;
    std::vector<int16_t> samples(size_t(block) * channels);
    QByteArray bytes(block * channels * 2, Qt::Uninitialized);
    for (qint64 done = 0; done < frames && file.error() == 0; done += block) {
        const int n = int(std::min<qint64>(block, frames - done));
        source(n, samples.data());
        char *out = bytes.data();
        for (int i = 0; i < n * channels; ++i) {
            const quint16 v = quint16(samples[size_t(i)]);
            *out++ = char(v & 0xff);
            *out++ = char(v >> 8);
        }
        file.write(bytes.constData(), qint64(n) * channels * 2);
    }
    return file.commit();
}

} // namespace music

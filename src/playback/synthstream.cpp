#include "playback/synthstream.h"

#include <algorithm>

namespace {
constexpr int frameBytes = music::Synthesizer::channels * 2;
}

SynthStream::SynthStream(music::Synthesizer *synthesizer, QObject *parent)
    : QIODevice(parent)
    , m_synthesizer(synthesizer) {}

void SynthStream::begin(const music::Melody &melody, const music::Synthesizer::Options &options,
                        bool loop) {
    m_melody = melody;
    m_options = options;
    m_passStarts = {0};
    m_framesRead = 0;
    m_firstRead = -1;
    m_sinceBegin.start();
    m_synthesizer->start(m_melody, m_options);
    m_loop = loop && m_synthesizer->musicFrames() > 0;
    if (!isOpen()) {
        open(QIODevice::ReadOnly);
    }
}

qint64 SynthStream::passStart(qint64 streamFrame) const {
    auto it = std::upper_bound(m_passStarts.cbegin(), m_passStarts.cend(), streamFrame);
    return it == m_passStarts.cbegin() ? 0 : *(it - 1);
}

qint64 SynthStream::bytesAvailable() const {
    // Always a second ahead: the piece never runs dry, it turns to silence.
    return music::Synthesizer::sampleRate * frameBytes + QIODevice::bytesAvailable();
}

qint64 SynthStream::readData(char *data, qint64 maxSize) {
    const int frames = int(std::min<qint64>(maxSize / frameBytes, 1 << 20));
    if (frames <= 0) {
        return 0;
    }
    auto *out = reinterpret_cast<int16_t *>(data);
    int done = 0;
    while (done < frames) {
        const int want = frames - done;
        if (m_loop && m_synthesizer->positionFrames() >= m_synthesizer->musicFrames()) {
            // The next pass, straight after the last note of this one.
            m_passStarts.append(m_framesRead + done);
            m_synthesizer->start(m_melody, m_options);
        }
        int take = want;
        if (m_loop) {
            const qint64 left = m_synthesizer->musicFrames() - m_synthesizer->positionFrames();
            take = int(std::clamp<qint64>(left, 1, want));
        }
        m_synthesizer->render(take, out + qint64(done) * music::Synthesizer::channels);
        done += take;
    }
    if (m_firstRead < 0) {
        m_firstRead = m_sinceBegin.nsecsElapsed();
    }
    m_framesRead += frames;
    return qint64(frames) * frameBytes;
}

qint64 SynthStream::writeData(const char *, qint64) {
    return -1;
}

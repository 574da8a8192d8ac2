#include "playback/clockaudiosink.h"

#include "music/synthesizer.h"

#include <QIODevice>
#include <QTimer>
#include <algorithm>
#include <vector>

ClockAudioSink::ClockAudioSink(QObject *parent)
    : AudioSink(parent)
    , m_timer(new QTimer(this)) {
    m_timer->setInterval(10);
    connect(m_timer, &QTimer::timeout, this, &ClockAudioSink::pull);
}

bool ClockAudioSink::start(QIODevice *source, QString *) {
    stop();
    m_source = source;
    m_playedBefore = 0;
    m_taken = 0;
    m_running = true;
    m_clock.start();
    pull(); // the first buffer at once, as a device takes it
    m_timer->start();
    return true;
}

void ClockAudioSink::suspend() {
    if (m_running) {
        m_playedBefore += m_clock.nsecsElapsed() / 1000;
        m_running = false;
        m_timer->stop();
    }
}

void ClockAudioSink::resume() {
    if (!m_running && m_source) {
        m_clock.start();
        m_running = true;
        m_timer->start();
    }
}

void ClockAudioSink::stop() {
    m_timer->stop();
    m_running = false;
    m_source = nullptr;
    m_playedBefore = 0;
    m_taken = 0;
}

qint64 ClockAudioSink::clockMicroseconds() const {
    return m_playedBefore + (m_running ? m_clock.nsecsElapsed() / 1000 : 0);
}

qint64 ClockAudioSink::playedMicroseconds() const {
    if (!m_source) {
        return 0;
    }
    // As a device, it cannot have played what it has not been given: on a
    // machine too slow to render in time, playback falls behind the clock.
    return std::min(clockMicroseconds(), m_taken * 1000000 / music::Synthesizer::sampleRate);
}

void ClockAudioSink::pull() {
    if (!m_source) {
        return;
    }
    const qint64 due =
        (clockMicroseconds() + leadMilliseconds * 1000) * music::Synthesizer::sampleRate / 1000000;
    // At most a few leads at a time, as a device's buffer would take.
    const qint64 frames = std::min(due - m_taken, qint64(4 * leadMilliseconds) *
                                                      music::Synthesizer::sampleRate / 1000);
    if (frames <= 0) {
        return;
    }
    const int frameBytes = music::Synthesizer::channels * 2;
    std::vector<char> buffer(size_t(frames * frameBytes));
    const qint64 read = m_source->read(buffer.data(), qint64(buffer.size()));
    if (read > 0) {
        m_taken += read / frameBytes;
    }
}

#include "playback/deviceaudiosink.h"

#include "music/synthesizer.h"

#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QAudioOutput>

namespace {

QAudioFormat pcmFormat() {
    QAudioFormat format;
    format.setSampleRate(music::Synthesizer::sampleRate);
    format.setChannelCount(music::Synthesizer::channels);
    format.setSampleSize(16);
    format.setSampleType(QAudioFormat::SignedInt);
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setCodec(QStringLiteral("audio/pcm"));
    return format;
}

QString noDevice() {
    return QStringLiteral("没有可用的音频输出设备");
}

} // namespace

DeviceAudioSink::DeviceAudioSink(QObject *parent)
    : AudioSink(parent) {}

DeviceAudioSink::~DeviceAudioSink() {
    stop();
}

bool DeviceAudioSink::deviceAvailable() {
    const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
    return !device.isNull() && device.isFormatSupported(pcmFormat());
}

bool DeviceAudioSink::start(QIODevice *source, QString *why) {
    stop();
    if (!deviceAvailable()) {
        *why = noDevice();
        return false;
    }
    m_output = std::make_unique<QAudioOutput>(QAudioDeviceInfo::defaultOutputDevice(), pcmFormat());
    const int bytesPerSecond = music::Synthesizer::sampleRate * music::Synthesizer::channels * 2;
    m_output->setBufferSize(bytesPerSecond * bufferMilliseconds / 1000);
    m_output->start(source);
    if (m_output->error() != QAudio::NoError) {
        m_output.reset();
        *why = noDevice();
        return false;
    }
    return true;
}

void DeviceAudioSink::suspend() {
    if (m_output) {
        m_output->suspend();
    }
}

void DeviceAudioSink::resume() {
    if (m_output) {
        m_output->resume();
    }
}

void DeviceAudioSink::stop() {
    if (m_output) {
        m_output->stop();
        m_output.reset();
    }
}

qint64 DeviceAudioSink::playedMicroseconds() const {
    if (!m_output) {
        return 0;
    }
    // What the device took, less what still waits in its buffer.
    const qint64 bytesPerSecond = music::Synthesizer::sampleRate * music::Synthesizer::channels * 2;
    const qint64 queued = qint64(m_output->bufferSize() - m_output->bytesFree());
    return std::max<qint64>(0, m_output->processedUSecs() - queued * 1000000 / bytesPerSecond);
}

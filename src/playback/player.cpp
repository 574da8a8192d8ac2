#include "playback/player.h"

#include "playback/clockaudiosink.h"
#include "playback/deviceaudiosink.h"
#include "playback/synthstream.h"

#include <QTimer>
#include <algorithm>

namespace {

AudioSink *defaultSink(QObject *parent) {
    if (qEnvironmentVariable("QORVEL_AUDIO_OUTPUT") == QLatin1String("silent")) {
        return new ClockAudioSink(parent);
    }
    return new DeviceAudioSink(parent);
}

} // namespace

Player::Player(QObject *parent)
    : QObject(parent)
    , m_sinkFactory(defaultSink)
    , m_stream(new SynthStream(&m_synthesizer, this))
    , m_followTimer(new QTimer(this)) {
    qRegisterMetaType<Player::State>();
    m_followTimer->setInterval(followIntervalMs);
    connect(m_followTimer, &QTimer::timeout, this, &Player::follow);
}

Player::~Player() {
    stop();
}

void Player::setSinkFactory(SinkFactory factory) {
    stop();
    delete m_sink;
    m_sink = nullptr;
    m_sinkFactory = std::move(factory);
}

void Player::setSoundFont(const QString &path) {
    m_soundFont = path;
}

Outcome Player::play(const music::Melody &excerpt, const music::Synthesizer::Options &options,
                     bool loop) {
    QElapsedTimer pressed;
    pressed.start();
    stop();
    if (excerpt.notes.isEmpty()) {
        return Outcome::failure(QStringLiteral("提示"), QStringLiteral("没有可以播放的音符。"));
    }
    if (!m_soundFontLoaded || m_loadedSoundFont != m_soundFont) {
        const Outcome loaded = m_synthesizer.load(m_soundFont);
        m_soundFontLoaded = loaded.ok();
        m_loadedSoundFont = m_soundFont;
        if (!loaded) {
            return loaded;
        }
    }
    if (!m_sink) {
        m_sink = m_sinkFactory(this);
    }
    m_excerpt = excerpt;
    m_loop = loop;
    m_beforeBegin = pressed.nsecsElapsed();
    m_stream->begin(m_excerpt, options, loop);
    QString why;
    if (!m_sink->start(m_stream, &why)) {
        return Outcome::failure(QStringLiteral("提示"), why);
    }
    setState(State::Playing);
    m_followTimer->start();
    follow();
    return Outcome::success();
}

void Player::pause() {
    if (m_state == State::Playing) {
        m_sink->suspend();
        m_followTimer->stop();
        setState(State::Paused);
    }
}

void Player::resume() {
    if (m_state == State::Paused) {
        m_sink->resume();
        m_followTimer->start();
        setState(State::Playing);
    }
}

void Player::stop() {
    if (m_state == State::Stopped) {
        return;
    }
    m_followTimer->stop();
    m_sink->stop();
    setNote(-1);
    setState(State::Stopped);
}

qint64 Player::startLatencyMicroseconds() const {
    const qint64 read = m_stream->firstReadNanoseconds();
    return read < 0 ? -1 : (m_beforeBegin + read) / 1000;
}

void Player::follow() {
    const qint64 heard = m_sink->playedMicroseconds() * music::Synthesizer::sampleRate / 1000000;
    const qint64 inPass = heard - m_stream->passStart(heard);
    if (!m_loop && inPass >= m_synthesizer.lengthFrames()) {
        stop();
        return;
    }
    const qint64 tick = m_synthesizer.tickAtFrame(inPass);
    // The last note begun by now; none before the first (the count-in).
    const QVector<music::Note> &notes = m_excerpt.notes;
    auto it = std::upper_bound(notes.cbegin(), notes.cend(), tick,
                               [](qint64 t, const music::Note &n) { return t < n.onset; });
    setNote(int(it - notes.cbegin()) - 1);
}

void Player::setState(State state) {
    if (m_state != state) {
        m_state = state;
        emit stateChanged(state);
    }
}

void Player::setNote(int note) {
    if (m_note != note) {
        m_note = note;
        emit soundingNoteChanged(note);
    }
}

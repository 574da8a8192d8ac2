#include "music/synthesizer.h"

#include "music/midiwriter.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fluidsynth.h>
#include <limits>

namespace music {

namespace {

constexpr int defaultMicrosPerBeat = 500000; // 120 beats a minute, MIDI's default

// FluidSynth reports on standard error what it finds in a sound font; only
// its errors are worth the user's reading.
void quietenFluidSynth() {
    static const bool done = [] {
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
        return true;
    }();
    (void)done;
}

double framesPerTick(int microsPerBeat, int tempoPercent) {
    return double(microsPerBeat) * 1e-6 * Synthesizer::sampleRate / ticksPerBeat * 100.0 /
           double(tempoPercent);
}

// A synthesizer with the sound font loaded, or nullptr.
fluid_synth_t *newSynth(fluid_settings_t *settings, const QString &soundFont) {
    fluid_synth_t *synth = new_fluid_synth(settings);
    if (synth &&
        fluid_synth_sfload(synth, QFile::encodeName(soundFont).constData(), 1) == FLUID_FAILED) {
        delete_fluid_synth(synth);
        synth = nullptr;
    }
    return synth;
}

} // namespace

Synthesizer::Synthesizer() = default;

Synthesizer::~Synthesizer() {
    if (m_synth) {
        delete_fluid_synth(m_synth);
    }
    if (m_settings) {
        delete_fluid_settings(m_settings);
    }
}

QStringList Synthesizer::standardSoundFonts() {
    return {
        QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2"),
        QStringLiteral("/usr/share/sounds/sf2/FluidR3_GM.sf2"),
        QStringLiteral("/usr/share/sounds/sf3/MuseScore_General.sf3"),
        QStringLiteral("/usr/share/sounds/sf2/default-GM.sf2"),
        QStringLiteral("/usr/share/soundfonts/default.sf2"),
        QStringLiteral("/usr/share/soundfonts/FluidR3_GM.sf2"),
        QStringLiteral("/usr/share/sounds/sf2/default.sf2"),
    };
}

QString Synthesizer::findSoundFont() {
    for (const QString &path : standardSoundFonts()) {
        if (QFileInfo(path).isFile()) {
            return path;
        }
    }
    return QString();
}

Outcome Synthesizer::load(const QString &path) {
    const QString file = path.isEmpty() ? findSoundFont() : path;
    if (file.isEmpty()) {
        return Outcome::failure(
            QStringLiteral("错误"),
            QStringLiteral("找不到音色库（SoundFont）！请安装 timgm6mb-soundfont 或 "
                           "fluid-soundfont-gm，或指定一个 .sf2/.sf3 文件。"));
    }
    if (!QFileInfo(file).isFile()) {
        return Outcome::failure(QStringLiteral("错误"),
                                QStringLiteral("找不到音色库文件：%1").arg(file));
    }
    quietenFluidSynth();
    if (!fluid_is_soundfont(QFile::encodeName(file).constData())) {
        return Outcome::failure(QStringLiteral("错误"),
                                QStringLiteral("不是音色库文件：%1").arg(file));
    }
    if (m_synth) {
        delete_fluid_synth(m_synth);
        m_synth = nullptr;
    }
    if (!m_settings) {
        m_settings = new_fluid_settings();
        fluid_settings_setnum(m_settings, "synth.sample-rate", sampleRate);
        fluid_settings_setnum(m_settings, "synth.gain", 0.5);
        fluid_settings_setint(m_settings, "synth.cpu-cores", 1);
    }
    m_soundFont.clear();
    m_synth = newSynth(m_settings, file);
    if (!m_synth) {
        return Outcome::failure(QStringLiteral("错误"),
                                QStringLiteral("无法读取音色库文件：%1").arg(file));
    }
    m_soundFont = file;
    return Outcome::success(file);
}

bool Synthesizer::isLoaded() const {
    return m_synth != nullptr;
}

QString Synthesizer::soundFontPath() const {
    return m_soundFont;
}

void Synthesizer::start(const Melody &melody, const Options &options) {
    const int percent = std::clamp(options.tempoPercent, 50, 200);
    MidiWriter::Options midi;
    midi.clicks = options.clicks;
    const QVector<MidiWriter::TimedEvent> events = MidiWriter::events(melody, midi);

    m_events.clear();
    m_tempo.clear();
    m_tempo.append({0, 0.0, framesPerTick(defaultMicrosPerBeat, percent)});
    m_musicEnd = 0;
    for (const MidiWriter::TimedEvent &e : events) {
        const qint64 frame = frameOfTick(e.tick);
        const QByteArray &b = e.bytes;
        if (b.isEmpty()) {
            continue;
        }
        const quint8 status = quint8(b.at(0));
        if (status == 0xff) {
            const quint8 type = b.size() > 1 ? quint8(b.at(1)) : 0;
            if (type == 0x51 && b.size() >= 6) {
                const int micros =
                    (quint8(b.at(3)) << 16) | (quint8(b.at(4)) << 8) | quint8(b.at(5));
                const TempoSpan &last = m_tempo.last();
                TempoSpan span{e.tick, last.frame + double(e.tick - last.tick) * last.framesPerTick,
                               framesPerTick(micros > 0 ? micros : defaultMicrosPerBeat, percent)};
                if (span.tick == last.tick) {
                    m_tempo.last() = span;
                } else {
                    m_tempo.append(span);
                }
            } else if (type == 0x2f) {
                m_musicEnd = std::max(m_musicEnd, frame);
            }
            continue;
        }
        if (e.track == 1 && !options.melody) {
            continue;
        }
        m_events.append({frame, b});
        m_musicEnd = std::max(m_musicEnd, frame);
    }

    m_next = 0;
    m_frame = 0;
    if (m_synth) {
        // A new synthesizer every time: one that has played keeps part of its
        // last block and its effects' state, and would not render alike.
        delete_fluid_synth(m_synth);
        m_synth = newSynth(m_settings, m_soundFont);
    }
    if (m_synth) {
        fluid_synth_reverb_on(m_synth, -1, options.effects ? 1 : 0);
        fluid_synth_chorus_on(m_synth, -1, options.effects ? 1 : 0);
    }
}

void Synthesizer::send(const QByteArray &b) {
    if (!m_synth || b.size() < 2) {
        return;
    }
    const quint8 status = quint8(b.at(0));
    const int channel = status & 0x0f;
    const int a = quint8(b.at(1));
    const int v = b.size() > 2 ? quint8(b.at(2)) : 0;
    switch (status & 0xf0) {
    case 0x90:
        if (v > 0) {
            fluid_synth_noteon(m_synth, channel, a, v);
        } else {
            fluid_synth_noteoff(m_synth, channel, a);
        }
        break;
    case 0x80:
        fluid_synth_noteoff(m_synth, channel, a);
        break;
    case 0xb0:
        fluid_synth_cc(m_synth, channel, a, v);
        break;
    case 0xc0:
        fluid_synth_program_change(m_synth, channel, a);
        break;
    case 0xe0:
        fluid_synth_pitch_bend(m_synth, channel, a | (v << 7));
        break;
    default:
        break;
    }
}

int Synthesizer::render(int frames, int16_t *out) {
    if (frames <= 0) {
        return 0;
    }
    const qint64 first = m_frame;
    int done = 0;
    while (done < frames) {
        while (m_next < m_events.size() && m_events.at(m_next).frame <= m_frame) {
            send(m_events.at(m_next).bytes);
            ++m_next;
        }
        qint64 chunk = frames - done;
        if (m_next < m_events.size()) {
            chunk = std::min(chunk, m_events.at(m_next).frame - m_frame);
        }
        if (m_synth) {
            // Floats, rounded here: FluidSynth's own 16-bit output adds a
            // dither that would make no two renderings alike.
            m_float.resize(std::size_t(chunk) * 2);
            fluid_synth_write_float(m_synth, int(chunk), m_float.data(), 0, 2, m_float.data(), 1,
                                    2);
            for (std::size_t i = 0; i < m_float.size(); ++i) {
                const float v = std::clamp(m_float[i] * 32768.0f, -32768.0f, 32767.0f);
                out[2 * done + int(i)] = int16_t(std::lround(v));
            }
        } else {
            std::memset(out + 2 * done, 0, std::size_t(chunk) * 2 * sizeof(int16_t));
        }
        done += int(chunk);
        m_frame += chunk;
    }
    return int(std::clamp<qint64>(lengthFrames() - first, 0, frames));
}

QVector<int16_t> Synthesizer::renderAll(const Melody &melody, const Options &options) {
    if (!m_synth) {
        return {};
    }
    start(melody, options);
    // A vector holds at most INT_MAX values; a longer piece is rendered
    // block by block (WavWriter streams it).
    if (lengthFrames() * channels > std::numeric_limits<int>::max()) {
        return {};
    }
    QVector<int16_t> out(int(lengthFrames() * channels));
    constexpr int block = 4096;
    for (qint64 f = 0; f < lengthFrames(); f += block) {
        render(int(std::min<qint64>(block, lengthFrames() - f)), out.data() + f * channels);
    }
    return out;
}

qint64 Synthesizer::positionFrames() const {
    return m_frame;
}

qint64 Synthesizer::positionTicks() const {
    return tickAtFrame(m_frame);
}

qint64 Synthesizer::tickAtFrame(qint64 frame) const {
    if (m_tempo.isEmpty()) {
        return 0;
    }
    auto it = std::upper_bound(m_tempo.cbegin(), m_tempo.cend(), double(frame),
                               [](double f, const TempoSpan &s) { return f < s.frame; });
    const TempoSpan &span = it == m_tempo.cbegin() ? m_tempo.first() : *(it - 1);
    return span.tick + qint64(std::floor((double(frame) - span.frame) / span.framesPerTick));
}

bool Synthesizer::finished() const {
    return m_frame >= lengthFrames();
}

qint64 Synthesizer::frameOfTick(qint64 tick) const {
    if (m_tempo.isEmpty()) {
        return 0;
    }
    auto it = std::upper_bound(m_tempo.cbegin(), m_tempo.cend(), tick,
                               [](qint64 t, const TempoSpan &s) { return t < s.tick; });
    const TempoSpan &span = it == m_tempo.cbegin() ? m_tempo.first() : *(it - 1);
    return qint64(std::llround(span.frame + double(tick - span.tick) * span.framesPerTick));
}

qint64 Synthesizer::musicFrames() const {
    return m_musicEnd;
}

qint64 Synthesizer::lengthFrames() const {
    return m_musicEnd + qint64(releaseSeconds * sampleRate);
}

} // namespace music

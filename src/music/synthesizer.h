#pragma once

#include "model/outcome.h"
#include "music/melody.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;

namespace music {

// Plays a melody through FluidSynth with a General MIDI sound font, from the
// very events the MIDI export writes (MidiWriter::events), so that what is
// heard and what is exported never disagree. Renders 16-bit stereo frames at
// sampleRate without any audio device: all at once (renderAll), or block by
// block (start, then render) for whoever feeds an audio output. No widgets.
class Synthesizer {
public:
    static constexpr int sampleRate = 44100;
    static constexpr int channels = 2;

    struct Options {
        int tempoPercent = 100; // 50..200: the document's tempo scaled
        bool clicks = true;     // the 板眼 clicks
        bool melody = true;     // the flute; off for the clicks alone
        bool effects = true;    // the sound font's reverb and chorus
    };

    Synthesizer();
    ~Synthesizer();
    Synthesizer(const Synthesizer &) = delete;
    Synthesizer &operator=(const Synthesizer &) = delete;

    // The places where Debian's sound font packages put a General MIDI font,
    // in the order they are tried.
    static QStringList standardSoundFonts();
    // The first of them that exists, or an empty string.
    static QString findSoundFont();

    // Loads a .sf2/.sf3 sound font; an empty path means the first of the
    // standard places. Fails with a message for the user when there is none
    // or it cannot be read.
    Outcome load(const QString &path = QString());
    bool isLoaded() const;
    QString soundFontPath() const;

    // Prepares to play from the start; render() then advances through it.
    // Without a loaded sound font, render() gives silence.
    void start(const Melody &melody, const Options &options);
    // Writes `frames` interleaved stereo frames (2 * frames values) to out,
    // silence once the piece and its release are over; returns the frames
    // of the piece they held (less than `frames` at its end, 0 after it).
    int render(int frames, int16_t *out);
    // Everything of the piece at once, its release included: the frames a
    // WAV file holds. Empty when no sound font is loaded.
    QVector<int16_t> renderAll(const Melody &melody, const Options &options);

    // Where playback is: the frames rendered, and the tick of the melody
    // that sounds there (Melody's time, whatever the tempo percentage).
    qint64 positionFrames() const;
    qint64 positionTicks() const;
    bool finished() const;
    // The frame at which a tick of the started melody sounds, and the tick
    // that sounds at a frame.
    qint64 frameOfTick(qint64 tick) const;
    qint64 tickAtFrame(qint64 frame) const;
    // The frames of the started piece: up to its last event, and with the
    // release that lets the last notes fade.
    qint64 musicFrames() const;
    qint64 lengthFrames() const;

    static constexpr double releaseSeconds = 1.0;

private:
    struct Scheduled {
        qint64 frame = 0;
        QByteArray bytes;
    };
    // A stretch of constant tempo: from tick (at frame) on.
    struct TempoSpan {
        qint64 tick = 0;
        double frame = 0;
        double framesPerTick = 0;
    };

    void send(const QByteArray &bytes);

    _fluid_hashtable_t *m_settings = nullptr;
    _fluid_synth_t *m_synth = nullptr;
    QString m_soundFont;
    QVector<Scheduled> m_events;
    QVector<TempoSpan> m_tempo;
    std::vector<float> m_float;
    int m_next = 0;
    qint64 m_frame = 0;
    qint64 m_musicEnd = 0;
};

} // namespace music

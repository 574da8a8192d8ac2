// Reading MIDI files of 100, 1,000 and 10,000 bars, as the MIDI writer makes
// them: a conductor track, the flute's notes with a syllable on every other
// one, and the clicks of the 板眼 on the percussion channel. The time should
// grow with the bars, no faster.
#include "import/midifilereader.h"
#include "music/midiwriter.h"

#include <benchmark/benchmark.h>

namespace {

// A tune in 一板三眼 of `bars` bars, five notes to a bar.
music::Melody melodyOf(int bars) {
    music::Melody m;
    music::Section s;
    s.meter = music::Meter::YiBanSanYan;
    s.meterGuessed = false;
    s.end = qint64(bars) * 4 * music::ticksPerBeat;
    static const qint64 shares[] = {480, 240, 240, 480, 480};
    static const int pitches[] = {74, 76, 78, 81, 83, 81, 78};
    static const QString words = QStringLiteral("原来姹紫嫣红开遍似这般都付与断井颓垣");
    qint64 t = 0;
    int n = 0;
    for (int bar = 0; bar < bars; ++bar) {
        for (qint64 share : shares) {
            music::Note note;
            note.midi = pitches[n % 7];
            note.onset = t;
            note.duration = share;
            note.character = n / 2;
            if (n % 2 == 0) {
                note.lyric = words.at((n / 2) % words.size());
            }
            m.notes.append(note);
            t += share;
            ++n;
        }
        for (int beat = 0; beat < 4; ++beat) {
            m.clicks.append({qint64(bar) * 1920 + beat * 480, beat == 0});
        }
    }
    s.noteCount = m.notes.size();
    m.sections.append(s);
    return m;
}

void BM_ReadMidi(benchmark::State &state) {
    const int bars = int(state.range(0));
    music::MidiWriter::Options options;
    options.title = QStringLiteral("游园");
    const QByteArray file = music::MidiWriter::encode(melodyOf(bars), options);
    std::size_t notes = 0;
    for (auto _ : state) {
        const music::SourceReading reading = music::MidiFileReader::read(file);
        notes = std::size_t(reading.score.notes.size());
        benchmark::DoNotOptimize(reading);
    }
    state.counters["notes"] = double(notes);
    state.SetBytesProcessed(state.iterations() * file.size());
    state.SetItemsProcessed(state.iterations() * bars);
}
BENCHMARK(BM_ReadMidi)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

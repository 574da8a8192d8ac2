// Building the melody of the sample piece repeated to 10 and to 100 pages.
// The sample (examples/youyuan-zaoluopao.gcp) sets two pages: one forced page
// break between two pages of sung text. Also its offline rendering to sound.
#include "model/linegrammar.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "music/melodybuilder.h"
#include "music/synthesizer.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int samplePages = 2;

// The lyric lines of the sample `copies` times over, with their score lines.
DocumentLines sampleRepeated(int copies, int *sung) {
    QString lyric, score;
    readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"), &lyric,
                  &score);
    const QStringList lyricLines = editorLines(lyric);
    int characters = 0;
    for (const QString &line : lyricLines) {
        if (!isDirectiveLine(line)) {
            characters += sungCharCount(line);
        }
    }
    QStringList scoreLines = editorLines(score).mid(0, characters);
    while (scoreLines.size() < characters) {
        scoreLines.append(QString());
    }
    QStringList lyricOut, scoreOut;
    for (int i = 0; i < copies; ++i) {
        lyricOut += lyricLines;
        scoreOut += scoreLines;
    }
    *sung = characters * copies;
    return renderModel(lyricOut, scoreOut);
}

void BM_BuildMelody(benchmark::State &state) {
    const int pages = int(state.range(0));
    int sung = 0;
    const DocumentLines lines = sampleRepeated(pages / samplePages, &sung);
    const music::MelodyBuilder builder;
    std::size_t notes = 0;
    for (auto _ : state) {
        const music::Melody melody = builder.build(lines);
        notes = std::size_t(melody.notes.size());
        benchmark::DoNotOptimize(melody);
    }
    state.counters["notes"] = double(notes);
    state.SetItemsProcessed(state.iterations() * sung);
}
BENCHMARK(BM_BuildMelody)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

// One tune rebuilt on its own, as a keystroke in the editor does.
void BM_BuildOneTune(benchmark::State &state) {
    int sung = 0;
    const DocumentLines lines = sampleRepeated(int(state.range(0)) / samplePages, &sung);
    const music::MelodyBuilder builder;
    const QVector<music::MelodyBuilder::Tune> tunes = music::MelodyBuilder::tunes(lines);
    const music::MelodyBuilder::Tune &t = tunes.at(tunes.size() / 2);
    const DocumentLines part = lines.mid(t.firstLine, t.lineCount);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            builder.buildTune(part, t.firstLine, t.firstCharacter, builder.initialSettings()));
    }
}
BENCHMARK(BM_BuildOneTune)->Arg(100)->Unit(benchmark::kMicrosecond);

// The sample rendered offline by FluidSynth, as the WAV export renders it
// (clicks, reverb and chorus on). "realtime" is the seconds of sound made in
// a second: playback and export need it well above 50.
void BM_RenderSample(benchmark::State &state) {
    int sung = 0;
    const music::Melody melody = music::MelodyBuilder().build(sampleRepeated(1, &sung));
    music::Synthesizer synthesizer;
    if (!synthesizer.load().ok()) {
        state.SkipWithError("no General MIDI sound font");
        return;
    }
    double audioSeconds = 0;
    for (auto _ : state) {
        const QVector<int16_t> frames = synthesizer.renderAll(melody, {});
        audioSeconds =
            double(frames.size() / music::Synthesizer::channels) / music::Synthesizer::sampleRate;
        benchmark::DoNotOptimize(frames.constData());
    }
    state.counters["audio_s"] = audioSeconds;
    state.counters["realtime"] =
        benchmark::Counter(audioSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderSample)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();

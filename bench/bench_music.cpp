// Building the melody of the sample piece repeated to 10, 100 and 1,000
// pages. The sample (examples/youyuan-zaoluopao.gcp) sets two pages: one
// forced page break between two pages of sung text. Its MusicXML export with
// 100, 1,000 and 3,000 tunes, and its offline rendering to sound.
#include "model/linegrammar.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "music/melodybuilder.h"
#include "music/musicxmlwriter.h"
#include "music/synthesizer.h"

#include <algorithm>
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
BENCHMARK(BM_BuildMelody)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The MusicXML of a piece of the given number of tunes: the sample repeated,
// every other copy in 散板 (free bars) so that both kinds of bar are laid.
void BM_WriteMusicXml(benchmark::State &state) {
    const int wanted = int(state.range(0));
    int sung = 0;
    const int perCopy =
        std::max(1, int(music::MelodyBuilder().build(sampleRepeated(1, &sung)).sections.size()));
    const DocumentLines lines = sampleRepeated((wanted + perCopy - 1) / perCopy, &sung);
    music::Melody melody = music::MelodyBuilder().build(lines);
    for (int i = 0; i < melody.sections.size(); i += 2) {
        melody.sections[i].meter = music::Meter::SanBan;
        melody.sections[i].zeng = false;
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        const QByteArray xml = music::MusicXmlWriter::encode(melody, {});
        bytes = std::size_t(xml.size());
        benchmark::DoNotOptimize(xml.constData());
    }
    state.counters["tunes"] = double(melody.sections.size());
    state.counters["notes"] = double(melody.notes.size());
    state.counters["MB"] = double(bytes) / 1e6;
    state.SetItemsProcessed(state.iterations() * melody.notes.size());
}
BENCHMARK(BM_WriteMusicXml)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

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

// From pressing play to the first buffer handed to the sound output, on the
// sample piece (examples/youyuan-zaoluopao.gcp) from its middle: building the
// melody of the document, cutting the excerpt, starting the synthesizer and
// rendering the first buffer. The sink is the silent clock, which takes its
// first buffer at once as a device does; "first_buffer_us" is the player's
// own measure, from play() to that buffer. Cold: a new player, which loads
// the sound font; warm: the player of the previous press.
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "music/melodybuilder.h"
#include "music/playbackexcerpt.h"
#include "music/synthesizer.h"
#include "playback/clockaudiosink.h"
#include "playback/player.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

DocumentLines sample() {
    QString lyric, score;
    readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"), &lyric,
                  &score);
    return renderModel(lyric, score);
}

std::unique_ptr<Player> newPlayer() {
    auto player = std::make_unique<Player>();
    player->setSinkFactory([](QObject *parent) { return new ClockAudioSink(parent); });
    return player;
}

void press(benchmark::State &state, bool cold) {
    if (music::Synthesizer::findSoundFont().isEmpty()) {
        state.SkipWithError("no General MIDI sound font");
        return;
    }
    const DocumentLines lines = sample();
    std::unique_ptr<Player> player = newPlayer();
    double latency = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            player = newPlayer();
            state.ResumeTiming();
        }
        const music::Melody melody = music::MelodyBuilder().build(lines);
        music::PlaybackExcerpt::Request request;
        request.fromCharacter = 40;
        const Outcome played = player->play(music::PlaybackExcerpt::cut(melody, request), {}, false);
        if (!played) {
            state.SkipWithError("cannot play");
            return;
        }
        latency += double(player->startLatencyMicroseconds());
        state.PauseTiming();
        player->stop();
        state.ResumeTiming();
    }
    state.counters["first_buffer_us"] = latency / double(state.iterations());
}

void BM_PressToFirstBufferCold(benchmark::State &state) {
    press(state, true);
}
BENCHMARK(BM_PressToFirstBufferCold)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PressToFirstBufferWarm(benchmark::State &state) {
    press(state, false);
}
BENCHMARK(BM_PressToFirstBufferWarm)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv); // the clock sink's timer
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

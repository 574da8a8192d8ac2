// The staff edition: engraving the sample aria (examples/youyuan-zaoluopao.gcp)
// and a document of 50 staff pages (the aria's tunes over and over,
// each copy's headings numbered so that no two tunes are the same) with
// LilyPond, the first time (an empty cache) and again (every tune from the
// cache), and what the preview waits for after an edit of one character:
// the one tune it changed engraved, the others from the cache. Times are
// wall-clock: the work is done in LilyPond's process. Needs lilypond.
#include "model/linegrammar.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "platform/apppaths.h"
#include "staff/staffedition.h"
#include "staff/staffengraver.h"
#include "typeset/typesetter.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// The sample's lyric and score lines, copies times over; each copy's
// headings carry its number.
DocumentLines sample(int copies) {
    QString lyric, score;
    readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"), &lyric,
                  &score);
    const QStringList lyricLines = editorLines(lyric);
    const QStringList scoreLines = editorLines(score);
    QStringList lyricOut;
    QStringList scoreOut;
    for (int i = 0; i < copies; ++i) {
        for (const QString &line : lyricLines) {
            const bool heading = lineKindOf(line) == LineKind::QuPai;
            QString copy = line;
            if (heading && copies > 1) {
                copy.replace(QStringLiteral("】"), QStringLiteral("其%1】").arg(i + 1));
            }
            lyricOut << copy;
        }
        scoreOut += scoreLines;
    }
    return renderModel(lyricOut.join(QLatin1Char('\n')), scoreOut.join(QLatin1Char('\n')));
}

PageStyle staffStyle() {
    PageStyle style;
    style.notation = PageStyle::Notation::Staff;
    return style;
}

void report(benchmark::State &state, const Typesetter &typesetter, double seconds) {
    const int pages = typesetter.pages().size();
    state.counters["pages"] = pages;
    state.counters["s_per_page"] =
        benchmark::Counter(seconds / double(std::max(pages, 1)) / double(state.iterations()));
}

// copies of the sample, engraved into an empty cache.
void BM_EngraveFirst(benchmark::State &state) {
    const DocumentLines lines = sample(int(state.range(0)));
    Typesetter typesetter;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir cache;
        StaffEdition edition;
        edition.engraver()->setCacheDirectory(cache.path());
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        if (!edition.engrave(&typesetter, lines, staffStyle())) {
            state.SkipWithError("LilyPond failed");
            return;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    report(state, typesetter, seconds);
}

// A document engraved once into a cache of its own.
struct Engraved {
    explicit Engraved(const DocumentLines &document)
        : lines(document) {
        edition.engraver()->setCacheDirectory(cache.path());
        ok = edition.engrave(&typesetter, lines, staffStyle()).ok();
    }
    DocumentLines lines;
    Typesetter typesetter;
    QTemporaryDir cache;
    StaffEdition edition;
    bool ok = false;
};

// The same with every tune in the cache.
void BM_EngraveCached(benchmark::State &state) {
    Engraved engraved(sample(int(state.range(0))));
    if (!engraved.ok) {
        state.SkipWithError("LilyPond failed");
        return;
    }
    const DocumentLines &lines = engraved.lines;
    Typesetter &typesetter = engraved.typesetter;
    StaffEdition &edition = engraved.edition;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        edition.engrave(&typesetter, lines, staffStyle());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    report(state, typesetter, seconds);
}

// One character's score changed in the document: its tune engraved again,
// every other tune from the cache. Each iteration changes it anew.
void BM_PreviewAfterEdit(benchmark::State &state) {
    Engraved engraved(sample(int(state.range(0))));
    if (!engraved.ok) {
        state.SkipWithError("LilyPond failed");
        return;
    }
    DocumentLines &lines = engraved.lines;
    Typesetter &typesetter = engraved.typesetter;
    StaffEdition &edition = engraved.edition;
    // The first sung character's first pitch, a different one each time.
    int line = 0;
    while (line < lines.size() && lines.at(line).kind != LineKind::Lyric) {
        ++line;
    }
    const QVector<char32_t> pitches = {0xF002C, 0xF002E, 0xF0030};
    int tunesEngraved = 0;
    int k = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (QString &score : lines[line].scores) {
            if (!score.isEmpty()) {
                const char32_t pitch = pitches.at(++k % pitches.size());
                score = QString::fromUcs4(&pitch, 1) + score.mid(2);
                break;
            }
        }
        state.ResumeTiming();
        edition.engrave(&typesetter, lines, staffStyle());
        tunesEngraved = edition.engraver()->result().engraved;
    }
    state.counters["pages"] = typesetter.pages().size();
    state.counters["tunes_engraved"] = tunesEngraved;
}

} // namespace

// The sample (two pages), and 25 copies of it: 50 pages.
BENCHMARK(BM_EngraveFirst)->Arg(1)->Arg(25)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_EngraveCached)->Arg(1)->Arg(25)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PreviewAfterEdit)
    ->Arg(1)
    ->Arg(25)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(3);

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_FONT_DPI", "96");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    AppPaths::setProgramDirOverride(dir.path(), true);
    if (StaffEngraver::program().isEmpty()) {
        std::fputs("lilypond is not installed\n", stderr);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

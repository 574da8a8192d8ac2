// The input method's costs: building the dictionary tree, searching it, and
// one typed letter in compositions of one to six segments.
#include "editor/inputmethod.h"
#include "inputmethod/scoretree.h"
#include "platform/apppaths.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// Letters that split one segment each: g'c'g'c'g'c.
const QString composition = QStringLiteral("gcgcgc");

void BM_BuildTree(benchmark::State &state) {
    for (auto _ : state) {
        ScoreTree tree(QStringLiteral("wordsdict.csv"));
        benchmark::DoNotOptimize(tree.filePath());
    }
}
BENCHMARK(BM_BuildTree)->Unit(benchmark::kMicrosecond);

// The first start: the dictionary file is created from the resource first.
void BM_BuildTreeFirstStart(benchmark::State &state) {
    QTemporaryDir dir;
    const QString previous = AppPaths::programDir();
    AppPaths::setProgramDirOverride(dir.path());
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(dir.filePath(QStringLiteral("wordsdict.csv")));
        state.ResumeTiming();
        ScoreTree tree(QStringLiteral("wordsdict.csv"));
        benchmark::DoNotOptimize(tree.filePath());
    }
    AppPaths::setProgramDirOverride(previous);
}
BENCHMARK(BM_BuildTreeFirstStart)->Unit(benchmark::kMicrosecond);

void BM_SearchPrefixY(benchmark::State &state) {
    ScoreTree tree(QStringLiteral("wordsdict.csv"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(tree.search(QStringLiteral("y"), true));
    }
}
BENCHMARK(BM_SearchPrefixY);

// The letter that opens segment n, after n - 1 letters already typed.
void BM_AppendLetter(benchmark::State &state) {
    const int segments = static_cast<int>(state.range(0));
    InputMethod im(6);
    for (auto _ : state) {
        state.PauseTiming();
        im.reset();
        for (int i = 0; i + 1 < segments; ++i) {
            im.appendText(composition.mid(i, 1));
        }
        state.ResumeTiming();
        im.appendText(composition.mid(segments - 1, 1));
    }
    state.counters["candidates"] = im.candidates().size();
}
BENCHMARK(BM_AppendLetter)->DenseRange(1, 6)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_FONT_DPI", "96");
    // The offscreen platform warns about raising every popup it shows.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QApplication app(argc, argv);
    QTemporaryDir dir;
    AppPaths::setProgramDirOverride(dir.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    AppPaths::setProgramDirOverride(QString());
    return 0;
}

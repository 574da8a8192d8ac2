// Reading and writing a 5 MB score file; the render model of documents of
// 200 and of 20,000 sung characters.
#include "model/rendermodel.h"
#include "model/scorefile.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// About 5.3 MB on disk: a lyric of 400,000 units and a score of 2,250,000 units.
void makeDocument(QString *lyric, QString *score) {
    const QString line = QStringLiteral("春香你好，闲庭院");
    const QString symbols = QString::fromUcs4(U"\U000F002C\U000F0000\U000F0030\U000F0001\n");
    for (int i = 0; i < 50000; ++i) {
        lyric->append(line);
        score->append(symbols.repeated(5));
    }
}

void BM_WriteScoreFile(benchmark::State &state) {
    QString lyric, score;
    makeDocument(&lyric, &score);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.gcp"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(writeScoreFile(path, lyric, score));
    }
    state.SetBytesProcessed(state.iterations() * (16 + 2 * (lyric.size() + score.size())));
}
BENCHMARK(BM_WriteScoreFile)->Unit(benchmark::kMillisecond);

void BM_ReadScoreFile(benchmark::State &state) {
    QString lyric, score;
    makeDocument(&lyric, &score);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.gcp"));
    writeScoreFile(path, lyric, score);
    for (auto _ : state) {
        QString l, s;
        benchmark::DoNotOptimize(readScoreFile(path, &l, &s));
    }
    state.SetBytesProcessed(state.iterations() * (16 + 2 * (lyric.size() + score.size())));
}
BENCHMARK(BM_ReadScoreFile)->Unit(benchmark::kMillisecond);

// Lines of seven sung characters and a comma, with CR LF line breaks (as a
// file from elsewhere may have), one score line of four symbols per character.
void BM_RenderModel(benchmark::State &state) {
    const int sung = int(state.range(0));
    QString lyric, score;
    const QString symbols = QString::fromUcs4(U"\U000F002C\U000F0000\U000F0030\U000F0001");
    for (int i = 0; i < sung; i += 7) {
        lyric += QStringLiteral("原来姹紫嫣红开，\r\n");
    }
    for (int i = 0; i < sung; ++i) {
        score += symbols + QStringLiteral("\r\n");
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(renderModel(lyric, score));
    }
    state.SetItemsProcessed(state.iterations() * sung);
}
BENCHMARK(BM_RenderModel)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

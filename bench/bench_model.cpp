// Reading and writing a 5 MB score file.
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

} // namespace

BENCHMARK_MAIN();

// One autosave write of a 20,000-character document: what the user's typing
// waits for when a tab's recovery timer fires. A save of that document with
// its backup, and the look at the disk when the window becomes active.
#include "editor/documenttab.h"
#include "editor/filewatch.h"
#include "model/backupstore.h"
#include "model/recoverystore.h"
#include "model/scorefile.h"
#include "shell/autosaver.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// 20,000 sung characters in lines of 8 with punctuation, and their score: two
// gongche symbols (surrogate pairs) on each of the 20,000 score lines.
void makeDocument(QString *lyric, QString *score) {
    const QString line = QStringLiteral("原来姹紫嫣红开遍，\n");
    const QString symbols = QString::fromUcs4(U"\U000F002C\U000F0000\n");
    for (int i = 0; i < 2500; ++i) {
        lyric->append(line);
    }
    for (int i = 0; i < 20000; ++i) {
        score->append(symbols);
    }
}

// The recovery file alone: encoding, checksum, temporary file, sync, rename.
void BM_RecoveryWrite(benchmark::State &state) {
    QString lyric, score;
    makeDocument(&lyric, &score);
    QTemporaryDir dir;
    RecoveryStore store(dir.path());
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.write(1, QStringLiteral("/home/曲/游园.gcp"), lyric, score));
    }
    state.SetBytesProcessed(state.iterations() * 2 * (lyric.size() + score.size()));
}
BENCHMARK(BM_RecoveryWrite)->Unit(benchmark::kMillisecond);

// The encoding alone, without the file system.
void BM_RecoveryEncode(benchmark::State &state) {
    QString lyric, score;
    makeDocument(&lyric, &score);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            RecoveryStore::encode(now, QStringLiteral("/home/曲/游园.gcp"), lyric, score));
    }
}
BENCHMARK(BM_RecoveryEncode)->Unit(benchmark::kMicrosecond);

// What the timer does: both texts out of the editors, then the write.
void BM_AutosaveTab(benchmark::State &state) {
    QString lyric, score;
    makeDocument(&lyric, &score);
    QTemporaryDir dir;
    Autosaver saver(nullptr, dir.path());
    DocumentTab edit;
    edit.restore(lyric, score, QStringLiteral("/home/曲/游园.gcp"));
    saver.watch(&edit);
    for (auto _ : state) {
        benchmark::DoNotOptimize(saver.writeNow(&edit));
    }
}
BENCHMARK(BM_AutosaveTab)->Unit(benchmark::kMillisecond);

// Reading it back at start-up.
void BM_RecoveryRead(benchmark::State &state) {
    QString lyric, score;
    makeDocument(&lyric, &score);
    QTemporaryDir dir;
    RecoveryStore store(dir.path());
    store.write(1, QStringLiteral("/home/曲/游园.gcp"), lyric, score);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RecoveryStore::read(store.fileFor(1)));
    }
}
BENCHMARK(BM_RecoveryRead)->Unit(benchmark::kMillisecond);

// A save as the tab makes it: the version on disk kept, then the new one
// written. Every round changes the text, so every round copies.
void BM_SaveWithBackup(benchmark::State &state) {
    QString lyric, score;
    makeDocument(&lyric, &score);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("score.gcp"));
    writeScoreFile(path, lyric, score);
    BackupStore store(dir.filePath(QStringLiteral("backups")));
    int round = 0;
    for (auto _ : state) {
        lyric[0] = QChar(0x4E00 + (++round % 100));
        benchmark::DoNotOptimize(store.keep(path));
        benchmark::DoNotOptimize(writeScoreFile(path, lyric, score));
    }
}
BENCHMARK(BM_SaveWithBackup)->Unit(benchmark::kMillisecond);

// Whether the file changed on disk, when it did not (size and time agree).
void BM_FileWatchCheck(benchmark::State &state) {
    QString lyric, score;
    makeDocument(&lyric, &score);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("score.gcp"));
    writeScoreFile(path, lyric, score);
    FileWatch watch;
    watch.track(path, encodeScoreFile(lyric, score));
    for (auto _ : state) {
        benchmark::DoNotOptimize(watch.check());
    }
}
BENCHMARK(BM_FileWatchCheck)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

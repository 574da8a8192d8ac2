// The score library with 5,000 generated score files (varied titles, 曲牌,
// 宫调, settings, lyrics and melodies; fixed seed): indexing them all, each
// kind of search among them (goal: under 50 ms each), and the start-up of a
// program whose index is up to date (opening and checking the index plus the
// modification-time check of every file; goal: under 200 ms).
#include "library/libraryindex.h"
#include "model/gongchesymbol.h"
#include "model/scorefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr int fileCount = 5000;

const char *const quPai[][2] = {
    {"皂罗袍", "仙吕"}, {"好姐姐", "仙吕"}, {"山坡羊", "商调"}, {"步步娇", "仙吕"},
    {"醉扶归", "仙吕"}, {"山桃红", "越调"}, {"绵搭絮", "越调"}, {"集贤宾", "商调"},
    {"黄莺儿", "商调"}, {"二郎神", "商调"}, {"新水令", "双调"}, {"折桂令", "双调"},
    {"点绛唇", "仙吕"}, {"混江龙", "仙吕"}, {"粉蝶儿", "中吕"}, {"醉春风", "中吕"},
    {"端正好", "正宫"}, {"滚绣球", "正宫"}, {"一枝花", "南吕"}, {"梁州第七", "南吕"},
    {"懒画眉", "南吕"}, {"朝元歌", "南吕"}, {"小桃红", "越调"}, {"下山虎", "黄钟"},
};
const char *const keys[] = {"小工调", "尺字调", "正工调", "凡字调", "六字调", "乙字调", "上字调"};
const char *const meters[] = {"一板三眼", "一板一眼", "加赠一板三眼", "流水板", "散板"};

// Characters for lyrics and titles: a few hundred common ones.
const QString characters =
    QStringLiteral("春夏秋冬风花雪月山水云烟江河湖海天地日星人心情意思梦魂香玉金银红绿青白黄紫"
                   "良辰美景奈何赏乐事谁家院朝飞暮卷霞翠轩雨丝片波画船锦屏忒看韶光贱原来姹嫣开遍"
                   "似这般都付与断井颓垣不到园林怎知色如许没乱里难遣蓦地怀人幽怨则为俺生小婵娟拣"
                   "名门一例一例里神仙眷甚良缘把青春抛的远俺的睡情谁见则索因循腼腆想幽梦谁边和春"
                   "光暗流转迁延这衷怀那处言淹煎泼残生除问天袅晴丝吹来闲庭院摇漾如线停半晌整花钿"
                   "没揣菱花偷人半面迤逗的彩云偏步香闺怎便把全身现你道翠生生出落的裙衫儿茜艳晶晶");

// Lines that recur in many pieces, as set phrases do.
const char *const phrases[] = {"良辰美景奈何天",   "原来姹紫嫣红开遍", "赏心乐事谁家院",
                               "袅晴丝吹来闲庭院", "则为你如花美眷",   "似水流年"};

QString pick(QRandomGenerator &random, const QString &from, int count) {
    QString out;
    for (int i = 0; i < count; ++i) {
        out.append(from.at(int(random.bounded(from.size()))));
    }
    return out;
}

QString symbol(char32_t code) {
    return QString::fromUcs4(&code, 1);
}

// A score line: one to four pitch signs of any series and octave, beat
// marks and now and then an ornament.
QString scoreLine(QRandomGenerator &random) {
    using S = GongcheSymbol;
    QString line;
    const int notes = 1 + int(random.bounded(4));
    for (int n = 0; n < notes; ++n) {
        char32_t code = 0;
        while (code == 0) {
            const auto series = S::Series(random.bounded(10) < 8 ? 0 : random.bounded(4));
            const auto octave = S::Octave(int(random.bounded(10) < 7 ? 0 : random.bounded(4)) - 1);
            code = S::pitchCode(series, octave, S::PitchName(random.bounded(10)));
        }
        line += symbol(code);
        if (n == 0) {
            line += symbol(random.bounded(2) ? S::TouBan : S::XiaoYan);
        }
        if (random.bounded(12) == 0) {
            line += symbol(S::HuoQiang);
        }
    }
    return line;
}

void writeFile(QRandomGenerator &random, const QString &path, int index) {
    QStringList lyric;
    lyric << QStringLiteral("# %1·%2").arg(pick(random, characters, 3)).arg(index);
    QStringList score;
    const int tunes = 1 + int(random.bounded(3));
    for (int t = 0; t < tunes; ++t) {
        const auto &q = quPai[random.bounded(int(sizeof quPai / sizeof quPai[0]))];
        lyric << QStringLiteral("【%1】(%2)").arg(QString::fromUtf8(q[0]), QString::fromUtf8(q[1]));
        lyric << QStringLiteral("; 笛色=%1 板式=%2")
                     .arg(QString::fromUtf8(keys[random.bounded(7)]),
                          QString::fromUtf8(meters[random.bounded(5)]));
        const int lines = 4 + int(random.bounded(6));
        for (int l = 0; l < lines; ++l) {
            QString words = random.bounded(20) == 0
                                ? QString::fromUtf8(phrases[random.bounded(6)])
                                : pick(random, characters, 5 + int(random.bounded(5)));
            const int length = words.size();
            lyric << words + QStringLiteral("，");
            for (int c = 0; c < length; ++c) {
                score << scoreLine(random);
            }
        }
    }
    writeScoreFile(path, lyric.join(QLatin1Char('\n')), score.join(QLatin1Char('\n')));
}

// The generated library, made once for the whole run, in folders of 100.
// QORVEL_BENCH_LIBRARY names a folder to keep it in between runs.
struct Library {
    QTemporaryDir dir;
    QString folder;
    QString index;
    Library() {
        const QString kept = qEnvironmentVariable("QORVEL_BENCH_LIBRARY");
        const QString root = kept.isEmpty() ? dir.path() : kept;
        folder = root + QStringLiteral("/scores");
        index = root + QStringLiteral("/library.sqlite");
        QFile::remove(index);
        const QString done = root + QStringLiteral("/complete");
        if (QFile::exists(done)) {
            return;
        }
        QRandomGenerator random(5000);
        for (int i = 0; i < fileCount; ++i) {
            const QString sub = QStringLiteral("%1/%2").arg(folder).arg(i / 100);
            if (i % 100 == 0) {
                QDir().mkpath(sub);
            }
            writeFile(random, QStringLiteral("%1/%2.gcp").arg(sub).arg(i), i);
        }
        QFile marker(done);
        marker.open(QIODevice::WriteOnly);
    }
};

Library &library() {
    static Library l;
    return l;
}

// The index of the whole library, built once.
LibraryIndex &builtIndex() {
    static std::unique_ptr<LibraryIndex> index = [] {
        auto i = std::make_unique<LibraryIndex>();
        i->open(library().index);
        i->update({library().folder});
        return i;
    }();
    return *index;
}

void BM_IndexLibrary(benchmark::State &state) {
    Library &lib = library();
    for (auto _ : state) {
        QTemporaryDir dir;
        LibraryIndex index;
        index.open(dir.filePath(QStringLiteral("fresh.sqlite")));
        const LibraryIndex::UpdateReport report = index.update({lib.folder});
        if (report.added != fileCount) {
            state.SkipWithError("not every file was indexed");
        }
    }
    state.counters["files"] = fileCount;
}
BENCHMARK(BM_IndexLibrary)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Search(benchmark::State &state, const char *query) {
    LibraryIndex &index = builtIndex();
    const QString text = QString::fromUtf8(query);
    const QStringList folders{library().folder};
    int hits = 0;
    for (auto _ : state) {
        hits = index.search(text, folders).size();
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = hits;
}
BENCHMARK_CAPTURE(BM_Search, title, "标题:·123")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, quPai, "曲牌:山坡羊")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, gongDiao, "宫调:越调")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, diSe, "笛色:尺字调")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, banShi, "板式:加赠一板三眼")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, words3, "词:奈何天")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, words2, "词:姹紫")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, words1, "词:袅")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, bare, "嫣红")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, melody, "腔:工尺上四合")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, intervals, "音程:工尺上四合")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, twoTerms, "曲牌:皂罗袍 词:春风")->Unit(benchmark::kMillisecond);

// A program starting with an up-to-date index: the index opened and checked,
// every file's time and size compared, nothing read.
void BM_StartUpCheck(benchmark::State &state) {
    builtIndex().close();
    Library &lib = library();
    for (auto _ : state) {
        LibraryIndex index;
        index.open(lib.index);
        const LibraryIndex::UpdateReport report = index.update({lib.folder});
        if (report.unchanged != fileCount) {
            state.SkipWithError("the index was not up to date");
        }
    }
}
BENCHMARK(BM_StartUpCheck)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

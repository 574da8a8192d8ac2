// Typesetting realistic documents: sung lines with full gongche scores,
// headings and spoken passages, for 10 and for 100 pages, as gongche columns
// and as 简谱 systems; writing 100 pages
// as PDF, PNG and SVG; drawing one page image; the preview pane's live
// preview. The image writers draw and encode on every core: their times and
// rates are wall-clock times, the CPU time of the calling thread says little.
#include "dialogs/prompt.h"
#include "export/exportconfig.h"
#include "export/exportsettingsform.h"
#include "export/previewpane.h"
#include "fonts/fontsubstitutions.h"
#include "platform/apppaths.h"
#include "typeset/typesetter.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QString sym(char32_t c) {
    return QString::fromUcs4(&c, 1);
}

// One "scene" of a piece; about one page at the default settings.
DocumentLines scene() {
    const QStringList scores = {
        sym(0xF002C) + sym(0xF0000) + sym(0xF0030),
        sym(0xF0030) + sym(0xF0001) + sym(0xF002F) + sym(0xF0031),
        sym(0xF0031) + sym(0xF0006) + sym(0xF002C),
        sym(0xF002C) + sym(0xF0002) + sym(0xF0060),
        sym(0xF0033) + sym(0xF0000) + sym(0xF0031) + sym(0xF0001) + sym(0xF002E),
        sym(0xF002E) + sym(0xF000A) + sym(0xF002C),
        sym(0xF0030) + sym(0xF000C) + sym(0xF002F),
        sym(0xF002F) + sym(0xF0004) + sym(0xF0008),
    };
    int k = 0;
    DocumentLines lines;
    auto add = [&](const QString &text) {
        DocumentLine l;
        l.text = text;
        l.kind = lineKindOf(text);
        if (l.kind == LineKind::Lyric) {
            for (QChar c : text) {
                l.scores << (isSungChar(c) ? scores.at(k++ % scores.size()) : QString());
            }
        }
        lines << l;
    };
    add(QStringLiteral("【皂罗袍】(仙吕)"));
    add(QStringLiteral("原来姹紫嫣红开遍，似这般都付与断井颓垣。"));
    add(QStringLiteral("= 春香，你看这园中景致如何？"));
    add(QStringLiteral("良辰美景奈何天，赏心乐事谁家院。"));
    add(QStringLiteral("@分页符"));
    return lines;
}

DocumentLines document(int pages) {
    DocumentLines lines;
    const DocumentLines one = scene();
    for (int i = 0; i < pages; ++i) {
        lines << one;
    }
    lines.removeLast(); // no empty page after the last scene
    return lines;
}

void BM_Generate(benchmark::State &state) {
    const int pages = int(state.range(0));
    const DocumentLines lines = document(pages);
    Typesetter engine;
    int produced = 0;
    for (auto _ : state) {
        engine.reset();
        engine.generate(ExportConfig::instance()->pageStyle(), lines, false);
        produced = engine.pages().size();
        benchmark::DoNotOptimize(engine.pages().last().constData());
    }
    state.counters["pages"] = produced;
    state.counters["pages/s"] =
        benchmark::Counter(double(produced) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Generate)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// The same documents as 简谱 pages: the melody model, the notation and the
// systems; each scene ends with a page break, so a page or more per scene.
void BM_GenerateJianpu(benchmark::State &state) {
    const DocumentLines lines = document(int(state.range(0)));
    PageStyle style = ExportConfig::instance()->pageStyle();
    style.notation = PageStyle::Notation::Jianpu;
    Typesetter engine;
    int produced = 0;
    for (auto _ : state) {
        engine.reset();
        engine.generate(style, lines, false);
        produced = engine.pages().size();
        benchmark::DoNotOptimize(engine.pages().last().constData());
    }
    state.counters["pages"] = produced;
    state.counters["pages/s"] =
        benchmark::Counter(double(produced) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GenerateJianpu)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_PreviewFirstPage(benchmark::State &state) {
    const DocumentLines lines = document(100);
    Typesetter engine;
    for (auto _ : state) {
        engine.reset();
        engine.generate(ExportConfig::instance()->pageStyle(), lines, true);
    }
}
BENCHMARK(BM_PreviewFirstPage)->Unit(benchmark::kMillisecond);

// Pages per second of a writer over a generated document of state.range(0)
// pages; the typesetting itself is not timed.
template <typename Write> void runWriter(benchmark::State &state, Write write) {
    const DocumentLines lines = document(int(state.range(0)));
    Typesetter engine;
    engine.generate(ExportConfig::instance()->pageStyle(), lines, false);
    const int pages = engine.pages().size();
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir out;
        state.ResumeTiming();
        if (!write(engine, out.path())) {
            state.SkipWithError("the writer failed");
            break;
        }
        state.PauseTiming();
        out.remove();
        state.ResumeTiming();
    }
    state.counters["pages"] = pages;
    state.counters["pages/s"] =
        benchmark::Counter(double(pages) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_ExportPdf(benchmark::State &state) {
    runWriter(state, [](Typesetter &g, const QString &dir) {
        return g.exportPdf(dir + QStringLiteral("/score.pdf"));
    });
}
BENCHMARK(BM_ExportPdf)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_ExportSvg(benchmark::State &state) {
    runWriter(state, [](Typesetter &g, const QString &dir) { return g.exportSvg(dir); });
}
BENCHMARK(BM_ExportSvg)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_ExportPng96(benchmark::State &state) {
    runWriter(state, [](Typesetter &g, const QString &dir) {
        return g.exportImages(dir, 0, QStringLiteral("png"));
    });
}
BENCHMARK(BM_ExportPng96)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_ExportPng300(benchmark::State &state) {
    runWriter(state, [](Typesetter &g, const QString &dir) {
        return g.exportImages(dir, 2, QStringLiteral("png"));
    });
}
BENCHMARK(BM_ExportPng300)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Drawing one page image at 300 dpi on this thread, without encoding it:
// with the encoding, what an image export spreads over its threads.
void BM_DrawPage300(benchmark::State &state) {
    const DocumentLines lines = document(10);
    Typesetter engine;
    engine.generate(ExportConfig::instance()->pageStyle(), lines, false);
    int k = 0;
    for (auto _ : state) {
        const QImage image = engine.pageImage(k++ % engine.pages().size(), 300, true);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_DrawPage300)->Unit(benchmark::kMillisecond);

// One live-preview refresh of the preview pane (a setting changed: the first
// page typeset again and shown), for a document of state.range(0) pages. It
// stops at the second page, so it must not grow with the document.
void BM_LivePreviewRefresh(benchmark::State &state) {
    const DocumentLines lines = document(int(state.range(0)));
    PreviewPane pane(nullptr, lines);
    ExportSettingsForm settings;
    QObject::connect(&settings, &ExportSettingsForm::changed, &pane, &PreviewPane::refreshPreview);
    bool transparent = false;
    for (auto _ : state) {
        transparent = !transparent;
        settings.onBgTransparentChanged(transparent ? Qt::Checked : Qt::Unchecked);
    }
    ExportConfig::instance()->setIsBgTransparent(false);
}
BENCHMARK(BM_LivePreviewRefresh)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_FONT_DPI", "96");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    AppPaths::setProgramDirOverride(dir.path(), true);
    installChineseFontSubstitutions();
    ExportConfig::instance()->restoreDefaults();
    // No message box may stop a run.
    Prompt::setResponder([](const Prompt::Request &) { return QVariant(); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

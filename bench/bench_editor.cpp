// Keystrokes, cursor moves, gutter repaints and the render model of a
// document tab, on lyrics of 200 and of 20,000 sung characters with full
// scores. The second argument chooses how the pairing of positions with score
// lines is answered: 1 by the editor's index, 0 by walking the document as
// the reference definition does. Medians of five repetitions.
#include "editor/banyanchecker.h"
#include "editor/documenttab.h"
#include "editor/inputmethod.h"
#include "editor/lyricedit.h"
#include "editor/lyriclinenumberarea.h"
#include "editor/scoreedit.h"
#include "editor/scorelinenumberarea.h"
#include "editor/sungwalk.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QUndoStack>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

QApplication *app() {
    static QApplication *instance = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QT_FONT_DPI", "96");
        static int argc = 1;
        static char name[] = "bench_editor";
        static char *argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return instance;
}

// A lyric of about `sung` sung characters: sung lines of eight characters
// with punctuation, a title and a tune-name heading now and then; a score line
// of three gongche symbols for each sung character.
void makeDocument(int sung, QString *lyric, QString *score) {
    const QString line = QStringLiteral("原来姹紫，嫣红开遍");
    const QString symbols = QString::fromUcs4(U"\U000F002C\U000F0000\U000F0030");
    QStringList lyricLines;
    QStringList scoreLines;
    lyricLines << QStringLiteral("# 牡丹亭 惊梦");
    for (int i = 0; sung > 0; ++i) {
        if (i % 10 == 0) {
            lyricLines << QStringLiteral("【皂罗袍】(仙吕)");
        }
        const int n = qMin(8, sung);
        lyricLines << line.left(n + (n > 4 ? 1 : 0));
        for (int k = 0; k < n; ++k) {
            scoreLines << symbols;
        }
        sung -= n;
    }
    *lyric = lyricLines.join(QLatin1Char('\n'));
    *score = scoreLines.join(QLatin1Char('\n'));
}

struct Fixture {
    std::unique_ptr<DocumentTab> tab;
    LyricEdit *lyric;
    ScoreEdit *score;

    explicit Fixture(const benchmark::State &state) {
        app();
        tab = std::make_unique<DocumentTab>();
        tab->resize(900, 700);
        lyric = tab->lyricEditor();
        score = tab->scoreEditor();
        lyric->setIndexed(state.range(1) != 0);
        QString l, s;
        makeDocument(int(state.range(0)), &l, &s);
        tab->setSyncing(true);
        lyric->setPlainText(l);
        score->setPlainText(s);
        tab->setSyncing(false);
        tab->show();
        QApplication::processEvents();
        // The cursor in the middle of the document, on a sung line.
        QTextCursor c(lyric->document()->findBlockByNumber(lyric->document()->blockCount() / 2));
        c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
        lyric->setTextCursor(c);
        lyric->setFocus();
        QApplication::processEvents();
    }

    void key(QWidget *w, int k, const QString &text = QString(),
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, k, mods, text);
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, k, mods, text);
        QApplication::sendEvent(w, &release);
    }
};

void sizes(benchmark::internal::Benchmark *b) {
    for (int indexed : {0, 1}) {
        for (int sung : {200, 20000}) {
            b->Args({sung, indexed});
        }
    }
    b->ArgNames({"sung", "indexed"});
    b->Unit(benchmark::kMicrosecond);
    b->Repetitions(5);
    b->ReportAggregatesOnly(true);
}

void BM_TypeCharacter(benchmark::State &state) {
    Fixture f(state);
    for (auto _ : state) {
        f.key(f.lyric, Qt::Key_unknown, QStringLiteral("春"));
        state.PauseTiming();
        f.key(f.lyric, Qt::Key_Backspace);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TypeCharacter)->Apply(sizes);

void BM_Backspace(benchmark::State &state) {
    Fixture f(state);
    for (auto _ : state) {
        f.key(f.lyric, Qt::Key_Backspace);
        state.PauseTiming();
        f.key(f.lyric, Qt::Key_unknown, QStringLiteral("春"));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Backspace)->Apply(sizes);

void BM_ScoreCommit(benchmark::State &state) {
    Fixture f(state);
    state.counters["startLine"] = f.score->textCursor().blockNumber();
    f.score->setFocus();
    InputMethod::instance()->setEditor(f.score);
    for (auto _ : state) {
        state.PauseTiming();
        f.key(f.score, Qt::Key_Z, QStringLiteral("z"));
        f.key(f.score, Qt::Key_B, QStringLiteral("b"));
        state.ResumeTiming();
        f.key(f.score, Qt::Key_1, QStringLiteral("1"));
        state.PauseTiming();
        if (!f.tab->canUndo()) {
            state.SkipWithError("nothing was committed");
            break;
        }
        f.tab->undo();
        state.ResumeTiming();
    }
    state.counters["scoreLine"] = f.score->textCursor().blockNumber();
}
BENCHMARK(BM_ScoreCommit)->Apply(sizes);

void BM_CursorMove(benchmark::State &state) {
    Fixture f(state);
    bool right = true;
    for (auto _ : state) {
        f.key(f.lyric, right ? Qt::Key_Right : Qt::Key_Left);
        right = !right;
    }
}
BENCHMARK(BM_CursorMove)->Apply(sizes);

void BM_RepaintGutters(benchmark::State &state) {
    Fixture f(state);
    f.lyric->ensureCursorVisible();
    for (auto _ : state) {
        f.lyric->lineNumberArea()->repaint();
        f.score->lineNumberArea()->repaint();
    }
}
BENCHMARK(BM_RepaintGutters)->Apply(sizes);

void BM_DocumentLines(benchmark::State &state) {
    Fixture f(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.tab->documentLines());
    }
}
BENCHMARK(BM_DocumentLines)->Apply(sizes);

// The 板眼 check after a keystroke in the score: one symbol typed into the
// score line of a character in the middle of the document. Only the tune
// holding it is checked again.
void BM_CheckKeystroke(benchmark::State &state) {
    Fixture f(state);
    BanYanChecker *checker = f.tab->checker();
    checker->checkAll();
    QTextDocument *score = f.score->document();
    const int line = score->blockCount() / 2;
    const QString symbol = QString::fromUcs4(U"\U000F002B");
    for (auto _ : state) {
        state.PauseTiming();
        QTextCursor c(score->findBlockByNumber(line));
        c.insertText(symbol);
        QApplication::processEvents(); // the tab's own check, not measured
        const int position = score->findBlockByNumber(line).position();
        state.ResumeTiming();
        checker->checkAfterEdit(music::Place::Pane::Score, position);
        state.PauseTiming();
        c.deletePreviousChar();
        c.deletePreviousChar();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["tunes"] = checker->lastComputedTunes();
}
BENCHMARK(BM_CheckKeystroke)->Args({200, 1})->Args({20000, 1})->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

// Keystrokes, cursor moves, gutter repaints and the render model of a
// document tab, on lyrics of 200 and of 20,000 sung characters with full
// scores. The second argument chooses how the pairing of positions with score
// lines is answered: 1 by the editor's index, 0 by walking the document as
// the reference definition does. Medians of five repetitions.
#include "editor/banyanchecker.h"
#include "editor/banyanwatch.h"
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
#include <algorithm>
#include <benchmark/benchmark.h>
#include <functional>
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

// The 板眼 check after a keystroke, in the middle of the document: the check
// once it is typed and once it is removed again, both timed, the keys not.
// Only the tune holding the keystroke is checked again, the tunes after it
// are moved along. tunes= counts the tunes the more costly of the two checks
// computed; the document must read as before after every iteration.
struct CheckFixture : Fixture {
    BanYanWatch *watch;
    QString lyricText;
    QString scoreText;

    explicit CheckFixture(const benchmark::State &state)
        : Fixture(state) {
        watch = tab->banYanWatch();
        watch->checker()->checkAll();
        lyricText = lyric->toPlainText();
        scoreText = score->toPlainText();
    }

    // Checks what was typed; the tunes it computed.
    int check(benchmark::State &state) {
        state.ResumeTiming();
        watch->checkNow();
        state.PauseTiming();
        return watch->checker()->lastComputedTunes();
    }

    bool unchanged() const {
        return lyric->toPlainText() == lyricText && score->toPlainText() == scoreText;
    }
};

void runCheck(benchmark::State &state, CheckFixture &f, const std::function<void()> &type,
              const std::function<void()> &remove) {
    int tunes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        type();
        tunes = std::max(tunes, f.check(state));
        remove();
        tunes = std::max(tunes, f.check(state));
        if (!f.unchanged()) {
            state.SkipWithError("the keystroke was not removed exactly");
            break;
        }
        state.ResumeTiming();
    }
    state.counters["tunes"] = tunes;
}

// One gongche symbol (a surrogate pair) typed into the score line of a
// character and deleted again.
void BM_CheckKeystroke(benchmark::State &state) {
    CheckFixture f(state);
    QTextDocument *score = f.score->document();
    const int line = score->blockCount() / 2;
    const QString symbol = QString::fromUcs4(U"\U000F002B");
    QTextCursor c(score->findBlockByNumber(line));
    runCheck(
        state, f, [&] { c.insertText(symbol); }, [&] { c.deletePreviousChar(); });
}
BENCHMARK(BM_CheckKeystroke)->Args({200, 1})->Args({20000, 1})->Unit(benchmark::kMicrosecond);

// A sung character typed into a lyric line and deleted again: its score
// line comes and goes with it.
void BM_CheckLyricKeystroke(benchmark::State &state) {
    CheckFixture f(state);
    runCheck(
        state, f, [&] { f.key(f.lyric, Qt::Key_unknown, QStringLiteral("春")); },
        [&] { f.key(f.lyric, Qt::Key_Backspace); });
}
BENCHMARK(BM_CheckLyricKeystroke)->Args({200, 1})->Args({20000, 1})->Unit(benchmark::kMicrosecond);

// Enter at the end of a sung lyric line and the new empty line removed
// again: every later line moves.
void BM_CheckEnter(benchmark::State &state) {
    CheckFixture f(state);
    QTextCursor c = f.lyric->textCursor();
    c.movePosition(QTextCursor::EndOfBlock);
    f.lyric->setTextCursor(c);
    runCheck(
        state, f, [&] { f.key(f.lyric, Qt::Key_Return, QStringLiteral("\r")); },
        [&] { f.key(f.lyric, Qt::Key_Backspace); });
}
BENCHMARK(BM_CheckEnter)->Args({200, 1})->Args({20000, 1})->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

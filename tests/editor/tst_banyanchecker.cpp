// The 板眼 checker in the editor: problems are underlined where they are,
// explained in a tooltip, and kept up to date tune by tune; what an edit
// rechecks always equals checking the whole document again.
#include "appearance/problemmarks.h"
#include "editor/banyanchecker.h"
#include "editor/banyanwatch.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "model/gongchesymbol.h"
#include "model/rendermodel.h"
#include "music/melodybuilder.h"
#include "promptscript.h"
#include "tabdriver.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTextBlock>
#include <QtTest>

using namespace tabdriver;

namespace {

using S = GongcheSymbol;

QString pitch(S::PitchName name, S::Octave octave = S::Octave::Middle) {
    return sym(S::pitchCode(S::Series::Plain, octave, name));
}

// The problems a fresh check of the tab's texts finds.
QVector<music::Problem> checkedAfresh(DocumentTab *tab) {
    BanYanChecker fresh(tab->lyricEditor()->document(), tab->scoreEditor()->document());
    fresh.checkAll();
    return fresh.problems();
}

QStringList describe(const QVector<music::Problem> &problems) {
    QStringList out;
    for (const music::Problem &p : problems) {
        out << QStringLiteral("%1:%2:%3+%4 %5 (%6 @%7)")
                   .arg(int(p.place.pane))
                   .arg(p.place.line)
                   .arg(p.place.column)
                   .arg(p.place.length)
                   .arg(p.message, p.fix)
                   .arg(p.fixLine);
    }
    return out;
}

bool underlined(const QTextBlock &block, int column) {
    for (const QTextLayout::FormatRange &r : block.layout()->formats()) {
        if (column >= r.start && column < r.start + r.length &&
            r.format.underlineStyle() == QTextCharFormat::WaveUnderline) {
            return true;
        }
    }
    return false;
}

// What the melody model finds in the whole document at once.
QVector<music::Problem> builtWhole(DocumentTab *tab) {
    const DocumentLines lines = renderModel(tab->lyricEditor()->toPlainText().split('\n'),
                                            tab->scoreEditor()->toPlainText().split('\n'));
    return music::MelodyBuilder().build(lines).problems;
}

// Every line of both panes is underlined where its problems are, and nowhere
// else: the lines an incremental check did not redraw hold no stale marks.
bool underlinesMatch(DocumentTab *tab, QString *why) {
    for (const auto pane : {music::Place::Pane::Lyric, music::Place::Pane::Score}) {
        const QTextDocument *document = pane == music::Place::Pane::Lyric
                                            ? tab->lyricEditor()->document()
                                            : tab->scoreEditor()->document();
        for (QTextBlock b = document->begin(); b.isValid(); b = b.next()) {
            const auto marks = ProblemMarks::of(tab->checker()->problemsOn(pane, b.blockNumber()),
                                                b.text().size());
            for (int column = 0; column < b.text().size(); ++column) {
                bool expected = false;
                for (const QTextLayout::FormatRange &r : marks) {
                    expected = expected || (column >= r.start && column < r.start + r.length);
                }
                if (underlined(b, column) != expected) {
                    *why = QStringLiteral("pane %1 line %2 column %3: underlined %4")
                               .arg(int(pane))
                               .arg(b.blockNumber())
                               .arg(column)
                               .arg(underlined(b, column));
                    return false;
                }
            }
        }
    }
    return true;
}

// A lyric of 250 tunes of 80 sung characters (20,000 in all), each a heading
// and ten lines of eight; three gongche symbols with a 板 for each character.
void makeLongDocument(QString *lyric, QString *score) {
    const QString line = QStringLiteral("原来姹紫，嫣红开遍");
    const QString symbols = pitch(S::PitchName::Shang) + sym(S::TouBan) + pitch(S::PitchName::Chi) +
                            pitch(S::PitchName::Gong);
    QStringList lyricLines;
    QStringList scoreLines;
    for (int t = 0; t < 250; ++t) {
        lyricLines << QStringLiteral("【皂罗袍】");
        for (int l = 0; l < 10; ++l) {
            lyricLines << line;
            for (int k = 0; k < 8; ++k) {
                scoreLines << symbols;
            }
        }
    }
    *lyric = lyricLines.join('\n');
    *score = scoreLines.join('\n');
}

} // namespace

class TestBanYanChecker : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void problemsAreUnderlinedAndExplained();
    void editsRecheckOneTune();
    void randomEditsMatchAFreshCheck();
    void keystrokeInALongDocumentRechecksOneTune_data();
    void keystrokeInALongDocumentRechecksOneTune();

private:
    DocumentTab *tab = nullptr;
};

void TestBanYanChecker::init() {
    tab = new DocumentTab;
    tab->resize(800, 500);
}

void TestBanYanChecker::cleanup() {
    delete tab;
    tab = nullptr;
}

void TestBanYanChecker::problemsAreUnderlinedAndExplained() {
    // A 头板 with no pitch before it, and a character with no pitch at all.
    const QString ban = sym(S::TouBan);
    load(tab, QStringLiteral("【皂罗袍】\n原来姹紫"),
         ban + pitch(S::PitchName::Shang) + QStringLiteral("\n") + pitch(S::PitchName::Chi) + ban +
             QStringLiteral("\n\n") + pitch(S::PitchName::Gong) + ban);
    QTRY_VERIFY(!tab->problems().isEmpty());
    const QVector<music::Problem> problems = tab->problems();
    QCOMPARE(describe(problems), describe(checkedAfresh(tab)));
    bool noPitchBefore = false;
    bool noPitch = false;
    for (const music::Problem &p : problems) {
        if (p.place.pane == music::Place::Pane::Score && p.place.line == 0 &&
            p.severity != music::Problem::Severity::Information) {
            noPitchBefore = true;
            QTRY_VERIFY(
                underlined(tab->scoreEditor()->document()->findBlockByNumber(0), p.place.column));
        }
        if (p.place.pane == music::Place::Pane::Score && p.place.line == 2) {
            noPitch = true;
        }
    }
    QVERIFY2(noPitchBefore, qPrintable(describe(problems).join('\n')));
    QVERIFY2(noPitch, qPrintable(describe(problems).join('\n')));
    // Going to a problem puts both cursors on its character.
    for (const music::Problem &p : problems) {
        if (p.place.pane == music::Place::Pane::Score && p.place.line == 2) {
            tab->goTo(p.place);
        }
    }
    QCOMPARE(tab->scoreEditor()->textCursor().blockNumber(), 2);
    QCOMPARE(tab->lyricEditor()->scoreLineAt(tab->lyricEditor()->textCursor().position()), 2);
}

void TestBanYanChecker::editsRecheckOneTune() {
    QString lyric, score;
    for (int t = 0; t < 6; ++t) {
        lyric += QStringLiteral("【皂罗袍】\n原来姹紫嫣红开遍\n");
        for (int i = 0; i < 8; ++i) {
            score += pitch(S::PitchName::Shang) + sym(S::TouBan) + QStringLiteral("\n");
        }
    }
    lyric.chop(1);
    score.chop(1);
    load(tab, lyric, score);
    QVERIFY(focus(tab->scoreEditor()));
    QTRY_COMPARE(describe(tab->problems()), describe(checkedAfresh(tab)));
    tab->checker()->checkAll();
    QCOMPARE(tab->checker()->lastComputedTunes(), 6);
    setCursor(tab->scoreEditor(), tab->scoreEditor()->document()->findBlockByNumber(20).position());
    tab->checker()->checkAll();
    type(tab->scoreEditor(), QStringLiteral("gc "));
    QTRY_COMPARE(tab->checker()->lastComputedTunes(), 1);
    QCOMPARE(describe(tab->problems()), describe(checkedAfresh(tab)));
    // A sung character typed in the lyric adds its score line: still one tune.
    QVERIFY(focus(tab->lyricEditor()));
    setCursor(tab->lyricEditor(),
              tab->lyricEditor()->document()->findBlockByNumber(3).position() + 2);
    const int before = tab->problems().size();
    type(tab->lyricEditor(), QStringLiteral("春"));
    QTRY_COMPARE(tab->problems().size(), before + 1); // 春 has no pitch yet
    QCOMPARE(tab->checker()->lastComputedTunes(), 1);
    QCOMPARE(describe(tab->problems()), describe(checkedAfresh(tab)));
}

void TestBanYanChecker::randomEditsMatchAFreshCheck() {
    load(tab, QStringLiteral("【皂罗袍】\n原来\n; 笛色=六字调\n【好姐姐】\n春香"),
         QStringLiteral("\n\n\n"));
    QRandomGenerator rng(7);
    const QStringList lyricPieces = {QStringLiteral("春"),
                                     QStringLiteral("，"),
                                     QStringLiteral("\n"),
                                     QStringLiteral("【山坡羊】\n"),
                                     QStringLiteral("; 板式=一板一眼\n"),
                                     QStringLiteral("; 笛色=尺字调\n"),
                                     QStringLiteral("【"),
                                     QStringLiteral("香\n\n")};
    const QStringList scoreKeys = {QStringLiteral("gc "), QStringLiteral("tb "),
                                   QStringLiteral("zy "), QStringLiteral("yb "),
                                   QStringLiteral("s "),  QStringLiteral("db ")};
    PromptScript prompts;
    for (int step = 0; step < 120; ++step) {
        // Now and then several edits before the typing pauses.
        const int edits = rng.bounded(4) == 0 ? 3 : 1;
        for (int e = 0; e < edits; ++e) {
            const bool inLyric = rng.bounded(2) == 0;
            QPlainTextEdit *editor = inLyric ? static_cast<QPlainTextEdit *>(tab->lyricEditor())
                                             : static_cast<QPlainTextEdit *>(tab->scoreEditor());
            QVERIFY(focus(editor));
            setCursor(editor, rng.bounded(editor->document()->characterCount()));
            const int kind = rng.bounded(8);
            if (kind == 0) {
                key(editor, Qt::Key_Backspace);
            } else if (kind == 1) {
                key(editor, Qt::Key_Delete);
            } else if (kind == 2 && !inLyric) {
                // A score line on its own: the later characters' lines move.
                key(editor, Qt::Key_Return, Qt::ShiftModifier, QStringLiteral("\r"));
            } else if (inLyric) {
                type(editor, lyricPieces.at(rng.bounded(lyricPieces.size())));
            } else {
                type(editor, scoreKeys.at(rng.bounded(scoreKeys.size())));
            }
        }
        // The check runs once the typing pauses.
        QTRY_VERIFY2(!tab->checker()->hasEdits(), qPrintable(QStringLiteral("step %1").arg(step)));
        QCOMPARE(describe(tab->problems()), describe(checkedAfresh(tab)));
        QCOMPARE(describe(tab->problems()), describe(builtWhole(tab)));
        QString why;
        QVERIFY2(underlinesMatch(tab, &why),
                 qPrintable(QStringLiteral("step %1: %2").arg(step).arg(why)));
    }
}

void TestBanYanChecker::keystrokeInALongDocumentRechecksOneTune_data() {
    QTest::addColumn<bool>("inScore");
    QTest::addColumn<bool>("atLineEnd");
    QTest::addColumn<QString>("keys");
    QTest::newRow("gongche symbol in the score") << true << false << pitch(S::PitchName::Liu);
    QTest::newRow("sung character in the lyric") << false << false << QStringLiteral("春");
    QTest::newRow("Enter at the end of a sung line") << false << true << QStringLiteral("\n");
}

void TestBanYanChecker::keystrokeInALongDocumentRechecksOneTune() {
    QFETCH(bool, inScore);
    QFETCH(bool, atLineEnd);
    QFETCH(QString, keys);
    QString lyric, score;
    makeLongDocument(&lyric, &score);
    load(tab, lyric, score);
    QSignalSpy checked(tab->banYanWatch(), &BanYanWatch::problemsChanged);
    tab->banYanWatch()->checkAll();
    QCOMPARE(tab->checker()->lastComputedTunes(), 250);
    const QVector<music::Problem> before = tab->problems();
    QCOMPARE(describe(before), describe(builtWhole(tab)));
    QPlainTextEdit *editor = inScore ? static_cast<QPlainTextEdit *>(tab->scoreEditor())
                                     : static_cast<QPlainTextEdit *>(tab->lyricEditor());
    QVERIFY(focus(editor));
    // Tune 125: its second sung line, or the score line of its 20th character.
    const int line = inScore ? 125 * 80 + 19 : 125 * 11 + 2;
    QTextBlock block = editor->document()->findBlockByNumber(line);
    setCursor(editor, block.position() + (atLineEnd ? block.length() - 1 : 2));
    checked.clear();
    type(editor, keys);
    QTRY_COMPARE(checked.count(), 1);
    QCOMPARE(tab->checker()->lastComputedTunes(), 1);
    QVERIFY(tab->lyricEditor()->toPlainText() != lyric ||
            tab->scoreEditor()->toPlainText() != score);
    QCOMPARE(describe(tab->problems()), describe(checkedAfresh(tab)));
    // Removed again: the document and its problems as they were.
    key(editor, Qt::Key_Backspace);
    QTRY_COMPARE(checked.count(), 2);
    QCOMPARE(tab->checker()->lastComputedTunes(), 1);
    QCOMPARE(tab->lyricEditor()->toPlainText(), lyric);
    QCOMPARE(tab->scoreEditor()->toPlainText(), score);
    QCOMPARE(describe(tab->problems()), describe(before));
}

QTEST_MAIN(TestBanYanChecker)
#include "tst_banyanchecker.moc"

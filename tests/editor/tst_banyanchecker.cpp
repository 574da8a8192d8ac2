// The 板眼 checker in the editor: problems are underlined where they are,
// explained in a tooltip, and kept up to date tune by tune; what an edit
// rechecks always equals checking the whole document again.
#include "editor/banyanchecker.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "model/gongchesymbol.h"
#include "promptscript.h"
#include "tabdriver.h"
#include "testsupport.h"

#include <QRandomGenerator>
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
        out << QStringLiteral("%1:%2:%3+%4 %5")
                   .arg(int(p.place.pane))
                   .arg(p.place.line)
                   .arg(p.place.column)
                   .arg(p.place.length)
                   .arg(p.message);
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

} // namespace

class TestBanYanChecker : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void problemsAreUnderlinedAndExplained();
    void editsRecheckOneTune();
    void randomEditsMatchAFreshCheck();

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
    const QStringList lyricPieces = {QStringLiteral("春"), QStringLiteral("，"),
                                     QStringLiteral("\n"), QStringLiteral("【山坡羊】\n"),
                                     QStringLiteral("; 板式=一板一眼\n")};
    const QStringList scoreKeys = {QStringLiteral("gc "), QStringLiteral("tb "),
                                   QStringLiteral("zy "), QStringLiteral("yb "),
                                   QStringLiteral("s "),  QStringLiteral("db ")};
    PromptScript prompts;
    for (int step = 0; step < 60; ++step) {
        const bool inLyric = rng.bounded(2) == 0;
        QPlainTextEdit *editor = inLyric ? static_cast<QPlainTextEdit *>(tab->lyricEditor())
                                         : static_cast<QPlainTextEdit *>(tab->scoreEditor());
        QVERIFY(focus(editor));
        setCursor(editor, rng.bounded(editor->document()->characterCount()));
        if (rng.bounded(6) == 0) {
            key(editor, Qt::Key_Backspace);
        } else if (inLyric) {
            type(editor, lyricPieces.at(rng.bounded(lyricPieces.size())));
        } else {
            type(editor, scoreKeys.at(rng.bounded(scoreKeys.size())));
        }
        // The check runs once the typing pauses.
        QTRY_VERIFY2(describe(tab->problems()) == describe(checkedAfresh(tab)),
                     qPrintable(QStringLiteral("step %1").arg(step)));
    }
}

QTEST_MAIN(TestBanYanChecker)
#include "tst_banyanchecker.moc"

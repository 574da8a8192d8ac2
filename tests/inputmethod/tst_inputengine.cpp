// The input method's engine on its own: no window, no widgets, only the
// letters typed, the keys that page and the candidates chosen.
#include "inputmethod/inputengine.h"
#include "platform/apppaths.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QString sym(char32_t code) {
    return QString::fromUcs4(&code, 1);
}

QStringList texts(const CandidateList &list) {
    QStringList out;
    for (const Candidate &c : list) {
        out.append(c.text);
    }
    return out;
}

} // namespace

class TestInputEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void idleUntilLettersCome();
    void composesSegmentsAndTakesThemBack();
    void numbersCountOnTheCurrentPage_data();
    void numbersCountOnTheCurrentPage();
    void pagesAndCommits();
    void relatedModeIgnoresLetters();
    void combineCaps();

private:
    QTemporaryDir m_dir;
};

void TestInputEngine::initTestCase() {
    QVERIFY(m_dir.isValid());
    AppPaths::setProgramDirOverride(m_dir.path());
}

void TestInputEngine::cleanupTestCase() {
    AppPaths::setProgramDirOverride(QString());
}

void TestInputEngine::idleUntilLettersCome() {
    InputEngine engine(6);
    QVERIFY(!engine.isActive());
    QVERIFY(!engine.appendText(QString()));
    QVERIFY(!engine.isActive());
    QVERIFY(!engine.backspace());
    QCOMPARE(engine.commitCurrent(), QString());
    QVERIFY(!engine.isActive());
}

void TestInputEngine::composesSegmentsAndTakesThemBack() {
    InputEngine engine(6);
    QVERIFY(engine.appendText(QStringLiteral("g")));
    QVERIFY(engine.appendText(QStringLiteral("c")));
    QVERIFY(engine.isActive());
    QCOMPARE(engine.composition(), QStringLiteral("g'c"));
    QCOMPARE(engine.segments().size(), 2);
    QCOMPARE(engine.candidates().first(), sym(0xF002C) + sym(0xF002B)); // 工尺
    QCOMPARE(engine.candidates(), texts(engine.currentList()));

    QVERIFY(engine.backspace());
    QCOMPARE(engine.composition(), QStringLiteral("g"));
    QCOMPARE(engine.candidates(), texts(engine.tree().search(QStringLiteral("g"), true)));
    QVERIFY(!engine.backspace());
    QVERIFY(!engine.isActive());
    QVERIFY(engine.composition().isEmpty());

    // No symbol for "v": one empty candidate, and the engine says so.
    QVERIFY(engine.appendText(QStringLiteral("v")));
    QVERIFY(!engine.hasMatches());
    QCOMPARE(engine.candidates(), QStringList({QString()}));
    engine.reset();
    QVERIFY(!engine.isActive());

    // Seven letters make six segments; the seventh is refused.
    for (int i = 0; i < 6; ++i) {
        QVERIFY(engine.appendText(QStringLiteral("v")));
    }
    QVERIFY(!engine.appendText(QStringLiteral("v")));
    QCOMPARE(engine.segments().size(), InputEngine::maxSegments);
}

void TestInputEngine::numbersCountOnTheCurrentPage_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("commits");
    QTest::newRow("zero") << 0 << false;
    QTest::newRow("first") << 1 << true;
    QTest::newRow("second") << 2 << true;
    QTest::newRow("past the page") << 3 << false;
}

void TestInputEngine::numbersCountOnTheCurrentPage() {
    QFETCH(int, number);
    QFETCH(bool, commits);
    InputEngine engine(6);
    engine.appendText(QStringLiteral("zb"));
    const QStringList offered = {sym(0xF0003), sym(0xF0007)};
    QCOMPARE(engine.candidates(), offered);
    QCOMPARE(engine.selectByNumber(number), commits ? offered.at(number - 1) : QString());
    // A number not on the page leaves everything as it was.
    QCOMPARE(engine.isActive(), !commits);
    QCOMPARE(engine.candidates(), commits ? QStringList() : offered);
}

void TestInputEngine::pagesAndCommits() {
    InputEngine engine(6);
    engine.appendText(QStringLiteral("y")); // 29 candidates: pages of 6, 6, 6, 6, 5
    const QStringList all = engine.candidates();
    QCOMPARE(all.size(), 29);
    QCOMPARE(engine.pageIndicator(), QStringLiteral("1/5"));
    QVERIFY(!engine.left());
    for (int i = 0; i < 5; ++i) {
        QVERIFY(!engine.right());
    }
    QVERIFY(engine.right());
    QCOMPARE(engine.page(), 1);
    QCOMPARE(engine.selected(), 0);
    engine.nextPage();
    engine.nextPage();
    engine.nextPage();
    QCOMPARE(engine.pageIndicator(), QStringLiteral("5/5"));
    QCOMPARE(engine.pageCandidates(), all.mid(24));
    engine.previousPage();
    QCOMPARE(engine.page(), 3);
    QCOMPARE(engine.commitCurrent(), all.at(18));
    QVERIFY(!engine.isActive());
}

void TestInputEngine::relatedModeIgnoresLetters() {
    InputEngine engine(6);
    engine.showRelated(sym(0xF0000));
    QVERIFY(engine.isActive());
    QCOMPARE(engine.composition(), sym(0xF0000));
    QCOMPARE(engine.candidates().size(), 14);
    QVERIFY(!engine.appendText(QStringLiteral("g")));
    QCOMPARE(engine.candidates().size(), 14);
    QVERIFY(!engine.backspace());
    QVERIFY(!engine.isActive());

    // A symbol with no relations offers nothing, and choosing ends it.
    engine.showRelated(sym(0xF002C));
    QVERIFY(engine.candidates().isEmpty());
    QCOMPARE(engine.selectByNumber(1), QString());
    QVERIFY(!engine.isActive());
}

void TestInputEngine::combineCaps() {
    CandidateList a, b;
    for (int i = 0; i < 10; ++i) {
        a.append(Candidate{QStringLiteral("a%1").arg(i), 0.5f});
        b.append(Candidate{QStringLiteral("b%1").arg(i), 0.5f + 0.01f * i});
    }
    QCOMPARE(texts(InputEngine::combine(a, {})), texts(a));
    QCOMPARE(texts(InputEngine::combine({}, b)), texts(b));
    const CandidateList both = InputEngine::combine(a, b);
    QCOMPARE(both.size(), InputEngine::maxCombinations);
    for (int i = 1; i < both.size(); ++i) {
        QVERIFY(both.at(i).weight <= both.at(i - 1).weight);
    }
}

QTEST_GUILESS_MAIN(TestInputEngine)
#include "tst_inputengine.moc"

#include "candidatetexts.h"
#include "inputmethod/scoretree.h"
#include "platform/apppaths.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QtTest>

class TestScoreTree : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void zbExactAndPrefix();
    void yzOnlyAsPrefix();
    void yPrefixTiers();
    void bKeepsDictionaryOrder();
    void unknownKey();
    void segmentation_data();
    void segmentation();
    void relatedBeats();
    void firstStartCopiesTheResource();
    void existingFileIsReadAsItIs();
    void rowQuirks();
    void unwritableDirectoryReadsTheResource();
    void directoryInTheWayReadsTheResource();
    void longKeyNeedsNoDeepStack();

private:
    QTemporaryDir m_dir;
    ScoreTree *m_tree = nullptr;
};

void TestScoreTree::initTestCase() {
    QVERIFY(m_dir.isValid());
    AppPaths::setProgramDirOverride(m_dir.path());
    m_tree = new ScoreTree(QStringLiteral("wordsdict.csv"));
    QCOMPARE(m_tree->filePath(), m_dir.filePath(QStringLiteral("wordsdict.csv")));
}

void TestScoreTree::cleanupTestCase() {
    delete m_tree;
    AppPaths::setProgramDirOverride(QString());
}

void TestScoreTree::zbExactAndPrefix() {
    for (bool prefix : {false, true}) {
        const CandidateList list = m_tree->search(QStringLiteral("zb"), prefix);
        QCOMPARE(texts(list), QStringList({sym(0xF0003), sym(0xF0007)}));
        QCOMPARE(list.at(0).weight, 0.6f);
        QCOMPARE(list.at(1).weight, 0.6f);
    }
}

void TestScoreTree::yzOnlyAsPrefix() {
    QVERIFY(m_tree->search(QStringLiteral("yz"), false).isEmpty());
    const CandidateList list = m_tree->search(QStringLiteral("yz"), true);
    QCOMPARE(list.size(), 2);
    const QStringList found = texts(list);
    QCOMPARE(QSet<QString>(found.begin(), found.end()),
             QSet<QString>({sym(0xF0005), sym(0xF0007)}));
    for (const Candidate &c : list) {
        QCOMPARE(c.weight, static_cast<float>(0.6f / 1.2));
    }
}

void TestScoreTree::yPrefixTiers() {
    const CandidateList list = m_tree->search(QStringLiteral("y"), true);
    QCOMPARE(list.size(), 29);
    const int counts[] = {4, 9, 11, 4, 1};
    int at = 0;
    for (int tier = 0; tier < 5; ++tier) {
        // The weight is divided in double and stored as float, exactly once.
        const float expected = static_cast<float>(double(0.6f) / std::pow(1.2, tier));
        for (int k = 0; k < counts[tier]; ++k, ++at) {
            QCOMPARE(list.at(at).weight, expected);
        }
    }
    QCOMPARE(list.at(4).weight, 0.5f);
    QVERIFY(qAbs(list.at(13).weight - 0.4166667f) < 1e-6f);
    QVERIFY(qAbs(list.at(24).weight - 0.3472222f) < 1e-6f);
    QVERIFY(qAbs(list.at(28).weight - 0.2893519f) < 1e-6f);
    // The exact "y" rows lead, in dictionary order.
    QCOMPARE(list.at(0).text, sym(0xF0001));
    QCOMPARE(list.at(1).text, sym(0xF0002));
}

void TestScoreTree::bKeepsDictionaryOrder() {
    const QStringList expected = {sym(0xF0000), sym(0xF0003), sym(0xF0006), sym(0xF000A)};
    QCOMPARE(texts(m_tree->search(QStringLiteral("b"), false)), expected);
    QCOMPARE(texts(m_tree->search(QStringLiteral("b"), true)), expected);
}

void TestScoreTree::unknownKey() {
    QVERIFY(m_tree->search(QStringLiteral("v"), false).isEmpty());
    QVERIFY(m_tree->search(QStringLiteral("v"), true).isEmpty());
    QVERIFY(m_tree->search(QStringLiteral("gv"), true).isEmpty());
    QCOMPARE(texts(m_tree->search(QStringLiteral("g"), false)), QStringList({sym(0xF002C)}));
}

void TestScoreTree::segmentation_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QList<bool>>("valid");
    QTest::newRow("gc") << "gc" << QStringList({"g", "c"}) << QList<bool>({true, true});
    QTest::newRow("yzx") << "yzx" << QStringList({"yz", "x"}) << QList<bool>({false, true});
    QTest::newRow("yz") << "yz" << QStringList({"yz"}) << QList<bool>({true});
    QTest::newRow("v") << "v" << QStringList({"v"}) << QList<bool>({false});
    QTest::newRow("vg") << "vg" << QStringList({"v", "g"}) << QList<bool>({false, true});
    QTest::newRow("empty") << "" << QStringList() << QList<bool>();
    QTest::newRow("tbzb") << "tbzb" << QStringList({"tb", "zb"}) << QList<bool>({true, true});
}

void TestScoreTree::segmentation() {
    QFETCH(QString, text);
    QFETCH(QStringList, parts);
    QFETCH(QList<bool>, valid);
    const SegmentList result = m_tree->segment(text);
    QCOMPARE(result.size(), parts.size());
    for (int i = 0; i < result.size(); ++i) {
        QCOMPARE(result.at(i).text, parts.at(i));
        QCOMPARE(result.at(i).valid, valid.at(i));
    }
}

void TestScoreTree::relatedBeats() {
    const QStringList zb = m_tree->related(sym(0xF0003));
    QCOMPARE(zb.size(), 14);
    QCOMPARE(zb.mid(0, 3), QStringList({sym(0xF0003), sym(0xF0007), sym(0xF0000)}));
    QVERIFY(m_tree->related(sym(0xF002C)).isEmpty());
    QVERIFY(m_tree->related(QString()).isEmpty());
    for (uint code = 0xF0000; code <= 0xF0007; ++code) {
        const QStringList list = m_tree->related(sym(code));
        QCOMPARE(list.size(), 14);
        QCOMPARE(list.first(), sym(code));
        QCOMPARE(QSet<QString>(list.begin(), list.end()).size(), 14);
        QCOMPARE(list.mid(8), QStringList({sym(0xF000C), sym(0xF000D), sym(0xF0008), sym(0xF0009),
                                           sym(0xF000A), sym(0xF000B)}));
    }
    QCOMPARE(m_tree->related(sym(0xF0000)).mid(0, 6),
             QStringList({sym(0xF0000), sym(0xF0006), sym(0xF0003), sym(0xF0007), sym(0xF0001),
                          sym(0xF0002)}));
}

void TestScoreTree::firstStartCopiesTheResource() {
    // initTestCase started in an empty directory.
    const QByteArray copy = readAll(m_dir.filePath(QStringLiteral("wordsdict.csv")));
    QVERIFY(!copy.isEmpty());
    QVERIFY(copy.contains("\r\n"));
    QCOMPARE(copy, readAll(ScoreTree::resourcePath()));
}

void TestScoreTree::existingFileIsReadAsItIs() {
    QTemporaryDir dir;
    const QByteArray content = "header\r\nU000F0010 qq 0.7 x\r\n";
    {
        QFile f(dir.filePath(QStringLiteral("wordsdict.csv")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    AppPaths::setProgramDirOverride(dir.path());
    ScoreTree tree(QStringLiteral("wordsdict.csv"));
    AppPaths::setProgramDirOverride(m_dir.path());
    QCOMPARE(readAll(dir.filePath(QStringLiteral("wordsdict.csv"))), content);
    QVERIFY(tree.search(QStringLiteral("g"), true).isEmpty());
    const CandidateList qq = tree.search(QStringLiteral("qq"), false);
    QCOMPARE(qq.size(), 1);
    QCOMPARE(qq.at(0).text, sym(0xF0010));
    QCOMPARE(qq.at(0).weight, 0.7f);
}

void TestScoreTree::rowQuirks() {
    QTemporaryDir dir;
    {
        QFile f(dir.filePath(QStringLiteral("wordsdict.csv")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("U000F0099 hh 0.6 the header row is never read\n"
                "U000F0000  tb 0.6 two spaces\n"    // empty key, weight "tb"
                "U000F0001 ty abc 头眼\r\n"         // bad weight
                "UU000F0002U ty 0.25\n"             // every U stripped; 3 fields suffice
                "u000F0003 ty 0.6 lower-case u\n"   // not hex
                "U00110000 ty 0.6 past Unicode\n"   // not a character
                "U0000D800 ty 0.6 surrogate half\n" // not a character
                "U000F0004 ty\n"                    // too few fields
                "\n"                                // empty line
                "U000F0005 ty nan\n"                // not a usable weight
                "U000F0001 ty abc 头眼\n");         // repeated rows stay repeated
    }
    AppPaths::setProgramDirOverride(dir.path());
    ScoreTree tree(QStringLiteral("wordsdict.csv"));
    AppPaths::setProgramDirOverride(m_dir.path());

    QVERIFY(tree.search(QStringLiteral("hh"), true).isEmpty());
    const CandidateList root = tree.search(QString(), false);
    QCOMPARE(root.size(), 1);
    QCOMPARE(root.at(0).text, sym(0xF0000));
    QCOMPARE(root.at(0).weight, 0.0f);
    QVERIFY(tree.search(QStringLiteral("tb"), false).isEmpty());

    const CandidateList ty = tree.search(QStringLiteral("ty"), false);
    QCOMPARE(texts(ty), QStringList({sym(0xF0002), sym(0xF0001), sym(0xF0005), sym(0xF0001)}));
    QCOMPARE(ty.at(0).weight, 0.25f);
    QCOMPARE(ty.at(1).weight, 0.0f);
    QCOMPARE(ty.at(2).weight, 0.0f);
    QCOMPARE(sym(0xF0002).size(), 2);

    // The root's own words come last in a prefix search from the root.
    const CandidateList all = tree.search(QString(), true);
    QCOMPARE(all.size(), 5);
    QCOMPARE(all.at(0).text, sym(0xF0002));
    QCOMPARE(all.at(0).weight, static_cast<float>(0.25f / (1.2 * 1.2)));
    QCOMPARE(all.last().text, sym(0xF0000));
}

void TestScoreTree::unwritableDirectoryReadsTheResource() {
    QTemporaryDir dir;
    AppPaths::setProgramDirOverride(dir.filePath(QStringLiteral("missing/dir")));
    ScoreTree tree(QStringLiteral("wordsdict.csv"));
    AppPaths::setProgramDirOverride(m_dir.path());
    QCOMPARE(tree.filePath(), ScoreTree::resourcePath());
    QCOMPARE(tree.search(QStringLiteral("y"), true).size(), 29);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing/dir/wordsdict.csv"))));
}

void TestScoreTree::directoryInTheWayReadsTheResource() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("wordsdict.csv")));
    AppPaths::setProgramDirOverride(dir.path());
    ScoreTree tree(QStringLiteral("wordsdict.csv"));
    AppPaths::setProgramDirOverride(m_dir.path());
    QCOMPARE(tree.filePath(), ScoreTree::resourcePath());
    QCOMPARE(tree.search(QStringLiteral("b"), false).size(), 4);
}

void TestScoreTree::longKeyNeedsNoDeepStack() {
    // An edited dictionary may hold an absurdly long key; searching and
    // destroying the tree must not recurse once per letter.
    QTemporaryDir dir;
    AppPaths::setProgramDirOverride(dir.path());
    auto tree = std::make_unique<ScoreTree>(QStringLiteral("wordsdict.csv"));
    AppPaths::setProgramDirOverride(m_dir.path());
    tree->insert(QString(300000, QLatin1Char('q')), sym(0xF0020), 0.6f);
    const CandidateList list = tree->search(QStringLiteral("qq"), true);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.last().text, sym(0xF0020));
    QCOMPARE(list.last().weight, 0.0f);
    tree.reset();
}

QTEST_GUILESS_MAIN(TestScoreTree)
#include "tst_scoretree.moc"

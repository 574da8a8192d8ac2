// Melody phrases in the score library: a phrase typed in gongche is found as
// a run of pitch classes whatever the octave form, the small and 气口 series
// and the marks between; as intervals in any key; near misses are not found.
// Also the one-field query syntax and what a summary reads from a score.
#include "gongcheshorthand.h"
#include "library/libraryquery.h"
#include "library/paircodec.h"
#include "library/pitchphrase.h"
#include "library/scoresummary.h"
#include "model/gongchesymbol.h"

#include <QtTest>

using S = GongcheSymbol;

namespace {

// One sung character 春 per score line, in a sung line of its own per tune.
QString lyricFor(const QString &scoreText, const QStringList &headings = {}) {
    const int characters = scoreText.count(QLatin1Char('\n')) + 1;
    if (headings.isEmpty()) {
        return QString(characters, QChar(0x6625));
    }
    // The characters shared out among the tunes, the last taking the rest.
    QStringList lines;
    const int each = characters / headings.size();
    for (int t = 0; t < headings.size(); ++t) {
        lines << headings.at(t);
        lines << QString(t + 1 == headings.size() ? characters - each * t : each, QChar(0x6625));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

class TestPhraseSearch : public QObject {
    Q_OBJECT

private slots:
    void phrases_data();
    void phrases();
    void pitchClasses_data();
    void pitchClasses();
    void badPhrases_data();
    void badPhrases();
    void query_data();
    void query();
    void summary();
    void placesRoundTrip_data();
    void placesRoundTrip();
};

void TestPhraseSearch::phrases_data() {
    QTest::addColumn<QString>("scoreShortHand");
    QTest::addColumn<QStringList>("headings"); // empty: one sung line
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<bool>("intervals");
    QTest::addColumn<int>("line");   // score line of the first sign matched; -1: not found
    QTest::addColumn<int>("column"); // its UTF-16 column

    const QStringList none;
    // Found as written, and across characters.
    QTest::newRow("plain") << "工尺上" << none << "工尺上" << false << 0 << 0;
    QTest::newRow("across characters") << "工|/尺o/上" << none << "工尺上" << false << 0 << 0;
    QTest::newRow("later in the line") << "六五工尺上" << none << "工尺上" << false << 0 << 4;
    // Octave forms: 合≡六, 四≡五, 一≡乙, high and low forms.
    QTest::newRow("合 for 六") << "六五" << none << "合四" << false << 0 << 0;
    QTest::newRow("low 六 for 六") << "工/合,尺," << none << "工六尺" << false << 0 << 0;
    QTest::newRow("high forms") << "上'尺'工'" << none << "上尺工" << false << 0 << 0;
    QTest::newRow("double high") << "尺\"上\"" << none << "尺上" << false << 0 << 0;
    QTest::newRow("一 for 乙") << "乙上" << none << "一上" << false << 0 << 0;
    QTest::newRow("亻 forms typed") << "上尺工" << none << "仩伬仜" << false << 0 << 0;
    // Small and 气口 forms, beat marks and ornaments between.
    QTest::newRow("small and 气口") << "s工q尺sq上" << none << "工尺上" << false << 0 << 0;
    QTest::newRow("marks between") << "工|~尺o*上^" << none << "工尺上" << false << 0 << 0;
    QTest::newRow("marks typed") << "工尺上" << none << "工、尺○上" << false << 0 << 0;
    QTest::newRow("spaces typed") << "工尺上" << none << "工 尺 上" << false << 0 << 0;
    QTest::newRow("signs pasted") << "工尺上" << none << gongcheShortHand("工|尺o上") << false << 0
                                  << 0;
    // Intervals: the same turn in another key.
    QTest::newRow("interval 五六凡") << "五六凡" << none << "工尺上" << true << 0 << 0;
    QTest::newRow("interval across octave")
        << "六/五'乙'/上'" << none << "上尺工凡" << true << 0 << 0;
    QTest::newRow("interval as written") << "工尺上" << none << "工尺上" << true << 0 << 0;
    QTest::newRow("interval later") << "上上/尺工凡" << none << "五乙上" << true << 1 << 0;
    // Near misses.
    QTest::newRow("one pitch off") << "工尺四" << none << "工尺上" << false << -1 << 0;
    QTest::newRow("a pitch between") << "工尺上" << none << "工上" << false << -1 << 0;
    QTest::newRow("reversed") << "上尺工" << none << "工尺上" << false << -1 << 0;
    QTest::newRow("other key without intervals")
        << "五六凡" << none << "工尺上" << false << -1 << 0;
    QTest::newRow("interval off by one") << "工尺四" << none << "工尺上" << true << -1 << 0;
    QTest::newRow("interval turned") << "工尺工" << none << "工尺上" << true << -1 << 0;
    QTest::newRow("longer than the score") << "工尺" << none << "工尺上" << false << -1 << 0;
    // Tunes are kept apart.
    QTest::newRow("not across tunes")
        << "工/尺/上/六" << QStringList{"【甲】", "【乙】"} << "尺上" << false << -1 << 0;
    QTest::newRow("within the second tune")
        << "工/尺/上/六" << QStringList{"【甲】", "【乙】"} << "上六" << false << 2 << 0;
}

void TestPhraseSearch::phrases() {
    QFETCH(QString, scoreShortHand);
    QFETCH(QStringList, headings);
    QFETCH(QString, phrase);
    QFETCH(bool, intervals);
    QFETCH(int, line);
    QFETCH(int, column);

    const QString scoreText = gongcheShortHand(scoreShortHand);
    const ScoreSummary summary = ScoreSummary::fromTexts(lyricFor(scoreText, headings), scoreText);
    QCOMPARE(summary.places.size(), summary.pitches.size());
    QString bad;
    const QVector<int> classes = PitchPhrase::parse(phrase, &bad);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    const QString key = intervals ? PitchPhrase::stepsOfPitchKey(summary.pitches) : summary.pitches;
    const QString needle =
        intervals ? PitchPhrase::stepKey(classes) : PitchPhrase::pitchKey(classes);
    const QVector<int> found = PitchPhrase::occurrences(key, needle);
    if (line < 0) {
        QVERIFY2(found.isEmpty(), qPrintable(summary.pitches));
        return;
    }
    QVERIFY2(!found.isEmpty(), qPrintable(summary.pitches + QLatin1Char(' ') + needle));
    QCOMPARE(summary.places.at(found.first()).scoreLine, line);
    QCOMPARE(summary.places.at(found.first()).column, column);
}

void TestPhraseSearch::pitchClasses_data() {
    QTest::addColumn<QString>("names");
    QTest::addColumn<QVector<int>>("classes");
    QTest::newRow("the ten names")
        << "合四一上尺工凡六五乙" << QVector<int>{7, 9, 11, 0, 2, 4, 5, 7, 9, 11};
    QTest::newRow("high forms") << "仩伬仜伍亿" << QVector<int>{0, 2, 4, 9, 11};
    QTest::newRow("marks passed over") << "上、尺○工●凡×" << QVector<int>{0, 2, 4, 5};
    QTest::newRow("nothing") << "" << QVector<int>{};
}

void TestPhraseSearch::pitchClasses() {
    QFETCH(QString, names);
    QFETCH(QVector<int>, classes);
    QCOMPARE(PitchPhrase::parse(names), classes);
}

void TestPhraseSearch::badPhrases_data() {
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("bad");
    QTest::newRow("a word") << "工春上"
                            << "春";
    QTest::newRow("a letter") << "工x"
                              << "x";
    QTest::newRow("an unknown private sign")
        << QString::fromUcs4(U"\U000F0010") << QString::fromUcs4(U"\U000F0010");
}

void TestPhraseSearch::badPhrases() {
    QFETCH(QString, phrase);
    QFETCH(QString, bad);
    QString found;
    QVERIFY(PitchPhrase::parse(phrase, &found).isEmpty());
    QCOMPARE(found, bad);
}

void TestPhraseSearch::query_data() {
    using F = LibraryQuery::Field;
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<int>>("fields");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("bare") << "皂罗袍" << QVector<int>{int(F::Any)} << QStringList{"皂罗袍"};
    QTest::newRow("each field")
        << "标题:游园 曲牌:皂罗袍 宫调:仙吕 笛色:小工调 板式:一板三眼 词:良辰 腔:工尺 音程:上尺"
        << QVector<int>{int(F::Title),  int(F::QuPai), int(F::GongDiao), int(F::DiSe),
                        int(F::BanShi), int(F::Lyric), int(F::Melody),   int(F::Interval)}
        << QStringList{"游园", "皂罗袍", "仙吕", "小工调", "一板三眼", "良辰", "工尺", "上尺"};
    QTest::newRow("full-width colon")
        << "曲牌：山坡羊" << QVector<int>{int(F::QuPai)} << QStringList{"山坡羊"};
    QTest::newRow("field apart") << "词: 良辰美景" << QVector<int>{int(F::Lyric)}
                                 << QStringList{"良辰美景"};
    QTest::newRow("quoted") << "词:\"良辰 美景\" 春" << QVector<int>{int(F::Lyric), int(F::Any)}
                            << QStringList{"良辰 美景", "春"};
    QTest::newRow("unknown prefix is text")
        << "作者:汤显祖" << QVector<int>{int(F::Any)} << QStringList{"作者:汤显祖"};
    QTest::newRow("ideographic space") << "游园\u3000惊梦" << QVector<int>{int(F::Any), int(F::Any)}
                                       << QStringList{"游园", "惊梦"};
    QTest::newRow("empty") << "   " << QVector<int>{} << QStringList{};
}

void TestPhraseSearch::query() {
    QFETCH(QString, text);
    QFETCH(QVector<int>, fields);
    QFETCH(QStringList, texts);
    const LibraryQuery q = LibraryQuery::parse(text);
    QCOMPARE(q.terms().size(), fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        QCOMPARE(int(q.terms().at(i).field), fields.at(i));
        QCOMPARE(q.terms().at(i).text, texts.at(i));
    }
}

void TestPhraseSearch::summary() {
    const QString lyric = QStringLiteral("# 牡丹亭·游园\n"
                                         "【皂罗袍】(仙吕)\n"
                                         "; 笛色=小工调 板式=加赠一板三眼\n"
                                         "= 不到园林\n"
                                         "原来，姹紫\n"
                                         "【好姐姐】\n"
                                         "; 笛色=尺字调\n"
                                         "遍青山");
    const QString scoreText = gongcheShortHand("工|/尺o/上*/尺o/工|/六/五/上");
    const ScoreSummary s = ScoreSummary::fromTexts(lyric, scoreText);
    QCOMPARE(s.title, QStringLiteral("牡丹亭·游园"));
    QCOMPARE(s.titleLine, 0);
    QCOMPARE(s.tunes.size(), 2);
    QCOMPARE(s.tunes.at(0).quPai, QStringLiteral("皂罗袍"));
    QCOMPARE(s.tunes.at(0).gongDiao, QStringLiteral("仙吕"));
    QCOMPARE(s.tunes.at(0).diSe, QStringLiteral("小工调"));
    QCOMPARE(s.tunes.at(0).banShi, QStringLiteral("加赠一板三眼"));
    QCOMPARE(s.tunes.at(0).lyricLine, 1);
    QCOMPARE(s.tunes.at(1).quPai, QStringLiteral("好姐姐"));
    QCOMPARE(s.tunes.at(1).gongDiao, QString());
    QCOMPARE(s.tunes.at(1).diSe, QStringLiteral("尺字调"));
    QCOMPARE(s.tunes.at(1).lyricLine, 5);
    // The spoken line and the two sung lines, with the first sung index.
    QCOMPARE(s.lines.size(), 3);
    QCOMPARE(s.lines.at(0).lyricLine, 3);
    QCOMPARE(s.lines.at(0).firstCharacter, -1);
    QCOMPARE(s.lines.at(1).text, QStringLiteral("原来，姹紫"));
    QCOMPARE(s.lines.at(1).firstCharacter, 0);
    QCOMPARE(s.lines.at(2).firstCharacter, 4);
    // Sung characters in place: 姹 is the third, at column 3 of line 4.
    QCOMPARE(s.characters.at(2), qMakePair(4, 3));
    // The melody: two tunes kept apart.
    QCOMPARE(s.pitches, QStringLiteral("ecac|ehj"));
    QCOMPARE(ScoreSummary::searchable(QStringLiteral("原来，姹紫 嫣红")),
             QStringLiteral("原来姹紫嫣红"));
}

using Pairs = QVector<QPair<int, int>>;

void TestPhraseSearch::placesRoundTrip_data() {
    QTest::addColumn<Pairs>("pairs");
    QTest::newRow("none") << Pairs{};
    QTest::newRow("in order") << Pairs{{0, 0}, {0, 2}, {1, 0}, {5, 6}};
    QTest::newRow("separators") << Pairs{{3, 0}, {-1, -1}, {4, 2}};
    QTest::newRow("large") << Pairs{{70000, 40000}, {2147483647, -2147483647 - 1}, {0, 1}};
}

void TestPhraseSearch::placesRoundTrip() {
    QFETCH(Pairs, pairs);
    const QByteArray bytes = PairCodec::encode(pairs);
    QVERIFY(!bytes.isNull());
    QCOMPARE(PairCodec::decode(bytes), pairs);
    // Cut short: the pairs before the cut, never more.
    if (!bytes.isEmpty()) {
        QVERIFY(PairCodec::decode(bytes.left(bytes.size() - 1)).size() < pairs.size());
    }
}

QTEST_GUILESS_MAIN(TestPhraseSearch)
#include "tst_phrasesearch.moc"

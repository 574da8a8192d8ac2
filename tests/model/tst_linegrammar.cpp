#include "model/linegrammar.h"

#include <QRandomGenerator>
#include <QtTest>

class TestLineGrammar : public QObject {
    Q_OBJECT

private slots:
    void kinds_data();
    void kinds();
    void directiveLines_data();
    void directiveLines();
    void sungCharacters();
    void punctuationClassHasExactly46Characters();
    void verticalForms();
    void fastPathsAgreeWithPatterns();
};

void TestLineGrammar::kinds_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<LineKind>("kind");
    QTest::newRow("empty") << QString() << LineKind::Other;
    QTest::newRow("title") << QStringLiteral("# 标题") << LineKind::Title;
    QTest::newRow("bare hash") << QStringLiteral("#") << LineKind::Title;
    QTest::newRow("comment") << QStringLiteral(";x") << LineKind::Comment;
    QTest::newRow("jiabai") << QStringLiteral("> 白") << LineKind::JiaBai;
    QTest::newRow("lianbai") << QStringLiteral("= 白") << LineKind::LianBai;
    QTest::newRow("qupai") << QStringLiteral("【皂罗袍】") << LineKind::QuPai;
    QTest::newRow("qupai ascii mode") << QStringLiteral("【皂罗袍】(仙吕)") << LineKind::QuPai;
    QTest::newRow("qupai wide mode") << QStringLiteral("【皂罗袍】（仙吕）") << LineKind::QuPai;
    QTest::newRow("qupai mixed brackets") << QStringLiteral("【皂罗袍】(仙吕）") << LineKind::QuPai;
    QTest::newRow("qupai trailing text") << QStringLiteral("【皂罗袍】仙吕") << LineKind::Lyric;
    QTest::newRow("qupai empty name") << QStringLiteral("【】") << LineKind::Other;
    QTest::newRow("line break") << QStringLiteral("@换行符") << LineKind::LineBreak;
    QTest::newRow("line break with text") << QStringLiteral("@换行符 以下") << LineKind::LineBreak;
    QTest::newRow("page break") << QStringLiteral("@分页符") << LineKind::PageBreak;
    QTest::newRow("at note") << QStringLiteral("@注") << LineKind::Lyric;
    QTest::newRow("latin with space") << QStringLiteral("abc 123") << LineKind::Lyric;
    QTest::newRow("latin") << QStringLiteral("abc") << LineKind::Other;
    QTest::newRow("sung") << QStringLiteral("春香，你好") << LineKind::Lyric;
    QTest::newRow("spaces") << QStringLiteral("   ") << LineKind::Lyric;
    QTest::newRow("ideographic space") << QStringLiteral("\u3000") << LineKind::Other;
}

void TestLineGrammar::kinds() {
    QFETCH(QString, line);
    QFETCH(LineKind, kind);
    QCOMPARE(lineKindOf(line), kind);
}

void TestLineGrammar::directiveLines_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("directive");
    QTest::addColumn<int>("scoreLines");
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("qupai trailing text") << QStringLiteral("【皂罗袍】仙吕") << true << 0;
    QTest::newRow("at note") << QStringLiteral("@注") << true << 0;
    QTest::newRow("latin with space") << QStringLiteral("abc 123") << false << 1;
    QTest::newRow("comma") << QStringLiteral("春香，你好") << false << 4;
    QTest::newRow("three spaces") << QStringLiteral("   ") << false << 3;
    QTest::newRow("title") << QStringLiteral("# 标题") << true << 0;
}

void TestLineGrammar::directiveLines() {
    QFETCH(QString, line);
    QFETCH(bool, directive);
    QFETCH(int, scoreLines);
    QCOMPARE(isDirectiveLine(line), directive);
    QCOMPARE(directive ? 0 : sungCharCount(line), scoreLines);
}

void TestLineGrammar::sungCharacters() {
    QCOMPARE(sungText(QStringLiteral("#【长生殿】 第一出")), QStringLiteral("长生殿 第一出"));
    QCOMPARE(sungCharCount(QStringLiteral("#【长生殿】 第一出")), 7);
    QCOMPARE(sungText(QStringLiteral("春香，你好")), QStringLiteral("春香你好"));
    // Edges of the range: 一 U+4E00 and 龥 U+9FA5 are sung, U+9FA6 and U+4DFF are not.
    QCOMPARE(sungCharCount(QString::fromUtf16(u"\u4E00\u9FA5\u9FA6\u4DFF\u3000")), 2);
}

void TestLineGrammar::punctuationClassHasExactly46Characters() {
    const QRegularExpression &re = lineRegex(LineKind::Punctuation);
    int count = 0;
    for (int u = 0; u <= 0xFFFF; ++u) {
        const QChar c(u);
        if (c.isSurrogate()) {
            continue;
        }
        const bool byRegex = re.match(QString(c)).hasMatch();
        QCOMPARE(isPunctuationChar(c), byRegex);
        QCOMPARE(isPunctuation(QString(c)), byRegex);
        count += byRegex ? 1 : 0;
    }
    QCOMPARE(count, 46);
}

void TestLineGrammar::verticalForms() {
    QCOMPARE(toVerticalForm(QChar('(')), QChar(0xFE35));
    QCOMPARE(toVerticalForm(QChar(0xFF09)), QChar(0xFE36));
    QCOMPARE(toVerticalForm(QChar(0x3008)), QChar(0x3008)); // 〈 is no punctuation here
    QCOMPARE(toVerticalForm(QChar('<')), QChar('<'));
    QCOMPARE(toVerticalForm(QChar(0x3002)), QChar(0x3002));
    QCOMPARE(toVerticalForm(QChar(0x9F99)), QChar(0x9F99));
    QCOMPARE(toVerticalForm(QChar(0x2014)), QChar(0xFF5C));
    QCOMPARE(toVerticalForm(QChar('[')), QChar(0xFE39));
    QCOMPARE(toVerticalForm(QChar(0xFF3D)), QChar(0xFE3A));
    QCOMPARE(toVerticalForm(QChar(0x3010)), QChar(0xFE3B));
    QCOMPARE(toVerticalForm(QChar(0x201C)), QChar(0xFE43));
    QCOMPARE(toVerticalForm(QChar(0x2019)), QChar(0xFE42));
    QCOMPARE(toVerticalForm(QChar('~')), QChar('~'));
}

// The classifier tests the anchored patterns directly; it must give what the
// patterns themselves give on any line.
void TestLineGrammar::fastPathsAgreeWithPatterns() {
    QStringList alphabet;
    for (QChar c : QStringLiteral("#;>=@【】()（）换行符分页春香 a1，。\u3000")) {
        alphabet.append(QString(c));
    }
    alphabet.append(QString::fromUcs4(U"\U000F0001")); // a gongche symbol: a surrogate pair
    QRandomGenerator rng(20261207);
    const QList<LineKind> order = {LineKind::Title,     LineKind::Comment, LineKind::JiaBai,
                                   LineKind::LianBai,   LineKind::QuPai,   LineKind::LineBreak,
                                   LineKind::PageBreak, LineKind::Lyric};
    for (int round = 0; round < 20000; ++round) {
        QString line;
        const int len = rng.bounded(8);
        for (int i = 0; i < len; ++i) {
            line.append(alphabet.at(rng.bounded(int(alphabet.size()))));
        }
        if (rng.bounded(4) == 0) {
            line.prepend(QStringLiteral("@换行符"));
        }
        LineKind expected = LineKind::Other;
        for (LineKind k : order) {
            if (lineRegex(k).match(line).hasMatch()) {
                expected = k;
                break;
            }
        }
        QCOMPARE(lineKindOf(line), expected);
        QCOMPARE(isDirectiveLine(line),
                 QRegularExpression(QStringLiteral("^[#;>=【@]")).match(line).hasMatch());
        QString viaMatches;
        auto it = lineRegex(LineKind::Lyric).globalMatch(line);
        while (it.hasNext()) {
            viaMatches += it.next().captured(0);
        }
        QCOMPARE(sungText(line), viaMatches);
        QCOMPARE(sungCharCount(line), viaMatches.size());
    }
}

QTEST_APPLESS_MAIN(TestLineGrammar)
#include "tst_linegrammar.moc"

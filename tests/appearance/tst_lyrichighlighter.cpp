#include "appearance/editorconfig.h"
#include "appearance/lyrichighlighter.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

// Checks the colour every character of a lyric line is actually given, read
// back from the block layouts the highlighter fills.
class TestLyricHighlighter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void linesAreColouredByKind_data();
    void linesAreColouredByKind();
    void titleIsBold();
    void linesDoNotInfluenceEachOther();
    void confirmedColourRecoloursLiveDocument();

private:
    // As in an editor: the document has a layout (without one it reports no
    // changes), and the highlighter's first, queued rehighlight has run (it
    // ignores edits until then).
    static void settle(QTextDocument &doc) {
        doc.documentLayout();
        QCoreApplication::processEvents();
    }
    // One letter per character: the colour code of its format, '.' for none.
    static QString colourCodes(const QTextBlock &block);
};

namespace {

// Default colours by code letter.
const QMap<QChar, QString> &codes() {
    static const QMap<QChar, QString> m = {
        {'P', "#50a14f"}, // punctuation
        {'L', "#333333"}, // sung characters
        {'T', "#a76f55"}, // title
        {'J', "#b76b01"}, // 夹白
        {'N', "#a626a4"}, // 念白
        {'Q', "#4078f2"}, // tune-name heading
        {'B', "#a9a9a9"}, // break markers and comments share the default
    };
    return m;
}

} // namespace

QString TestLyricHighlighter::colourCodes(const QTextBlock &block) {
    const QString text = block.text();
    QString result(text.size(), QLatin1Char('.'));
    const auto ranges = block.layout()->formats();
    for (const QTextLayout::FormatRange &r : ranges) {
        if (!r.format.hasProperty(QTextFormat::ForegroundBrush)) {
            continue;
        }
        const QString name = r.format.foreground().color().name();
        QChar code = QLatin1Char('?');
        for (auto it = codes().cbegin(); it != codes().cend(); ++it) {
            if (it.value() == name) {
                code = it.key();
            }
        }
        for (int i = r.start; i < r.start + r.length && i < text.size(); ++i) {
            if (result.at(i) != QLatin1Char('.')) {
                result[i] = QLatin1Char('!'); // overlapping ranges: never expected
            } else {
                result[i] = code;
            }
        }
    }
    return result;
}

void TestLyricHighlighter::initTestCase() {
    QFile::remove(QCoreApplication::applicationDirPath() + "/settings.ini");
    QCOMPARE(EditorConfig::instance()->lyricColor().name(), QStringLiteral("#333333"));
}

void TestLyricHighlighter::linesAreColouredByKind_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");

    QTest::newRow("title") << QStringLiteral("# 标题") << "TTTT";
    QTest::newRow("sung line with comma") << QStringLiteral("春香，你好") << "LLPLL";
    QTest::newRow("latin letter in sung line") << QStringLiteral("春a香") << "L.L";
    QTest::newRow("digits and symbols") << QStringLiteral("春1*香") << "L..L";
    QTest::newRow("tune name with mode") << QStringLiteral("【皂罗袍】(仙吕)") << "QQQQQQQQQ";
    QTest::newRow("tune name with full-width mode")
        << QStringLiteral("【皂罗袍】（仙吕）") << "QQQQQQQQQ";
    QTest::newRow("tune name with trailing text") << QStringLiteral("【皂罗袍】仙吕") << "PLLLPLL";
    QTest::newRow("line break") << QStringLiteral("@换行符") << "BBBB";
    QTest::newRow("page break") << QStringLiteral("@分页符") << "BBBB";
    QTest::newRow("line break with tail") << QStringLiteral("@换行符 x") << "BBBBL.";
    QTest::newRow("marker not at line start") << QStringLiteral("好@换行符") << "L.LLL";
    QTest::newRow("unknown directive") << QStringLiteral("@注") << ".L";
    QTest::newRow("comment") << QStringLiteral("; 注释") << "BBBB";
    QTest::newRow("comment with punctuation") << QStringLiteral(";注，a") << "BBBB";
    QTest::newRow("jiabai") << QStringLiteral("> 白") << "JJJ";
    QTest::newRow("lianbai") << QStringLiteral("= 白，a") << "NNNNN";
    QTest::newRow("spaces are sung") << QStringLiteral("春 香") << "LLL";
    QTest::newRow("empty") << QString() << "";
}

void TestLyricHighlighter::linesAreColouredByKind() {
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QTextDocument doc;
    LyricHighlighter highlighter(&doc);
    settle(doc);
    doc.setPlainText(line);
    QCOMPARE(colourCodes(doc.firstBlock()), expected);
}

void TestLyricHighlighter::titleIsBold() {
    QTextDocument doc;
    LyricHighlighter highlighter(&doc);
    settle(doc);
    doc.setPlainText(QStringLiteral("# 标题\n春香"));
    const auto title = doc.firstBlock().layout()->formats();
    QCOMPARE(title.size(), 1);
    QCOMPARE(title.first().format.fontWeight(), int(QFont::Bold));
    QVERIFY(!title.first().format.fontItalic());
    QVERIFY(!title.first().format.hasProperty(QTextFormat::BackgroundBrush));
    const auto sung = doc.firstBlock().next().layout()->formats();
    QCOMPARE(sung.size(), 1);
    QVERIFY(!sung.first().format.hasProperty(QTextFormat::FontWeight));
}

void TestLyricHighlighter::linesDoNotInfluenceEachOther() {
    QTextDocument doc;
    LyricHighlighter highlighter(&doc);
    settle(doc);
    doc.setPlainText(QStringLiteral("春香\n你好"));
    QTextCursor cursor(doc.firstBlock());
    cursor.insertText(QStringLiteral("# "));
    QCOMPARE(colourCodes(doc.firstBlock()), QStringLiteral("TTTT"));
    QCOMPARE(colourCodes(doc.firstBlock().next()), QStringLiteral("LL"));
}

void TestLyricHighlighter::confirmedColourRecoloursLiveDocument() {
    EditorConfig *config = EditorConfig::instance();
    QTextDocument doc;
    LyricHighlighter highlighter(&doc);
    settle(doc);
    doc.setPlainText(QStringLiteral("春，\n【皂罗袍】"));

    config->setLyricColor(QColor(QStringLiteral("#123456")));
    config->setQuPaiColor(QColor(QStringLiteral("#654321")));
    // A setter alone tells nobody.
    QCOMPARE(doc.firstBlock().layout()->formats().first().format.foreground().color().name(),
             QStringLiteral("#333333"));

    config->save();
    const auto sung = doc.firstBlock().layout()->formats();
    QCOMPARE(sung.size(), 2);
    QCOMPARE(sung.at(0).format.foreground().color().name(), QStringLiteral("#123456"));
    QCOMPARE(sung.at(1).format.foreground().color().name(), QStringLiteral("#50a14f"));
    const auto quPai = doc.firstBlock().next().layout()->formats();
    QCOMPARE(quPai.size(), 1);
    QCOMPARE(quPai.first().format.foreground().color().name(), QStringLiteral("#654321"));

    config->restoreDefaults();
    QCOMPARE(colourCodes(doc.firstBlock()), QStringLiteral("LP"));
}

QTEST_MAIN(TestLyricHighlighter)
#include "tst_lyrichighlighter.moc"

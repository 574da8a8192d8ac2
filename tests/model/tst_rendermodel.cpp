#include "model/rendermodel.h"

#include <QtTest>

class TestRenderModel : public QObject {
    Q_OBJECT

private slots:
    void pairsSungCharactersWithScoreLines();
    void directiveLinesOwnNoScoreLines();
    void charactersOutsideTheBmpAreOneEntry();
    void missingScoreLinesAreEmpty();
    void everyLineBreakTheEditorKnows_data();
    void everyLineBreakTheEditorKnows();
};

void TestRenderModel::pairsSungCharactersWithScoreLines() {
    const DocumentLines lines =
        renderModel(QStringLiteral("# 游园\n春，香\nabc 1\n你好"), QStringLiteral("a\nb\nc\nd\ne"));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0).kind, LineKind::Title);
    QVERIFY(lines.at(0).scores.isEmpty());
    QCOMPARE(lines.at(1).kind, LineKind::Lyric);
    QCOMPARE(lines.at(1).text, QStringLiteral("春，香"));
    QCOMPARE(lines.at(1).scores, (QStringList{"a", "", "b"}));
    // "abc 1" is a sung line for the pairing: its space owns line c.
    QCOMPARE(lines.at(2).scores, (QStringList{"", "", "", "c", ""}));
    QCOMPARE(lines.at(3).scores, (QStringList{"d", "e"}));
}

void TestRenderModel::directiveLinesOwnNoScoreLines() {
    const DocumentLines lines = renderModel(QStringLiteral("春香\n@注\n= 念白\n【皂罗袍】仙吕\n好"),
                                            QStringLiteral("a\nb\nc"));
    QCOMPARE(lines.at(1).kind, LineKind::Lyric); // a directive line all the same
    QCOMPARE(lines.at(1).scores, (QStringList{"", "b"}));
    QCOMPARE(lines.at(2).kind, LineKind::LianBai);
    QVERIFY(lines.at(2).scores.isEmpty());
    QCOMPARE(lines.at(3).kind, LineKind::Lyric);
    QCOMPARE(lines.at(3).scores.size(), lines.at(3).text.size());
    QCOMPARE(lines.at(3).scores.at(1), QStringLiteral("b"));
    QCOMPARE(lines.at(4).scores, QStringList{"c"});
}

void TestRenderModel::charactersOutsideTheBmpAreOneEntry() {
    const QString text =
        QStringLiteral("春") + QString::fromUcs4(U"\U00020000") + QStringLiteral("香");
    const DocumentLines lines = renderModel(text, QStringLiteral("a\nb"));
    QCOMPARE(lines.first().scores, (QStringList{"a", "", "b"}));
}

void TestRenderModel::missingScoreLinesAreEmpty() {
    const DocumentLines lines = renderModel(QStringLiteral("春香秋"), QStringLiteral("a"));
    QCOMPARE(lines.first().scores, (QStringList{"a", "", ""}));
    QCOMPARE(renderModel(QString(), QString()).size(), 1);
}

void TestRenderModel::everyLineBreakTheEditorKnows_data() {
    QTest::addColumn<QString>("separator");
    QTest::newRow("LF") << QStringLiteral("\n");
    QTest::newRow("CR") << QStringLiteral("\r");
    QTest::newRow("CR LF") << QStringLiteral("\r\n");
    QTest::newRow("U+2028") << QString(QChar(0x2028));
    QTest::newRow("U+2029") << QString(QChar(0x2029));
    QTest::newRow("U+FDD0") << QString(QChar(0xFDD0));
    QTest::newRow("U+FDD1") << QString(QChar(0xFDD1));
}

void TestRenderModel::everyLineBreakTheEditorKnows() {
    QFETCH(QString, separator);
    const QStringList lyric = {QStringLiteral("# 游园"), QStringLiteral("春香"),
                               QStringLiteral("= 念白"), QStringLiteral("秋 月")};
    const QStringList score = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                               QStringLiteral("d"), QStringLiteral("e")};
    const DocumentLines plain =
        renderModel(lyric.join(QLatin1Char('\n')), score.join(QLatin1Char('\n')));
    // A no-break space is a space: "=\u00a0念白" is still spoken, "秋\u00a0月" sings three.
    QStringList spaced = lyric;
    spaced[2].replace(QLatin1Char(' '), QChar(0x00A0));
    spaced[3].replace(QLatin1Char(' '), QChar(0x00A0));
    const DocumentLines odd = renderModel(spaced.join(separator), score.join(separator));
    QCOMPARE(odd, plain);
    QCOMPARE(plain.at(2).kind, LineKind::LianBai);
    QCOMPARE(plain.at(3).scores, (QStringList{"c", "d", "e"}));
    QCOMPARE(editorLines(score.join(separator)), score);
    // An empty text is one empty line, as in an empty editor.
    QCOMPARE(editorLines(QString()), QStringList{QString()});
}

QTEST_MAIN(TestRenderModel)
#include "tst_rendermodel.moc"

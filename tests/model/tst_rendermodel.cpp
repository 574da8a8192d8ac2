#include "model/rendermodel.h"

#include <QtTest>

class TestRenderModel : public QObject {
    Q_OBJECT

private slots:
    void pairsSungCharactersWithScoreLines();
    void directiveLinesOwnNoScoreLines();
    void charactersOutsideTheBmpAreOneEntry();
    void missingScoreLinesAreEmpty();
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

QTEST_MAIN(TestRenderModel)
#include "tst_rendermodel.moc"

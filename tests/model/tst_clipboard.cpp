#include "model/clipboardrecord.h"

#include <QtTest>

class TestClipboard : public QObject {
    Q_OBJECT

private slots:
    void exactJson();
    void roundTrip();
    void toleratesForeignInput();
};

void TestClipboard::exactJson() {
    const QStringList lyric = {QStringLiteral("春"), QStringLiteral("，"), QStringLiteral("\n"),
                               QStringLiteral("香")};
    const QString s1 = QString::fromUcs4(U"\U000F002C\U000F0000");
    const QStringList score = {s1, QString(), QString(), QStringLiteral("x")};
    const QByteArray json = encodeClipboard(lyric, score);
    const QByteArray expected = QStringLiteral("{\n"
                                               "    \"lyric\": [\n"
                                               "        \"春\",\n"
                                               "        \"，\",\n"
                                               "        \"\\n\",\n"
                                               "        \"香\"\n"
                                               "    ],\n"
                                               "    \"score\": [\n"
                                               "        \"%1\",\n"
                                               "        \"\",\n"
                                               "        \"\",\n"
                                               "        \"x\"\n"
                                               "    ]\n"
                                               "}\n")
                                    .arg(s1)
                                    .toUtf8();
    QCOMPARE(json, expected);
}

void TestClipboard::roundTrip() {
    const QStringList lyric = {QStringLiteral("a"), QStringLiteral("\n")};
    const QStringList score = {QStringLiteral("s"), QString()};
    QStringList l, s;
    decodeClipboard(encodeClipboard(lyric, score), &l, &s);
    QCOMPARE(l, lyric);
    QCOMPARE(s, score);
}

void TestClipboard::toleratesForeignInput() {
    QStringList l = {QStringLiteral("old")}, s = {QStringLiteral("old")};
    decodeClipboard("not json", &l, &s);
    QVERIFY(l.isEmpty() && s.isEmpty());
    decodeClipboard("[1,2]", &l, &s);
    QVERIFY(l.isEmpty() && s.isEmpty());
    decodeClipboard(R"({"lyric": ["a", 5, null, "b"]})", &l, &s);
    QCOMPARE(l, (QStringList{QStringLiteral("a"), QString(), QString(), QStringLiteral("b")}));
    QVERIFY(s.isEmpty());
    decodeClipboard(R"({"lyric": "ab", "score": {"x": 1}})", &l, &s);
    QVERIFY(l.isEmpty() && s.isEmpty());
}

QTEST_APPLESS_MAIN(TestClipboard)
#include "tst_clipboard.moc"

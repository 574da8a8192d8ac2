// The .gcpbook file: what a hand-written book says, what is wrong with a bad
// one (with its line), and what the program writes back.
#include "book/bookfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestBookFile : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void failureKeepsTheBook();
    void roundTrip_data();
    void roundTrip();
    void paths();
};

void TestBookFile::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");   // empty: it parses
    QTest::addColumn<QString>("summary"); // title|subtitle|editor|notation|scheme|right|items

    const QString one = QStringLiteral("曲=a.gcp\n");
    QTest::newRow("one score") << one << QString() << QStringLiteral("||||||曲a.gcp@1");
    QTest::newRow("everything")
        << QStringLiteral("# 注释\n书名=牡丹亭曲选\n副题=游园\n编者=某某\n谱式=简谱\n方案=书谱\n"
                          "右页起=是\n\n卷=第一卷\n曲=a.gcp\n曲=b/c.GCP\n")
        << QString()
        << QStringLiteral("牡丹亭曲选|游园|某某|简谱|书谱|是|卷第一卷@9 曲a.gcp@10 曲b/c.GCP@11");
    QTest::newRow("spaces, full-width =, comments, CRLF, BOM")
        << QStringLiteral("\xFEFF  书名 ＝ 曲选 \r\n   # 曲=x.gcp\r\n＃注\r\n 曲 = a.gcp\r\n")
        << QString() << QStringLiteral("曲选||||||曲a.gcp@4");
    QTest::newRow("= in a value") << QStringLiteral("书名=a=b\n") + one << QString()
                                  << QStringLiteral("a=b||||||曲a.gcp@2");
    QTest::newRow("english notation") << QStringLiteral("谱式=Staff\n") + one << QString()
                                      << QStringLiteral("|||五线谱|||曲a.gcp@2");
    QTest::newRow("right page off")
        << QStringLiteral("右页起=否\n") + one << QString() << QStringLiteral("||||||曲a.gcp@2");

    QTest::newRow("unknown key") << QStringLiteral("\n书名=x\nxx=1\n") + one
                                 << QStringLiteral("第3行：未知的项目“xx”") << QString();
    QTest::newRow("no =") << QStringLiteral("曲 a.gcp\n")
                          << QStringLiteral("第1行：缺少“=”，应写作“项目=内容”：“曲 a.gcp”")
                          << QString();
    QTest::newRow("bad notation") << one + QStringLiteral("谱式=减字谱\n")
                                  << QStringLiteral(
                                         "第2行：谱式“减字谱”无效，应为工尺谱、简谱或五线谱")
                                  << QString();
    QTest::newRow("bad right page")
        << one + QStringLiteral("右页起=yes\n")
        << QStringLiteral("第2行：右页起“yes”无效，应为是或否") << QString();
    QTest::newRow("twice the title") << QStringLiteral("书名=a\n书名=b\n") + one
                                     << QStringLiteral("第2行：项目“书名”重复") << QString();
    QTest::newRow("empty score") << QStringLiteral("曲=\n") << QStringLiteral("第1行：“曲”缺少内容")
                                 << QString();
    QTest::newRow("empty part") << one + QStringLiteral("卷= \n")
                                << QStringLiteral("第2行：“卷”缺少内容") << QString();
    QTest::newRow("not a score file")
        << QStringLiteral("曲=a.txt\n") << QStringLiteral("第1行：“a.txt”不是曲谱文件（.gcp）")
        << QString();
    QTest::newRow("no score") << QStringLiteral("书名=空\n卷=第一卷\n")
                              << QStringLiteral("曲谱集中没有曲谱，请用“曲=文件.gcp”加入曲谱")
                              << QString();
    QTest::newRow("empty file") << QString()
                                << QStringLiteral("曲谱集中没有曲谱，请用“曲=文件.gcp”加入曲谱")
                                << QString();
}

namespace {

QString summaryOf(const BookFile &book) {
    QStringList items;
    for (const BookFile::Item &item : book.items()) {
        items << (item.kind == BookFile::Item::Kind::Part ? QStringLiteral("卷")
                                                          : QStringLiteral("曲")) +
                     item.value + QLatin1Char('@') + QString::number(item.line);
    }
    return QStringList{book.title(),
                       book.subtitle(),
                       book.editor(),
                       book.notation() ? BookFile::notationText(*book.notation()) : QString(),
                       book.scheme(),
                       book.rightPageStart() ? QStringLiteral("是") : QString(),
                       items.join(QLatin1Char(' '))}
        .join(QLatin1Char('|'));
}

} // namespace

void TestBookFile::parse() {
    QFETCH(QString, text);
    QFETCH(QString, error);
    QFETCH(QString, summary);
    BookFile book;
    const Outcome parsed = book.parse(text);
    QCOMPARE(parsed.ok(), error.isEmpty());
    QCOMPARE(parsed.message(), error);
    if (parsed) {
        QCOMPARE(summaryOf(book), summary);
    } else {
        QCOMPARE(parsed.title(), BookFile::failureTitle());
    }
}

void TestBookFile::failureKeepsTheBook() {
    BookFile book;
    QVERIFY(book.parse(QStringLiteral("书名=甲\n曲=a.gcp\n")).ok());
    QVERIFY(!book.parse(QStringLiteral("书名=乙\n曲=b.gcp\n怪=1\n")).ok());
    QCOMPARE(summaryOf(book), QStringLiteral("甲||||||曲a.gcp@2"));
}

void TestBookFile::roundTrip_data() {
    QTest::addColumn<QString>("text"); // as the program writes it

    QTest::newRow("smallest") << QStringLiteral("曲=a.gcp\n");
    QTest::newRow("everything") << QStringLiteral(
        "书名=牡丹亭曲选\n副题=游园·惊梦\n编者=某某\n谱式=工尺谱\n方案=schemes/书谱\n右页起=是\n"
        "卷=上卷　游园\n曲=youyuan.gcp\n曲=../别处/好姐姐.gcp\n卷=下卷\n曲=惊梦.gcp\n");
    QTest::newRow("jianpu, no parts") << QStringLiteral("书名=x\n谱式=简谱\n曲=a.gcp\n曲=b.gcp\n");
}

void TestBookFile::roundTrip() {
    QFETCH(QString, text);
    QTemporaryDir dir;
    BookFile book;
    QVERIFY(book.parse(text).ok());
    QCOMPARE(book.toText(), text);
    const QString path = dir.filePath(QStringLiteral("书.gcpbook"));
    QVERIFY(book.write(path).ok());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), text.toUtf8());
    BookFile again;
    QVERIFY(again.read(path).ok());
    QCOMPARE(again.path(), path);
    QCOMPARE(again.toText(), text);
}

void TestBookFile::paths() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("books/schemes")));
    const QString bookPath = dir.filePath(QStringLiteral("books/a.gcpbook"));
    QFile book(bookPath);
    QVERIFY(book.open(QIODevice::WriteOnly));
    book.write(QStringLiteral("方案=schemes/书谱\n曲=../scores/甲.gcp\n曲=/abs/乙.gcp\n").toUtf8());
    book.close();
    QFile scheme(dir.filePath(QStringLiteral("books/schemes/plain")));
    QVERIFY(scheme.open(QIODevice::WriteOnly));
    scheme.close();

    BookFile b;
    QVERIFY(b.read(bookPath).ok());
    QCOMPARE(b.resolve(b.items().at(0).value), dir.filePath(QStringLiteral("scores/甲.gcp")));
    QCOMPARE(b.resolve(b.items().at(1).value), QStringLiteral("/abs/乙.gcp"));
    // ".json" is optional; a name that is a file stays as it is.
    QCOMPARE(b.schemePath(), dir.filePath(QStringLiteral("books/schemes/书谱.json")));
    b.setScheme(QStringLiteral("schemes/plain"));
    QCOMPARE(b.schemePath(), dir.filePath(QStringLiteral("books/schemes/plain")));
    b.setScheme(QString());
    QCOMPARE(b.schemePath(), QString());

    QVERIFY(!b.read(dir.filePath(QStringLiteral("missing.gcpbook"))).ok());
    QCOMPARE(b.path(), bookPath);
}

QTEST_GUILESS_MAIN(TestBookFile)
#include "tst_bookfile.moc"

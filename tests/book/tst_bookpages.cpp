// The pages of a book of three pieces in two parts, read back from its PDF as
// a reader meets them: the outline (qpdf), the contents, the running heads
// and the page numbers (the words pdftotext finds and where they stand).
#include "../export/exportfixture.h"
#include "book/bookedition.h"
#include "book/bookfile.h"
#include "export/exportconfig.h"
#include "model/scorefile.h"
#include "staff/staffengraver.h"
#include "testsupport.h"
#include "typeset/typesetter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

Q_DECLARE_METATYPE(PageStyle::Notation)

namespace {

const QString bookTitle = QStringLiteral("牡丹亭曲选");

// The example book's pieces, copied beside a book of the test's own.
const QStringList pieceFiles = {QStringLiteral("youyuan-zaoluopao.gcp"),
                                QStringLiteral("youyuan-haojiejie.gcp"),
                                QStringLiteral("jingmeng-shanpoyang.gcp")};

QString bookText(bool rightPage) {
    return QStringLiteral("书名=牡丹亭曲选\n副题=游园·惊梦\n编者=某某\n") +
           (rightPage ? QStringLiteral("右页起=是\n") : QString()) +
           QStringLiteral("卷=上卷\n曲=youyuan-zaoluopao.gcp\n曲=youyuan-haojiejie.gcp\n"
                          "卷=下卷\n曲=jingmeng-shanpoyang.gcp\n");
}

// The outline a reader sees: depth and title, in order.
const QStringList outlineShape = {QStringLiteral("0 牡丹亭曲选"),
                                  QStringLiteral("1 上卷"),
                                  QStringLiteral("2 牡丹亭·游园"),
                                  QStringLiteral("3 【皂罗袍】(仙吕)"),
                                  QStringLiteral("2 游园·好姐姐"),
                                  QStringLiteral("3 【好姐姐】(仙吕)"),
                                  QStringLiteral("1 下卷"),
                                  QStringLiteral("2 牡丹亭·惊梦"),
                                  QStringLiteral("3 【山坡羊】(商调)"),
                                  QStringLiteral("3 【山桃红】(越调)")};

struct Word {
    QString text;
    QRectF box;
};
using PageWords = QVector<Word>;

// Every page's words as pdftotext finds them.
QVector<PageWords> wordsOf(const QString &pdf) {
    const QString xml = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")}));
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QVector<PageWords> pages;
    for (const QString &page : xml.split(QStringLiteral("<page ")).mid(1)) {
        PageWords words;
        auto it = word.globalMatch(page);
        while (it.hasNext()) {
            const auto m = it.next();
            words.append({m.captured(5),
                          QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                 QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
        }
        pages.append(words);
    }
    return pages;
}

// Words in reading order joined: vertical columns right to left, each top to
// bottom; or lines top to bottom, each left to right. A column (line) holds
// the words whose centres (bottoms) lie within 3 points of its first.
QString readingText(PageWords words, bool vertical) {
    const auto across = [vertical](const Word &w) {
        return vertical ? -w.box.center().x() : w.box.bottom();
    };
    const auto along = [vertical](const Word &w) { return vertical ? w.box.top() : w.box.left(); };
    std::stable_sort(words.begin(), words.end(),
                     [&](const Word &a, const Word &b) { return across(a) < across(b); });
    QString text;
    for (int first = 0; first < words.size();) {
        int end = first;
        while (end < words.size() && across(words.at(end)) - across(words.at(first)) <= 3) {
            ++end;
        }
        std::stable_sort(words.begin() + first, words.begin() + end,
                         [&](const Word &a, const Word &b) { return along(a) < along(b); });
        for (int i = first; i < end; ++i) {
            text += words.at(i).text;
        }
        first = end;
    }
    return text;
}

int chineseNumber(const QString &text) {
    static const QString digits = QStringLiteral("〇一二三四五六七八九");
    int total = 0, current = 0;
    for (QChar c : text) {
        if (digits.contains(c)) {
            current = digits.indexOf(c);
        } else if (c == QChar(0x5341)) { // 十
            total += std::max(current, 1) * 10;
            current = 0;
        } else if (c == QChar(0x767E)) { // 百
            total += std::max(current, 1) * 100;
            current = 0;
        }
    }
    return total + current;
}

// The number at the end of text (Arabic, or Chinese numerals); -1 for none.
int trailingNumber(const QString &text) {
    static const QRegularExpression number(QStringLiteral("([0-9]+|[〇一二三四五六七八九十百]+)$"));
    const auto m = number.match(text);
    if (!m.hasMatch()) {
        return -1;
    }
    bool ok = false;
    const int arabic = m.captured(1).toInt(&ok);
    return ok ? arabic : chineseNumber(m.captured(1));
}

struct Outline {
    QStringList shape;
    QMap<QString, int> pages; // title → page from 1
};

Outline outlineOf(const QString &pdf) {
    const QJsonObject json =
        QJsonDocument::fromJson(
            runTool(QStringLiteral("qpdf"),
                    {QStringLiteral("--json"), QStringLiteral("--json-key=outlines"), pdf}))
            .object();
    Outline outline;
    std::function<void(const QJsonArray &, int)> walk = [&](const QJsonArray &items, int depth) {
        for (const QJsonValue &v : items) {
            const QJsonObject item = v.toObject();
            const QString title = item.value(QStringLiteral("title")).toString();
            outline.shape << QStringLiteral("%1 %2").arg(depth).arg(title);
            outline.pages.insert(title, item.value(QStringLiteral("destpageposfrom1")).toInt());
            walk(item.value(QStringLiteral("kids")).toArray(), depth + 1);
        }
    };
    walk(json.value(QStringLiteral("outlines")).toArray(), 0);
    return outline;
}

// A name as a page sets it: vertical brackets in columns, no spaces.
QString plain(QString text) {
    static const QRegularExpression brackets(QStringLiteral("[【】（）()︻︼︵︶\\s]"));
    return text.remove(brackets);
}

// What a page shows of an outline title: a 曲牌's name (its mode stands
// beside it in a column of its own), else the title.
QString nameOf(const QString &title) {
    static const QRegularExpression quPai(QStringLiteral("【(.+?)】"));
    const auto m = quPai.match(title);
    return m.hasMatch() ? m.captured(1) : plain(title);
}

} // namespace

class TestBookPages : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void pdf_data();
    void pdf();
    void unreadablePiece_data();
    void unreadablePiece();
    void startReportsAndCancels();
    void pageNumberText_data();
    void pageNumberText();
    void staffBook();

private:
    BookFile writeBook(const QString &text) const;
    PageStyle style(PageStyle::Notation notation) const;
    QTemporaryDir m_dir;
};

void TestBookPages::initTestCase() {
    QVERIFY(usePreviewProgramDir());
    for (const QString &file : pieceFiles) {
        QVERIFY(QFile::copy(QStringLiteral(QORVEL_SOURCE_DIR "/examples/") + file,
                            m_dir.filePath(file)));
    }
}

void TestBookPages::init() {
    resetExportSettings();
}

BookFile TestBookPages::writeBook(const QString &text) const {
    const QString path = m_dir.filePath(QStringLiteral("book.gcpbook"));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text.toUtf8());
    file.close();
    BookFile book;
    book.read(path);
    return book;
}

PageStyle TestBookPages::style(PageStyle::Notation notation) const {
    ExportConfig::instance()->setNotation(notation);
    return ExportConfig::instance()->pageStyle();
}

void TestBookPages::pdf_data() {
    QTest::addColumn<PageStyle::Notation>("notation");
    QTest::addColumn<bool>("rightPage");
    QTest::newRow("gongche, right-hand pages") << PageStyle::Notation::Gongche << true;
    QTest::newRow("gongche") << PageStyle::Notation::Gongche << false;
    QTest::newRow("jianpu, right-hand pages") << PageStyle::Notation::Jianpu << true;
}

void TestBookPages::pdf() {
    if (!haveTool(QStringLiteral("qpdf")) || !haveTool(QStringLiteral("pdftotext"))) {
        QSKIP("qpdf and pdftotext are needed");
    }
    QFETCH(PageStyle::Notation, notation);
    QFETCH(bool, rightPage);
    const bool vertical = notation == PageStyle::Notation::Gongche;
    const BookFile book = writeBook(bookText(rightPage));
    const PageStyle pageStyle = style(notation);
    Typesetter typesetter;
    BookEdition edition;
    const Outcome built = edition.build(&typesetter, book, pageStyle);
    QVERIFY2(built.ok(), qPrintable(built.message()));
    const QString pdf = m_dir.filePath(QStringLiteral("book.pdf"));
    QVERIFY(typesetter.exportPdf(pdf).ok());

    const QVector<PageWords> pages = wordsOf(pdf);
    QCOMPARE(pages.size(), typesetter.pages().size());
    const QSize size = pageStyle.pageSize();
    const QRectF printable(pageStyle.marginLeft, pageStyle.marginTop,
                           size.width() - pageStyle.marginLeft - pageStyle.marginRight,
                           size.height() - pageStyle.marginTop - pageStyle.marginBottom);
    // A page's running heads: in the side margins of a gongche page, in the
    // top margin of the others; its number: in the heads of a gongche page,
    // else the lowest word.
    struct Page {
        QString body, heads;
        int number = -1;
        QVector<QRectF> headBoxes, bodyBoxes;
    };
    QVector<Page> read;
    for (const PageWords &words : pages) {
        Page page;
        PageWords body, heads;
        for (const Word &w : words) {
            const bool head =
                vertical ? !printable.contains(QPointF(w.box.center().x(), printable.center().y()))
                         : w.box.bottom() <= printable.top();
            (head ? heads : body).append(w);
            (head ? page.headBoxes : page.bodyBoxes).append(w.box);
        }
        if (!vertical && !body.isEmpty()) {
            const auto lowest =
                std::max_element(body.begin(), body.end(), [](const Word &a, const Word &b) {
                    return a.box.bottom() < b.box.bottom();
                });
            page.number = lowest->text.toInt();
            body.erase(lowest);
        }
        page.body = readingText(body, vertical);
        page.heads = readingText(heads, vertical);
        if (vertical) {
            page.number = trailingNumber(page.heads);
        }
        read.append(page);
    }

    // The outline: book → part → piece → 曲牌, each pointing at the page on
    // which it begins: its name is on that page and not on the one before.
    const Outline outline = outlineOf(pdf);
    QCOMPARE(outline.shape, outlineShape);
    QCOMPARE(outline.pages.value(bookTitle), 1);
    for (const QString &entry : outlineShape.mid(2)) {
        const QString title = entry.section(QLatin1Char(' '), 1);
        const int page = outline.pages.value(title);
        QVERIFY2(page > 1 && page <= read.size(), qPrintable(title));
        if (title.contains(QStringLiteral("卷"))) {
            continue; // a part begins with its first piece
        }
        QVERIFY2(plain(read.at(page - 1).body).contains(nameOf(title)), qPrintable(title));
        if (edition.pieceAt(page - 2) >= 0) {
            QVERIFY2(!plain(read.at(page - 2).body).contains(nameOf(title)), qPrintable(title));
        }
        if (rightPage && entry.startsWith(QLatin1Char('2'))) {
            QVERIFY2(page % 2 == 1, qPrintable(title)); // a right-hand page
        }
    }

    // The contents name those pages.
    const int contents = edition.contentsPage();
    QVERIFY(read.at(contents).body.contains(QStringLiteral("目录")));
    const QString contentsText = read.at(contents).body;
    for (const QString &entry : outlineShape.mid(1)) {
        const QString title = plain(entry.section(QLatin1Char(' '), 1));
        const int at = plain(contentsText).indexOf(title);
        QVERIFY2(at >= 0, qPrintable(title));
        const QString after = plain(contentsText).mid(at + title.size());
        static const QRegularExpression number(
            QStringLiteral("^([0-9]+|[〇一二三四五六七八九十百]+)"));
        const QString shown = number.match(after).captured(1);
        QCOMPARE(trailingNumber(shown), outline.pages.value(entry.section(QLatin1Char(' '), 1)));
    }

    // Every page after the title page that is not blank carries the running
    // heads and its number, clear of the music.
    for (int p = 1; p < read.size(); ++p) {
        const Page &page = read.at(p);
        if (page.body.isEmpty()) {
            QVERIFY2(page.heads.isEmpty(), qPrintable(QString::number(p)));
            continue;
        }
        QCOMPARE(page.number, p + 1);
        QVERIFY2(page.heads.startsWith(bookTitle), qPrintable(page.heads));
        const int piece = edition.pieceAt(p);
        const QString second =
            piece < 0 ? QStringLiteral("目录") : edition.pieces().at(piece).title;
        QVERIFY2(page.heads.contains(second), qPrintable(page.heads));
        for (const QRectF &head : page.headBoxes) {
            for (const QRectF &body : page.bodyBoxes) {
                QVERIFY2(!head.intersects(body), qPrintable(page.heads));
            }
        }
    }
    QVERIFY(read.first().heads.isEmpty());
    QVERIFY(plain(read.first().body).contains(bookTitle));
}

void TestBookPages::unreadablePiece_data() {
    QTest::addColumn<QByteArray>("bytes"); // of b.gcp; empty: no such file
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << QStringLiteral("第4行：找不到曲谱文件“b.gcp”");
    QTest::newRow("cut short") << encodeScoreFile(QStringLiteral("春"), QString()).left(9)
                               << QStringLiteral(
                                      "第4行：曲谱文件“b.gcp”已损坏（文本长度超出文件）");
    QTest::newRow("bytes left over")
        << encodeScoreFile(QStringLiteral("春"), QString()) + "x"
        << QStringLiteral("第4行：曲谱文件“b.gcp”已损坏（曲谱文本之后有多余的字节）");
}

void TestBookPages::unreadablePiece() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString b = m_dir.filePath(QStringLiteral("b.gcp"));
    QFile::remove(b);
    if (!bytes.isEmpty()) {
        QVERIFY(writeFile(b, bytes));
    }
    const BookFile book =
        writeBook(QStringLiteral("书名=x\n曲=youyuan-zaoluopao.gcp\n\n曲=b.gcp\n"));
    Typesetter typesetter;
    BookEdition edition;
    const Outcome built = edition.build(&typesetter, book, style(PageStyle::Notation::Gongche));
    QVERIFY(!built.ok());
    QCOMPARE(built.message(), message);
    QVERIFY(typesetter.pages().isEmpty()); // nothing to write
}

void TestBookPages::startReportsAndCancels() {
    const BookFile book = writeBook(bookText(false));
    Typesetter typesetter;
    BookEdition edition;
    QSignalSpy progress(&edition, &BookEdition::progress);
    QVector<Outcome> finished;
    connect(&edition, &BookEdition::finished, this,
            [&finished](const Outcome &outcome) { finished.append(outcome); });
    edition.start(&typesetter, book, style(PageStyle::Notation::Jianpu));
    QVERIFY(edition.isRunning());
    QVERIFY(progress.isEmpty()); // nothing before the event loop runs
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    QVERIFY(!edition.isRunning());
    QVERIFY(finished.first().ok());
    QCOMPARE(progress.size(), 3);
    QCOMPARE(progress.last(), (QList<QVariant>{3, 3}));
    QCOMPARE(edition.pieces().size(), 3);
    QVERIFY(typesetter.pages().size() > 5);

    // Cancelled after its first piece: a failure without a message, no pages.
    finished.clear();
    connect(&edition, &BookEdition::progress, &edition, &BookEdition::cancel);
    edition.start(&typesetter, book, style(PageStyle::Notation::Gongche));
    QTRY_COMPARE(finished.size(), 1);
    const Outcome cancelled = finished.first();
    QVERIFY(!cancelled.ok());
    QVERIFY(cancelled.message().isEmpty());
    QVERIFY(typesetter.pages().isEmpty());
}

void TestBookPages::pageNumberText_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("gongche");
    const QList<QPair<int, QString>> rows = {
        {1, "一"},         {10, "十"},        {12, "十二"},       {20, "二十"},
        {105, "一百零五"}, {110, "一百一十"}, {1005, "一千零五"}, {2024, "二千零二十四"}};
    for (const auto &row : rows) {
        QTest::newRow(qPrintable(QString::number(row.first))) << row.first << row.second;
    }
}

void TestBookPages::pageNumberText() {
    QFETCH(int, number);
    QFETCH(QString, gongche);
    QCOMPARE(BookEdition::pageNumberText(number, PageStyle::Notation::Gongche), gongche);
    QCOMPARE(BookEdition::pageNumberText(number, PageStyle::Notation::Jianpu),
             QString::number(number));
}

void TestBookPages::staffBook() {
    if (StaffEngraver::program().isEmpty()) {
        QSKIP("LilyPond is not installed");
    }
    const BookFile book = writeBook(QStringLiteral("书名=五线谱曲选\n曲=youyuan-zaoluopao.gcp\n"));
    Typesetter typesetter;
    BookEdition edition;
    const Outcome built = edition.build(&typesetter, book, style(PageStyle::Notation::Staff));
    QVERIFY2(built.ok(), qPrintable(built.message()));
    QCOMPARE(edition.pieces().size(), 1);
    const BookEdition::Piece &piece = edition.pieces().first();
    QCOMPARE(piece.firstPage, 2); // title page, contents
    QVERIFY(piece.pageCount >= 1);
    QCOMPARE(typesetter.pages().size(), piece.firstPage + piece.pageCount);
    QStringList kinds;
    for (const Typesetter::Heading &h : typesetter.headings()) {
        kinds << QString::number(int(h.kind)) + h.text;
    }
    QVERIFY2(kinds.contains(QString::number(int(Typesetter::Heading::Kind::Piece)) + piece.title),
             qPrintable(kinds.join(QLatin1Char(','))));
}

QTEST_MAIN(TestBookPages)
#include "tst_bookpages.moc"

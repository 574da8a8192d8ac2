// Exported PDFs carry bookmarks (the document title, each tune heading under
// it, opening its page) and document information (title, creator, the keys
// and meters the document states), for gongche and for 简谱 pages, as qpdf
// and poppler read them.
#include "export/exportconfig.h"
#include "exportfixture.h"
#include "fonts/fontsubstitutions.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "testsupport.h"
#include "typeset/pdfoutline.h"
#include "typeset/typesetter.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

ExportConfig &cfg() {
    return *ExportConfig::instance();
}

// Two tunes on two pages, under a title; with an annotation stating the key
// and the meter when stated is set.
DocumentLines twoTunes(bool title, bool stated) {
    const QStringList pitches = {sym(0xF002C), sym(0xF0030), sym(0xF002F), sym(0xF0031)};
    const QStringList marks = {sym(0xF0000), sym(0xF0001), sym(0xF0002), sym(0xF0006)};
    QStringList lyric;
    if (title) {
        lyric << QStringLiteral("# 牡丹亭·游园");
    }
    if (stated) {
        lyric << QStringLiteral("; 笛色=六字调 板式=一板三眼");
    }
    lyric << QStringLiteral("【皂罗袍】(仙吕)") << QStringLiteral("原来姹紫嫣红开遍，")
          << QStringLiteral("似这般都付与断井颓垣。") << QStringLiteral("@分页符")
          << QStringLiteral("【好姐姐】") << QStringLiteral("遍青山啼红了杜鹃，");
    const int sung = sungCharCount(QStringLiteral("原来姹紫嫣红开遍似这般都付与断井颓垣遍青山啼红了"
                                                  "杜鹃"));
    QStringList scores;
    for (int i = 0; i < sung; ++i) {
        scores << pitches.at(i % pitches.size()) + marks.at(i % marks.size());
    }
    return renderModel(lyric.join(QLatin1Char('\n')), scores.join(QLatin1Char('\n')));
}

// The outline as qpdf reads it: each bookmark's title, page (from 1) and
// bookmarks below it.
struct Bookmark {
    QString title;
    int page = 0;
    double top = 0;
    bool open = false;
    QList<Bookmark> kids;
};

QList<Bookmark> bookmarksOf(const QJsonArray &items) {
    QList<Bookmark> out;
    for (const QJsonValue &v : items) {
        const QJsonObject o = v.toObject();
        Bookmark b;
        b.title = o.value(QStringLiteral("title")).toString();
        b.page = o.value(QStringLiteral("destpageposfrom1")).toInt();
        b.open = o.value(QStringLiteral("open")).toBool();
        const QJsonArray dest = o.value(QStringLiteral("dest")).toArray();
        if (dest.size() == 5) {
            b.top = dest.at(3).toDouble();
        }
        b.kids = bookmarksOf(o.value(QStringLiteral("kids")).toArray());
        out.append(b);
    }
    return out;
}

QList<Bookmark> outlineOf(const QString &pdf, bool *ok) {
    const QByteArray json =
        runTool(QStringLiteral("qpdf"),
                {QStringLiteral("--json=2"), QStringLiteral("--json-key=outlines"), pdf});
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    *ok = !json.isNull() && error.error == QJsonParseError::NoError && doc.isObject();
    return bookmarksOf(doc.object().value(QStringLiteral("outlines")).toArray());
}

// pdfinfo's "Key: value" lines.
QMap<QString, QString> infoOf(const QString &pdf) {
    QMap<QString, QString> info;
    const QString text = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {pdf}));
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0) {
            info.insert(line.left(colon), line.mid(colon + 1).trimmed());
        }
    }
    return info;
}

QString describe(const QList<Bookmark> &items, int depth = 0) {
    QString out;
    for (const Bookmark &b : items) {
        out += QString(depth * 2, QLatin1Char(' ')) +
               QStringLiteral("%1 p%2 y%3\n").arg(b.title).arg(b.page).arg(b.top) +
               describe(b.kids, depth + 1);
    }
    return out;
}

} // namespace

class TestPdfOutline : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void headingsAreRecorded_data();
    void headingsAreRecorded();
    void previewAndResetKeepTheirOwn();
    void outlineOfTwoTunes_data();
    void outlineOfTwoTunes();
    void tunesWithoutATitleGoUnderTheDocumentTitle();
    void documentInformation_data();
    void documentInformation();
    void stillThePdfQtWrote();
    void unreadablePdf();
    void controlCharactersAreDropped();

private:
    QString writePdf(const DocumentLines &lines, const QString &name);
    QTemporaryDir m_out;
    // A new one for each test: the document title survives runs.
    std::unique_ptr<Typesetter> m_engine;
};

void TestPdfOutline::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
    if (qEnvironmentVariableIsSet("QORVEL_KEEP_OUTPUT")) {
        m_out.setAutoRemove(false);
        qInfo("output kept in %s", qPrintable(m_out.path()));
    }
}

void TestPdfOutline::init() {
    cfg().restoreDefaults();
    m_engine = std::make_unique<Typesetter>();
}

QString TestPdfOutline::writePdf(const DocumentLines &lines, const QString &name) {
    m_engine->reset();
    m_engine->generate(cfg().pageStyle(), lines, false);
    PromptScript prompts;
    const QString path = m_out.filePath(name);
    const Outcome outcome = m_engine->exportPdf(path);
    if (!outcome || outcome.hasWarning() || prompts.count() != 0) {
        return QString();
    }
    return path;
}

void TestPdfOutline::headingsAreRecorded_data() {
    QTest::addColumn<bool>("jianpu");
    QTest::newRow("gongche") << false;
    QTest::newRow("jianpu") << true;
}

void TestPdfOutline::headingsAreRecorded() {
    QFETCH(bool, jianpu);
    cfg().setNotation(jianpu ? PageStyle::Notation::Jianpu : PageStyle::Notation::Gongche);
    m_engine->reset();
    m_engine->generate(cfg().pageStyle(), twoTunes(true, true), false);
    QCOMPARE(m_engine->pages().size(), 2);
    const QVector<Typesetter::Heading> h = m_engine->headings();
    QCOMPARE(h.size(), 3);
    QCOMPARE(h.at(0).kind, Typesetter::Heading::Kind::Title);
    QCOMPARE(h.at(0).text, QStringLiteral("牡丹亭·游园"));
    QCOMPARE(h.at(0).page, 0);
    QCOMPARE(h.at(1).kind, Typesetter::Heading::Kind::QuPai);
    QCOMPARE(h.at(1).text, QStringLiteral("【皂罗袍】(仙吕)"));
    QCOMPARE(h.at(1).page, 0);
    QCOMPARE(h.at(2).kind, Typesetter::Heading::Kind::QuPai);
    QCOMPARE(h.at(2).text, QStringLiteral("【好姐姐】"));
    QCOMPARE(h.at(2).page, 1);
    // Where they stand: inside the printable area of their page, the title
    // first; a 简谱 title above the heading, a gongche title column right of it.
    const PageStyle style = m_engine->style();
    const QSize page = m_engine->pageSize();
    for (const Typesetter::Heading &heading : h) {
        QVERIFY(heading.position.x() >= style.marginLeft - 1);
        QVERIFY(heading.position.x() < page.width() - style.marginRight);
        QVERIFY(heading.position.y() >= style.marginTop);
        QVERIFY(heading.position.y() < page.height() - style.marginBottom);
    }
    if (jianpu) {
        QVERIFY(h.at(1).position.y() > h.at(0).position.y());
        QCOMPARE(h.at(2).position.y(), double(style.marginTop));
    } else {
        QVERIFY(h.at(1).position.x() < h.at(0).position.x());
        QCOMPARE(h.at(1).position.y(), double(style.marginTop));
    }
    // The source map of the pages is where the headings say: the first
    // character after each heading is on the heading's page.
    int page1 = -1;
    QVERIFY(m_engine->findCharacter(0, &page1, nullptr));
    QCOMPARE(page1, h.at(1).page);
}

void TestPdfOutline::previewAndResetKeepTheirOwn() {
    m_engine->reset();
    m_engine->generate(cfg().pageStyle(), twoTunes(true, false), true);
    // The preview stops once its first page is done: the second tune is not set.
    QCOMPARE(m_engine->headings().size(), 2);
    m_engine->reset();
    QVERIFY(m_engine->headings().isEmpty());
    m_engine->generate(cfg().pageStyle(), twoTunes(false, false), false);
    QCOMPARE(m_engine->headings().size(), 2);
    QCOMPARE(m_engine->headings().first().kind, Typesetter::Heading::Kind::QuPai);
}

void TestPdfOutline::outlineOfTwoTunes_data() {
    QTest::addColumn<bool>("jianpu");
    QTest::newRow("gongche") << false;
    QTest::newRow("jianpu") << true;
}

void TestPdfOutline::outlineOfTwoTunes() {
    QFETCH(bool, jianpu);
    if (!haveTool(QStringLiteral("qpdf"))) {
        QSKIP("qpdf is not installed");
    }
    cfg().setNotation(jianpu ? PageStyle::Notation::Jianpu : PageStyle::Notation::Gongche);
    const QString pdf = writePdf(twoTunes(true, true), QStringLiteral("two.pdf"));
    QVERIFY(!pdf.isEmpty());
    bool ok = false;
    const QList<Bookmark> outline = outlineOf(pdf, &ok);
    QVERIFY(ok);
    const QString shown = describe(outline);
    QVERIFY2(outline.size() == 1, qPrintable(shown));
    const Bookmark &title = outline.first();
    QCOMPARE(title.title, QStringLiteral("牡丹亭·游园"));
    QCOMPARE(title.page, 1);
    QVERIFY(title.open);
    QVERIFY2(title.kids.size() == 2, qPrintable(shown));
    QCOMPARE(title.kids.at(0).title, QStringLiteral("【皂罗袍】(仙吕)"));
    QCOMPARE(title.kids.at(0).page, 1);
    QCOMPARE(title.kids.at(1).title, QStringLiteral("【好姐姐】"));
    QCOMPARE(title.kids.at(1).page, 2);
    // Each opens its page where its heading stands (PDF y runs upwards).
    const QVector<Typesetter::Heading> h = m_engine->headings();
    const double height = m_engine->pageSize().height();
    QCOMPARE(title.top, height - h.at(0).position.y());
    QCOMPARE(title.kids.at(0).top, height - h.at(1).position.y());
    QCOMPARE(title.kids.at(1).top, height - h.at(2).position.y());

    // Viewers show the bookmarks when they open the file.
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("/PageMode /UseOutlines"));
}

void TestPdfOutline::tunesWithoutATitleGoUnderTheDocumentTitle() {
    if (!haveTool(QStringLiteral("qpdf"))) {
        QSKIP("qpdf is not installed");
    }
    const QString pdf = writePdf(twoTunes(false, false), QStringLiteral("untitled.pdf"));
    QVERIFY(!pdf.isEmpty());
    bool ok = false;
    const QList<Bookmark> outline = outlineOf(pdf, &ok);
    QVERIFY(ok);
    QVERIFY2(outline.size() == 1, qPrintable(describe(outline)));
    // The document is named after its first tune.
    QCOMPARE(outline.first().title, QStringLiteral("皂罗袍"));
    QCOMPARE(outline.first().page, 1);
    QCOMPARE(outline.first().kids.size(), 2);
    QCOMPARE(outline.first().kids.at(1).page, 2);

    // A document without headings still gets its title as a bookmark.
    DocumentLines plain = twoTunes(false, false);
    plain.removeAt(0);
    plain.removeAt(3);
    m_engine = std::make_unique<Typesetter>();
    const QString bare = writePdf(plain, QStringLiteral("bare.pdf"));
    QVERIFY(!bare.isEmpty());
    const QList<Bookmark> one = outlineOf(bare, &ok);
    QVERIFY(ok);
    QCOMPARE(one.size(), 1);
    QCOMPARE(one.first().title, QStringLiteral("Qorvel工尺谱导出曲谱"));
    QVERIFY(one.first().kids.isEmpty());
}

void TestPdfOutline::documentInformation_data() {
    QTest::addColumn<bool>("jianpu");
    QTest::addColumn<bool>("stated");
    QTest::newRow("gongche, stated") << false << true;
    QTest::newRow("jianpu, stated") << true << true;
    QTest::newRow("gongche, not stated") << false << false;
}

void TestPdfOutline::documentInformation() {
    QFETCH(bool, jianpu);
    QFETCH(bool, stated);
    if (!haveTool(QStringLiteral("pdfinfo"))) {
        QSKIP("pdfinfo (poppler-utils) is not installed");
    }
    cfg().setNotation(jianpu ? PageStyle::Notation::Jianpu : PageStyle::Notation::Gongche);
    const QString pdf = writePdf(twoTunes(true, stated), QStringLiteral("info.pdf"));
    QVERIFY(!pdf.isEmpty());
    const QMap<QString, QString> info = infoOf(pdf);
    QCOMPARE(info.value(QStringLiteral("Pages")), QStringLiteral("2"));
    QCOMPARE(info.value(QStringLiteral("Title")), QStringLiteral("牡丹亭·游园"));
    QCOMPARE(info.value(QStringLiteral("Creator")), QStringLiteral("Qorvel工尺谱"));
    const QString keywords = info.value(QStringLiteral("Keywords"));
    QVERIFY2(keywords.contains(QStringLiteral("皂罗袍")) &&
                 keywords.contains(QStringLiteral("好姐姐")),
             qPrintable(keywords));
    const QString subject = info.value(QStringLiteral("Subject"));
    if (stated) {
        // Both tunes are in the key and meter stated: the subject says it once.
        QCOMPARE(subject, QStringLiteral("笛色：六字调　板式：一板三眼"));
        QVERIFY(keywords.contains(QStringLiteral("六字调")));
        QVERIFY(keywords.contains(QStringLiteral("一板三眼")));
    } else {
        // A key the document does not state, a meter only detected: neither.
        QVERIFY2(subject.isEmpty(), qPrintable(subject));
        QVERIFY(!keywords.contains(QStringLiteral("调")));
    }
}

void TestPdfOutline::stillThePdfQtWrote() {
    if (!haveTool(QStringLiteral("qpdf")) || !haveTool(QStringLiteral("pdftotext"))) {
        QSKIP("qpdf or pdftotext (poppler-utils) is not installed");
    }
    const QString pdf = writePdf(twoTunes(true, true), QStringLiteral("check.pdf"));
    QVERIFY(!pdf.isEmpty());
    // A sound file, its text still there.
    QVERIFY(!runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}).isNull());
    const QString text = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")}));
    QVERIFY2(text.contains(QStringLiteral("皂")) && text.contains(QStringLiteral("姹")),
             qPrintable(text));

    // Qt's PDF, its pages and their content as Qt wrote them: the content
    // streams are carried over byte for byte.
    QByteArray drawn;
    {
        QBuffer buffer(&drawn);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        QPainter painter(&writer);
        painter.drawText(QPointF(100, 100), QStringLiteral("游园"));
        writer.newPage();
        painter.drawLine(0, 0, 100, 100);
    }
    PdfOutline outline;
    PdfOutline::Item item;
    item.title = QStringLiteral("游园");
    item.page = 1;
    item.top = 10;
    PdfOutline::Item beyond;
    beyond.title = QStringLiteral("none");
    beyond.page = 5; // no such page: left out
    outline.setItems({item, beyond});
    outline.setInfo(QStringLiteral("Subject"), QStringLiteral("笛色：小工调"));
    QString error;
    const QByteArray decorated = outline.apply(drawn, &error);
    QVERIFY2(!decorated.isEmpty(), qPrintable(error));
    QVERIFY(error.isEmpty());
    static const QRegularExpression stream(QStringLiteral("stream\\r?\\n(.*?)endstream"),
                                           QRegularExpression::DotMatchesEverythingOption);
    const auto streamsOf = [](const QByteArray &pdf) {
        QStringList out;
        auto it = stream.globalMatch(QString::fromLatin1(pdf));
        while (it.hasNext()) {
            out << it.next().captured(1).trimmed();
        }
        out.sort();
        return out;
    };
    QCOMPARE(streamsOf(decorated), streamsOf(drawn));
    const QString path = m_out.filePath(QStringLiteral("drawn.pdf"));
    QVERIFY(writeFile(path, decorated));
    bool ok = false;
    const QList<Bookmark> bookmarks = outlineOf(path, &ok);
    QVERIFY(ok);
    QCOMPARE(bookmarks.size(), 1);
    QCOMPARE(bookmarks.first().page, 2);
    QVERIFY(bookmarks.first().kids.isEmpty());
}

void TestPdfOutline::unreadablePdf() {
    PdfOutline outline;
    PdfOutline::Item item;
    item.title = QStringLiteral("游园");
    outline.setItems({item});
    QString error;
    QVERIFY(outline.apply(QByteArray("not a PDF at all"), &error).isEmpty());
    QVERIFY(!error.isEmpty());
}

// Control characters of a title line reach neither the bookmarks nor the
// document information; the "·" stays.
void TestPdfOutline::controlCharactersAreDropped() {
    if (!haveTool(QStringLiteral("qpdf")) || !haveTool(QStringLiteral("pdfinfo"))) {
        QSKIP("qpdf or pdfinfo (poppler-utils) is not installed");
    }
    DocumentLines lines = twoTunes(true, false);
    QCOMPARE(lines.first().kind, LineKind::Title);
    lines.first().text = QStringLiteral("# 牡丹亭\u0001·游园\u0007\u001B\u200E\t（一）");
    const QString pdf = writePdf(lines, QStringLiteral("control.pdf"));
    QVERIFY(!pdf.isEmpty());
    const QString expected = QStringLiteral("牡丹亭·游园 （一）");
    QCOMPARE(infoOf(pdf).value(QStringLiteral("Title")), expected);
    bool ok = false;
    const QList<Bookmark> outline = outlineOf(pdf, &ok);
    QVERIFY(ok);
    QVERIFY(!outline.isEmpty());
    QCOMPARE(outline.first().title, expected);
    // Nothing below U+0020 anywhere in the outline's titles.
    const QString all = describe(outline);
    for (QChar c : all) {
        QVERIFY2(c.unicode() >= 0x20 || c == QLatin1Char('\n'), qPrintable(all));
    }
}

QTEST_MAIN(TestPdfOutline)
#include "tst_pdfoutline.moc"

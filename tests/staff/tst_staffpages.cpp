// Engraved staff pages in the page list: the links LilyPond draws, the
// source areas they become, and the pages as the preview, images and PDF
// show them (the PDF is read back by the command-line test).

#include "staff/staffengraver.h"
#include "staff/staffpages.h"
#include "testsupport.h"
#include "typeset/typesetter.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// The notes and syllables of the first source: character k sings note k.
const QStringList notes = {QStringLiteral("c'4"), QStringLiteral("d'4"), QStringLiteral("e'4"),
                           QStringLiteral("g'4")};
const QStringList syllables = {QStringLiteral("袅"), QStringLiteral("晴"), QStringLiteral("丝"),
                               QStringLiteral("吹")};
// At LilyPond's staff size 20 a staff space is 5 points.
constexpr qreal staffSpace = 5;
const QSizeF a4(595, 842);

// A source of one staff with lyrics, its link table made as the writer makes
// one: each note's pitch (character k, symbol 0) and each syllable
// (character k, no symbol), characters counted from firstCharacter.
LilyPondSource source(const QString &title, const QStringList &tokens, const QStringList &lyrics,
                      int firstCharacter) {
    LilyPondSource s;
    s.title = title;
    s.headings = QStringList{QStringLiteral("【%1】").arg(title)};
    s.firstCharacter = firstCharacter;
    s.endCharacter = firstCharacter + tokens.size();
    const QString noteLine =
        QStringLiteral("    \\new Voice = \"m\" { %1 }").arg(tokens.join(QLatin1Char(' ')));
    const QString lyricLine = QStringLiteral("    \\new Lyrics \\lyricsto \"m\" { %1 }")
                                  .arg(lyrics.join(QLatin1Char(' ')));
    s.text = QStringLiteral("\\version \"2.24.0\"\n"
                            "\\header { title = \"%1\" tagline = ##f }\n"
                            "\\paper { print-page-number = ##f }\n"
                            "\\score {\n  <<\n%2\n%3\n  >>\n  \\layout { }\n}\n")
                 .arg(title, noteLine, lyricLine);
    for (int k = 0; k < tokens.size(); ++k) {
        s.links.append({6, int(noteLine.indexOf(tokens.at(k))), firstCharacter + k, 0});
    }
    for (int k = 0; k < lyrics.size(); ++k) {
        s.links.append({7, int(lyricLine.indexOf(lyrics.at(k))), firstCharacter + k, -1});
    }
    return s;
}

} // namespace

class tst_StaffPages : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QVector<LilyPondSource> m_sources;
    QVector<StaffEngraver::Tune> m_tunes;
    QVector<StaffPages::PageLink> m_links; // of the first page
    Typesetter m_typesetter;

    // The link of .ly position (line, column) on the first page.
    StaffPages::PageLink linkAt(int line, int column) const {
        for (const StaffPages::PageLink &link : m_links) {
            if (link.line == line && link.column == column) {
                return link;
            }
        }
        return {};
    }

private slots:
    void initTestCase() {
        m_sources = {source(QStringLiteral("游园"), notes, syllables, 0),
                     // Two pages.
                     source(QStringLiteral("皂罗袍"),
                            {QStringLiteral("c'1"), QStringLiteral("\\pageBreak d'1")},
                            {QStringLiteral("良"), QStringLiteral("辰")}, 4)};
        m_sources[1].links[1].column += QStringLiteral("\\pageBreak ").size();
        StaffEngraver engraver;
        engraver.setCacheDirectory(m_dir.filePath(QStringLiteral("cache")));
        const StaffEngraver::Result result = engraver.engrave(m_sources);
        QVERIFY2(result.failure == StaffEngraver::Failure::None, qPrintable(result.message));
        m_tunes = result.tunes;
        QCOMPARE(m_tunes.at(1).pages.size(), 2);
        m_links = StaffPages::linksOf(m_tunes.at(0).pages.at(0), a4);
        m_typesetter.setDrawnPages(PageStyle(), DocumentLines(),
                                   StaffPages::pages(m_sources, m_tunes, a4));
    }

    // Hand-made pages: nested transforms, path data, text by its anchor, a
    // view box half the page size; links that are not LilyPond's are left.
    void linkBoxes_data() {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QRectF>("rect"); // in points, on a page twice the view box

        QTest::newRow("path") << "<g transform=\"translate(10, 20)\"><path transform=\"scale(2, "
                                 "-2)\" d=\"M0 0L1 1\"/></g>"
                              << QRectF(20, 36, 4, 4);
        QTest::newRow("curve") << "<path d=\"M10 10c0 -2 4 -2 4 0z\"/>" << QRectF(20, 17, 8, 3);
        QTest::newRow("nested") << "<g transform=\"translate(5, 5)\"><g transform=\"translate(1, "
                                   "2)\"><rect x=\"0\" y=\"-1\" width=\"3\" height=\"2\"/></g></g>"
                                << QRectF(12, 12, 6, 4);
        QTest::newRow("text") << "<g transform=\"translate(50, 50)\"><text font-size=\"4\" "
                                 "text-anchor=\"middle\"><tspan>紫</tspan></text></g>"
                              << QRectF(96, 100 - 0.88 * 8, 8, 8);
    }

    void linkBoxes() {
        QFETCH(QString, content);
        QFETCH(QRectF, rect);
        const QString svg =
            QStringLiteral(
                "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                "xmlns:xlink=\"http://www.w3.org/1999/xlink\" viewBox=\"0 0 100 200\">"
                "<a xlink:href=\"https://example.org/\"><rect width=\"9\" height=\"9\"/></a>"
                "<rect width=\"7\" height=\"7\"/>"
                "<a xlink:href=\"textedit:///tmp/t0.ly:3:14:15\">%1</a></svg>")
                .arg(content);
        const QVector<StaffPages::PageLink> links = StaffPages::linksOf(svg.toUtf8(), {200, 400});
        QCOMPARE(links.size(), 1);
        QCOMPARE(links.first().line, 3);
        QCOMPARE(links.first().column, 14);
        const QRectF found = links.first().rect;
        QVERIFY2(std::abs(found.left() - rect.left()) < 1e-6 &&
                     std::abs(found.top() - rect.top()) < 1e-6 &&
                     std::abs(found.width() - rect.width()) < 1e-6 &&
                     std::abs(found.height() - rect.height()) < 1e-6,
                 qPrintable(QStringLiteral("%1 %2 %3 %4")
                                .arg(found.left())
                                .arg(found.top())
                                .arg(found.width())
                                .arg(found.height())));
    }

    void everyLinkFound() {
        QCOMPARE(m_links.size(), m_sources.at(0).links.size());
        for (const LilyPondLink &link : m_sources.at(0).links) {
            const QRectF rect = linkAt(link.line, link.column).rect;
            QVERIFY2(QRectF(QPointF(), a4).contains(rect),
                     qPrintable(QStringLiteral("%1:%2").arg(link.line).arg(link.column)));
        }
    }

    void note_data() {
        QTest::addColumn<int>("k");
        for (int k = 0; k < notes.size(); ++k) {
            QTest::newRow(qPrintable(notes.at(k))) << k;
        }
    }

    // Each note head where LilyPond's geometry puts it: a staff space high,
    // each higher and further right than the one before, its syllable below.
    void note() {
        QFETCH(int, k);
        const QVector<LilyPondLink> &table = m_sources.at(0).links;
        const QRectF head = linkAt(table.at(k).line, table.at(k).column).rect;
        const QRectF syllable =
            linkAt(table.at(notes.size() + k).line, table.at(notes.size() + k).column).rect;
        QVERIFY2(head.height() > 0.7 * staffSpace && head.height() < 1.5 * staffSpace,
                 qPrintable(QString::number(head.height())));
        QVERIFY(head.width() > 0.9 * staffSpace && head.width() < 2 * staffSpace);
        QVERIFY(syllable.top() > head.bottom());
        QVERIFY(std::abs(syllable.center().x() - head.center().x()) < staffSpace);
        QVERIFY(syllable.height() > 5 && syllable.height() < 20);
        if (k > 0) {
            const QRectF before = linkAt(table.at(k - 1).line, table.at(k - 1).column).rect;
            QVERIFY(head.center().y() < before.center().y());
            QVERIFY(head.left() > before.right());
        }

        // Its areas in the page list, and the character found through them.
        const QVector<SourceArea> areas = m_typesetter.sourceAreas(0);
        QCOMPARE(areas.size(), 2 * notes.size());
        QCOMPARE(areas.at(2 * k).kind, SourceArea::Character);
        QCOMPARE(areas.at(2 * k).character, k);
        QCOMPARE(areas.at(2 * k).rect, syllable);
        QCOMPARE(areas.at(2 * k + 1).kind, SourceArea::Symbol);
        QCOMPARE(areas.at(2 * k + 1).symbol, 0);
        QCOMPARE(areas.at(2 * k + 1).rect, head);
        int page = -1;
        QRectF outline;
        QVERIFY(m_typesetter.findCharacter(k, &page, &outline));
        QCOMPARE(page, 0);
        QVERIFY(outline.contains(head) && outline.contains(syllable));

        // Ink where the note head is, at 96 dpi.
        const QImage image = m_typesetter.pageImage(0, 96, false);
        const QPoint centre = (head.center() * 96 / 72).toPoint();
        QVERIFY2(qGray(image.pixel(centre)) < 128,
                 qPrintable(QString::number(qGray(image.pixel(centre)))));
    }

    void pagesOfSources() {
        QCOMPARE(m_typesetter.pages().size(), 3);
        int page = -1;
        QVERIFY(m_typesetter.findCharacter(5, &page, nullptr));
        QCOMPARE(page, 2);
        QVERIFY(m_typesetter.findCharacter(4, &page, nullptr));
        QCOMPARE(page, 1);
        QVERIFY(!m_typesetter.findCharacter(6, &page, nullptr));
        QCOMPARE(m_typesetter.documentTitle(), QStringLiteral("游园"));
        QStringList headings;
        for (const Typesetter::Heading &h : m_typesetter.headings()) {
            headings.append(QStringLiteral("%1 %2 %3").arg(int(h.kind)).arg(h.text).arg(h.page));
        }
        QCOMPARE(headings,
                 (QStringList{QStringLiteral("0 游园 0"), QStringLiteral("1 【游园】 0"),
                              QStringLiteral("0 皂罗袍 1"), QStringLiteral("1 【皂罗袍】 1")}));
        // The page list's own SVG pages carry the drawing.
        QVERIFY(m_typesetter.pages().at(0).contains("<path"));
    }

    // Images are drawn on every core at once; each has the notes' ink.
    void exportedImagesAndSvg() {
        QVERIFY(m_typesetter.exportImages(m_dir.path(), 0, QStringLiteral("png")).ok());
        const QDir images(m_typesetter.lastExportPath());
        const QStringList files =
            images.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 3);
        const QImage first(images.filePath(files.first()));
        const QRectF head = m_links.first().rect;
        QVERIFY(qGray(first.pixel((head.center() * 96 / 72).toPoint())) < 128);
        QVERIFY(m_typesetter.exportSvg(m_dir.path()).ok());
        QCOMPARE(QDir(m_typesetter.lastExportPath()).entryList({QStringLiteral("*.svg")}).size(),
                 3);
    }
};

QTEST_MAIN(tst_StaffPages)
#include "tst_staffpages.moc"

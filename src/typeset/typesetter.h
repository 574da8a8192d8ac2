#pragma once

#include "model/documentline.h"
#include "model/outcome.h"
#include "typeset/pagecanvas.h"
#include "typeset/pagestyle.h"
#include "typeset/pdfoutline.h"
#include "typeset/sourcearea.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

class QDir;

// Typesets a document into pages, each a complete SVG document held as bytes.
// Columns run top to bottom and follow each other right to left; every sung
// character gets its gongche score drawn beside it at the style's angle.
// Layout and drawing happen in one pass through one painter. The typesetter
// knows nothing of windows: it is given a page style, reports progress as
// numbers and returns what its writers came to.
//
// Page coordinates: the painter's origin is the top-right corner of the
// printable area; a column of width w spans cursorX .. cursorX + w
// (cursorX <= 0) and y runs from 0 at the top margin down to the printable
// height. One SVG user unit is one point.
//
// While it draws, the typesetter keeps a source map of every page: where each
// sung character and each symbol of its score went (see SourceArea). The map
// is in the page's own coordinates, origin at the top-left corner of the page,
// and is never drawn: it leaves the pages and every file written from them as
// they are.
class Typesetter : public QObject {
    Q_OBJECT

public:
    // The colour classes of gongche symbols.
    enum class SymbolClass { Pitch, Ban, XiaoYan, ZhongYan, QiangGe };

    // What a progress report is about, and how far it is.
    enum class Task { Preview, Typeset, WritePdf, WriteImages, WriteSvg };
    enum class Progress { Started, Advanced, Finished };
    Q_ENUM(Task)
    Q_ENUM(Progress)

    explicit Typesetter(QObject *parent = nullptr);
    ~Typesetter() override;

    // Closes the page buffer and empties the page list.
    void reset();
    // Lays out and draws all lines in style (bounded to its ranges first),
    // appending the pages to the page list. With previewOnly it stops as soon
    // as a second page has been begun. The style stays in force for the
    // writers and the measures below until the next run.
    void generate(const PageStyle &style, const DocumentLines &lines, bool previewOnly);
    const PageStyle &style() const { return m_style; }
    const QList<QByteArray> &pages() const { return m_pages; }
    // Paints page index onto a painter whose user units are points (the
    // page's own units), with real text: the same drawing as its SVG. Text
    // set in a cell is never clipped to it, as in the SVG, where the
    // generator writes no clipping.
    void paintPage(QPainter &painter, int index) const;
    // The drawing of page index in page units, without its background; empty
    // for an index out of range.
    PageCanvas pageCanvas(int index) const;
    // The source map of page index: its sung characters, each followed by the
    // symbols of its score, in the order they were drawn, which is reading
    // order (columns right to left, each top to bottom). Empty for an index
    // out of range. The map covers the pages of every run since reset().
    QVector<SourceArea> sourceAreas(int page) const;
    // The page that shows sung character `character` and the outline of it
    // there: the union of the character's cell and the areas of the symbols
    // beside it, in page units. False, with page and rect untouched, when no
    // page shows it: no such character, one that stands on a directive line
    // (it has no score line of its own), or a preview that stopped before it.
    // Either pointer may be null.
    bool findCharacter(int character, int *page, QRectF *rect) const;
    // The plain title of the document (from its title lines or first tune
    // heading); survives runs.
    QString documentTitle() const { return m_documentTitle; }

    // A title line or tune heading (曲牌) as it was set: its text as the page
    // shows it ("牡丹亭·游园", "【皂罗袍】(仙吕)"), the page it landed on and
    // where it begins there, in page units with the origin at the top-left
    // corner of the page: the top-left corner of a gongche column, the start
    // of a 简谱 heading line. A book (see BookEdition) adds its parts (卷) and
    // pieces; a single document has only titles and tune headings.
    struct Heading {
        enum class Kind { Title, QuPai, Part, Piece };
        Kind kind = Kind::QuPai;
        QString text;
        int page = -1;
        QPointF position;
    };
    // A page drawn elsewhere, as an SVG document: a page of the staff
    // edition, engraved by LilyPond. Its source areas and headings are in its
    // own page units (points from its top-left corner); their page index is
    // given by the page list. A composed page (a book's) brings a canvas too,
    // in the same units, played over the SVG, or alone when svg is empty.
    struct DrawnPage {
        QByteArray svg;
        QVector<SourceArea> areas;
        QVector<Heading> headings;
        PageCanvas canvas;
    };
    // Resets, then takes pages as the page list of lines in style: each SVG
    // drawn to fill a page of the style's size, on its background, then its
    // canvas, and its number at the foot unless the style's pageNumbers is
    // off, so that the preview, printing and every writer show them as they
    // show typeset pages.
    void setDrawnPages(const PageStyle &style, const DocumentLines &lines,
                       const QVector<DrawnPage> &pages);

    // The titles and tune headings of the pages of every run since reset(),
    // in the order they were set. A preview holds those of its first page.
    QVector<Heading> headings() const { return m_headings; }

    // Writers (pagewriters.cpp). Each returns the file or folder it wrote, or
    // the message of its failure; files written before a failure stay.
    // One PDF file, a page per page, with bookmarks (the document title and
    // each tune heading under it, see headings()) and document information:
    // title, creator, and the keys and meters the document states.
    Outcome exportPdf(const QString &filePath);
    // A new folder in dirPath of one image per page; fmt is "png" or "jpg",
    // the resolution index 0..3 means 96, 160, 300, 600 dpi. The pages are
    // drawn and encoded on every core and written in order; a page without
    // colour is written as 8-bit grey.
    Outcome exportImages(const QString &dirPath, int resolutionIndex, QString fmt);
    // A new folder in dirPath of one SVG file per page, with the gongche font
    // and a read-me. The files need no fonts: every glyph is drawn from an
    // outline the file carries, and the text stays in it, invisible, to be
    // selected and searched (see SelfContainedSvg).
    Outcome exportSvg(const QString &dirPath);
    // Page index as exportImages draws it at dpi, on the page's own
    // background; a page without one on transparency when transparent is set
    // (as for a PNG), else on the style's background colour or white (as for
    // a JPG). Null for an index out of range or an image too large to make.
    QImage pageImage(int index, int dpi, bool transparent) const;
    // The file or folder written by the last successful export.
    QString lastExportPath() const { return m_lastExportPath; }

    // Dots per inch of a resolution index; any unknown index means 96.
    static int resolutionDpi(int resolutionIndex);
    // The size in pixels of a page image at dpi.
    QSize imageSize(int dpi) const;
    // name made safe as one file name component: characters that are not
    // allowed in file names replaced by "_", white space trimmed, a name of
    // only dots replaced, long names shortened; the default title if nothing
    // is left.
    static QString safeFileName(const QString &name);

    // The vertical reach below the cursor of what drawScore would draw.
    int scoreExtent(const QString &score) const;
    // score cut into parts that fit: part k in the extent roomOf(k) (asked
    // for k = 0, 1, 2 … in turn); never cut before a beat mark when avoidable.
    QStringList scoreParts(const QString &score, const std::function<int(int)> &roomOf) const;
    // The extent a score drawn from the cursor at (x, y) may take: down to the
    // bottom of the column, and, slanted, no further aside than the page's edge.
    int scoreRoom(int x, int y) const;
    static SymbolClass symbolClass(const QString &symbol);

    // The page size in points, landscape applied.
    QSize pageSize() const;
    // The printable width and height.
    QSize availableSize() const;

signals:
    // value of maxValue steps of task done; maxValue is 0 when the length of
    // the task is not known (a preview stops when its first page is full).
    void progressUpdate(Typesetter::Task task, Typesetter::Progress progress, int value,
                        int maxValue);

private:
    friend class JianpuPages;

    // Writers (pagewriters.cpp)
    // The pages as a PDF document drawn by Qt's writer; ok tells whether
    // the writer could be drawn on and finished.
    QByteArray drawPdf(const QString &title, bool *ok);
    // The PDF's bookmarks: title over the tune headings of the pages.
    QVector<PdfOutline::Item> outlineItems(const QString &title) const;
    // The same for a book: title, parts, pieces, tune headings.
    QVector<PdfOutline::Item> bookOutlineItems(const QString &title) const;
    // The pages as images of format fmt at dpi, named after title, into dir;
    // failed, or the cause of a failure to write, when a page fails.
    Outcome writeImages(const QDir &dir, const QString &title, int dpi, const QString &fmt,
                        const Outcome &failed);

    // 简谱 pages instead of gongche columns (jianpupages.cpp).
    void generateJianpu(const DocumentLines &lines, bool previewOnly);

    // Page canvas (scoredrawing.cpp)
    void newPage(PageCanvas &painter);
    void finishPage(PageCanvas &painter);
    static QFont pageFont(const QFont &font);
    // Draws the score beside the character at the cursor; with owner (the
    // character's own source area) the symbols go into the source map too.
    // firstSymbol: the index in the character's score of the first symbol of
    // score (a part after a column break).
    void drawScore(PageCanvas &painter, const QString &score, const SourceArea *owner,
                   int firstSymbol = 0);
    // The colour of a symbol's class in the style.
    QColor symbolColor(const QString &text) const;

    // Layout (generatesvg.cpp)
    void newColumn(PageCanvas &painter, int width);
    void setPageTitle(const QString &title);
    void layoutTitle(PageCanvas &painter, const QString &text);
    void layoutQuPai(PageCanvas &painter, const QString &text);
    // Notes a heading set on the open page at position (page units).
    void recordHeading(Heading::Kind kind, const QString &text, const QPointF &position);
    void layoutJiaBai(PageCanvas &painter, const QString &text);
    void layoutLianBai(PageCanvas &painter, const QString &text);
    int lianBaiBlockHeight(const QStringList &chars, int &n) const;
    // lineIndex is the line's index in the document; firstSung the index of
    // its first sung character, or -1 on a directive line, whose characters
    // have no score lines of their own and stay out of the source map.
    void layoutLyricLine(PageCanvas &painter, const QString &text, const QStringList &scores,
                         int lineIndex, int firstSung);
    // One line of the document; sungBefore counts the sung characters of the
    // lines before it, afterLyric tells that the line before is a lyric line.
    void layoutLine(PageCanvas &painter, const DocumentLine &line, int index, int sungBefore,
                    bool afterLyric);
    // A score too long for the rest of the column, cut into the parts that
    // fit in it and in the columns after it (one part at least).
    QStringList overflowParts(const QString &score) const;
    // The score of the sung character in cell: its first part beside it, the
    // others at the top of new columns. sung is the index of the character,
    // -1 when not counted (no source areas), and moves on past it.
    void setCharacterScore(PageCanvas &painter, const QStringList &parts, const QRect &cell,
                           int lineIndex, int at, int &sung);
    // The height of a character's cell in a column: a line of fm, or for
    // punctuation the height of its ink (tight) or of its box; -1 for
    // punctuation the style hides.
    int cellHeight(const QString &v, const QFontMetrics &fm, bool tight) const;
    // A character in the cell of width and height h at the cursor, aligned
    // by align; sentence punctuation in the right half, at the bottom.
    void drawInCell(PageCanvas &painter, const QString &v, const QFontMetrics &fm, bool tight,
                    int width, int h, Qt::Alignment align);
    int openPageCount() const;

    QBuffer m_pageBuffer; // receives the SVG text of a completed page
    QList<QByteArray> m_pages;
    // The same pages as display lists in page units, beside their SVG text.
    struct PageRecord {
        PageCanvas canvas;
        QSize size;
        QColor background; // invalid when transparent
        QVector<SourceArea> areas;
    };
    QList<PageRecord> m_pageRecords;
    QSize m_pageSize;
    QColor m_pageBackground;
    // Where the layout's origin (the top-right corner of the printable area)
    // lies on the open page, and the source map of that page so far.
    QPointF m_pageOrigin;
    QVector<SourceArea> m_openAreas;
    int m_cursorX = 0;
    int m_cursorY = 0;
    int m_scoreOverhang = 0;
    QString m_documentTitle;
    QVector<Heading> m_headings;
    // The lines of the runs since reset(), for the PDF's document information.
    DocumentLines m_lines;
    QString m_lastExportPath;
    PageStyle m_style;
    // The style's fonts measured as the layout measures them.
    struct Metrics {
        explicit Metrics(const PageStyle &style)
            : title(style.titleFont)
            , lyric(style.lyricFont)
            , score(style.scoreFont)
            , quPai(style.quPaiFont)
            , diaoMing(style.diaoMingFont)
            , lianBai(style.lianBaiFont)
            , jiaBai(style.jiaBaiFont) {}

        // Measured on the screen, as the layout always has been: the page units
        // are points and the pages are drawn with pixel-sized fonts (pageFont).
        QFontMetrics title;
        QFontMetrics lyric;
        QFontMetrics score;
        QFontMetrics quPai;
        QFontMetrics diaoMing;
        QFontMetrics lianBai;
        QFontMetrics jiaBai;
    };
    std::unique_ptr<Metrics> m_metrics;

    // Title and description of the open page, written into its SVG when it is completed.
    QString m_pageTitle;
    QString m_pageDescription;
    bool m_pageOpen = false;
};

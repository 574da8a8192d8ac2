#pragma once

#include "book/bookedition.h"
#include "typeset/pagecanvas.h"
#include "typeset/pagestyle.h"

#include <QFont>
#include <QString>
#include <QVector>

// The pages a book adds to its pieces, drawn on page canvases in page units
// from the page's top-left corner: the title page, the contents and the
// running heads with the page number. A gongche book sets them vertically,
// columns right to left; a 简谱 or staff book horizontally. Only layout and
// drawing: what stands on them is given.
class BookPages {
public:
    explicit BookPages(const PageStyle &style);

    bool vertical() const { return m_vertical; }

    PageCanvas titlePage(const QString &title, const QString &subtitle,
                         const QString &editor) const;

    // The contents entries cut into pages: the indexes of entries on each
    // page, in order. At least one page, even for no entries.
    QVector<QVector<int>> contentsPages(const QVector<BookEdition::ContentsEntry> &entries) const;
    // One contents page: the entries at indexes, each with the number of the
    // page it points at (its page index + 1); the first page has the heading.
    PageCanvas contentsPage(const QVector<BookEdition::ContentsEntry> &entries,
                            const QVector<int> &indexes, bool first) const;

    // The running heads of page number (from 1) and the number itself,
    // drawn onto canvas: the book's title and the piece's (or "目录").
    void drawRunningHeads(PageCanvas &canvas, int number, const QString &bookTitle,
                          const QString &pieceTitle) const;

    // The heading of the contents pages.
    static QString contentsHeading();

private:
    QFont sized(const QFont &font, qreal pixels) const;
    // text set downwards, one character a cell of height step, centred on x,
    // from top; no further than bottom (the rest left out). Where it ended.
    qreal drawVertical(PageCanvas &canvas, const QString &text, qreal x, qreal top, qreal bottom,
                       qreal step) const;
    // The vertical contents: columns of width columnWidth() right to left.
    qreal columnWidth() const;
    int columnsPerPage(bool first) const;
    // The horizontal contents: rows of height rowHeight() top to bottom.
    qreal rowHeight() const;
    int rowsPerPage(bool first) const;
    qreal headingRoom() const;
    QString numberText(int number) const;

    PageStyle m_style;
    bool m_vertical;
    qreal m_scale; // the contents' and title page's fonts, for the paper's width
    QFont m_entryFont;
    QFont m_partFont;
    QFont m_quPaiFont;
    QFont m_headingFont;
    QFont m_headFont; // the running heads
};

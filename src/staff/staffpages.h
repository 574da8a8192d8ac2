#pragma once

#include "staff/lilypondsource.h"
#include "staff/staffengraver.h"
#include "typeset/typesetter.h"

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QVector>

// The engraved staff pages as the page list takes them (Typesetter::
// setDrawnPages): each SVG page with the source areas of what it shows,
// found through LilyPond's point-and-click links and the sources' link
// tables, so that a click on a note finds its character and the cursor's
// outline finds its notes. No widgets.
class StaffPages {
public:
    // A point-and-click link drawn on a page: the box of what it covers, in
    // points from the top-left corner of the page, and the .ly position.
    struct PageLink {
        QRectF rect;
        int line = 0;
        int column = 0;
    };

    // The links of one SVG page of LilyPond's, in document order; the page
    // is pageSize points large.
    static QVector<PageLink> linksOf(const QByteArray &svg, const QSizeF &pageSize);

    // The pages of the engraved sources, in order: a note's links become
    // Symbol areas, a lyric syllable's its Character area; the first page of
    // each source carries its title and headings.
    static QVector<Typesetter::DrawnPage> pages(const QVector<LilyPondSource> &sources,
                                                const QVector<StaffEngraver::Tune> &tunes,
                                                const QSizeF &pageSize);
};

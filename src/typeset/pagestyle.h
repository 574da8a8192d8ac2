#pragma once

#include "typeset/jianpustyle.h"
#include "typeset/staffstyle.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>

// Everything the typesetter needs to know of how a page looks: paper,
// margins, the seven text fonts (each with its point size), the colours, the
// spacings and the switches. A plain value; whoever keeps the settings makes
// one and hands it to the typesetter. Lengths are in points.
struct PageStyle {
    // The notation the pages are set in: vertical gongche columns,
    // horizontal 简谱 systems, or staff engraved by LilyPond.
    enum class Notation { Gongche, Jianpu, Staff };

    // The ranges the typesetter keeps every value in (the export form accepts
    // no other), so that any stored value lays out in bounded time and memory.
    struct Ranges {
        static constexpr int minPageSide = 10, maxPageSide = 10000;
        static constexpr int minMargin = 0, maxMargin = 10000;
        static constexpr int minWidth = 10, maxWidth = 10000;
        static constexpr int minSpace = -200, maxSpace = 200;
        static constexpr int minAngle = -360, maxAngle = 360;
        static constexpr int minFontSize = 5, maxFontSize = 300;
        // The staff edition: LilyPond's staff size and the lyrics' size.
        static constexpr int minStaffSize = 10, maxStaffSize = 40;
        static constexpr int minStaffLyricSize = 6, maxStaffLyricSize = 48;
    };

    // Paper: the portrait width and height; landscape turns the page.
    int pageWidth = 595;
    int pageHeight = 842;
    bool landscape = false;
    int marginTop = 25;
    int marginBottom = 25;
    int marginLeft = 25;
    int marginRight = 25;

    QFont titleFont;
    QFont lyricFont;
    QFont scoreFont;
    QFont quPaiFont;
    QFont diaoMingFont;
    QFont lianBaiFont;
    QFont jiaBaiFont;

    QColor titleColor;
    QColor lyricColor;
    QColor quPaiColor;
    QColor diaoMingColor;
    QColor lianBaiColor;
    QColor jiaBaiColor;
    QColor scoreColor;
    QColor banColor;
    QColor xiaoYanColor;
    QColor zhongYanColor;
    QColor qiangGeColor;
    QColor backgroundColor;
    bool transparentBackground = false;

    // Punctuation is left out.
    bool hiddenSymbol = false;
    // A character whose score would reach below the page starts a new column.
    bool lineBreakScoreOverflow = true;
    // 简谱 and staff pages carry their number at the foot. Not stored: a book
    // turns it off and numbers its pages itself.
    bool pageNumbers = true;

    int colWidth = 130;
    int mColWidth = 35; // the sub-columns of a spoken passage
    int titleWidth = 130;
    int titlePos = 0; // 0 top, 1 centre, 2 bottom
    int lyricSpace = 6;
    int scoreSpace = 0;
    int banYanSpace = 0;
    int lyricScoreSpace = 0;
    int scoreBanYanSpace = 0;
    int scoreAngle = -45;

    Notation notation = Notation::Gongche;
    JianpuStyle jianpu;
    StaffStyle staff;

    // The same style with every length, angle and font size inside Ranges.
    // Inside the ranges the values stay as they are.
    PageStyle bounded() const;
    static int boundedFontSize(int size);

    // The page size in points, landscape applied.
    QSize pageSize() const;
    // The printable width and height.
    QSize availableSize() const;

    // The width of one character cell of a text font: its average character
    // width, or the advance of a CJK ideograph when that is wider. Chinese
    // fonts report the average width of their Latin letters, about half an
    // ideograph, which would let every character overhang its cell.
    static int characterCellWidth(const QFontMetrics &fm);
};

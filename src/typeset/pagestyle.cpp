#include "typeset/pagestyle.h"

#include <QSize>
#include <algorithm>

namespace {

void boundFont(QFont &font) {
    if (font.pointSize() > 0) {
        font.setPointSize(PageStyle::boundedFontSize(font.pointSize()));
    }
}

} // namespace

int PageStyle::boundedFontSize(int size) {
    return std::clamp(size, int(Ranges::minFontSize), int(Ranges::maxFontSize));
}

PageStyle PageStyle::bounded() const {
    PageStyle s = *this;
    const auto side = [](int v) {
        return std::clamp(v, int(Ranges::minPageSide), int(Ranges::maxPageSide));
    };
    const auto margin = [](int v) {
        return std::clamp(v, int(Ranges::minMargin), int(Ranges::maxMargin));
    };
    const auto width = [](int v) {
        return std::clamp(v, int(Ranges::minWidth), int(Ranges::maxWidth));
    };
    const auto space = [](int v) {
        return std::clamp(v, int(Ranges::minSpace), int(Ranges::maxSpace));
    };
    s.pageWidth = side(pageWidth);
    s.pageHeight = side(pageHeight);
    s.marginTop = margin(marginTop);
    s.marginBottom = margin(marginBottom);
    s.marginLeft = margin(marginLeft);
    s.marginRight = margin(marginRight);
    s.colWidth = width(colWidth);
    s.mColWidth = width(mColWidth);
    s.titleWidth = width(titleWidth);
    s.lyricSpace = space(lyricSpace);
    s.scoreSpace = space(scoreSpace);
    s.banYanSpace = space(banYanSpace);
    s.lyricScoreSpace = space(lyricScoreSpace);
    s.scoreBanYanSpace = space(scoreBanYanSpace);
    s.scoreAngle = std::clamp(scoreAngle, int(Ranges::minAngle), int(Ranges::maxAngle));
    s.jianpu.lyricDistance = space(jianpu.lyricDistance);
    s.jianpu.systemSpace = space(jianpu.systemSpace);
    s.jianpu.beatWidth = width(jianpu.beatWidth);
    s.jianpu.minNoteSpace = std::clamp(jianpu.minNoteSpace, 0, int(Ranges::maxSpace));
    for (QFont *f : {&s.titleFont, &s.lyricFont, &s.scoreFont, &s.quPaiFont, &s.diaoMingFont,
                     &s.lianBaiFont, &s.jiaBaiFont, &s.jianpu.noteFont}) {
        boundFont(*f);
    }
    s.staff.staffSize =
        std::clamp(staff.staffSize, int(Ranges::minStaffSize), int(Ranges::maxStaffSize));
    if (s.staff.lyricFont.pointSize() > 0) {
        s.staff.lyricFont.setPointSize(std::clamp(s.staff.lyricFont.pointSize(),
                                                  int(Ranges::minStaffLyricSize),
                                                  int(Ranges::maxStaffLyricSize)));
    }
    return s;
}

QSize PageStyle::pageSize() const {
    return landscape ? QSize(pageHeight, pageWidth) : QSize(pageWidth, pageHeight);
}

QSize PageStyle::availableSize() const {
    const QSize page = pageSize();
    return QSize(page.width() - marginLeft - marginRight, page.height() - marginTop - marginBottom);
}

int PageStyle::characterCellWidth(const QFontMetrics &fm) {
    return std::max(fm.averageCharWidth(), fm.horizontalAdvance(QChar(0x4E2D)));
}

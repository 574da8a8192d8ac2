// The page canvas of Typesetter: opening and completing SVG pages, and
// drawing the gongche score of one sung character.
#include "model/gongchesymbol.h"
#include "typeset/typesetter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QSvgGenerator>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace {

// Draws a symbol with its ink centred in rect. The symbols' ink rests on the
// baseline, so centring the line box instead would set short marks lower than
// tall pitches. The page's fonts are sized in pixels, one pixel a page unit,
// so these metrics hold on every device the page is played on. Returns where
// the ink went, in the painter's coordinates: rect itself when s has none.
QRectF drawCentredByInk(PageCanvas &painter, const QRectF &rect, const QString &s) {
    const QRectF ink = QFontMetricsF(painter.font()).tightBoundingRect(s);
    const QPointF baseline = rect.center() - ink.center();
    painter.drawText(baseline, s);
    return ink.isEmpty() ? rect : ink.translated(baseline);
}

bool isBeatMark(const QString &s) {
    return GongcheSymbol::of(s).isBeatMark();
}

// 腰 marks stand between the pitch before them and the next one.
bool isWaistMark(const QString &s) {
    const GongcheSymbol symbol = GongcheSymbol::of(s);
    return symbol.isBeatMark() && symbol.beatPosition() == GongcheSymbol::BeatPosition::Yao;
}

bool isDiBan(const QString &s) {
    return GongcheSymbol::codeOf(s) == GongcheSymbol::DiBan;
}

// Small pitches, 豁腔 and 擻腔 stand a little further from the character.
bool isSmallSymbol(const QString &s) {
    const GongcheSymbol symbol = GongcheSymbol::of(s);
    if (symbol.isPitch()) {
        return symbol.isSmall();
    }
    return symbol.isOrnament() && (symbol.ornament() == GongcheSymbol::Ornament::HuoQiang ||
                                   symbol.ornament() == GongcheSymbol::Ornament::SouQiang);
}

// The marks since the previous pitch reach (nearly) to pos, from where the
// pitch at i would stand: it moves down past them by 6 units when a mark
// follows it, else just to where they end.
int clearance(const QString &score, int i, int pos, bool afterDiBan) {
    const bool plainNext = i + 3 < score.size() && !isBeatMark(score.mid(i + 2, 2));
    return i == 0 || afterDiBan || plainNext ? std::max(pos, 0) : pos + 6;
}

// Writes the title and description into the header of a completed page.
void insertTitle(QByteArray &svg, const QString &title, const QString &description) {
    if (title.isEmpty() && description.isEmpty()) {
        return;
    }
    const int svgStart = svg.indexOf("<svg");
    if (svgStart < 0) {
        return;
    }
    int at = svg.indexOf('>', svgStart);
    if (at < 0) {
        return;
    }
    ++at;
    if (at < svg.size() && svg.at(at) == '\n') {
        ++at;
    }
    QByteArray head;
    if (!title.isEmpty()) {
        head += "<title>" + title.toHtmlEscaped().toUtf8() + "</title>\n";
    }
    if (!description.isEmpty()) {
        head += "<desc>" + description.toHtmlEscaped().toUtf8() + "</desc>\n";
    }
    svg.insert(at, head);
}

} // namespace

Typesetter::SymbolClass Typesetter::symbolClass(const QString &text) {
    const GongcheSymbol symbol = GongcheSymbol::of(text);
    switch (symbol.kind()) {
    case GongcheSymbol::Kind::Pitch:
        return SymbolClass::Pitch;
    case GongcheSymbol::Kind::Ornament:
        return SymbolClass::QiangGe;
    case GongcheSymbol::Kind::BeatMark:
        switch (symbol.beat()) {
        case GongcheSymbol::Beat::Ban:
        case GongcheSymbol::Beat::ZengBan:
            return SymbolClass::Ban;
        case GongcheSymbol::Beat::XiaoYan:
            return SymbolClass::XiaoYan;
        case GongcheSymbol::Beat::ZhongYan:
            return SymbolClass::ZhongYan;
        }
        break;
    case GongcheSymbol::Kind::None:
        break;
    }
    // Text that is no symbol takes the colour of what it sorts among: after
    // the marks and ornaments, the pitches.
    static const QString lastOrnament = GongcheSymbol::textOf(GongcheSymbol::SouQiang);
    return text > lastOrnament ? SymbolClass::Pitch : SymbolClass::QiangGe;
}

QColor Typesetter::symbolColor(const QString &text) const {
    switch (symbolClass(text)) {
    case SymbolClass::Pitch:
        return m_style.scoreColor;
    case SymbolClass::Ban:
        return m_style.banColor;
    case SymbolClass::XiaoYan:
        return m_style.xiaoYanColor;
    case SymbolClass::ZhongYan:
        return m_style.zhongYanColor;
    case SymbolClass::QiangGe:
        return m_style.qiangGeColor;
    }
    return m_style.scoreColor;
}

QSize Typesetter::pageSize() const {
    return m_style.pageSize();
}

QSize Typesetter::availableSize() const {
    return m_style.availableSize();
}

void Typesetter::newPage(PageCanvas &painter) {
    painter.clear();
    m_pageOpen = true;
    m_pageTitle.clear();
    m_pageDescription.clear();

    // The page is recorded as a display list in page units (points) and
    // played into its SVG document when it is complete; the PDF writer plays
    // the same list, so both show the same layout with real text.
    const QSize size = pageSize();
    m_pageSize = size;
    // The background is painted when the page is played, under the list.
    m_pageBackground = m_style.transparentBackground ? QColor() : m_style.backgroundColor;
    painter.translate(size.width() - m_style.marginRight, m_style.marginTop);
    m_pageOrigin = QPointF(size.width() - m_style.marginRight, m_style.marginTop);
    m_openAreas.clear();
    painter.setRenderHint(QPainter::Antialiasing);
    m_cursorX = 0;
    m_cursorY = 0;
}

QFont Typesetter::pageFont(const QFont &font) {
    // Sized in pixels, a font measures the same on every device the page is
    // played on: one pixel is one page unit, that is one point.
    QFont f = font;
    if (font.pixelSize() <= 0) {
        f.setPixelSize(std::max(1, font.pointSize()));
    }
    return f;
}

void Typesetter::finishPage(PageCanvas &painter) {
    if (!m_pageOpen) {
        return;
    }
    m_pageOpen = false;
    m_pageRecords.append({painter, m_pageSize, m_pageBackground, m_openAreas});
    m_openAreas.clear();
    painter.clear();

    const QSize size = m_pageSize;
    if (m_pageBuffer.isOpen()) {
        m_pageBuffer.close();
    }
    QByteArray bytes;
    m_pageBuffer.setBuffer(&bytes);
    m_pageBuffer.open(QIODevice::WriteOnly);
    {
        QSvgGenerator generator;
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        // At 72 dpi a point is one user unit.
        generator.setResolution(72);
        generator.setOutputDevice(&m_pageBuffer);
        // The engine writes the page's own title and description (a title
        // line may come after the page was begun); none of the generator's.
        generator.setTitle(QString());
        generator.setDescription(QString());
        QPainter svgPainter(&generator);
        const PageRecord &page = m_pageRecords.constLast();
        if (page.background.isValid()) {
            svgPainter.fillRect(QRect(QPoint(0, 0), page.size), page.background);
        }
        page.canvas.play(svgPainter);
    }
    m_pageBuffer.close();
    m_pageBuffer.setBuffer(nullptr);
    insertTitle(bytes, m_pageTitle, m_pageDescription);
    m_pages.append(bytes);
}

void Typesetter::paintPage(QPainter &painter, int index) const {
    if (index < 0 || index >= m_pageRecords.size()) {
        return;
    }
    const PageRecord &page = m_pageRecords.at(index);
    if (page.background.isValid()) {
        painter.fillRect(QRect(QPoint(0, 0), page.size), page.background);
    }
    page.canvas.play(painter, true);
}

PageCanvas Typesetter::pageCanvas(int index) const {
    return index >= 0 && index < m_pageRecords.size() ? m_pageRecords.at(index).canvas
                                                      : PageCanvas();
}

QVector<SourceArea> Typesetter::sourceAreas(int page) const {
    return page >= 0 && page < m_pageRecords.size() ? m_pageRecords.at(page).areas
                                                    : QVector<SourceArea>();
}

bool Typesetter::findCharacter(int character, int *page, QRectF *rect) const {
    if (character < 0) {
        return false;
    }
    // Within a page the characters are drawn in the order they are counted,
    // each followed by its symbols, so a page's map is sorted by character
    // and the areas of one character stand together.
    for (int p = 0; p < m_pageRecords.size(); ++p) {
        const QVector<SourceArea> &areas = m_pageRecords.at(p).areas;
        if (areas.isEmpty() || areas.constFirst().character > character ||
            areas.constLast().character < character) {
            continue;
        }
        const auto first =
            std::lower_bound(areas.cbegin(), areas.cend(), character,
                             [](const SourceArea &a, int c) { return a.character < c; });
        if (first == areas.cend() || first->character != character) {
            continue;
        }
        QRectF outline = first->rect;
        for (auto it = first + 1; it != areas.cend() && it->character == character; ++it) {
            outline = outline.united(it->rect);
        }
        if (page) {
            *page = p;
        }
        if (rect) {
            *rect = outline;
        }
        return true;
    }
    return false;
}

int Typesetter::scoreExtent(const QString &score) const {
    if (score.isEmpty()) {
        return 0;
    }
    const QFontMetrics &fm = m_metrics->score;
    const int scoreSpace = m_style.scoreSpace;
    const int banYanSpace = m_style.banYanSpace;
    int total = 0;
    int pos = 0;
    bool prevMark = false;
    for (int i = 0; i < score.size(); i += 2) {
        const QString s = score.mid(i, 2);
        int h = fm.tightBoundingRect(s).height();
        if (isBeatMark(s)) {
            h = int(h * 0.8);
            if (isWaistMark(s) && !prevMark) {
                pos += h;
            } else if (isDiBan(s)) {
                pos = std::max(pos, 0);
            }
            pos += h + banYanSpace;
            prevMark = true;
        } else {
            if (pos - banYanSpace > 0) {
                total += pos - banYanSpace;
            }
            total += h + scoreSpace;
            pos = -(h + scoreSpace);
            prevMark = false;
        }
    }
    const int plain = total - scoreSpace;
    if (prevMark) {
        if (pos > 0) {
            total += pos - banYanSpace;
        } else {
            total -= banYanSpace;
        }
    }
    const int length = std::max(total, plain);
    const double angle = m_style.scoreAngle * M_PI / 180.0;
    return int(length * std::cos(angle)) + (3 * m_metrics->lyric.height()) / 5;
}

int Typesetter::scoreRoom(int x, int y) const {
    const int lead = (3 * m_metrics->lyric.height()) / 5;
    int room = availableSize().height() - y;
    // Local x (across the score) reaches over the pitches and the marks' lane.
    const int S = m_metrics->score.averageCharWidth();
    const double across = 2.0 * S + m_style.scoreBanYanSpace + m_style.lyricScoreSpace;
    const double angle = m_style.scoreAngle * M_PI / 180.0;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double originX =
        x + PageStyle::characterCellWidth(m_metrics->lyric) + m_style.lyricScoreSpace;
    // Page x of a point (u across, v along) is originX + u cos − v sin.
    double length = -1;
    if (s < -1e-6) { // slanting right: up to the right edge of the page
        const double limit = m_style.marginRight - originX - std::max(0.0, across * c);
        length = limit / -s;
    } else if (s > 1e-6) { // slanting left: up to the left edge
        const double limit =
            originX + availableSize().width() + m_style.marginLeft + std::min(0.0, across * c);
        length = limit / s;
    }
    if (length >= 0 && c > 1e-6) {
        room = std::min(room, int(length * c) + lead);
    }
    return room;
}

QStringList Typesetter::scoreParts(const QString &score,
                                   const std::function<int(int)> &roomOf) const {
    QStringList parts;
    QString rest = score;
    int fits = roomOf(0);
    while (!rest.isEmpty()) {
        if (scoreExtent(rest) <= fits) {
            parts.append(rest);
            break;
        }
        // The most symbols that fit (at least one), found by halving.
        const int symbols = rest.size() / 2;
        int lo = 1;
        int hi = symbols;
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            if (scoreExtent(rest.left(2 * mid)) <= fits) {
                lo = mid;
            } else {
                hi = mid - 1;
            }
        }
        int cut = lo;
        // A beat mark stays with the pitch it follows.
        while (cut > 1 && isBeatMark(rest.mid(2 * cut, 2))) {
            --cut;
        }
        if (cut == 1 && isBeatMark(rest.mid(2, 2))) {
            cut = lo;
        }
        parts.append(rest.left(2 * cut));
        rest = rest.mid(2 * cut);
        fits = roomOf(parts.size());
    }
    return parts;
}

void Typesetter::drawScore(PageCanvas &painter, const QString &score, const SourceArea *owner,
                           int firstSymbol) {
    if (score.isEmpty()) {
        return;
    }
    const QFontMetrics &fm = m_metrics->score;
    const int S = fm.averageCharWidth();
    const int A = PageStyle::characterCellWidth(m_metrics->lyric);
    const int Hl = m_metrics->lyric.height();
    const int scoreSpace = m_style.scoreSpace;
    const int banYanSpace = m_style.banYanSpace;
    const int scoreBanYanSpace = m_style.scoreBanYanSpace;

    painter.save();
    painter.setFont(pageFont(m_style.scoreFont));
    const int originX = m_cursorX + A + m_style.lyricScoreSpace;
    const int originY = m_cursorY + (3 * Hl) / 5;
    painter.translate(originX, originY);
    // Local y runs along the score, local x across it.
    painter.rotate(m_style.scoreAngle);
    // The same moves from local to page coordinates, for the source map.
    QTransform toPage =
        QTransform::fromTranslate(m_pageOrigin.x() + originX, m_pageOrigin.y() + originY);
    toPage.rotate(m_style.scoreAngle);
    auto record = [&](int i, const QRectF &ink) {
        if (owner) {
            SourceArea area = *owner;
            area.kind = SourceArea::Symbol;
            area.symbol = firstSymbol + i / 2;
            area.rect = toPage.mapRect(ink);
            m_openAreas.append(area);
        }
    };

    int pos = 0; // where the next beat mark goes, relative to the local origin
    bool prevMark = false;
    bool afterDiBan = false;
    for (int i = 0; i < score.size(); i += 2) {
        const QString s = score.mid(i, 2);
        painter.setPen(symbolColor(s));
        const QRect box = fm.tightBoundingRect(s);
        const int w = box.width();
        int h = box.height();

        if (isBeatMark(s)) {
            // Beat marks run in their own lane, beside the pitches.
            int mx = S + scoreBanYanSpace;
            h = int(h * 0.8);
            if (isWaistMark(s) && !prevMark) {
                // A waist mark after a pitch sits between it and the next one.
                pos += h;
            } else if (isDiBan(s)) {
                mx = S / 2 + scoreBanYanSpace;
                afterDiBan = true;
                pos = std::max(pos, 0);
            }
            record(i, drawCentredByInk(painter, QRect(mx, pos, w, h), s));
            pos += h + banYanSpace;
            prevMark = true;
        } else {
            if (pos >= -5) {
                const int t = clearance(score, i, pos, afterDiBan);
                painter.translate(0, t);
                toPage.translate(0, t);
            }
            if (isSmallSymbol(s)) {
                record(i, drawCentredByInk(painter, QRect(2 * S / 5, 0, w, h), s));
            } else {
                record(i, drawCentredByInk(painter, QRect(0, 0, S, h), s));
            }
            const int d = h + scoreSpace;
            painter.translate(0, d);
            toPage.translate(0, d);
            pos = -d;
            prevMark = false;
        }
    }
    painter.restore();
}

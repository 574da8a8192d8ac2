#include "book/bookpages.h"

#include "model/linegrammar.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

// The sizes of the book's own texts on A4 paper, in points; other papers
// scale them with their printable width.
constexpr qreal titleSize = 40;
constexpr qreal subtitleSize = 20;
constexpr qreal editorSize = 16;
constexpr qreal headingSize = 24;
constexpr qreal partSize = 17;
constexpr qreal entrySize = 14;
constexpr qreal quPaiSize = 12;
constexpr qreal referenceWidth = 545;

// The running heads: at most this size, and at most this share of the margin.
constexpr qreal headSize = 10;
constexpr qreal headShare = 0.5;

} // namespace

BookPages::BookPages(const PageStyle &style)
    : m_style(style.bounded())
    , m_vertical(m_style.notation == PageStyle::Notation::Gongche) {
    const QSize avail = m_style.availableSize();
    m_scale = std::clamp(avail.width() / referenceWidth, 0.4, 2.0);
    m_entryFont = sized(m_style.lyricFont, entrySize * m_scale);
    m_quPaiFont = sized(m_style.quPaiFont, quPaiSize * m_scale);
    m_partFont = sized(m_style.titleFont, partSize * m_scale);
    m_headingFont = sized(m_style.titleFont, headingSize * m_scale);
    const int margin =
        m_vertical ? std::min(m_style.marginLeft, m_style.marginRight) : m_style.marginTop;
    m_headFont = sized(m_style.lyricFont, std::clamp(margin * headShare, 5.0, headSize));
}

QString BookPages::contentsHeading() {
    return QStringLiteral("目录");
}

QFont BookPages::sized(const QFont &font, qreal pixels) const {
    QFont f = font;
    f.setPixelSize(std::max(1, int(std::lround(pixels))));
    return f;
}

QString BookPages::numberText(int number) const {
    return BookEdition::pageNumberText(number, m_style.notation);
}

qreal BookPages::drawVertical(PageCanvas &canvas, const QString &text, qreal x, qreal top,
                              qreal bottom, qreal step) const {
    qreal y = top;
    for (const QString &c : splitCharacters(text)) {
        if (c.trimmed().isEmpty()) {
            y += step / 2;
            continue;
        }
        if (y + step > bottom + 0.5) {
            break;
        }
        const QString shown = c.size() == 1 ? QString(toVerticalForm(c.at(0))) : c;
        canvas.drawText(QRectF(x - step, y, 2 * step, step), Qt::AlignCenter, shown);
        y += step;
    }
    return y;
}

PageCanvas BookPages::titlePage(const QString &title, const QString &subtitle,
                                const QString &editor) const {
    PageCanvas canvas;
    canvas.setRenderHint(QPainter::Antialiasing);
    const QSize page = m_style.pageSize();
    const QSize avail = m_style.availableSize();
    const qreal top = m_style.marginTop;
    const qreal bottom = top + avail.height();
    const qreal left = m_style.marginLeft;
    const int titleChars = std::max(1, int(splitCharacters(title).size()));
    if (m_vertical) {
        // The title in a tall column right of the middle, the subtitle
        // beside it, the editor low on the left.
        const qreal size = std::min(titleSize * m_scale, avail.height() * 0.7 / titleChars);
        const qreal titleX = page.width() / 2.0 + size * 0.8;
        canvas.setFont(sized(m_style.titleFont, size));
        canvas.setPen(m_style.titleColor);
        drawVertical(canvas, title, titleX, top + avail.height() * 0.12, bottom, size * 1.1);
        const qreal sub = subtitleSize * m_scale;
        canvas.setFont(sized(m_style.lyricFont, sub));
        canvas.setPen(m_style.lyricColor);
        drawVertical(canvas, subtitle, titleX - size * 0.9 - sub * 1.2,
                     top + avail.height() * 0.12 + size * 1.5, bottom, sub * 1.1);
        const qreal ed = editorSize * m_scale;
        canvas.setFont(sized(m_style.lyricFont, ed));
        const int edChars = int(splitCharacters(editor).size());
        drawVertical(canvas, editor, left + avail.width() * 0.25,
                     std::max(top, top + avail.height() * 0.85 - edChars * ed * 1.1), bottom,
                     ed * 1.1);
        return canvas;
    }
    const auto centred = [&](const QFont &font, const QColor &color, qreal y, const QString &text) {
        canvas.setFont(font);
        canvas.setPen(color);
        const QFontMetricsF fm(font);
        canvas.drawText(QPointF(left + (avail.width() - fm.horizontalAdvance(text)) / 2, y), text);
        return fm.height();
    };
    const qreal titleY = top + avail.height() * 0.3;
    const qreal h =
        centred(sized(m_style.titleFont, titleSize * m_scale), m_style.titleColor, titleY, title);
    centred(sized(m_style.lyricFont, subtitleSize * m_scale), m_style.lyricColor, titleY + h * 1.2,
            subtitle);
    centred(sized(m_style.lyricFont, editorSize * m_scale), m_style.lyricColor,
            top + avail.height() * 0.75, editor);
    return canvas;
}

qreal BookPages::columnWidth() const {
    return entrySize * m_scale * 2.4;
}

qreal BookPages::headingRoom() const {
    return headingSize * m_scale * (m_vertical ? 2.5 : 3);
}

int BookPages::columnsPerPage(bool first) const {
    const qreal room = m_style.availableSize().width() - (first ? headingRoom() : 0);
    return std::max(1, int(room / columnWidth()));
}

qreal BookPages::rowHeight() const {
    return entrySize * m_scale * 1.9;
}

int BookPages::rowsPerPage(bool first) const {
    const qreal room = m_style.availableSize().height() - (first ? headingRoom() : 0);
    return std::max(1, int(room / rowHeight()));
}

QVector<QVector<int>>
BookPages::contentsPages(const QVector<BookEdition::ContentsEntry> &entries) const {
    QVector<QVector<int>> pages(1);
    for (int i = 0; i < entries.size(); ++i) {
        const bool first = pages.size() == 1;
        const int room = m_vertical ? columnsPerPage(first) : rowsPerPage(first);
        if (pages.last().size() >= room) {
            pages.append(QVector<int>());
        }
        pages.last().append(i);
    }
    return pages;
}

PageCanvas BookPages::contentsPage(const QVector<BookEdition::ContentsEntry> &entries,
                                   const QVector<int> &indexes, bool first) const {
    using Kind = BookEdition::ContentsEntry::Kind;
    PageCanvas canvas;
    canvas.setRenderHint(QPainter::Antialiasing);
    const QSize page = m_style.pageSize();
    const QSize avail = m_style.availableSize();
    const qreal top = m_style.marginTop;
    const qreal bottom = top + avail.height();
    const qreal left = m_style.marginLeft;
    const qreal right = page.width() - m_style.marginRight;
    const qreal em = entrySize * m_scale;

    const auto fontOf = [this](Kind kind) {
        return kind == Kind::Part ? m_partFont : kind == Kind::QuPai ? m_quPaiFont : m_entryFont;
    };
    const auto colorOf = [this](Kind kind) {
        return kind == Kind::Part    ? m_style.titleColor
               : kind == Kind::QuPai ? m_style.quPaiColor
                                     : m_style.lyricColor;
    };
    const auto indentOf = [em](Kind kind) {
        return kind == Kind::Part ? 0.0 : kind == Kind::Piece ? em : em * 2.5;
    };

    if (m_vertical) {
        qreal x = right;
        if (first) {
            const qreal size = headingSize * m_scale;
            canvas.setFont(m_headingFont);
            canvas.setPen(m_style.titleColor);
            drawVertical(canvas, contentsHeading(), x - headingRoom() / 2, top, bottom, size * 1.4);
            x -= headingRoom();
        }
        for (int index : indexes) {
            const BookEdition::ContentsEntry &entry = entries.at(index);
            const qreal centre = x - columnWidth() / 2;
            // The number at the foot of the column, the text from the top.
            canvas.setFont(m_entryFont);
            canvas.setPen(m_style.lyricColor);
            const QString number = numberText(entry.page + 1);
            const qreal numberTop = bottom - splitCharacters(number).size() * em * 1.05;
            drawVertical(canvas, number, centre, numberTop, bottom, em * 1.05);
            const QFont font = fontOf(entry.kind);
            canvas.setFont(font);
            canvas.setPen(colorOf(entry.kind));
            const qreal step = font.pixelSize() * 1.1;
            drawVertical(canvas, entry.text, centre, top + indentOf(entry.kind), numberTop - em,
                         step);
            x -= columnWidth();
        }
        return canvas;
    }

    qreal y = top;
    if (first) {
        const QFontMetricsF fm(m_headingFont);
        canvas.setFont(m_headingFont);
        canvas.setPen(m_style.titleColor);
        canvas.drawText(
            QPointF(left + (avail.width() - fm.horizontalAdvance(contentsHeading())) / 2,
                    y + fm.ascent()),
            contentsHeading());
        y += headingRoom();
    }
    const qreal dotStep = em * 0.5;
    for (int index : indexes) {
        const BookEdition::ContentsEntry &entry = entries.at(index);
        const qreal baseline = y + rowHeight() * 0.7;
        const QFont font = fontOf(entry.kind);
        const QFontMetricsF fm(font);
        const qreal textStart = left + indentOf(entry.kind);
        canvas.setFont(font);
        canvas.setPen(colorOf(entry.kind));
        canvas.drawText(QPointF(textStart, baseline), entry.text);
        const QString number = numberText(entry.page + 1);
        const QFontMetricsF nm(m_entryFont);
        const qreal numberStart = right - nm.horizontalAdvance(number);
        canvas.setFont(m_entryFont);
        canvas.setPen(m_style.lyricColor);
        canvas.drawText(QPointF(numberStart, baseline), number);
        // The dotted leader, on a grid of the page so that the dots of
        // every row stand in line.
        canvas.setPen(QPen(Qt::NoPen));
        canvas.setBrush(m_style.lyricColor);
        const qreal from = textStart + fm.horizontalAdvance(entry.text) + em * 0.5;
        const qreal to = numberStart - em * 0.5;
        for (qreal dot = left + std::ceil((from - left) / dotStep) * dotStep; dot <= to;
             dot += dotStep) {
            canvas.drawEllipse(QPointF(dot, baseline - em * 0.12), em * 0.06, em * 0.06);
        }
        canvas.setBrush(Qt::NoBrush);
        y += rowHeight();
    }
    return canvas;
}

void BookPages::drawRunningHeads(PageCanvas &canvas, int number, const QString &bookTitle,
                                 const QString &pieceTitle) const {
    const QSize page = m_style.pageSize();
    const QSize avail = m_style.availableSize();
    const qreal top = m_style.marginTop;
    const qreal bottom = top + avail.height();
    const qreal size = m_headFont.pixelSize();
    canvas.save();
    canvas.setFont(m_headFont);
    canvas.setPen(m_style.lyricColor);
    if (m_vertical) {
        // The 版心: a strip at the outer edge, as the fold of a leaf of a
        // thread-bound book: the book's title from the top, the piece's
        // title below the middle, the page number at the foot.
        const bool odd = number % 2 == 1;
        const qreal x = odd ? m_style.marginLeft / 2.0 : page.width() - m_style.marginRight / 2.0;
        const qreal step = size * 1.15;
        const QString numberText = this->numberText(number);
        const qreal numberTop = bottom - splitCharacters(numberText).size() * step;
        const qreal middle = top + avail.height() * 0.4;
        drawVertical(canvas, bookTitle, x, top, middle - step, step);
        drawVertical(canvas, pieceTitle, x, middle, numberTop - step, step);
        drawVertical(canvas, numberText, x, numberTop, bottom, step);
        canvas.restore();
        return;
    }

    // The book's title on the left of the top margin, the piece's on the
    // right, over a hairline; the number at the foot.
    const QFontMetricsF fm(m_headFont);
    const qreal left = m_style.marginLeft;
    const qreal right = page.width() - m_style.marginRight;
    const qreal baseline = top * 0.6;
    canvas.drawText(QPointF(left, baseline), bookTitle);
    canvas.drawText(QPointF(right - fm.horizontalAdvance(pieceTitle), baseline), pieceTitle);
    QPen rule(m_style.lyricColor);
    rule.setWidthF(0.4);
    canvas.setPen(rule);
    const qreal ruleY = baseline + fm.descent() + 1;
    if (ruleY < top - 1) {
        canvas.drawLine(QLineF(left, ruleY, right, ruleY));
    }

    // Where the pieces' own numbers stood: on the line a 简谱 page keeps for
    // it, or in the bottom margin.
    QFont numberFont = m_style.jianpu.noteFont;
    const QFont &note = m_style.jianpu.noteFont;
    const int noteEm = std::max(1, note.pixelSize() > 0 ? note.pixelSize() : note.pointSize());
    numberFont.setPixelSize(std::max(1, int(std::lround(noteEm * 0.6))));
    const QFontMetricsF nm(numberFont);
    qreal numberBaseline = bottom - noteEm * 0.2;
    if (m_style.notation == PageStyle::Notation::Staff) {
        numberBaseline = m_style.marginBottom >= nm.height()
                             ? bottom + (m_style.marginBottom + nm.capHeight()) / 2
                             : bottom - nm.descent();
    }
    const QString text = numberText(number);
    canvas.setFont(numberFont);
    canvas.setPen(m_style.lyricColor);
    canvas.drawText(
        QPointF(left + (avail.width() - nm.horizontalAdvance(text)) / 2, numberBaseline), text);
    canvas.restore();
}

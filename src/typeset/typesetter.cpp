// The layout of Typesetter: lines into columns, columns into pages.
#include "typeset/typesetter.h"

#include "typeset/jianpupages.h"

#include <QPainter>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <algorithm>

namespace {

const QString exportTitle = QStringLiteral("Qorvel工尺谱导出曲谱");

QString verticalForm(const QString &c) {
    return c.size() == 1 ? QString(toVerticalForm(c.at(0))) : c;
}

bool isPunctuationCharacter(const QString &c) {
    return c.size() == 1 && isPunctuationChar(c.at(0));
}

bool isSungCharacter(const QString &c) {
    return c.size() == 1 && isSungChar(c.at(0));
}

// Sentence punctuation sits in the right half of its cell, at the bottom.
bool isSentencePunctuation(const QString &c) {
    if (c.size() != 1) {
        return false;
    }
    switch (c.at(0).unicode()) {
    case 0x3002:
    case 0xFF0C:
    case ',':
    case 0x3001:
    case 0xFF1B:
    case ';':
    case 0xFF1A:
    case ':':
    case 0xFF1F:
    case '?':
    case 0xFF01:
    case '!':
        return true;
    default:
        return false;
    }
}

// The text after the line's leading marker, trimmed.
QString body(const QString &text) {
    return text.mid(1).trimmed();
}

} // namespace

Typesetter::Typesetter(QObject *parent)
    : QObject(parent)
    , m_metrics(std::make_unique<Metrics>(m_style)) {
    qRegisterMetaType<Task>();
    qRegisterMetaType<Progress>();
}

Typesetter::~Typesetter() {
    if (m_pageBuffer.isOpen()) {
        m_pageBuffer.close();
    }
}

void Typesetter::reset() {
    if (m_pageBuffer.isOpen()) {
        m_pageBuffer.close();
    }
    m_pages.clear();
    m_pageRecords.clear();
    m_openAreas.clear();
    m_headings.clear();
    m_lines.clear();
}

int Typesetter::openPageCount() const {
    return m_pages.size() + (m_pageOpen ? 1 : 0);
}

void Typesetter::setPageTitle(const QString &title) {
    m_pageTitle = title;
}

void Typesetter::recordHeading(Heading::Kind kind, const QString &text, const QPointF &position) {
    Heading heading;
    heading.kind = kind;
    heading.text = text;
    heading.page = m_pageRecords.size(); // the open page
    heading.position = position;
    m_headings.append(heading);
}

void Typesetter::generate(const PageStyle &style, const DocumentLines &lines, bool previewOnly) {
    m_style = style.bounded();
    m_metrics = std::make_unique<Metrics>(m_style);
    m_lines += lines;
    const Task task = previewOnly ? Task::Preview : Task::Typeset;
    const int total = previewOnly ? 0 : lines.size();
    emit progressUpdate(task, Progress::Started, 0, total);
    if (m_style.notation == PageStyle::Notation::Jianpu) {
        generateJianpu(lines, previewOnly);
        emit progressUpdate(task, Progress::Finished, total, total);
        return;
    }

    PageCanvas painter;
    newPage(painter);
    m_pageTitle = exportTitle;
    m_pageDescription = exportTitle;
    const bool startsWithTitle = !lines.isEmpty() && lines.first().kind == LineKind::Title;
    newColumn(painter, startsWithTitle ? m_style.titleWidth : m_style.colWidth);

    bool hasPrev = false;
    LineKind prevKind = LineKind::Other;
    int handled = 0;
    // Sung characters of the lines before this one, counted as the render
    // model counts them to pair characters with score lines.
    int sungBefore = 0;
    for (int i = 0; i < lines.size(); ++i) {
        if (previewOnly && openPageCount() > 1) {
            break;
        }
        const DocumentLine &line = lines.at(i);
        layoutLine(painter, line, i, sungBefore, hasPrev && prevKind == LineKind::Lyric);
        if (!isDirectiveLine(line.text)) {
            sungBefore += sungCharCount(line.text);
        }
        prevKind = line.kind;
        hasPrev = true;
        ++handled;
        emit progressUpdate(task, Progress::Advanced, i, total);
    }
    finishPage(painter);
    emit progressUpdate(task, Progress::Finished, handled, total);
}

void Typesetter::layoutLine(PageCanvas &painter, const DocumentLine &line, int index,
                            int sungBefore, bool afterLyric) {
    static const QRegularExpression quPaiName(QStringLiteral("【.+?】"));
    switch (line.kind) {
    case LineKind::Title:
        m_documentTitle = titleText(line.text);
        setPageTitle(m_documentTitle);
        layoutTitle(painter, line.text);
        break;
    case LineKind::JiaBai:
        layoutJiaBai(painter, line.text);
        break;
    case LineKind::LianBai:
        if (afterLyric) {
            m_cursorY += m_scoreOverhang;
        }
        layoutLianBai(painter, line.text);
        break;
    case LineKind::QuPai:
        if (m_documentTitle.isEmpty()) {
            m_documentTitle = sungText(quPaiName.match(line.text).captured(0));
            setPageTitle(m_documentTitle);
        }
        layoutQuPai(painter, line.text);
        break;
    case LineKind::PageBreak:
        finishPage(painter);
        newPage(painter);
        newColumn(painter, m_style.colWidth);
        break;
    case LineKind::LineBreak:
        newColumn(painter, m_style.colWidth);
        break;
    case LineKind::Lyric:
        layoutLyricLine(painter, line.text, line.scores, index,
                        isDirectiveLine(line.text) ? -1 : sungBefore);
        break;
    case LineKind::Comment:
    case LineKind::Other:
    case LineKind::Punctuation:
        break;
    }
}

void Typesetter::generateJianpu(const DocumentLines &lines, bool previewOnly) {
    PageCanvas painter;
    JianpuPages pages(*this, painter);
    pages.set(JianpuNotation::build(lines, m_style.jianpu), previewOnly);
}

void Typesetter::newColumn(PageCanvas &painter, int width) {
    if (width <= 0) {
        width = m_style.colWidth;
    }
    m_cursorX -= width;
    m_cursorY = 0;
    const int availW = availableSize().width();
    // A column at least as wide as the printable width stays where it is:
    // it would not fit on a fresh page either.
    if (m_cursorX < -availW && width < availW) {
        const QFont font = painter.font();
        const QPen pen = painter.pen();
        const QBrush brush = painter.brush();
        finishPage(painter);
        newPage(painter);
        newColumn(painter, width);
        painter.setFont(font);
        painter.setPen(pen);
        painter.setBrush(brush);
    }
}

void Typesetter::layoutTitle(PageCanvas &painter, const QString &text) {
    if (text.isEmpty()) {
        return;
    }
    painter.setFont(pageFont(m_style.titleFont));
    painter.setPen(m_style.titleColor);
    const QStringList chars = splitCharacters(body(text));
    const int H = m_metrics->title.height();
    const int n = chars.size();
    const int availH = availableSize().height();
    const int titleWidth = m_style.titleWidth;
    if (m_cursorY > 0) {
        newColumn(painter, titleWidth);
    }
    switch (m_style.titlePos) {
    case 1:
        m_cursorY = (availH - H * n) / 2;
        break;
    case 2:
        m_cursorY = availH - H * n;
        break;
    default:
        m_cursorY = 0;
        break;
    }
    if (!chars.isEmpty()) {
        recordHeading(Heading::Kind::Title, body(text),
                      m_pageOrigin + QPointF(m_cursorX, m_cursorY));
    }
    for (const QString &c : chars) {
        painter.drawText(QRect(m_cursorX, m_cursorY, titleWidth, H), Qt::AlignCenter,
                         verticalForm(c));
        m_cursorY += H;
    }
    // Whatever follows a title starts a new column.
    m_cursorY = availH;
}

void Typesetter::layoutQuPai(PageCanvas &painter, const QString &text) {
    static const QRegularExpression namePattern(QStringLiteral("【.+?】"));
    static const QRegularExpression modePattern(QStringLiteral("[（(].+?[)）]"));
    QStringList q = splitCharacters(namePattern.match(text).captured(0));
    QStringList d = splitCharacters(modePattern.match(text).captured(0));
    for (QString &c : q) {
        c = verticalForm(c);
    }
    for (QString &c : d) {
        c = verticalForm(c);
    }
    auto heights = [](const QStringList &chars, const QFontMetrics &fm) {
        QList<int> out;
        for (const QString &c : chars) {
            out.append(isPunctuationCharacter(c) ? fm.boundingRect(c).height() : fm.height());
        }
        return out;
    };
    const QFontMetrics &qfm = m_metrics->quPai;
    const QFontMetrics &dfm = m_metrics->diaoMing;
    const QList<int> qh = heights(q, qfm);
    const QList<int> dh = heights(d, dfm);
    int Hq = 0;
    int Hd = 0;
    for (int h : qh) {
        Hq += h;
    }
    for (int h : dh) {
        Hd += h;
    }

    const int availH = availableSize().height();
    int y0 = m_cursorY;
    if (y0 + Hq > availH || y0 + Hd > availH) {
        newColumn(painter, m_style.colWidth);
        y0 = m_cursorY;
    }
    const int x0 = m_cursorX;
    if (!q.isEmpty() || !d.isEmpty()) {
        recordHeading(Heading::Kind::QuPai, text.trimmed(), m_pageOrigin + QPointF(x0, y0));
    }
    painter.setFont(pageFont(m_style.quPaiFont));
    painter.setPen(m_style.quPaiColor);
    const int qw = PageStyle::characterCellWidth(qfm);
    for (int i = 0; i < q.size(); ++i) {
        painter.drawText(QRect(m_cursorX, m_cursorY, qw, qh.at(i)), Qt::AlignCenter, q.at(i));
        m_cursorY += qh.at(i);
    }
    // The mode name is centred against the tune name only when that is taller.
    m_cursorY = Hq - Hd >= 2 ? y0 + (Hq - Hd) / 2 : y0;
    m_cursorX = x0 + qw + 10;
    painter.setFont(pageFont(m_style.diaoMingFont));
    painter.setPen(m_style.diaoMingColor);
    const int dw = PageStyle::characterCellWidth(dfm);
    for (int i = 0; i < d.size(); ++i) {
        painter.drawText(QRect(m_cursorX, m_cursorY, dw, dh.at(i)), Qt::AlignCenter, d.at(i));
        m_cursorY += dh.at(i);
    }
    m_cursorX = x0;
    m_cursorY = y0 + std::max(Hq, Hd);
}

void Typesetter::layoutJiaBai(PageCanvas &painter, const QString &text) {
    const QStringList chars = splitCharacters(body(text));
    if (chars.isEmpty()) {
        return;
    }
    m_cursorY += m_style.lyricSpace;
    painter.setFont(pageFont(m_style.jiaBaiFont));
    painter.setPen(m_style.jiaBaiColor);
    const QFontMetrics &fm = m_metrics->jiaBai;
    const int A = PageStyle::characterCellWidth(fm);
    const int availH = availableSize().height();
    for (const QString &c : chars) {
        const QString v = verticalForm(c);
        const int h = cellHeight(v, fm, false);
        if (h < 0) {
            continue;
        }
        if (m_cursorY + h > availH) {
            newColumn(painter, m_style.colWidth);
        }
        drawInCell(painter, v, fm, false, A, h, Qt::AlignCenter);
        m_cursorY += h;
    }
}

int Typesetter::lianBaiBlockHeight(const QStringList &chars, int &n) const {
    const QFontMetrics &fm = m_metrics->lianBai;
    const bool hidden = m_style.hiddenSymbol;
    QList<int> heights;
    heights.reserve(chars.size());
    int total = 0;
    for (const QString &c : chars) {
        int h = fm.height();
        if (isPunctuationCharacter(c)) {
            h = hidden ? 0 : fm.tightBoundingRect(verticalForm(c)).height();
        }
        heights.append(h);
        total += h;
    }
    if (n == 1) {
        return total;
    }
    const int target = total / n;
    int best = 0, last = 0, count = 0, sum = 0;
    for (int i = 0; i < chars.size(); ++i) {
        if (hidden && isPunctuationCharacter(chars.at(i))) {
            continue;
        }
        sum += heights.at(i);
        if (sum >= target) {
            last = sum;
            best = std::max(best, sum);
            ++count;
            sum = 0;
        }
    }
    // The remainder is another sub-column only when it would not fit under the last one.
    if (last + sum > best) {
        ++count;
        best = std::max(best, sum);
    }
    n = std::min(n, count);
    return best;
}

void Typesetter::layoutLianBai(PageCanvas &painter, const QString &text) {
    const QStringList chars = splitCharacters(body(text));
    if (chars.isEmpty()) {
        return;
    }
    const QFontMetrics &fm = m_metrics->lianBai;
    const int availH = availableSize().height();
    const int colWidth = m_style.colWidth;
    const int mColWidth = m_style.mColWidth;
    m_cursorY += m_style.lyricSpace;
    if (m_cursorY + fm.height() > availH) {
        newColumn(painter, colWidth);
    }
    const int maxN = std::max(1, colWidth / mColWidth);
    int n = std::min(maxN, int(chars.size()));
    int u = lianBaiBlockHeight(chars, n);
    int top = m_cursorY;
    int bottom = std::min(availH, top + u);
    int x0 = m_cursorX;
    m_cursorX = x0 + mColWidth * (n - 1); // sub-columns fill from the right

    painter.setFont(pageFont(m_style.lianBaiFont));
    painter.setPen(m_style.lianBaiColor);
    for (int i = 0; i < chars.size(); ++i) {
        const QString v = verticalForm(chars.at(i));
        const int h = cellHeight(v, fm, true);
        if (h < 0) {
            continue;
        }
        if (m_cursorY + h > bottom) {
            m_cursorX -= mColWidth;
            m_cursorY = top;
            if (m_cursorX < x0) {
                // Every sub-column is full: balance the rest in a new column.
                m_cursorX = x0;
                newColumn(painter, colWidth);
                top = m_cursorY;
                x0 = m_cursorX;
                const QStringList rest = chars.mid(i);
                n = std::min(maxN, int(rest.size()));
                u = lianBaiBlockHeight(rest, n);
                bottom = std::min(availH, top + u);
                m_cursorX = x0 + mColWidth * (n - 1);
            }
        }
        drawInCell(painter, v, fm, true, mColWidth, h, Qt::AlignLeft | Qt::AlignVCenter);
        m_cursorY += h;
    }
    m_cursorX = x0;
    m_cursorY = bottom;
}

void Typesetter::layoutLyricLine(PageCanvas &painter, const QString &text,
                                 const QStringList &scores, int lineIndex, int firstSung) {
    if (text.isEmpty()) {
        return;
    }
    painter.setFont(pageFont(m_style.lyricFont));
    painter.setPen(m_style.lyricColor);
    const QFontMetrics &fm = m_metrics->lyric;
    const int A = PageStyle::characterCellWidth(fm);
    const int availH = availableSize().height();
    const int lyricSpace = m_style.lyricSpace;
    int lowest = m_cursorY;
    int sung = firstSung; // the index of the next sung character, -1 when not counted
    int position = 0;     // of the character in text, in UTF-16 units
    // scores has one entry per character, a surrogate pair being one character.
    const QStringList chars = splitCharacters(text);
    for (int i = 0; i < chars.size(); ++i) {
        const int at = position;
        position += chars.at(i).size();
        const QString v = verticalForm(chars.at(i));
        const QString score = i < scores.size() ? scores.at(i) : QString();
        const int h = cellHeight(v, fm, true);
        if (h < 0) {
            continue;
        }
        if (!isSentencePunctuation(v)) {
            m_cursorY += lyricSpace;
        }
        int e = scoreExtent(score);
        if ((m_style.lineBreakScoreOverflow && m_cursorY + e > availH) || m_cursorY + h > availH) {
            newColumn(painter, m_style.colWidth);
            lowest = m_cursorY;
        }
        // A score longer than a whole column (a long melisma) goes on at the
        // top of the next columns, the lyric after it.
        QStringList parts{score};
        if (m_style.lineBreakScoreOverflow && m_cursorY + e > availH) {
            parts = overflowParts(score);
            e = scoreExtent(parts.first());
        }
        drawInCell(painter, v, fm, true, A, h, Qt::AlignCenter);
        if (isSungCharacter(v)) {
            setCharacterScore(painter, parts, QRect(m_cursorX, m_cursorY, A, h), lineIndex, at,
                              sung);
            if (parts.size() > 1) {
                // The next character comes after the last part's last symbol.
                lowest = m_cursorY + h;
                e = h;
            }
        }
        lowest = std::max(lowest, m_cursorY + std::max(e, h));
        m_cursorY += h;
    }
    m_scoreOverhang = lowest - m_cursorY;
}

QStringList Typesetter::overflowParts(const QString &score) const {
    const QFontMetrics &fm = m_metrics->lyric;
    // The columns the parts go to, as newColumn() will make them.
    int x = m_cursorX;
    const int availW = availableSize().width();
    QStringList parts = scoreParts(score, [&](int k) {
        if (k == 0) {
            return scoreRoom(x, m_cursorY);
        }
        x -= m_style.colWidth;
        if (x < -availW && m_style.colWidth < availW) {
            x = -m_style.colWidth;
        }
        return scoreRoom(x, -(fm.height() * 3) / 5);
    });
    if (parts.isEmpty()) { // no room at all (a scheme of zero sizes): one part
        parts = QStringList{score};
    }
    return parts;
}

void Typesetter::setCharacterScore(PageCanvas &painter, const QStringList &parts, const QRect &cell,
                                   int lineIndex, int at, int &sung) {
    if (sung >= 0) {
        SourceArea area;
        area.kind = SourceArea::Character;
        area.page = m_pageRecords.size();
        area.rect = QRectF(cell).translated(m_pageOrigin);
        area.character = sung++;
        area.lyricLine = lineIndex;
        area.position = at;
        m_openAreas.append(area);
        drawScore(painter, parts.first(), &area);
    } else {
        drawScore(painter, parts.first(), nullptr);
    }
    const int h = cell.height();
    int symbol = parts.first().size() / 2;
    for (int k = 1; k < parts.size(); ++k) {
        newColumn(painter, m_style.colWidth);
        // The part's symbols begin where the character's would.
        m_cursorY = -m_metrics->lyric.height() * 3 / 5;
        SourceArea area;
        area.kind = SourceArea::Character;
        area.page = m_pageRecords.size();
        area.character = sung - 1;
        area.lyricLine = lineIndex;
        area.position = at;
        drawScore(painter, parts.at(k), sung >= 0 ? &area : nullptr, symbol);
        symbol += parts.at(k).size() / 2;
        m_cursorY += scoreExtent(parts.at(k)) - h;
    }
}

int Typesetter::cellHeight(const QString &v, const QFontMetrics &fm, bool tight) const {
    if (!isPunctuationCharacter(v)) {
        return fm.height();
    }
    if (m_style.hiddenSymbol) {
        return -1;
    }
    return tight ? fm.tightBoundingRect(v).height() : fm.boundingRect(v).height();
}

void Typesetter::drawInCell(PageCanvas &painter, const QString &v, const QFontMetrics &fm,
                            bool tight, int width, int h, Qt::Alignment align) {
    if (isSentencePunctuation(v)) {
        const int inkWidth = tight ? fm.tightBoundingRect(v).width() : fm.boundingRect(v).width();
        painter.drawText(QRect(m_cursorX + width / 2, m_cursorY, inkWidth, h),
                         Qt::AlignLeft | Qt::AlignBottom, v);
    } else {
        painter.drawText(QRect(m_cursorX, m_cursorY, width, h), align, v);
    }
}

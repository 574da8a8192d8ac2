// The page list of pages drawn elsewhere: the staff edition's SVG pages.
#include "model/linegrammar.h"
#include "typeset/typesetter.h"

#include <QFontMetricsF>
#include <cmath>

void Typesetter::setDrawnPages(const PageStyle &style, const DocumentLines &lines,
                               const QVector<DrawnPage> &pages) {
    reset();
    m_style = style.bounded();
    m_metrics = std::make_unique<Metrics>(m_style);
    m_lines = lines;
    for (const DocumentLine &line : lines) {
        if (line.kind == LineKind::Title) {
            m_documentTitle = titleText(line.text);
            break;
        }
    }

    const int total = pages.size();
    emit progressUpdate(Task::Typeset, Progress::Started, 0, total);
    // The page number in the font and colour of the 简谱 pages', centred at
    // the foot; in the bottom margin, since LilyPond fills the printable area.
    QFont numberFont = pageFont(m_style.jianpu.noteFont);
    const int em = std::max(1, numberFont.pixelSize());
    numberFont.setPixelSize(std::max(1, int(std::lround(em * 0.6))));
    const QFontMetricsF numberMetrics(numberFont);

    PageCanvas painter;
    for (int i = 0; i < total; ++i) {
        const DrawnPage &page = pages.at(i);
        newPage(painter);
        m_pageTitle =
            m_documentTitle.isEmpty() ? QStringLiteral("Qorvel工尺谱导出曲谱") : m_documentTitle;
        m_pageDescription = m_pageTitle;
        // From the top-left corner of the page.
        painter.translate(-m_pageOrigin.x(), -m_pageOrigin.y());
        if (!page.svg.isEmpty()) {
            painter.drawSvg(page.svg, QRectF(QPointF(0, 0), QSizeF(m_pageSize)));
        }
        if (!page.canvas.isEmpty()) {
            painter.drawCanvas(page.canvas);
        }

        if (m_style.pageNumbers) {
            const QSize avail = availableSize();
            const QString number = QString::number(i + 1);
            painter.setFont(numberFont);
            painter.setPen(m_style.lyricColor);
            const qreal foot = m_style.marginTop + avail.height();
            const qreal baseline =
                m_style.marginBottom >= numberMetrics.height()
                    ? foot + (m_style.marginBottom + numberMetrics.capHeight()) / 2
                    : foot - numberMetrics.descent();
            painter.drawText(
                QPointF(m_style.marginLeft +
                            (avail.width() - numberMetrics.horizontalAdvance(number)) / 2,
                        baseline),
                number);
        }

        for (SourceArea area : page.areas) {
            area.page = m_pageRecords.size();
            m_openAreas.append(area);
        }
        for (const Heading &heading : page.headings) {
            recordHeading(heading.kind, heading.text, heading.position);
            if (m_documentTitle.isEmpty() && heading.kind == Heading::Kind::Title) {
                m_documentTitle = heading.text;
            }
        }
        finishPage(painter);
        emit progressUpdate(Task::Typeset, Progress::Advanced, i, total);
    }
    emit progressUpdate(Task::Typeset, Progress::Finished, total, total);
}

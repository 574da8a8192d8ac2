#include "shell/pagestrip.h"

#include "typeset/typesetter.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace {
constexpr int gap = 16; // around and between the pages, in pixels
} // namespace

PageStrip::PageStrip(QWidget *parent)
    : QAbstractScrollArea(parent) {
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void PageStrip::setTypesetter(const Typesetter *typesetter) {
    m_typesetter = typesetter;
    updateScrollBar();
    viewport()->update();
}

int PageStrip::pageCount() const {
    return m_typesetter ? m_typesetter->pages().size() : 0;
}

int PageStrip::pageWidth() const {
    return std::max(1, viewport()->width() - 2 * gap);
}

int PageStrip::pageHeight() const {
    if (!m_typesetter) {
        return 1;
    }
    const QSize size = m_typesetter->pageSize();
    return std::max(
        1, int(qint64(pageWidth()) * std::max(1, size.height()) / std::max(1, size.width())));
}

int PageStrip::currentPage() const {
    if (pageCount() == 0) {
        return -1;
    }
    const int middle = verticalScrollBar()->value() + viewport()->height() / 2;
    return std::clamp(middle / (pageHeight() + gap), 0, pageCount() - 1);
}

void PageStrip::showPage(int index) {
    verticalScrollBar()->setValue(std::clamp(index, 0, std::max(0, pageCount() - 1)) *
                                  (pageHeight() + gap));
}

void PageStrip::updateScrollBar() {
    const int total = pageCount() * (pageHeight() + gap) + gap;
    verticalScrollBar()->setRange(0, std::max(0, total - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(std::max(1, pageHeight() / 20));
    const int current = currentPage();
    if (current != m_lastCurrent) {
        m_lastCurrent = current;
        emit currentPageChanged(current);
    }
}

void PageStrip::resizeEvent(QResizeEvent *event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void PageStrip::scrollContentsBy(int, int) {
    viewport()->update();
    const int current = currentPage();
    if (current != m_lastCurrent) {
        m_lastCurrent = current;
        emit currentPageChanged(current);
    }
}

void PageStrip::paintEvent(QPaintEvent *event) {
    QPainter painter(viewport());
    if (!m_typesetter) {
        return;
    }
    const int w = pageWidth();
    const int h = pageHeight();
    const int top = verticalScrollBar()->value();
    const qreal scale = qreal(w) / std::max(1, m_typesetter->pageSize().width());
    const int first = std::max(0, (top + event->rect().top() - gap) / (h + gap));
    const int last = std::min(pageCount() - 1, (top + event->rect().bottom()) / (h + gap));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (int i = first; i <= last; ++i) {
        const QRect page(gap, gap + i * (h + gap) - top, w, h);
        painter.fillRect(page, Qt::white);
        painter.save();
        painter.setClipRect(page);
        painter.translate(page.topLeft());
        painter.scale(scale, scale);
        m_typesetter->paintPage(painter, i);
        painter.restore();
    }
}

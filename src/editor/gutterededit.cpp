#include "editor/gutterededit.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

const QColor GutteredEdit::playingColor(255, 140, 0, 90);

void GutteredEdit::setPlayingMarks(const QVector<QPair<int, int>> &ranges) {
    if (ranges == m_playingMarks) {
        return;
    }
    m_playingMarks = ranges;
    if (!ranges.isEmpty()) {
        const QVector<QRect> boxes = rangeRects(ranges.first().first, ranges.first().second);
        const QRect visible = viewport()->rect();
        if (!boxes.isEmpty() && !visible.contains(boxes.first())) {
            // Scrolled so that the line sits a third of the way down.
            const QTextBlock block = document()->findBlock(ranges.first().first);
            const int lines = visible.height() / std::max(1, fontMetrics().height());
            verticalScrollBar()->setValue(std::max(0, block.blockNumber() - lines / 3));
        }
    }
    viewport()->update();
}

QVector<QRect> GutteredEdit::rangeRects(int first, int second) const {
    QVector<QRect> boxes;
    QTextCursor c(document());
    const int end = std::min(second, document()->characterCount() - 1);
    if (first < 0 || first >= end) {
        return boxes;
    }
    c.setPosition(first);
    QRect box = cursorRect(c);
    for (int p = first + 1; p <= end; ++p) {
        c.setPosition(p);
        const QRect r = cursorRect(c);
        if (r.top() != box.top()) { // a new visual line
            boxes.append(box);
            box = r;
        } else {
            box = box.united(r);
        }
    }
    boxes.append(box);
    return boxes;
}

void GutteredEdit::paintEvent(QPaintEvent *event) {
    QPlainTextEdit::paintEvent(event);
    if (m_playingMarks.isEmpty()) {
        return;
    }
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(playingColor.darker(130), 1.5));
    painter.setBrush(playingColor);
    for (const auto &range : m_playingMarks) {
        for (const QRect &box : rangeRects(range.first, range.second)) {
            painter.drawRoundedRect(QRectF(box).adjusted(-1.5, 0.5, 1.5, -0.5), 3, 3);
        }
    }
}

void GutteredEdit::paintGutterLabels(QWidget *gutter, QPaintEvent *event, int width,
                                     const QColor &pen, const QColor &background,
                                     const QFont &font) {
    QPainter painter(gutter);
    painter.setPen(pen);
    painter.setBrush(background);
    painter.setFont(font);
    painter.fillRect(event->rect(), background);

    const int lineHeight = QFontMetrics(this->font()).height();
    QTextBlock block = firstVisibleBlock();
    int top = int(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + int(blockBoundingRect(block).height());
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.drawText(QRect(0, top, width, lineHeight), Qt::AlignHCenter | Qt::AlignVCenter,
                             gutterLabel(block.blockNumber()));
        }
        block = block.next();
        top = bottom;
        bottom = top + int(blockBoundingRect(block).height());
    }
}

void GutteredEdit::placeGutter(QWidget *gutter, int width) {
    const QRect cr = contentsRect();
    gutter->setGeometry(QRect(cr.left(), cr.top(), width, cr.height()));
}

#include "editor/gutterededit.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>

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

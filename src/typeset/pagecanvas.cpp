#include "typeset/pagecanvas.h"

#include "typeset/svgpagetext.h"

#include <memory>

void PageCanvas::clear() {
    m_state = State();
    m_saved.clear();
    m_ops.clear();
}

void PageCanvas::setFont(const QFont &font) {
    m_state.font = font;
    m_ops.append([font](QPainter &p, bool) { p.setFont(font); });
}

void PageCanvas::setPen(const QColor &color) {
    m_state.pen = QPen(color.isValid() ? color : QColor(Qt::black));
    m_ops.append([color](QPainter &p, bool) { p.setPen(color); });
}

void PageCanvas::setPen(const QPen &pen) {
    m_state.pen = pen;
    m_ops.append([pen](QPainter &p, bool) { p.setPen(pen); });
}

void PageCanvas::setBrush(const QBrush &brush) {
    m_state.brush = brush;
    m_ops.append([brush](QPainter &p, bool) { p.setBrush(brush); });
}

void PageCanvas::setRenderHint(QPainter::RenderHint hint, bool on) {
    m_ops.append([hint, on](QPainter &p, bool) { p.setRenderHint(hint, on); });
}

void PageCanvas::save() {
    m_saved.append(m_state);
    m_ops.append([](QPainter &p, bool) { p.save(); });
}

void PageCanvas::restore() {
    if (m_saved.isEmpty()) {
        return;
    }
    m_state = m_saved.takeLast();
    m_ops.append([](QPainter &p, bool) { p.restore(); });
}

void PageCanvas::translate(qreal dx, qreal dy) {
    m_ops.append([dx, dy](QPainter &p, bool) { p.translate(dx, dy); });
}

void PageCanvas::rotate(qreal degrees) {
    m_ops.append([degrees](QPainter &p, bool) { p.rotate(degrees); });
}

QString PageCanvas::drawableText(const QString &text) {
    const auto allowed = [&text](int i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x20) {
            return c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
        }
        if (c.unicode() == 0xFFFE || c.unicode() == 0xFFFF) {
            return false;
        }
        if (c.isHighSurrogate()) {
            return i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        }
        if (c.isLowSurrogate()) {
            return i > 0 && text.at(i - 1).isHighSurrogate();
        }
        return true;
    };
    int i = 0;
    while (i < text.size() && allowed(i)) {
        ++i;
    }
    if (i == text.size()) {
        return text; // the usual case: nothing to drop, no copy
    }
    QString kept = text.left(i);
    for (; i < text.size(); ++i) {
        if (allowed(i)) {
            kept.append(text.at(i));
        }
    }
    return kept;
}

void PageCanvas::drawText(const QRectF &rect, int flags, const QString &text) {
    m_ops.append([rect, flags, text = drawableText(text)](QPainter &p, bool unclipped) {
        p.drawText(rect, unclipped ? flags | Qt::TextDontClip : flags, text);
    });
}

void PageCanvas::drawText(const QPointF &baseline, const QString &text) {
    m_ops.append(
        [baseline, text = drawableText(text)](QPainter &p, bool) { p.drawText(baseline, text); });
}

void PageCanvas::drawLine(const QLineF &line) {
    m_ops.append([line](QPainter &p, bool) { p.drawLine(line); });
}

void PageCanvas::drawPath(const QPainterPath &path) {
    m_ops.append([path](QPainter &p, bool) { p.drawPath(path); });
}

void PageCanvas::drawEllipse(const QPointF &centre, qreal rx, qreal ry) {
    m_ops.append([centre, rx, ry](QPainter &p, bool) { p.drawEllipse(centre, rx, ry); });
}

void PageCanvas::drawSvg(const QByteArray &svg, const QRectF &target) {
    // Parsed once; each play makes a renderer of its own.
    const auto page = std::make_shared<const SvgPageText>(svg);
    m_ops.append([page, target](QPainter &p, bool) { page->render(p, target); });
}

void PageCanvas::drawCanvas(const PageCanvas &canvas) {
    m_ops.append([canvas](QPainter &p, bool unclipped) { canvas.play(p, unclipped); });
}

void PageCanvas::play(QPainter &painter, bool unclippedText) const {
    painter.save();
    for (const auto &op : m_ops) {
        op(painter, unclippedText);
    }
    // Unbalanced saves of the recording must not leak into the painter.
    for (int i = 0; i < m_saved.size(); ++i) {
        painter.restore();
    }
    painter.restore();
}

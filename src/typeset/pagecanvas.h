#pragma once

#include <QBrush>
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>
#include <functional>

// The drawing of one score page, kept as a display list in page units
// (points). The typesetter draws on it with the few painter calls it needs;
// play() repeats exactly those calls on any painter whose user units are
// points: the SVG generator of the page, a PDF page, a scaled image. So every
// output shows the same layout, and text stays text.
//
// Fonts given to setFont() should be sized in pixels (see Typesetter), so
// that they measure the same on every device the page is played on.
class PageCanvas {
public:
    void clear();
    bool isEmpty() const { return m_ops.isEmpty(); }
    int operationCount() const { return m_ops.size(); }

    const QFont &font() const { return m_state.font; }
    const QPen &pen() const { return m_state.pen; }
    const QBrush &brush() const { return m_state.brush; }

    void setFont(const QFont &font);
    void setPen(const QColor &color);
    void setPen(const QPen &pen);
    void setBrush(const QBrush &brush);
    void setRenderHint(QPainter::RenderHint hint, bool on = true);
    void save();
    void restore();
    void translate(qreal dx, qreal dy);
    void rotate(qreal degrees);
    void drawText(const QRectF &rect, int flags, const QString &text);
    void drawText(const QPointF &baseline, const QString &text);
    // Lines, arcs and dots of 简谱 pages, with the current pen and brush.
    void drawLine(const QLineF &line);
    void drawPath(const QPainterPath &path);
    void drawEllipse(const QPointF &centre, qreal rx, qreal ry);
    // An SVG document drawn to fill target (a page engraved elsewhere), its
    // text as text (see SvgPageText). Pages may be played on several threads
    // at once: each play draws with a renderer of its own.
    void drawSvg(const QByteArray &svg, const QRectF &target);
    // Another drawing played here, under the current transformation (a
    // page's drawing inside a book's page); the state is kept around it.
    void drawCanvas(const PageCanvas &canvas);

    // The text as it can be drawn: characters that have no glyph and that an
    // XML document cannot carry (C0 controls other than tab, line feed and
    // carriage return; U+FFFE, U+FFFF; unpaired surrogates) are dropped. In an
    // SVG page they would make the whole file unreadable.
    static QString drawableText(const QString &text);

    // Repeats the recorded calls on painter; its state is restored afterwards.
    // With unclippedText, text drawn into a rectangle is not cut to it.
    void play(QPainter &painter, bool unclippedText = false) const;

private:
    struct State {
        QFont font;
        QPen pen;
        QBrush brush;
    };
    State m_state;
    QVector<State> m_saved;
    QVector<std::function<void(QPainter &, bool)>> m_ops;
};

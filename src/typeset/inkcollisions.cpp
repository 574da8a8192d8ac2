#include "typeset/inkcollisions.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <climits>

namespace {

// Paints nothing; keeps the ink of every text item the painter lays out, at
// the place and turn the painter gives it.
class InkEngine : public QPaintEngine {
public:
    InkEngine()
        : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override {}
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawPath(const QPainterPath &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    Type type() const override { return User; }

    void drawTextItem(const QPointF &origin, const QTextItem &item) override {
        // The outlines' box: the font's tight box of a glyph above the
        // baseline would reach down to the baseline.
        QPainterPath outline;
        outline.addText(origin, item.font(), item.text());
        const QRectF ink = outline.boundingRect();
        if (ink.isEmpty()) {
            return;
        }
        inks.append({item.text(), painter()->combinedTransform().map(QPolygonF(ink))});
    }

    QVector<InkCollisions::Ink> inks;
};

// A page-sized device of 72 dpi, as the SVG and PDF pages are.
class InkDevice : public QPaintDevice {
public:
    QPaintEngine *paintEngine() const override { return &engine; }
    mutable InkEngine engine;

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
        case PdmHeight:
            return 100000;
        case PdmWidthMM:
        case PdmHeightMM:
            return 100000 * 254 / 720;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 72;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return INT_MAX;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        }
        return 0;
    }
};

} // namespace

QVector<InkCollisions::Ink> InkCollisions::inksOf(const PageCanvas &canvas) {
    InkDevice device;
    QPainter painter(&device);
    canvas.play(painter, true);
    painter.end();
    return device.engine.inks;
}

double InkCollisions::area(const QPolygonF &polygon) {
    double twice = 0;
    for (int i = 0; i < polygon.size(); ++i) {
        const QPointF &u = polygon.at(i);
        const QPointF &v = polygon.at((i + 1) % polygon.size());
        twice += u.x() * v.y() - v.x() * u.y();
    }
    return qAbs(twice) / 2;
}

InkCollisions::InkCollisions(const PageCanvas &canvas)
    : m_inks(inksOf(canvas)) {
    QVector<QRectF> bounds;
    bounds.reserve(m_inks.size());
    for (const Ink &ink : qAsConst(m_inks)) {
        bounds.append(ink.polygon.boundingRect());
    }
    for (int i = 0; i < m_inks.size(); ++i) {
        for (int j = i + 1; j < m_inks.size(); ++j) {
            if (!bounds.at(i).intersects(bounds.at(j))) {
                continue;
            }
            const double shared = area(m_inks.at(i).polygon.intersected(m_inks.at(j).polygon));
            if (shared > minArea) {
                m_overlaps.append({i, j, shared});
            }
        }
    }
}

QVector<QPolygonF> InkCollisions::overlappingInks() const {
    QVector<bool> involved(m_inks.size(), false);
    for (const Overlap &o : m_overlaps) {
        involved[o.first] = involved[o.second] = true;
    }
    QVector<QPolygonF> out;
    for (int i = 0; i < m_inks.size(); ++i) {
        if (involved.at(i)) {
            out.append(m_inks.at(i).polygon);
        }
    }
    return out;
}

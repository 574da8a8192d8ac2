#pragma once

#include "typeset/pagecanvas.h"

#include <QPolygonF>
#include <QString>
#include <QVector>

// Where ink of a page lies on other ink. Every text drawn on a page canvas is
// played through a recording device that notes where its glyphs' ink falls:
// the bounding box of their outlines, turned with the text (gongche scores
// run at an angle), in page units (points). Two inks overlap when they share
// more than a sliver of area; touching edges and antialiasing do not count.
// Narrow columns, large fonts or negative spacings make such overprinting.
class InkCollisions {
public:
    struct Ink {
        QString text;
        QPolygonF polygon;
    };
    struct Overlap {
        int first = 0; // indexes into inks(), first < second
        int second = 0;
        double area = 0; // shared, in square points
    };

    // The least shared area, in square points, that counts as an overlap.
    static constexpr double minArea = 0.5;

    explicit InkCollisions(const PageCanvas &canvas);

    const QVector<Ink> &inks() const { return m_inks; }
    const QVector<Overlap> &overlaps() const { return m_overlaps; }
    // The polygons of the inks that overlap another, each once, in drawing order.
    QVector<QPolygonF> overlappingInks() const;

    // The inks of every text drawn on canvas, in drawing order.
    static QVector<Ink> inksOf(const PageCanvas &canvas);
    // The area of a simple polygon.
    static double area(const QPolygonF &polygon);

private:
    QVector<Ink> m_inks;
    QVector<Overlap> m_overlaps;
};

#pragma once

#include "typeset/sourcearea.h"

#include <QPointF>
#include <QVector>

// Finds what a click on a page points at: the score symbol or the sung
// character whose area holds the point (a symbol before the character it
// belongs to, the smaller of two areas before the larger), or else the
// nearest area within reach. No widgets.
class SourcePicker {
public:
    // Points, around an area, that still count as on it.
    static constexpr double reach = 6;

    // The area of `areas` at point (page units); false when none is in reach.
    static bool pick(const QVector<SourceArea> &areas, const QPointF &point, SourceArea *found);
};

#include "typeset/sourcepicker.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// How far point lies outside rect; 0 inside.
double distance(const QRectF &rect, const QPointF &point) {
    const double dx = std::max({rect.left() - point.x(), 0.0, point.x() - rect.right()});
    const double dy = std::max({rect.top() - point.y(), 0.0, point.y() - rect.bottom()});
    return std::hypot(dx, dy);
}

} // namespace

bool SourcePicker::pick(const QVector<SourceArea> &areas, const QPointF &point, SourceArea *found) {
    const SourceArea *best = nullptr;
    double bestDistance = std::numeric_limits<double>::max();
    double bestSize = std::numeric_limits<double>::max();
    for (const SourceArea &a : areas) {
        const double d = distance(a.rect, point);
        if (d > reach) {
            continue;
        }
        // Inside beats near; among those inside, the smaller area wins, so a
        // symbol beside its character is found rather than the character's
        // outline around both.
        const double size = a.rect.width() * a.rect.height();
        if (d < bestDistance - 1e-9 || (std::abs(d - bestDistance) <= 1e-9 && size < bestSize)) {
            best = &a;
            bestDistance = d;
            bestSize = size;
        }
    }
    if (!best) {
        return false;
    }
    *found = *best;
    return true;
}

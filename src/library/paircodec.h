#pragma once

#include <QByteArray>
#include <QPair>
#include <QVector>

// Lists of (line, column) places as the index stores them: each pair as the
// change of line from the pair before and the column, both as zigzag
// varints. Places in document order take about two bytes each.
class PairCodec {
public:
    static QByteArray encode(const QVector<QPair<int, int>> &pairs);
    // The pairs of bytes; bytes cut short give the pairs before the cut.
    static QVector<QPair<int, int>> decode(const QByteArray &bytes);
};

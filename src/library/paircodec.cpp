#include "library/paircodec.h"

namespace {

void put(QByteArray *out, int value) {
    quint32 v = (quint32(value) << 1) ^ quint32(value >> 31); // zigzag
    while (v >= 0x80) {
        out->append(char(v | 0x80));
        v >>= 7;
    }
    out->append(char(v));
}

bool get(const QByteArray &bytes, int *at, int *value) {
    quint32 v = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (*at >= bytes.size()) {
            return false;
        }
        const quint8 b = quint8(bytes.at((*at)++));
        v |= quint32(b & 0x7F) << shift;
        if (!(b & 0x80)) {
            *value = int(v >> 1) ^ -int(v & 1);
            return true;
        }
    }
    return false;
}

} // namespace

QByteArray PairCodec::encode(const QVector<QPair<int, int>> &pairs) {
    QByteArray out;
    out.reserve(pairs.size() * 2);
    int line = 0;
    for (const auto &p : pairs) {
        put(&out, p.first - line);
        put(&out, p.second);
        line = p.first;
    }
    // Never a null array: the column is NOT NULL.
    return out.isNull() ? QByteArray("") : out;
}

QVector<QPair<int, int>> PairCodec::decode(const QByteArray &bytes) {
    QVector<QPair<int, int>> pairs;
    int at = 0, line = 0;
    while (at < bytes.size()) {
        int delta = 0, column = 0;
        if (!get(bytes, &at, &delta) || !get(bytes, &at, &column)) {
            break;
        }
        line += delta;
        pairs.append({line, column});
    }
    return pairs;
}

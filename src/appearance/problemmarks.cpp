#include "appearance/problemmarks.h"

#include <algorithm>

QColor ProblemMarks::colorOf(music::Problem::Severity severity) {
    switch (severity) {
    case music::Problem::Severity::Error:
        return QColor(0xe0, 0x20, 0x20);
    case music::Problem::Severity::Warning:
        return QColor(0xf0, 0x90, 0x00);
    case music::Problem::Severity::Information:
        break;
    }
    return QColor(0x40, 0x80, 0xf0);
}

QVector<QTextLayout::FormatRange> ProblemMarks::of(const QVector<music::Problem> &problems,
                                                   int textLength) {
    QVector<QTextLayout::FormatRange> out;
    for (const music::Problem &p : problems) {
        if (p.severity == music::Problem::Severity::Information) {
            continue;
        }
        QTextLayout::FormatRange r;
        r.start = std::clamp(p.place.column, 0, textLength);
        r.length = p.place.length > 0 ? std::min(p.place.length, textLength - r.start)
                                      : textLength - r.start;
        if (r.length <= 0) {
            // A line with nothing on it: mark where it is.
            continue;
        }
        r.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        r.format.setUnderlineColor(colorOf(p.severity));
        out.append(r);
    }
    return out;
}

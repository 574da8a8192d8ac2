#pragma once

#include "music/melody.h"

#include <QSyntaxHighlighter>
#include <QTextLayout>
#include <QVector>
#include <functional>

// The wavy underlines of the problems the checker found on one line, for a
// highlighter to lay over its own formats: red for errors, orange for
// warnings; information is only listed, never underlined.
class ProblemMarks {
public:
    using Source = std::function<QVector<music::Problem>(int line)>;

    static QVector<QTextLayout::FormatRange> of(const QVector<music::Problem> &problems,
                                                int textLength);
    static QColor colorOf(music::Problem::Severity severity);
};

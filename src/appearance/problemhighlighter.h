#pragma once

#include "appearance/problemmarks.h"

#include <QSyntaxHighlighter>

// A highlighter that lays the 板眼 checker's wavy underlines over the formats
// of its own rules: its highlightBlock colours the line, then calls
// markProblems().
class ProblemHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

    // Where the problems of a line come from (the 板眼 checker).
    void setProblemSource(ProblemMarks::Source source) { m_problems = std::move(source); }

protected:
    void markProblems(const QString &text);

private:
    ProblemMarks::Source m_problems;
};

#pragma once

#include "appearance/problemmarks.h"

#include <QSyntaxHighlighter>

// Marks what a score line should not hold in the error colour: every
// character that is neither a gongche symbol nor white space, such as an
// ordinary character that could not be turned into a symbol. Underlines the
// problems the 板眼 checker found.
class ScoreHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

public:
    explicit ScoreHighlighter(QTextDocument *document);
    // Where the problems of a score line come from (the 板眼 checker).
    void setProblemSource(ProblemMarks::Source source) { m_problems = std::move(source); }

protected:
    void highlightBlock(const QString &text) override;

private:
    ProblemMarks::Source m_problems;
};

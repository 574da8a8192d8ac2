#pragma once

#include "appearance/problemhighlighter.h"

#include <QSyntaxHighlighter>

// Marks what a score line should not hold in the error colour: every
// character that is neither a gongche symbol nor white space, such as an
// ordinary character that could not be turned into a symbol. Underlines the
// problems the 板眼 checker found.
class ScoreHighlighter : public ProblemHighlighter {
    Q_OBJECT

public:
    explicit ScoreHighlighter(QTextDocument *document);

protected:
    void highlightBlock(const QString &text) override;
};

#pragma once

#include <QSyntaxHighlighter>

// Marks what a score line should not hold in the error colour: every
// character that is neither a gongche symbol nor white space, such as an
// ordinary character that could not be turned into a symbol.
class ScoreHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

public:
    explicit ScoreHighlighter(QTextDocument *document);

protected:
    void highlightBlock(const QString &text) override;
};

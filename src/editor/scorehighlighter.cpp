#include "editor/scorehighlighter.h"

#include "editor/inputmethod.h"
#include "model/ordinarygongche.h"

ScoreHighlighter::ScoreHighlighter(QTextDocument *document)
    : ProblemHighlighter(document) {}

void ScoreHighlighter::highlightBlock(const QString &text) {
    QTextCharFormat error;
    error.setForeground(InputMethod::invalidColor);
    for (int i = 0; i < text.size(); ++i) {
        if (!OrdinaryGongche::isScoreCharacter(text, i)) {
            setFormat(i, 1, error);
        }
    }
    markProblems(text);
}

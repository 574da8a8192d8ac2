#include "editor/scorehighlighter.h"

#include "inputmethod/inputmethod.h"
#include "model/ordinarygongche.h"

ScoreHighlighter::ScoreHighlighter(QTextDocument *document)
    : QSyntaxHighlighter(document) {}

void ScoreHighlighter::highlightBlock(const QString &text) {
    QTextCharFormat error;
    error.setForeground(InputMethod::invalidColor);
    for (int i = 0; i < text.size(); ++i) {
        if (!OrdinaryGongche::isScoreCharacter(text, i)) {
            setFormat(i, 1, error);
        }
    }
    if (m_problems) {
        for (const QTextLayout::FormatRange &r :
             ProblemMarks::of(m_problems(currentBlock().blockNumber()), text.size())) {
            for (int i = r.start; i < r.start + r.length; ++i) {
                QTextCharFormat f = format(i);
                f.merge(r.format);
                setFormat(i, 1, f);
            }
        }
    }
}

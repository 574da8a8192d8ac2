#include "appearance/problemhighlighter.h"

void ProblemHighlighter::markProblems(const QString &text) {
    if (!m_problems) {
        return;
    }
    for (const QTextLayout::FormatRange &r :
         ProblemMarks::of(m_problems(currentBlock().blockNumber()), text.size())) {
        for (int i = r.start; i < r.start + r.length; ++i) {
            QTextCharFormat f = format(i);
            f.merge(r.format);
            setFormat(i, 1, f);
        }
    }
}

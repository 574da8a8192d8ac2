#include "export/scoredocument.h"

#include <QStringList>

DocumentLines ScoreDocument::fromTexts(const QString &lyric, const QString &score) {
    const QStringList scoreLines = score.split(QLatin1Char('\n'));
    auto scoreLine = [&scoreLines](int i) {
        return i >= 0 && i < scoreLines.size() ? scoreLines.at(i) : QString();
    };
    DocumentLines out;
    int sungBefore = 0; // sung characters of the lines before this one
    const QStringList lines = lyric.split(QLatin1Char('\n'));
    for (const QString &text : lines) {
        DocumentLine line;
        line.text = text;
        line.kind = lineKindOf(text);
        const bool directive = isDirectiveLine(text);
        if (line.kind == LineKind::Lyric) {
            int count = sungBefore;
            for (int i = 0; i < text.size(); ++i) {
                const QChar c = text.at(i);
                if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                    line.scores.append(QString());
                    ++i;
                } else if (isSungChar(c)) {
                    if (!directive) {
                        ++count;
                    }
                    line.scores.append(scoreLine(count - 1));
                } else {
                    line.scores.append(QString());
                }
            }
        }
        if (!directive) {
            sungBefore += sungCharCount(text);
        }
        out.append(line);
    }
    return out;
}

#include "model/rendermodel.h"

#include "model/linegrammar.h"

QString normalizedText(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar &c : text) {
        switch (c.unicode()) {
        case '\r':
        case 0x2028: // line separator
        case 0x2029: // paragraph separator
        case 0xFDD0: // a text document's beginning of frame
        case 0xFDD1: // and end of frame
            c = QLatin1Char('\n');
            break;
        case 0x00A0:
            c = QLatin1Char(' ');
            break;
        default:
            break;
        }
    }
    return text;
}

QStringList editorLines(const QString &text) {
    return normalizedText(text).split(QLatin1Char('\n'));
}

DocumentLines renderModel(const QString &lyric, const QString &score) {
    return renderModel(editorLines(lyric), editorLines(score));
}

DocumentLines renderModel(const QStringList &lyricLines, const QStringList &scoreLines) {
    DocumentLines out;
    out.reserve(lyricLines.size());
    int sungBefore = 0; // sung characters of the lines before this one
    for (const QString &text : lyricLines) {
        DocumentLine line;
        line.text = text;
        line.kind = lineKindOf(text);
        const bool directive = isDirectiveLine(text);
        if (line.kind == LineKind::Lyric) {
            // On a directive line the line's own characters do not count.
            int sung = sungBefore;
            for (int i = 0; i < text.size(); ++i) {
                const QChar c = text.at(i);
                if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                    line.scores.append(QString());
                    ++i;
                } else if (isSungChar(c)) {
                    if (!directive) {
                        ++sung;
                    }
                    line.scores.append(scoreLines.value(sung - 1));
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

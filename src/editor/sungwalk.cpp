#include "editor/sungwalk.h"

#include "model/linegrammar.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVector>

int walkScoreLineAt(const QTextDocument *doc, int position) {
    position = qMax(0, position);
    int sum = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        if (b.contains(position)) {
            if (!isDirectiveLine(text)) {
                sum += sungCharCount(text.left(position - b.position()));
            }
            return sum - 1;
        }
        if (!isDirectiveLine(text)) {
            sum += sungCharCount(text);
        }
    }
    return sum - 1;
}

int walkSungCharEnd(const QTextDocument *doc, int n) {
    n = qMax(0, n);
    int total = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        if (isDirectiveLine(text)) {
            continue;
        }
        total += sungCharCount(text);
        if (total < n) {
            continue;
        }
        QVector<int> offsets;
        for (int i = 0; i < text.size(); ++i) {
            if (isSungChar(text.at(i))) {
                if (offsets.isEmpty()) {
                    offsets.append(i);
                }
                offsets.append(i + 1);
            }
        }
        if (offsets.isEmpty()) {
            return b.position();
        }
        const int k = offsets.size() - 1;
        const int i = k - qMin(k, total - n);
        return b.position() + offsets.at(i);
    }
    const QTextBlock last = doc->lastBlock();
    return last.position() + last.text().size();
}

QString walkAllSungText(const QTextDocument *doc) {
    QString out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        if (!isDirectiveLine(text)) {
            out += sungText(text);
        }
    }
    return out;
}

QString walkSungCharAt(const QTextDocument *doc, int n) {
    if (n < 1 || n > walkAllSungText(doc).size()) {
        return QString();
    }
    QTextCursor c(const_cast<QTextDocument *>(doc));
    c.setPosition(walkSungCharEnd(doc, n));
    c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    if (isDirectiveLine(c.block().text())) {
        return QString();
    }
    return c.selectedText();
}

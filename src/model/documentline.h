#pragma once

#include "model/linegrammar.h"

#include <QList>
#include <QString>
#include <QStringList>

// One lyric line as the typesetter reads it. For a Lyric line, scores holds one
// entry per character of text (a surrogate pair is one character): the paired
// score line for a sung character, the empty string otherwise. Every other
// kind has no scores.
struct DocumentLine {
    QString text;
    QStringList scores;
    LineKind kind = LineKind::Other;

    bool operator==(const DocumentLine &o) const {
        return text == o.text && scores == o.scores && kind == o.kind;
    }
};

using DocumentLines = QList<DocumentLine>;

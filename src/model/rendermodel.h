#pragma once

#include "model/documentline.h"

#include <QString>
#include <QStringList>

// The render model of a document: its lyric text and score text turned into
// DocumentLines, each sung character of a Lyric line paired with its score
// line. This is the one pairing walk of the program; the document tab, the
// command line and every other reader of the two texts go through it.

// text with every line break the editors know (CR LF, CR, LF, U+2028,
// U+2029, and the text document's frame marks U+FDD0, U+FDD1) written as LF,
// and no-break spaces as ordinary spaces: the text as the editors hold it.
QString normalizedText(QString text);

// The lines of text as the editors hold them: split at every line break of
// normalizedText. An empty text is one empty line.
QStringList editorLines(const QString &text);

// The render model: one DocumentLine per lyric line. The i-th sung character
// of the lyric text (not counting directive lines) owns score line i. In a
// Lyric line every character gets one scores entry (a surrogate pair is one
// character): for a character matching the Lyric pattern the score line of the
// last sung character up to and including it, else "". A score line that does
// not exist gives "".
DocumentLines renderModel(const QString &lyric, const QString &score);
DocumentLines renderModel(const QStringList &lyricLines, const QStringList &scoreLines);

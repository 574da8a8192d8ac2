#pragma once

#include <QString>

class QTextDocument;

// The pairing of sung characters with score lines, computed by walking the
// lyric document from its first block on every call. These are the reference
// definitions: SungIndex gives the same answers without the walk, and tests
// compare the two.

// The score line of the sung character that ends at position; -1 if none.
int walkScoreLineAt(const QTextDocument *doc, int position);

// The position just after the n-th sung character (n from 1); for n = 0 the
// start of the first sung character of the first sung line; the end of the
// document when the text has fewer than n sung characters.
int walkSungCharEnd(const QTextDocument *doc, int n);

// The n-th sung character (n from 1), or the empty string.
QString walkSungCharAt(const QTextDocument *doc, int n);

// The sung characters of every sung line, in document order.
QString walkAllSungText(const QTextDocument *doc);

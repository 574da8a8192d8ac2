#pragma once

#include "editor/fenwicktree.h"

#include <QObject>
#include <QString>
#include <vector>

class QTextBlock;
class QTextDocument;

// Keeps, for every block of a lyric document, the number of sung characters it
// owns (0 for a directive line) with prefix sums over them, so that the
// pairing of positions with score lines costs O(log n) plus the length of one
// line instead of a walk over the whole document.
//
// The index follows QTextDocument::contentsChange. A document delays that
// signal while an edit block is open, so queries made inside an open edit
// block may see the text before the block; the index notices a changed length
// or block count and rebuilds itself rather than answer from stale counts.
// The index gives the document a layout if it has none (without one the
// document emits no contentsChange). Create the index before any other receiver of contentsChange
// that may itself modify formats (such as a syntax highlighter).
class SungIndex : public QObject {
    Q_OBJECT

public:
    explicit SungIndex(QTextDocument *document, QObject *parent = nullptr);

    // The number of sung characters before position.
    int sungBefore(int position) const;
    // The score line of the sung character that ends at position; -1 if none.
    int scoreLineAt(int position) const { return sungBefore(position) - 1; }
    // The position just after the n-th sung character; see walkSungCharEnd.
    int sungCharEnd(int n) const;
    // The n-th sung character (n from 1), or the empty string.
    QString sungCharAt(int n) const;
    // The number of sung characters of the whole text.
    int total() const;

    // Recounts every block.
    void rebuild();

private:
    void onContentsChange(int position, int removed, int added);
    void ensureCurrent() const;
    static int ownedCount(const QTextBlock &block);

    QTextDocument *m_doc;
    std::vector<int> m_counts; // per block: sung characters owned
    std::vector<int> m_open;   // per block: 1 for a sung (non-directive) line
    FenwickTree m_sung;
    FenwickTree m_openTree;
    int m_characterCount = 0; // document length at the last update
};

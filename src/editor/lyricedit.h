#pragma once

#include "editor/gutterededit.h"

#include <QColor>
#include <QPlainTextEdit>

class EditorConfig;
class LyricLineNumberArea;
class SungIndex;

// The lyric text editor. Its gutter labels each line with its kind; it maps
// lyric positions to the score lines paired with their sung characters, and
// shows the highlights that the document tab asks for.
//
// Key handling is not overridden here: the document tab filters every key.
class LyricHighlighter;

class LyricEdit : public GutteredEdit {
    Q_OBJECT

public:
    LyricHighlighter *highlighter() const { return m_highlighter; }
    static const QColor lineHighlightColor; // RGBA (0, 100, 100, 60)
    static const QColor searchMatchColor;   // yellow
    static const QColor currentMatchColor;  // orange

    explicit LyricEdit(QWidget *parent = nullptr);

    int gutterWidth() const;
    void paintGutter(QPaintEvent *event);
    // The gutter's label of a line: the name of its kind, 设置 for a
    // comment holding settings.
    QString gutterLabel(int blockNumber) const override;
    LyricLineNumberArea *lineNumberArea() const { return m_lineNumberArea; }

    // Replaces the extra selections with a full-width highlight of the line
    // holding position.
    void highlightCurrentLine(int position);
    // Replaces the extra selections with a highlight of the one character
    // that ends at position (the first character when position is 0).
    void highlightSungChar(int position);

    // The score line paired with the sung character that ends at position;
    // -1 if no sung character comes before it.
    int scoreLineAt(int position) const;
    // The position just after the n-th sung character (n from 1); for n = 0
    // the start of the first sung character; the end of the document when the
    // text has fewer than n sung characters.
    int sungCharEnd(int n) const;
    // The n-th sung character (n from 1), or the empty string.
    QString sungCharAt(int n) const;
    // The sung characters of the whole text, in order.
    QString allSungText() const;
    // The number of sung characters of the whole text.
    int sungCharTotal() const;

    // With indexed off, the pairing is answered by walking the whole
    // document on every call, as the reference definition does. For
    // measurements only.
    void setIndexed(bool indexed) { m_indexed = indexed; }
    bool isIndexed() const { return m_indexed; }

public slots:
    void applyConfig();
    void updateLineNumberArea(const QRect &rect, int dy);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    EditorConfig *m_config;
    SungIndex *m_index;
    LyricLineNumberArea *m_lineNumberArea;
    bool m_indexed = true;
    LyricHighlighter *m_highlighter = nullptr;
};

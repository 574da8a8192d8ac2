#include "editor/lyricedit.h"

#include "appearance/editorconfig.h"
#include "appearance/lyrichighlighter.h"
#include "editor/lyriclinenumberarea.h"
#include "editor/sungindex.h"
#include "editor/sungwalk.h"
#include "model/linegrammar.h"
#include "music/annotation.h"

#include <QPainter>
#include <QTextBlock>
#include <QTimer>

const QColor LyricEdit::lineHighlightColor(0, 100, 100, 60);
const QColor LyricEdit::searchMatchColor(255, 255, 0);
const QColor LyricEdit::currentMatchColor(255, 150, 50);

LyricEdit::LyricEdit(QWidget *parent)
    : GutteredEdit(parent)
    , m_config(EditorConfig::instance())
    // The index must see contentsChange before the highlighter does.
    , m_index(new SungIndex(document(), this))
    , m_lineNumberArea(new LyricLineNumberArea(this)) {
    setViewportMargins(gutterWidth(), 0, 0, 0);
    connect(this, &QPlainTextEdit::updateRequest, this, &LyricEdit::updateLineNumberArea);
    connect(m_config, &EditorConfig::configChanged, this, &LyricEdit::applyConfig);
    QTimer::singleShot(0, this, &LyricEdit::applyConfig);
    m_highlighter = new LyricHighlighter(document());
}

int LyricEdit::gutterWidth() const {
    return 2 * m_config->lyricLineNumberFontMetrics().maxWidth() + 20;
}

void LyricEdit::applyConfig() {
    QPalette p = palette();
    p.setBrush(QPalette::All, QPalette::Text, m_config->errorColor());
    p.setBrush(QPalette::All, QPalette::Base, m_config->lyricBgColor());
    setPalette(p);
    setFont(m_config->lyricFont());
}

void LyricEdit::updateLineNumberArea(const QRect &rect, int dy) {
    if (dy != 0) {
        m_lineNumberArea->scroll(0, dy);
    } else {
        m_lineNumberArea->update(0, rect.y(), m_lineNumberArea->width(), rect.height());
    }
}

void LyricEdit::resizeEvent(QResizeEvent *event) {
    QPlainTextEdit::resizeEvent(event);
    placeGutter(m_lineNumberArea, gutterWidth());
}

void LyricEdit::paintGutter(QPaintEvent *event) {
    paintGutterLabels(m_lineNumberArea, event, gutterWidth(), m_config->lyricLineNumberColor(),
                      m_config->lyricLineNumberBgColor(), m_config->lyricLineNumberFont());
}

QString LyricEdit::gutterLabel(int blockNumber) const {
    const QTextBlock block = document()->findBlockByNumber(blockNumber);
    if (!block.isValid()) {
        return QString();
    }
    const LineKind kind = lineKindOf(block.text());
    // A comment that sets the key, meter, tempo or octave is a settings line.
    if (kind == LineKind::Comment && music::Annotation::isAnnotation(block.text())) {
        return QStringLiteral("设置");
    }
    return lineKindLabel(kind);
}

void LyricEdit::highlightCurrentLine(int position) {
    QTextEdit::ExtraSelection selection;
    selection.format.setBackground(lineHighlightColor);
    selection.format.setProperty(QTextFormat::FullWidthSelection, true);
    selection.cursor = textCursor();
    selection.cursor.setPosition(position);
    setExtraSelections({selection});
}

void LyricEdit::highlightSungChar(int position) {
    QTextEdit::ExtraSelection selection;
    selection.format.setBackground(lineHighlightColor);
    selection.cursor = textCursor();
    const int last = document()->characterCount() - 1;
    const int start = qBound(0, position == 0 ? 0 : position - 1, last);
    const int end = qBound(0, position == 0 ? 1 : position, last);
    selection.cursor.setPosition(start);
    selection.cursor.setPosition(end, QTextCursor::KeepAnchor);
    setExtraSelections({selection});
}

int LyricEdit::scoreLineAt(int position) const {
    return m_indexed ? m_index->scoreLineAt(position) : walkScoreLineAt(document(), position);
}

int LyricEdit::sungCharEnd(int n) const {
    return m_indexed ? m_index->sungCharEnd(n) : walkSungCharEnd(document(), n);
}

QString LyricEdit::sungCharAt(int n) const {
    return m_indexed ? m_index->sungCharAt(n) : walkSungCharAt(document(), n);
}

QString LyricEdit::allSungText() const {
    return walkAllSungText(document());
}

int LyricEdit::sungCharTotal() const {
    return m_indexed ? m_index->total() : walkAllSungText(document()).size();
}

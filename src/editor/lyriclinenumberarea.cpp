#include "editor/lyriclinenumberarea.h"

#include "editor/lyricedit.h"

LyricLineNumberArea::LyricLineNumberArea(LyricEdit *editor)
    : QWidget(editor)
    , m_editor(editor) {}

QSize LyricLineNumberArea::sizeHint() const {
    return QSize(m_editor->gutterWidth(), m_editor->height());
}

void LyricLineNumberArea::paintEvent(QPaintEvent *event) {
    m_editor->paintGutter(event);
}

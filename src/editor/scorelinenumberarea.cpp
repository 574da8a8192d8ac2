#include "editor/scorelinenumberarea.h"

#include "editor/scoreedit.h"

ScoreLineNumberArea::ScoreLineNumberArea(ScoreEdit *editor)
    : QWidget(editor)
    , m_editor(editor) {}

QSize ScoreLineNumberArea::sizeHint() const {
    return QSize(m_editor->gutterWidth(), m_editor->height());
}

void ScoreLineNumberArea::paintEvent(QPaintEvent *event) {
    m_editor->paintGutter(event);
}

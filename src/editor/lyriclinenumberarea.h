#pragma once

#include <QWidget>

class LyricEdit;

// The lyric editor's gutter: a label for each line's kind ("标题", "唱", ...).
class LyricLineNumberArea : public QWidget {
    Q_OBJECT

public:
    explicit LyricLineNumberArea(LyricEdit *editor);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    LyricEdit *m_editor;
};

#pragma once

#include <QWidget>

class ScoreEdit;

// The score editor's gutter: beside each score line, the sung lyric character
// that the line belongs to.
class ScoreLineNumberArea : public QWidget {
    Q_OBJECT

public:
    explicit ScoreLineNumberArea(ScoreEdit *editor);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ScoreEdit *m_editor;
};

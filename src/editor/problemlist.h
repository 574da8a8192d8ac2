#pragma once

#include "music/melody.h"

#include <QDockWidget>
#include <QStringList>
#include <QVector>

class QListWidget;
class QPushButton;

// The 板眼检查 dock: the problems of the current document, each saying where
// it is, what is wrong and what to do, with their count in the title. A click
// goes to a problem; a problem answered by a settings line (a meter detected
// or suggested) offers to insert that line with one click.
class ProblemList : public QDockWidget {
    Q_OBJECT

public:
    explicit ProblemList(QWidget *parent = nullptr);

    // The problems and, for each, where it is ("第3字「春」"); hidden when
    // there are none.
    void setProblems(const QVector<music::Problem> &problems, const QStringList &where);
    const QVector<music::Problem> &problems() const { return m_problems; }
    // "板眼检查（3）"
    static QString titleFor(int count);

signals:
    void goTo(const music::Place &place);
    void insertLine(int lyricLine, const QString &text);

private:
    void updateFixButton();

    QListWidget *m_list = nullptr;
    QPushButton *m_fix = nullptr;
    QVector<music::Problem> m_problems;
};

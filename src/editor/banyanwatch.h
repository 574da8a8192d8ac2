#pragma once

#include "music/melody.h"

#include <QObject>
#include <QVector>

class BanYanChecker;
class LyricEdit;
class ScoreEdit;
class QTimer;

// Keeps the 板眼 check of a tab's two texts up to date while they are edited:
// notes every edit for the checker, checks once the typing pauses, and lays
// the wavy underlines again on the lines whose problems came, went or moved.
// The tab creates it, passes its problemsChanged() on to the problem list and
// has it check the whole document once it is connected.
class BanYanWatch : public QObject {
    Q_OBJECT

public:
    // How long typing must pause before the check runs.
    static constexpr int checkDelayMs = 250;

    BanYanWatch(LyricEdit *lyric, ScoreEdit *score, QObject *parent = nullptr);

    BanYanChecker *checker() const { return m_checker; }
    QVector<music::Problem> problems() const;
    // Checks the whole document now.
    void checkAll();
    // Checks the edits noted so far now, without waiting for the pause.
    void checkNow();
    // While the underlines are laid again: the texts' formats change, not
    // their text.
    bool isMarking() const { return m_marking; }

signals:
    // The checker's problems changed.
    void problemsChanged();

private:
    void mark(bool all, const QVector<music::Place> &lines);

    LyricEdit *m_lyric;
    ScoreEdit *m_score;
    BanYanChecker *m_checker;
    QTimer *m_timer;
    bool m_marking = false;
};

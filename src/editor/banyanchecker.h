#pragma once

#include "music/melody.h"
#include "music/tunesettings.h"

#include <QObject>
#include <QVector>
#include <memory>

class QTextDocument;

namespace music {
class MelodyBuilder;
}

// Checks the 板眼 of a document while it is edited: what the melody model
// finds (a mark with no pitch before it, a mark the meter cannot have, a
// missing 板, notes beyond the flute, characters without pitches, text that is
// no symbol, settings lines it cannot read) as problems with their places.
//
// The document is checked tune by tune (a 曲牌 heading and the lines up to the
// next one). An edit inside a tune rechecks that tune only; the tunes after
// it keep their results, moved along when the edit added or removed sung
// characters. An edit that adds or removes lines, or touches a heading or a
// settings line, rechecks the whole document.
class BanYanChecker : public QObject {
    Q_OBJECT

public:
    BanYanChecker(QTextDocument *lyric, QTextDocument *score, QObject *parent = nullptr);
    ~BanYanChecker() override;

    // Every problem, in the order of the document.
    QVector<music::Problem> problems() const;
    // The problems on one line of a pane.
    QVector<music::Problem> problemsOn(music::Place::Pane pane, int line) const;

    // Checks the whole document now.
    void checkAll();
    // Checks what an edit of the lyric (pane Lyric) or score text at position
    // can have changed; the whole document when it cannot tell.
    void checkAfterEdit(music::Place::Pane pane, int position);

    // How many tunes the last check computed (all of them, or one).
    int lastComputedTunes() const { return m_lastComputed; }

signals:
    // The problems changed: of the whole document (all), or on the given lines
    // only (a line's place has its pane and line, the rest unused).
    void problemsChanged(bool all, const QVector<music::Place> &lines);

private:
    struct Tune {
        int firstLine = 0; // lyric line of the heading (or 0)
        int lineCount = 0;
        int firstCharacter = 0; // sung character index of its first sung character
        int characters = 0;
        music::TuneSettings settings; // in force at its start
        QVector<music::Problem> problems;
    };

    void computeTune(Tune &tune) const;
    int tuneOfLine(int lyricLine) const;
    int tuneOfCharacter(int character) const;
    bool isStructureLine(int lyricLine) const;

    QTextDocument *m_lyric;
    QTextDocument *m_score;
    std::unique_ptr<music::MelodyBuilder> m_builder;
    QVector<Tune> m_tunes;
    int m_lyricBlocks = 0;
    int m_scoreBlocks = 0;
    int m_lastComputed = 0;
};

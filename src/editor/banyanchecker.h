#pragma once

#include "music/melody.h"
#include "music/tunesettings.h"

#include <QObject>
#include <QVector>
#include <memory>
#include <vector>

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
// next one). The edits made since the last check are noted as their documents
// report them; a check then rechecks the tunes they touched only. The tunes
// after them keep their results and are moved along: their lines when lines
// came or went, their score lines when sung characters did. A tune is checked
// again besides when the settings the tune before it leaves change (an edited
// settings line), or when its score lines no longer pair with its characters
// (a score line added or removed on its own). A heading typed or removed
// splits or joins tunes where it stands.
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
    // Notes an edit of the lyric (pane Lyric) or score text as its document's
    // contentsChange reports it: charsAdded characters at position.
    void noteEdit(music::Place::Pane pane, int position, int charsAdded);
    // Whether edits were noted since the last check.
    bool hasEdits() const { return !m_edits.isEmpty(); }
    // Checks what the edits noted since the last check can have changed.
    void checkEdits();

    // How many tunes the last check computed.
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
        music::TuneSettings settings;      // in force at its start
        music::TuneSettings settingsAfter; // what it leaves to the next tune
        // Places relative to the tune: lyric lines (and fix lines) from
        // firstLine, score lines from firstCharacter.
        QVector<music::Problem> problems;

        // Between two checks.
        bool dirty = false;       // to be computed again
        bool reshaped = false;    // lines came or went in it, or it was split or joined
        bool recorded = false;    // its problems before the edits are kept in before
        int checkedLine = 0;      // firstLine at the last check
        int checkedCharacter = 0; // firstCharacter at the last check
        QVector<music::Problem> before;
    };
    // An edit as its document reported it: lines first..last of the text
    // after it took the place of lines first..last - delta before it.
    struct Edit {
        music::Place::Pane pane = music::Place::Pane::Lyric;
        int first = 0;
        int last = 0;
        int delta = 0;
    };
    // Lines of both panes.
    struct Lines {
        QVector<int> lyric;
        QVector<int> score;
    };

    void computeTune(Tune &tune) const;
    QStringList lyricLinesOf(const Tune &tune) const;
    int tuneOfLine(int lyricLine) const;
    int tuneOfCharacter(int character) const;

    bool applyLyricEdit(const Edit &edit);
    void resegmentDirtyTunes();
    int splitAtHeadings(int index);
    void placeCharacters();
    void markScoreEdits();
    int computeDirtyTunes();
    void record(Tune &tune);
    void markDirty(int index);
    void forget(const Tune &tune);
    int mapLine(music::Place::Pane pane, int line, int fromEdit, bool toEnd) const;
    QVector<music::Place> linesToRedraw();
    void finishCheck();

    QTextDocument *m_lyric;
    QTextDocument *m_score;
    std::unique_ptr<music::MelodyBuilder> m_builder;
    std::vector<Tune> m_tunes;
    QVector<Edit> m_edits;
    Lines m_staleBefore; // lines underlined before the edits, in the numbering before them
    bool m_needAll = false;
    int m_lyricBlocks = 0; // as the last noted edit left them
    int m_scoreBlocks = 0;
    int m_lastComputed = 0;
};

#pragma once

#include "import/importrules.h"
#include "import/transcribedtune.h"
#include "music/beatsplitter.h"

namespace music {

// The 板眼 of a measured tune: every beat the meter has gets its mark on the
// note sounding there (the 头 form on a note that starts on it, the 腰 form on
// one held across it), a phrase that ends on a 板 gets a 底板, rests are
// silent after a 底板 and lengthen the note before them elsewhere, and each
// beat's notes are made small where the melody model's shares then give the
// source's durations. Works in source ticks on the tune's grid (a 板 at
// TranscribedTune::anchor, meter.beatTicks to a beat). No widgets.
class RhythmMarker {
public:
    explicit RhythmMarker(const ImportRules &rules);

    // Marks tune->notes. dropFirstMark leaves the first marked beat without
    // its mark, so that the notes before the next one read as a one-beat
    // pickup.
    void mark(TranscribedTune *tune, bool dropFirstMark) const;

private:
    struct Grid {
        qint64 anchor = 0;
        qint64 beat = ticksPerBeat;
        int beats = 1;
        MusicRules::MeterRule rule;
        qint64 beatOf(qint64 t) const; // the beat (counted from the anchor) t falls in
        qint64 at(qint64 beat) const { return anchor + beat * this->beat; }
        int index(qint64 beat) const;
    };

    Grid gridOf(const TranscribedTune &tune) const;
    static QVector<int> timedNotes(const TranscribedTune &tune);
    void settleRests(TranscribedTune *tune, const Grid &grid) const;
    void markPhraseEnds(TranscribedTune *tune, const Grid &grid) const;
    void markBeats(TranscribedTune *tune, const Grid &grid, bool dropFirstMark) const;
    void chooseSmall(TranscribedTune *tune, const Grid &grid) const;
    // The notes of the beat starting at `from`: the one held into it first.
    QVector<int> notesOfBeat(const TranscribedTune &tune, qint64 from, qint64 to) const;
    bool fits(const TranscribedTune &tune, const QVector<int> &slots, qint64 from, qint64 to,
              const QVector<bool> &small) const;

    const ImportRules &m_rules;
    BeatSplitter m_splitter;
};

} // namespace music

#pragma once

#include "music/musicrules.h"

#include <QVector>

namespace music {

// How the time between two beat marks is shared among the notes that sound
// there. The notes are slots in order (a note held across the first mark from
// a 腰 mark is the first slot); small[i] marks a small note, which counts half
// in every share: it keeps half of the time a plain note in its place would
// get and gives the other half to the nearest plain note before it in the same
// beat (after it when none is before; when all are small, nothing changes).
class BeatSplitter {
public:
    explicit BeatSplitter(const MusicRules &rules);

    // The durations (ticks) of the slots of a span of `beats` beats (at least
    // 1), adding up to beats * ticksPerBeat. Up to `beats` notes: one beat per
    // note, the last taking what is left. More notes: grouped into the beats
    // as evenly as possible (by weight, small notes half), earlier beats taking
    // the extra notes, each beat shared as by oneBeat().
    QVector<qint64> span(int beats, const QVector<bool> &small) const;
    // One beat among its notes: MusicRules::oneBeatShares for up to four
    // notes, equal shares on the beat grid beyond, equal whole ticks beyond the
    // grid's resolution (earlier notes taking the remainder).
    QVector<qint64> oneBeat(const QVector<bool> &small) const;
    // One beat for every note (small ones half): the notes after a tune's last
    // mark.
    QVector<qint64> eachABeat(const QVector<bool> &small) const;
    // How many notes each of `beats` beats takes when there are more notes
    // than beats.
    static QVector<int> groups(int beats, const QVector<bool> &small);

private:
    static void halveSmall(QVector<qint64> *durations, const QVector<bool> &small, int from,
                           int count);

    const MusicRules &m_rules;
};

} // namespace music

#pragma once

#include "music/musicrules.h"

#include <QVector>

namespace music {

// How the time between two beat marks is shared among the notes that sound
// there. The notes are slots in order (a note held across the first mark from
// a 腰 mark is the first slot); small[i] marks a small note. Inside one beat
// every note gets a value 简谱 writes without a tie (MusicRules::
// writableShares): the plain notes share the beat by the table, and each
// small note takes a short value from the nearest plain note before it (after
// it when none is before). A beat too crowded for the shortest value sings
// some of its notes as grace notes: their slots get 0 ticks, small notes
// first, never a slot in keep (a note already sounding, or one that carries a
// syllable) while another will do.
class BeatSplitter {
public:
    explicit BeatSplitter(const MusicRules &rules);

    // The durations (ticks) of the slots of a span of `beats` beats (at least
    // 1), adding up to beats * ticksPerBeat. Up to `beats` notes: one beat per
    // note, the last taking what is left, a small note keeping a short value
    // at the end of the beat before it. More notes: grouped into the beats as
    // evenly as possible (by weight, small notes half), earlier beats taking
    // the extra notes, each beat shared as by oneBeat().
    QVector<qint64> span(int beats, const QVector<bool> &small,
                         const QVector<bool> &keep = {}) const;
    // One beat among its notes.
    QVector<qint64> oneBeat(const QVector<bool> &small, const QVector<bool> &keep = {}) const;
    // A beat for every plain note, small notes taking their value from it
    // (half a beat each when all are small): the notes after a tune's last
    // mark.
    QVector<qint64> eachABeat(const QVector<bool> &small) const;
    // How many notes each of `beats` beats takes when there are more notes
    // than beats.
    static QVector<int> groups(int beats, const QVector<bool> &small);

    // The shares of one beat among n plain notes, in grid units.
    QVector<int> plainShares(int n) const;
    // The writable shares nearest to ideal (grid units, possibly unwritable,
    // adding up to the grid): the least total difference, earlier notes
    // longer on a tie.
    QVector<int> nearestWritable(const QVector<int> &ideal) const;

private:
    // The slots of a beat that sound: the others become grace notes.
    QVector<bool> sounding(const QVector<bool> &small, const QVector<bool> &keep) const;
    const QVector<QVector<int>> &writableOf(int parts) const;

    const MusicRules &m_rules;
    mutable QVector<QVector<QVector<int>>> m_writable; // by number of parts
};

} // namespace music

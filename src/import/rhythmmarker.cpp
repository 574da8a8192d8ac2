#include "import/rhythmmarker.h"

#include <algorithm>

namespace music {

namespace {

using S = GongcheSymbol;

qint64 floorDiv(qint64 a, qint64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The ways to make some of n notes small, those not allowed never: fewest
// small notes first.
QVector<QVector<bool>> smallChoices(const QVector<bool> &allowed) {
    const int n = allowed.size();
    QVector<int> masks;
    for (int mask = 0; mask < (1 << n); ++mask) {
        bool ok = true;
        for (int i = 0; i < n; ++i) {
            ok = ok && (allowed.at(i) || !(mask & (1 << i)));
        }
        if (ok) {
            masks.append(mask);
        }
    }
    const auto count = [](int mask) {
        int c = 0;
        for (; mask; mask &= mask - 1) {
            ++c;
        }
        return c;
    };
    std::stable_sort(masks.begin(), masks.end(),
                     [&count](int a, int b) { return count(a) < count(b); });
    QVector<QVector<bool>> out;
    for (int mask : masks) {
        QVector<bool> small(n);
        for (int i = 0; i < n; ++i) {
            small[i] = (mask & (1 << i)) != 0;
        }
        out.append(small);
    }
    return out;
}

} // namespace

qint64 RhythmMarker::Grid::beatOf(qint64 t) const {
    return floorDiv(t - anchor, beat);
}

int RhythmMarker::Grid::index(qint64 b) const {
    return int(b - floorDiv(b, beats) * beats);
}

RhythmMarker::RhythmMarker(const ImportRules &rules)
    : m_rules(rules)
    , m_splitter(rules.rules()) {}

RhythmMarker::Grid RhythmMarker::gridOf(const TranscribedTune &tune) const {
    Grid grid;
    grid.anchor = tune.anchor;
    grid.beat = std::max<qint64>(1, tune.meter.beatTicks);
    grid.rule = m_rules.rules().meterRule(tune.meter.meter, tune.meter.zeng);
    grid.beats = std::max(1, grid.rule.beats);
    return grid;
}

void RhythmMarker::mark(TranscribedTune *tune, bool dropFirstMark) const {
    const Grid grid = gridOf(*tune);
    for (WrittenNote &n : tune->notes) {
        n.marks.clear();
        n.small = n.grace;
    }
    settleRests(tune, grid);
    markBeats(tune, grid, dropFirstMark);
    markPhraseEnds(tune, grid);
    chooseSmall(tune, grid);
}

// A rest that starts on a 板 where the note before it ends is the silence
// after that note's 底板; any other rest lengthens the note before it. A rest
// before the first note is left out (the tune starts with its notes).
void RhythmMarker::settleRests(TranscribedTune *tune, const Grid &grid) const {
    for (const SourceRest &rest : tune->rests) {
        int before = -1;
        for (int i = 0; i < tune->notes.size(); ++i) {
            const WrittenNote &n = tune->notes.at(i);
            if (!n.grace && n.onset < rest.onset) {
                before = i;
            }
        }
        if (before < 0) {
            continue;
        }
        WrittenNote &note = tune->notes[before];
        note.phraseEnd = true;
        const qint64 beat = grid.beatOf(rest.onset);
        const bool onBan =
            grid.at(beat) == rest.onset && ImportRules::diBanAt(grid.rule, grid.index(beat));
        if (onBan && note.end == rest.onset) {
            continue;
        }
        note.end = std::max(note.end, rest.end);
        tune->remarks.append({before, rest.onset, m_rules.messages.restMerged});
    }
}

// The notes that take time (not the graces), in order.
QVector<int> RhythmMarker::timedNotes(const TranscribedTune &tune) {
    QVector<int> order;
    for (int i = 0; i < tune.notes.size(); ++i) {
        if (!tune.notes.at(i).grace) {
            order.append(i);
        }
    }
    return order;
}

// Every beat a note sounds on gets the mark of its index in the measure: the
// 头 form when the note starts there, the 腰 form when it is held across.
void RhythmMarker::markBeats(TranscribedTune *tune, const Grid &grid, bool dropFirstMark) const {
    const QVector<int> order = timedNotes(*tune);
    if (order.isEmpty()) {
        return;
    }
    const qint64 last = tune->notes.at(order.last()).end;
    bool dropped = !dropFirstMark;
    int p = 0;
    for (qint64 b = grid.beatOf(tune->notes.at(order.first()).onset); grid.at(b) < last; ++b) {
        const qint64 t = grid.at(b);
        while (p < order.size() && tune->notes.at(order.at(p)).end <= t) {
            ++p;
        }
        if (p == order.size()) {
            break;
        }
        WrittenNote &note = tune->notes[order.at(p)];
        bool found = false;
        const S::Beat kind = ImportRules::markAt(grid.rule, grid.index(b), &found);
        if (note.onset > t || !found) {
            continue; // silence on the beat, or an index with no mark
        }
        if (!dropped) {
            dropped = true;
            continue;
        }
        const auto position = note.onset == t ? S::BeatPosition::Tou : S::BeatPosition::Yao;
        note.marks.append(S::beatCode(kind, position));
    }
}

// A phrase that ends where the model strikes a 板 ends with a 底板; a fermata
// elsewhere has no sign.
void RhythmMarker::markPhraseEnds(TranscribedTune *tune, const Grid &grid) const {
    for (int i = 0; i < tune->notes.size(); ++i) {
        WrittenNote &note = tune->notes[i];
        if (note.grace || !note.phraseEnd) {
            continue;
        }
        const qint64 beat = grid.beatOf(note.end);
        if (grid.at(beat) == note.end && ImportRules::diBanAt(grid.rule, grid.index(beat))) {
            note.marks.append(S::DiBan);
        } else if (note.fermata) {
            tune->remarks.append({i, note.onset, m_rules.messages.fermataDropped});
        }
    }
}

QVector<int> RhythmMarker::notesOfBeat(const TranscribedTune &tune, qint64 from, qint64 to) const {
    QVector<int> out;
    for (int i = 0; i < tune.notes.size(); ++i) {
        const WrittenNote &n = tune.notes.at(i);
        if (n.grace) {
            continue;
        }
        if (n.onset < from && n.end > from) {
            out.prepend(i);
        } else if (n.onset >= from && n.onset < to) {
            out.append(i);
        }
    }
    return out;
}

// Whether the model shares the beat among slots, small ones as given, as the
// source does.
bool RhythmMarker::fits(const TranscribedTune &tune, const QVector<int> &slots, qint64 from,
                        qint64 to, const QVector<bool> &small) const {
    const QVector<qint64> shares = m_splitter.oneBeat(small);
    const qint64 beat = to - from;
    for (int i = 0; i < slots.size(); ++i) {
        const WrittenNote &n = tune.notes.at(slots.at(i));
        const qint64 target = std::min(n.end, to) - std::max(n.onset, from);
        if (shares.at(i) * beat != target * ticksPerBeat) {
            return false;
        }
    }
    return true;
}

// For each beat, the fewest small notes with which the model's shares give
// the source's durations; none fits: all plain, reported.
void RhythmMarker::chooseSmall(TranscribedTune *tune, const Grid &grid) const {
    const QVector<int> order = timedNotes(*tune);
    if (order.isEmpty()) {
        return;
    }
    const qint64 last = tune->notes.at(order.last()).end;
    for (qint64 b = grid.beatOf(tune->notes.at(order.first()).onset); grid.at(b) < last; ++b) {
        const qint64 from = grid.at(b);
        const qint64 to = grid.at(b + 1);
        const QVector<int> slots = notesOfBeat(*tune, from, to);
        if (slots.isEmpty()) {
            continue;
        }
        QVector<bool> allowed;
        for (int i : slots) {
            const WrittenNote &n = tune->notes.at(i);
            allowed.append(n.onset >= from && n.end <= to);
        }
        bool found = false;
        if (slots.size() <= m_rules.rules().beatGrid) {
            for (const QVector<bool> &small : smallChoices(allowed)) {
                if (fits(*tune, slots, from, to, small)) {
                    for (int i = 0; i < slots.size(); ++i) {
                        tune->notes[slots.at(i)].small = small.at(i);
                    }
                    found = true;
                    break;
                }
            }
        }
        if (!found) {
            const int first = tune->notes.at(slots.first()).onset < from && slots.size() > 1
                                  ? slots.at(1)
                                  : slots.first();
            tune->remarks.append({first, from, m_rules.messages.unwritable});
        }
    }
}

} // namespace music

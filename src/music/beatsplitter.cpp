#include "music/beatsplitter.h"

namespace music {

BeatSplitter::BeatSplitter(const MusicRules &rules)
    : m_rules(rules) {}

void BeatSplitter::halveSmall(QVector<qint64> *durations, const QVector<bool> &small, int from,
                              int count) {
    int plain = -1;
    for (int i = from; i < from + count; ++i) {
        if (!small.at(i)) {
            plain = i;
            break;
        }
    }
    if (plain < 0) {
        return; // all small: the shares stand
    }
    int lastPlain = -1;
    for (int i = from; i < from + count; ++i) {
        if (!small.at(i)) {
            lastPlain = i;
            continue;
        }
        qint64 &d = (*durations)[i];
        const qint64 kept = d / 2;
        const qint64 freed = d - kept;
        d = kept;
        (*durations)[lastPlain >= 0 ? lastPlain : plain] += freed;
    }
}

QVector<qint64> BeatSplitter::oneBeat(const QVector<bool> &small) const {
    const int n = small.size();
    QVector<qint64> out(n, 0);
    if (n == 0) {
        return out;
    }
    const int grid = std::max(1, m_rules.beatGrid);
    if (n <= m_rules.oneBeatShares.size() && m_rules.oneBeatShares.at(n - 1).size() == n) {
        const QVector<int> &shares = m_rules.oneBeatShares.at(n - 1);
        qint64 total = 0;
        for (int i = 0; i < n; ++i) {
            out[i] = qint64(ticksPerBeat) * shares.at(i) / grid;
            total += out[i];
        }
        out[n - 1] += ticksPerBeat - total; // a table that does not fill the beat
    } else {
        const bool onGrid = n <= grid;
        const qint64 units = onGrid ? grid : ticksPerBeat;
        const qint64 unit = onGrid ? ticksPerBeat / grid : 1;
        const qint64 base = units / n;
        const qint64 extra = units % n;
        for (int i = 0; i < n; ++i) {
            out[i] = (base + (i < extra ? 1 : 0)) * unit;
        }
    }
    halveSmall(&out, small, 0, n);
    return out;
}

QVector<qint64> BeatSplitter::eachABeat(const QVector<bool> &small) const {
    QVector<qint64> out(small.size(), ticksPerBeat);
    for (int i = 0; i < small.size(); ++i) {
        if (small.at(i)) {
            out[i] = ticksPerBeat / 2;
        }
    }
    return out;
}

QVector<int> BeatSplitter::groups(int beats, const QVector<bool> &small) {
    // Weights in half notes: a plain note 2, a small one 1. Each beat in turn
    // aims at its even part of what remains, rounded up, and takes notes while
    // it is below that, leaving at least one note for every later beat.
    const int n = small.size();
    QVector<int> out(std::max(beats, 0), 0);
    int remaining = 0;
    for (bool s : small) {
        remaining += s ? 1 : 2;
    }
    int next = 0;
    for (int b = 0; b < beats; ++b) {
        const int beatsLeft = beats - b;
        const int target = (remaining + beatsLeft - 1) / beatsLeft;
        int weight = 0;
        while (next < n && (out[b] == 0 || (weight < target && n - next > beatsLeft - 1))) {
            const int w = small.at(next) ? 1 : 2;
            weight += w;
            remaining -= w;
            ++out[b];
            ++next;
        }
    }
    if (beats > 0) {
        out[beats - 1] += n - next;
    }
    return out;
}

QVector<qint64> BeatSplitter::span(int beats, const QVector<bool> &small) const {
    const int n = small.size();
    if (n == 0) {
        return {};
    }
    beats = std::max(beats, 1);
    if (n <= beats) {
        QVector<qint64> out(n, ticksPerBeat);
        out[n - 1] = qint64(beats - (n - 1)) * ticksPerBeat;
        halveSmall(&out, small, 0, n);
        return out;
    }
    QVector<qint64> out;
    out.reserve(n);
    int from = 0;
    for (int count : groups(beats, small)) {
        out += oneBeat(small.mid(from, count));
        from += count;
    }
    return out;
}

} // namespace music

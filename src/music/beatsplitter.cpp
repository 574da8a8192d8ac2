#include "music/beatsplitter.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <numeric>

namespace music {

namespace {

// The nearest plain slot before i among the sounding ones; after it when none
// is before; -1 when all are small.
int donorOf(int i, const QVector<bool> &small, const QVector<int> &slots) {
    for (int k = i - 1; k >= 0; --k) {
        if (!small.at(slots.at(k))) {
            return k;
        }
    }
    for (int k = i + 1; k < slots.size(); ++k) {
        if (!small.at(slots.at(k))) {
            return k;
        }
    }
    return -1;
}

} // namespace

BeatSplitter::BeatSplitter(const MusicRules &rules)
    : m_rules(rules) {}

QVector<int> BeatSplitter::plainShares(int n) const {
    const int grid = std::max(1, m_rules.beatGrid);
    QVector<int> out(n, 0);
    if (n <= 0) {
        return out;
    }
    if (n <= m_rules.oneBeatShares.size() && m_rules.oneBeatShares.at(n - 1).size() == n) {
        const QVector<int> &row = m_rules.oneBeatShares.at(n - 1);
        const int total = std::accumulate(row.begin(), row.end(), 0);
        if (total <= grid && *std::min_element(row.begin(), row.end()) > 0) {
            out = row;
            out[n - 1] += grid - total; // a row that does not fill the beat
            return out;
        }
    }
    for (int i = 0; i < n; ++i) {
        out[i] = grid / n + (i < grid % n ? 1 : 0);
    }
    return out;
}

const QVector<QVector<int>> &BeatSplitter::writableOf(int parts) const {
    if (m_writable.size() <= parts) {
        m_writable.resize(parts + 1);
    }
    QVector<QVector<int>> &found = m_writable[parts];
    if (found.isEmpty()) {
        // Every way of writing the grid as `parts` writable values, longer
        // values first, so that the first of equals is the earlier-longer one.
        QVector<int> values = m_rules.writableShares;
        std::sort(values.begin(), values.end(), std::greater<int>());
        const int grid = std::max(1, m_rules.beatGrid);
        QVector<int> current;
        std::function<void(int)> walk = [&](int left) {
            if (current.size() == parts) {
                if (left == 0) {
                    found.append(current);
                }
                return;
            }
            const int still = parts - current.size() - 1;
            for (int v : values) {
                if (v > 0 && v <= left - still) { // leave at least 1 for each later part
                    current.append(v);
                    walk(left - v);
                    current.removeLast();
                }
            }
        };
        walk(grid);
    }
    return found;
}

QVector<int> BeatSplitter::nearestWritable(const QVector<int> &ideal) const {
    const QVector<QVector<int>> &candidates = writableOf(ideal.size());
    if (candidates.isEmpty()) {
        return ideal;
    }
    const QVector<int> *best = nullptr;
    int bestCost = 0;
    for (const QVector<int> &c : candidates) {
        int cost = 0;
        for (int i = 0; i < c.size(); ++i) {
            cost += std::abs(c.at(i) - ideal.at(i));
        }
        if (!best || cost < bestCost) {
            best = &c;
            bestCost = cost;
        }
    }
    return *best;
}

QVector<bool> BeatSplitter::sounding(const QVector<bool> &small, const QVector<bool> &keep) const {
    const int n = small.size();
    const int room = std::max(1, m_rules.beatGrid);
    QVector<bool> out(n, true);
    int count = n;
    const auto kept = [&keep](int i) { return i < keep.size() && keep.at(i); };
    // Small notes first, then plain ones, then kept ones; the latest first.
    for (int pass = 0; pass < 3 && count > room; ++pass) {
        for (int i = n - 1; i >= 0 && count > room; --i) {
            const bool candidate = pass == 0   ? small.at(i) && !kept(i)
                                   : pass == 1 ? !kept(i)
                                               : i > 0; // the first slot always sounds
            if (out.at(i) && candidate) {
                out[i] = false;
                --count;
            }
        }
    }
    return out;
}

QVector<qint64> BeatSplitter::oneBeat(const QVector<bool> &small, const QVector<bool> &keep) const {
    const int n = small.size();
    QVector<qint64> out(n, 0);
    if (n == 0) {
        return out;
    }
    const int grid = std::max(1, m_rules.beatGrid);
    const QVector<bool> sounds = sounding(small, keep);
    QVector<int> slots; // the sounding slots, in order
    for (int i = 0; i < n; ++i) {
        if (sounds.at(i)) {
            slots.append(i);
        }
    }
    const int m = slots.size();
    int plain = 0;
    for (int i : slots) {
        plain += small.at(i) ? 0 : 1;
    }
    QVector<int> shares;
    if (plain == 0 || plain == m) {
        shares = plainShares(m); // all plain, or all small: the table
    } else {
        const int take = m >= m_rules.crowdedBeat ? m_rules.crowdedSmallShare : m_rules.smallShare;
        const QVector<int> plainPart = plainShares(plain);
        shares = QVector<int>(m, 0);
        for (int k = 0, p = 0; k < m; ++k) {
            if (!small.at(slots.at(k))) {
                shares[k] = plainPart.at(p++);
            }
        }
        for (int k = 0; k < m; ++k) {
            if (small.at(slots.at(k))) {
                shares[k] = take;
                shares[donorOf(k, small, slots)] -= take;
            }
        }
        shares = nearestWritable(shares);
    }
    qint64 total = 0;
    for (int k = 0; k < m; ++k) {
        out[slots.at(k)] = qint64(ticksPerBeat) * shares.at(k) / grid;
        total += out[slots.at(k)];
    }
    out[slots.last()] += ticksPerBeat - total; // a grid that does not divide the beat
    return out;
}

QVector<qint64> BeatSplitter::eachABeat(const QVector<bool> &small) const {
    int plain = 0;
    for (bool s : small) {
        plain += s ? 0 : 1;
    }
    if (plain == 0) {
        return QVector<qint64>(small.size(), ticksPerBeat / 2);
    }
    return span(plain, small);
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

QVector<qint64> BeatSplitter::span(int beats, const QVector<bool> &small,
                                   const QVector<bool> &keep) const {
    const int n = small.size();
    if (n == 0) {
        return {};
    }
    beats = std::max(beats, 1);
    if (n <= beats) {
        // A beat a note, the last taking what is left; a small note keeps a
        // short value at the end of its beat and gives the rest to the nearest
        // plain note before it (after it when none is before).
        QVector<qint64> out(n, ticksPerBeat);
        out[n - 1] = qint64(beats - (n - 1)) * ticksPerBeat;
        QVector<int> all;
        for (int i = 0; i < n; ++i) {
            all.append(i);
        }
        const int grid = std::max(1, m_rules.beatGrid);
        const qint64 keepTicks = qint64(ticksPerBeat) * m_rules.smallShare / grid;
        for (int i = 0; i < n; ++i) {
            const int donor = small.at(i) ? donorOf(i, small, all) : -1;
            if (donor >= 0 && out.at(i) > keepTicks) {
                out[donor] += out.at(i) - keepTicks;
                out[i] = keepTicks;
            }
        }
        return out;
    }
    QVector<qint64> out;
    out.reserve(n);
    int from = 0;
    for (int count : groups(beats, small)) {
        out += oneBeat(small.mid(from, count), keep.mid(from, count));
        from += count;
    }
    return out;
}

} // namespace music

#pragma once

#include <cstddef>
#include <vector>

// Prefix sums over a sequence of non-negative integers with O(log n) point
// updates, prefix queries and searches for the first prefix reaching a value.
class FenwickTree {
public:
    // Replaces the contents with values, in O(n).
    void assign(const std::vector<int> &values) {
        m_tree.assign(values.size() + 1, 0);
        for (std::size_t i = 1; i < m_tree.size(); ++i) {
            m_tree[i] += values[i - 1];
            const std::size_t parent = i + (i & (~i + 1));
            if (parent < m_tree.size()) {
                m_tree[parent] += m_tree[i];
            }
        }
    }

    int size() const { return int(m_tree.size()) - 1; }

    // Adds delta to element i.
    void add(int i, int delta) {
        for (std::size_t k = std::size_t(i) + 1; k < m_tree.size(); k += k & (~k + 1)) {
            m_tree[k] += delta;
        }
    }

    // The sum of elements 0 .. count - 1.
    int prefix(int count) const {
        int sum = 0;
        for (std::size_t k = std::size_t(count); k > 0; k -= k & (~k + 1)) {
            sum += m_tree[k];
        }
        return sum;
    }

    int total() const { return prefix(size()); }

    // The smallest index i with prefix(i + 1) >= target, or size() if the
    // total stays below target. Requires non-negative elements.
    int lowerBound(int target) const {
        if (target <= 0) {
            return 0;
        }
        std::size_t pos = 0;
        std::size_t step = 1;
        while (step * 2 < m_tree.size()) {
            step *= 2;
        }
        for (; step > 0; step /= 2) {
            if (pos + step < m_tree.size() && m_tree[pos + step] < target) {
                pos += step;
                target -= m_tree[pos];
            }
        }
        return int(pos);
    }

private:
    std::vector<int> m_tree{0};
};

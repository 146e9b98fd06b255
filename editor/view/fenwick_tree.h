// A Fenwick (binary indexed) tree of 64-bit values: point updates, prefix
// sums, the search for the element that holds a running total and growing
// at the end, each in O(log n). The lazy layout keeps its block heights in
// one, and which blocks wait for their layout in another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class FenwickTree {
public:
    // Builds the tree over `values` in O(n).
    void assign(const std::vector<int64_t> &values) {
        m_tree.assign(values.size() + 1, 0);
        for (size_t i = 0; i < values.size(); i++) {
            m_tree[i + 1] += values[i];
            size_t parent = (i + 1) + ((i + 1) & (~(i + 1) + 1));
            if (parent < m_tree.size())
                m_tree[parent] += m_tree[i + 1];
        }
    }

    size_t size() const { return m_tree.empty() ? 0 : m_tree.size() - 1; }

    // Keeps the first `count` elements, in O(1): no node of theirs sums any
    // element past them.
    void truncate(size_t count) {
        if (count < size())
            m_tree.resize(count + 1);
    }

    // Adds an element at the end, in O(log n).
    void append(int64_t value) {
        if (m_tree.empty())
            m_tree.push_back(0);
        // The new node sums the elements since its lowest bit's span began.
        const size_t node = m_tree.size();
        const size_t span = node & (~node + 1);
        m_tree.push_back(value + prefix(node - 1) - prefix(node - span));
    }

    void add(size_t index, int64_t delta) {
        for (size_t i = index + 1; i < m_tree.size(); i += i & (~i + 1))
            m_tree[i] += delta;
    }

    // Sum of the elements before `index`.
    int64_t prefix(size_t index) const {
        int64_t sum = 0;
        for (size_t i = index < size() ? index : size(); i > 0; i -= i & (~i + 1))
            sum += m_tree[i];
        return sum;
    }

    int64_t total() const { return prefix(size()); }

    // The index of the element whose span [prefix(i), prefix(i + 1)) holds
    // `value`, for non-negative elements; size() when `value` is at or past
    // the total, 0 for a negative value.
    size_t find(int64_t value) const {
        if (value < 0)
            return 0;
        size_t position = 0;
        size_t step = 1;
        while (step * 2 < m_tree.size())
            step *= 2;
        for (; step > 0; step /= 2) {
            size_t next = position + step;
            if (next < m_tree.size() && m_tree[next] <= value) {
                position = next;
                value -= m_tree[next];
            }
        }
        return position;
    }

private:
    std::vector<int64_t> m_tree;  // 1-based
};

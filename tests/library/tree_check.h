// Structural checks of token trees, shared by the tests that edit trees.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "library/token.h"

// Checks a chain and, recursively, its children: prev/next agree, the head's
// tail is the last token, no head has a prev, and with `parents_cover` every
// parent ends where its last child ends.
inline testing::AssertionResult chain_is_consistent(const token *head, bool parents_cover = true,
                                                    int depth = 0) {
    if (!head)
        return testing::AssertionSuccess();
    if (head->prev)
        return testing::AssertionFailure() << "head at depth " << depth << " has a prev";
    const token *last = head;
    for (const token *t = head; t; t = t->next) {
        if (t->next && t->next->prev != t)
            return testing::AssertionFailure()
                   << "broken prev link after token at " << t->start << " (depth " << depth << ")";
        if (t->child) {
            auto inner = chain_is_consistent(t->child, parents_cover, depth + 1);
            if (!inner)
                return inner;
            const token *child_last = t->child->tail;
            if (parents_cover && child_last->start + child_last->len != t->start + t->len)
                return testing::AssertionFailure()
                       << "parent at " << t->start << " ends at " << t->start + t->len
                       << " but its last child ends at " << child_last->start + child_last->len;
        }
        last = t;
    }
    if (head->tail != last)
        return testing::AssertionFailure() << "stale tail on head at depth " << depth;
    return testing::AssertionSuccess();
}

// The chain's tokens as "type:start:len" separated by spaces.
inline std::string chain_summary(const token *t) {
    std::string out;
    for (; t; t = t->next) {
        if (!out.empty())
            out += ' ';
        out += std::to_string(t->type) + ":" + std::to_string(t->start) + ":" +
               std::to_string(t->len);
    }
    return out;
}

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "library/trie.h"

namespace {

// "start:length:type" for every match after the head, space-separated.
std::string summary(trie_match *head) {
    std::string out;
    for (trie_match *m = head ? head->next : nullptr; m; m = m->next) {
        if (!out.empty())
            out += ' ';
        out += std::to_string(m->start) + ":" + std::to_string(m->len) + ":" +
               std::to_string(m->match_type);
    }
    return out;
}

trie *build(const std::vector<std::pair<const char *, unsigned short>> &keys, size_t cap = 0) {
    trie *a = trie_new(cap);
    for (auto &[key, type] : keys)
        EXPECT_TRUE(trie_insert(a, key, type));
    trie_prepare(a);
    return a;
}

std::string search(trie *a, const char *text, bool filtered) {
    trie_match *m = filtered ? trie_search_leftmost_longest(a, text, 0, (size_t)-1)
                             : trie_search(a, text, 0, (size_t)-1);
    std::string s = summary(m);
    trie_match_free(m);
    return s;
}

TEST(Trie, SearchAndLeftmostLongestFilter) {
    struct Case {
        std::vector<std::pair<const char *, unsigned short>> keys;
        const char *text;
        const char *all;       // every match, by end offset
        const char *filtered;  // after leftmost-longest
    };
    const Case cases[] = {
        {{{"he", 1}, {"she", 2}, {"his", 3}, {"hers", 4}}, "ushers", "1:3:2 2:2:1 2:4:4", "1:3:2"},
        {{{"a", 1}, {"ab", 2}}, "ab", "0:1:1 0:2:2", "0:2:2"},
        // An escape one byte before a mark wins over it.
        {{{"{++", 1}, {"\\{", 17}}, "\\{++", "0:2:17 1:3:1", "0:2:17"},
        // A long match overlapping one survivor on its left and a match on
        // its right: the survivors must not overlap.
        {{{"abcd", 1}, {"f", 2}, {"bcdefg", 3}}, "xxabcdefg", "2:4:1 7:1:2 3:6:3",
         "2:4:1 7:1:2"},
        // Suffix links: "bc" is found inside the longer failed path "abd".
        {{{"abc", 1}, {"bd", 2}}, "abd", "1:2:2", "1:2:2"},
        {{{"aa", 1}}, "aaaa", "0:2:1 1:2:1 2:2:1", "0:2:1 2:2:1"},
        // Case-sensitive, bytes only.
        {{{"Ab", 1}}, "ab AB Ab", "6:2:1", "6:2:1"},
        {{{"\xc3\xa9", 5}}, "caf\xc3\xa9", "3:2:5", "3:2:5"},
        // Nothing found.
        {{{"zz", 1}}, "abc", "", ""},
    };
    for (const Case &c : cases) {
        trie *a = build(c.keys);
        EXPECT_EQ(search(a, c.text, false), c.all) << c.text;
        EXPECT_EQ(search(a, c.text, true), c.filtered) << c.text;
        trie_free(a);
    }
}

// The filter against a brute-force greedy choice on random keys and texts.
TEST(Trie, FilterMatchesGreedyChoiceOnRandomInput) {
    srand(7);
    for (int round = 0; round < 300; round++) {
        trie *a = trie_new(0);
        std::vector<std::string> keys;
        for (int k = 0; k < 5; k++) {
            std::string key;
            for (int n = 1 + rand() % 4; n > 0; n--)
                key += (char)('a' + rand() % 3);
            keys.push_back(key);
            trie_insert(a, key.c_str(), (unsigned short)(k + 1));
        }
        trie_prepare(a);
        std::string text;
        for (int n = rand() % 30; n > 0; n--)
            text += (char)('a' + rand() % 3);

        std::string expected;
        for (size_t p = 0; p < text.size();) {
            size_t best = 0;
            for (auto &k : keys)
                if (text.compare(p, k.size(), k) == 0 && k.size() > best)
                    best = k.size();
            if (!best) {
                p++;
                continue;
            }
            if (!expected.empty())
                expected += ' ';
            expected += std::to_string(p) + ":" + std::to_string(best) + ":" +
                        std::to_string(trie_match_type_of(a, text.substr(p, best).c_str()));
            p += best;
        }
        EXPECT_EQ(search(a, text.c_str(), true), expected) << text;
        trie_free(a);
    }
}

TEST(Trie, SearchRangesStopAtTheEndOrAtANul) {
    trie *a = build({{"ab", 1}});
    const char text[] = "abab\0ab";
    trie_match *m = trie_search(a, text, 0, sizeof text - 1);
    EXPECT_EQ(summary(m), "0:2:1 2:2:1");
    trie_match_free(m);
    m = trie_search(a, text, 1, 3);
    EXPECT_EQ(summary(m), "2:2:1");
    trie_match_free(m);
    EXPECT_EQ(trie_search(a, text, 0, 0), nullptr);
    EXPECT_EQ(trie_search(a, "\0ab", 0, 3), nullptr);
    EXPECT_EQ(trie_search(a, text, 3, (size_t)-1), nullptr);  // "b" then the NUL
    EXPECT_EQ(trie_search(nullptr, text, 0, 4), nullptr);
    trie_free(a);
}

TEST(Trie, InsertRulesAndLookups) {
    trie *a = trie_new(0);
    EXPECT_FALSE(trie_insert(a, "", 1));
    EXPECT_FALSE(trie_insert(a, nullptr, 1));
    EXPECT_FALSE(trie_insert(nullptr, "a", 1));
    EXPECT_EQ(a->size, 1u);

    EXPECT_TRUE(trie_insert(a, "key", 3));
    EXPECT_TRUE(trie_insert(a, "key", 9));  // the second type holds
    EXPECT_TRUE(trie_insert(a, "ke", 0));   // type 0: present, never reported
    trie_prepare(a);
    EXPECT_EQ(search(a, "key", false), "0:3:9");
    EXPECT_EQ(trie_match_type_of(a, "key"), 9);
    EXPECT_EQ(trie_match_type_of(a, "kex"), kTrieNoMatchType);
    EXPECT_EQ(trie_match_type_of(a, ""), 0);
    EXPECT_EQ(trie_find(a, ""), 0u);
    EXPECT_EQ(trie_find(a, "kx"), kTrieNoNode);
    size_t ke = trie_find(a, "ke");
    EXPECT_EQ(trie_find_from(a, ke, "y"), trie_find(a, "key"));
    EXPECT_EQ(trie_find_from(a, ke, ""), ke);
    EXPECT_EQ(trie_find_from(a, 999, "y"), kTrieNoNode);

    // Continuing a key from an inner node, depth counted on from there.
    EXPECT_TRUE(trie_insert_from(a, ke, "g", 4, 2));
    EXPECT_TRUE(trie_insert_from(a, ke, "", 5, 2));
    EXPECT_FALSE(trie_insert_from(a, 999, "g", 4, 2));
    trie_prepare(a);
    EXPECT_EQ(search(a, "keg ke", false), "0:2:5 0:3:4 4:2:5");

    // A key too long for the 16-bit depth is refused, not truncated.
    std::string huge(70000, 'x');
    size_t before = a->size;
    EXPECT_FALSE(trie_insert(a, huge.c_str(), 1));
    EXPECT_EQ(a->size, before);
    trie_free(a);
}

TEST(Trie, NodeArrayDoublesAndKeepsIndices) {
    trie *a = trie_new(0);
    EXPECT_EQ(a->capacity, 256u);
    std::string key(255, 'a');
    ASSERT_TRUE(trie_insert(a, key.c_str(), 1));
    EXPECT_EQ(a->size, 256u);
    EXPECT_EQ(a->capacity, 256u);
    size_t leaf = trie_find(a, key.c_str());
    ASSERT_TRUE(trie_insert(a, "b", 2));
    EXPECT_EQ(a->capacity, 512u);
    EXPECT_EQ(trie_find(a, key.c_str()), leaf);
    trie_prepare(a);
    EXPECT_EQ(search(a, "ab", false), "1:1:2");
    trie_free(a);
}

TEST(Trie, MatchListEditing) {
    trie_match *head = trie_match_new(0, 0, 0);
    trie_match *one = trie_match_add(head, 1, 1, 1);
    trie_match_add(one, 3, 1, 3);
    trie_match_add(one, 2, 1, 2);  // linked between one and three
    EXPECT_EQ(summary(head), "1:1:1 2:1:2 3:1:3");
    EXPECT_EQ(trie_match_count(head), 3u);
    trie_match_remove(one);
    EXPECT_EQ(summary(head), "2:1:2 3:1:3");
    EXPECT_EQ(trie_match_count(nullptr), 0u);
    trie_match_free(head);
    trie_match_free(nullptr);
    trie_matches_leftmost_longest(nullptr);
}

}  // namespace

// Differences between texts: exact results for the documented shapes, and
// round-trip properties over random texts, ASCII and multi-byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "textengine/diff/diff.h"
#include "textengine/test_text.h"

namespace {

using Rec = std::pair<uint32_t, std::string>;

std::vector<Rec> records(const diff *d) {
    std::vector<Rec> out;
    for (; d; d = d->next)
        out.push_back({d->op, d->text ? d->text : ""});
    return out;
}

diff *make(std::initializer_list<Rec> recs) {
    diff *head = nullptr;
    for (const Rec &r : recs)
        dmp_diff_append(&head, dmp_diff_new(r.first, r.second.c_str()));
    return head;
}

std::string take(char *s) {
    std::string out = s ? s : "";
    free(s);
    return out;
}

constexpr uint32_t DEL = DMP_DELETE, EQ = DMP_EQUAL, INS = DMP_INSERT;

TEST(Diff, MainShapes) {
    struct Case {
        const char *a, *b;
        std::vector<Rec> want;
    } cases[] = {
        {"", "", {{EQ, ""}}},
        {"same", "same", {{EQ, "same"}}},
        {"", "x", {{EQ, ""}, {INS, "x"}, {EQ, ""}}},
        {"aXXb", "aXYb", {{EQ, "aX"}, {DEL, "X"}, {INS, "Y"}, {EQ, "b"}}},
        {"a\xC3\xA9", "a\xC3\xA8", {{EQ, "a"}, {DEL, "\xC3\xA9"}, {INS, "\xC3\xA8"}, {EQ, ""}}},
        {"\xC3\xA7" "a", "\xC3\xA9\xC3\xA7" "a", {{EQ, ""}, {INS, "\xC3\xA9"}, {EQ, "\xC3\xA7" "a"}}},
        {"abc", "xabcy", {{EQ, ""}, {INS, "x"}, {EQ, "abc"}, {INS, "y"}, {EQ, ""}}},
    };
    for (const Case &c : cases) {
        diff *d = dmp_diff_main_strings(c.a, c.b);
        EXPECT_EQ(records(d), c.want) << c.a << " -> " << c.b;
        dmp_diff_free(d);
    }
    EXPECT_EQ(dmp_diff_main(nullptr, "x", 0, 1), nullptr);
}

TEST(Diff, SemanticCleanupAndLosslessShift) {
    diff *d = dmp_diff_cleanup_semantic(make({{DEL, "abc"}, {EQ, "x"}, {INS, "def"}}));
    EXPECT_EQ(records(d), (std::vector<Rec>{{EQ, ""}, {DEL, "abcx"}, {INS, "xdef"}, {EQ, ""}}));
    dmp_diff_free(d);
    d = dmp_diff_cleanup_semantic_lossless(make({{EQ, "The cat"}, {INS, " cat"}, {EQ, " came."}}));
    EXPECT_EQ(records(d), (std::vector<Rec>{{EQ, "The cat "}, {INS, "cat "}, {EQ, "came."}}));
    dmp_diff_free(d);
    EXPECT_EQ(dmp_diff_cleanup_semantic(nullptr), nullptr);
}

TEST(Diff, SemanticScoreOrder) {
    int blank = dmp_diff_semantic_score("a\n\n", "b");
    int line = dmp_diff_semantic_score("a\n", "b");
    int space = dmp_diff_semantic_score("a ", "b");
    int punct = dmp_diff_semantic_score("a", "\xC3");
    int inner = dmp_diff_semantic_score("a", "b");
    EXPECT_GT(blank, line);
    EXPECT_GT(line, space);
    EXPECT_GT(space, punct);
    EXPECT_GT(punct, inner);
    EXPECT_EQ(dmp_diff_semantic_score("", "x"), 6);
}

TEST(Diff, CriticMarkupAndOffsets) {
    diff *d = make({{DEL, "a"}, {INS, "b"}});
    EXPECT_EQ(take(dmp_diff_to_critic_markup(d)), "{~~a~>b~~}");
    dmp_diff_free(d);
    d = make({{INS, "b"}, {DEL, "a"}, {EQ, "c"}});
    EXPECT_EQ(take(dmp_diff_to_critic_markup(d)), "{++b++}{--a--}c");
    EXPECT_EQ(take(dmp_diff_to_critic_markup(nullptr)), "");
    dmp_diff_free(d);

    d = make({{EQ, "ab"}, {DEL, "cd"}, {INS, "XYZ"}, {EQ, "ef"}});
    EXPECT_EQ(dmp_diff_x_index(d, 1), 1u);
    EXPECT_EQ(dmp_diff_x_index(d, 3), 2u);  // inside the deletion
    EXPECT_EQ(dmp_diff_x_index(d, 4), 5u);
    EXPECT_EQ(dmp_diff_x_index(d, 9), 10u);
    EXPECT_EQ(dmp_diff_levenshtein(d), 3u);
    EXPECT_EQ(take(dmp_diff_text1(d)), "abcdef");
    EXPECT_EQ(take(dmp_diff_text2(d)), "abXYZef");
    dmp_diff_free(d);
}

TEST(Diff, RecordOperations) {
    diff *d = dmp_diff_new(INS, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(dmp_diff_last_char_length(d), 2u);
    dmp_diff_prepend_text(d, "<", 1);
    dmp_diff_append_text(d, ">", 1);
    dmp_diff_drop_head_bytes(d, 1);
    dmp_diff_drop_tail_bytes(d, 3);
    EXPECT_STREQ(d->text, "\xC3\xA9t");
    size_t p = 0, s = 0;
    dmp_common_prefix_suffix("abXcd", "abYYcd", &p, &s);
    EXPECT_EQ(p, 2u);
    EXPECT_EQ(s, 2u);
    // Prefixes stop before a split character.
    dmp_common_prefix_suffix("x\xC3\xA9", "x\xC3\xA8", &p, &s);
    EXPECT_EQ(p, 1u);
    dmp_diff_drop_first(&d);
    EXPECT_EQ(d, nullptr);
    dmp_diff_drop_first(nullptr);
    dmp_diff_append(nullptr, nullptr);
}

// Applying the records must rebuild both texts, and no record may split a
// character.
void check_round_trip(const std::string &a, const std::string &b, bool semantic) {
    diff *d = dmp_diff_main(a.data(), b.data(), a.size(), b.size());
    if (semantic)
        d = dmp_diff_cleanup_semantic(d);
    ASSERT_EQ(take(dmp_diff_text1(d)), a);
    ASSERT_EQ(take(dmp_diff_text2(d)), b);
    for (const diff *r = d; r; r = r->next)
        ASSERT_TRUE(test_text::valid_utf8(r->text)) << "record splits a character";
    dmp_diff_free(d);
}

TEST(DiffProperty, RandomTextsRoundTrip) {
    std::mt19937 rng(17);
    for (int round = 0; round < 400; round++) {
        bool multibyte = round % 2;
        std::string a = test_text::random_text(rng, rng() % 60, multibyte);
        std::string b = round % 3 ? test_text::mutate(rng, a, multibyte) : test_text::random_text(rng, rng() % 60, multibyte);
        check_round_trip(a, b, false);
        check_round_trip(a, b, true);
    }
}

TEST(DiffProperty, LargeUnrelatedTextsStayCorrect) {
    std::mt19937 rng(5);
    std::string a = test_text::random_text(rng, 200000, true);
    std::string b = test_text::random_text(rng, 200000, true);
    check_round_trip(a, b, false);
}

}  // namespace

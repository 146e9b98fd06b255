// Fuzzy matching and patches: scoring, option checks, the bitap family,
// patch making, and make-then-apply round trips, onto the text they were
// made from and onto another version of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "textengine/diff/patch.h"
#include "textengine/test_text.h"

namespace {

struct Options {
    dmp_options *o = dmp_options_new();
    ~Options() { dmp_options_free(o); }
};

std::string take(char *s) {
    std::string out = s ? s : "";
    free(s);
    return out;
}

long match(const std::string &text, const std::string &pattern, size_t loc, const dmp_options *o) {
    return dmp_match_main(text.data(), text.size(), pattern.data(), pattern.size(), loc, o);
}

TEST(Match, MainFindsNearExpectedPlace) {
    Options opt;
    EXPECT_EQ(match("abcdef", "de", 3, opt.o), 3);
    EXPECT_EQ(match("abcdef", "de", 0, opt.o), 3);
    EXPECT_EQ(match("abcdef", "abcdef", 2, opt.o), 0);
    EXPECT_EQ(match("abcdefghijk", "efxhi", 0, opt.o), 4);  // one wrong byte, near
    opt.o->match_threshold = 0.1f;
    EXPECT_EQ(match("abcdefghijk", "efxhi", 4, opt.o), -1);  // 0.2 errors exceed 0.1
    std::string far = std::string(150, '-') + "pattern";
    EXPECT_EQ(match(far, "pattern", 0, opt.o), -1);  // 0.15 away
    opt.o->match_threshold = 0.5f;
    EXPECT_EQ(match(far, "pattern", 0, opt.o), 150);
}

TEST(Match, MisuseAndInvalidOptions) {
    Options opt;
    testing::internal::CaptureStderr();
    EXPECT_EQ(dmp_match_main("", 0, "a", 1, 0, opt.o), -1);
    EXPECT_EQ(dmp_match_main("abc", 3, nullptr, 0, 0, opt.o), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Empty text for match.\nInvalid match request.\n");

    // Values that would divide by zero or never finish a loop are refused.
    struct Bad {
        void (*set)(dmp_options *);
    } bad[] = {
        {[](dmp_options *o) { o->match_max_bits = 0; }},
        {[](dmp_options *o) { o->match_max_bits = 64; }},
        {[](dmp_options *o) { o->patch_margin = 16; }},
        {[](dmp_options *o) { o->patch_margin = -1; }},
        {[](dmp_options *o) { o->match_distance = -5; }},
        {[](dmp_options *o) { o->match_threshold = NAN; }},
    };
    for (const Bad &b : bad) {
        Options o;
        b.set(o.o);
        EXPECT_FALSE(dmp_options_valid(o.o));
        testing::internal::CaptureStderr();
        EXPECT_EQ(match("abc", "b", 0, o.o), -1);
        EXPECT_EQ(dmp_patch_make("a", "b", o.o), nullptr);
        testing::internal::GetCapturedStderr();
    }
    // A distance of 0 only accepts the expected place.
    opt.o->match_distance = 0;
    EXPECT_EQ(match("xxabcxx", "abd", 2, opt.o), 2);
    EXPECT_EQ(match("xxabcxx", "abd", 0, opt.o), -1);
    EXPECT_DOUBLE_EQ(dmp_match_score(0, 5, 0, 0, 0), 1.0);
    EXPECT_DOUBLE_EQ(dmp_match_score(0, 5, 0, 0, 10), 0.5);  // empty pattern: no division by zero
}

TEST(Match, FuzzyHitsStartOnCharacterBoundaries) {
    Options opt;
    // The pattern's first byte is wrong, so the best alignment begins
    // on a continuation byte; the result moves to the character's start.
    std::string text = "aaaa\xC3\xA9tude";
    long at = match(text, "\xA9tudx", 0, opt.o);
    ASSERT_GE(at, 0);
    EXPECT_FALSE((text[(size_t)at] & 0xC0) == 0x80);
}

TEST(Bitap, Family) {
    const char *t = "abcXabcY";
    EXPECT_EQ(dmp_bitap_find_string(t, "abc"), t);
    EXPECT_EQ(dmp_bitap_rfind_string(t, "abc"), t + 4);
    EXPECT_EQ(dmp_bitap_rfind(t, 6, "abc", 3), t + 0);
    EXPECT_EQ(dmp_bitap_find_string(t, ""), t);
    EXPECT_EQ(dmp_bitap_rfind_fuzzy(t, 8, "", 0, 1), t + 8);
    EXPECT_EQ(dmp_bitap_find_fuzzy_string(t, "abY", 1), t);
    EXPECT_EQ(dmp_bitap_rfind_fuzzy_string(t, "aXc", 1), t + 4);
    EXPECT_EQ(dmp_bitap_find_fuzzy_string(t, "qqq", 2), nullptr);
    testing::internal::CaptureStderr();
    std::string longp(32, 'a');
    EXPECT_EQ(dmp_bitap_find_string(longp.c_str(), longp.c_str()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "bitap search pattern > 31 characters.\n");
}

TEST(Patch, MakeShapes) {
    Options opt;
    patch *p = dmp_patch_make("The quick brown fox.", "The quick red fox.", opt.o);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->next, nullptr);
    EXPECT_EQ(p->start1, 6u);
    EXPECT_EQ(p->start2, 6u);
    EXPECT_STREQ(p->diffs->text, "ick ");
    EXPECT_STREQ(dmp_patch_last_diff(p)->text, " fox");
    dmp_patch_free(p);

    p = dmp_patch_make("same", "same", opt.o);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->diffs, nullptr);
    bool ok = false;
    EXPECT_EQ(take(dmp_patch_apply(p, "other", &ok, opt.o)), "other");
    EXPECT_TRUE(ok);
    dmp_patch_free(p);

    EXPECT_EQ(take(dmp_patch_apply(nullptr, "x", &ok, opt.o)), "x");
    EXPECT_FALSE(ok);
    EXPECT_EQ(dmp_patch_apply(nullptr, nullptr, &ok, opt.o), nullptr);
}

TEST(Patch, ContextNeverSplitsACharacter) {
    Options opt;
    patch *p = dmp_patch_make("\xE2\x82\xAC\xE2\x82\xAC" "ab", "\xE2\x82\xAC\xE2\x82\xAC" "ac", opt.o);
    for (patch *q = p; q; q = q->next)
        for (diff *d = q->diffs; d; d = d->next)
            EXPECT_TRUE(test_text::valid_utf8(d->text));
    dmp_patch_free(p);
}

std::string apply(const std::string &a, const std::string &b, const std::string &to, bool *ok, const dmp_options *o) {
    patch *p = dmp_patch_make(a.c_str(), b.c_str(), o);
    std::string out = take(dmp_patch_apply(p, to.c_str(), ok, o));
    dmp_patch_free(p);
    return out;
}

TEST(PatchProperty, MakeThenApplyRoundTrips) {
    Options opt;
    std::mt19937 rng(42);
    for (int round = 0; round < 300; round++) {
        bool multibyte = round % 2;
        std::string a = test_text::random_text(rng, rng() % 120, multibyte);
        std::string b = round % 4 ? test_text::mutate(rng, a, multibyte) : test_text::random_text(rng, rng() % 120, multibyte);
        bool ok = false;
        ASSERT_EQ(apply(a, b, a, &ok, opt.o), b) << round;
        EXPECT_TRUE(ok);
    }
}

TEST(PatchProperty, LongEditsSplitAndApply) {
    Options opt;
    std::mt19937 rng(7);
    for (int round = 0; round < 40; round++) {
        std::string a = test_text::random_text(rng, 300, round % 2);
        std::string b = a;
        size_t at = test_text::char_boundary(b, rng() % b.size());
        // Inserted or deleted runs longer than one patch.
        if (round % 4 < 2)
            b.insert(at, test_text::random_text(rng, 80, round % 2));
        else
            b.erase(at, test_text::char_boundary(b, std::min(b.size(), at + 40 + rng() % 80)) - at);
        bool ok = false;
        ASSERT_EQ(apply(a, b, a, &ok, opt.o), b);
        EXPECT_TRUE(ok);
    }
}

TEST(Patch, LongDeletesAcrossCharactersRoundTrip) {
    // Deletes longer than one patch are applied in pieces whose tail is found
    // by its last bytes; those may start inside a character, or on stray
    // bytes of invalid text, and must still be taken where they were found.
    const std::string emoji = "\xF0\x9F\x98\x80";
    struct Case {
        std::string a, b;
    } cases[] = {
        {emoji + emoji + emoji + emoji + emoji + emoji + emoji, emoji},
        {std::string(9, 'x') + "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
                               "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC",
         "xx"},
        {std::string("\x01\x01'\x01" "0`\x01\x01\xEE\xAA\xAA\xAA\xAA\xAA\xAA\xAA/0\x01\x01`@\x01" "f \x11`\x01"
                     "\x91\x92\xBC\xB8\x01\x01\xEE\xAA\xAA\xAA\xAA\xAA\xCA\x01\x01\x01\xEE\xAA\xB8\xAA\xAA\xAA"),
         "\x01" "0`\x01\x01\xEE\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA"},
    };
    Options opt;
    for (const Case &c : cases) {
        bool ok = false;
        EXPECT_EQ(apply(c.a, c.b, c.a, &ok, opt.o), c.b) << c.a.size();
        EXPECT_TRUE(ok);
    }
}

// One version's changes as patches onto another version of the text; when
// they do not fit, the other way round.
std::string merge3(const std::string &base, const std::string &local, const std::string &outside, bool *ok) {
    Options opt;
    opt.o->match_threshold = 0.1f;
    std::string merged = apply(base, outside, local, ok, opt.o);
    if (!*ok)
        merged = apply(base, local, outside, ok, opt.o);
    return merged;
}

TEST(PatchProperty, ThreeWayMerge) {
    std::mt19937 rng(3);
    for (int round = 0; round < 100; round++) {
        bool multibyte = round % 2;
        std::string head = test_text::random_text(rng, 60, multibyte);
        std::string mid = test_text::random_text(rng, 60, multibyte);
        std::string tail = test_text::random_text(rng, 60, multibyte);
        std::string base = head + "<<one>>" + mid + "<<two>>" + tail;
        std::string local = head + "<<ONE local>>" + mid + "<<two>>" + tail;
        std::string outside = head + "<<one>>" + mid + "<<TWO outside>>" + tail;
        bool ok = false;
        EXPECT_EQ(merge3(base, local, outside, &ok), head + "<<ONE local>>" + mid + "<<TWO outside>>" + tail);
        EXPECT_TRUE(ok);
    }
    // Both sides rewrote the same words: reported as a failure.
    std::string base = "Alpha beta gamma delta epsilon zeta eta theta.";
    std::string local = "Alpha beta GAMMA-LOCAL delta epsilon zeta eta theta.";
    std::string outside = "Alpha beta gamma-outside-edit delta epsilon zeta eta theta.";
    std::string local_before = local;
    bool ok = true;
    merge3(base, local, outside, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(local, local_before);
}

TEST(PatchProperty, ApplyOnUnrelatedTextLeavesItAndFails) {
    Options opt;
    bool ok = true;
    std::string target = "completely unrelated words here";
    EXPECT_EQ(apply("The quick brown fox.", "The quick red fox.", target, &ok, opt.o), target);
    EXPECT_FALSE(ok);
}

}  // namespace

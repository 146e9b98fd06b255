#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "textengine/typing/autocomplete.h"
#include "textengine/buffer/smart_string.h"
#include "textengine/typing/tst.h"

namespace {

struct SStringDeleter {
    void operator()(_SString *s) const { smart_string_free(s, true); }
};
using SStringPtr = std::unique_ptr<_SString, SStringDeleter>;

std::string take(char *text) {
    std::string out = text ? text : "(null)";
    free(text);
    return out;
}

TEST(Tst, ReversedKeysAndLongestMatches) {
    TST *root = nullptr;
    char a[] = "A", b[] = "B", c[] = "C";
    EXPECT_TRUE(tst_insert_reversed(&root, "sig", a));
    EXPECT_TRUE(tst_insert_reversed(&root, "xsig", b));
    EXPECT_FALSE(tst_insert_reversed(&root, "", c));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(tst_insert_reversed(&root, "sig", c));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Payload already set for TST node\n");
    EXPECT_EQ(tst_get_reversed(root, "sig"), a);
    EXPECT_EQ(tst_get_reversed(root, "ig"), nullptr);

    size_t begin = 99;
    EXPECT_EQ(tst_longest_suffix(root, "abxsig", &begin), b);
    EXPECT_EQ(begin, 2u);
    EXPECT_EQ(tst_longest_suffix(root, "ysig", &begin), a);
    EXPECT_EQ(begin, 1u);
    EXPECT_EQ(tst_longest_suffix_at(root, "sigma", 2, &begin), a);
    EXPECT_EQ(tst_longest_suffix(root, "si", &begin), nullptr);
    tst_free(root);

    TST *forward = nullptr;
    tst_insert(&forward, "in", a);
    tst_insert(&forward, "inside", b);
    tst_insert(&forward, "in", c);  // overwrites
    size_t length = 0;
    EXPECT_EQ(tst_longest_prefix(forward, "insider", &length), b);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(tst_longest_prefix(forward, "inn", &length), c);
    EXPECT_EQ(length, 2u);
    char *reversed = string_reverse("abc");
    EXPECT_STREQ(reversed, "cba");
    free(reversed);
    tst_free(forward);
}

TEST(Autocomplete, WordsPrefixesAndOrder) {
    SStringPtr s(smart_string_new("", 0xB01));
    smart_string_autocomplete_add_words(s.get(),
                                        "The quick, brown fox; the QUICK \xC3\xA9t\xC3\xA9 there.");
    struct Case {
        const char *prefix;
        const char *expected;
    } cases[] = {
        {"qu", "quick"},
        {"the", "there"},  // the prefix itself is not listed
        {"zz", ""},
        // Signed bytes: non-ASCII before ASCII, capitals before lower case.
        {"", "\xC3\xA9t\xC3\xA9\nQUICK\nThe\nbrown\nfox\nquick\nthe\nthere"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(take(smart_string_autocomplete_prefix(s.get(), c.prefix)), c.expected)
            << c.prefix;

    smart_string_autocomplete_set_words(s.get(), "only words");
    EXPECT_EQ(take(smart_string_autocomplete_prefix(s.get(), "")), "only\nwords");
    smart_string_autocomplete_set_words(s.get(), "");
    EXPECT_EQ(take(smart_string_autocomplete_prefix(s.get(), "")), "");
    EXPECT_EQ(smart_string_autocomplete_prefix(nullptr, "a"), nullptr);

    // A very long word is stored and listed without deep recursion.
    std::string long_word(200000, 'w');
    smart_string_autocomplete_add(s.get(), long_word.c_str());
    EXPECT_EQ(take(smart_string_autocomplete_fuzzy(s.get(), "ww")), long_word);
}

TEST(Autocomplete, FuzzyScoresAndRanking) {
    struct Case {
        const char *pattern, *word;
        int32_t score;
    } cases[] = {
        {"", "abc", 0},      {"fb", "foobar", 8}, {"fb", "fab", 9},
        {"fb", "xfb", 4},    {"ab", "x-Ab", 18},  {"FB", "fb", 15},
        {"abc", "ab", 15},   // the word ends first
    };
    for (const auto &c : cases)
        EXPECT_EQ(fuzzy_score(c.pattern, c.word), c.score) << c.pattern << " " << c.word;
    EXPECT_TRUE(fuzzy_match("FB", "xfb"));
    EXPECT_FALSE(fuzzy_match("bf", "fab"));

    SStringPtr s(smart_string_new("", 0xB01));
    smart_string_autocomplete_add_words(s.get(), "foobar fab xfb bfa");
    EXPECT_EQ(take(smart_string_autocomplete_fuzzy(s.get(), "fb")), "fab\nfoobar\nxfb");
    EXPECT_EQ(take(smart_string_autocomplete_fuzzy(s.get(), "q")), "");
    // An empty partial word lists every word.
    std::string all = take(smart_string_autocomplete_fuzzy(s.get(), ""));
    EXPECT_EQ(all.size(), std::string("foobar\nfab\nxfb\nbfa").size());
}

}  // namespace

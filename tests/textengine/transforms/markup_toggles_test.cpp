// Emphasis and strong toggles: (text, selection, toggle) -> text and the
// new selection, with the returned text put in place of the returned range.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "library/engine.h"
#include "textengine/transforms/markup_toggles.h"

namespace {

enum Kind { kStrong, kEmphasis };

struct Outcome {
    std::string text;
    size_t selection_start, selection_length;
};

// The text with "[" and "]" marking the selection (or "^" a caret).
Outcome toggle(const std::string &marked, Kind kind, const char *marker) {
    std::string text;
    size_t start = 0, end = 0;
    for (char c : marked) {
        if (c == '[' || c == '^')
            start = end = text.size();
        if (c == ']')
            end = text.size();
        if (c != '[' && c != ']' && c != '^')
            text += c;
    }
    if (marked.find('^') != std::string::npos)
        end = start;
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), 0);
    size_t s = start, l = end - start, sel_start = 0, sel_length = 0;
    char *out = markup_toggle_on_range(e, &s, &l, &sel_start, &sel_length, marker, marker,
                                       kind == kStrong, kind == kEmphasis);
    tzr_engine_free(e, true);
    std::string result = text.substr(0, s) + out + text.substr(s + l);
    free(out);
    return {result, sel_start, sel_length};
}

// The outcome written the same way: "[" and "]" around the new selection.
std::string marked(const Outcome &o) {
    std::string t = o.text;
    if (o.selection_length == 0)
        return t.insert(o.selection_start, "^");
    t.insert(o.selection_start + o.selection_length, "]");
    return t.insert(o.selection_start, "[");
}

TEST(MarkupToggle, Selections) {
    struct Case {
        const char *text;
        Kind kind;
        const char *marker;
        const char *expected;
    } cases[] = {
        {"a [word] here", kStrong, "**", "a **[word]** here"},
        {"a [word] here", kStrong, "__", "a __[word]__ here"},
        {"a[ word ]here", kEmphasis, "*", "a *[word]* here"},
        {"a **[word]** here", kStrong, "**", "a [word] here"},
        {"a [**word**] here", kStrong, "**", "a [word] here"},
                // The selection covers what the unwrapped pair held.
        {"a ***[word]*** here", kEmphasis, "*", "a [**word**] here"},
        {"a ***[word]*** here", kStrong, "**", "a [*word*] here"},
        {"[one\n\ntwo]\n", kEmphasis, "*", "*[one*\n\n*two]*\n"},
                // The markup goes inside the marker and the closing hashes; the
        // selection starts the opener's length after the selection start.
        {"[* item]\n", kStrong, "**", "* [**item]**\n"},
        {"[# Head #]\n", kEmphasis, "*", "#[ *Head* ]#\n"},
        {"[a **b** c]", kStrong, "**", "**[a b c]**"},
        {"[a *b* c]", kStrong, "**", "**[a *b* c]**"},
        {"| [a | b] |\n|---|---|\n| 1 | 2 |\n", kStrong, "**", "| **[a** | **b]** |\n|---|---|\n| 1 | 2 |\n"},
        // Nothing here can carry markup: the code stays as it is.
        {"    [code]\n", kStrong, "**", "    [code]\n"},
        {"> [quoted]\n", kEmphasis, "_", "> _[quoted]_\n"},
    };
    for (const Case &k : cases)
        EXPECT_EQ(marked(toggle(k.text, k.kind, k.marker)), k.expected) << k.text;
}

TEST(MarkupToggle, Carets) {
    struct Case {
        const char *text;
        Kind kind;
        const char *marker;
        const char *expected;
    } cases[] = {
        {"a ^ b", kStrong, "**", "a **^** b"},
        {"a *em^* b", kEmphasis, "*", "a *em*^ b"},
        {"a **^** b", kStrong, "**", "a ^ b"},
        {"a **^** b", kEmphasis, "*", "a ***^*** b"},
        {"a *^* b", kEmphasis, "*", "a ^ b"},
        {"a *^* b", kStrong, "**", "a ***^*** b"},
        {"a ***^*** b", kStrong, "**", "a *^* b"},
        {"a ***^*** b", kEmphasis, "*", "a **^** b"},
    };
    for (const Case &k : cases)
        EXPECT_EQ(marked(toggle(k.text, k.kind, k.marker)), k.expected) << k.text;
}

// A pair that straddles the selection keeps both its markers and no byte of
// the user's text goes.
TEST(MarkupToggle, StraddlingPairsKeepTheText) {
    struct Case {
        const char *text;
        Kind kind;
        const char *expected;
    } cases[] = {
        {"**ab [cd** ef]", kStrong, "**ab **[cd** ef]**"},
        {"[ab **cd] ef**", kStrong, "**[ab **cd]** ef**"},
        {"*ab [cd* ef *gh*]", kEmphasis, "*ab *[cd* ef gh]*"},
    };
    for (const Case &k : cases) {
        Outcome o = toggle(k.text, k.kind, k.kind == kStrong ? "**" : "*");
        EXPECT_EQ(marked(o), k.expected) << k.text;
        std::string letters;
        for (char c : o.text)
            if (c != '*')
                letters += c;
        std::string original;
        for (char c : std::string(k.text))
            if (c != '*' && c != '[' && c != ']')
                original += c;
        EXPECT_EQ(letters, original) << k.text;
    }
}

TEST(MarkupToggle, RangeAdjustAndIntersection) {
    DString *d = d_string_new("x **ab** y");
    size_t s = 4, l = 2, open = 0, close = 0;
    markup_range_adjust(d, &s, &l, &open, &close);
    EXPECT_EQ(s, 2u);
    EXPECT_EQ(l, 6u);
    EXPECT_EQ(open, 2u);
    EXPECT_EQ(close, 2u);
    s = 1, l = 9;
    markup_range_adjust(d, &s, &l, &open, &close);
    EXPECT_EQ(s, 2u);
    EXPECT_EQ(l, 8u);
    d_string_free(d, true);

    size_t is = 0, il = 0;
    range_intersection(2, 5, 4, 10, &is, &il);
    EXPECT_EQ(is, 4u);
    EXPECT_EQ(il, 3u);
    range_intersection(2, 2, 4, 10, &is, &il);
    EXPECT_EQ(is, (size_t)-1);
    EXPECT_EQ(il, 0u);
}

TEST(MarkupToggle, SurvivesBadInput) {
    size_t s = 50, l = 50, a = 0, b = 0;
    tzr_engine *e = tzr_engine_create_with_string("short", 0);
    char *out = markup_toggle_on_range(e, &s, &l, &a, &b, "**", "**", true, false);
    EXPECT_NE(out, nullptr);
    free(out);
    tzr_engine_free(e, true);
    out = markup_toggle_on_range(nullptr, &s, &l, &a, &b, "*", "*", false, true);
    EXPECT_STREQ(out, "");
    free(out);
}

}  // namespace

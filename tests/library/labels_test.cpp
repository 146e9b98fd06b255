#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "library/labels.h"

namespace {

// Takes over a malloc'd result; NULL becomes "<null>".
std::string take(char *s) {
    std::string r = s ? s : "<null>";
    free(s);
    return r;
}

// A bracket pair over [start, start + len) with its two markers mated.
token *bracket(size_t start, size_t len, size_t opener_len = 1) {
    token *open = token_new(BRACKET_LEFT, start, opener_len);
    token *inner = token_new(TEXT, start + opener_len, len - opener_len - 1);
    token *close = token_new(BRACKET_RIGHT, start + len - 1, 1);
    open->mate = close;
    close->mate = open;
    token_chain_append(open, inner);
    token_chain_append(open, close);
    return token_new_parent(open, PAIR_BRACKET);
}

// A heading over `src` whose children are the given tokens, in order.
token *heading(std::vector<token *> children) {
    token *h = token_new(BLOCK_H1, 0, 0);
    for (token *c : children)
        token_append_child(h, c);
    return h;
}

TEST(Label, Rule) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"", ""},
        {"!!!", ""},
        {"Hello World", "helloworld"},
        {"[Some Label]", "somelabel"},
        {"## Hello, World ##", "helloworld"},
        {"a.b-c_d:e", "a.b-c_d:e"},
        {"rev1.2_beta", "rev1.2_beta"},
        {"\xC3\x84\xC3\x96", "\xC3\x84\xC3\x96"},            // ÄÖ kept, not lowered
        {"\xC3\x87" "a va", "\xC3\x87" "ava"},               // Ça va
        {"\xE2\x82\xAC 5", "\xE2\x82\xAC" "5"},              // three-byte character
        {"\xF0\x9F\x98\x80!", "\xF0\x9F\x98\x80"},           // four-byte character
        {"x\xC3", "x"},                                      // cut-off lead byte dropped
        {"\x80\x80" "a", "a"},                               // stray continuation bytes
        {"\"\x80<\x80>\x80" "b", "b"},                       // broken UTF-8 cannot carry markup
        {"A\x80", "a"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(take(tzr_label_from_text(c.in)), c.out) << c.in;
    EXPECT_EQ(tzr_label_from_text(nullptr), nullptr);
}

TEST(Label, RangeNeverReadsPastItsEnd) {
    // The lead byte is the range's last byte: its continuation is outside.
    const char text[] = "ab\xC3\xA4";
    EXPECT_EQ(take(tzr_label_from_range(text, 3)), "ab");
    EXPECT_EQ(take(tzr_label_from_range(text, 4)), "ab\xC3\xA4");
}

// A label ends at kTzrLabelLimit bytes, before a character that would pass
// it, never inside one.
TEST(Label, EndsAtItsLimitBetweenCharacters) {
    std::string letters(3 * kTzrLabelLimit, 'x');
    EXPECT_EQ(take(tzr_label_from_range(letters.data(), letters.size())), std::string(kTzrLabelLimit, 'x'));
    std::string spaced;
    for (size_t i = 0; i < kTzrLabelLimit; i++)
        spaced += "X ";
    EXPECT_EQ(take(tzr_label_from_text(spaced.c_str())), std::string(kTzrLabelLimit, 'x'));
    std::string wide = "a";
    while (wide.size() < 2 * kTzrLabelLimit)
        wide += "\xC3\xA4";
    std::string label = take(tzr_label_from_text(wide.c_str()));
    EXPECT_EQ(label.size(), kTzrLabelLimit - 1);
    EXPECT_EQ(label, wide.substr(0, kTzrLabelLimit - 1));
    // A broken run of continuation bytes is one character, kept or left out
    // whole.
    std::string run = "ab\xC3" + std::string(2 * kTzrLabelLimit, '\x80');
    EXPECT_EQ(take(tzr_label_from_text(run.c_str())), "ab");
}

TEST(CleanString, CollapsesWhitespaceAndLowersOnRequest) {
    struct Case {
        const char *in;
        bool lower;
        const char *out;
    } cases[] = {
        {"  Foo \t\n Bar  ", false, "Foo Bar"},
        {"  Foo \t\n Bar  ", true, "foo bar"},
        {"\tA \n B\n", false, "A B"},
        {"\tA \n B\n", true, "a b"},
        {" \t\r\n ", false, ""},
        {"", true, ""},
        {"\xC3\x84" "Bc", true, "\xC3\x84" "bc"},  // bytes from 0x80 up never change
        {"a\r\nb", false, "a b"},
        {"a\xC2\xA0" "b", false, "a\xC2\xA0" "b"},  // NBSP is not whitespace here
        // Long runs of words, with the letters' neighbours in ASCII, blanks
        // and other control bytes at every place of an eight-byte stretch.
        {"@AZ[`az{ ABCDEFGHIJKLMNOPQRSTUVWXYZ@[`{\x7F\xC3\x84\xC3\xA4", true,
         "@az[`az{ abcdefghijklmnopqrstuvwxyz@[`{\x7F\xC3\x84\xC3\xA4"},
        {"@AZ[`az{ ABCDEFGHIJKLMNOPQRSTUVWXYZ@[`{", false, "@AZ[`az{ ABCDEFGHIJKLMNOPQRSTUVWXYZ@[`{"},
        {"ABCDEFG\tHIJKLMNOP\nQRSTUVWXYZABCDEF\x01GHIJ \r\n ABCDEFGH", true,
         "abcdefg hijklmnop qrstuvwxyzabcdef\x01ghij abcdefgh"},
        {"  ABCDEFGHIJKLMNOPQRSTUVWX  ", true, "abcdefghijklmnopqrstuvwx"},
        // Spaces at every place of a stretch, runs of them across two.
        {"Abcdefg Hijklmn  Opqrstuv W xyzABCD e", true, "abcdefg hijklmn opqrstuv w xyzabcd e"},
        {"A b c d e f g h i j k l m n o p ", false, "A b c d e f g h i j k l m n o p"},
        {"ABCDEFG ", true, "abcdefg"},
        {" ABCDEFG", true, "abcdefg"},
        {"ABCDEFG  HIJKLMN        OPQRSTU", false, "ABCDEFG HIJKLMN OPQRSTU"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(take(tzr_clean_string(c.in, c.lower)), c.out) << c.in;
    EXPECT_EQ(tzr_clean_string(nullptr, true), nullptr);
    EXPECT_EQ(take(tzr_clean_string_range("xx A  B yy", 2, 5, true)), "a b");

    // A run of blanks at every place of an eight-byte stretch, after part of
    // it was taken at once: the letters before it are kept, the run is one
    // space.
    for (const char *blanks : {"  ", "\t", " \n ", "\r\n", "    \t "}) {
        for (size_t at = 1; at < 17; at++) {
            std::string in = "ABCDEFGHIJKLMNOPQRSTUVWX";
            std::string out = "abcdefghijklmnopqrstuvwx";
            in.insert(at, blanks);
            out.insert(at, " ");
            EXPECT_EQ(take(tzr_clean_string(in.c_str(), true)), out) << at << " " << blanks;
        }
    }
}

TEST(InsidePair, CutsTheClosingMarkerAtBothEnds) {
    const char *src = "[^Note  1] [text]";
    token *note = bracket(0, 10, 2);
    token *plain = bracket(11, 6);
    EXPECT_EQ(take(tzr_text_inside_pair(src, note)), "^Note  1");
    EXPECT_EQ(take(tzr_clean_text_inside_pair(src, note, true)), "^note 1");
    EXPECT_EQ(take(tzr_label_from_token(src, note)), "note1");
    EXPECT_EQ(take(tzr_text_inside_pair(src, plain)), "text");

    // Without a closing marker the opener and the last byte go.
    note->child->mate = nullptr;
    EXPECT_EQ(take(tzr_text_inside_pair(src, note)), "Note  1");

    // A degenerate pair shorter than its markers has nothing inside.
    token *tiny = token_new(PAIR_BRACKET, 0, 1);
    token_append_child(tiny, token_new(BRACKET_LEFT, 0, 1));
    EXPECT_EQ(take(tzr_text_inside_pair(src, tiny)), "");

    EXPECT_EQ(tzr_text_inside_pair(nullptr, plain), nullptr);
    EXPECT_EQ(tzr_text_inside_pair(src, nullptr), nullptr);
    token *childless = token_new(PAIR_BRACKET, 0, 3);
    EXPECT_EQ(tzr_clean_text_inside_pair(src, childless, false), nullptr);
    for (token *t : {note, plain, tiny, childless})
        token_free(t);
}

TEST(HeaderLabel, ManualLabelAtTheEnd) {
    const char *src = "# Intro [my-intro]\n";
    token *h = heading({token_new(MARKER_H1, 0, 2), token_new(TEXT, 2, 5), token_new(TEXT, 7, 1),
                        bracket(8, 10), token_new(NEWLINE, 18, 1)});
    token *label = tzr_header_manual_label(h, src);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->type, MANUAL_LABEL);
    EXPECT_EQ(label->start, 8u);
    // A second call finds the already retyped token.
    EXPECT_EQ(tzr_header_manual_label(h, src), label);
    EXPECT_EQ(take(tzr_label_from_header(src, h)), "my-intro");
    token_free(h);
}

TEST(HeaderLabel, BracketRunsAndTrailingText) {
    // Each case: the source and the starts and lengths of its brackets,
    // followed by an optional trailing token; `label_at` is the start of the
    // expected manual label, or -1.
    struct Case {
        const char *src;
        std::vector<std::pair<size_t, size_t>> brackets;
        int trailing;  // 0 none, 1 a single-space TEXT, 2 other TEXT
        long label_at;
        const char *id;
    } cases[] = {
        {"# T [x]", {{4, 3}}, 0, 4, "x"},
        {"# T [x] ", {{4, 3}}, 1, 4, "x"},
        {"# T [x]z", {{4, 3}}, 2, -1, "txz"},
        {"# T [x][y]", {{4, 3}, {7, 3}}, 0, -1, "txy"},
        {"# T [x][y][z]", {{4, 3}, {7, 3}, {10, 3}}, 0, 10, "z"},
    };
    for (const Case &c : cases) {
        std::vector<token *> kids = {token_new(MARKER_H1, 0, 2), token_new(TEXT, 2, 2)};
        for (auto [s, l] : c.brackets)
            kids.push_back(bracket(s, l));
        size_t end = c.brackets.back().first + c.brackets.back().second;
        if (c.trailing)
            kids.push_back(token_new(TEXT, end, 1));
        token *h = heading(kids);
        token *label = tzr_header_manual_label(h, c.src);
        if (c.label_at < 0)
            EXPECT_EQ(label, nullptr) << c.src;
        else
            EXPECT_TRUE(label && (long)label->start == c.label_at) << c.src;
        EXPECT_EQ(take(tzr_label_from_header(c.src, h)), c.id) << c.src;
        token_free(h);
    }
}

TEST(HeaderLabel, PlainHeadingUsesItsWholeText) {
    const char *src = "# 1. Intro\n";
    token *h = heading({token_new(MARKER_H1, 0, 2), token_new(TEXT, 2, 8), token_new(NEWLINE, 10, 1)});
    EXPECT_EQ(tzr_header_manual_label(h, src), nullptr);
    EXPECT_EQ(take(tzr_label_from_header(src, h)), "1.intro");
    token_free(h);
    token *empty = token_new(BLOCK_H1, 0, 0);
    EXPECT_EQ(tzr_header_manual_label(empty, src), nullptr);
    EXPECT_EQ(tzr_header_manual_label(nullptr, src), nullptr);
    token_free(empty);
}

TEST(RawPrint, LeavesOutEmphasisMarkers) {
    const char *src = "a *b* **c**";
    token *first = token_new(TEXT, 0, 2);
    token *em = token_new(PAIR_EMPH, 2, 3);
    token_append_child(em, token_new(EMPH_START, 2, 1));
    token_append_child(em, token_new(TEXT, 3, 1));
    token_append_child(em, token_new(EMPH_STOP, 4, 1));
    token *space = token_new(TEXT, 5, 1);
    token *strong = token_new(PAIR_STRONG, 6, 5);
    token_append_child(strong, token_new(STRONG_START, 6, 2));
    token_append_child(strong, token_new(TEXT, 8, 1));
    token_append_child(strong, token_new(STRONG_STOP, 9, 2));
    token_chain_append(first, em);
    token_chain_append(first, space);
    token_chain_append(first, strong);

    DString *out = d_string_new("");
    tzr_print_token_chain_raw(out, src, first);
    EXPECT_STREQ(out->str, "a b c");
    d_string_erase(out, 0, out->length);
    tzr_print_token_raw(out, src, strong);
    tzr_print_token_raw(out, src, nullptr);
    EXPECT_STREQ(out->str, "c");
    d_string_free(out, true);
    token_tree_free(first);
}

TEST(RawPrint, DeepNestingIsBounded) {
    // 5000 nested emphasis pairs over one byte: printing must neither
    // overflow the stack nor lose the text.
    const char *src = "x";
    token *inner = token_new(TEXT, 0, 1);
    for (int i = 0; i < 5000; i++) {
        token *pair = token_new(PAIR_EMPH, 0, 1);
        token_append_child(pair, inner);
        inner = pair;
    }
    DString *out = d_string_new("");
    tzr_print_token_raw(out, src, inner);
    EXPECT_STREQ(out->str, "x");
    d_string_free(out, true);
    token_free(inner);
}

}  // namespace

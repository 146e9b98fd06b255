#include <gtest/gtest.h>

#include <string>

#include "textengine/buffer/statistics.h"

namespace {

struct Counts {
    const char *text;
    uint64_t characters, words, lines, paragraphs;
};

TEST(Statistics, CountsByTheRules) {
    const Counts cases[] = {
        {"", 0, 0, 0, 0},
        {"a", 1, 1, 1, 1},
        {"a\n\nb", 4, 2, 3, 2},
        {"a\n", 2, 1, 1, 1},
        {"a\n\n", 3, 1, 2, 1},
        {"a\r\nb", 4, 2, 2, 1},        // CR LF is one line ending
        {"a\rb", 3, 2, 2, 1},          // a lone CR is one too
        {"one two  three", 14, 3, 1, 1},
        {"word ", 5, 1, 1, 1},          // trailing blank: a line and a paragraph
        {"  ", 2, 0, 1, 1},
        {"\n\n", 2, 0, 2, 0},
        {"\xC3\xA9t\xC3\xA9", 3, 1, 1, 1},
        {"\xF0\x9F\x98\x80", 2, 1, 1, 1},  // one character, two units
        {"p one\n\np two\n\np three\n", 22, 6, 5, 3},
    };
    for (const auto &c : cases) {
        uint64_t ch = 9, w = 9, l = 9, p = 9;
        text_statistics(c.text, std::string(c.text).size(), &ch, &w, &l, &p);
        EXPECT_EQ(ch, c.characters) << c.text;
        EXPECT_EQ(w, c.words) << c.text;
        EXPECT_EQ(l, c.lines) << c.text;
        EXPECT_EQ(p, c.paragraphs) << c.text;
    }
}

TEST(Statistics, StopsAtTheLengthAndTheNul) {
    uint64_t ch, w, l, p;
    // The CR is the last byte counted: no look past the length at its LF.
    text_statistics("ab\r\ncd", 3, &ch, &w, &l, &p);
    EXPECT_EQ(ch, 3u);
    EXPECT_EQ(l, 1u);
    text_statistics("ab", 100, &ch, &w, &l, &p);
    EXPECT_EQ(ch, 2u);
    text_statistics(nullptr, 5, &ch, &w, &l, &p);
    EXPECT_EQ(ch + w + l + p, 0u);
    text_statistics("abc", 0, &ch, &w, &l, &p);
    EXPECT_EQ(ch + w + l + p, 0u);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "textengine/transforms/title_case.h"

namespace {

std::string cased(const std::string &text) {
    char *out = title_case(text.c_str(), text.size());
    std::string result = out;
    free(out);
    return result;
}

struct Case {
    const char *in;
    const char *out;
};

TEST(TitleCase, HeadlineRules) {
    const Case cases[] = {
        {"the quick brown fox", "The Quick Brown Fox"},
        {"a tale of two cities", "A Tale of Two Cities"},
        {"of mice and men", "Of Mice and Men"},
        // The last word and a word before a colon are capitalised.
        {"what is it for?", "What Is It For?"},
        {"is it for? yes", "Is It for? Yes"},
        {"xx of: yy", "Xx Of: Yy"},
        // Subphrases start after end punctuation and opening quotes.
        {"xx: the yy", "Xx: The Yy"},
        {"xx (the yy) zz", "Xx (The Yy) Zz"},
        {"xx \"the yy\" zz", "Xx \"The Yy\" Zz"},
        {"xx [the yy] zz", "Xx [The Yy] Zz"},
        {"xx \xE2\x80\x9Cthe yy\xE2\x80\x9D zz", "Xx \xE2\x80\x9CThe Yy\xE2\x80\x9D Zz"},
        {"mr. smith of the yard", "Mr. Smith of the Yard"},
        // ... but commas and dashes do not.
        {"xx, the yy", "Xx, the Yy"},
        {"xx - the yy", "Xx - the Yy"},
        // Own capitalisation is kept; small words only lose their first capital.
        {"NASA in the yy", "NASA in the Yy"},
        {"xx AND yy", "Xx aND Yy"},
        {"my iPhone and eBay", "My iPhone and eBay"},
        {"mcdonald's h2o", "Mcdonald's H2o"},
        {"HELLO WORLD", "Hello World"},
        {"1st place in 1999", "1st Place in 1999"},
        // Compounds.
        {"in-depth look at x-ray", "In-Depth Look at X-Ray"},
        {"xx to-do list", "Xx to-Do List"},
        {"step-by-step", "Step-by-Step"},
        {"a run-in", "A Run-in"},
        {"and/or", "And/or"},
        {"foo_bar", "Foo_Bar"},
        // Units copied unchanged.
        {"e.g. the yy", "e.g. the Yy"},
        {"visit example.com for the yy", "Visit example.com for the Yy"},
        {"see https://x.org/a-path the yy", "See https://x.org/a-path the Yy"},
        {"mail john@doe.net about it", "Mail john@doe.net About It"},
        {"wait for it... the end", "Wait for it... the End"},
        {"xx vs. the yy", "Xx vs. the Yy"},
        // Markdown marks, blanks and non-ASCII bytes.
        {"# the heading of it", "# The Heading of It"},
        {"  leading spaces the yy  ", "Leading Spaces the Yy"},
        {"   ", ""},
        {"", ""},
        {"\xC3\xBC" "ber alles", "\xC3\xBC" "Ber Alles"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(cased(c.in), c.out) << "input: '" << c.in << "'";
}

TEST(TitleCase, FirstLineOnly) {
    char *out = title_case_first_line("the first line\nthe second line");
    EXPECT_STREQ(out, "The First Line\nthe second line");
    free(out);
    out = title_case_first_line("no line end");
    EXPECT_STREQ(out, "No Line End");
    free(out);
    out = title_case_first_line(nullptr);
    EXPECT_STREQ(out, "");
    free(out);
}

TEST(TitleCase, LengthBoundsTheInput) {
    char *out = title_case("the end of it", 7);
    EXPECT_STREQ(out, "The End");
    free(out);
}

}  // namespace

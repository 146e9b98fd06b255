// Source clean-up through the window's command: (text, selection, type) ->
// text, with the returned stretch put in place of the returned view range.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "textengine/transforms/cleanup.h"
#include "textengine/buffer/offsets.h"

namespace {

// "[" and "]" mark the selection; without them the whole text is selected.
std::string run(const std::string &marked, int type, long list_marker = 0) {
    std::string text;
    size_t start = 0, end = std::string::npos;
    for (char c : marked) {
        if (c == '[')
            start = text.size();
        else if (c == ']')
            end = text.size();
        else
            text += c;
    }
    if (end == std::string::npos)
        end = text.size();
    size_t unit_start = 0, unit_length = 0;
    utf8_byte_range_to_unit_range(text.c_str(), &unit_start, &unit_length, start, end - start);
    size_t view_location = 0, view_length = 0;
    char *out = cleanup_core_range(text.c_str(), unit_start, unit_length, type, 0, 0, list_marker,
                                   &view_location, &view_length);
    if (!out)
        return text;
    size_t byte_start = 0, byte_length = 0;
    utf8_unit_range_to_byte_range(text.c_str(), view_location, view_length, &byte_start, &byte_length);
    std::string result = text.substr(0, byte_start) + out + text.substr(byte_start + byte_length);
    free(out);
    return result;
}

struct Case {
    const char *text;
    int type;
    const char *expected;
    long list_marker = 0;
};

void check(const Case *cases, size_t n) {
    for (size_t i = 0; i < n; i++)
        EXPECT_EQ(run(cases[i].text, cases[i].type, cases[i].list_marker), cases[i].expected)
            << cases[i].text << " type " << cases[i].type;
}

TEST(Cleanup, RenumberLists) {
    const Case cases[] = {
        {"3. a\n7. b\n10. c\n", 0, "1. a\n2. b\n3. c\n"},
        {"9. a\n9. b\n9. c\n9. d\n9. e\n9. f\n9. g\n9. h\n9. i\n9. j long\n", 0,
         "1. a\n2. b\n3. c\n4. d\n5. e\n6. f\n7. g\n8. h\n9. i\n10. j long\n"},
        {"10. a\n11. b\n", 0, "1. a\n2. b\n"},
        {"1. a\n2. b\n    5. x\n    9. y\n3. c\n", 0, "1. a\n2. b\n    1. x\n    2. y\n3. c\n"},
        {"* a\n- b\n+ c\n", 0, "* a\n* b\n* c\n"},
        // Only the selected list.
        {"[3. a\n4. b\n]\ntext\n\n5. c\n6. d\n", 0, "1. a\n2. b\n\ntext\n\n5. c\n6. d\n"},
        {"3. a\r\n7. b\r\n", 0, "1. a\r\n2. b\r\n"},
        {"[3. a\r\n4. b\r\n]\r\ntext\r\n\r\n5. c\r\n6. d\r\n", 0,
         "1. a\r\n2. b\r\n\r\ntext\r\n\r\n5. c\r\n6. d\r\n"},
        {"plain text\n", 0, "plain text\n"},
    };
    check(cases, std::size(cases));
}

TEST(Cleanup, ListMarkersAndSpacing) {
    const Case cases[] = {
        {"* a\n* b\n* c\n", 7, "1. a\n2. b\n3. c\n", 2},
        {"1. a\n2. b\n3. c\n", 7, "- a\n- b\n- c\n", 2},
        {"10. a\n11. b\n", 7, "+ a\n+ b\n", 1},
        {"1. a\n2. b\n", 7, "* a\n* b\n", -4},
        // The list the selection starts in, and nothing after it.
        {"[* a\n* b\n]\n1. x\n5. y\n", 7, "1. a\n2. b\n\n1. x\n5. y\n", 0},
        {"[10. a\n11. b\n12. c\n]\n* x\n- y\n", 7, "* a\n* b\n* c\n\n* x\n- y\n", 0},
        {"10. a\n11. b\n12. c\n\ntext\n\n* x\n- y\n", 7, "* a\n* b\n* c\n\ntext\n\n* x\n- y\n", 0},
        {"* [a\n* b\n]\n3. x\n4. y\n", 7, "1. a\n2. b\n\n3. x\n4. y\n", 0},
        {"1. a\n    * [in\n    * in2]\n2. b\n", 7, "1. a\n    1. in\n    2. in2\n2. b\n", 0},
        {"*\ta\n*   b\n", 8, "* a\n* b\n"},
        {"1.   a\n2. b\n", 9, "1.\ta\n2.\tb\n"},
        {"* a\r\n* b\r\n", 7, "1. a\r\n2. b\r\n"},
        {"[* a\r\n* b\r\n]\r\ntext\r\n\r\n3. x\r\n5. y\r\n", 7,
         "1. a\r\n2. b\r\n\r\ntext\r\n\r\n3. x\r\n5. y\r\n"},
        {"[10. a\r\n11. b\r\n]\r\n* x\r\n- y\r\n", 7, "* a\r\n* b\r\n\r\n* x\r\n- y\r\n"},
        {"*  a\r\n*\tb\r\n", 8, "* a\r\n* b\r\n"},
        {"[just text]\n", 7, "just text\n"},
    };
    check(cases, std::size(cases));
}

TEST(Cleanup, UnwrapParagraphs) {
    const Case cases[] = {
        {"one\ntwo  \nthree\n", 1, "one two  \nthree \n"},
        {"one\r\ntwo  \r\nthree\r\n", 1, "one two  \r\nthree \r\n"},
        {"a\nb\n\nc\nd\n", 1, "a b \n\nc d \n"},
        {"Stop. Then\nmore    words\n", 1, "Stop. Then more words \n"},
        {"> a\n> b\n", 1, "> a b \n"},
        {"> a\r\n> b\r\n\r\nc\r\nd\r\n", 1, "> a b \r\n\r\nc d \r\n"},
        {"back\\\nslash\n", 1, "back\\\nslash \n"},
        // The user's own text is never taken for a stand-in.
        {"keep TZR-MARKER and\nTZR-SENTENCE-MARKER\n", 1, "keep TZR-MARKER and TZR-SENTENCE-MARKER \n"},
                // Three spaces become two under the two-space pass.
        {"* item\n  wrapped\n", 1, "* item  wrapped \n"},
    };
    check(cases, std::size(cases));
}

TEST(Cleanup, MetadataAndTables) {
    const Case cases[] = {
        {"title  :   My    Title\nauthor: Me\n\nBody\n", 4, "title:\tMy Title  \nauthor:\tMe  \n\nBody\n"},
        {"title: T\r\nauthor:  Me\r\n\r\nBody\r\n", 4, "title:\tT  \r\nauthor:\tMe  \r\n\r\nBody\r\n"},
        {"Body\n", 4, "Body\n"},
        {"| a | b |\n|---|---|\n| 1 | 2 |\n", 5,
         "| a\t| b\t|  \n| ---\t| ---\t|  \n| 1\t| 2\t|  \n"},
        {"| a|b \\| c |\n|---|---|\n", 5, "| a\t| b \\| c\t|  \n| ---\t| ---\t|  \n"},
        {"| TZR-ESCAPED-PIPE |\n|-|\n", 5, "| TZR-ESCAPED-PIPE\t|  \n| -\t|  \n"},
        {"| a | b |\r\n|---|---|\r\n", 5, "| a\t| b\t|  \r\n| ---\t| ---\t|  \r\n"},
    };
    check(cases, std::size(cases));
}

TEST(Cleanup, EntitiesAndPunctuation) {
    const Case cases[] = {
        {"&#8220;word&#8221; &#8212; end&#8230;\n", 2, "\"word\" --- end...\n"},
        {"&#8216;a&#8217; &#8211;\n", 2, "'a' --\n"},
        {"\xE2\x80\x9Cq\xE2\x80\x9D \xE2\x80\x98s\xE2\x80\x99 \xC2\xAB""g\xC2\xBB \xE2\x80\x93 \xE2\x80\x94 \xE2\x80\xA6\n",
         3, "\"q\" 's' \"g\" -- --- ...\n"},
        {"\xE2\x80\x9B stays\n", 3, "\xE2\x80\x9B stays\n"},
        // Only the selected lines.
        {"&#8230;\n[&#8230;]\n&#8230;\n", 2, "&#8230;\n...\n&#8230;\n"},
    };
    check(cases, std::size(cases));
}

TEST(Cleanup, Everything) {
    const Case cases[] = {
        {"title: T\n\n3. a\n5. b\n\none\ntwo &#8230;\n\n| x|y |\n|-|-|\n", 6,
         "title:\tT  \n\n1. a\n2. b \n\none two ... \n\n| x\t| y\t|  \n| -\t| -\t|  \n"},
        {"caf\xC3\xA9 \xE2\x80\x9Cx\xE2\x80\x9D\nwrap\n", 6, "caf\xC3\xA9 \"x\" wrap \n"},
    };
    check(cases, std::size(cases));
}

TEST(Cleanup, RangeValuesAndBadInput) {
    size_t bs = 0, bl = 0, nl = 0, vl = 0, vlen = 0;
    tzr_engine *e = tzr_engine_create_with_string("\xC3\xA9t\xC3\xA9\n\n3. a\n", 0);
    cleanup_renumber_ordered_lists(e, 7, 5, &bs, &bl, &nl, &vl, &vlen);
    EXPECT_EQ(bs, 7u);
    EXPECT_EQ(bl, 5u);
    EXPECT_EQ(nl, 5u);
    EXPECT_EQ(vl, 5u);
    EXPECT_EQ(vlen, 5u);
    EXPECT_STREQ(e->source->str, "\xC3\xA9t\xC3\xA9\n\n1. a\n");
    EXPECT_EQ(e->root, nullptr);
    cleanup_metadata_block(e, 0, 3, &bs, &bl, &nl, &vl, &vlen);
    EXPECT_EQ(bs, (size_t)-1);
    tzr_engine_free(e, true);

    size_t a = 0, b = 0;
    EXPECT_EQ(cleanup_core_range(nullptr, 0, 0, 0, 0, 0, 0, &a, &b), nullptr);
    EXPECT_EQ(cleanup_core_range("x\n", 0, 1, 10, 0, 0, 0, &a, &b), nullptr);
    char *out = cleanup_core_range("", 0, 0, 6, 0, 0, 0, &a, &b);
    free(out);
    out = cleanup_core_range("1. a\n", 100, 100, 0, 0, 0, 0, &a, &b);
    free(out);
}

}  // namespace

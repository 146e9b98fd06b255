#include <gtest/gtest.h>

#include <string>

#include "library/line_types.h"
#include "test_engine.h"
#include "token_dump.h"
#include "tree_check.h"

namespace {

constexpr uint64_t kCompat = 0x1;
constexpr uint64_t kNotes = 0x10;

// line → line type of the first line, and optionally its tokens afterwards.
struct LineCase {
    const char *source;
    uint64_t extensions;
    unsigned short type;
    const char *tokens;  // nullptr: not checked
};

// Shows the case's source, escaped, in test output.
void PrintTo(const LineCase &c, std::ostream *os) { *os << ::testing::PrintToString(std::string(c.source)); }

class LineTypeTable : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineTypeTable, LineGetsType) {
    const LineCase &c = GetParam();
    TokenizedText t(c.source, c.extensions);
    ASSERT_NE(t.line(0), nullptr);
    EXPECT_EQ(t.line(0)->type, c.type) << "line: " << c.source << " tokens: " << lines_dump(t.root);
    if (c.tokens) {
        EXPECT_EQ(chain_dump(t.line(0)->child), c.tokens) << "line: " << c.source;
    }
    EXPECT_TRUE(chain_is_consistent(t.root, false));
}

INSTANTIATE_TEST_SUITE_P(BreaksAndBullets, LineTypeTable, ::testing::Values(
    LineCase{"***", 0, LINE_HR, nullptr},
    LineCase{"* * *", 0, LINE_HR, nullptr},
    LineCase{"___", 0, LINE_HR, nullptr},
    LineCase{"- - -", 0, LINE_HR, nullptr},
    LineCase{"-\t-\t-", 0, LINE_HR, nullptr},
    LineCase{"-\t-\t-\n", 0, LINE_HR, nullptr},
    LineCase{"**", 0, LINE_PLAIN, nullptr},
    LineCase{"*_*", 0, LINE_PLAIN, nullptr},
    LineCase{"- -", 0, LINE_LIST_BULLETED, nullptr},
    LineCase{"- - \n", 0, LINE_LIST_BULLETED, nullptr},
    LineCase{"- -\r\n", 0, LINE_LIST_BULLETED, nullptr},
    LineCase{"----", 0, LINE_SETEXT_2, nullptr},
    LineCase{"* item", 0, LINE_LIST_BULLETED, "M_BULLET:1 TEXT:4"},
    LineCase{"- item", 0, LINE_LIST_BULLETED, "M_BULLET:1 TEXT:4"},
    LineCase{"+ item", 0, LINE_LIST_BULLETED, "M_BULLET:1 TEXT:4"},
    LineCase{"*\t x", 0, LINE_LIST_BULLETED, "M_BULLET:1 TEXT:2"},
    LineCase{"*    x", 0, LINE_LIST_BULLETED, "M_BULLET:1 TEXT:1"},
    LineCase{"*item", 0, LINE_PLAIN, nullptr},
    LineCase{"-item", 0, LINE_PLAIN, nullptr},
    LineCase{"*\n", 0, LINE_PLAIN, nullptr},
    LineCase{"- \n", 0, LINE_LIST_BULLETED, "M_BULLET:1 NL:2"},
    LineCase{"-- x", 0, LINE_PLAIN, nullptr}));

INSTANTIATE_TEST_SUITE_P(Enumerators, LineTypeTable, ::testing::Values(
    LineCase{"1. item", 0, LINE_LIST_ENUMERATED, "M_ENUM:2 TEXT:4"},
    LineCase{"1.\tx", 0, LINE_LIST_ENUMERATED, "M_ENUM:2 TEXT:1"},
    LineCase{"1.5 apples", 0, LINE_PLAIN, "TEXT:10"},
    LineCase{"1.\n", 0, LINE_PLAIN, "TEXT:2 NL:1"},
    LineCase{"1. \n", 0, LINE_LIST_ENUMERATED, "M_ENUM:2 NL:2"},
    LineCase{"1.\xc2\xa0x", 0, LINE_PLAIN, "TEXT:2 TEXT:3"},
    LineCase{"1. a | b", 0, LINE_LIST_ENUMERATED, nullptr}));

INSTANTIATE_TEST_SUITE_P(Headings, LineTypeTable, ::testing::Values(
    LineCase{"# Title #", 0, LINE_ATX_1, "M_H1:2 TEXT:6 M_H1:1"},
    LineCase{"### Title ##\n", 0, LINE_ATX_3, "M_H3:4 TEXT:6 M_H2:2 NL:1"},
    LineCase{"## Title ##  \n", 0, LINE_ATX_2, "M_H2:3 TEXT:6 HASH2:2 BREAK:3"},
    LineCase{"#Title", 0, LINE_PLAIN, nullptr},
    LineCase{"####### x", 0, LINE_PLAIN, nullptr},
    LineCase{"  # x", 0, LINE_ATX_1, "NIS:2 M_H1:2 TEXT:1"}));

INSTANTIATE_TEST_SUITE_P(IndentationAndBlanks, LineTypeTable, ::testing::Values(
    LineCase{"    code", 0, LINE_INDENTED_SPACE, nullptr},
    LineCase{"\tcode", 0, LINE_INDENTED_TAB, nullptr},
    LineCase{" \t  \t\n", 0, LINE_EMPTY, nullptr},
    LineCase{"\t    ", 0, LINE_EMPTY, nullptr},
    LineCase{" ", 0, LINE_EMPTY, nullptr},
    LineCase{"\n", 0, LINE_EMPTY, nullptr},
    LineCase{"  > quote", 0, LINE_BLOCKQUOTE, "NIS:2 M_QUOTE:1 TEXT:6"},
    LineCase{"    > quote", 0, LINE_INDENTED_SPACE, nullptr},
    LineCase{">", 0, LINE_BLOCKQUOTE, nullptr}));

INSTANTIATE_TEST_SUITE_P(Fences, LineTypeTable, ::testing::Values(
    LineCase{"~~~", 0, LINE_PLAIN, nullptr},
    LineCase{"```", 0, LINE_FENCE_3, nullptr},
    LineCase{"````\n", 0, LINE_FENCE_4, nullptr},
    LineCase{"``````", 0, LINE_FENCE_5, nullptr},
    LineCase{"```c", 0, LINE_FENCE_START_3, nullptr},
    LineCase{"````lang\n", 0, LINE_FENCE_START_4, nullptr},
    LineCase{"`````` x", 0, LINE_FENCE_START_5, nullptr},
    LineCase{"```", kCompat, LINE_PLAIN, nullptr},
    LineCase{"````lang", kCompat, LINE_PLAIN, nullptr}));

INSTANTIATE_TEST_SUITE_P(Definitions, LineTypeTable, ::testing::Values(
    LineCase{"[^1]: note", kNotes, LINE_DEF_FOOTNOTE, nullptr},
    LineCase{"[#key]: cite", kNotes, LINE_DEF_CITATION, nullptr},
    LineCase{"[?term]: gloss", kNotes, LINE_DEF_GLOSSARY, nullptr},
    LineCase{"[>abbr]: full", kNotes, LINE_DEF_ABBREVIATION, nullptr},
    LineCase{"[^1]: http://x.org", 0, LINE_DEF_LINK, nullptr},
    LineCase{"[a]: http://x.org", 0, LINE_DEF_LINK, nullptr},
    LineCase{"[a]: http://x.org", kCompat, LINE_DEF_LINK, nullptr},
    LineCase{"[a] b", 0, LINE_PLAIN, nullptr},
    LineCase{": a definition", 0, LINE_DEFINITION, nullptr},
    LineCase{": a definition", kCompat, LINE_PLAIN, nullptr}));

INSTANTIATE_TEST_SUITE_P(OtherFirstTokens, LineTypeTable, ::testing::Values(
    LineCase{"<!--", 0, LINE_HTML_COMMENT_START, nullptr},
    LineCase{"<!--\n", 0, LINE_HTML_COMMENT_START, nullptr},
    LineCase{"<!-- x\n", 0, LINE_PLAIN, nullptr},
    LineCase{"<!-- x", 0, LINE_HTML_COMMENT_START, nullptr},  // one token after it
    LineCase{"-->\n", 0, LINE_HTML_COMMENT_STOP, nullptr},
    LineCase{"--> x\n", 0, LINE_PLAIN, nullptr},
    LineCase{"===", 0, LINE_SETEXT_1, nullptr},
    LineCase{"= x", 0, LINE_PLAIN, nullptr},
    LineCase{"{{TOC}} trailing text", 0, LINE_TOC, nullptr},
    LineCase{"{{TOC}}", kCompat, LINE_PLAIN, nullptr},
    LineCase{"a | b", 0, LINE_TABLE, nullptr},
    LineCase{"| a | b |", 0, LINE_TABLE, nullptr},
    LineCase{"|---|---|", 0, LINE_TABLE_SEPARATOR, nullptr},
    LineCase{"a | b", kCompat, LINE_PLAIN, nullptr},
    LineCase{"|---|---|", kCompat, LINE_PLAIN, nullptr},
    LineCase{"(a)", 0, LINE_PLAIN, nullptr},
    LineCase{"<div>\n", 0, LINE_HTML, nullptr},
    LineCase{"<x> y", 0, LINE_PLAIN, nullptr}));

INSTANTIATE_TEST_SUITE_P(Metadata, LineTypeTable, ::testing::Values(
    LineCase{"Title: x", 0, LINE_META, nullptr},
    LineCase{"Title: x\n", 0, LINE_META, nullptr},
    LineCase{"Title: x", kCompat, LINE_PLAIN, nullptr},
    LineCase{"Title: x", 0x80, LINE_PLAIN, nullptr},
    LineCase{"http://example.com: x\n", 0, LINE_PLAIN, nullptr},
    LineCase{"---\n", 0, LINE_META_START, nullptr},
    LineCase{"---\n", kCompat, LINE_SETEXT_2, nullptr}));

// Line types over several lines: the metadata stretch and blank lines.
TEST(LineTypes, MetadataStretchEndsAtBlankOrBadFirstLine) {
    TokenizedText t("Title: x\nplain\nAuthor: y\n\nDate: z\n");
    EXPECT_EQ(t.line(0)->type, LINE_META);
    EXPECT_EQ(t.line(1)->type, LINE_PLAIN);
    EXPECT_EQ(t.line(2)->type, LINE_META);
    EXPECT_EQ(t.line(4)->type, LINE_PLAIN);

    TokenizedText url("http://example.com: x\nTitle: y\n");
    EXPECT_EQ(url.line(1)->type, LINE_PLAIN);

    TokenizedText blank_ws("Title: x\n  \t\nDate: z\n");
    EXPECT_EQ(blank_ws.line(1)->type, LINE_EMPTY);
    EXPECT_EQ(blank_ws.line(2)->type, LINE_PLAIN);
}

// Typing a list item's text again after the tokenizer returned must not see
// metadata, even though no blank line ended the stretch.
TEST(LineTypes, RetypedListItemIsNeverMetadata) {
    TokenizedText t("Title: Groceries\n1. Store: Aldi\n");
    token *item = t.line(1);
    ASSERT_EQ(item->type, LINE_LIST_ENUMERATED);
    token_remove_first_child(item);
    tzr_assign_line_type(&t.engine.e, item);
    EXPECT_EQ(item->type, LINE_PLAIN);
}

TEST(LineTypes, QuoteMarkerStrip) {
    TokenizedText t("> > x\n>   y\n>\n");
    tzr_line_strip_quote_marker(t.line(0), t.engine.source());
    EXPECT_EQ(chain_dump(t.line(0)->child), "ANGLE_RIGHT:1 TEXT:2 NL:1");
    tzr_assign_line_type(&t.engine.e, t.line(0));
    EXPECT_EQ(t.line(0)->type, LINE_BLOCKQUOTE);

    token block{};
    block.child = t.root->child->next;  // lines 1 onwards
    tzr_block_strip_quote_markers(&t.engine.e, &block);
    EXPECT_EQ(lines_dump(&block), "6[NIS:3 TEXT:1 NL:1] 38[NL:1] 38[]");
    EXPECT_TRUE(chain_is_consistent(t.root, false));
}

TEST(LineTypes, CodeIndentStrip) {
    TokenizedText t("    code\n\t\tmore\n  two\n");
    token block{};
    block.child = t.root->child;
    tzr_block_strip_code_indent(&t.engine.e, &block);
    EXPECT_EQ(lines_dump(&block), "6[TEXT:4 NL:1] 7[TAB:1 TEXT:4 NL:1] 6[NIS:2 TEXT:3 NL:1] 38[]");
    EXPECT_TRUE(chain_is_consistent(t.root, false));
}

TEST(LineTypes, NullArgumentsDoNothing) {
    tzr_assign_line_type(nullptr, nullptr);
    TestEngine e("x");
    tzr_assign_line_type(&e.e, nullptr);
    token line{};
    line.type = LINE_PLAIN;
    tzr_assign_line_type(nullptr, &line);
    EXPECT_EQ(line.type, LINE_PLAIN);
    tzr_line_strip_quote_marker(nullptr, "x");
    tzr_line_strip_code_indent(nullptr);
    tzr_block_strip_quote_markers(nullptr, nullptr);
    tzr_block_strip_code_indent(nullptr, nullptr);
}

}  // namespace

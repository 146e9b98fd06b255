#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "library/lexer.h"
#include "library/tzr.h"
#include "test_engine.h"
#include "token_dump.h"
#include "tree_check.h"

namespace {

struct LexCase {
    const char *source;
    const char *tokens;
};

// Shows the case's source, escaped, in test output.
void PrintTo(const LexCase &c, std::ostream *os) { *os << ::testing::PrintToString(std::string(c.source)); }

class LexerTable : public ::testing::TestWithParam<LexCase> {};

TEST_P(LexerTable, SourceGivesTokens) {
    EXPECT_EQ(lex_dump(GetParam().source), GetParam().tokens) << "source: " << GetParam().source;
}

// Single lexemes and the longest-match choices between them.
INSTANTIATE_TEST_SUITE_P(Lexemes, LexerTable, ::testing::Values(
    LexCase{"{++{--{>>{~~{==", "ADD_OPEN:3 DEL_OPEN:3 COM_OPEN:3 SUB_OPEN:3 HI_OPEN:3"},
    LexCase{"++}--}<<}~~}==}~>", "ADD_CLOSE:3 DEL_CLOSE:3 COM_CLOSE:3 SUB_CLOSE:3 HI_CLOSE:3 SUB_DIV:2"},
    LexCase{"**__", "STAR:1 STAR:1 UL:1 UL:1"},
    LexCase{"[][>[^[?[#[%![", "BRACKET_LEFT:1 BRACKET_RIGHT:1 BRACKET_ABBR:2 BRACKET_FN:2 BRACKET_GLOSS:2 "
                              "BRACKET_CITE:2 BRACKET_VAR:2 BRACKET_IMAGE:2"},
    LexCase{"a!b", "TEXT:3"},
    LexCase{"()<>", "PAREN_LEFT:1 PAREN_RIGHT:1 ANGLE_LEFT:1 ANGLE_RIGHT:1"},
    LexCase{"{{x}}{=y{z}", "BRACE2_LEFT:2 TEXT:1 BRACE2_RIGHT:2 BRACE_RAW:2 TEXT:1 BRACE_LEFT:1 TEXT:1 BRACE_RIGHT:1"},
    LexCase{"{{TOC}}", "TOC:7"},
    LexCase{"{{toc}}", "BRACE2_LEFT:2 TEXT:3 BRACE2_RIGHT:2"},
    LexCase{"{{TO", "BRACE2_LEFT:2 TEXT:2"},
    LexCase{"{{TOC}", "BRACE2_LEFT:2 TEXT:3 BRACE_RIGHT:1"},
    LexCase{"{+", "BRACE_LEFT:1 PLUS:1"},
    LexCase{"+++}", "PLUS:1 ADD_CLOSE:3"},
    LexCase{"~~~}", "SUB:1 SUB_CLOSE:3"},
    LexCase{"~~>", "SUB:1 SUB_DIV:2"},
    LexCase{"==x<<x", "EQUAL:1 EQUAL:1 TEXT:1 ANGLE_LEFT:1 ANGLE_LEFT:1 TEXT:1"},
    LexCase{"<!--", "COMMENT_START:4"},
    LexCase{"<!-x", "ANGLE_LEFT:1 TEXT:1 DASH_N:1 TEXT:1"},
    LexCase{"-->", "COMMENT_STOP:3"},
    LexCase{"-", "DASH_N:1"},
    LexCase{"----", "DASH_M:3 DASH_N:1"},
    LexCase{"-----", "DASH_M:3 DASH_N:2"},
    LexCase{"$$$", "DOLLAR2:2 DOLLAR:1"},
    LexCase{"'''\"", "QUOTE_ALT:2 QUOTE1:1 QUOTE2:1"},
    LexCase{"a...b. . .", "TEXT:1 ELLIPSIS:3 TEXT:1 ELLIPSIS:5"},
    LexCase{".....", "ELLIPSIS:3 TEXT:2"},
    // A "." inside a run of words stays text without ending the run; an
    // ellipsis and a list number after one are still found.
    LexCase{"fs.readFile. Then x. . . y... z", "TEXT:19 ELLIPSIS:5 TEXT:2 ELLIPSIS:3 TEXT:2"},
    LexCase{"a.. b. .c", "TEXT:9"},
    LexCase{"x. 3. y.*z", "TEXT:3 ENUM:2 TEXT:3 STAR:1 TEXT:1"},
    LexCase{"``` x `", "BACKTICK:3 TEXT:3 BACKTICK:1"},
    LexCase{"a|||b", "TEXT:1 PIPE:3 TEXT:1"},
    LexCase{":/^~%=+", "COLON:1 SLASH:1 SUP:1 SUB:1 PERCENT:1 EQUAL:1 PLUS:1"},
    LexCase{"a,;?@b", "TEXT:6"}));

INSTANTIATE_TEST_SUITE_P(AmpersandsAndEntities, LexerTable, ::testing::Values(
    LexCase{"&", "AMP:1"},
    LexCase{"&amp;", "AMP_LONG:5"},
    LexCase{"&AmP;", "AMP_LONG:5"},
    LexCase{"&amps;", "ENTITY:6"},
    LexCase{"&amp x", "AMP:1 TEXT:5"},
    LexCase{"&#x4a;&#X4A;&#123;&copy;", "ENTITY:6 ENTITY:6 ENTITY:6 ENTITY:6"},
    LexCase{"&#xG;", "AMP:1 HASH:1 TEXT:3"},
    LexCase{"&#;", "AMP:1 HASH:1 TEXT:1"}));

INSTANTIATE_TEST_SUITE_P(Backslashes, LexerTable, ::testing::Values(
    LexCase{"\\*\\ \\\\", "ESCAPED:2 ESCAPED:2 ESCAPED:2"},
    LexCase{"\\\\(\\\\)\\\\[\\\\]", "MATH_PAREN_OPEN:3 MATH_PAREN_CLOSE:3 MATH_BRACKET_OPEN:3 MATH_BRACKET_CLOSE:3"},
    LexCase{"\\a\\1\\\xc3\xa9", "BACKSLASH:1 TEXT:1 BACKSLASH:1 TEXT:1 BACKSLASH:1 TEXT:2"},
    LexCase{"\\", "BACKSLASH:1"},
    LexCase{"a\\\nb", "TEXT:1 BREAK:2 TEXT:1"},
    LexCase{"a\\\r\n b", "TEXT:1 BREAK:3 TEXT:2"}));

// Runs of spaces by what follows them; "\xc2\xa0" is a non-breaking space.
INSTANTIATE_TEST_SUITE_P(WhitespaceRuns, LexerTable, ::testing::Values(
    LexCase{"a b", "TEXT:3"},
    LexCase{"a  b", "TEXT:1 NIS:2 TEXT:1"},
    LexCase{"a   b", "TEXT:1 NIS:3 TEXT:1"},
    LexCase{"    x", "INDENT:4 TEXT:1"},
    LexCase{"     x", "INDENT:4 TEXT:2"},
    LexCase{"      x", "INDENT:4 NIS:2 TEXT:1"},
    LexCase{"        x", "INDENT:4 INDENT:4 TEXT:1"},
    LexCase{"     \tx", "INDENT:4 NIS:1 TAB:1 TEXT:1"},
    LexCase{" \tx", "NIS:1 TAB:1 TEXT:1"},
    LexCase{"\t\t", "TAB:1 TAB:1"},
    LexCase{"\xc2\xa0   x", "INDENT:5 TEXT:1"},
    LexCase{"a\xc2\xa0 b", "TEXT:1 NIS:3 TEXT:1"},
    LexCase{"    ", "INDENT:4"},
    LexCase{"a \nb", "TEXT:1 NL:2 TEXT:1"},
    LexCase{"a\xc2\xa0\nb", "TEXT:3 NL:1 TEXT:1"},
    LexCase{"a  \nb", "TEXT:1 BREAK:3 TEXT:1"},
    LexCase{"a \xc2\xa0\r\nb", "TEXT:1 BREAK:5 TEXT:1"},
    LexCase{"a  \n b", "TEXT:1 BREAK_SPACE:4 TEXT:1"},
    LexCase{"a  \n  b", "TEXT:1 BREAK:3 NIS:2 TEXT:1"},
    LexCase{"a \n b", "TEXT:1 NL:2 TEXT:2"},
    // A lone space between words and a mark is text; one before a tab, a
    // non-breaking space or a line end is not.
    LexCase{"a b `c` *d* 1. e", "TEXT:4 BACKTICK:1 TEXT:1 BACKTICK:1 TEXT:1 STAR:1 TEXT:1 STAR:1 TEXT:1 "
                                "ENUM:2 TEXT:2"},
    LexCase{"a.b \tc d \xc2\xa0" "e f \r\ng", "TEXT:3 NIS:1 TAB:1 TEXT:3 NIS:3 TEXT:3 NL:3 TEXT:1"}));

INSTANTIATE_TEST_SUITE_P(LineEnds, LexerTable, ::testing::Values(
    LexCase{"a\nb", "TEXT:1 NL:1 TEXT:1"},
    LexCase{"a\r\nb\rc", "TEXT:1 NL:2 TEXT:1 NL:1 TEXT:1"},
    LexCase{"a\n b", "TEXT:1 NL_SPACE:2 TEXT:1"},
    LexCase{"a\n \xc2\xa0", "TEXT:1 NL_SPACE:2 TEXT:2"},
    LexCase{"a\n  b", "TEXT:1 NL:1 NIS:2 TEXT:1"},
    LexCase{"a\n \tb", "TEXT:1 NL:1 NIS:1 TAB:1 TEXT:1"},
    LexCase{"a\n ", "TEXT:1 NL_SPACE:2"},
    LexCase{"\n\n", "NL:1 NL:1"}));

INSTANTIATE_TEST_SUITE_P(HeadingMarkers, LexerTable, ::testing::Values(
    LexCase{"#", "HASH1:1"},
    LexCase{"# x", "HASH1:2 TEXT:1"},
    LexCase{"###\t \xc2\xa0x", "HASH3:7 TEXT:1"},
    LexCase{"# \n", "HASH1:1 NL:2"},
    LexCase{"##  \n", "HASH2:2 BREAK:3"},
    LexCase{"#x", "HASH:1 TEXT:1"},
    LexCase{"##x", "HASH:1 HASH:1 TEXT:1"},
    LexCase{"###### x", "HASH6:7 TEXT:1"},
    LexCase{"####### x", "HASH:1 HASH6:7 TEXT:1"},
    LexCase{"a # b", "TEXT:2 HASH1:2 TEXT:1"}));

INSTANTIATE_TEST_SUITE_P(Enumerators, LexerTable, ::testing::Values(
    LexCase{"1. x", "ENUM:2 TEXT:2"},
    LexCase{"123.\tx", "ENUM:4 TAB:1 TEXT:1"},
    LexCase{"1.\n", "ENUM:2 NL:1"},
    LexCase{"1.\xc2\xa0x", "ENUM:2 TEXT:3"},
    LexCase{"1.", "TEXT:2"},
    LexCase{"1.5 apples", "TEXT:10"},
    LexCase{"a1. b", "TEXT:1 ENUM:2 TEXT:2"},
    LexCase{"12.3. x", "TEXT:3 ENUM:2 TEXT:2"},
    LexCase{"1...", "TEXT:1 ELLIPSIS:3"}));

// Bytes that are not markup, valid or not, stay plain text; no character is
// allowed to reach over a line end. Runs of plain text with lone spaces in
// them end exactly where the next lexeme or space run begins.
INSTANTIATE_TEST_SUITE_P(PlainBytes, LexerTable, ::testing::Values(
    LexCase{"one two, three", "TEXT:14"},
    LexCase{"a b *c", "TEXT:4 STAR:1 TEXT:1"},
    LexCase{"ab \tc", "TEXT:2 NIS:1 TAB:1 TEXT:1"},
    LexCase{"ab \xc2\xa0" "c d", "TEXT:2 NIS:3 TEXT:3"},
    LexCase{"caf\xc3\xa9 \xc2\xa9 x\xc2", "TEXT:11"},
    LexCase{"a b 1. c", "TEXT:4 ENUM:2 TEXT:2"},
    LexCase{"\xe2\x80\x94*", "TEXT:3 STAR:1"},
    LexCase{"\xe2\x80*", "TEXT:2 STAR:1"},
    LexCase{"\xe2\n", "TEXT:1 NL:1"},
    LexCase{"\xf0\x9f\x98\n", "TEXT:3 NL:1"},
    LexCase{"\x80\xff\xc0\xc1*", "TEXT:4 STAR:1"},
    LexCase{"\x0b\x0c\x7f", "TEXT:3"}));

// A run of plain text ends where its units end, whatever its length and
// wherever the sixteen-byte steps of its look fall: bodies of every length
// from 1 to 64 bytes, of plain bytes (the rare ones among them: "?", "@",
// control characters, 0x7F, a multi-byte character), spaces and dots each
// before a plain byte and ". " before one, with each kind of end after them,
// both where the text goes on for long after the end and where it stops
// right there.
TEST(Lexer, ARunOfPlainTextEndsWhereItsUnitsEndAtEveryLength) {
    const std::string units[] = {"w", "o", "r", "d", " t", ".x", ". y", "?", "@", "\x7f", "\x01", ",", ";",
                                 "\xc3\xa9", " z", "q"};
    const size_t unit_count = sizeof units / sizeof units[0];
    struct End {
        const char *text;
        int taken;  // bytes of the end that the run takes
        const char *tokens;
    };
    const End ends[] = {
        {"*", 0, "STAR:1"},
        {" *", 1, "STAR:1"},
        {"  *", 0, "NIS:2 STAR:1"},
        {" \t*", 0, "NIS:1 TAB:1 STAR:1"},
        {". *", 2, "STAR:1"},
        {"...*", 0, "ELLIPSIS:3 STAR:1"},
        {". . .*", 0, "ELLIPSIS:5 STAR:1"},
        {" 1. *", 1, "ENUM:2 TEXT:1 STAR:1"},
        {"\n*", 0, "NL:1 STAR:1"},
        {" \xc2\xa0*", 0, "NIS:3 STAR:1"},
    };
    const std::string tail = std::string(40, 'z');
    for (size_t n = 1; n <= 64; n++) {
        std::string body;
        for (size_t i = 0; body.size() < n; i++)
            body += units[(n + i) % unit_count];
        for (const End &end : ends) {
            std::string expected =
                "TEXT:" + std::to_string(body.size() + end.taken) + " " + end.tokens;
            EXPECT_EQ(lex_dump(body + end.text), expected) << "run: " << body << " end: " << end.text;
            EXPECT_EQ(lex_dump("*" + body + end.text + tail), "STAR:1 " + expected + " TEXT:40")
                << "run: " << body << " end: " << end.text;
        }
        EXPECT_EQ(lex_dump(body), "TEXT:" + std::to_string(body.size()));
    }
}

TEST(Lexer, NulInsideTheRangeIsPlainText) {
    const char text[] = "a\0*\0";
    EXPECT_EQ(lex_dump(text, 4), "TEXT:2 STAR:1 TEXT:1");
}

TEST(Lexer, CutMultiByteCharacterBeforeTheTerminatingNulIsOneByte) {
    const char text[] = "\xe2";
    lexer_state s;
    s.start = s.cursor = text;
    EXPECT_EQ(tzr_lex_token(&s, text + 1), 0);
    EXPECT_EQ(s.cursor, text + 1);
}

TEST(Lexer, LexemeRunningPastStopIsTakenWhole) {
    const char text[] = "{++x";
    lexer_state s;
    s.start = s.cursor = text;
    EXPECT_EQ(tzr_lex_token(&s, text + 2), CRITIC_ADD_OPEN);
    EXPECT_EQ(s.cursor, text + 3);
    EXPECT_EQ(tzr_lex_token(&s, text + 2), 0);
}

TEST(Lexer, NullArgumentsGiveNoToken) {
    lexer_state s;
    EXPECT_EQ(tzr_lex_token(nullptr, "x"), 0);
    EXPECT_EQ(tzr_lex_token(&s, "x"), 0);
}

// A long run of spaces is handed out in pieces; the remembered run end must
// not leak into a run that a caller starts afresh elsewhere.
TEST(Lexer, SpaceRunPiecesAndAFreshRun) {
    std::string text = std::string(10, ' ') + "x  \n";
    EXPECT_EQ(lex_dump(text), "INDENT:4 INDENT:4 NIS:2 TEXT:1 BREAK:3");
    lexer_state s;
    s.start = s.cursor = text.c_str();
    EXPECT_EQ(tzr_lex_token(&s, text.c_str() + text.size()), INDENT_SPACE);
    s.cursor = text.c_str() + 11;  // jump to the break
    EXPECT_EQ(tzr_lex_token(&s, text.c_str() + text.size()), HARD_BREAK);
}

// A line's end found in one step is the one the lexer finds lexeme by
// lexeme, and the lexer is left as it would be: the same lexeme, the same
// bounds, the same destination depth for the lines after. A line it cannot
// take leaves everything as it was.
TEST(Lexer, LineEndInOneStepIsTheLexersOwn) {
    const char *prefix = "x ";  // something to look back at
    const char *lines[] = {
        "plain code line\n",   "f(x) + g(y)\n",      "f](a (b\n",          "a](b) c) d)\nnext",
        "x](y\n(",             "x  \n y",            "x \n y",             "x\t \nz",
        "x\n y",               "x\n\xc3\xa9",        "x\n \xc3\xa9",       "x\n \xe2\x80",
        "x\n  y",              "x   \n y",           "((a))\n",            "](\n",
        "x)\n",                "(\n",                "a *b* `c` <d> {e} &f; $g$ ~h~ ^i^ |j| #k -l\n",
        "\n",                  " \n",                "  \n z",             "y\t\n",
        // Lines it leaves to the lexer.
        "a[?b\n",              "a\\(b\n",            "a\\\n",              "a\r\n",
        "a\xc2\xa0\n",         "no line end",        "a\n",
    };
    for (const char *line : lines) {
        for (unsigned depth : {0u, 1u, 2u}) {
            for (bool parens : {false, true}) {
                std::string text = std::string(prefix) + line;
                const char *begin = text.c_str();
                const char *stop = begin + text.size();
                if (!strcmp(line, "a\n"))
                    stop = begin + text.size() - 1;  // the line feed past the range
                lexer_state initial;
                initial.start = initial.cursor = begin + strlen(prefix);
                initial.begin = begin;
                initial.destination_depth = depth;
                initial.parens_in_text = parens;
                initial.colons_in_text = parens;

                lexer_state fast = initial;
                const char *blocked = nullptr;
                int type = tzr_lex_line_end(&fast, stop, &blocked);
                SCOPED_TRACE(testing::PrintToString(std::string(line)) + " depth " +
                             std::to_string(depth) + (parens ? " with text parentheses" : ""));
                if (!type) {
                    EXPECT_EQ(fast.cursor, initial.cursor);
                    EXPECT_EQ(fast.destination_depth, initial.destination_depth);
                    ASSERT_NE(blocked, nullptr);
                    EXPECT_TRUE(blocked == stop || strchr("[\\\r\xc2\n", *blocked));
                    bool line_feed = memchr(initial.cursor, '\n', stop - initial.cursor);
                    EXPECT_TRUE(!line_feed || strpbrk(line, "[\\\r\xc2")) << "a line it should take";
                    continue;
                }
                lexer_state slow = initial;
                int lexeme = 0;
                do
                    lexeme = tzr_lex_token(&slow, stop);
                while (lexeme && lexeme != NEWLINE && lexeme != HARD_BREAK &&
                       lexeme != NEWLINE_SPACE && lexeme != HARD_BREAK_SPACE);
                EXPECT_EQ(type, lexeme);
                EXPECT_EQ(fast.start - begin, slow.start - begin);
                EXPECT_EQ(fast.cursor - begin, slow.cursor - begin);
                EXPECT_EQ(fast.destination_depth, slow.destination_depth);
            }
        }
    }
}

// The tokenizer: source → typed lines (line type number, then its tokens).
struct TokenizeCase {
    const char *source;
    const char *lines;
};

// Shows the case's source, escaped, in test output.
void PrintTo(const TokenizeCase &c, std::ostream *os) { *os << ::testing::PrintToString(std::string(c.source)); }

class TokenizerTable : public ::testing::TestWithParam<TokenizeCase> {};

TEST_P(TokenizerTable, SourceGivesLines) {
    TokenizedText t(GetParam().source);
    EXPECT_EQ(lines_dump(t.root), GetParam().lines) << "source: " << GetParam().source;
    EXPECT_TRUE(chain_is_consistent(t.root));
}

INSTANTIATE_TEST_SUITE_P(Lines, TokenizerTable, ::testing::Values(
    TokenizeCase{"", "38[]"},
    TokenizeCase{"a", "6[TEXT:1]"},
    TokenizeCase{"a\n", "6[TEXT:1 NL:1] 38[]"},
    TokenizeCase{"a  \n b", "6[TEXT:1 BREAK:3] 6[NIS:1 TEXT:1]"},
    TokenizeCase{"a \n b", "6[TEXT:1 NL:2] 6[TEXT:2]"},
    TokenizeCase{"a\r\nb", "6[TEXT:1 NL:2] 6[TEXT:1]"},
    TokenizeCase{"a\rb", "6[TEXT:1 NL:1] 6[TEXT:1]"},
    TokenizeCase{"a\n b", "6[TEXT:1 NL:1] 6[NIS:1 TEXT:1]"},
    TokenizeCase{"a\n\nb", "6[TEXT:1 NL:1] 38[NL:1] 6[TEXT:1]"},
    TokenizeCase{"1. x", "21[M_ENUM:2 TEXT:1]"},
    TokenizeCase{"# \n", "6[HASH1:1 NL:2] 38[]"}));

// A "/" between words and the ":" of "scheme://" are text, so that addresses
// and paths cost one token; where a line or a word begins, or before a
// blank, they stay lexemes, as does every other ":" of a first line, where
// metadata may begin.
INSTANTIATE_TEST_SUITE_P(SlashesAndColons, TokenizerTable, ::testing::Values(
    TokenizeCase{"and/or", "6[TEXT:6]"},
    TokenizeCase{"x.org/a/1 or https://x.org", "6[TEXT:26]"},
    TokenizeCase{"/usr/bin", "6[SLASH:1 TEXT:7]"},
    TokenizeCase{"a\n/b", "6[TEXT:1 NL:1] 6[SLASH:1 TEXT:1]"},
    TokenizeCase{"a /b a/ b", "6[TEXT:2 SLASH:1 TEXT:3 SLASH:1 TEXT:2]"},
    TokenizeCase{"*a*/b", "6[STAR:1 TEXT:1 STAR:1 SLASH:1 TEXT:1]"},
    TokenizeCase{"a//b", "6[TEXT:4]"},
    TokenizeCase{"(a:/b), note: x",
                 "6[PAREN_LEFT:1 TEXT:1 COLON:1 TEXT:2 PAREN_RIGHT:1 TEXT:6 COLON:1 TEXT:2]"},
    TokenizeCase{"[x]: http://y", "26[BRACKET_LEFT:1 TEXT:1 BRACKET_RIGHT:1 COLON:1 TEXT:9]"},
    TokenizeCase{"a\xC2\xA0/b", "6[TEXT:3 SLASH:1 TEXT:1]"}));

// Past the lines that may be metadata, a ":" inside a line is text as well.
// It stays a lexeme where a line (or a line without its quote marker or
// cell) may begin with it, after the "]" of a definition's label, in the
// "Key: value" lines of metadata, and in a line that opens with "[", whose
// first tokens are read one by one (a definition, a table's caption).
INSTANTIATE_TEST_SUITE_P(ColonsInsideLines, TokenizerTable, ::testing::Values(
    TokenizeCase{"x\n**a**: b 10:30",
                 "6[TEXT:1 NL:1] 6[STAR:1 STAR:1 TEXT:1 STAR:1 STAR:1 TEXT:9]"},
    TokenizeCase{"x\n: a:b", "6[TEXT:1 NL:1] 28[COLON:1 TEXT:4]"},
    TokenizeCase{"x\n a : b\t:c",
                 "6[TEXT:1 NL:1] 6[NIS:1 TEXT:2 COLON:1 TEXT:2 TAB:1 COLON:1 TEXT:1]"},
    TokenizeCase{"x\n>:a |:b",
                 "6[TEXT:1 NL:1] 19[M_QUOTE:1 COLON:1 TEXT:2 PIPE:1 COLON:1 TEXT:1]"},
    TokenizeCase{"x\n[c] a:b",
                 "6[TEXT:1 NL:1] 6[BRACKET_LEFT:1 TEXT:1 BRACKET_RIGHT:1 TEXT:2 COLON:1 TEXT:1]"},
    TokenizeCase{"x\n> - [a]: b:c",
                 "6[TEXT:1 NL:1] 19[M_QUOTE:1 TEXT:1 DASH_N:1 TEXT:1 BRACKET_LEFT:1 TEXT:1 "
                 "BRACKET_RIGHT:1 COLON:1 TEXT:2 COLON:1 TEXT:1]"},
    TokenizeCase{"Key: a:b\nNext: c\n\nd:e",
                 "29[TEXT:3 COLON:1 TEXT:2 COLON:1 TEXT:1 NL:1] 29[TEXT:4 COLON:1 TEXT:2 NL:1] "
                 "38[NL:1] 6[TEXT:3]"}));

// A lone "-" between words or spaces in the text of a list item's line is
// text too (smart typography would make it text there); between digits it
// stays an en dash. Where the line might belong to a note or a table's
// header (indented, holding "|", opening with "["), outside list items, and
// among the markers it stays a lexeme.
INSTANTIATE_TEST_SUITE_P(HyphensInsideListItems, TokenizerTable, ::testing::Values(
    TokenizeCase{"x\n* well-known - a", "6[TEXT:1 NL:1] 20[M_BULLET:1 TEXT:14]"},
    TokenizeCase{"x\n1. a-b 1-2 a--b -c d-",
                 "6[TEXT:1 NL:1] 21[M_ENUM:2 TEXT:5 DASH_N:1 TEXT:3 DASH_N:2 TEXT:2 DASH_N:1 TEXT:3 DASH_N:1]"},
    TokenizeCase{"x\n- -a-b", "6[TEXT:1 NL:1] 20[M_BULLET:1 DASH_N:1 TEXT:3]"},
    TokenizeCase{"x\n  * a-b", "6[TEXT:1 NL:1] 20[NIS:2 M_BULLET:1 TEXT:1 DASH_N:1 TEXT:1]"},
    TokenizeCase{"x\na-b", "6[TEXT:1 NL:1] 6[TEXT:1 DASH_N:1 TEXT:1]"},
    TokenizeCase{"x\n* a-b | c", "6[TEXT:1 NL:1] 20[M_BULLET:1 TEXT:1 DASH_N:1 TEXT:2 PIPE:1 TEXT:2]"},
    TokenizeCase{"x\n* [a]: b-c",
                 "6[TEXT:1 NL:1] 20[M_BULLET:1 BRACKET_LEFT:1 TEXT:1 BRACKET_RIGHT:1 COLON:1 TEXT:2 DASH_N:1 TEXT:1]"},
    TokenizeCase{"* a-b", "20[M_BULLET:1 TEXT:1 DASH_N:1 TEXT:1]"}));

// The lines of an engine that converts for itself, which may leave
// parentheses around plain text in the text.
class ConversionTokenizerTable : public ::testing::TestWithParam<TokenizeCase> {};

TEST_P(ConversionTokenizerTable, SourceGivesLines) {
    TestEngine engine(GetParam().source);
    engine.e.parens_in_text = true;
    token *root = tzr_tokenize_string(&engine.e, 0, (size_t)-1, false);
    EXPECT_EQ(lines_dump(root), GetParam().lines) << "source: " << GetParam().source;
    EXPECT_TRUE(chain_is_consistent(root));
    token_tree_free(root);
}

// A "(" after a blank or a word and its ")" later on the line, with plain
// text alone between them, are text. Everything a pass may pair or read
// keeps its parentheses: a destination after "]" with every parenthesis
// inside it, a pair around other markup, an empty pair, one left open or
// closed on another line, one after other markup or at a line's start, the
// lines that may be metadata or open with "[", and everything after an
// inline glossary or abbreviation mark, which takes the parentheses inside.
INSTANTIATE_TEST_SUITE_P(ParenthesesAroundPlainText, ConversionTokenizerTable, ::testing::Values(
    TokenizeCase{"x\nsee (below) and f(x, y) (a/b:c)", "6[TEXT:1 NL:1] 6[TEXT:31]"},
    TokenizeCase{"x\nz [a](b (c)) (d)",
                 "6[TEXT:1 NL:1] 6[TEXT:2 BRACKET_LEFT:1 TEXT:1 BRACKET_RIGHT:1 PAREN_LEFT:1 TEXT:2 "
                 "PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1 PAREN_RIGHT:1 TEXT:4]"},
    TokenizeCase{"x\na (*b*) () (c",
                 "6[TEXT:1 NL:1] 6[TEXT:2 PAREN_LEFT:1 STAR:1 TEXT:1 STAR:1 PAREN_RIGHT:1 TEXT:1 "
                 "PAREN_LEFT:1 PAREN_RIGHT:1 TEXT:1 PAREN_LEFT:1 TEXT:1]"},
    TokenizeCase{"x\na ((b) c)",
                 "6[TEXT:1 NL:1] 6[TEXT:2 PAREN_LEFT:1 PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1 TEXT:2 PAREN_RIGHT:1]"},
    TokenizeCase{"x\na (b\nc) (d)\n(e)",
                 "6[TEXT:1 NL:1] 6[TEXT:2 PAREN_LEFT:1 TEXT:1 NL:1] 6[TEXT:1 PAREN_RIGHT:1 TEXT:4 NL:1] "
                 "6[PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1]"},
    TokenizeCase{"x\n*(a)* -(b)",
                 "6[TEXT:1 NL:1] 6[STAR:1 PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1 STAR:1 TEXT:1 DASH_N:1 "
                 "PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1]"},
    TokenizeCase{"a (b)\n[c] (d)",
                 "6[TEXT:2 PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1 NL:1] "
                 "6[BRACKET_LEFT:1 TEXT:1 BRACKET_RIGHT:1 TEXT:1 PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1]"},
    TokenizeCase{"x\na (b) [?(c) d] (e)\nf (g)",
                 "6[TEXT:1 NL:1] 6[TEXT:6 BRACKET_GLOSS:2 PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1 TEXT:2 "
                 "BRACKET_RIGHT:1 TEXT:1 PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1 NL:1] "
                 "6[TEXT:2 PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1]"}));

// The lines of an engine that converts to HTML for itself, which leaves a
// lone "-" or "_" inside a word in the text, with notes or without, and in a
// table's rows. Each stays a lexeme where a pass may read it: between digits
// ("1-2" is an en dash), doubled or at a word's edge, next to a byte other
// than an ASCII letter or digit ("_"), and in the lines that may be metadata
// or open with "[".
class HtmlConversionTokenizerTable : public ::testing::TestWithParam<TokenizeCase> {};

TEST_P(HtmlConversionTokenizerTable, SourceGivesLines) {
    for (uint64_t notes : {uint64_t{0}, uint64_t{TZR_EXT_NOTES}}) {
        TestEngine engine(GetParam().source, notes);
        engine.e.converts_to_html = true;
        token *root = tzr_tokenize_string(&engine.e, 0, (size_t)-1, false);
        EXPECT_EQ(lines_dump(root), GetParam().lines)
            << "source: " << GetParam().source << (notes ? ", with notes" : "");
        EXPECT_TRUE(chain_is_consistent(root));
        token_tree_free(root);
    }
}

INSTANTIATE_TEST_SUITE_P(MarksInsideWords, HtmlConversionTokenizerTable, ::testing::Values(
    TokenizeCase{"x\nwell-known snake_case a-b_c-d", "6[TEXT:1 NL:1] 6[TEXT:29]"},
    TokenizeCase{"x\npages 1-2 a,-b 3_4", "6[TEXT:1 NL:1] 6[TEXT:7 DASH_N:1 TEXT:10]"},
    TokenizeCase{"x\na__b c_ d -e f- _g a\xc3\xa9_b",
                 "6[TEXT:1 NL:1] 6[TEXT:1 UL:1 UL:1 TEXT:3 UL:1 TEXT:3 DASH_N:1 TEXT:3 DASH_N:1 "
                 "TEXT:1 UL:1 TEXT:5 UL:1 TEXT:1]"},
    TokenizeCase{"x\na-b | c_d\ne-f", "6[TEXT:1 NL:1] 9[TEXT:4 PIPE:1 TEXT:4 NL:1] 6[TEXT:3]"},
    TokenizeCase{"a-b\n[c-d]: e_f",
                 "6[TEXT:1 DASH_N:1 TEXT:1 NL:1] 26[BRACKET_LEFT:1 TEXT:1 DASH_N:1 TEXT:1 "
                 "BRACKET_RIGHT:1 COLON:1 TEXT:2 UL:1 TEXT:1]"},
    TokenizeCase{"x\n* a-b_c", "6[TEXT:1 NL:1] 20[M_BULLET:1 TEXT:5]"}));

// A destination left open ends at a blank line: parentheses after it may be
// text again.
TEST(Tokenizer, ConversionDestinationLeftOpenEndsAtABlankLine) {
    TestEngine engine("x\nz [a](b (c)\n\nd (e)");
    engine.e.parens_in_text = true;
    token *root = tzr_tokenize_string(&engine.e, 0, (size_t)-1, false);
    EXPECT_EQ(lines_dump(root),
              "6[TEXT:1 NL:1] 6[TEXT:2 BRACKET_LEFT:1 TEXT:1 BRACKET_RIGHT:1 PAREN_LEFT:1 TEXT:2 "
              "PAREN_LEFT:1 TEXT:1 PAREN_RIGHT:1 NL:1] 38[NL:1] 6[TEXT:5]");
    token_tree_free(root);
}

TEST(Tokenizer, EveryByteBelongsToOneTokenInOrder) {
    TokenizedText t("# Head *x*\n\n> q [a](b)  \n\tcode\n1.5 y\n");
    size_t next = 0;
    for (token *line = t.root->child; line; line = line->next)
        for (token *c = line->child; c; c = c->next) {
            EXPECT_EQ(c->start, next);
            next = c->start + c->len;
        }
    EXPECT_EQ(next, t.engine.e.source->length);
}

TEST(Tokenizer, NulInsideTheRangeIsText) {
    TokenizedText t(std::string("a\0b\n", 4));
    EXPECT_EQ(lines_dump(t.root), "6[TEXT:3 NL:1] 38[]");
}

TEST(Tokenizer, RangeIsClampedAndMinusOneMeansToTheEnd) {
    TestEngine e("ab\ncd");
    token *root = tzr_tokenize_string(&e.e, 3, (size_t)-1, false);
    EXPECT_EQ(lines_dump(root), "6[TEXT:2]");
    EXPECT_EQ(root->start, 3u);
    EXPECT_EQ(root->child->child->start, 3u);
    token_tree_free(root);
    root = tzr_tokenize_string(&e.e, 1, 1000, false);
    EXPECT_EQ(lines_dump(root), "6[TEXT:1 NL:1] 6[TEXT:2]");
    token_tree_free(root);
    root = tzr_tokenize_string(&e.e, 1000, 5, false);
    EXPECT_EQ(lines_dump(root), "38[]");
    EXPECT_EQ(root->start, 5u);
    token_tree_free(root);
}

TEST(Tokenizer, LexemeCrossingTheRangeEndIsTakenWhole) {
    TestEngine e("x{++y");
    token *root = tzr_tokenize_string(&e.e, 0, 3, false);
    EXPECT_EQ(lines_dump(root), "6[TEXT:1 ADD_OPEN:3]");
    token_tree_free(root);
}

TEST(Tokenizer, StopAtBlankEndsWithTheFirstBlankLine) {
    TokenizedText t("Title: x\nb\n\nc\n", 0, true);
    EXPECT_EQ(lines_dump(t.root), "29[TEXT:5 COLON:1 TEXT:2 NL:1] 6[TEXT:1 NL:1] 38[NL:1]");
}

TEST(Tokenizer, NullEngineOrSourceGivesNoTree) {
    EXPECT_EQ(tzr_tokenize_string(nullptr, 0, 0, false), nullptr);
    tzr_engine bare{};
    EXPECT_EQ(tzr_tokenize_string(&bare, 0, 0, false), nullptr);
}

TEST(Tokenizer, LineIsEmpty) {
    EXPECT_TRUE(tzr_line_is_empty(nullptr));
    TokenizedText t("  \t    \n \tx\n");
    EXPECT_TRUE(tzr_line_is_empty(t.line(0)->child));
    EXPECT_FALSE(tzr_line_is_empty(t.line(1)->child));
    EXPECT_TRUE(tzr_line_is_empty(t.line(2)->child));
}

// Metadata is allowed only from the first line, and never outlives the call.
TEST(Tokenizer, MetadataFlagFollowsTheFirstLineAndIsClearedOnReturn) {
    {
        TokenizedText t("---\nTitle: x\n");
        EXPECT_EQ(t.line(0)->type, LINE_META_START);
        EXPECT_EQ(t.line(1)->type, LINE_META);
        EXPECT_FALSE(t.engine.e.allow_meta);
    }
    for (uint64_t ext : {0x1ull, 0x80ull}) {
        TokenizedText t("---\nTitle: x\n", ext);
        EXPECT_EQ(t.line(0)->type, LINE_SETEXT_2);
        EXPECT_EQ(t.line(1)->type, LINE_PLAIN);
    }
    TokenizedText after_plain("Some text\nTitle: x\n");
    EXPECT_EQ(after_plain.line(1)->type, LINE_PLAIN);
    TokenizedText alone("---");  // no line end: the first-line rule does not run
    EXPECT_EQ(alone.line(0)->type, LINE_SETEXT_2);
}

}  // namespace

// The block grammar on hand-typed lines: each line is "x\n" with the line
// type set directly, so these cases test the grammar and the reduce actions
// without the lexer or the line typer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "library/block_parser.h"
#include "library/engine.h"
#include "parse_helpers.h"
#include "tree_check.h"

namespace {

struct Parsed {
    tzr_engine *engine;
    token *root;
    std::string err;
    ~Parsed() {
        token_tree_free(root);
        tzr_engine_free(engine, true);
    }
};

// Builds one line per type over a source of "x\n" lines and parses them.
std::unique_ptr<Parsed> parse_lines(const std::vector<unsigned short> &types) {
    std::string source;
    for (size_t i = 0; i < types.size(); i++)
        source += "x\n";
    auto p = std::make_unique<Parsed>();
    p->engine = tzr_engine_create_with_string(source.c_str(), 0);
    p->root = token_new(DOC_ROOT, 0, source.size());
    for (size_t i = 0; i < types.size(); i++) {
        token *line = token_new(types[i], 2 * i, 2);
        token_append_child(line, token_new(TEXT, 2 * i, 1));
        token_append_child(line, token_new(NEWLINE, 2 * i + 1, 1));
        token_append_child(p->root, line);
    }
    testing::internal::CaptureStderr();
    tzr_parse_token_chain(p->engine, p->root);
    p->err = testing::internal::GetCapturedStderr();
    return p;
}

struct GrammarCase {
    std::vector<unsigned short> lines;
    const char *blocks;  // the top-level block types
};

class Grammar : public testing::TestWithParam<GrammarCase> {};

TEST_P(Grammar, LinesBecomeBlocks) {
    auto p = parse_lines(GetParam().lines);
    EXPECT_EQ(dump_types(p->root->child), GetParam().blocks);
    EXPECT_TRUE(chain_is_consistent(p->root->child));
    EXPECT_EQ(p->err, "");
}

using L = std::vector<unsigned short>;

INSTANTIATE_TEST_SUITE_P(
    Leaves, Grammar,
    testing::Values(GrammarCase{L{LINE_PLAIN}, "PARA"},
                    GrammarCase{L{LINE_PLAIN, LINE_PLAIN, LINE_EMPTY, LINE_PLAIN}, "PARA EMPTY PARA"},
                    GrammarCase{L{LINE_ATX_1, LINE_ATX_3}, "H1 H3"},
                    GrammarCase{L{LINE_HR, LINE_TOC}, "HR TOC"},
                    GrammarCase{L{LINE_PLAIN, LINE_SETEXT_1}, "SETEXT1"},
                    GrammarCase{L{LINE_PLAIN, LINE_SETEXT_2}, "SETEXT2"},
                    // An underline with no paragraph before it is a break.
                    GrammarCase{L{LINE_SETEXT_1}, "HR"},
                    GrammarCase{L{LINE_EMPTY, LINE_SETEXT_2}, "EMPTY HR"},
                    GrammarCase{L{LINE_HTML, LINE_PLAIN, LINE_EMPTY}, "HTML EMPTY"},
                    GrammarCase{L{LINE_HTML_COMMENT_START, LINE_EMPTY, LINE_HTML_COMMENT_STOP}, "HTML"},
                    GrammarCase{L{LINE_INDENTED_SPACE, LINE_EMPTY, LINE_INDENTED_TAB, LINE_EMPTY},
                                "ICODE"},
                    GrammarCase{L{LINE_DEF_LINK, LINE_PLAIN, LINE_DEF_ABBREVIATION}, "DEF_LINK DEF_ABBR"},
                    GrammarCase{L{LINE_DEF_CITATION}, "DEF_CITE"},
                    GrammarCase{L{LINE_META, LINE_PLAIN}, "META"},
                    GrammarCase{L{LINE_META_START, LINE_META, LINE_SETEXT_2, LINE_PLAIN}, "META PARA"}));

INSTANTIATE_TEST_SUITE_P(
    Fences, Grammar,
    testing::Values(
        GrammarCase{L{LINE_FENCE_3, LINE_PLAIN, LINE_FENCE_3}, "FENCED"},
        // A fence with an info string closes nothing: it ends the open block
        // and opens the next.
        GrammarCase{L{LINE_FENCE_3, LINE_FENCE_START_3, LINE_PLAIN, LINE_FENCE_3}, "FENCED FENCED"},
        GrammarCase{L{LINE_FENCE_4, LINE_FENCE_3, LINE_TOC, LINE_ATX_1, LINE_FENCE_5}, "FENCED"},
        GrammarCase{L{LINE_FENCE_4, LINE_FENCE_3, LINE_FENCE_4, LINE_PLAIN}, "FENCED PARA"},
        GrammarCase{L{LINE_FENCE_START_5, LINE_EMPTY, LINE_FENCE_4}, "FENCED"}));

INSTANTIATE_TEST_SUITE_P(
    Tables, Grammar,
    testing::Values(GrammarCase{L{LINE_TABLE, LINE_TABLE}, "PARA"},
                    GrammarCase{L{LINE_TABLE_SEPARATOR, LINE_TABLE}, "TABLE"},
                    GrammarCase{L{LINE_TABLE, LINE_TABLE_SEPARATOR, LINE_TABLE, LINE_EMPTY,
                                  LINE_TABLE, LINE_EMPTY, LINE_PLAIN},
                                "TABLE PARA"}));

INSTANTIATE_TEST_SUITE_P(
    ListsAndDefinitions, Grammar,
    testing::Values(GrammarCase{L{LINE_LIST_BULLETED, LINE_LIST_BULLETED}, "UL"},
                    GrammarCase{L{LINE_LIST_ENUMERATED}, "OL"},
                    // ": " lines with no term form a paragraph.
                    GrammarCase{L{LINE_DEFINITION, LINE_DEFINITION}, "PARA"},
                    GrammarCase{L{LINE_PLAIN, LINE_DEFINITION}, "DEFLIST"}));

TEST(GrammarTree, TableHeadSectionsAndCells) {
    // Rows of "x\n": each row holds one cell; the blank line that ends a
    // section gives its tokens to the section.
    auto p = parse_lines({LINE_TABLE, LINE_TABLE_SEPARATOR, LINE_TABLE, LINE_EMPTY, LINE_TABLE});
    EXPECT_EQ(dump_chain(p->root->child),
              "TABLE(THEAD(ROW(CELL(T) NL) L_SEP(CELL(T) NL)) TBODY(ROW(CELL(T) NL) T NL) "
              "TBODY(ROW(CELL(T) NL)))");
    ASSERT_EQ(p->engine->table_list->size, 1u);
    EXPECT_EQ(p->engine->table_list->element[0], p->root->child);
}

// Lines in, block tree out, down to the given depth.
TEST(GrammarTree, LinesGiveTrees) {
    const struct {
        std::vector<unsigned short> lines;
        int depth;
        const char *tree;
    } cases[] = {
        {{LINE_TABLE_SEPARATOR, LINE_TABLE}, 2, "TABLE(THEAD(L_SEP) TBODY(ROW))"},
        // A metadata block ends with its closing line.
        {{LINE_META_START, LINE_META, LINE_SETEXT_2}, 1, "META(L_METASTART L_META L_SETEXT2)"},
        // Every line of a term paragraph is a term: indented and table-like
        // continuation lines would otherwise stay line tokens inside the
        // list, which no writer knows.
        {{LINE_PLAIN, LINE_INDENTED_SPACE, LINE_TABLE, LINE_DEFINITION}, 1, "DEFLIST(TERM TERM TERM DEFINITION)"},
        // A paragraph of definition lines keeps its text.
        {{LINE_DEFINITION, LINE_DEFINITION}, 64, "PARA(T NL T NL)"},
        // Items of one marker line each: the list stays tight.
        {{LINE_LIST_BULLETED, LINE_LIST_BULLETED}, 1, "UL(LI_TEXT LI_TEXT)"},
        // Codes 5 and 40 are never fed by the tokenizer; a line that carries
        // one where no rule takes it is dropped and parsing goes on (the
        // default reductions it meets first close the open paragraph).
        {{LINE_FALLBACK_PLAIN, LINE_PLAIN, 40, LINE_PLAIN}, 64, "PARA(T NL) PARA(T NL)"},
    };
    for (const auto &c : cases) {
        auto p = parse_lines(c.lines);
        EXPECT_EQ(dump_chain(p->root->child, c.depth), c.tree);
    }
}

TEST(GrammarTree, BlocksHoldTheirLinesTokens) {
    auto p = parse_lines({LINE_PLAIN, LINE_PLAIN, LINE_FENCE_3, LINE_PLAIN, LINE_FENCE_3});
    EXPECT_EQ(dump_chain(p->root->child),
              "PARA(T NL T NL) FENCED(L_FENCE3(FENCE NL) T NL L_FENCE3(FENCE NL))");
    EXPECT_EQ(p->root->child->start, 0u);
    EXPECT_EQ(p->root->child->len, 4u);
}

TEST(GrammarTree, SetextUnderlineIsDroppedAndHeadingsAreListed) {
    auto p = parse_lines({LINE_PLAIN, LINE_SETEXT_1, LINE_ATX_2});
    EXPECT_EQ(dump_chain(p->root->child), "SETEXT1(T NL) H2(T NL)");
    ASSERT_EQ(p->engine->header_list->size, 2u);
    EXPECT_EQ(p->engine->header_list->element[1], p->root->child->next);
}

TEST(GrammarTree, DefinitionListTermsAndDefinitions) {
    auto p = parse_lines({LINE_PLAIN, LINE_DEFINITION, LINE_DEFINITION});
    EXPECT_EQ(dump_chain(p->root->child, 1), "DEFLIST(TERM DEFINITION DEFINITION)");
    // A definition line's own ':' token (here the first token) is dropped.
    EXPECT_EQ(dump_chain(p->root->child->child->next), "DEFINITION(NL) DEFINITION(NL)");
}

TEST(GrammarTree, IndentedCodeDropsTrailingBlankLines) {
    auto p = parse_lines({LINE_INDENTED_SPACE, LINE_EMPTY, LINE_INDENTED_SPACE, LINE_EMPTY, LINE_EMPTY});
    EXPECT_EQ(dump_chain(p->root->child), "ICODE(T NL T NL T NL)");
    EXPECT_EQ(p->root->child->len, 6u);
}

TEST(GrammarFailure, EmptyChainReportsAndYieldsNothing) {
    auto p = parse_lines({});
    EXPECT_EQ(p->root->child, nullptr);
    EXPECT_EQ(p->err, "Parser failed to successfully parse.\n");
}

// At the depth limit the lines are parsed no deeper, yet none is left for
// the writers, which know no line types: their tokens, markers and all,
// become one paragraph, and an empty line goes.
TEST(GrammarFailure, DepthLimitMakesTheLinesOneParagraph) {
    auto p = parse_lines({LINE_PLAIN});
    token *box = token_new(BLOCK_BLOCKQUOTE, 0, 6);
    for (unsigned short type : {LINE_BLOCKQUOTE, LINE_PLAIN}) {
        token *line = token_new(type, box->child ? 2 : 0, 2);
        token_append_child(line, token_new(type == LINE_BLOCKQUOTE ? MARKER_BLOCKQUOTE : TEXT,
                                           line->start, 1));
        token_append_child(line, token_new(NEWLINE, line->start + 1, 1));
        token_append_child(box, line);
    }
    token_append_child(box, token_new(LINE_EMPTY, 4, 0));
    p->engine->recurse_depth = kTzrParseDepthLimit;
    tzr_parse_token_chain(p->engine, box);
    EXPECT_EQ(dump_chain(box), "QUOTE(PARA(QMARK NL T NL))");
    EXPECT_TRUE(chain_is_consistent(box->child));
    token_tree_free(box);
    p->engine->recurse_depth = 0;
}

// Feeds lines of the given types (each "x\n") to the grammar one by one,
// but for the lines from `run_first` up to `run_end`, fed as one chain the
// way the tokenizer hands on a run of plain lines; the tree it makes.
std::string tree_of_fed_lines(const std::vector<unsigned short> &types, size_t run_first, size_t run_end) {
    std::string source;
    for (size_t i = 0; i < types.size(); i++)
        source += "x\n";
    tzr_engine *engine = tzr_engine_create_with_string(source.c_str(), 0);
    void *parser = tzr_parser_take(engine);
    engine->root = nullptr;
    token *run = nullptr;
    for (size_t i = 0; i < types.size(); i++) {
        token *line = token_new(types[i], 2 * i, 2);
        token_append_child(line, token_new(TEXT, 2 * i, 1));
        token_append_child(line, token_new(NEWLINE, 2 * i + 1, 1));
        if (i < run_first || i >= run_end) {
            tzr_parser_feed(parser, line->type, line, engine);
            continue;
        }
        if (run)
            token_chain_append(run, line);
        else
            run = line;
        if (i + 1 == run_end)
            tzr_parser_feed(parser, run->type, run, engine);
    }
    tzr_parser_feed(parser, 0, nullptr, engine);
    token *blocks = engine->root;
    engine->root = nullptr;
    tzr_parser_give_back(engine, parser);
    std::string tree = dump_chain(blocks);
    EXPECT_TRUE(chain_is_consistent(blocks, false)) << tree;
    token_tree_free(blocks);
    tzr_engine_free(engine, true);
    return tree;
}

// Once a plain line has reached the grammar, the plain lines right after it
// may come as one chain: in whatever block they stand (a paragraph, a list
// item, a quote, a note, an HTML block, a fence), after whatever line, and
// whatever follows them, the tree is the one those lines make fed one by
// one.
TEST(GrammarTree, PlainLinesAfterAPlainLineMayComeAsOneChain) {
    std::vector<unsigned short> types;
    for (unsigned short type = LINE_HR; type <= LINE_HTML_COMMENT_START; type++)
        if (type != LINE_FALLBACK_PLAIN && type != LINE_FALLBACK_BLOCK && type != LINE_FALLBACK_FENCE)
            types.push_back(type);
    int compared = 0;
    for (unsigned short before : types) {
        for (unsigned short first : types) {
            for (unsigned short after : types) {
                for (size_t run = 2; run <= 3; run++) {
                    // before, first, PLAIN, then `run` plain lines, then after.
                    std::vector<unsigned short> lines = {before, first, LINE_PLAIN};
                    lines.insert(lines.end(), run, LINE_PLAIN);
                    lines.push_back(after);
                    std::string one_by_one = tree_of_fed_lines(lines, 0, 0);
                    ASSERT_EQ(tree_of_fed_lines(lines, 3, 3 + run), one_by_one)
                        << before << " " << first << " " << after << " " << run;
                    compared++;
                }
            }
        }
    }
    EXPECT_GT(compared, 0);
}

TEST(ParserRecord, AllocFeedFreeAndNullSafety) {
    EXPECT_EQ(tzr_parser_alloc(nullptr), nullptr);
    tzr_parser_free(nullptr, free);
    tzr_parser_feed(nullptr, 1, nullptr, nullptr);
    void *parser = tzr_parser_alloc(malloc);
    ASSERT_NE(parser, nullptr);
    tzr_parser_free(parser, free);
}

}  // namespace

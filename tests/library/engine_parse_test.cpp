// The document engine end to end: sources become block trees with paired
// spans; extension flags, ranges and deep nesting.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "library/engine.h"
#include "library/token_pool.h"
#include "library/tzr.h"
#include "parse_helpers.h"
#include "tree_check.h"

namespace {

// Runs `body` on a thread with the given stack size.
void run_with_stack(size_t bytes, const std::function<void()> &body) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, bytes);
    pthread_t thread;
    auto trampoline = [](void *arg) -> void * {
        (*static_cast<const std::function<void()> *>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, trampoline,
                             const_cast<std::function<void()> *>(&body)),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

std::string blocks_of(const char *source, uint64_t extensions = 0, int depth = 1) {
    tzr_engine *e = tzr_engine_create_with_string(source, extensions);
    tzr_engine_parse_string(e);
    EXPECT_TRUE(chain_is_consistent(tzr_engine_root(e)->child)) << source;
    std::string out = dump_chain(tzr_engine_root(e)->child, depth);
    tzr_engine_free(e, true);
    return out;
}

struct SourceCase {
    const char *source;
    uint64_t extensions;
    int depth;
    const char *expected;
};

class EngineParse : public testing::TestWithParam<SourceCase> {};

TEST_P(EngineParse, SourceBecomesTree) {
    const SourceCase &c = GetParam();
    EXPECT_EQ(blocks_of(c.source, c.extensions, c.depth), c.expected) << c.source;
}

// Sources end without a line end unless the case is about it: a final line
// end leaves an empty last line, which joins the block before it or makes
// an EMPTY block of its own.
INSTANTIATE_TEST_SUITE_P(
    Blocks, EngineParse,
    testing::Values(
        SourceCase{"# Title\n\nText *here*.\n", 0, 0, "H1 EMPTY PARA EMPTY"},
        SourceCase{"```\n```x\ntext\n```", 0, 0, "FENCED FENCED"},
        SourceCase{"- a\n- b", 0, 1, "UL(LI_TEXT LI_TEXT)"},
        SourceCase{"- a\n\n- b", 0, 1, "UL_LOOSE(LI LI_TEXT)"},
        // The last item is never examined, so a trailing blank line that
        // joins it keeps it a BLOCK_LIST_ITEM.
        SourceCase{"- a\n- b\n", 0, 1, "UL(LI_TEXT LI)"},
        SourceCase{"- a\n\n", 0, 1, "UL(LI)"},
        // An item's type follows what it holds: an item continued on an
        // indented line, or whose first block is a quote, holds blocks; a
        // one-line item holds its text.
        SourceCase{"- a\n\n- b\n  c\n- d", 0, 2, "UL_LOOSE(LI(PARA EMPTY) LI(PARA) LI_TEXT(20))"},
        SourceCase{"- a\n\n- > q\n\n- d", 0, 2, "UL_LOOSE(LI(PARA EMPTY) LI(QUOTE EMPTY) LI_TEXT(20))"},
        SourceCase{"- a\n    - b\n- c", 0, 2, "UL(LI(PARA UL) LI_TEXT(20))"},
        SourceCase{"- a\n  b", 0, 2, "UL(LI(PARA))"},
        SourceCase{"Term\n: definition", 0, 1, "DEFLIST(TERM DEFINITION)"},
        SourceCase{"> a\n> > b", 0, 1, "QUOTE(PARA QUOTE)"},
        SourceCase{"| a | b |\n|---|---|\n| 1 | 2 |", 0, 1, "TABLE(THEAD TBODY)"},
        SourceCase{"a\n===\n", 0, 0, "SETEXT1 EMPTY"},
        SourceCase{"===\n", 0, 0, "HR EMPTY"},
        SourceCase{"    code\n\n    more\n\n", 0, 0, "ICODE"},
        SourceCase{"---\ntitle: x\n---", 0, 1, "META(L_METASTART L_META L_SETEXT2)"},
        SourceCase{"Title: x", 0x1, 0, "PARA"},
        // A paragraph that opens with a lone tag line is raw HTML.
        SourceCase{"<span>\ntext", 0, 0, "HTML"},
        // Nested parses: the item marker leads the item's first block; a
        // note's lines become its own paragraph.
        SourceCase{"- a\n\n    b", 0, 3, "UL(LI(PARA(BULLET T NL) EMPTY(NL) PARA(T)))"},
        SourceCase{"[^a]: note\n    more", 0x10, 3, "DEF_FN(PARA(P_BR_FN([^ T ]) COLON T NL T))"},
        SourceCase{"Term\n: def\n    more", 0, 3, "DEFLIST(TERM(T NL) DEFINITION(PARA(T NL T)))"},
        SourceCase{"a | b\n--|--\n1 | 2", 0, 4,
                   "TABLE(THEAD(ROW(CELL(T) | CELL(T) NL) L_SEP(CELL(DASH) | CELL(DASH) NL)) "
                   "TBODY(ROW(CELL(T) | CELL(T))))"}));

INSTANTIATE_TEST_SUITE_P(
    Spans, EngineParse,
    testing::Values(
        SourceCase{"a *b* c", 0, 2, "PARA(T P_EM(EM< T >EM) T)"},
        SourceCase{"$x$", 0, 2, "PARA(P_MATH($ T $))"},
        SourceCase{"$x$", 0x1, 2, "PARA($ T $)"},
        SourceCase{"x[^a]", 0, 1, "PARA(T P_BR)"},
        SourceCase{"x[^a]", 0x10, 1, "PARA(T P_BR_FN)"},
        SourceCase{"a {++b++} c", 0, 1, "PARA(T {++ T ++} T)"},
        SourceCase{"a {++b++} c", 0x200, 1, "PARA(T P_ADD T)"}));

TEST(EngineParseText, ColonsOfATermlessDefinitionStay) {
    tzr_engine *e = tzr_engine_create_with_string(": a\n: b\n", 0);
    tzr_engine_parse_string(e);
    token *para = tzr_engine_root(e)->child;
    ASSERT_NE(para, nullptr);
    EXPECT_EQ(para->type, BLOCK_PARA);
    std::string text;
    for (token *t = para->child; t; t = t->next)
        text += std::string(e->source->str + t->start, t->len);
    EXPECT_EQ(text, ": a\n: b\n");
    tzr_engine_free(e, true);
}

TEST(EngineParseText, EmptySourceIsOneBlankBlock) {
    // The tokenizer gives an empty range one empty line, so the grammar never
    // sees an empty chain from a real source.
    tzr_engine *e = tzr_engine_create_with_string("", 0);
    testing::internal::CaptureStderr();
    tzr_engine_parse_string(e);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(tzr_engine_root(e), nullptr);
    EXPECT_EQ(dump_chain(tzr_engine_root(e)->child), "EMPTY");
    tzr_engine_free(e, true);
}

TEST(EngineParseText, MetadataOnlyFromTheStart) {
    const char *source = "Some text\nTitle: x\n";
    tzr_engine *e = tzr_engine_create_with_string(source, 0);
    token *at10 = tzr_engine_parse_substring(e, 10, (size_t)-1);
    ASSERT_NE(at10, nullptr);
    EXPECT_EQ(dump_types(at10->child), "PARA EMPTY");
    EXPECT_EQ(e->extensions, 0u);
    EXPECT_EQ(tzr_engine_root(e), nullptr);
    token_tree_free(at10);
    token *at0 = tzr_engine_parse_substring(e, 10 - 10 + 10, 9);
    token_tree_free(at0);
    tzr_engine_free(e, true);

    e = tzr_engine_create_with_string("Title: x\n\nText\n", 0);
    tzr_engine_parse_string(e);
    EXPECT_EQ(dump_types(tzr_engine_root(e)->child), "META EMPTY PARA EMPTY");
    EXPECT_EQ(e->metadata_list->size, 1u);
    tzr_engine_free(e, true);
}

TEST(EngineParseText, SubstringRangeIsClamped) {
    tzr_engine *e = tzr_engine_create_with_string("one\n\ntwo\n", 0);
    for (auto [start, len] : {std::pair<size_t, size_t>{5, (size_t)-1}, {5, 1000},
                              {5, (size_t)-2}}) {
        token *root = tzr_engine_parse_substring(e, start, len);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(dump_types(root->child), "PARA EMPTY");
        token_tree_free(root);
    }
    token *past = tzr_engine_parse_substring(e, 1000, 10);
    ASSERT_NE(past, nullptr);
    EXPECT_EQ(past->start, 9u);
    EXPECT_EQ(dump_chain(past->child), "EMPTY");
    token_tree_free(past);
    tzr_engine_free(e, true);
}

// Token offsets are 32-bit: a source of 4 GiB or more is refused with a
// message before a byte of it is read, and the engine gives no tree. (The
// source only claims that length here; its buffer holds a few bytes.)
TEST(EngineParseText, SourcesBeyondTokenOffsetsAreRefused) {
    DString *source = d_string_new("# Title\n\nText\n");
    size_t real = source->length;
    source->length = kTokenOffsetLimit + (size_t)16;
    tzr_engine *e = tzr_engine_create(source, 0);
    testing::internal::CaptureStderr();
    tzr_engine_parse_string(e);
    token *part = tzr_engine_parse_substring(e, 0, 4);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(tzr_engine_root(e), nullptr);
    EXPECT_EQ(part, nullptr);
    EXPECT_NE(said.find("Document too large to parse (4294967311 bytes).\n"), std::string::npos) << said;
    source->length = real;
    tzr_engine_free(e, true);
}

TEST(EngineLifeCycle, NullSafetyLanguagesAndReset) {
    tzr_engine_free(nullptr, true);
    tzr_engine_parse_string(nullptr);
    tzr_engine_set_language(nullptr, 2);
    tzr_engine *e = tzr_engine_create_with_string(nullptr, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->source->length, 0u);
    EXPECT_EQ(e->allow_meta, 1);
    const unsigned short quotes[] = {0, 5, 3, 2, 1, 6, 0, 0};
    for (unsigned short lang = 0; lang < 8; lang++) {
        tzr_engine_set_language(e, lang);
        EXPECT_EQ(e->language, lang);
        EXPECT_EQ(e->quotes_language, quotes[lang]) << lang;
    }
    tzr_engine_free(e, true);

    e = tzr_engine_create_with_string("# A\n\n[^n]: note\n", 0x80);
    EXPECT_EQ(e->allow_meta, 0);
    tzr_engine_parse_string(e);
    EXPECT_EQ(e->header_list->size, 1u);
    EXPECT_EQ(e->definition_list->size, 1u);
    tzr_engine_reset(e);
    EXPECT_EQ(tzr_engine_root(e), nullptr);
    EXPECT_EQ(e->header_list->size + e->definition_list->size, 0u);
    DString *source = tzr_engine_source(e);
    tzr_engine_free(e, false);
    d_string_free(source, true);
}

// An engine parsed again and again keeps its tree's memory: the next parse
// carves the slabs of the last (after the engine reset it), the tokens it
// frees on the way (the single marks strong emphasis pairs up) are carved
// again within it, and it converts the same; a root from a range parse is
// the caller's and outlives the engine, freed on another thread.
TEST(EngineLifeCycle, ParsesAgainInTheSameMemoryAndRangeRootsOutliveTheEngine) {
    std::string source;
    for (int i = 0; i < 3000; i++)
        source += "# Part " + std::to_string(i) + "\n\nSome *text* -- **strong *and* \"quoted\"** " +
                  "__words__ *a **b** c* with [a link](http://x.org/a/b/" +
                  std::to_string(i) + ") and a note.[^n" + std::to_string(i) + "]\n\n[^n" + std::to_string(i) +
                  "]: The note.\n\n";
    DString *once = tzr_string_convert_to_data(source.c_str(), 0x18, 0, 0, nullptr);
    ASSERT_NE(once, nullptr);

    tzr_engine *e = tzr_engine_create_with_string(source.c_str(), 0x18);
    token *range_root = tzr_engine_parse_substring(e, 0, 200);
    ASSERT_NE(range_root, nullptr);
    std::string range_tree = dump_chain(range_root->child, 3);
    const token *first_root = nullptr;
    for (int round = 0; round < 3; round++) {
        DString *out = tzr_engine_convert_to_data(e, 0, nullptr);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::string(out->str), std::string(once->str)) << round;
        d_string_free(out, true);
        EXPECT_TRUE(chain_is_consistent(tzr_engine_root(e)->child));
#ifndef TOKEN_POOL_MALLOC
        if (round == 0)
            first_root = tzr_engine_root(e);
        else
            EXPECT_EQ(tzr_engine_root(e), first_root) << round;
#endif
        tzr_engine_parse_string(e);
    }
    (void)first_root;
    tzr_engine_free(e, true);
    d_string_free(once, true);

    EXPECT_EQ(dump_chain(range_root->child, 3), range_tree);
    std::thread([range_root] { token_tree_free(range_root); }).join();
}

// The most blocks of `type` on any path from `t` down, without recursion.
size_t depth_of(const token *t, unsigned short type) {
    size_t deepest = 0;
    std::vector<std::pair<const token *, size_t>> todo;
    for (; t; t = t->next)
        todo.push_back({t, 0});
    while (!todo.empty()) {
        auto [node, above] = todo.back();
        todo.pop_back();
        size_t here = above + (node->type == type ? 1 : 0);
        deepest = std::max(deepest, here);
        for (const token *c = node->child; c; c = c->next)
            todo.push_back({c, here});
    }
    return deepest;
}

size_t nesting_on_big_stack(const std::string &source, unsigned short type) {
    size_t depth = 0;
    run_with_stack(8u << 20, [&] {
        tzr_engine *e = tzr_engine_create_with_string(source.c_str(), 0);
        tzr_engine_parse_string(e);
        depth = depth_of(tzr_engine_root(e)->child, type);
        tzr_engine_free(e, true);
    });
    return depth;
}

TEST(EngineDeep, TenThousandQuoteLevelsStopAtTheParseLimit) {
    std::string source;
    for (int i = 0; i < 10000; i++)
        source += "> ";
    source += "x\ny\n";
    // Nested parses stop at depth 1000; the top-level parse is the first.
    size_t depth = nesting_on_big_stack(source, BLOCK_BLOCKQUOTE);
    EXPECT_GE(depth, 998u);
    EXPECT_LE(depth, 1000u);
}

TEST(EngineDeep, ListLevelsBeyondTheParseLimit) {
    // Each level's item holds the next, one tab further in. (The line typer
    // rescans a line's indentation each time it is typed again, so the cost
    // grows with the cube of the depth: just past the limit is enough.)
    const int levels = 1010;
    std::string source;
    for (int i = 0; i < levels; i++)
        source += std::string(i, '\t') + "- x\n";
    size_t depth = nesting_on_big_stack(source, BLOCK_LIST_BULLETED);
    EXPECT_GE(depth, 998u);
    EXPECT_LE(depth, 1000u);
}

TEST(EngineDeep, HundredThousandNestedParenthesesAndBracketsOnOneMebibyte) {
    for (const std::string &source :
         {std::string(100000, '(') + std::string(100000, ')') + "\n",
          std::string(100000, '[') + "\n", std::string(100000, '[') + std::string(100000, ']')}) {
        bool parsed = false;
        run_with_stack(1u << 20, [&] {
            tzr_engine *e = tzr_engine_create_with_string(source.c_str(), 0);
            tzr_engine_parse_string(e);
            parsed = tzr_engine_root(e) && tzr_engine_root(e)->child;
            tzr_engine_free(e, true);
        });
        EXPECT_TRUE(parsed);
    }
}

}  // namespace

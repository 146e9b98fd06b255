// Delimiter pairing on hand-cut token chains: the inline pass, the four
// pairing tables, the matcher and the emphasis pass together.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "library/engine.h"
#include "library/pairing.h"
#include "library/tzr.h"
#include "parse_helpers.h"
#include "tree_check.h"

namespace {

// A paragraph over `text`, paired as a parse pairs it; returns the dump of
// the paragraph's children.
std::string pair_text(const std::string &text, uint64_t extensions = 0) {
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), extensions);
    token *root = token_new(DOC_ROOT, 0, text.size());
    token *para = token_new(BLOCK_PARA, 0, text.size());
    root->child = para;
    para->child = inline_tokens(text);
    tzr_pair_tree(e, root);
    EXPECT_TRUE(chain_is_consistent(root->child, false)) << text;
    std::string out = dump_chain(para->child);
    token_tree_free(root);
    tzr_engine_free(e, true);
    return out;
}

struct PairCase {
    const char *text;
    uint64_t extensions;
    const char *expected;
};

class Pairing : public testing::TestWithParam<PairCase> {};

TEST_P(Pairing, PairsAsExpected) {
    const PairCase &c = GetParam();
    EXPECT_EQ(pair_text(c.text, c.extensions), c.expected) << "text: " << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Emphasis, Pairing,
    testing::Values(PairCase{"*a*", 0, "P_EM(EM< T >EM)"},
                    PairCase{"a * b", 0, "T * T"},
                    PairCase{"**a*b**", 0, "P_STRONG(ST< T * T >ST)"},
                    PairCase{"***a***", 0, "P_STRONG(ST< P_EM(EM< T >EM) >ST)"},
                    PairCase{"*foo*bar", 0, "P_EM(EM< T >EM) T"},
                    PairCase{"_a_", 0, "P_EM(EM< T >EM)"},
                    PairCase{"a_b_c", 0, "T _ T _ T"},
                    PairCase{"a**b", 0, "T * * T"},
                    PairCase{"*a [b* c]", 0, "* T P_BR([ T * T ])"},
                    // Pairs made only inside a bracket, or after stars and
                    // underscores no pair can take, still become emphasis.
                    PairCase{"[*a*]", 0, "P_BR([ P_EM(EM< T >EM) ])"},
                    PairCase{"a_b_c _d_", 0, "T _ T _ T P_EM(EM< T >EM)"},
                    PairCase{"a * b *c*", 0, "T * T P_EM(EM< T >EM)"},
                    // Outer pairs before inner ones, whichever closes first;
                    // neighbours and pairs in other chains alike.
                    PairCase{"*a **b** c*", 0, "P_EM(EM< T P_STRONG(ST< T >ST) T >EM)"},
                    PairCase{"**a *b* c**", 0, "P_STRONG(ST< T P_EM(EM< T >EM) T >ST)"},
                    PairCase{"**a** *b* __c__", 0,
                             "P_STRONG(ST< T >ST) T P_EM(EM< T >EM) T P_STRONG(ST< T >ST)"},
                    PairCase{"*a [**b**] c*", 0, "P_EM(EM< T P_BR([ P_STRONG(ST< T >ST) ]) T >EM)"},
                    // Marks inside code and math pair but stay marks.
                    PairCase{"`*a*` *b*", 0, "P_CODE(` * T * `) T P_EM(EM< T >EM)"},
                    PairCase{"*a `*b*` c*", 0, "P_EM(EM< T P_CODE(` * T * `) T >EM)"},
                    PairCase{"$*a*$ *b*", 0, "P_MATH($ * T * $) T P_EM(EM< T >EM)"},
                    PairCase{"*$a$*", 0, "P_EM(EM< P_MATH($ T $) >EM)"}));

INSTANTIATE_TEST_SUITE_P(
    QuotesAndDashes, Pairing,
    testing::Values(PairCase{"it's", 0, "T APOS T"},
                    PairCase{"a.'s b", 0, "T APOS T"},
                    PairCase{"'a'", 0, "P_SQ(' T ')"},
                    PairCase{"\"a\"", 0, "P_DQ(\" T \")"},
                    PairCase{"1-2", 0x8, "T DASH T"},
                    PairCase{"a-b", 0x8, "T T T"},
                    PairCase{"a-b", 0, "T DASH T"}));

INSTANTIATE_TEST_SUITE_P(
    CodeMathScripts, Pairing,
    testing::Values(PairCase{"``a`b``", 0, "P_CODE(` T ` T `)"},
                    PairCase{"`a``", 0, "` T `"},
                    PairCase{"$x$", 0, "P_MATH($ T $)"},
                    PairCase{"$x$", 0x1, "$ T $"},
                    PairCase{"2$x", 0, "T $ T"},
                    PairCase{"a^2^", 0, "T P_SUP(^ T ^)"},
                    PairCase{"a^2 b", 0, "T ^(T) T"},
                    PairCase{"a^2 b", 0x1, "T T T"},
                    PairCase{"H~2~O", 0, "T P_SUB(~ T ~) T"},
                    PairCase{"x^ y", 0, "T ^ T"},
                    PairCase{"[]", 0, "P_BR([ ])"},
                    PairCase{"(a (b) c)", 0, "P_PAREN(( T P_PAREN(( T )) T ))"}));

INSTANTIATE_TEST_SUITE_P(
    BracketsAndCritic, Pairing,
    testing::Values(PairCase{"[^a]", 0, "P_BR([^ T ])"},
                    PairCase{"[^a]", 0x10, "P_BR_FN([^ T ])"},
                    PairCase{"{++a++}", 0, "{++ T ++}"},
                    PairCase{"{++a++}", 0x200, "P_ADD({++ T ++})"},
                    PairCase{"{~~a~>b~~}", 0x200, "P_SUBDEL({~~ T ~) P_SUBADD(> T ~~})"},
                    PairCase{"{~~a~>b~~}", 0, "{~~ T ~ > T ~~}"},
                    PairCase{"a <!--b--> c", 0, "T 169(<!-- T -->) T"},
                    // A paragraph's comments are matched from the marks the
                    // inline pass lists, as the walk would match them: the
                    // nearest opening mark first, a closing mark alone left
                    // as it is, and none across a critic pair made before.
                    PairCase{"<!--a <!--b--> c-->", 0, "169(<!-- T 169(<!-- T -->) T -->)"},
                    PairCase{"a --> <!--b--> <!--c", 0, "T --> T 169(<!-- T -->) T <!-- T"},
                    PairCase{"<!----><!--x-->", 0, "169(<!-- -->) 169(<!-- T -->)"},
                    PairCase{"{++a <!--b++} c-->", 0x200, "P_ADD({++ T <!-- T ++}) T -->"},
                    PairCase{"{++a <!--b-->++} c", 0x200, "P_ADD({++ T 169(<!-- T -->) ++}) T"}));

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
    ASSERT_EQ(pthread_create(&thread, &attr, trampoline, const_cast<std::function<void()> *>(&body)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

// Counts how deep PAIR_PAREN containers nest, without recursion.
size_t paren_depth(const token *t) {
    size_t depth = 0;
    while (t) {
        const token *inner = nullptr;
        for (const token *c = t; c; c = c->next)
            if (c->type == PAIR_PAREN)
                inner = c;
        if (!inner)
            break;
        depth++;
        t = inner->child;
    }
    return depth;
}

TEST(PairingDeep, HundredThousandNestedParenthesesOnOneMebibyteStack) {
    const size_t n = 100000;
    std::string text(n, '(');
    text.append("x*y*").append(n, ')');
    size_t depth = 0;
    run_with_stack(1 << 20, [&] {
        tzr_engine *e = tzr_engine_create_with_string(text.c_str(), 0);
        token *root = token_new(DOC_ROOT, 0, text.size());
        root->child = token_new(BLOCK_PARA, 0, text.size());
        root->child->child = inline_tokens(text);
        tzr_pair_tree(e, root);
        depth = paren_depth(root->child->child);
        token_tree_free(root);
        tzr_engine_free(e, true);
    });
    EXPECT_EQ(depth, n);
}

TEST(PairingDeep, HundredThousandOpenBracketsOnOneMebibyteStack) {
    const size_t n = 100000;
    for (const std::string &text : {std::string(n, '['), std::string(n, '[') + std::string(n, ']')}) {
        size_t top = 0;
        run_with_stack(1 << 20, [&] {
            tzr_engine *e = tzr_engine_create_with_string(text.c_str(), 0);
            token *root = token_new(DOC_ROOT, 0, text.size());
            root->child = token_new(BLOCK_PARA, 0, text.size());
            root->child->child = inline_tokens(text);
            tzr_pair_tree(e, root);
            for (token *t = root->child->child; t; t = t->next)
                top++;
            token_tree_free(root);
            tzr_engine_free(e, true);
        });
        EXPECT_EQ(top, text.size() == n ? n : 1u);
    }
}

TEST(PairingInline, ThePassAloneOnlyDecidesFlags) {
    // Flags and apostrophes come from the bytes around each token; nothing
    // is paired yet.
    const std::string text = "a * b *c it's";
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), 0);
    token *para = token_new(BLOCK_PARA, 0, text.size());
    para->child = inline_tokens(text);
    tzr_pair_inline_tokens(e, para);
    std::string flags;
    for (token *t = para->child; t; t = t->next) {
        if (t->type == STAR)
            flags += std::to_string(t->can_open) + std::to_string(t->can_close) + " ";
        EXPECT_EQ(t->mate, nullptr);
    }
    EXPECT_EQ(flags, "00 10 ");
    EXPECT_EQ(dump_chain(para->child), "T * T * T APOS T");
    tzr_pair_inline_tokens(nullptr, para);
    tzr_pair_inline_tokens(e, nullptr);
    token_tree_free(para);
    tzr_engine_free(e, true);
}

TEST(PairingTable, OptionsBelongToThePairType) {
    token_pair_engine *e = token_pair_engine_new();
    ASSERT_NE(e, nullptr);
    token_pair_engine_add_pairing(e, BRACKET_LEFT, BRACKET_RIGHT, PAIR_BRACKET, 5);
    token_pair_engine_add_pairing(e, BRACKET_FOOTNOTE_LEFT, BRACKET_RIGHT, PAIR_BRACKET, 0);
    EXPECT_EQ(e->cell[kPairCanOpen + BRACKET_LEFT], 1);
    EXPECT_EQ(e->cell[kPairCanClose + BRACKET_RIGHT], 1);
    EXPECT_EQ(e->cell[kPairCanClose + BRACKET_LEFT], 0);
    EXPECT_EQ(e->cell[kPairMatrix + BRACKET_FOOTNOTE_LEFT * kPairTypes + BRACKET_RIGHT], PAIR_BRACKET);
    // Adding a pairing never clears an option.
    EXPECT_EQ(e->cell[kPairOptionEmpty + PAIR_BRACKET], 1);
    EXPECT_EQ(e->cell[kPairOptionPrune + PAIR_BRACKET], 1);
    EXPECT_EQ(e->cell[kPairOptionLength + PAIR_BRACKET], 0);
    token_pair_engine_add_pairing(e, 500, 1, 1, 7);  // out of range: ignored
    token_pair_engine_free(e);
    token_pair_engine_free(nullptr);
}

// The four tables an engine pairs with, in walk order.
std::vector<const token_pair_engine *> tables_of(const tzr_engine *e) {
    return {e->critic_pairings, e->html_comment_pairings, e->bracket_pairings, e->span_pairings};
}

TEST(PairingTable, EnginesShareTheTablesOfTheirExtensions) {
    auto pair_cell = [](const token_pair_engine *t, unsigned opener, unsigned closer) {
        return t->cell[kPairMatrix + opener * kPairTypes + closer];
    };
    tzr_engine *plain = tzr_engine_create_with_string("", 0);
    // Bits the tables do not depend on leave an engine the same tables.
    tzr_engine *smart = tzr_engine_create_with_string("", TZR_EXT_SMART | TZR_EXT_NO_METADATA);
    tzr_engine *notes = tzr_engine_create_with_string("", TZR_EXT_NOTES);
    tzr_engine *compat = tzr_engine_create_with_string("", TZR_EXT_COMPATIBILITY);
    tzr_engine *critic = tzr_engine_create_with_string("", TZR_EXT_CRITIC);
    ASSERT_TRUE(plain && smart && notes && compat && critic);
    EXPECT_EQ(tables_of(plain), tables_of(smart));

    EXPECT_NE(notes->bracket_pairings, plain->bracket_pairings);
    EXPECT_EQ(pair_cell(plain->bracket_pairings, BRACKET_FOOTNOTE_LEFT, BRACKET_RIGHT), PAIR_BRACKET);
    EXPECT_EQ(pair_cell(notes->bracket_pairings, BRACKET_FOOTNOTE_LEFT, BRACKET_RIGHT), PAIR_BRACKET_FOOTNOTE);
    EXPECT_EQ(pair_cell(plain->bracket_pairings, MATH_DOLLAR_SINGLE, MATH_DOLLAR_SINGLE), PAIR_MATH);
    EXPECT_EQ(pair_cell(compat->bracket_pairings, MATH_DOLLAR_SINGLE, MATH_DOLLAR_SINGLE), 0);
    EXPECT_EQ(pair_cell(plain->span_pairings, SUPERSCRIPT, SUPERSCRIPT), PAIR_SUPERSCRIPT);
    EXPECT_EQ(pair_cell(compat->span_pairings, SUPERSCRIPT, SUPERSCRIPT), 0);
    EXPECT_EQ(critic->critic_pairings->cell[kPairCanOpen + CRITIC_ADD_OPEN], 1);
    EXPECT_EQ(plain->critic_pairings->cell[kPairCanOpen + CRITIC_ADD_OPEN], 0);
    // Every set pairs what every engine pairs.
    for (tzr_engine *e : {plain, notes, compat, critic}) {
        EXPECT_EQ(pair_cell(e->span_pairings, STAR, STAR), PAIR_STAR);
        EXPECT_EQ(pair_cell(e->html_comment_pairings, HTML_COMMENT_START, HTML_COMMENT_STOP), PAIR_HTML_COMMENT);
    }

    // Freeing an engine leaves the tables to the others.
    const token_pair_engine *shared = plain->bracket_pairings;
    tzr_engine_free(plain, true);
    tzr_engine_free(smart, true);
    tzr_engine *again = tzr_engine_create_with_string("[a]", 0);
    EXPECT_EQ(again->bracket_pairings, shared);
    EXPECT_EQ(pair_cell(shared, BRACKET_LEFT, BRACKET_RIGHT), PAIR_BRACKET);
    for (tzr_engine *e : {again, notes, compat, critic})
        tzr_engine_free(e, true);
}

// The longest bracket an engine has paired is its own: engines with the same
// tables never raise each other's, and an engine's grows over its parses.
TEST(PairingTable, EachEngineKeepsItsLongestBracket) {
    std::string long_text = "[" + std::string(300, 'a') + "] and [b]\n";
    tzr_engine *big = tzr_engine_create_with_string(long_text.c_str(), 0);
    tzr_engine *small = tzr_engine_create_with_string("[b] and (c)\n", 0);
    ASSERT_TRUE(big && small);
    ASSERT_EQ(big->bracket_pairings, small->bracket_pairings);
    EXPECT_EQ(big->longest_bracket, 0u);
    tzr_engine_parse_string(big);
    tzr_engine_parse_string(small);
    EXPECT_EQ(big->longest_bracket, 302u);
    EXPECT_EQ(small->longest_bracket, 3u);
    tzr_engine_parse_string(big);
    EXPECT_EQ(big->longest_bracket, 302u);
    tzr_engine_free(big, true);
    tzr_engine_free(small, true);
}

// Engines of every set of table bits, made and used on several threads at
// once (the first of each set makes its tables), pair as one thread does.
TEST(PairingTable, EnginesOnSeveralThreadsPairAlike) {
    const std::string text = "[^n] *a* {++b++} $x$ a^2^ <!--c--> [`d`](e) _f_\n";
    const uint64_t bits[] = {0,
                             TZR_EXT_CRITIC,
                             TZR_EXT_NOTES,
                             TZR_EXT_CRITIC | TZR_EXT_NOTES,
                             TZR_EXT_COMPATIBILITY,
                             TZR_EXT_COMPATIBILITY | TZR_EXT_CRITIC,
                             TZR_EXT_COMPATIBILITY | TZR_EXT_NOTES,
                             TZR_EXT_COMPATIBILITY | TZR_EXT_CRITIC | TZR_EXT_NOTES};
    auto dump_of = [&](uint64_t extensions) { return pair_text(text, extensions); };
    std::vector<std::vector<std::string>> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); i++) {
        threads.emplace_back([&, i] {
            for (size_t round = 0; round < 4; round++) {
                for (size_t j = 0; j < 8; j++)
                    seen[i].push_back(dump_of(bits[(i + j) % 8]));
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    for (size_t i = 0; i < seen.size(); i++) {
        ASSERT_EQ(seen[i].size(), 32u);
        for (size_t k = 0; k < seen[i].size(); k++)
            EXPECT_EQ(seen[i][k], dump_of(bits[(i + k % 8) % 8])) << "thread " << i << " run " << k;
    }
    // The bits tell the dumps apart, so the runs above checked every set.
    EXPECT_NE(dump_of(0), dump_of(TZR_EXT_CRITIC));
    EXPECT_NE(dump_of(0), dump_of(TZR_EXT_NOTES));
    EXPECT_NE(dump_of(0), dump_of(TZR_EXT_COMPATIBILITY));
}

// Comments pair alike whether the block is matched from the marks its
// inline pass listed (a paragraph, a heading) or walked (a list item, a
// quote, whose comments lie in chains below its own).
TEST(PairingComments, PairInEveryKindOfBlock) {
    const char *text = "t <!-- x --> y\n\n# h <!-- x --> y\n\n* i <!-- x --> y\n\n"
                       "> q <!-- x --> y\n\n| a <!-- x --> | b |\n|---|---|\n| c <!-- x --> | d |\n";
    char *html = tzr_string_convert(text, 0, TZR_FORMAT_HTML, TZR_LANGUAGE_ENGLISH);
    ASSERT_NE(html, nullptr);
    std::string out = html;
    free(html);
    size_t comments = 0;
    for (size_t at = out.find("<!-- x -->"); at != std::string::npos; at = out.find("<!-- x -->", at + 1))
        comments++;
    EXPECT_EQ(comments, 6u) << out;
    EXPECT_EQ(out.find("&lt;!--"), std::string::npos) << out;
}

TEST(PairingTable, SetMatesClearsUnmatchedAndIgnoresNull) {
    token *a = token_new(STAR, 0, 1);
    token *b = token_new(STAR, 2, 1);
    token_set_mates(a, nullptr);
    EXPECT_EQ(a->unmatched, 1);
    token_set_mates(a, b);
    EXPECT_EQ(a->mate, b);
    EXPECT_EQ(b->mate, a);
    EXPECT_EQ(a->unmatched + b->unmatched, 0);
    token_free(a);
    token_free(b);
}

}  // namespace

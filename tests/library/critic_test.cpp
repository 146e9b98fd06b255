#include <gtest/gtest.h>

#include <string>

#include "library/critic.h"
#include "tree_check.h"

namespace {

DString *make(const std::string &text) {
    DString *d = d_string_new(nullptr);
    d_string_append_c_array(d, text.data(), text.size());
    return d;
}

std::string take(DString *d) {
    EXPECT_EQ(d->str[d->length], '\0');
    std::string out(d->str, d->length);
    d_string_free(d, true);
    return out;
}

std::string settle(const std::string &text, bool accept) {
    DString *d = make(text);
    accept ? critic_accept_all(d) : critic_reject_all(d);
    return take(d);
}

struct Case {
    const char *text;
    const char *accepted;
    const char *rejected;
};

void check(const Case &c) {
    EXPECT_EQ(settle(c.text, true), c.accepted) << "accepting " << c.text;
    EXPECT_EQ(settle(c.text, false), c.rejected) << "rejecting " << c.text;
}

TEST(Critic, EveryKindOfChange) {
    const Case cases[] = {
        {"a {++b++} c", "a b c", "a  c"},
        {"a {--x--} c", "a  c", "a x c"},
        {"{~~old~>new~~}", "new", "old"},
        {"{~~same~~}", "same", ""},
        {"a{>>note<<}b", "ab", "ab"},
        {"{==text==}", "text", "text"},
        {"{==t==}{>>why<<}", "t", "t"},
        {"{++++}{----}{~~~>~~}{====}{>><<}", "", ""},
        {"", "", ""},
        {"no marks at all", "no marks at all", "no marks at all"},
        {"1{++2++}3{--4--}5{~~6~>7~~}8", "123578", "134568"},
    };
    for (const Case &c : cases)
        check(c);
}

TEST(Critic, NestedOverlappingAndUnclosedMarks) {
    const Case cases[] = {
        {"{++a {--b--} c++}", "a  c", ""},
        {"{--a {++b++} c--}", "", "a  c"},
        {"{~~a{++b++}~>c~~}", "c", "a"},
        // Crossing marks: the addition closes first and drops the deletion's
        // opener, whose closer is then left without a partner.
        {"{++a{--b++}c--}", "a{--bc--}", "c--}"},
        {"{++a", "{++a", "{++a"},
        {"a++}", "a++}", "a++}"},
        {"{>>a", "{>>a", "{>>a"},
        {"{++}", "{++}", "{++}"},  // the marks overlap: no pair
        // An escaped brace opens nothing and keeps its backslash; the stray
        // closer stays.
        {"\\{++a++}", "\\{++a++}", "\\{++a++}"},
        {"{++a\\++}b++}", "a\\++}b", ""},
    };
    for (const Case &c : cases)
        check(c);
}

// A "~>" is removed only as the divider of a paired substitution; anywhere
// else it is text and must survive.
TEST(Critic, ArrowOutsideASubstitutionIsKept) {
    const Case cases[] = {
        {"x ~> y", "x ~> y", "x ~> y"},
        {"{~~a~>b", "{~~a~>b", "{~~a~>b"},
        {"{++a~>b++}", "a~>b", ""},
        {"{--a~>b--}", "", "a~>b"},
        {"{==a~>b==}{>>c~>d<<}", "a~>b", "a~>b"},
        // The last divider splits old from new text.
        {"{~~a~>b~>c~~}", "c", "a~>b"},
        {"{~~a{++x~>y++}~>c~~} ~>", "c ~>", "a ~>"},
    };
    for (const Case &c : cases)
        check(c);
}

TEST(Critic, RangeForms) {
    const std::string text = "{++a++} {++b++}";
    struct RangeCase {
        size_t start, len;
        bool accept;
        const char *result;
    };
    const RangeCase cases[] = {
        {0, 7, true, "a {++b++}"},
        {8, (size_t)-1, false, "{++a++} "},
        {8, (size_t)-1, true, "{++a++} b"},
        {0, (size_t)-1, true, "a b"},
        {3, (size_t)-2, true, "{++a++} b"},  // no overflow past the end
        {0, 4, true, "{++a++} {++b++}"},     // the closer lies outside the range
        {15, 10, true, "{++a++} {++b++}"},
        {99, (size_t)-1, false, "{++a++} {++b++}"},
        {0, 0, true, "{++a++} {++b++}"},
    };
    for (const RangeCase &c : cases) {
        DString *d = make(text);
        c.accept ? critic_accept_range(d, c.start, c.len) : critic_reject_range(d, c.start, c.len);
        EXPECT_EQ(take(d), c.result) << c.start << "+" << c.len;
    }
}

TEST(Critic, BadInputIsHarmless) {
    critic_accept_all(nullptr);
    critic_reject_range(nullptr, 0, 5);
    EXPECT_EQ(critic_parse(nullptr, 0, 5), nullptr);
    EXPECT_EQ(critic_parse("abc", 0, 0), nullptr);
    EXPECT_EQ(critic_parse("\0{++", 0, 4), nullptr);

    // Nothing after an embedded NUL is looked at.
    std::string text("{++a++}\0{++b++}", 15);
    DString *d = make(text);
    critic_accept_all(d);
    EXPECT_EQ(take(d), std::string("a\0{++b++}", 9));
}

TEST(Critic, DeepAndPathologicalInput) {
    const int n = 50000;
    std::string opens;
    for (int i = 0; i < n; i++)
        opens += "{++";
    EXPECT_EQ(settle(opens, true), opens);
    EXPECT_EQ(settle(opens + "--}~~}", false), opens + "--}~~}");

    // Pairs nested far deeper than any call stack could recurse.
    std::string nested;
    for (int i = 0; i < n; i++)
        nested += "{++";
    nested += "x";
    for (int i = 0; i < n; i++)
        nested += "++}";
    EXPECT_EQ(settle(nested, true), "x");
    EXPECT_EQ(settle(nested, false), "");

    std::string many;
    for (int i = 0; i < n; i++)
        many += "{--a--}b";
    EXPECT_EQ(settle(many, true), std::string(n, 'b'));
}

TEST(Critic, ParseBuildsPairsWithMates) {
    const char *text = "x{++a++}\\{y";
    token *root = critic_parse(text, 0, (size_t)-1);
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(chain_is_consistent(root->child));
    EXPECT_EQ(chain_summary(root->child), "17:0:1 12:1:7 17:8:2 17:10:1");
    token *pair = root->child->next;
    EXPECT_EQ(chain_summary(pair->child), "1:1:3 17:4:1 2:5:3");
    EXPECT_EQ(pair->child->mate, pair->child->tail);
    EXPECT_EQ(pair->child->tail->mate, pair->child);
    token_tree_free(root);

    root = critic_tokenize("{++a++}", 0, (size_t)-1);
    EXPECT_EQ(chain_summary(root->child), "1:0:3 17:3:1 2:4:3");
    EXPECT_EQ(root->child->mate, nullptr);
    token_tree_free(root);
}

TEST(Critic, SingleTokenAndSubstitutionSteps) {
    const char *text = "{++a++}{~~b~>c~~}";
    token *root = critic_parse(text, 0, (size_t)-1);
    token *add = root->child, *sub = add->next;
    token *closing = sub->child->tail;

    DString *d = make(text);
    critic_reject_substitution_from(d, closing);
    EXPECT_EQ(take(d), "{++a++}b");
    d = make(text);
    critic_accept_substitution_from(d, closing);
    EXPECT_EQ(take(d), "{++a++}c");
    d = make(text);
    critic_reject_token(d, add);
    EXPECT_EQ(take(d), "{~~b~>c~~}");
    d = make(text);
    critic_accept_chain(d, sub);
    EXPECT_EQ(take(d), "ac");
    d = make(text);
    critic_reject_chain(d, sub);
    EXPECT_EQ(take(d), "b");
    token_tree_free(root);
}

}  // namespace

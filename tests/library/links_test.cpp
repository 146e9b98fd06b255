#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library/links.h"

namespace {

std::string take(char *s) {
    std::string r = s ? s : "<null>";
    free(s);
    return r;
}

// "key=value;" for each node of an attribute list.
std::string describe(const tzr_attribute *a) {
    std::string out;
    for (; a; a = a->next)
        out += std::string(a->key) + "=" + a->value + ";";
    return out;
}

// A pair token of `type` over [start, start + len) with one-byte markers
// and the text between them.
token *pair(unsigned short type, size_t start, size_t len, unsigned short open = PAREN_LEFT,
            unsigned short close = PAREN_RIGHT) {
    token *o = token_new(open, start, 1);
    token *c = token_new(close, start + len - 1, 1);
    o->mate = c;
    c->mate = o;
    if (len > 2)
        token_chain_append(o, token_new(TEXT, start + 1, len - 2));
    token_chain_append(o, c);
    return token_new_parent(o, type);
}

TEST(Attributes, ParsedInOrder) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"width=40 class=\"big wide\" id='x'", "width=40;class=big wide;id='x';"},
        {"", ""},
        {"   ", ""},
        {"not an attribute", ""},
        {"a=b\nc=d", "a=b;c=d;"},
        {"a=b\n\nc=d", "a=b;"},
        {"a= b=c", "a=;b=c;"},       // blanks after "=": empty value, then the next pair
        {"a= word c=d", "a=;"},      // a word that is no key=value ends the list
        {"a=\"\" b=''", "a=;b='';"},
        {"x:y-z.w=1.5em", "x:y-z.w=1.5em;"},
    };
    for (const Case &c : cases) {
        tzr_attribute *list = tzr_parse_attributes(c.in);
        EXPECT_EQ(describe(list), c.out) << c.in;
        tzr_attribute_list_free(list);
    }
    EXPECT_EQ(tzr_parse_attributes(nullptr), nullptr);
}

TEST(InlineLink, PartsOfTheParentheses) {
    struct Case {
        const char *src;
        const char *url, *title, *attributes;
        size_t pair_len = 0;  // 0: the whole text
    } cases[] = {
        {"(<http://a.b/c>  \"T\" class=c)", "http://a.b/c", "T", "class=c"},
        {"(http://a.b)", "http://a.b", "<null>", "<null>"},
        {"( url 'a title' )", "url", "a title", "<null>"},
        {"(url (paren title))", "url", "paren title", "<null>"},
        {"()", "<null>", "<null>", "<null>"},
        {"(  )", "<null>", "<null>", "<null>"},
        // The destination never runs past the closing parenthesis.
        {"(a)b", "a", "<null>", "<null>", 3},
        // A title that would end beyond the pair is no title.
        {"(u \"a) b\")", "u", "<null>", "<null>", 6},
    };
    for (const Case &c : cases) {
        size_t len = c.pair_len ? c.pair_len : strlen(c.src);
        token *p = pair(PAIR_PAREN, 0, len);
        char *url = nullptr, *title = nullptr, *attrs = nullptr;
        tzr_inline_link_parts(p, c.src, &url, &title, &attrs);
        EXPECT_EQ(take(url), c.url) << c.src;
        EXPECT_EQ(take(title), c.title) << c.src;
        EXPECT_EQ(take(attrs), c.attributes) << c.src;
        token_free(p);
    }
}

TEST(InlineLink, RecordAndCompatibilityMode) {
    const char *src = "(<http://a.b/c>  \"T\" class=c)";
    token *p = pair(PAIR_PAREN, 0, strlen(src));
    tzr_export_context ctx;
    tzr_link *l = tzr_link_from_inline(&ctx, p, src);
    ASSERT_NE(l, nullptr);
    EXPECT_STREQ(l->url, "http://a.b/c");
    EXPECT_STREQ(l->title, "T");
    EXPECT_EQ(describe(l->attributes), "class=c;");
    EXPECT_EQ(l->origin, TZR_LINK_INLINE);
    EXPECT_EQ(l->label, nullptr);
    EXPECT_EQ(l->label_text, nullptr);
    EXPECT_EQ(l->clean_text, nullptr);
    tzr_link_free(l);

    ctx.ext_flags = 0x1;  // attributes are not part of compatibility mode
    EXPECT_EQ(tzr_link_from_inline(&ctx, p, src), nullptr);
    token_free(p);

    const char *plain = "(http://a.b)";
    token *q = pair(PAIR_PAREN, 0, strlen(plain));
    l = tzr_link_from_inline(&ctx, q, plain);
    ASSERT_NE(l, nullptr);
    EXPECT_STREQ(l->url, "http://a.b");
    tzr_link_free(l);
    token_free(q);
    EXPECT_EQ(tzr_link_from_inline(&ctx, nullptr, plain), nullptr);
}

TEST(LinkRecord, FromADefinition) {
    const char *src = "[Foo  Bar]";
    token *label = pair(PAIR_BRACKET, 0, 10, BRACKET_LEFT, BRACKET_RIGHT);
    tzr_link *l = tzr_link_new(src, label, " http://x.y/Z ", "Title", "a=1 b=\"two\"",
                               TZR_LINK_REFERENCE);
    ASSERT_NE(l, nullptr);
    EXPECT_STREQ(l->clean_text, "foo bar");
    EXPECT_STREQ(l->label_text, "foobar");
    EXPECT_STREQ(l->url, "http://x.y/Z");
    EXPECT_STREQ(l->title, "Title");
    EXPECT_EQ(describe(l->attributes), "a=1;b=two;");
    EXPECT_EQ(l->origin, TZR_LINK_REFERENCE);

    tzr_link *copy = tzr_link_copy(l);
    EXPECT_EQ(copy->url, l->url);  // shared, not copied
    free(copy);
    tzr_link_free(l);
    token_free(label);

    tzr_link *bare = tzr_link_new(src, nullptr, nullptr, nullptr, nullptr, TZR_LINK_INLINE);
    EXPECT_TRUE(bare && !bare->url && !bare->clean_text && !bare->attributes);
    tzr_link_free(bare);
}

TEST(Url, FromRange) {
    struct Case {
        const char *src;
        size_t start, max;
        bool validate;
        const char *url;
        size_t end;  // 0 when not written
    } cases[] = {
        {"foo bar", 0, 100, true, "<null>", 3},
        {"foo bar", 0, 100, false, "foo", 3},
        {"x <http://a.b/c> y", 2, 100, true, "http://a.b/c", 16},
        {"http://a.b/c", 0, 8, false, "http://a", 8},
        {"  leading", 0, 100, false, "<null>", 0},
        {"a@b.c", 0, 100, true, "a@b.c", 5},
        {"<>", 0, 100, false, "", 2},
    };
    for (const Case &c : cases) {
        size_t end = 0;
        EXPECT_EQ(take(tzr_url_from_range(c.src, c.start, c.max, &end, c.validate)), c.url)
            << c.src;
        EXPECT_EQ(end, c.end) << c.src;
    }
    EXPECT_EQ(tzr_url_from_range(nullptr, 0, 1, nullptr, false), nullptr);
}

TEST(Url, IsComplete) {
    EXPECT_TRUE(tzr_url_is_complete("http://a.b/c"));
    EXPECT_TRUE(tzr_url_is_complete("a@b"));
    EXPECT_FALSE(tzr_url_is_complete("http://a.b c"));
    EXPECT_FALSE(tzr_url_is_complete("relative/path"));
    EXPECT_FALSE(tzr_url_is_complete(""));
    EXPECT_FALSE(tzr_url_is_complete(nullptr));
}

TEST(Url, FromTokenPairsAndQuotes) {
    const char *src = "<http://a.b> \"t\"";
    token *angle = pair(PAIR_ANGLE, 0, 12, ANGLE_LEFT, ANGLE_RIGHT);
    token *quote = pair(PAIR_QUOTE_DOUBLE, 13, 3, QUOTE_DOUBLE, QUOTE_DOUBLE);
    token_chain_append(angle, quote);
    token *cursor = angle;
    EXPECT_EQ(take(tzr_url_from_token(src, &cursor, true)), "http://a.b");
    EXPECT_EQ(cursor, quote);
    // A destination written in quotes is none; the cursor stays.
    EXPECT_EQ(tzr_url_from_token(src, &cursor, false), nullptr);
    EXPECT_EQ(cursor, quote);
    token_tree_free(angle);

    token *none = nullptr;
    EXPECT_EQ(tzr_url_from_token(src, &none, false), nullptr);
    EXPECT_EQ(tzr_url_from_token(src, nullptr, false), nullptr);
}

TEST(Url, FromTokenSplitsATitleOffTheBareDestination) {
    const char *src = "  http://a.b/c title words\n";
    token *text = token_new(TEXT, 0, 26);
    token_chain_append(text, token_new(NEWLINE, 26, 1));
    token *cursor = text;
    EXPECT_EQ(take(tzr_url_from_token(src, &cursor, true)), "http://a.b/c");
    // The text token now holds the URL alone; the title words follow.
    EXPECT_EQ(text->start, 2u);
    EXPECT_EQ(text->len, 12u);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor, text->next);
    EXPECT_EQ(std::string(src + cursor->start, cursor->len), "title");
    token_tree_free(text);

    // Validation rejects a bare word but still moves the cursor past it.
    const char *word = "word";
    token *w = token_new(TEXT, 0, 4);
    cursor = w;
    EXPECT_EQ(tzr_url_from_token(word, &cursor, true), nullptr);
    EXPECT_EQ(cursor, nullptr);
    token_free(w);
}

}  // namespace

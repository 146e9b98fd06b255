#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library/export_context.h"
#include "library/labels.h"

namespace {

// A link record with the given keys, as the definition pass makes them.
tzr_link *link_with(const char *clean, const char *label, const char *url) {
    tzr_link *l = static_cast<tzr_link *>(calloc(1, sizeof(tzr_link)));
    l->clean_text = clean ? strdup(clean) : nullptr;
    l->label_text = label ? strdup(label) : nullptr;
    l->url = strdup(url);
    l->origin = TZR_LINK_REFERENCE;
    return l;
}

tzr_note *note_with(const char *clean, const char *label) {
    tzr_note *n = tzr_note_new(nullptr, nullptr, nullptr, true);
    n->clean_text = clean ? strdup(clean) : nullptr;
    n->label_text = label ? strdup(label) : nullptr;
    return n;
}

tzr_meta *meta_with(const char *source_key, const char *value) {
    tzr_meta *m = tzr_meta_new(source_key, 0, strlen(source_key));
    tzr_meta_set_value(m, value);
    return m;
}

TEST(Store, FirstHolderKeepsItsKey) {
    tzr_export_context ctx;
    // '[Foo Bar]' then '[foobar]': the second's keys are both taken.
    tzr_link *first = link_with("foo bar", "foobar", "/one");
    tzr_link *second = link_with("foobar", "foobar", "/two");
    tzr_store_add_link(&ctx, first);
    tzr_store_add_link(&ctx, second);
    EXPECT_EQ(ctx.link_store.size(), 2u);
    EXPECT_EQ(tzr_find_link(&ctx, "foobar"), first);
    EXPECT_EQ(tzr_find_link(&ctx, "Foo Bar"), first);

    // Equal keys make one entry; NULL and empty keys make none.
    tzr_export_context other;
    tzr_link *same = link_with("x", "x", "/x");
    tzr_link *keyless = link_with("", nullptr, "/y");
    tzr_store_add_link(&other, same);
    tzr_store_add_link(&other, keyless);
    EXPECT_EQ(other.link_store.size(), 1u);
    EXPECT_EQ(tzr_find_link_exact(&other, ""), nullptr);

    for (tzr_link *l : {first, second, same, keyless})
        tzr_link_free(l);
}

TEST(Store, LinkLookupsByCleanTextThenLabel) {
    tzr_export_context ctx;
    tzr_link *l = link_with("foo bar", "foobar", "/u");
    tzr_store_add_link(&ctx, l);
    struct Case {
        const char *text;
        bool found;
    } cases[] = {{"Foo Bar", true}, {"FOO\nBAR", true}, {"FooBar", true},
                 {"  foo   bar ", true}, {"Foo-Bar", false}, {"foo", false}};
    for (const Case &c : cases)
        EXPECT_EQ(tzr_find_link(&ctx, c.text) == l, c.found) << c.text;

    // The exact form tries the text unchanged, then its lower-cased clean form.
    EXPECT_EQ(tzr_find_link_exact(&ctx, "foobar"), l);
    EXPECT_EQ(tzr_find_link_exact(&ctx, " FOO  BAR"), l);
    EXPECT_EQ(tzr_find_link_exact(&ctx, "Foo-Bar"), nullptr);
    EXPECT_EQ(tzr_find_link(&ctx, nullptr), nullptr);
    EXPECT_EQ(tzr_find_link(nullptr, "foobar"), nullptr);

    // A text in the source is read up to its length, and a NUL ends it.
    const char source[] = "[Foo  Bar]\0x";
    EXPECT_EQ(tzr_find_link_range(&ctx, source + 1, 8), l);
    EXPECT_EQ(tzr_find_link_range(&ctx, source + 1, 7), nullptr);
    EXPECT_EQ(tzr_find_link_range(&ctx, "foo bar\0x", 9), l);

    // Long names are found by both keys as short ones are.
    std::string name;
    for (int i = 0; i < 200; i++)
        name += "Word" + std::to_string(i) + "  ";
    char *clean = tzr_clean_string(name.c_str(), true);
    char *label = tzr_label_from_text(name.c_str());
    tzr_link *long_link = link_with(clean, label, "/long");
    tzr_store_add_link(&ctx, long_link);
    std::string spaced = "\n" + name;
    EXPECT_EQ(tzr_find_link(&ctx, spaced.c_str()), long_link);
    std::string joined = label;
    joined[0] = 'W';
    EXPECT_EQ(tzr_find_link(&ctx, joined.c_str()), long_link);
    EXPECT_EQ(tzr_find_link(&ctx, (name + "x").c_str()), nullptr);
    free(clean);
    free(label);
    tzr_link_free(long_link);
    tzr_link_free(l);
}

TEST(Store, ThousandsOfKeysKeepTheirFirstHoldersAndOrder) {
    // The index grows many times while the first links go in, then the
    // same keys come again from later links and must lose to the first.
    constexpr int kLinks = 5000;
    tzr_export_context ctx;
    std::vector<tzr_link *> links;
    for (int round = 0; round < 2; round++)
        for (int i = 0; i < kLinks; i++) {
            std::string clean = "ref " + std::to_string(i);
            std::string label = "ref" + std::to_string(i);
            links.push_back(link_with(clean.c_str(), label.c_str(), round ? "/late" : "/early"));
            tzr_store_add_link(&ctx, links.back());
        }
    ASSERT_EQ(ctx.link_store.size(), 2u * kLinks);
    for (int i = 0; i < kLinks; i++) {
        std::string name = "Ref " + std::to_string(i);
        EXPECT_EQ(tzr_find_link(&ctx, name.c_str()), links[(size_t)i]) << name;
        EXPECT_EQ(ctx.link_store.find(("ref" + std::to_string(i)).c_str()), links[(size_t)i]);
        EXPECT_EQ(ctx.link_store.entries()[2 * (size_t)i].first, "ref " + std::to_string(i));
        EXPECT_EQ(ctx.link_store.entries()[2 * (size_t)i + 1].first, "ref" + std::to_string(i));
    }
    EXPECT_EQ(tzr_find_link(&ctx, "ref 5000"), nullptr);
    EXPECT_EQ(tzr_find_link(&ctx, "ref"), nullptr);

    // Room made after the fact keeps what is held; clearing forgets it all.
    ctx.link_store.reserve(20 * kLinks);
    EXPECT_EQ(tzr_find_link(&ctx, "ref 4999"), links[kLinks - 1]);
    ctx.link_store.clear();
    EXPECT_EQ(tzr_find_link(&ctx, "ref 1"), nullptr);
    tzr_store_add_link(&ctx, links[kLinks + 1]);
    EXPECT_EQ(tzr_find_link(&ctx, "ref 1"), links[kLinks + 1]);
    for (tzr_link *l : links)
        tzr_link_free(l);
}

TEST(Store, CleanTextOfALaterRecordLosesToAnEarlierLabel) {
    tzr_export_context ctx;
    tzr_note *a = note_with("^a b", "^ab");
    tzr_note *b = note_with("^ab", "^ab2");
    tzr_store_add_footnote(&ctx, a);
    tzr_store_add_footnote(&ctx, b);
    EXPECT_EQ(ctx.footnote_store.find("^ab"), a);
    EXPECT_EQ(ctx.footnote_store.find("^ab2"), b);
    // Insertion order: a's two keys, then b's one free key.
    ASSERT_EQ(ctx.footnote_store.size(), 3u);
    EXPECT_EQ(ctx.footnote_store.entries()[2].first, "^ab2");
    tzr_note_free(a);
    tzr_note_free(b);
}

TEST(Store, MetadataKeysAndValues) {
    tzr_export_context ctx;
    tzr_meta *title = meta_with("Title", "  First \n title ");
    tzr_meta *again = meta_with("title", "Second");
    tzr_meta *level = meta_with("Base Header Level", "2");
    for (tzr_meta *m : {title, again, level})
        tzr_store_add_metadata(&ctx, m);
    EXPECT_STREQ(title->key, "title");
    EXPECT_EQ(title->start, 0u);
    EXPECT_STREQ(tzr_meta_value_for_key(&ctx, "TITLE"), "First title");
    EXPECT_EQ(tzr_meta_find(&ctx, "Title"), title);
    EXPECT_STREQ(tzr_meta_value_for_key(&ctx, "Base Header Level"), "2");
    EXPECT_STREQ(tzr_meta_value_for_key(&ctx, "baseheaderlevel"), "2");
    // The clean form keeps the spaces, so only the label finds this key.
    EXPECT_EQ(tzr_meta_find(&ctx, "Base Header Level"), nullptr);
    EXPECT_EQ(tzr_meta_value_for_key(&ctx, "author"), nullptr);
    EXPECT_EQ(tzr_meta_value_for_key(&ctx, nullptr), nullptr);
    // Insertion order is document order.
    ASSERT_EQ(ctx.meta_store.size(), 2u);
    EXPECT_EQ(ctx.meta_store.entries()[1].second, level);

    tzr_meta_set_value(title, nullptr);  // changes nothing
    EXPECT_STREQ(title->value, "First title");
    for (tzr_meta *m : {title, again, level})
        tzr_meta_free(m);
}

TEST(Note, ContentIsWrappedUnlessItIsAParagraph) {
    const char *src = "[^Note 1]:  body text";
    token *label = token_new(PAIR_BRACKET_FOOTNOTE, 0, 9);
    token *open = token_new(BRACKET_FOOTNOTE_LEFT, 0, 2);
    token *close = token_new(BRACKET_RIGHT, 8, 1);
    open->mate = close;
    token_append_child(label, open);
    token_append_child(label, token_new(TEXT, 2, 6));
    token_append_child(label, close);

    token *body = token_new(TEXT, 10, 11);
    token_chain_append(body, token_new(TEXT, 21, 0));
    tzr_note *n = tzr_note_new(src, label, body, true);
    ASSERT_NE(n, nullptr);
    EXPECT_STREQ(n->clean_text, "^note 1");
    EXPECT_STREQ(n->label_text, "note1");
    EXPECT_EQ(n->number, -1);
    EXPECT_EQ(n->owns_content, 1);
    ASSERT_NE(n->content, nullptr);
    EXPECT_EQ(n->content->type, BLOCK_PARA);
    EXPECT_EQ(n->content->child, body);
    EXPECT_EQ(body->start, 12u);  // leading blanks trimmed
    tzr_note_free(n);             // the wrapper goes, the body stays

    token *para = token_new(BLOCK_PARA, 10, 11);
    tzr_note *p = tzr_note_new(src, nullptr, para, false);
    EXPECT_EQ(p->content, para);
    EXPECT_EQ(p->owns_content, 0);
    EXPECT_EQ(p->clean_text, nullptr);
    tzr_note_free(p);
    tzr_note_free(nullptr);
    token_free(para);
    token_tree_free(body);
    token_free(label);
}

TEST(Context, PadNewlinesTopsUpOnly) {
    tzr_export_context ctx;
    DString *out = d_string_new("");
    ctx.newline_count = 0;
    tzr_pad_newlines(out, 2, &ctx);
    EXPECT_STREQ(out->str, "\n\n");
    tzr_pad_newlines(out, 2, &ctx);
    EXPECT_EQ(out->length, 2u);
    ctx.newline_count = 6;
    tzr_pad_newlines(out, 2, &ctx);
    EXPECT_EQ(out->length, 2u);
    EXPECT_EQ(ctx.newline_count, 6);
    d_string_free(out, true);
}

TEST(Context, ColumnAlignmentOfAnyWidth) {
    tzr_export_context ctx;
    EXPECT_EQ(tzr_column_alignment(&ctx, 0), 'n');
    ctx.column_alignment.assign(300, 'l');
    ctx.column_alignment[299] = 'R';
    EXPECT_EQ(tzr_column_alignment(&ctx, 299), 'R');
    EXPECT_EQ(tzr_column_alignment(&ctx, 300), 'n');
    EXPECT_EQ(tzr_column_alignment(&ctx, -1), 'n');
    EXPECT_EQ(tzr_column_alignment(nullptr, 0), 'n');
}

}  // namespace

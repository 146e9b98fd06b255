#include <gtest/gtest.h>

#include <cstring>

#include "library/export_context.h"
#include "test_engine.h"
#include "library/tzr.h"

namespace {

tzr_note *note_with(const char *clean, const char *label) {
    tzr_note *n = tzr_note_new(nullptr, nullptr, nullptr, true);
    n->clean_text = clean ? strdup(clean) : nullptr;
    n->label_text = label ? strdup(label) : nullptr;
    return n;
}

TEST(ExportContext, EmptyEngineGivesEmptyStoresAndStartingValues) {
    tzr_engine *e = test_engine_new("text", 0x2);
    e->language = 3;
    e->quotes_language = 2;
    tzr_export_context *c = tzr_export_context_new(e, TZR_FORMAT_LATEX);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->link_store.empty() && c->meta_store.empty() && c->footnote_store.empty() &&
                c->citation_store.empty() && c->glossary_store.empty() &&
                c->abbreviation_store.empty());
    EXPECT_EQ(tzr_find_link(c, "x"), nullptr);
    EXPECT_EQ(tzr_meta_value_for_key(c, "title"), nullptr);
    EXPECT_EQ(c->ext_flags, 0x2u);
    EXPECT_EQ(c->format, TZR_FORMAT_LATEX);
    EXPECT_EQ(c->random_base, 0u);
    EXPECT_EQ(c->language, 3);
    EXPECT_EQ(c->quotes_language, 2);
    EXPECT_EQ(c->critic_tokens, e->critic_list);
    for (stack *s : {c->footnotes_used, c->footnotes_inline, c->citations_used, c->citations_inline,
                     c->glossary_used, c->glossary_inline, c->abbreviations_used,
                     c->abbreviations_inline, c->open_headings})
        ASSERT_TRUE(s && s->size == 0);
    tzr_export_context_free(c);
    tzr_export_context_free(nullptr);
    EXPECT_EQ(tzr_export_context_new(nullptr, 0), nullptr);
    test_engine_free(e);
}

TEST(ExportContext, RandomFootnoteBase) {
    tzr_engine *e = test_engine_new("", TZR_EXT_RANDOM_FOOT);
    for (unsigned seed = 0; seed < 50; seed++) {
        srand(seed);
        int expected = rand() % 32000;
        srand(seed);
        tzr_export_context *c = tzr_export_context_new(e, TZR_FORMAT_HTML);
        EXPECT_EQ(c->random_base, (uint32_t)expected);
        tzr_export_context_free(c);
    }
    test_engine_free(e);
}

TEST(ExportContext, StoresFilledFromTheEngineListsInOrder) {
    tzr_engine *e = test_engine_new("");
    auto *first = static_cast<tzr_link *>(calloc(1, sizeof(tzr_link)));
    first->clean_text = strdup("foo bar");
    first->label_text = strdup("foobar");
    auto *second = static_cast<tzr_link *>(calloc(1, sizeof(tzr_link)));
    second->clean_text = strdup("foobar");
    second->label_text = strdup("foobar");
    stack_push(e->link_list, first);
    stack_push(e->link_list, second);
    tzr_note *fn = note_with("^a", "a");
    tzr_note *cite = note_with("#k", "k");
    tzr_note *gloss = note_with("Term", "term");
    tzr_note *abbr = note_with("HyperText", "HTML");
    stack_push(e->footnote_list, fn);
    stack_push(e->citation_list, cite);
    stack_push(e->glossary_list, gloss);
    stack_push(e->abbreviation_list, abbr);
    for (auto [key, value] : {std::pair{"Title", "One"}, {"title", "Two"}, {"Author", "A"}}) {
        tzr_meta *m = tzr_meta_new(key, 0, strlen(key));
        tzr_meta_set_value(m, value);
        stack_push(e->metadata_list, m);
    }

    tzr_export_context *c = tzr_export_context_new(e, TZR_FORMAT_HTML);
    EXPECT_EQ(tzr_find_link(c, "FOOBAR"), first);
    EXPECT_EQ(c->footnote_store.find("^a"), fn);
    EXPECT_EQ(c->citation_store.find("k"), cite);
    EXPECT_EQ(c->glossary_store.find("Term"), gloss);
    EXPECT_EQ(c->abbreviation_store.find("HTML"), abbr);
    EXPECT_EQ(c->abbreviation_store.find("HyperText"), nullptr);
    // "Title" and "title" are one key; the first value wins.
    EXPECT_STREQ(tzr_meta_value_for_key(c, "title"), "One");
    ASSERT_EQ(c->meta_store.size(), 2u);
    EXPECT_EQ(c->meta_store.entries()[1].first, "author");

    // Notes made during the export belong to the context.
    token *wrapped = token_new(TEXT, 0, 0);
    tzr_note *made = tzr_note_new("", nullptr, wrapped, true);
    stack_push(c->footnotes_inline, made);
    stack_push(c->footnotes_used, made);
    stack_push(c->footnotes_used, fn);
    c->bibtex_name = strdup("refs.bib");
    tzr_export_context_free(c);

    // The engine's records survive the context.
    EXPECT_STREQ(fn->clean_text, "^a");
    EXPECT_STREQ(first->url ? first->url : "", "");
    EXPECT_EQ(e->metadata_list->size, 3u);
    token_free(wrapped);
    test_engine_free(e);
}

}  // namespace

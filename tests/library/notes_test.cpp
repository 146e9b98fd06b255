#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "html_test_tree.h"
#include "library/notes.h"

namespace {

struct RawCase {
    const char *filter;
    int16_t format;
    bool matches;
};

class RawFilter : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawFilter, MatchesFormatNames) {
    EXPECT_EQ(tzr_raw_filter_matches(GetParam().filter, GetParam().format), GetParam().matches)
        << GetParam().filter << " for " << GetParam().format;
}

INSTANTIATE_TEST_SUITE_P(Formats, RawFilter, ::testing::Values(
    RawCase{"latex", TZR_FORMAT_LATEX, true}, RawCase{"latex", TZR_FORMAT_BEAMER, true},
    RawCase{"latex", TZR_FORMAT_MEMOIR, true}, RawCase{"html", TZR_FORMAT_EPUB, false},
    RawCase{"{=html}", TZR_FORMAT_HTML, true}, RawCase{"odt", TZR_FORMAT_FODT, true},
    RawCase{"{=*}", TZR_FORMAT_ODT, true}, RawCase{"*", TZR_FORMAT_TEXTBUNDLE, true},
    RawCase{"html", TZR_FORMAT_TEXTBUNDLE, false}, RawCase{nullptr, TZR_FORMAT_HTML, false}));

TEST(Notes, FenceLanguageAndHeadingLevel) {
    std::string src = "```  c++ rest\n```\n";
    token fence{};
    fence.start = 0;
    fence.len = 3;
    char *lang = tzr_fence_language(&fence, src.c_str());
    EXPECT_STREQ(lang, "c++");
    free(lang);
    fence.start = 14;
    EXPECT_EQ(tzr_fence_language(&fence, src.c_str()), nullptr);

    token h{};
    for (auto [type, level] : {std::pair{BLOCK_H1, 1}, {BLOCK_H6, 6}, {BLOCK_SETEXT_1, 1}, {BLOCK_SETEXT_2, 2},
                               {BLOCK_HR, 0}, {BLOCK_PARA, 0}}) {
        h.type = type;
        EXPECT_EQ(tzr_heading_level(&h), level) << type;
    }
}

TEST(Notes, AssetStoredOnce) {
    HtmlTree t("x");
    tzr_export_context *c = tzr_export_context_new(t.engine(), 0);
    tzr_asset_store(c, "a.png");
    tzr_asset_store(c, "a.png");
    tzr_asset_store(c, "b.png");
    EXPECT_EQ(tzr_asset_table_count(c->asset_table), 2u);
    ASSERT_NE(tzr_asset_find(c, "a.png"), nullptr);
    EXPECT_EQ(strlen(tzr_asset_find(c, "a.png")->name), 36u);
    EXPECT_EQ(tzr_asset_find(c, "A.png"), nullptr);
    tzr_asset_table_free(c->asset_table);
    tzr_export_context_free(c);
}

TEST(Notes, AlignmentLettersFromTheSeparatorRow) {
    std::string src = "| :-- | --: | :-: | --- | :-+ | -:+ | :-:+ | -+ |";
    HtmlTree t(src);
    token *row = t.block(TABLE_ROW, {});
    size_t at = 0;
    while ((at = src.find('|', at)) != std::string::npos) {
        token_append_child(row, token_new(TABLE_DIVIDER, at, 1));
        size_t next = src.find('|', at + 1);
        if (next == std::string::npos)
            break;
        token_append_child(row, token_new(TABLE_CELL, at + 1, next - at - 1));
        at = next;
    }
    token *table = t.block(BLOCK_TABLE, {t.block(BLOCK_TABLE_HEADER, {row})});
    tzr_export_context *c = tzr_export_context_new(t.engine(), 0);
    tzr_table_read_alignment(t.src(), table, c);
    EXPECT_EQ(c->column_alignment, "lrcnLRCN");
    EXPECT_EQ(c->table_columns, 8);
    EXPECT_EQ(row->type, CONSUMED);
    EXPECT_EQ(tzr_column_alignment(c, 8), 'n');
    tzr_export_context_free(c);
    token_tree_free(table);
}

// Resolves the brackets of one paragraph by hand after pairing.
struct Resolved {
    HtmlTree tree;
    token *para;
    tzr_export_context *c = nullptr;
    Resolved(const std::string &src, const std::string &body) : tree(src, 0x10) { para = tree.para(body); }
    void start() {
        token *root = tree.block(DOC_ROOT, {para});
        tree.engine()->root = root;
        tzr_pair_tree(tree.engine(), root);
        c = tzr_export_context_new(tree.engine(), 0);
    }
    ~Resolved() { tzr_export_context_free(c); }
    token *child(int i) {
        token *t = para->child;
        while (i-- > 0 && t)
            t = t->next;
        return t;
    }
};

TEST(Notes, ExplicitReferenceNeverFallsBackToTheFirstBracket) {
    Resolved r("[ref][nope] [ref][] [x [ref]] [![ref]]\n[ref]", "[ref][nope] [ref][] [x [ref]] [![ref]]");
    r.tree.define_link("[ref]", "/u");
    r.start();
    tzr_link *link;
    uint16_t skip;
    bool made;
    tzr_link_from_bracket(r.tree.src(), r.c, r.child(0), &link, &skip, &made);
    EXPECT_EQ(link, nullptr);
    tzr_link_from_bracket(r.tree.src(), r.c, r.child(3), &link, &skip, &made);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(skip, 1);
    EXPECT_FALSE(made);
    EXPECT_EQ(r.child(3)->child->type, CONSUMED);
    tzr_link_from_bracket(r.tree.src(), r.c, r.child(6), &link, &skip, &made);
    EXPECT_EQ(link, nullptr) << "a bracket holding a bracket is no implicit reference";
}

TEST(Notes, FootnoteNumbersAndMisses) {
    Resolved r("[^miss] [^d] [^miss2] [^d]\n[^d] Def.", "[^miss] [^d] [^miss2] [^d]");
    r.tree.define_footnote("[^d]", "Def.");
    r.start();
    uint16_t n[4];
    for (int i = 0; i < 4; i++)
        tzr_footnote_from_bracket(r.tree.src(), r.c, r.child(2 * i), &n[i]);
    EXPECT_EQ(n[0], 1);
    EXPECT_EQ(n[1], 2);
    EXPECT_EQ(n[2], 3);
    EXPECT_EQ(n[3], 2);
    EXPECT_EQ(r.c->footnotes_inline->size, 2u);
}

TEST(Notes, CitationWithBibtexAndGlossaryWithoutTermGiveNone) {
    Resolved r("[#key] [?nothing] [>nope] [?(T) def]", "[#key] [?nothing] [>nope] [?(T) def]");
    r.start();
    r.c->bibtex_name = strdup("refs.bib");
    uint16_t n;
    tzr_citation_from_bracket(r.tree.src(), r.c, r.child(0), &n);
    EXPECT_EQ(n, TZR_NO_NOTE);
    tzr_glossary_from_bracket(r.tree.src(), r.c, r.child(2), &n);
    EXPECT_EQ(n, TZR_NO_NOTE);
    tzr_abbreviation_from_bracket(r.tree.src(), r.c, r.child(4), &n);
    EXPECT_EQ(n, TZR_NO_NOTE);
    tzr_glossary_from_bracket(r.tree.src(), r.c, r.child(6), &n);
    EXPECT_EQ(n, 1);
    tzr_note *note = static_cast<tzr_note *>(r.c->glossary_used->element[0]);
    EXPECT_STREQ(note->clean_text, "T");
}

}  // namespace

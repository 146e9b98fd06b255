#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "html_test_tree.h"
#include "library/packaging/random.h"

namespace {

constexpr uint64_t kNotes = 0x10, kCompat = 0x1, kRandom = 0x1000;

std::string one_para(const std::string &text, uint64_t ext = 0) {
    HtmlTree t(text, ext);
    return t.write({t.para(text)});
}

// One paragraph in, its HTML out: escaping of destinations, titles,
// attributes and image dimensions; bracketed notes stay text with notes off.
TEST(HtmlLinks, OneParagraphTable) {
    const struct {
        const char *source;
        uint64_t extensions;
        const char *html;
    } cases[] = {
        {"[a *b*](http://x.org/?q=1&r \"T<\" class=\"x&y\")", 0,
         "<p><a href=\"http://x.org/?q=1&amp;r\" title=\"T&lt;\" class=\"x&amp;y\">a <em>b</em></a></p>"},
        {"x ![a\"b](<p\"q.png> width=300px height=5em)", 0,
         "<p>x <img src=\"p&quot;q.png\" alt=\"a&quot;b\" width=\"300\" style=\"height:5em;\" /></p>"},
        // A lone image becomes a figure, except in compatibility mode.
        {"![A cat](cat.png \"Ti\")", 0,
         "<figure>\n<img src=\"cat.png\" alt=\"A cat\" title=\"Ti\" />\n<figcaption>A cat</figcaption>\n"
         "</figure>"},
        {"![A cat](cat.png)", kCompat, "<p><img src=\"cat.png\" alt=\"A cat\" /></p>"},
        {"see ![A](a.png)", 0, "<p>see <img src=\"a.png\" alt=\"A\" /></p>"},
        {"x[^a] [#b]", 0, "<p>x[^a] [#b]</p>"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(one_para(c.source, c.extensions), c.html) << c.source;
}

TEST(HtmlLinks, ReferenceLinksExplicitEmptyAndImplicit) {
    std::string src = "[text][ref] [Ref][] [ref] [nope] [x [ref]]\n\n[ref]";
    HtmlTree t(src);
    token *p = t.para("[text][ref] [Ref][] [ref] [nope] [x [ref]]");
    t.define_link("[ref]", "/u");
    EXPECT_EQ(t.write({p}), "<p><a href=\"/u\">text</a> <a href=\"/u\">Ref</a> <a href=\"/u\">ref</a> [nope] "
                            "[x <a href=\"/u\">ref</a>]</p>");
}

TEST(HtmlImages, NoFigureWithoutAnOpenedParagraph) {
    // A tight list item writes no "<p>": the image must not eat what is
    // before it.
    std::string src = "- ![A](a.png)";
    HtmlTree t(src);
    token *item = t.block(BLOCK_LIST_ITEM_TEXT, {t.leaf(MARKER_LIST_BULLET, "-"), t.text("![A](a.png)")});
    EXPECT_EQ(t.write({t.block(BLOCK_LIST_BULLETED, {item})}), "<ul>\n<li><img src=\"a.png\" alt=\"A\" /></li>\n</ul>");
}

TEST(HtmlImages, ReferenceImageCarriesItsLabelAsId) {
    std::string src = "x ![Pic][p]\n[p]";
    HtmlTree t(src);
    token *para = t.para("x ![Pic][p]");
    t.define_link("[p]", "pic.png");
    EXPECT_EQ(t.write({para}), "<p>x <img src=\"pic.png\" alt=\"Pic\" id=\"p\" /></p>");
}

TEST(HtmlImages, AssetsPackedOrRecorded) {
    std::string src = "x ![a](i.png) ![b](i.png)";
    HtmlTree::Options pack;
    pack.pack_assets = 1;
    HtmlTree t(src);
    std::string html = t.write({t.para(src)}, pack);
    EXPECT_EQ(t.assets, 1u);
    EXPECT_NE(html.find("<img src=\"assets/"), std::string::npos);
    HtmlTree::Options record;
    record.record_assets = 1;
    HtmlTree r(src);
    EXPECT_EQ(r.write({r.para(src)}, record), "<p>x <img src=\"i.png\" alt=\"a\" /> <img src=\"i.png\" alt=\"b\" /></p>");
    EXPECT_EQ(r.assets, 1u);
}

// Character references back to text; anything else stays.
std::string decode_references(const std::string &html) {
    std::string out;
    for (size_t i = 0; i < html.size(); i++) {
        if (html.compare(i, 2, "&#") == 0) {
            size_t end = html.find(';', i);
            bool hex = html[i + 2] == 'x';
            out += (char)strtol(html.c_str() + i + (hex ? 3 : 2), nullptr, hex ? 16 : 10);
            i = end;
        } else {
            out += html[i];
        }
    }
    return out;
}

TEST(HtmlAutolinks, EmailIsObfuscatedEntirely) {
    std::string html = one_para("<a@b.cd>");
    EXPECT_EQ(html.find('@'), std::string::npos) << html;
    EXPECT_EQ(html.find("mailto"), std::string::npos);
    EXPECT_EQ(decode_references(html), "<p><a href=\"mailto:a@b.cd\">a@b.cd</a></p>");
    // Both forms are drawn over 20 characters.
    EXPECT_NE(html.find("&#x"), std::string::npos);
    EXPECT_NE(html.find("&#1"), std::string::npos);
}

TEST(HtmlNotes, FootnotesNumberedInOrderOfUseWithBackLinks) {
    std::string src = "A[^two] B[^one] C[^two]\n[^one] One.\n[^two] Two.";
    HtmlTree t(src, kNotes);
    token *body = t.para("A[^two] B[^one] C[^two]");
    t.define_footnote("[^one]", "One.");
    t.define_footnote("[^two]", "Two.");
    EXPECT_EQ(t.write({body}),
              "<p>A<a href=\"#fn:1\" id=\"fnref:1\" title=\"see footnote\" class=\"footnote\"><sup>1</sup></a> "
              "B<a href=\"#fn:2\" id=\"fnref:2\" title=\"see footnote\" class=\"footnote\"><sup>2</sup></a> "
              "C<a href=\"#fn:1\" title=\"see footnote\" class=\"footnote\"><sup>1</sup></a></p>\n\n"
              "<div class=\"footnotes\">\n<hr />\n<ol>\n\n"
              "<li id=\"fn:1\">\n<p>Two. <a href=\"#fnref:1\" title=\"return to body\" class=\"reversefootnote\">"
              "&#160;&#8617;</a></p>\n</li>\n\n"
              "<li id=\"fn:2\">\n<p>One. <a href=\"#fnref:2\" title=\"return to body\" class=\"reversefootnote\">"
              "&#160;&#8617;</a></p>\n</li>\n\n</ol>\n</div>");
}

TEST(HtmlNotes, UndefinedFootnoteBecomesInline) {
    std::string html = one_para("x[^An aside.]", kNotes);
    EXPECT_NE(html.find("<li id=\"fn:1\">\n<p>An aside. <a href=\"#fnref:1\""), std::string::npos) << html;
}

TEST(HtmlNotes, RandomAnchorsAgreeAndLeaveRandAlone) {
    std::string src = "A[^a] B[^b] C[^a]";
    HtmlTree t(src, kNotes | kRandom);
    token *p = t.para(src);
    // Making the context draws the random base; the writer draws nothing.
    srand(42);
    rand();
    int expected = rand();
    srand(42);
    std::string html = t.write({p});
    EXPECT_EQ(rand(), expected) << "the writer reseeded rand()";
    // Each reference names the id of its list item, and the two differ.
    size_t first = html.find("href=\"#fn:");
    int a = atoi(html.c_str() + first + 10);
    size_t second = html.find("href=\"#fn:", first + 1);
    int b = atoi(html.c_str() + second + 10);
    EXPECT_NE(a, b);
    EXPECT_GE(a, 1);
    EXPECT_LE(a, 32000);
    EXPECT_NE(html.find("<li id=\"fn:" + std::to_string(a) + "\">"), std::string::npos);
    EXPECT_NE(html.find("href=\"#fnref:" + std::to_string(b) + "\""), std::string::npos);
    EXPECT_EQ(html.find("id=\"fnref:" + std::to_string(a) + "\""),
              html.rfind("id=\"fnref:" + std::to_string(a) + "\""));
}

TEST(HtmlNotes, CitationsWithLocators) {
    std::string src = "[p. 4 & 5][#doe] [#doe] [notcited][#roe] [p. 1][#nobody]\n[#doe] Doe.\n[#roe] Roe.";
    HtmlTree t(src, kNotes);
    token *body = t.para("[p. 4 & 5][#doe] [#doe] [notcited][#roe] [p. 1][#nobody]");
    t.define_citation("[#doe]", "Doe.");
    t.define_citation("[#roe]", "Roe.");
    t.engine()->extensions |= kNotes;
    std::string html = t.write({body});
    EXPECT_EQ(html.substr(0, html.find("</p>")),
              "<p><a href=\"#cn:1\" id=\"cnref:1\" title=\"see citation\" class=\"citation\">(p. 4 &amp; 5, 1)</a> "
              "<a href=\"#cn:1\" title=\"see citation\" class=\"citation\">(1)</a>  "
              "<a href=\"#cn:3\" id=\"cnref:3\" title=\"see citation\" class=\"citation\">(p. 1, 3)</a>");
    // "notcited" lists the entry without printing it; the unknown key became
    // an inline citation.
    EXPECT_NE(html.find("<li id=\"cn:2\">\n<p>Roe."), std::string::npos);
}

TEST(HtmlNotes, UnresolvedCitationAfterLocatorIsWrittenOnce) {
    std::string src = "[p. 1][#nobody]\nbibtex";
    HtmlTree t(src, kNotes);
    token *body = t.para("[p. 1][#nobody]");
    t.meta("bibtex", "refs.bib");
    // With a BibTeX file an unknown key stays literal.
    std::string html;
    {
        token *root = t.block(DOC_ROOT, {body});
        t.engine()->root = root;
        tzr_pair_tree(t.engine(), root);
        tzr_export_context *c = tzr_export_context_new(t.engine(), 0);
        c->bibtex_name = strdup("refs.bib");
        DString *out = d_string_new("");
        html_export_token_chain(out, t.src(), root, c);
        html = out->str;
        d_string_free(out, true);
        tzr_export_context_free(c);
    }
    EXPECT_EQ(html, "<p>[p. 1][#nobody]</p>");
}

TEST(HtmlNotes, GlossaryAndAbbreviations) {
    std::string src = "[?term] [?term] [>NASA] [>NASA] [>(WHO) World Health Organization] [?(Tzr) A markup.]\n"
                      "[?term]\nA word.";
    HtmlTree t(src, kNotes);
    token *body = t.para("[?term] [?term] [>NASA] [>NASA] [>(WHO) World Health Organization] [?(Tzr) A markup.]");
    t.define_glossary("[?term]", "A word.");
    t.define_abbreviation("NASA", "Space & co");
    std::string html = t.write({body});
    EXPECT_EQ(html.substr(0, html.find("</p>")),
              "<p><a href=\"#gn:1\" id=\"gnref:1\" title=\"see glossary\" class=\"glossary\">term</a> "
              "<a href=\"#gn:1\" title=\"see glossary\" class=\"glossary\">term</a> "
              "Space &amp; co (<abbr title=\"Space &amp; co\">NASA</abbr>) "
              "<abbr title=\"Space &amp; co\">NASA</abbr> "
              "World Health Organization (<abbr title=\"World Health Organization\">WHO</abbr>) "
              "<a href=\"#gn:2\" id=\"gnref:2\" title=\"see glossary\" class=\"glossary\">Tzr</a>");
    EXPECT_NE(html.find("<li id=\"gn:1\">\nterm: <p>A word. <a href=\"#gnref:1\""), std::string::npos) << html;
}

TEST(HtmlVariables, MetadataValueOrBracket) {
    std::string src = "[%title] [%missing]\ntitle";
    HtmlTree t(src);
    token *p = t.para("[%title] [%missing]");
    t.meta("title", "A & B");
    EXPECT_EQ(t.write({p}), "<p>A &amp; B [%missing]</p>");
}

}  // namespace

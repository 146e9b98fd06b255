#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "html_test_tree.h"
#include "library/tzr.h"

namespace {

token *heading(HtmlTree &t, uint16_t type, uint16_t marker, const std::string &marks, const std::string &text) {
    return t.block(type, {t.leaf(marker, marks), t.text(text)});
}

// A table row over the next `line`: cells between the "|" dividers.
token *row(HtmlTree &t, const std::string &line) {
    std::vector<token *> parts;
    size_t i = 0;
    while (i < line.size()) {
        size_t j = line.find('|', i);
        if (j == i) {
            size_t k = line.find_first_not_of('|', j);
            if (k == std::string::npos)
                k = line.size();
            parts.push_back(t.leaf(TABLE_DIVIDER, line.substr(j, k - j)));
            i = k;
        } else {
            if (j == std::string::npos)
                j = line.size();
            parts.push_back(t.block(TABLE_CELL, {t.text(line.substr(i, j - i))}));
            i = j;
        }
    }
    token *r = nullptr;
    for (token *p : parts)
        r = r ? (token_chain_append(r, p), r) : p;
    return t.block(TABLE_ROW, {r});
}

TEST(HtmlBlocks, HeadingsWithIdsAndCappedLevels) {
    std::string src = "# One\n### Deep\n";
    HtmlTree t(src);
    token *h1 = heading(t, BLOCK_H1, MARKER_H1, "#", " One");
    token *h3 = heading(t, BLOCK_H3, MARKER_H3, "###", " Deep");
    HtmlTree::Options o;
    o.base_level = 5;
    EXPECT_EQ(t.write({h1, h3}, o), "<h5 id=\"one\"> One</h5>\n\n<h6 id=\"deep\"> Deep</h6>");

    HtmlTree n(src, 0x20);
    token *a = heading(n, BLOCK_H1, MARKER_H1, "#", " One");
    EXPECT_EQ(n.write({a}), "<h1> One</h1>");
}

TEST(HtmlBlocks, TightAndLooseListsNest) {
    std::string src = "- a\n- b\n\n  1. c\n\n  2. d\n";
    HtmlTree t(src);
    token *a = t.block(BLOCK_LIST_ITEM_TEXT, {t.leaf(MARKER_LIST_BULLET, "-"), t.text(" a")});
    token *b_text = t.block(BLOCK_LIST_ITEM_TEXT, {t.leaf(MARKER_LIST_BULLET, "-"), t.text(" b")});
    token *c = t.block(BLOCK_LIST_ITEM_TEXT, {t.leaf(MARKER_LIST_ENUMERATOR, "1."), t.text(" c")});
    token *d = t.block(BLOCK_LIST_ITEM_TEXT, {t.leaf(MARKER_LIST_ENUMERATOR, "2."), t.text(" d")});
    token *inner = t.block(BLOCK_LIST_ENUMERATED_LOOSE, {c, d});
    token *b = t.block(BLOCK_LIST_ITEM, {t.block(BLOCK_PARA, {b_text->child}), inner});
    b_text->child = nullptr;  // its children moved into the paragraph
    token_free(b_text);
    token *outer = t.block(BLOCK_LIST_BULLETED, {a, b});
    EXPECT_EQ(t.write({outer}), "<ul>\n<li> a</li>\n<li> b\n\n<ol>\n<li><p> c</p></li>\n<li><p> d</p></li>\n</ol></li>\n</ul>");
}

TEST(HtmlBlocks, AdjacentDefinitionListsShareOneElement) {
    std::string src = "Term\n: Def\nTerm2\n: Def2\n";
    HtmlTree t(src);
    token *one = t.block(BLOCK_DEFLIST, {t.block(BLOCK_TERM, {t.text("Term")}),
                                         t.block(BLOCK_DEFINITION, {t.para("Def")})});
    token *two = t.block(BLOCK_DEFLIST, {t.block(BLOCK_TERM, {t.text("Term2")}),
                                         t.block(BLOCK_DEFINITION, {t.para("Def2")})});
    EXPECT_EQ(t.write({one, two}), "<dl>\n<dt>Term</dt>\n<dd>Def</dd>\n\n<dt>Term2</dt>\n<dd>Def2</dd>\n</dl>\n");
}

TEST(HtmlBlocks, QuoteRuleAndHtmlBlock) {
    std::string src = "> q\n---\n<div>x</div>\n";
    HtmlTree t(src);
    token *quote = t.block(BLOCK_BLOCKQUOTE, {t.para("q")});
    token *rule = t.leaf(BLOCK_HR, "---");
    token *html = t.leaf(BLOCK_HTML, "<div>x</div>");
    EXPECT_EQ(t.write({quote, rule, html}), "<blockquote>\n<p>q</p>\n</blockquote>\n\n<hr />\n\n<div>x</div>");
}

// Raw HTML in quotes, parsed and written as a document is: the quotes'
// markers (with the space after each) belong to the quotes and are not
// written into the HTML, where the page would show them as text; the HTML's
// own indents, a line the quote continues without a marker and HTML outside
// quotes are written as they stand.
TEST(HtmlBlocks, HtmlInQuotesIsWrittenWithoutTheQuotesMarkers) {
    const struct {
        const char *source;
        const char *written;
    } cases[] = {
        {"> para\n>\n> <div class=\"x\">\n> inside\n> </div>\n>\n> more\n",
         "<p>para</p>\n\n<div class=\"x\">\ninside\n</div>\n\n<p>more</p>"},
        {"> > <div>\n> >   <p>deep</p>\n> > </div>\n", "<div>\n  <p>deep</p>\n</div>"},
        {"><div>\n>x\n></div>\n", "<div>\nx\n</div>"},
        {"> <div>\ninside\n> </div>\n", "<div>\ninside\n</div>"},
        {"> <div>\n>   a > b\n> </div>\n", "<div>\n  a > b\n</div>"},
        {"> <div>\r\n> x\r\n> </div>\r\n", "<div>\r\nx\r\n</div>"},
        {"<div>\n  <p>x > y</p>\n</div>\n", "<div>\n  <p>x > y</p>\n</div>"},
        {"- item\n\n    <div>\n    inside\n    </div>\n", "    <div>\n    inside\n    </div>"},
    };
    for (const auto &c : cases) {
        char *out = tzr_string_convert(c.source, TZR_EXT_NOTES | TZR_EXT_SMART, TZR_FORMAT_HTML, 0);
        ASSERT_NE(out, nullptr) << c.source;
        const std::string html = out;
        free(out);
        EXPECT_NE(html.find(c.written), std::string::npos) << c.source << "\n" << html;
        EXPECT_EQ(html.find("&gt;"), std::string::npos) << html;
    }
}

token *fence(HtmlTree &t, const std::string &open, std::initializer_list<std::string> lines, bool closed = true) {
    token *first = t.block(LINE_FENCE_START_3, {t.leaf(CODE_FENCE_LINE, "```")});
    t.find(open.substr(3));
    token *chain = first;
    for (const std::string &l : lines)
        token_chain_append(chain, t.block(LINE_PLAIN, {t.text(l)}));
    if (closed)
        token_chain_append(chain, t.block(LINE_FENCE_3, {t.leaf(CODE_FENCE_LINE, "```")}));
    return t.block(BLOCK_CODE_FENCED, {chain});
}

TEST(HtmlBlocks, FencedCodeWithEscapedLanguageClass) {
    std::string src = "``` c\"x\nif (a < b)\n```\n";
    HtmlTree t(src);
    token *code = fence(t, "``` c\"x\n", {"if (a < b)\n"});
    EXPECT_EQ(t.write({code}), "<pre><code class=\"c&quot;x\">if (a &lt; b)\n</code></pre>");
}

TEST(HtmlBlocks, RawFencedBlocksByFormat) {
    std::string src = "```{=html}\n<b>x</b>\n```\n";
    HtmlTree t(src);
    EXPECT_EQ(t.write({fence(t, "```{=html}\n", {"<b>x</b>\n"})}), "<b>x</b>\n");
    std::string latex = "```{=latex}\n\\x\n```\n";
    HtmlTree l(latex);
    EXPECT_EQ(l.write({fence(l, "```{=latex}\n", {"\\x\n"})}), "");
}

TEST(HtmlBlocks, TableWithAlignmentCaptionAndSpans) {
    std::string src = "|a|b|c|\n|:-|-:|:-:+|\n|1|2||\n|3|4|5|6|\n[Cap *x*][tab]\n";
    HtmlTree t(src);
    token *head_row = row(t, "|a|b|c|");
    token *sep = row(t, "|:-|-:|:-:+|");
    token_chain_append(head_row, sep);
    token *thead = t.block(BLOCK_TABLE_HEADER, {head_row});
    token *r1 = row(t, "|1|2||");
    token_chain_append(r1, row(t, "|3|4|5|6|"));
    token *tbody = t.block(BLOCK_TABLE_SECTION, {r1});
    token *table = t.block(BLOCK_TABLE, {thead, tbody});
    token *caption = t.para("[Cap *x*][tab]\n");
    EXPECT_EQ(t.write({table, caption}),
              "<table>\n<caption style=\"caption-side: bottom;\" id=\"tab\">Cap <em>x</em></caption>\n"
              "<colgroup>\n<col style=\"text-align:left;\"/>\n<col style=\"text-align:right;\"/>\n"
              "<col style=\"text-align:center;\" class=\"extended\"/>\n</colgroup>\n\n"
              "<thead>\n<tr>\n\t<th style=\"text-align:left;\">a</th>\n\t<th style=\"text-align:right;\">b</th>\n"
              "\t<th style=\"text-align:center;\">c</th>\n</tr>\n</thead>\n\n"
              "<tbody>\n<tr>\n\t<td style=\"text-align:left;\">1</td>\n"
              "\t<td style=\"text-align:right;\" colspan=\"2\">2</td>\n</tr>\n"
              "<tr>\n\t<td style=\"text-align:left;\">3</td>\n\t<td style=\"text-align:right;\">4</td>\n"
              "\t<td style=\"text-align:center;\">5</td>\n\t<td>6</td>\n</tr>\n</tbody>\n</table>");
}

TEST(HtmlBlocks, TableOfContentsNestsByLevel) {
    std::string src = "{{TOC}}\n# A\n### B\n## C\n";
    HtmlTree t(src);
    token *toc = t.leaf(BLOCK_TOC, "{{TOC}}");
    token *a = heading(t, BLOCK_H1, MARKER_H1, "#", " A");
    token *b = heading(t, BLOCK_H3, MARKER_H3, "###", " B");
    token *c = heading(t, BLOCK_H2, MARKER_H2, "##", " C");
    for (token *h : {a, b, c})
        stack_push(t.engine()->header_list, h);
    std::string html = t.write({toc, a, b, c});
    EXPECT_EQ(html.substr(0, html.find("</div>") + 6),
              "<div class=\"TOC\">\n\n<ul>\n<li><a href=\"#a\"> A</a>\n<ul>\n<li><a href=\"#b\"> B</a></li>\n"
              "<li><a href=\"#c\"> C</a></li>\n</ul>\n</li>\n</ul>\n</div>");

    HtmlTree e(src);
    HtmlTree::Options epub;
    epub.format = TZR_FORMAT_EPUB;
    EXPECT_EQ(e.write({e.leaf(BLOCK_TOC, "{{TOC}}")}, epub), "");
}

TEST(HtmlBlocks, NoteOfTwoParagraphsLinksBackFromTheLast) {
    std::string src = "x[^n]\n[^n] One.\nTwo.\n";
    HtmlTree t(src, 0x10);
    token *body = t.para("x[^n]");
    token *label = t.label(PAIR_BRACKET_FOOTNOTE, "[^n]");
    token *first = t.detached_para("One.");
    token *second = t.detached_para("Two.");
    first->next = second;
    second->prev = first;
    stack_push(t.engine()->footnote_list, tzr_note_new(t.src(), label, first, true));
    std::string html = t.write({body});
    EXPECT_NE(html.find("<li id=\"fn:1\">\n<p>One.</p>\n\n<p>Two. <a href=\"#fnref:1\""), std::string::npos) << html;
    first->next = nullptr;  // each paragraph is freed with its own root
}

TEST(HtmlBlocks, DeepNestingStopsAtTheDepthLimit) {
    std::string src = "x";
    HtmlTree t(src);
    token *inner = t.para("x");
    for (int i = 0; i < 1200; i++)
        inner = t.block(BLOCK_BLOCKQUOTE, {inner});
    std::string html = t.write({inner});
    EXPECT_EQ(html.find("<p>x</p>"), std::string::npos);
    EXPECT_EQ(html.rfind("<blockquote>\n", 0), 0u);
}

}  // namespace

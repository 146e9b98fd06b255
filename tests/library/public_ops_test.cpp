#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "library/assets.h"
#include "library/engine.h"
#include "odf_test_support.h"
#include "library/tzr.h"

namespace {

// Takes over a malloc'd string; "(null)" for NULL.
std::string take(char *s) {
    std::string r = s ? s : "(null)";
    free(s);
    return r;
}

std::string take(DString *d) {
    if (!d)
        return "(null)";
    std::string r(d->str, d->length);
    d_string_free(d, true);
    return r;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A conversion of its own may take shortcuts a caller's engine, which keeps
// its tree, cannot; each document under each flag set must still give the
// page the engine gives.
void expectConvertsAsWithTheCallersEngine(const std::vector<std::string> &documents,
                                          std::initializer_list<uint64_t> flagSets) {
    for (const std::string &doc : documents) {
        for (uint64_t flags : flagSets) {
            SCOPED_TRACE(doc + " flags " + std::to_string(flags));
            tzr_engine *e = tzr_engine_create_with_string(doc.c_str(), flags);
            std::string kept = take(tzr_engine_convert(e, TZR_FORMAT_HTML));
            tzr_engine_free(e, true);
            EXPECT_EQ(take(tzr_string_convert(doc.c_str(), flags, TZR_FORMAT_HTML, 0)), kept);
        }
    }
}

TEST(PublicOps, Version) { EXPECT_EQ(take(tzr_version()), "6.3.0"); }

TEST(PublicOps, HasMetadataInEveryForm) {
    struct Case {
        const char *source;
        bool has;
        size_t end;
    } cases[] = {
        {"Title: A\nAuthor: B\n\nText\n", true, 19},
        {"---\nTitle: A\n---\n\nText\n", true, 17},
        {"---\n\nTitle: A\n", false, 0},
        {"Just text\n", false, 0},
        {"", false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        size_t end = 99;
        EXPECT_EQ(tzr_string_has_metadata(c.source, &end), c.has);
        EXPECT_EQ(end, c.has || !*c.source ? c.end : 0u);
        DString *d = d_string_new(c.source);
        EXPECT_EQ(tzr_d_string_has_metadata(d, nullptr), c.has);
        EXPECT_EQ(std::string(d->str), c.source);
        d_string_free(d, true);
    }
    EXPECT_FALSE(tzr_engine_has_metadata(nullptr, nullptr));
}

TEST(PublicOps, KeysAndValues) {
    const char *src = "Title: My  Doc\nBase Header Level: 2\n\nBody\n";
    EXPECT_EQ(take(tzr_string_metadata_keys(src)), "title\nbaseheaderlevel\n");
    EXPECT_EQ(take(tzr_string_metavalue_for_key(src, "TITLE")), "My Doc");
    EXPECT_EQ(take(tzr_string_metavalue_for_key(src, "base header level")), "2");
    EXPECT_EQ(take(tzr_string_metavalue_for_key(src, "author")), "(null)");
    EXPECT_EQ(take(tzr_string_metadata_keys("No metadata\n")), "(null)");

    DString *d = d_string_new(src);
    EXPECT_EQ(take(tzr_d_string_metavalue_for_key(d, "title")), "My Doc");
    EXPECT_EQ(take(tzr_d_string_metadata_keys(d)), "title\nbaseheaderlevel\n");
    d_string_free(d, true);

    tzr_engine *e = tzr_engine_create_with_string(src, 0);
    EXPECT_STREQ(tzr_engine_metavalue_for_key(e, "Title"), "My Doc");
    EXPECT_EQ(tzr_engine_metavalue_for_key(nullptr, "Title"), nullptr);
    tzr_engine_free(e, true);
}

TEST(PublicOps, UpdateMetavalue) {
    struct Case {
        const char *source, *key, *value, *result;
    } cases[] = {
        {"Text\n", "Author", "B", "Author:\tB\n\nText\n"},
        {"author: A\n\nText\n", "Author", "B", "author: B\n\nText\n"},
        {"title: T\nauthor: A\n  more A\nkeep: K\n\nText\n", "author", "B",
         "title: T\nauthor: B\nkeep: K\n\nText\n"},
        {"title: T\n\nText\n", "Author", nullptr, "title: T\nAuthor:\t\n\nText\n"},
        {"---\ntitle: T\nauthor: A\n---\n\nText\n", "author", "B",
         "---\ntitle: T\nauthor: B\n---\n\nText\n"},
        {"---\ntitle: T\n---\n\nText\n", "date", "D", "---\ntitle: T\ndate:\tD\n---\n\nText\n"},
        // A block that ends the text without a line end gets one before the
        // new key, so neither line swallows the other.
        {"title: T", "author", "B", "title: T\nauthor:\tB\n"},
        {"title: T", "title", "U", "title: U\n"},
        // An underline of dashes closes the block; a line of dashes that
        // reads as text (a tab after them) is the last value's, and an edit
        // keeps or replaces it with that value.
        {"k: v\n---\n\nText\n", "o", "w", "k: v\no:\tw\n---\n\nText\n"},
        {"k: v\n-----\t\n\nText\n", "o", "w", "k: v\n-----\t\no:\tw\n\nText\n"},
        {"k: v\n-----\t\n\nText\n", "k", "w", "k: w\n\nText\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(take(tzr_string_update_metavalue_for_key(c.source, c.key, c.value)), c.result);
        DString *d = d_string_new(c.source);
        tzr_d_string_update_metavalue_for_key(d, c.key, c.value);
        EXPECT_EQ(std::string(d->str), c.result);
        d_string_free(d, true);
    }
}

TEST(PublicOps, UpdatedMetadataReadsBack) {
    std::string text = "Title: A\n\nBody\n";
    for (const char *value : {"First", "Second value", "x"}) {
        text = take(tzr_string_update_metavalue_for_key(text.c_str(), "Author", value));
        EXPECT_EQ(take(tzr_string_metavalue_for_key(text.c_str(), "author")), value);
        EXPECT_EQ(take(tzr_string_metavalue_for_key(text.c_str(), "title")), "A");
    }
    EXPECT_EQ(take(tzr_string_metadata_keys(text.c_str())), "title\nauthor\n");
}

// A key written into a block whose last line ends the text with no line
// end reads back, and the lines already there read as before: a line end
// after a backslash would have made it a hard break, after a line of blanks
// a blank line, either ending the block above the new key.
TEST(PublicOps, KeyWrittenAfterALastLineWithoutLineEndReadsBack) {
    struct Case {
        const char *source, *result;
    } cases[] = {
        {"k: v\n\\", "title:\tx\nk: v\n\\"},
        {"k: v\n  \\", "title:\tx\nk: v\n  \\"},
        {"k: v\nmore\\", "title:\tx\nk: v\nmore\\"},
        {"k: v\\", "title:\tx\nk: v\\"},
        {"---\nk: v\n\\", "---\ntitle:\tx\nk: v\n\\"},
        {"k: v\n\t ", "title:\tx\nk: v\n\t "},
        {"k: v\r\t\t ", "title:\tx\nk: v\r\t\t "},
        // A last line that reads the same with a line end: the key goes
        // last.
        {"k: v\n more", "k: v\n more\ntitle:\tx\n"},
        {"k: v\n\\\\", "k: v\n\\\\\ntitle:\tx\n"},  // an escaped backslash
        // With a line end there already the backslash line is blank and
        // the block ends above it: the key goes last in the block.
        {"k: v\n\\\n", "k: v\ntitle:\tx\n\\\n"},
        {"---\nk: v\n\\\n---\n", "---\nk: v\ntitle:\tx\n\\\n---\n"},
        {"k: v\nmore\\\n", "k: v\nmore\\\ntitle:\tx\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        std::string before = take(tzr_string_metavalue_for_key(c.source, "k"));
        std::string updated = take(tzr_string_update_metavalue_for_key(c.source, "title", "x"));
        EXPECT_EQ(updated, c.result);
        EXPECT_EQ(take(tzr_string_metavalue_for_key(updated.c_str(), "title")), "x");
        EXPECT_EQ(take(tzr_string_metavalue_for_key(updated.c_str(), "k")), before);
        DString *d = d_string_new(c.source);
        tzr_d_string_update_metavalue_for_key(d, "title", "x");
        EXPECT_EQ(std::string(d->str), c.result);
        d_string_free(d, true);
    }
}

// An engine that has already read its metadata, and parsed, can be asked and
// updated again: its lists never point into freed trees and old entries do
// not misplace the edit.
TEST(PublicOps, EngineFormsOnAUsedEngine) {
    tzr_engine *e = tzr_engine_create_with_string("title: T\nauthor: A\n\n# Head\n\nText\n", 0);
    tzr_engine_parse_string(e);
    size_t headers = e->header_list->size;
    token *root = e->root;
    EXPECT_TRUE(tzr_engine_has_metadata(e, nullptr));
    EXPECT_EQ(e->header_list->size, headers);
    EXPECT_EQ(e->root, root);
    // Asking again reads no second copy of the entries.
    EXPECT_TRUE(tzr_engine_has_metadata(e, nullptr));
    EXPECT_EQ(take(tzr_engine_metadata_keys(e)), "title\nauthor\n");
    tzr_engine_update_metavalue_for_key(e, "author", "B");
    tzr_engine_update_metavalue_for_key(e, "author", "C");
    EXPECT_EQ(std::string(e->source->str), "title: T\nauthor: C\n\n# Head\n\nText\n");
    EXPECT_STREQ(tzr_engine_metavalue_for_key(e, "author"), "C");
    EXPECT_NE(take(tzr_engine_convert(e, 0)).find("<h1 id=\"head\">Head</h1>"), std::string::npos);
    tzr_engine_free(e, true);
}

TEST(PublicOps, ConvertHtml) {
    EXPECT_EQ(take(tzr_string_convert("Hello *world*.\n", 0, 0, 0)),
              "<p>Hello <em>world</em>.</p>\n");
    std::string doc = take(tzr_string_convert("title: T\n\nText\n", 0, 0, 0));
    EXPECT_EQ(doc.rfind("<!DOCTYPE html>\n", 0), 0u);
    EXPECT_NE(doc.find("<title>T</title>"), std::string::npos);
    EXPECT_EQ(take(tzr_string_convert("title: T\n\nText\n", 0x4, 0, 0)), "<p>Text</p>\n");
    EXPECT_EQ(take(tzr_string_convert(nullptr, 0, 0, 0)), "\n");
}

// The text of a footnote, a glossary entry, a citation and a table's header
// reads its marks as body text does: a hyphen or an underscore inside a word
// stays as it is (they were taken for a dash and for emphasis there).
TEST(PublicOps, NotesAndTableHeadersReadMarksAsBodyTextDoes) {
    const char *doc = "A[^1], a [?term] and [#doe].\n\n"
                      "[^1]: First-line snake_case with_under_score, *words*.\n\n"
                      "[?term]: First-line snake_case with_under_score, *words*.\n\n"
                      "[#doe]: First-line snake_case with_under_score, *words*.\n\n"
                      "| first-line | snake_case |\n|---|---|\n| first-line | snake_case |\n";
    const std::string body = "First-line snake_case with_under_score, <em>words</em>.";
    for (unsigned long flags : {TZR_EXT_NOTES | TZR_EXT_SMART, (unsigned long)TZR_EXT_NOTES}) {
        const std::string html = take(tzr_string_convert(doc, flags, TZR_FORMAT_HTML, 0));
        size_t count = 0;
        for (size_t at = html.find(body); at != std::string::npos; at = html.find(body, at + 1))
            count++;
        EXPECT_EQ(count, 3u) << flags << "\n" << html;
        EXPECT_NE(html.find("<th> first-line </th>"), std::string::npos) << flags << "\n" << html;
        EXPECT_NE(html.find("<th> snake_case </th>"), std::string::npos) << flags << "\n" << html;
        EXPECT_EQ(html.find("&#8211;"), std::string::npos) << flags << "\n" << html;
    }
}

// A conversion to HTML with an engine of its own may hold a code block's
// line as one token; the page is the one an engine the caller keeps (whose
// tree keeps every token) writes, whatever the lines hold.
TEST(PublicOps, CodeBlocksConvertAsWithTheCallersEngine) {
    const char *lines =
        "plain text\n"
        "- a list marker\n"
        "1. an enumerator\n"
        "# a heading\n"
        "> a quote\n"
        "    indented\n"
        "\tand a tab\n"
        "<div class=\"x\">&amp; &copy; & \"q\" 'q'</div>\n"
        "$x$ and $$y$$ and \\(z\\) and \\[w\\]\n"
        "{++add++} {--del--} {~~a~>b~~} {>>note<<} {==mark==}\n"
        "*em* **strong** `tick` [link](url) [^n] [#c] ^sup^ ~sub~\n"
        "two spaces  \n"
        "a backslash\\\n"
        "\\*escaped\\*\n"
        "```not a fence\n"
        "\n"
        "after a blank line\n";
    std::string body = lines;
    std::vector<std::string> documents = {
        "```js\n" + body + "```\n",
        "~~~\n" + body + "~~~\n",
        "````\n```\n" + body + "````\n",
        "- item\n\n  ```\n" + body + "  ```\n",
        "> ```\n> plain\n> - marker\n> $x$\n> ```\n",
        "```\n" + body,  // no closing fence
    };
    expectConvertsAsWithTheCallersEngine(documents, {0, 0x18, 0x200, 0x618, 0x1});
}

// Such a conversion writes text and the marks that follow it as their own
// bytes in one piece; the caller's engine writes them one by one. Marks that
// look alike but are spelled otherwise (escaped, paired, a space that is a
// non-breaking one, a tab) and gaps between tokens must come out the same.
TEST(PublicOps, RunsOfTextAndPlainMarksConvertAsWithTheCallersEngine) {
    const std::vector<std::string> documents = {
        "# Heading: with/slashes (and parens) = sum | pipe + plus * star [x  y\n",
        "a:b/c=d (e f]g [h *i* j* k+l #m ~n^o %p &q <r> \"s\" 'u' --v ...w\n",
        "text\xC2\xA0\xC2\xA0" "after  two\tspaces  \\(x\\) $y$ `code` \\*not\\*\n",
        "> quoted: a/b (c)\n> next = line\n\n- item: (a/b) x\n- two | three\n",
        "| a | b |\n|---|---|\n| c:d | e/f (g) |\n",
        "[link](http://x/y) after: /z [ref] (plain) <!-- c --> &amp; &copy;\n\n[ref]: /u\n",
    };
    expectConvertsAsWithTheCallersEngine(documents, {0, 0x18, 0x200, 0x1});
}

// Such a conversion takes the lines inside a fenced block at the top as
// code without cutting them into tokens; it must follow the grammar's fences
// exactly (which fence closes, which opens the next block, which is code)
// and leave the lexer as the kept tokens would, for the lines after.
TEST(PublicOps, FencedBlocksConvertAsWithTheCallersEngine) {
    const std::vector<std::string> documents = {
        // Closing and reopening: a bare fence at least as long closes, one
        // with an info string at least as long opens the next block.
        "```\na\n````\nb\n```\n",
        "````\na\n```\nb\n```js\nc\n````\nd\n",
        "`````\na\n````\n```x\n````x\nb\n``````\nafter *this*\n",
        "```\na\n```js\nb\n```\n",
        "````\na\n```js\nb\n`````x\nc\n",
        // Fences and lines that only look like them, indented and not.
        "```\n ```\n  ```\n   ```\n    ```\n```\n",
        "```\n    code\n\t\ttab\n \xc2\xa0```\n\xc2\xa0\n```\n",
        "text\n ```\ncode\n```\n",
        // Blank and nearly blank lines, backslashes, line ends of every kind.
        "```\n\n   \n\t\n\\\nx\\\n\\\\\n  \n```\n",
        "```\r\na\r\n\r\nb\rc\r\n```\r\n",
        "```\na  \nb \n c\nd\n```\n",
        // What the lexer carries from a code line to the lines after it.
        "```\n[a](b\n```\nsee (c) and (d\n\ne) f\n",
        "```\n[?term] [>abbr]\n```\nsee (c) and f(x)\n\n[?term]: a (t)\n\n[>abbr]: b\n",
        "```\n](x) (y\n```\n(z) w)\n",
        // Markup of every kind inside, and a block left open at the end.
        "```\n# h\n> q\n- l\n1. e\n| t |\n---\n***\n<div>\n{{TOC}}\n[x]: y\n: d\nk: v\n```\n",
        "```\n*a* `b` $c$ {++d++} [^e] <f> &amp; \"g\" 'h' ^i^ ~j~\n```",
        "```\nlast line without an end",
        "x\n\n```\ncode\n",
        // Runs of code lines between blank lines, each followed by more
        // lines of the block, by its closing fence or by the end.
        "```\na\nb\n",
        "```\na\nb\n\nc\nd\n\n",
        "````\na\nb\n```\nc\nd\n````\ne\nf\n",
        "```\na\nb\n\n\nc\n```\n```\nd\ne\n```\ntext\n",
    };
    expectConvertsAsWithTheCallersEngine(documents, {0, 0x18, 0x200, 0x1});
}

// Such a conversion joins a paragraph's lines of text over their line feeds;
// the page must stay the one a kept tree (a token a line end) makes.
TEST(PublicOps, ParagraphLinesConvertAsWithTheCallersEngine) {
    const std::vector<std::string> documents = {
        "one\ntwo\nthree\n",
        "crlf\r\nlines\r\nhere\r\n",
        "lone\rcarriage\rreturns\n",
        "a space \nbefore\nand two  \nspaces\n",
        "indented\n  continuation\n\tand a tab\n",
        "*em\nphasis* and `code\nspan` and [a\nlink](u) and ![an\nimage](p.png)\n",
        "[a](u\n\"title\") and [b]\n[r]\n\n[r]: /x\n",
        "| a | b |\n|---|---|\n| 1 | 2 |\n[Caption] x\nmore\n",
        "| a | b |\n|---|---|\n| 1 | 2 |\n[Caption]\n",
        "> quoted\n> lines\n\n- item\n  lines\n\n1. more\nlazy\n",
        "HTML and\nHTML again and the term\nterm.\n\n[>HTML]: Hyper Text\n\n[?term]: A term\n",
        "A note[^n] here\nthere.\n\n[^n]: The note\nruns on\n\n    and on.\n",
        "x^sup\ner^ and H~2\nO~ and $a\nb$ and \"quoted\ntext\" 'single\nquote'\n",
        "Term\nmore\n: definition\nlines\n",
        "Setext\nheading\n===\n\nand\n---\n",
        "A {++new\nline++} and {--old\nline--}\n",
        "line with a hard\\\nbreak and two\nmore\n",
    };
    expectConvertsAsWithTheCallersEngine(documents, {0, 0x18, 0x200, 0x618, 0x1});
}

// Such a conversion leaves a lone "-" or "_" inside a word in the text;
// wherever a pass or a writer would read either, the page must stay the one
// a kept tree (a token each) makes.
TEST(PublicOps, MarksInsideWordsConvertAsWithTheCallersEngine) {
    const std::vector<std::string> documents = {
        "well-known snake_case a-b-c x_y_z 1-2 3_4 a,-b c@-d\n",
        "_a_b_ and __a_b__ and *a_b* and a-_b_ and _a-b_ and a__b and a_ b _c d\n",
        "\xc3\xa9_b b_\xc3\xa9 \xc3\xa9-b a_\n_b c-\n-d\n",
        "`code-span_x` and ``a_b-c`` and <http://x-y.com/a_b> and [a-b](/u_v \"t-i_t\")\n",
        "[a](  foo-bar) and [b]( foo_bar 'q-r') and see (foo-bar) and f(a_b)\n",
        "| a-b | c_d_e |\n|---|---|\n| f-g | h_i_j |\n",
        "x-y_z | w\n--|--\n\na-b_c\rd|e\r-|-\rf-g|h_i_j\r",
        "## foo-bar_baz\n\nSetext-x_y_z\n---\n\nSee [foo-bar_baz].\n",
        "* a-b c_d_e\n* e | f-g\n  - x_y_z\n\n> quote-d a_b_c\n",
        "[foo-bar]: /u-v \"t_t\"\n\n[foo-bar] and [Foo-Bar][] and [x][foo-bar]\n",
        "Title: doc-x\nTags: a_b_c\n\nBody-text with_under_score.\n",
        "x^a_b c and x^a-b c and H~2_o~ and $a-b_c$\n",
        "Note[^n-1] and term-x and HTML-x and foo_HTML and term_x.\n\n"
        "[^n-1]: First-line a_b_c\n    second-line with_under_score\n\n"
        "[?term]: A term-x\n    more-x a_b_c\n\n[>HTML]: Hyper-Text\n",
        "    code-x a_b_c\n\n<div>\na-b_c_d\n</div>\n\nTerm-x_y_z\n: def-a b_c_d\n",
        "See [#doe_2020] and [#doe-2020] and [?term-x] and [^in-line_note-x] and [>a-b].\n\n"
        "[#doe_2020]: Doe-Smith a_b\n\n[#doe-2020]: x-y\n\n[?term-x]: y-z_w\n\n[>a-b]: c_d\n",
        "| a-b[^n] | c_d | [#k-1] |\n|---|:-:|--:|\n| e-f_g | a_b|c-d |\n\n[^n]: n-o_p\n\n[#k-1]: k_2\n",
    };
    expectConvertsAsWithTheCallersEngine(documents, {0, 0x8, 0x18, 0x88, 0x618, 0x1});
}

TEST(PublicOps, ConvertEveryKindOfNote) {
    const char *src =
        "Text[^a] cites [#b], uses Tessaro and HTML, and an inline note[^Said once.].\n\n"
        "[^a]: The note.\n\n[#b]: The book.\n\n[?Tessaro]: A markup.\n\n[>HTML]: Hyper Text\n";
    std::string html = take(tzr_string_convert(src, 0x10, 0, 0));
    for (const char *part :
         {"href=\"#fn:1\"", "href=\"#fn:2\"", "href=\"#cn:1\"", "href=\"#gn:1\"",
          "<abbr title=\"Hyper Text\">HTML</abbr>", "<li id=\"fn:1\">", "<li id=\"fn:2\">",
          "<li id=\"cn:1\">", "<li id=\"gn:1\">", "The note.", "Said once."}) {
        EXPECT_NE(html.find(part), std::string::npos) << part << "\n" << html;
    }
    // Definitions themselves print nothing.
    EXPECT_EQ(html.find("[^a]"), std::string::npos) << html;
}

TEST(PublicOps, AutolinkedTermInImplicitReference) {
    std::string html = take(tzr_string_convert(
        "See [HTML] now.\n\n[HTML]: /spec\n\n[>HTML]: Hyper Text\n", 0x10, 0, 0));
    EXPECT_NE(html.find("<a href=\"/spec\">HTML</a>"), std::string::npos) << html;
}

// The engine keeps the images of its last export, one table per export.
TEST(PublicOps, EngineTakesTheAssetTable) {
    tzr_engine *e = tzr_engine_create_with_string("![a](one.png) ![b](two.png) ![c](one.png)\n", 0);
    free(tzr_engine_convert(e, 0));
    ASSERT_EQ(tzr_asset_table_count(e->asset_table), 2u);
    EXPECT_STREQ(e->asset_table->url, "one.png");
    free(tzr_engine_convert(e, 0));
    EXPECT_EQ(tzr_asset_table_count(e->asset_table), 2u);
    tzr_engine_free(e, true);
}

TEST(PublicOps, ConvertSourceFormat) {
    const char *src = "# Keep *this*\n\nExactly";
    EXPECT_EQ(take(tzr_string_convert(src, 0, 9, 0)), src);
    EXPECT_EQ(take(tzr_string_convert_to_data(src, 0, 9, 0, nullptr)), src);
}

// A conversion's own engine leaves parentheses around plain text in the
// text; the engines the editor and the preview hold keep them as tokens.
// Both must print the same document, whatever surrounds the parentheses.
TEST(PublicOps, ConversionsPrintParenthesesAsAKeptTreeDoes) {
    const char *sources[] = {
        "x\n\nSee (below), f(x) and (a/b:c); ((n)) (a (b) c) (u ) ( v) ( ).\n",
        "x\n\nLinks [a](http://x/f(b)) [a](y (t)) ![i](p(1).png) [a] (b) [a](<u> (c)).\n\n"
        "[r]: http://x/(y) (T)\n",
        "x\n\n*a (b* c) (a *b) c* **(c)** \"a (b\" c) 'q (r' s) [a (b] c) (a [b) c]\n",
        "x\n\nCode `f(x)` `(a) ` ` (b)` $f(x)$ $$g(y)$$ \\\\(a (b)\\\\) x^(2)^ H~(2)~O\n",
        "x\n\n{++ (a) ++} {-- (b) --} {~~ (c) ~> (d) ~~} {>> (e) <<} {++ f (g ++} h)\n",
        "x\n\n| a (x) | f(y) |\n| ----- | ---- |\n| (c)   | (d)  |\n[cap (t)]\n",
        "x\n\n* (i) item (ii)\n* a - (b) well-known (c)\n\n> (q) [l](m (n))\n\nT (u)\n: D (v)\n",
        "x\n\nHTML (HTML) and W3C(x) and [>(CSS) Style Sheets] then (CSS) and f(CSS).\n\n"
        "[>HTML]: Hyper (Text)\n\n[>W3C]: Web\n\n[?(term) a (b)] (term)\n",
        "x\n\nNote[^n] and [^inline (x)] and [#c] [#c](p. 2) [p. (3)][#c]\n\n"
        "[^n]: A (b) note.\n\n[#c]: A (2020).\n",
        "x\n\nEscaped \\( a \\) (b\\) &#40;c&#41; (&amp;) (d...) (e--f) (g:h) (i\n j) (k  l)\n",
    };
    for (const char *src : sources) {
        for (uint64_t flags : {uint64_t(0), uint64_t(TZR_EXT_SMART | TZR_EXT_NOTES),
                               uint64_t(TZR_EXT_COMPATIBILITY), uint64_t(TZR_EXT_CRITIC),
                               uint64_t(TZR_EXT_CRITIC | TZR_EXT_CRITIC_ACCEPT),
                               uint64_t(TZR_EXT_CRITIC | TZR_EXT_CRITIC_REJECT)}) {
            for (uint16_t format : {TZR_FORMAT_HTML, TZR_FORMAT_LATEX, TZR_FORMAT_BEAMER,
                                    TZR_FORMAT_MEMOIR, TZR_FORMAT_FODT}) {
                SCOPED_TRACE(std::string(src) + " flags " + std::to_string(flags) + " format " +
                             std::to_string(format));
                tzr_engine *kept = tzr_engine_create_with_string(src, flags);
                std::string expected = take(tzr_engine_convert(kept, format));
                tzr_engine_free(kept, true);
                EXPECT_EQ(take(tzr_string_convert(src, flags, format, 0)), expected);
            }
        }
    }
}

// The tree a caller keeps holds every parenthesis: the editor colours
// matched pairs and lone marks.
TEST(PublicOps, AKeptTreeHoldsEveryParenthesis) {
    tzr_engine *e = tzr_engine_create_with_string("x\n\nSee (below) and f(x) and (a.\n", 0);
    tzr_engine_parse_string(e);
    size_t pairs = 0, lone = 0;
    std::vector<const token *> todo{tzr_engine_root(e)};
    while (!todo.empty()) {
        const token *t = todo.back();
        todo.pop_back();
        for (; t; t = t->next) {
            pairs += t->type == PAIR_PAREN;
            lone += t->type == PAREN_LEFT && !t->mate;
            if (t->child)
                todo.push_back(t->child);
        }
    }
    EXPECT_EQ(pairs, 2u);
    EXPECT_EQ(lone, 1u);
    tzr_engine_free(e, true);
}

TEST(PublicOps, ConvertToDataAndFileAgree) {
    const char *src = "title: T\n\n# Head\n\nText with ![img](pic.png).\n";
    char dir[] = "/tmp/tzr_ops_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    for (uint16_t format : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12}) {
        SCOPED_TRACE(format);
        std::string path = std::string(dir) + "/out" + std::to_string(format);
        DString *d = d_string_new(src);
        std::string data = take(tzr_d_string_convert_to_data(d, 0, format, 0, nullptr));
        tzr_d_string_convert_to_file(d, 0, format, 0, nullptr, path.c_str());
        EXPECT_EQ(std::string(d->str), src);
        d_string_free(d, true);
        if (data == "(null)") {
            // A format whose packager is not built writes no file at all.
            EXPECT_NE(access(path.c_str(), F_OK), 0);
        } else if (format == 1) {
            // Every book gets a fresh identifier and fresh picture names, so
            // two builds agree in their entries, not in their bytes.
            EXPECT_EQ(odf_test::read_zip(read_file(path)).names, odf_test::read_zip(data).names);
            unlink(path.c_str());
        } else if (data.rfind("PK\x03\x04", 0) == 0) {
            // An archive's entries carry the time they were written, to the
            // two seconds: two builds agree in what the entries hold.
            const odf_test::ZipEntries file = odf_test::read_zip(read_file(path));
            const odf_test::ZipEntries made = odf_test::read_zip(data);
            EXPECT_FALSE(made.names.empty());
            EXPECT_EQ(file.names, made.names);
            EXPECT_EQ(file.bytes, made.bytes);
            unlink(path.c_str());
        } else {
            EXPECT_EQ(read_file(path), data);
            unlink(path.c_str());
        }
    }
    rmdir(dir);
}

TEST(PublicOps, ConvertToFileReportsUnopenablePath) {
    DString *d = d_string_new("Text\n");
    testing::internal::CaptureStderr();
    tzr_d_string_convert_to_file(d, 0, 0, 0, nullptr, "/nonexistent-dir/out.html");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("/nonexistent-dir/out.html: ", 0), 0u) << err;
    d_string_free(d, true);
}

TEST(PublicOps, ConvertsAMegabyteDocument) {
    std::string doc = "title: Big\n\n[>HTML]: Hyper Text\n\n[^n]: Note.\n\n";
    while (doc.size() < (1u << 20))
        doc += "## Part\n\nSome HTML text[^n] with *emphasis* and a [link](/x).\n\n* item\n\n";
    std::string html = take(tzr_string_convert(doc.c_str(), 0x10, 0, 0));
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(html.substr(html.size() - 9), "</html>\n\n");
    EXPECT_GT(html.size(), doc.size());
}

TEST(PublicOps, ParseOnlySurvivesAnyText) {
    tzr_string_parse_only("# H\n\n* a\n\n> q\n", 0x10, 0, 3);
    tzr_string_parse_only(nullptr, 0, 0, 99);
}

}  // namespace

// The quotes an editor types are those the writers write: a metadata value
// names them as the export reads it, and each mark matches the HTML
// writer's.
TEST(PublicOps, QuotesLanguagesAndTheirMarks) {
    EXPECT_EQ(tzr_quotes_language_named("German", false), TZR_QUOTES_GERMAN);
    EXPECT_EQ(tzr_quotes_language_named("de", false), TZR_QUOTES_GERMAN);
    EXPECT_EQ(tzr_quotes_language_named("German Guillemets", false), TZR_QUOTES_GERMAN_GUILLEMETS);
    EXPECT_EQ(tzr_quotes_language_named("klingon", false), TZR_QUOTES_ENGLISH);
    EXPECT_EQ(tzr_quotes_language_named(nullptr, false), TZR_QUOTES_ENGLISH);
    // A language implies its quotes; a quotes language's long name is no
    // language.
    EXPECT_EQ(tzr_quotes_language_named("fr", true), TZR_QUOTES_FRENCH);
    EXPECT_EQ(tzr_quotes_language_named("sv", true), TZR_QUOTES_SWEDISH);
    EXPECT_EQ(tzr_quotes_language_named("french", true), TZR_QUOTES_ENGLISH);

    EXPECT_STREQ(tzr_quote_mark(TZR_QUOTES_ENGLISH, 0), "\u201C");
    EXPECT_STREQ(tzr_quote_mark(TZR_QUOTES_ENGLISH, 3), "\u2019");
    EXPECT_STREQ(tzr_quote_mark(TZR_QUOTES_GERMAN, 0), "\u201E");
    EXPECT_STREQ(tzr_quote_mark(TZR_QUOTES_GERMAN, 1), "\u201C");
    EXPECT_STREQ(tzr_quote_mark(TZR_QUOTES_FRENCH, 2), "'");
    EXPECT_STREQ(tzr_quote_mark(TZR_QUOTES_GERMAN_GUILLEMETS, 0), "\u00BB");
    EXPECT_STREQ(tzr_quote_mark(99, 1), "\u201D");
    EXPECT_EQ(tzr_quote_mark(TZR_QUOTES_ENGLISH, 4), nullptr);
    EXPECT_EQ(tzr_quote_mark(TZR_QUOTES_ENGLISH, -1), nullptr);

    // The marks are the ones the export writes for the same metadata.
    const std::string html = take(tzr_string_convert("quoteslanguage: german\n\n\"Hallo\"\n", TZR_EXT_SMART,
                                                     TZR_FORMAT_HTML, TZR_LANGUAGE_ENGLISH));
    EXPECT_NE(html.find("&#8222;Hallo&#8220;"), std::string::npos) << html;
}

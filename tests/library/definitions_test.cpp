#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "library/autolink.h"
#include "library/definitions.h"
#include "library/engine.h"
#include "library/export.h"
#include "library/export_context.h"
#include "library/notes.h"
#include "library/records.h"
#include "library/token_types.h"

namespace {

constexpr uint64_t kNotes = 0x10;
constexpr uint64_t kSmart = 0x8;

// A parsed engine with the export's record steps run (definitions, heading
// and table labels), as the writers see it.
struct Parsed {
    tzr_engine *e;
    // `conversion`: as a conversion's own engine parses, with parentheses
    // around plain text left in the text.
    explicit Parsed(const std::string &text, uint64_t ext = kNotes, bool autolink = false,
                    bool conversion = false)
        : e(tzr_engine_create_with_string(text.c_str(), ext)) {
        e->parens_in_text = conversion;
        tzr_engine_parse_string(e);
        tzr_process_definitions(e);
        tzr_process_header_labels(e);
        tzr_process_table_labels(e);
        if (autolink)
            tzr_autolink_terms(e);
    }
    ~Parsed() { tzr_engine_free(e, true); }
    tzr_note *note(stack *list, size_t i) const {
        return i < list->size ? static_cast<tzr_note *>(list->element[i]) : nullptr;
    }
    tzr_link *link(size_t i) const {
        return i < e->link_list->size ? static_cast<tzr_link *>(e->link_list->element[i])
                                      : nullptr;
    }
    std::string text(const token *t) const {
        return std::string(e->source->str + t->start, t->len);
    }
    // "type:text" of every token of a type in the tree, in document order.
    void collect(const token *t, unsigned short type, std::vector<std::string> &out) const {
        for (; t; t = t->next) {
            if (t->type == type)
                out.push_back(text(t));
            collect(t->child, type, out);
        }
    }
    std::vector<std::string> all(unsigned short type) const {
        std::vector<std::string> out;
        collect(e->root, type, out);
        return out;
    }
};

std::string str(const char *s) { return s ? s : "(null)"; }

TEST(Definitions, NotesBecomeRecordsAndBlocksEmpty) {
    Parsed p("Text.\n\n[^Fn]: Foot note.\n\n[#Cite]: A book.\n\n[?Term]: Means this.\n\n"
             "[>HTML]: Hyper  Text\n  Markup  \n");
    ASSERT_EQ(p.e->footnote_list->size, 1u);
    EXPECT_EQ(str(p.note(p.e->footnote_list, 0)->clean_text), "^fn");
    ASSERT_EQ(p.e->citation_list->size, 1u);
    EXPECT_EQ(str(p.note(p.e->citation_list, 0)->clean_text), "#cite");
    ASSERT_EQ(p.e->glossary_list->size, 1u);
    EXPECT_EQ(str(p.note(p.e->glossary_list, 0)->clean_text), "Term");
    ASSERT_EQ(p.e->abbreviation_list->size, 1u);
    tzr_note *abbr = p.note(p.e->abbreviation_list, 0);
    EXPECT_EQ(str(abbr->label_text), "HTML");
    EXPECT_EQ(str(abbr->clean_text), "Hyper Text Markup");

    // Labels and colons are consumed, the text after them trimmed, and every
    // definition block left empty for the writers.
    for (size_t i = 0; i < p.e->definition_list->size; i++)
        EXPECT_EQ(static_cast<token *>(p.e->definition_list->element[i])->type, BLOCK_EMPTY);
    tzr_note *foot = p.note(p.e->footnote_list, 0);
    std::vector<std::string> live;
    for (const token *t = foot->content->child; t; t = t->next)
        if (t->type != CONSUMED)
            live.push_back(p.text(t));
    ASSERT_FALSE(live.empty());
    EXPECT_EQ(live[0], "Foot note.");
}

TEST(Definitions, ReferenceLinks) {
    struct Case {
        const char *source;
        uint64_t ext;
        size_t links;
        const char *url, *title, *attr_key;
    } cases[] = {
        {"[Ref]: http://x.com \"The title\"\n", 0, 1, "http://x.com", "The title", nullptr},
        {"[Ref]: http://x.com\n  'Next line'\n", 0, 1, "http://x.com", "Next line", nullptr},
        {"[Ref]: http://x.com width=40\n", 0, 1, "http://x.com", nullptr, "width"},
        {"[Ref]: http://x.com \"T\" width=40\n", 1, 0, nullptr, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        Parsed p(c.source, c.ext);
        ASSERT_EQ(p.e->link_list->size, c.links);
        if (!c.links)
            continue;
        tzr_link *l = p.link(0);
        EXPECT_EQ(str(l->url), c.url);
        EXPECT_EQ(str(l->title), str(c.title));
        EXPECT_EQ(str(l->clean_text), "ref");
        EXPECT_EQ(l->origin, TZR_LINK_REFERENCE);
        EXPECT_EQ(l->attributes ? std::string(l->attributes->key) : "(null)", str(c.attr_key));
    }
}

TEST(Definitions, DuplicateLabelsKeepDocumentOrder) {
    Parsed p("[a]: /one\n\n[a]: /two\n");
    ASSERT_EQ(p.e->link_list->size, 2u);
    EXPECT_EQ(str(p.link(0)->url), "/one");
    EXPECT_EQ(str(p.link(1)->url), "/two");
}

TEST(Definitions, EmptiedBlockMetAgainAddsNothing) {
    Parsed p("[^a]: Note.\n");
    testing::internal::CaptureStderr();
    tzr_process_definitions(p.e);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "process 60\n");
    EXPECT_EQ(p.e->footnote_list->size, 1u);
}

TEST(HeadingLabels, ManualLabelOrWholeText) {
    struct Case {
        const char *source;
        uint64_t ext;
        const char *url;
        bool manual;
    } cases[] = {
        {"# Intro [start]\n", 0, "#start", true},
        {"# Intro [a][b]\n", 0, "#introab", false},
        {"## Plain Heading ##\n", 0, "#plainheading", false},
        {"# Intro [start]\n", 0x20, nullptr, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        Parsed p(c.source, c.ext);
        if (!c.url) {
            EXPECT_EQ(p.e->link_list->size, 0u);
            continue;
        }
        ASSERT_EQ(p.e->link_list->size, 1u);
        EXPECT_EQ(str(p.link(0)->url), c.url);
        EXPECT_EQ(p.link(0)->origin, TZR_LINK_HEADING_LABEL);
        EXPECT_EQ(p.all(MANUAL_LABEL).size(), c.manual ? 1u : 0u);
    }
}

TEST(TableLabels, CaptionParagraphs) {
    const std::string table = "| a | b |\n|---|---|\n| 1 | 2 |\n";
    struct Case {
        const char *after;
        bool caption;
        const char *url;
    } cases[] = {
        {"[Caption][lab]\n", true, "#lab"},
        {"[My Caption]\n", true, "#mycaption"},
        {"Not a caption [x]\n", false, nullptr},
        {"[Cap] and more words\n", true, "#cap"},
        {"[Cap] [lab] more\n", false, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.after);
        Parsed p(table + c.after);
        ASSERT_EQ(p.e->table_list->size, 1u);
        EXPECT_EQ(tzr_table_has_caption(static_cast<token *>(p.e->table_list->element[0])),
                  c.caption);
        if (c.url) {
            ASSERT_EQ(p.e->link_list->size, 1u);
            EXPECT_EQ(str(p.link(0)->url), c.url);
        } else {
            EXPECT_EQ(p.e->link_list->size, 0u);
        }
    }
    EXPECT_FALSE(tzr_table_has_caption(nullptr));
}

TEST(Autolink, TermsInRunningTextOnly) {
    const std::string defs = "\n\n[>HTML]: Hyper Text\n\n[?Tessaro]: A markup.\n";
    struct Case {
        const char *text;
        std::vector<std::string> abbrs, terms;
    } cases[] = {
        {"HTML and XHTML5 in Tessaro.", {"HTML", "HTML"}, {"Tessaro"}},
        {"* item HTML\n* \"Tessaro\"", {"HTML"}, {"Tessaro"}},
        {"| HTML | b |\n|---|---|\n| Tessaro | 2 |", {"HTML"}, {"Tessaro"}},
        {"# HTML heading", {}, {}},
        {"Code `HTML` here", {}, {}},
        {"html lower case", {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Parsed p(c.text + defs, kNotes, true);
        EXPECT_EQ(p.all(PAIR_BRACKET_ABBREVIATION), c.abbrs);
        EXPECT_EQ(p.all(PAIR_BRACKET_GLOSSARY), c.terms);
    }
}

// A "/" inside a word and the ":" of an address stay in the text they stand
// in; a term is still found only between them, never across one.
TEST(Autolink, TermsStopAtSlashesAndSchemeColonsInsideText) {
    Parsed p("TCP/IP and IP/TCP, http://TCP/a, A/B and http://b.\n\n[>TCP]: Transmission\n\n"
             "[>A/B]: Slashed\n\n[>http:]: Scheme\n",
             kNotes, true);
    EXPECT_EQ(p.all(PAIR_BRACKET_ABBREVIATION), (std::vector<std::string>{"TCP", "TCP", "TCP"}));
    std::vector<std::string> texts = p.all(TEXT);
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0], "/IP and IP/");
    EXPECT_EQ(texts[1], ", http://");
}

// A "-" of a list item's text stays in the text as well. A term is still
// found on either side of it, never across it, and with smart typography a
// lone "-" is a piece of text that a term "-" names, as it was.
TEST(Autolink, TermsStopAtHyphensInsideListItems) {
    const std::string text = "x\n\n* AB-C and x-AB - y\n\n[>AB]: A\n\n[>AB-C]: Joined\n\n[>-]: Dash\n";
    Parsed plain(text, kNotes, true);
    EXPECT_EQ(plain.all(PAIR_BRACKET_ABBREVIATION), (std::vector<std::string>{"AB", "AB"}));
    Parsed smart(text, kNotes | kSmart, true);
    EXPECT_EQ(smart.all(PAIR_BRACKET_ABBREVIATION), (std::vector<std::string>{"AB", "-", "-", "AB", "-"}));
}

// Terms inside parentheses are not linked, whether the parentheses are a
// pair of tokens or, in a conversion, text around plain text; terms right
// before and after them are.
TEST(Autolink, TermsInsideParenthesesStayUnlinked) {
    const std::string text = "x\n\nAB (AB) AB(x AB) (y)AB (AB\n\n[>AB]: A\n";
    for (bool conversion : {false, true}) {
        SCOPED_TRACE(conversion);
        Parsed p(text, kNotes, true, conversion);
        EXPECT_EQ(p.all(PAIR_BRACKET_ABBREVIATION), (std::vector<std::string>{"AB", "AB", "AB", "AB"}));
    }
}

TEST(Autolink, LongestLeftmostAndSplitPieces) {
    Parsed p("An HTML5 page.\n\n[>HTML]: A\n\n[>HTML5]: B\n", kNotes, true);
    EXPECT_EQ(p.all(PAIR_BRACKET_ABBREVIATION), std::vector<std::string>{"HTML5"});
    std::vector<std::string> texts = p.all(TEXT);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "An ");
    EXPECT_EQ(texts[1], " page.");
}

// A term inside an implicit reference link stays text, so the bracket still
// resolves to its link; explicit references and inline links are linked.
TEST(Autolink, ImplicitReferenceKeepsItsText) {
    Parsed p("See [HTML] and [HTML](/x) and [the HTML][HTML].\n\n[HTML]: /spec\n\n"
             "[>HTML]: Hyper Text\n",
             kNotes, true);
    EXPECT_EQ(p.all(PAIR_BRACKET_ABBREVIATION).size(), 2u);
}

TEST(Export, CompatibilityLinksNothing) {
    tzr_engine *e = tzr_engine_create_with_string("HTML here.\n\n[>HTML]: Hyper\n", kNotes | 1);
    tzr_engine_parse_string(e);
    DString *out = d_string_new("");
    tzr_export_document(out, e, 0);
    std::vector<std::string> found;
    for (const token *t = e->root->child; t; t = t->next)
        for (const token *c = t->child; c; c = c->next)
            if (c->type == PAIR_BRACKET_ABBREVIATION && !c->child)
                found.push_back("x");
    EXPECT_TRUE(found.empty());
    d_string_free(out, true);
    tzr_engine_free(e, true);
}

// --- Steering metadata ----------------------------------------------------------

struct Steered {
    int16_t format;
    uint64_t ext;
    int16_t base;
    uint16_t language, quotes;
};

Steered steer(const std::string &meta, int16_t format, uint64_t ext = 0) {
    tzr_engine *e = tzr_engine_create_with_string((meta + "\nBody.\n").c_str(), ext);
    tzr_engine_parse_string(e);
    tzr_export_context *c = tzr_export_context_new(e, format);
    tzr_metadata_apply(e, c);
    Steered s{c->format, c->ext_flags, c->header_level_base, c->language, c->quotes_language};
    tzr_export_context_free(c);
    tzr_engine_free(e, true);
    return s;
}

TEST(MetadataApply, CompleteBit) {
    EXPECT_TRUE(steer("title: A\n", 0).ext & 0x2);
    EXPECT_FALSE(steer("title: A\n", 0, 0x4).ext & 0x2);
    EXPECT_FALSE(steer("language: fr\n", 0).ext & 0x2);
    EXPECT_TRUE(steer("bibtex: refs.bib\n", 0).ext & 0x2);
    EXPECT_FALSE(steer("latexmode: beamer\n", 0).ext & 0x2);
    EXPECT_FALSE(steer("title: A\n", 0, 0x80).ext & 0x2);
}

TEST(MetadataApply, LatexMode) {
    EXPECT_EQ(steer("latexmode: beamer\n", 2).format, 3);
    EXPECT_EQ(steer("LaTeX Mode: Memoir\n", 2).format, 4);
    EXPECT_EQ(steer("latexmode: other\n", 2).format, 2);
    EXPECT_EQ(steer("latexmode: beamer\n", 0).format, 0);
}

TEST(MetadataApply, HeaderLevels) {
    const std::string base_then_latex = "baseheaderlevel: 2\nlatexheaderlevel: 3\n";
    const std::string latex_then_base = "latexheaderlevel: 3\nbaseheaderlevel: 2\n";
    EXPECT_EQ(steer(base_then_latex, 2).base, 3);
    EXPECT_EQ(steer(base_then_latex, 0).base, 2);
    EXPECT_EQ(steer(latex_then_base, 2).base, 3);
    EXPECT_EQ(steer("odfheaderlevel: 4\n", 5).base, 4);
    EXPECT_EQ(steer("htmlheaderlevel: 3\n", 0).base, 3);
    EXPECT_EQ(steer("htmlheaderlevel: 3\n", 2).base, 1);
    // Levels a writer cannot express are brought into its range.
    EXPECT_EQ(steer("baseheaderlevel: none\n", 0).base, 1);
    EXPECT_EQ(steer("baseheaderlevel: -5\n", 0).base, 1);
    EXPECT_EQ(steer("baseheaderlevel: 99999\n", 0).base, 6);
    EXPECT_EQ(steer("baseheaderlevel: 99999\n", 2).base, 7);
    EXPECT_EQ(steer("baseheaderlevel: 99999\n", 6).base, 10);
}

TEST(MetadataApply, Languages) {
    Steered a = steer("language: fr\nquoteslanguage: german\n", 0);
    EXPECT_EQ(a.language, 3);
    EXPECT_EQ(a.quotes, 3);
    Steered b = steer("quoteslanguage: german\nlanguage: fr\n", 0);
    EXPECT_EQ(b.language, 3);
    EXPECT_EQ(b.quotes, 2);
    EXPECT_EQ(steer("Quotes Language: German Guillemets\n", 0).quotes, 4);
    Steered c = steer("language: klingon\n", 0);
    EXPECT_EQ(c.language, 0);
    EXPECT_EQ(c.quotes, 0);
    EXPECT_EQ(steer("language: sv\n", 0).quotes, 6);
}

}  // namespace

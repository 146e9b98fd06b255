#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "library/engine.h"
#include "library/export_context.h"
#include "html_test_tree.h"
#include "library/writers/html.h"

namespace {

// Parses `source` and writes it as the HTML export does, as a whole document.
std::string export_document(const std::string &source, uint64_t ext) {
    tzr_engine *e = tzr_engine_create_with_string(source.c_str(), ext | 0x2);
    tzr_engine_parse_string(e);
    tzr_export_context *c = tzr_export_context_new(e, TZR_FORMAT_HTML);
    c->record_assets = 1;
    const char *src = e->source->str;
    DString *out = d_string_new("");
    html_write_document_start(out, src, c);
    html_export_token_chain(out, src, e->root, c);
    html_write_footnotes(out, src, c);
    html_write_glossary(out, src, c);
    html_write_citations(out, src, c);
    html_write_document_end(out, src, c);
    e->asset_table = c->asset_table;
    tzr_export_context_free(c);
    tzr_engine_free(e, true);
    std::string html(out->str, out->length);
    d_string_free(out, true);
    return html;
}

TEST(HtmlDocument, HeadWithoutMetadata) {
    HtmlTree t("x");
    HtmlTree::Options o;
    o.complete = true;
    EXPECT_EQ(t.write({t.para("x")}, o),
              "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
              "\t<meta charset=\"utf-8\"/>\n</head>\n<body>\n\n<p>x</p>\n\n</body>\n</html>\n");
}

TEST(HtmlDocument, HeadFromMetadata) {
    std::string src = "title author language css htmlheader bibtex x";
    HtmlTree t(src);
    t.meta("title", "A <Title>");
    t.meta("author", "Me & You");
    t.meta("language", "de\"x");
    t.meta("css", "s.css");
    t.meta("htmlheader", "<script src=\"a.js\"></script>");
    t.meta("bibtex", "refs.bib");
    HtmlTree::Options o;
    o.complete = true;
    o.pack_assets = 1;
    std::string html = t.write({t.para("x")}, o);
    std::string head = html.substr(0, html.find("<body>"));
    EXPECT_NE(head.find("lang=\"de&quot;x\">"), std::string::npos) << head;
    EXPECT_NE(head.find("\t<title>A &lt;Title&gt;</title>\n\t<meta name=\"author\" content=\"Me &amp; You\"/>\n"
                        "\t<link type=\"text/css\" rel=\"stylesheet\" href=\"assets/"),
              std::string::npos)
        << head;
    EXPECT_NE(head.find("\"/>\n<script src=\"a.js\"></script>\n</head>"), std::string::npos) << head;
    EXPECT_EQ(head.find("bibtex"), std::string::npos);
    EXPECT_EQ(t.assets, 1u);
}

TEST(HtmlDocument, LanguageCodeWithoutMetadata) {
    HtmlTree t("x");
    t.engine()->language = 2;
    HtmlTree::Options o;
    o.complete = true;
    EXPECT_NE(t.write({t.para("x")}, o).find(" lang=\"de\">"), std::string::npos);
}

TEST(HtmlDocument, ParsedDocumentEndToEnd) {
    std::string html = export_document("# Hi\n\nSome *text*.\n", 0);
    EXPECT_NE(html.find("<h1 id=\"hi\">Hi</h1>\n\n<p>Some <em>text</em>.</p>\n\n</body>"), std::string::npos)
        << html;
}

bool xmllint_available() { return system("xmllint --version >/dev/null 2>&1") == 0; }

// Every sample document, written whole, parses as XML with unique ids.
TEST(HtmlDocument, SamplesAreWellFormedXml) {
    if (!xmllint_available())
        GTEST_SKIP() << "xmllint is not installed (Debian package libxml2-utils)";
    std::filesystem::path dir = std::filesystem::path(ORVANE_TEST_DATA) / "html";
    int checked = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".md")
            continue;
        std::ifstream in(entry.path());
        std::stringstream source;
        source << in.rdbuf();
        for (uint64_t ext : {0x0ull, 0x8ull | 0x10 | 0x200, 0x8ull | 0x10 | 0x1000}) {
            std::string html = export_document(source.str(), ext);
            std::string file = testing::TempDir() + "orvane_html_sample.xhtml";
            std::ofstream(file) << html;
            std::string command = "xmllint --noout '" + file + "' 2>&1";
            EXPECT_EQ(system(command.c_str()), 0) << entry.path() << " flags " << ext << "\n" << html;
            std::remove(file.c_str());

            std::set<std::string> ids;
            std::regex id_attr(" id=\"([^\"]*)\"");
            for (auto it = std::sregex_iterator(html.begin(), html.end(), id_attr); it != std::sregex_iterator();
                 ++it)
                EXPECT_TRUE(ids.insert((*it)[1]).second) << entry.path() << ": duplicate id " << (*it)[1];
            checked++;
        }
    }
    EXPECT_GE(checked, 6);
}

}  // namespace

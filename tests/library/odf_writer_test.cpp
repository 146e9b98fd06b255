// The OpenDocument text writer: what each construct becomes, the context
// escaping, notes that refer to themselves, and well-formed output for any
// input.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "odf_test_support.h"

using namespace odf_test;

namespace {

constexpr uint64_t kSmart = 0x8, kNotes = 0x10, kNoLabels = 0x20, kCompat = 0x1;
constexpr uint64_t kCritic = 0x200, kAccept = 0x400, kReject = 0x800;

struct Case {
    const char *name;
    const char *markdown;
    uint64_t extensions;
    std::vector<std::string> present;
    std::vector<std::string> absent = {};
    uint16_t format = 5;
};

const Case kCases[] = {
    {"raised base level", "Base Header Level: 2\n\n## Two\n\nSet\n---\n", 0,
     {"<text:h text:outline-level=\"3\"><text:bookmark text:name=\"two\"/>Two</text:h>",
      "<text:h text:outline-level=\"3\"><text:bookmark text:name=\"set\"/>Set</text:h>"}},
    {"setext level two", "Set\n---\n", 0, {"<text:h text:outline-level=\"2\">"}},
    {"outline level kept within 1-10", "Base Header Level: 9\n\n###### Deep\n", 0,
     {"<text:h text:outline-level=\"10\">"}},
    {"no labels keeps contents links", "{{TOC}}\n\n# One\n\n## Sub\n", kNoLabels,
     {"xlink:href=\"#one\"", "xlink:href=\"#sub\"", "<text:h text:outline-level=\"1\">One</text:h>"},
     {"<text:bookmark"}},
    {"emphasis and strong", "*a* **b** x^2^ H~2~O", 0,
     {"<text:span text:style-name=\"TZR-Italic\">a</text:span>",
      "<text:span text:style-name=\"TZR-Bold\">b</text:span>",
      "<text:span text:style-name=\"TZR-Superscript\">2</text:span>",
      "<text:span text:style-name=\"TZR-Subscript\">2</text:span>"}},
    {"code spans trimmed and raw", "a ` code ` b `x`{=odt} c `y`{=html} d", 0,
     {"a <text:span text:style-name=\"Source_20_Text\">code</text:span> b x c  d"}},
    {"code block as one paragraph", "    a < b\n    c & d\n", 0,
     {"<text:p text:style-name=\"Preformatted_20_Text\">a &lt; b<text:line-break/>c &amp; d"}},
    {"raw fenced block for odt only", "```{=odt}\n<text:p>raw</text:p>\n```\n\n```{=html}\n<p>no</p>\n```\n", 0,
     {"<text:p>raw</text:p>\n"}, {"<p>no</p>"}},
    {"german quotes", "Quotes Language: german\n\n\"quoted\" text", kSmart,
     {"&#8222;quoted&#8220; text"}},
    {"smart dashes", "a -- b --- c... it's", kSmart, {"a &#8211; b &#8212; c&#8230; it&#8217;s"}},
    {"plain typography", "\"a\" -- b", 0, {"&quot;a&quot; -- b"}},
    {"escaped space and entity", "a\\ b &copy; c", 0, {"a\xC2\xA0" "b &amp;copy; c"}},
    {"escaped space in compatibility mode", "a\\ b", kCompat, {"a b"}},
    {"link target and title escaped for attributes", "[x](http://a.b/?q=1&r=2 \"ti\ttle\")", 0,
     {"xlink:href=\"http://a.b/?q=1&amp;r=2\" office:name=\"ti&#9;tle\">x</text:a>"},
     {"<text:tab/>tle\""}},
    {"autolinks", "<http://x.org/?a&b> and <me@x.org>", 0,
     {"<text:a xlink:type=\"simple\" xlink:href=\"http://x.org/?a&amp;b\">http://x.org/?a&amp;b</text:a>",
      "xlink:href=\"mailto:me@x.org\">me@x.org</text:a>"}},
    {"lists and quotes", "- one\n- two\n\n1. first\n\n> quoted\n", 0,
     {"<text:list text:style-name=\"L1\">", "<text:list text:style-name=\"L2\">",
      "<text:list-item>\n", "<text:p text:style-name=\"Quotations\">quoted</text:p>"}},
    {"definition list", "Term\n: Meaning\n", 0,
     {"<text:p><text:span text:style-name=\"TZR-Bold\">Term</text:span></text:p>",
      "text:style-name=\"Quotations\">"}},
    {"rule", "a\n\n---\n\nb", 0, {"<text:p text:style-name=\"Horizontal_20_Line\"/>"}},
    {"table with span, alignment and caption", "| a | b | c |\n|---|:-:|--:|\n| x || y |\n\n[Cap][lab]\n", 0,
     {"<table:table-column/>\n<table:table-column/>\n<table:table-column/>",
      "<text:p text:style-name=\"Table_20_Heading\"> a </text:p>",
      "<table:table-cell table:number-columns-spanned=\"2\">\n<text:p text:style-name=\"TZR-Table\"> x",
      "<text:p text:style-name=\"TZR-Table-Right\"> y </text:p>",
      "<text:p><text:bookmark text:name=\"lab\"/>Table <text:sequence",
      ": Cap<text:bookmark-end text:name=\"lab\"/></text:p>"},
     {"[Cap]"}},
    {"figure and inline image", "![alt](img.png width=20PX height=10px)\n\nin ![b](b.png height=3) text", 0,
     {"svg:width=\"20pt\">", "svg:height=\"10pt\" svg:width=\"20pt\" >", "xlink:href=\"img.png\"",
      "draw:filter-name=\"&lt;All formats&gt;\"/>\n<svg:title>alt</svg:title></draw:frame></text:p>",
      "<svg:title>b</svg:title>",
      "calculate numbers</text:sequence>: alt</text:p>", "svg:width=\"95%\">\n<draw:text-box><text:p><draw:frame "
      "text:anchor-type=\"as-char\" draw:z-index=\"1\" >"},
     {"svg:height=\"3\""}},
    {"image URL escaped", "![a](<pic.png?a=1&b=2>)", 0, {"xlink:href=\"pic.png?a=1&amp;b=2\""}},
    {"zipped images refer to pictures", "![a](img.png)", 0, {"xlink:href=\"Pictures/"}, {"img.png"}, 6},
    {"footnote written at each use", "A[^n] B[^n]\n\n[^n]: Note.", kNotes,
     {"<text:note text:id=\"fn1\" text:note-class=\"footnote\"><text:note-body><text:p "
      "text:style-name=\"Footnote\">Note."}},
    {"citations: note, then reference; notcited only the note",
     "Cite[#k] and [p. 4][#k] and [notcited][#j].\n\n[#k]: Knuth.\n\n[#j]: Other.", kNotes,
     {"<text:note text:id=\"cite1\" text:note-class=\"endnote\">",
      "text:ref-name=\"cite1\">1</text:note-ref></text:span>", "<text:note text:id=\"cite2\""},
     {"p. 4", "notcited", "ref-name=\"cite2\""}},
    {"notes off writes the brackets' text", "A[^n]\n\n[^n]: Note.", 0, {}, {"<text:note"}},
    {"critic marks as text without the flag", "{++add++} {--del--}", 0, {"{++add++} {--del--}"}},
    {"critic spans", "{++add++} {--del--} {>>c<<} {==h==}", kCritic,
     {"<text:span text:style-name=\"Underline\">add</text:span>",
      "<text:span text:style-name=\"Strike\">del</text:span>",
      "<text:span text:style-name=\"Comment\">c</text:span>",
      "<text:span text:style-name=\"Highlight\">h</text:span>"}},
    {"critic accepted", "{++add++} {--del--} {~~old~>new~~}", kCritic | kAccept, {"add  new"},
     {"del", "old", "Underline"}},
    {"critic rejected", "{++add++} {--del--} {~~old~>new~~}", kCritic | kReject, {" del old"},
     {"add", "new"}},
    {"variables", "Name: A & B\n\nHi [%name].", 0, {"Hi A &amp; B."}},
    {"math", "$x < y$ and \\\\(a\\\\)", 0,
     {"<text:span text:style-name=\"math\">$x &lt; y$</text:span>",
      "<text:span text:style-name=\"math\">\\(a\\)</text:span>"}},
};

TEST(OdfWriter, WritesEachConstruct) {
    for (const Case &c : kCases) {
        std::string out = body(c.markdown, c.extensions, c.format);
        for (const std::string &p : c.present)
            EXPECT_NE(out.find(p), std::string::npos) << c.name << ": missing\n" << p << "\nin\n" << out;
        for (const std::string &a : c.absent)
            EXPECT_EQ(out.find(a), std::string::npos) << c.name << ": unexpected\n" << a << "\nin\n" << out;
    }
}

TEST(OdfWriter, AFootnoteInsideItselfIsWrittenOnce) {
    std::string out = body("Text[^a].\n\n[^a]: See [^a] again.", kNotes);
    EXPECT_EQ(count_of(out, "<text:note "), 1u) << out;
    EXPECT_NE(out.find("<text:note-ref text:note-class=\"footnote\" text:reference-format=\"text\" "
                       "text:ref-name=\"fn1\">1</text:note-ref>"),
              std::string::npos)
        << out;
    // Two footnotes that refer to each other: each is written once inside the other.
    out = body("A[^a].\n\n[^a]: See [^b].\n\n[^b]: Back to [^a].", kNotes);
    EXPECT_EQ(count_of(out, "<text:note "), 2u) << out;
}

TEST(OdfWriter, EscapingByContext) {
    DString *out = d_string_new("");
    odf_print_string(out, "a\t\"<&>\"");
    odf_print_attribute(out, "|a\tb\nc\rd\"<&>");
    odf_print_bytes(out, "|\x01\xFF\xC3\xA9\xED\xA0\x80", 8);
    EXPECT_STREQ(out->str, "a<text:tab/>&quot;&lt;&amp;&gt;&quot;"
                           "|a&#9;b&#10;c&#13;d&quot;&lt;&amp;&gt;"
                           "|\xEF\xBF\xBD\xEF\xBF\xBD\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    d_string_free(out, true);
    char *dimension = odf_dimension_in_points("20PX");
    EXPECT_STREQ(dimension, "20pt");
    free(dimension);
    for (const char *kept : {"50%", "3cm", "x"}) {
        dimension = odf_dimension_in_points(kept);
        EXPECT_STREQ(dimension, kept);
        free(dimension);
    }
}

TEST(OdfWriter, DeepNestingAndNullArgumentsAreSafe) {
    std::string deep(1500, '>');
    deep += " text\n";
    std::string out = body(deep);
    EXPECT_EQ(count_of(out, "<text:p"), count_of(out, "</text:p>"));
    tzr_odf_export_token_chain(nullptr, "x", nullptr, nullptr);
    tzr_odf_export_token(nullptr, nullptr, nullptr, nullptr);
    odf_print_string(nullptr, "x");
    EXPECT_EQ(odf_dimension_in_points(nullptr), nullptr);
    DString *flat = tzr_fodt_create(nullptr, nullptr, nullptr);
    EXPECT_NE(std::string(flat->str).find("<office:text>"), std::string::npos);
    d_string_free(flat, true);
}

// Every part stays well-formed XML whatever bytes the document holds.
TEST(OdfWriter, AnyInputGivesWellFormedXml) {
    if (!tool_available("xmllint"))
        GTEST_SKIP() << "xmllint is not installed (Debian package libxml2-utils)";
    auto folder = temp_folder("odf-xml");
    std::mt19937 random(20261206);
    const std::string alphabet = "ab <>&\"'\t\n*_`[]()!^~#|:{}=+-.\\$%?\x01\x7F\xC3\xA9\xFF";
    std::vector<std::string> documents = {
        "Title: a\tb & <c>\nAuthor: \"q\"\nkey\tx: v\n\n# H\n\n[l](u?a=1&b=\"2\" \"t\tt\")\n",
        "![i](<a\"b&c.png> width=\"1&2\" height=\"<3>\")\n",
        "| a\t| b |\n|---|---|\n| <x> | & |\n",
    };
    for (int i = 0; i < 20; i++) {
        std::string d;
        for (int j = 0; j < 200; j++)
            d += alphabet[random() % alphabet.size()];
        documents.push_back(d);
    }
    testing::internal::CaptureStderr();  // unknown line types and missing pictures
    for (const std::string &d : documents) {
        for (uint64_t ext : {(uint64_t)0, kSmart | kNotes | kCritic}) {
            std::string flat = take(tzr_string_convert_to_data(d.c_str(), ext, 5, 0, nullptr));
            std::string errors = xmllint_errors(flat, folder);
            EXPECT_EQ(errors, "") << d;
            ZipEntries zip = read_zip(take(tzr_string_convert_to_data(d.c_str(), ext, 6, 0, nullptr)));
            for (const char *part : {"content.xml", "styles.xml", "meta.xml", "settings.xml",
                                     "META-INF/manifest.xml"}) {
                ASSERT_EQ(zip.bytes.count(part), 1u) << part;
                EXPECT_EQ(xmllint_errors(zip.bytes[part], folder), "") << part << " of\n" << d;
            }
        }
    }
    testing::internal::GetCapturedStderr();
    std::filesystem::remove_all(folder);
}

}  // namespace

namespace {

TEST(OdfPackage, PartsMetadataAndLayout) {
    const char *doc = "Title: A & B\nAuthor: Me <me>\nCSS: x.css\nODF Header Level: 2\nKey: v\tw\n\n# H\n";
    std::string flat = take(tzr_string_convert_to_data(doc, 0, 5, 0, nullptr));
    EXPECT_EQ(flat.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document ", 0), 0u);
    EXPECT_NE(flat.find("office:version=\"1.2\"\noffice:mimetype=\"application/vnd.oasis.opendocument.text\">"),
              std::string::npos);
    EXPECT_LT(flat.find("</office:master-styles>"), flat.find("<office:meta>"));
    EXPECT_NE(flat.find("<text:h text:outline-level=\"2\">"), std::string::npos);
    EXPECT_NE(flat.find("\t<dc:title>A &amp; B</dc:title>\n\t<dc:creator>Me &lt;me&gt;</dc:creator>\n"),
              std::string::npos);
    EXPECT_NE(flat.find("<meta:user-defined meta:name=\"odfheaderlevel\">2</meta:user-defined>"),
              std::string::npos);
    EXPECT_NE(flat.find("<meta:user-defined meta:name=\"key\">v w</meta:user-defined>"), std::string::npos);
    EXPECT_EQ(flat.find("x.css"), std::string::npos);

    auto folder = temp_folder("odf-package");
    std::string path = (folder / "out.odt").string();
    DString *source = d_string_new(doc);
    tzr_d_string_convert_to_file(source, 0, 6, 0, nullptr, path.c_str());
    d_string_free(source, true);
    std::ifstream in(path, std::ios::binary);
    std::string archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ZipEntries zip = read_zip(archive);
    std::vector<std::string> expected = {"mimetype",  "meta.xml",  "styles.xml", "settings.xml",
                                         "META-INF/", "META-INF/manifest.xml", "content.xml"};
    EXPECT_EQ(zip.names, expected);
    EXPECT_EQ(zip.bytes["mimetype"], "application/vnd.oasis.opendocument.text");
    EXPECT_TRUE(zip.stored["mimetype"]);
    for (const char *part : {"meta.xml", "styles.xml", "content.xml", "META-INF/manifest.xml"})
        EXPECT_FALSE(zip.stored[part]) << part;
    // content.xml defines the span styles it uses, where LibreOffice looks for them.
    const std::string &content = zip.bytes["content.xml"];
    EXPECT_LT(content.find("<style:style style:name=\"TZR-Bold\""), content.find("<office:body>"));
    EXPECT_NE(zip.bytes["meta.xml"].find("<dc:title>A &amp; B</dc:title>"), std::string::npos);
    EXPECT_EQ(zip.bytes["settings.xml"].rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?> <office:document-settings", 0),
              0u);
    std::filesystem::remove_all(folder);
}

}  // namespace

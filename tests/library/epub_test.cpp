// EPUB books: the archive's layout, the package and navigation documents,
// and whole sample books checked by epubcheck.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "library/writers/epub.h"
#include "library/packaging/pictures.h"
#include "library/export_context.h"
#include "library/file_utils.h"
#include "local_http_server.h"
#include "odf_test_support.h"
#include "library/tzr.h"

namespace {

using odf_test::read_zip;
using odf_test::stderr_of;
using odf_test::take;
using odf_test::ZipEntries;

const std::string kSamples = std::string(ORVANE_TEST_DATA) + "/epub";
constexpr uint64_t kExtensions = TZR_EXT_NOTES | TZR_EXT_SMART;

std::string book(const std::string &markdown, const char *folder = nullptr) {
    return take(tzr_string_convert_to_data(markdown.c_str(), kExtensions, TZR_FORMAT_EPUB, 0, folder));
}

ZipEntries book_entries(const std::string &markdown, const char *folder = nullptr) {
    return read_zip(book(markdown, folder));
}

std::string run(const std::string &command, int *status) {
    std::string output;
    FILE *p = popen(command.c_str(), "r");
    if (!p) {
        *status = -1;
        return output;
    }
    char buffer[512];
    while (fgets(buffer, sizeof buffer, p))
        output += buffer;
    *status = pclose(p);
    return output;
}

TEST(Epub, ArchiveLayoutAndManifestOfStoredPictures) {
    std::string markdown = "css: images/book.css\n\n# Pictures\n\n![a](images/square.png) "
                           "![b](images/dot.gif) ![c](images/circle.svg) ![d](images/missing.png)\n";
    ZipEntries z;
    std::string errors = stderr_of([&] { z = book_entries(markdown, kSamples.c_str()); });
    EXPECT_NE(errors.find("Unable to store 'images/missing.png' in EPUB"), std::string::npos);

    ASSERT_GE(z.names.size(), 7u);
    std::vector<std::string> fixed(z.names.begin(), z.names.begin() + 7);
    EXPECT_EQ(fixed, (std::vector<std::string>{"mimetype", "OEBPS/", "META-INF/",
                                               "META-INF/container.xml", "OEBPS/main.opf",
                                               "OEBPS/nav.xhtml", "OEBPS/main.xhtml"}));
    EXPECT_EQ(z.bytes["mimetype"], "application/epub+zip");
    EXPECT_TRUE(z.stored["mimetype"]);
    EXPECT_EQ(z.bytes.count("OEBPS/assets/"), 0u);

    // Four stored assets (style sheet and three pictures); each is listed
    // with the media type its bytes show, and nothing else is.
    ASSERT_EQ(z.names.size(), 11u);
    const std::string &opf = z.bytes["OEBPS/main.opf"];
    EXPECT_EQ(odf_test::count_of(opf, "<item id=\"asset-"), 4u);
    std::vector<std::string> types;
    for (size_t i = 7; i < z.names.size(); i++) {
        const std::string &name = z.names[i];
        ASSERT_EQ(name.rfind("OEBPS/assets/", 0), 0u);
        std::string href = "href=\"assets/" + name.substr(13) + "\" media-type=\"";
        size_t at = opf.find(href);
        ASSERT_NE(at, std::string::npos) << name;
        size_t from = at + href.size();
        types.push_back(opf.substr(from, opf.find('"', from) - from));
        EXPECT_NE(z.bytes["OEBPS/main.xhtml"].find("assets/" + name.substr(13)), std::string::npos);
    }
    EXPECT_EQ(types, (std::vector<std::string>{"text/css", "image/png", "image/gif", "image/svg+xml"}));
}

// A book holds the pictures every reading system shows, told by their
// bytes: PNG, JPEG, GIF and SVG (an XML document whose root is svg in the
// SVG namespace); WebP is not among them.
TEST(Epub, MediaTypesAreSniffedFromBytes) {
    struct Case {
        std::string bytes;
        const char *type;
    };
    const Case cases[] = {
        {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "image/png"},
        {"\xFF\xD8\xFF\xE0rest", "image/jpeg"},
        {"GIF89a...", "image/gif"},
        {"GIF87a...", "image/gif"},
        {std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), nullptr},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- c -->\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>",
         "image/svg+xml"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- c -->\n<svg xmlns=\"x\"/>", nullptr},
        // A declaration after blanks makes no XML document.
        {"\xEF\xBB\xBF  <?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>", nullptr},
        {"<svg>", nullptr},
        {"<svgfoo/>", nullptr},
        {"<html><body>Not found</body></html>", nullptr},
        {"PNG", nullptr},
        {std::string("\x89PNG\r\n\x1a\n....", 12), nullptr},
        {"", nullptr},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(tzr_picture_media_type(c.bytes.data(), c.bytes.size(), TZR_FORMAT_EPUB), c.type)
            << c.bytes;
    EXPECT_EQ(tzr_picture_media_type(nullptr, 4, TZR_FORMAT_EPUB), nullptr);
}

TEST(Epub, PackageMetadata) {
    struct Case {
        const char *markdown;
        uint16_t language;
        std::vector<const char *> expected;
    };
    const Case cases[] = {
        {"title: A & <B>\nauthor: \"Q\"\nuuid: 1234\n\ntext\n", 0,
         {"<dc:title>A &amp; &lt;B&gt;</dc:title>", "<dc:creator>&quot;Q&quot;</dc:creator>",
          "<dc:identifier id=\"pub-id\">urn:uuid:1234</dc:identifier>"}},
        {"text\n", 0, {"<dc:title>Untitled</dc:title>", "<dc:language>en</dc:language>"}},
        {"title:\n\ntext\n", 0, {"<dc:title>Untitled</dc:title>"}},
        {"text\n", 3, {"<dc:language>fr</dc:language>"}},
        {"text\n", 6, {"<dc:language>en</dc:language>"}},
        {"language: pt-BR\n\ntext\n", 0, {"<dc:language>pt-BR</dc:language>"}},
        // Not a language tag: the language code decides.
        {"language: Brazilian Portuguese\n\ntext\n", 2, {"<dc:language>de</dc:language>"}},
        {"date: 2024-03-05\n\ntext\n", 0,
         {"<meta property=\"dcterms:modified\">2024-03-05T00:00:00Z</meta>"}},
        {"date: 2024-03-05T10:20:30Z\n\ntext\n", 0,
         {"<meta property=\"dcterms:modified\">2024-03-05T10:20:30Z</meta>"}},
    };
    for (const Case &c : cases) {
        std::string data = take(tzr_string_convert_to_data(c.markdown, 0, TZR_FORMAT_EPUB, c.language,
                                                          nullptr));
        ZipEntries z = read_zip(data);
        const std::string &opf = z.bytes["OEBPS/main.opf"];
        for (const char *line : c.expected)
            EXPECT_NE(opf.find(line), std::string::npos) << c.markdown << "\n" << opf;
        EXPECT_NE(z.bytes["OEBPS/nav.xhtml"].find("<title>"), std::string::npos);
    }
    // Without a uuid every book gets its own identifier.
    std::string a = book_entries("text\n").bytes["OEBPS/main.opf"];
    std::string b = book_entries("text\n").bytes["OEBPS/main.opf"];
    EXPECT_NE(a, b);
    EXPECT_NE(a.find("urn:uuid:"), std::string::npos);
}

TEST(Epub, ModifiedDateIsAlwaysUtcDateTime) {
    struct Case {
        const char *value;
        int64_t now;
        const char *expected;
    };
    const Case cases[] = {
        {nullptr, 0, "1970-01-01T00:00:00Z"},
        {nullptr, 1709634030, "2024-03-05T10:20:30Z"},
        {"2024-03-05", 0, "2024-03-05T00:00:00Z"},
        {"2024-03-05T10:20:30Z", 0, "2024-03-05T10:20:30Z"},
        {"March 5, 2024", 1709634030, "2024-03-05T10:20:30Z"},
        {"2024-13-05", 0, "1970-01-01T00:00:00Z"},
        {"2024-03-05T25:00:00Z", 0, "1970-01-01T00:00:00Z"},
        {"2024-03-05 extra", 0, "1970-01-01T00:00:00Z"},
    };
    for (const Case &c : cases) {
        char *date = epub_modified_date(c.value, c.now);
        EXPECT_STREQ(date, c.expected) << (c.value ? c.value : "(none)");
        free(date);
    }
}

// The navigation list between its heading and the end of the nav element.
std::string contents_of(const std::string &markdown) {
    std::string nav = book_entries(markdown).bytes["OEBPS/nav.xhtml"];
    size_t from = nav.find("<h2>Table of Contents</h2>\n");
    size_t to = nav.find("</nav>");
    if (from == std::string::npos || to == std::string::npos)
        return nav;
    from += 27;
    return nav.substr(from, to - from);
}

TEST(Epub, NavigationLists) {
    struct Case {
        const char *markdown;
        const char *expected;
    };
    const Case cases[] = {
        {"# A\n\n## B\n\n## C\n\n# D\n",
         "\n<ol>\n<li><a href=\"main.xhtml#a\">A</a>\n<ol>\n<li><a href=\"main.xhtml#b\">B</a></li>\n"
         "<li><a href=\"main.xhtml#c\">C</a></li>\n</ol>\n</li>\n<li><a href=\"main.xhtml#d\">D</a>"
         "</li>\n</ol>\n"},
        {"# A\n\n### C\n",
         "\n<ol>\n<li><a href=\"main.xhtml#a\">A</a>\n<ol>\n<li><a href=\"main.xhtml#c\">C</a></li>\n"
         "</ol>\n</li>\n</ol>\n"},
        {"First\n=====\n\nSecond\n======\n",
         "\n<ol>\n<li><a href=\"main.xhtml#first\">First</a></li>\n"
         "<li><a href=\"main.xhtml#second\">Second</a></li>\n</ol>\n"},
        // No heading: one entry for the whole text, named by its title.
        {"title: Only Text\n\nJust a paragraph.\n",
         "\n<ol>\n<li><a href=\"main.xhtml\">Only Text</a></li>\n</ol>\n"},
        {"Just a paragraph.\n", "\n<ol>\n<li><a href=\"main.xhtml\">Untitled</a></li>\n</ol>\n"},
        // Entries hold plain text: no links, no note references, no markup.
        {"# A [link](https://example.com/) *and* R&D[^n]\n\n[^n]: Note.\n",
         "\n<ol>\n<li><a href=\"main.xhtml#alinkhttps:example.comandrdn\">A link and R&amp;D</a></li>\n</ol>\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(contents_of(c.markdown), c.expected) << c.markdown;
}

TEST(Epub, NavigationLinksOnlyToIdsTheTextCarries) {
    // Without heading labels the text has no ids, so entries link to the
    // text as a whole instead of to a fragment that is not there.
    std::string data = take(tzr_string_convert_to_data("# A\n\n## B\n", TZR_EXT_NO_LABELS,
                                                      TZR_FORMAT_EPUB, 0, nullptr));
    std::string nav = read_zip(data).bytes["OEBPS/nav.xhtml"];
    EXPECT_EQ(nav.find("#"), std::string::npos) << nav;
    EXPECT_NE(nav.find("<li><a href=\"main.xhtml\">A</a>"), std::string::npos) << nav;
}

// The contents list over a given text: each heading links to its id only
// when the text carries exactly that id, whole (not as the start of a longer
// one), wherever in the text it stands.
TEST(Epub, NavigationMatchesWholeIds) {
    tzr_engine *e = tzr_engine_create_with_string("# Intro\n\n# Middle\n\n# Last\n", kExtensions);
    tzr_engine_parse_string(e);
    tzr_export_context *c = tzr_export_context_new(e, TZR_FORMAT_EPUB);
    ASSERT_NE(c, nullptr);
    struct Case {
        const char *body;
        const char *expected;
    };
    const Case cases[] = {
        {"<h1 id=\"intro-1\">Intro</h1><h1 id=\"last\">Last</h1><p title=\"x\" id=\"middle\">",
         "<li><a href=\"main.xhtml\">Intro</a></li>\n<li><a href=\"main.xhtml#middle\">Middle</a></li>\n"
         "<li><a href=\"main.xhtml#last\">Last</a></li>\n"},
        // An id attribute that is never closed names nothing.
        {"<h1 id=\"intro\">Intro</h1><h1 id=\"last",
         "<li><a href=\"main.xhtml#intro\">Intro</a></li>\n<li><a href=\"main.xhtml\">Middle</a></li>\n"
         "<li><a href=\"main.xhtml\">Last</a></li>\n"},
        // Raw HTML may hold the attribute's text inside another value.
        {"<div data-x=' id=\"middle\"'></div>",
         "<li><a href=\"main.xhtml\">Intro</a></li>\n<li><a href=\"main.xhtml#middle\">Middle</a></li>\n"
         "<li><a href=\"main.xhtml\">Last</a></li>\n"},
    };
    for (const Case &k : cases) {
        DString *out = d_string_new("");
        size_t position = 0;
        epub_toc_list(out, e->source->str, c, k.body, &position, 0);
        EXPECT_EQ(std::string(out->str), std::string("\n<ol>\n") + k.expected + "</ol>\n") << k.body;
        d_string_free(out, true);
    }
    tzr_export_context_free(c);
    tzr_engine_free(e, true);
}

bool fail_on_nav(tzr_zip_archive *archive, const char *name, const void *bytes, size_t length,
                 int level) {
    if (std::string(name) == "OEBPS/nav.xhtml")
        return false;
    return tzr_zip_add_mem(archive, name, bytes, length, level);
}

TEST(Epub, UnfinishedBookGivesNoData) {
    tzr_engine *e = tzr_engine_create_with_string("# A\n", 0);
    tzr_engine_parse_string(e);
    DString *result = reinterpret_cast<DString *>(1);
    std::string errors = stderr_of(
        [&] { result = epub_build_archive_with("<html/>", e, nullptr, fail_on_nav); });
    EXPECT_EQ(result, nullptr);
    EXPECT_NE(errors.find("Error adding asset to zip.\n"), std::string::npos);
    EXPECT_NE(errors.find("Unable to build EPUB"), std::string::npos);

    DString *whole = epub_build_archive("<html/>", e, nullptr);
    ASSERT_NE(whole, nullptr);
    EXPECT_GT(whole->length, 0u);
    d_string_free(whole, true);
    tzr_engine_free(e, true);
}

TEST(Epub, WriteFileToMissingFolderReportsAndWritesNothing) {
    std::filesystem::path folder = odf_test::temp_folder("epub");
    std::filesystem::path path = folder / "missing" / "book.epub";
    tzr_engine *e = tzr_engine_create_with_string("text\n", 0);
    std::string errors = stderr_of([&] { epub_write_file(path.c_str(), "<html/>", e, nullptr); });
    EXPECT_NE(errors.find(path.string()), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path));

    std::filesystem::path good = folder / "book.epub";
    tzr_engine_convert_to_file(e, TZR_FORMAT_EPUB, nullptr, good.c_str());
    EXPECT_EQ(read_zip(odf_test::take(tzr_string_convert_to_data("text\n", 0, 1, 0, nullptr)))
                  .names.front(),
              "mimetype");
    EXPECT_GT(std::filesystem::file_size(good), 0u);
    tzr_engine_free(e, true);
    std::filesystem::remove_all(folder);
}

// The document's raw HTML is tag soup to an XML reader; the book's XHTML is
// repaired into well-formed XML, while HTML output keeps the raw HTML as
// written.
TEST(Epub, RawHtmlBecomesWellFormedXhtml) {
    const std::string source =
        "Break one<br>two, a&nbsp;space.\n\n<p>unclosed\n\n<!-- a -- b -->\n\n# End\n";
    ZipEntries entries = book_entries(source);
    const std::string &xhtml = entries.bytes["OEBPS/main.xhtml"];
    xmlDocPtr doc = xmlReadMemory(xhtml.data(), (int)xhtml.size(), "main.xhtml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    EXPECT_NE(doc, nullptr) << xhtml;
    xmlFreeDoc(doc);
    EXPECT_NE(xhtml.find("one<br/>two"), std::string::npos) << xhtml;
    EXPECT_NE(xhtml.find("a\xc2\xa0space"), std::string::npos) << xhtml;
    EXPECT_NE(xhtml.find("<h1 id=\"end\">End</h1>"), std::string::npos) << xhtml;
    char *html = tzr_string_convert(source.c_str(), kExtensions, TZR_FORMAT_HTML, 0);
    EXPECT_NE(std::string(html).find("one<br>two"), std::string::npos) << html;
    free(html);
}

// A book shows only pictures it holds. One that could not be fetched or
// read, and a picture of the raw HTML on another site, become links to
// where they were to come from, with their alternative text; a style sheet
// that could not be had is left out. The messages stay.
TEST(Epub, PicturesTheBookCannotHoldBecomeLinks) {
    LocalHttpServer server;
    server.route("/gone.png", {404, "<html>not here</html>"});
    const std::string gone = server.url("/gone.png");
    const std::string markdown = "css: images/absent.css\n\n![Gone *one*](" + gone +
                                 " \"T\")\n\nText ![](images/absent.png) and "
                                 "![kept](images/square.png), [![badge](" + gone + ")](https://ci.example/) "
                                 "and [![](" + gone + ")](https://ci.example/2).\n\n"
                                 "<img src=\"https://pictures.invalid/r.png?a=1&amp;b=2\" alt=\"Raw\">\n";
    ZipEntries z;
    std::string errors = stderr_of([&] { z = book_entries(markdown, kSamples.c_str()); });
    const std::string &xhtml = z.bytes["OEBPS/main.xhtml"];
    EXPECT_NE(xhtml.find("<figure>\n<a href=\"" + gone + "\" title=\"T\">Gone one</a>\n"
                         "<figcaption>Gone <em>one</em></figcaption>"),
              std::string::npos)
        << xhtml;
    EXPECT_NE(xhtml.find("Text <a href=\"images/absent.png\">images/absent.png</a> and <img src=\"assets/"),
              std::string::npos)
        << xhtml;
    // A link cannot hold another: a picture inside one leaves its text.
    EXPECT_NE(xhtml.find(", <a href=\"https://ci.example/\">badge</a> and <a href=\"https://ci.example/2\">" +
                         gone + "</a>"),
              std::string::npos)
        << xhtml;
    EXPECT_NE(xhtml.find("<a href=\"https://pictures.invalid/r.png?a=1&amp;b=2\">Raw</a>"),
              std::string::npos)
        << xhtml;
    EXPECT_EQ(xhtml.find("<link"), std::string::npos) << xhtml;
    EXPECT_EQ(odf_test::count_of(xhtml, "<img "), 1u) << xhtml;
    EXPECT_EQ(z.names.size(), 8u);  // the one picture stored
    for (const std::string &address : {gone, std::string("images/absent.png"), std::string("images/absent.css")})
        EXPECT_NE(errors.find("Unable to store '" + address + "' in EPUB\n"), std::string::npos) << errors;
}

// Every sample book, built through the public operation, passes epubcheck.
TEST(Epub, SampleBooksPassEpubcheck) {
    // Debian installs epubcheck as a jar; one Java VM checks all the books.
    const char *jar = "/usr/share/java/epubcheck.jar";
    ASSERT_TRUE(std::filesystem::exists(jar)) << "epubcheck is not installed";
    const std::string checker = std::string(ORVANE_TEST_DATA) + "/../support/epubcheck_books.java";
    std::filesystem::path folder = odf_test::temp_folder("epubcheck");
    std::string books;
    size_t checked = 0;
    for (const auto &item : std::filesystem::directory_iterator(kSamples)) {
        if (item.path().extension() != ".md")
            continue;
        DString *source = file_read_to_d_string(item.path().c_str());
        ASSERT_NE(source, nullptr);
        std::string data = book(source->str, kSamples.c_str());
        d_string_free(source, true);
        std::filesystem::path out = folder / (item.path().stem().string() + ".epub");
        odf_test::write_file(out, data);
        books += " '" + out.string() + "'";
        checked++;
    }
    EXPECT_GE(checked, 5u);
    int status = 0;
    std::string report =
        run(std::string("java -Xss4m -cp ") + jar + " '" + checker + "'" + books + " 2>&1", &status);
    EXPECT_EQ(status, 0) << report;
    EXPECT_EQ(odf_test::count_of(report, "== " + folder.string()), checked) << report;  // every book read
    EXPECT_EQ(report.find("ERROR("), std::string::npos) << report;
    EXPECT_EQ(report.find("FATAL("), std::string::npos) << report;
    std::filesystem::remove_all(folder);
}

}  // namespace

// TextBundle archives: layout, the rewritten Markdown source, and bundles
// read back as a consumer would (entries, info.json, every referenced asset).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "library/assets.h"
#include "library/engine.h"
#include "library/file_utils.h"
#include "odf_test_support.h"
#include "library/writers/textbundle.h"
#include "library/tzr.h"

namespace {

using odf_test::read_zip;
using odf_test::stderr_of;
using odf_test::take;
using odf_test::ZipEntries;

const std::string kSamples = std::string(ORVANE_TEST_DATA) + "/epub";

struct Bundle {
    ZipEntries zip;
    std::string markdown;  // text.markdown with each asset path shown as @{url}
};

// Exports the source as a compressed TextBundle through the public
// operation and reads it back.
Bundle bundle_of(const std::string &source, uint16_t format = TZR_FORMAT_TEXTBUNDLE_COMPRESSED) {
    tzr_engine *e = tzr_engine_create_with_string(source.c_str(), TZR_EXT_NOTES);
    Bundle b;
    b.zip = read_zip(take(tzr_engine_convert_to_data(e, format, kSamples.c_str())));
    b.markdown = b.zip.bytes["text.markdown"];
    for (tzr_asset *a = e->asset_table; a; a = a->next) {
        std::string path = std::string("assets/") + a->name;
        for (size_t at = b.markdown.find(path); at != std::string::npos; at = b.markdown.find(path))
            b.markdown.replace(at, path.size(), std::string("@{") + a->url + "}");
    }
    tzr_engine_free(e, true);
    return b;
}

TEST(TextBundle, ArchiveLayout) {
    Bundle b = bundle_of("Just *text*.\n");
    EXPECT_EQ(b.zip.names,
              (std::vector<std::string>{"info.json", "assets/", "text.markdown", "text.html"}));
    EXPECT_EQ(b.zip.bytes["text.markdown"], "Just *text*.\n");
    EXPECT_NE(b.zip.bytes["text.html"].find("<em>text</em>"), std::string::npos);
    char *info = textbundle_info_json();
    EXPECT_EQ(b.zip.bytes["info.json"], info);
    free(info);
    // Format 7 makes the same archive.
    EXPECT_EQ(bundle_of("Just *text*.\n", TZR_FORMAT_TEXTBUNDLE).zip.names, b.zip.names);
}

TEST(TextBundle, SourceRewriteTouchesOnlyAssetReferences) {
    struct Case {
        const char *source;
        const char *expected;
    };
    const Case cases[] = {
        {"![a](images/square.png)\n", "![a](@{images/square.png})\n"},
        {"![a]( images/square.png )\n", "![a]( @{images/square.png} )\n"},
        // A title or angle brackets around the address: still the address.
        {"![a](images/square.png \"images/square.png\")\n",
         "![a](@{images/square.png} \"images/square.png\")\n"},
        {"![a](<images/dot.gif>)\n", "![a](<@{images/dot.gif}>)\n"},
        // Three in one paragraph: each lands where it belongs.
        {"![a](images/square.png) x ![b](images/dot.gif) y ![c](images/circle.svg)\n",
         "![a](@{images/square.png}) x ![b](@{images/dot.gif}) y ![c](@{images/circle.svg})\n"},
        // A plain link to the same file is no picture reference.
        {"![a](images/dot.gif) and [link](images/dot.gif)\n",
         "![a](@{images/dot.gif}) and [link](images/dot.gif)\n"},
        // Reference pictures: the definition's address changes; the label
        // (even one that spells the address) and the title stay.
        {"![a][sq]\n\n[sq]: images/square.png \"images/square.png\"\n",
         "![a][sq]\n\n[sq]: @{images/square.png} \"images/square.png\"\n"},
        {"![a][images/square.png]\n\n[images/square.png]: images/square.png\n",
         "![a][images/square.png]\n\n[images/square.png]: @{images/square.png}\n"},
        // The style sheet's own line only.
        {"css: images/book.css\nsubject: images/book.css\n\ntext\n",
         "css: @{images/book.css}\nsubject: images/book.css\n\ntext\n"},
        {"css: images/book.css\n\n![a](images/dot.gif)\n",
         "css: @{images/book.css}\n\n![a](@{images/dot.gif})\n"},
        // Not stored (missing file): left as written.
    };
    for (const Case &c : cases) {
        Bundle b;
        stderr_of([&] { b = bundle_of(c.source); });
        EXPECT_EQ(b.markdown, c.expected) << c.source;
    }
}

TEST(TextBundle, AssetThatCannotBeHadKeepsItsAddress) {
    Bundle b;
    std::string errors = stderr_of([&] { b = bundle_of("![a](images/none.png) ![b](images/dot.gif)\n"); });
    EXPECT_NE(errors.find("Unable to store 'images/none.png'"), std::string::npos);
    EXPECT_EQ(b.markdown, "![a](images/none.png) ![b](@{images/dot.gif})\n");
    EXPECT_NE(b.zip.bytes["text.html"].find("src=\"images/none.png\""), std::string::npos)
        << b.zip.bytes["text.html"];
    EXPECT_EQ(b.zip.names.size(), 5u);
}

// What a reader of the bundle checks: the entries, info.json as JSON, and
// every asset that the source or the HTML names is in the archive.
TEST(TextBundle, SampleBundlesReadBack) {
    ASSERT_TRUE(odf_test::tool_available("python3"));
    std::filesystem::path folder = odf_test::temp_folder("textbundle");
    const std::regex reference("assets/[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[0-9a-f]{4}-[0-9a-f]{12}");
    size_t pictures = 0;
    for (const auto &item : std::filesystem::directory_iterator(kSamples)) {
        if (item.path().extension() != ".md")
            continue;
        DString *source = file_read_to_d_string(item.path().c_str());
        ASSERT_NE(source, nullptr);
        Bundle b = bundle_of(source->str);
        d_string_free(source, true);
        const std::string name = item.path().filename().string();

        ASSERT_GE(b.zip.names.size(), 4u) << name;
        EXPECT_EQ(std::vector<std::string>(b.zip.names.begin(), b.zip.names.begin() + 4),
                  (std::vector<std::string>{"info.json", "assets/", "text.markdown", "text.html"}));

        std::filesystem::path info = folder / "info.json";
        odf_test::write_file(info, b.zip.bytes["info.json"]);
        std::string check = "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
                            "assert d[\"version\"] == 2 and d[\"transient\"] is False and "
                            "isinstance(d[\"type\"], str) and isinstance(d[\"creatorIdentifier\"], str)' '" +
                            info.string() + "'";
        EXPECT_EQ(system(check.c_str()), 0) << name << ": " << b.zip.bytes["info.json"];

        for (const char *entry : {"text.markdown", "text.html"}) {
            const std::string &text = b.zip.bytes[entry];
            for (auto it = std::sregex_iterator(text.begin(), text.end(), reference);
                 it != std::sregex_iterator(); ++it) {
                EXPECT_EQ(b.zip.bytes.count(it->str()), 1u) << name << " " << entry << " " << it->str();
                pictures++;
            }
        }
    }
    EXPECT_GT(pictures, 0u);
    std::filesystem::remove_all(folder);
}

bool fail_on_markdown(tzr_zip_archive *archive, const char *name, const void *bytes, size_t length,
                      int level) {
    if (std::string(name) == "text.markdown")
        return false;
    return tzr_zip_add_mem(archive, name, bytes, length, level);
}

TEST(TextBundle, UnfinishedBundleGivesNoData) {
    tzr_engine *e = tzr_engine_create_with_string("text\n", 0);
    tzr_engine_parse_string(e);
    DString *result = reinterpret_cast<DString *>(1);
    std::string errors =
        stderr_of([&] { result = tzr_textbundle_create_with("<html/>", e, nullptr, fail_on_markdown); });
    EXPECT_EQ(result, nullptr);
    EXPECT_NE(errors.find("Error adding content to zip.\n"), std::string::npos);
    EXPECT_NE(errors.find("Unable to build TextBundle"), std::string::npos);
    tzr_engine_free(e, true);
}

TEST(TextBundle, WriteFile) {
    std::filesystem::path folder = odf_test::temp_folder("textbundle-file");
    tzr_engine *e = tzr_engine_create_with_string("text\n", 0);
    tzr_engine_parse_string(e);
    std::filesystem::path missing = folder / "missing" / "doc.textpack";
    std::string errors =
        stderr_of([&] { tzr_textbundle_write_file(missing.c_str(), "<html/>", e, nullptr); });
    EXPECT_NE(errors.find(missing.string()), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(missing));

    std::filesystem::path path = folder / "doc.textpack";
    tzr_textbundle_write_file(path.c_str(), "<html/>", e, nullptr);
    DString *written = file_read_to_d_string(path.c_str());
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(read_zip(std::string(written->str, written->length)).bytes["text.html"], "<html/>");
    d_string_free(written, true);
    tzr_engine_free(e, true);
    std::filesystem::remove_all(folder);
}

}  // namespace

// The asset step: pictures downloaded from a local HTTP server or read from
// the document's folder, and what a failure leaves in the archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "library/assets.h"
#include "local_http_server.h"
#include "odf_test_support.h"
#include "tiny_pictures.h"

using namespace odf_test;

namespace {

// Limits small enough that the slow and oversized replies fail quickly.
const tzr_fetch_limits kTestLimits{2000, 700, 1 << 20, 3};

struct AssetEngine {
    tzr_engine *e = tzr_engine_create_with_string("", 0);
    ~AssetEngine() { tzr_engine_free(e, true); }
    tzr_asset *add(const std::string &url) { return tzr_asset_table_add(&e->asset_table, url.c_str()); }
};

TEST(CurlWriteToBuffer, AppendsKeepsANulAndStopsAtTheLimit) {
    tzr_download_buffer buffer{static_cast<char *>(malloc(1)), 0, 8};
    char first[] = "abcd", second[] = "efgh", third[] = "i";
    EXPECT_EQ(curl_write_to_buffer(first, 1, 4, &buffer), 4u);
    EXPECT_EQ(curl_write_to_buffer(second, 2, 2, &buffer), 4u);
    EXPECT_STREQ(buffer.bytes, "abcdefgh");
    EXPECT_EQ(buffer.size, 8u);
    // One byte past the limit: refused, which makes libcurl abandon the transfer.
    EXPECT_EQ(curl_write_to_buffer(third, 1, 1, &buffer), 0u);
    EXPECT_EQ(buffer.size, 8u);
    EXPECT_EQ(curl_write_to_buffer(third, (size_t)-1, 2, &buffer), 0u);
    free(buffer.bytes);
}

TEST(AssetFetch, OnlyHttpAndHttpsAreRemote) {
    EXPECT_TRUE(tzr_asset_url_is_remote("http://127.0.0.1/a.png"));
    EXPECT_TRUE(tzr_asset_url_is_remote("HTTPS://example.invalid/a.png"));
    for (const char *local : {"file:///etc/hostname", "ftp://127.0.0.1/a.png", "images/a.png",
                              "/tmp/a.png", "gopher://x", "http:/one-slash", ""})
        EXPECT_FALSE(tzr_asset_url_is_remote(local)) << local;
}

TEST(AssetFetch, EachDownloadKeepsItsOwnBytesAndNamesTheAgent) {
    LocalHttpServer server;
    server.route("/a.png", {200, std::string("first picture\0bytes", 19)});
    server.route("/b.png", {200, "second, longer picture bytes"});
    server.route("/moved", {302, "", "/a.png"});
    AssetEngine engine;
    tzr_asset *a = engine.add(server.url("/a.png"));
    tzr_asset *b = engine.add(server.url("/b.png"));
    tzr_asset *moved = engine.add(server.url("/moved"));

    auto fetched = tzr_fetch_assets(engine.e, nullptr, "Pictures/", kTestLimits);
    ASSERT_EQ(fetched.size(), 3u);
    EXPECT_EQ(fetched[0].entry, std::string("Pictures/") + a->name);
    EXPECT_EQ(fetched[0].bytes, std::string("first picture\0bytes", 19));
    EXPECT_EQ(fetched[1].entry, std::string("Pictures/") + b->name);
    EXPECT_EQ(fetched[1].bytes, "second, longer picture bytes");
    EXPECT_EQ(fetched[2].name, moved->name);
    EXPECT_EQ(fetched[2].bytes, fetched[0].bytes);  // a redirect within the limit is followed
    for (const std::string &agent : server.user_agents())
        EXPECT_EQ(agent, "libcurl-agent/1.0");
}

TEST(AssetFetch, FailedDownloadsAreReportedAndLeftOut) {
    LocalHttpServer server;
    server.route("/missing", {404, "<html>error page</html>"});
    server.route("/broken", {500, "<html>server error</html>"});
    server.route("/loop", {302, "", "/loop"});
    server.route("/slow", {200, "late", "", true, 3000});
    server.route("/big", {200, std::string((1 << 20) + 1, 'x')});
    server.route("/big-unsized", {200, std::string((1 << 20) + 1, 'y'), "", false});
    server.route("/to-ftp", {302, "", "ftp://127.0.0.1/a.png"});
    for (const char *path : {"/missing", "/broken", "/loop", "/slow", "/big", "/big-unsized", "/to-ftp"}) {
        AssetEngine engine;
        std::string url = server.url(path);
        engine.add(url);
        std::vector<tzr_fetched_asset> fetched;
        std::string messages =
            stderr_of([&] { fetched = tzr_fetch_assets(engine.e, "/tmp", "Pictures/", kTestLimits); });
        EXPECT_TRUE(fetched.empty()) << path;
        EXPECT_EQ(messages, "Unable to store '" + url + "' in EPUB\n") << path;
    }
}

TEST(AssetFetch, DownloadsRunSeveralAtATimeEachAddressOnce) {
    LocalHttpServer server;
    AssetEngine engine;
    std::vector<std::string> names;
    for (int i = 0; i < 12; i++) {
        std::string path = "/p" + std::to_string(i) + ".png";
        // Slow enough that the downloads overlap.
        server.route(path, {200, "picture " + std::to_string(i), "", true, 300});
        names.push_back(engine.add(server.url(path))->name);
    }
    tzr_fetch_limits limits = kTestLimits;
    limits.total_timeout_ms = 5000;
    limits.max_in_flight = 4;
    auto fetched = tzr_fetch_assets(engine.e, nullptr, "assets/", limits);
    ASSERT_EQ(fetched.size(), 12u);
    for (size_t i = 0; i < fetched.size(); i++) {
        EXPECT_EQ(fetched[i].name, names[i]);  // table order, whatever the order of arrival
        EXPECT_EQ(fetched[i].bytes, "picture " + std::to_string(i));
    }
    EXPECT_EQ(server.paths().size(), 12u);
    EXPECT_GE(server.most_at_once(), 2);
    EXPECT_LE(server.most_at_once(), 4);
}

TEST(AssetFetch, ADocumentFetchesEachAddressOnce) {
    LocalHttpServer server;
    server.route("/a.png", {200, "a"});
    server.route("/b.png", {200, "b"});
    std::string a = server.url("/a.png"), b = server.url("/b.png");
    std::string markdown = "![1](" + a + ") ![2](" + b + ")\n\n![3](" + a + ")\n\n[four]: " + a + "\n\n![4][four]\n";
    for (uint16_t format : {TZR_FORMAT_EPUB, TZR_FORMAT_ODT, TZR_FORMAT_TEXTBUNDLE_COMPRESSED}) {
        size_t before = server.paths().size();
        std::string package = take(tzr_string_convert_to_data(markdown.c_str(), 0, format, 0, nullptr));
        EXPECT_FALSE(package.empty());
        std::vector<std::string> paths = server.paths();
        std::sort(paths.begin() + (long)before, paths.end());
        EXPECT_EQ(std::vector<std::string>(paths.begin() + (long)before, paths.end()),
                  (std::vector<std::string>{"/a.png", "/b.png"}))
            << format;
    }
}

// A host that does not answer costs one connect time-out, not one for each
// of its pictures: once it is known to be unreachable, its other addresses
// are not tried. Pictures elsewhere are still fetched.
TEST(AssetFetch, AHostThatCannotBeReachedFailsAllItsPicturesAtOnce) {
    UnreachablePort down;
    LocalHttpServer server;
    server.route("/up.png", {200, "up"});
    AssetEngine engine;
    for (int i = 0; i < 32; i++)
        engine.add(down.url("/" + std::to_string(i) + ".png"));
    engine.add(server.url("/up.png"));
    tzr_fetch_limits limits = kTestLimits;
    limits.connect_timeout_ms = 500;
    limits.total_timeout_ms = 5000;
    limits.max_in_flight = 4;
    std::vector<tzr_fetched_asset> fetched;
    auto started = std::chrono::steady_clock::now();
    std::string messages = stderr_of([&] { fetched = tzr_fetch_assets(engine.e, nullptr, "assets/", limits); });
    auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_EQ(fetched[0].bytes, "up");
    EXPECT_EQ(count_of(messages, "Unable to store"), 32u);
    // Trying each in turn, four at a time, would take eight time-outs.
    EXPECT_LT(elapsed, std::chrono::milliseconds(5 * limits.connect_timeout_ms));
}

// However many slow pictures a document has, the fetch ends at its deadline:
// what came by then is kept, the rest is left out (and said so, once).
TEST(AssetFetch, TheWholeFetchEndsAtItsDeadline) {
    EXPECT_EQ(tzr_fetch_default_limits().deadline_ms, 120000);
    LocalHttpServer server;
    server.route("/quick.png", {200, "quick"});
    AssetEngine engine;
    engine.add(server.url("/quick.png"));
    std::vector<std::string> slow;
    for (int i = 0; i < 10; i++) {
        std::string path = "/slow" + std::to_string(i) + ".png";
        server.route(path, {200, "slow", "", true, 4000});
        slow.push_back(server.url(path));
        engine.add(slow.back());
    }
    tzr_fetch_limits limits = kTestLimits;
    limits.total_timeout_ms = 10000;  // each one alone would be waited for
    limits.max_in_flight = 4;
    limits.deadline_ms = 1500;
    std::vector<tzr_fetched_asset> fetched;
    auto started = std::chrono::steady_clock::now();
    std::string messages = stderr_of([&] { fetched = tzr_fetch_assets(engine.e, nullptr, "assets/", limits); });
    auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_EQ(fetched[0].bytes, "quick");
    EXPECT_LT(elapsed, std::chrono::milliseconds(3500));
    EXPECT_EQ(count_of(messages, "10 pictures were not fetched within 1.5 seconds.\n"), 1u) << messages;
    EXPECT_EQ(count_of(messages, "\n"), 11u) << messages;
    for (const std::string &url : slow)
        EXPECT_EQ(count_of(messages, "Unable to store '" + url + "' in EPUB\n"), 1u) << url;

    // A fetch that finishes in time says nothing of the deadline.
    AssetEngine quick;
    quick.add(server.url("/quick.png"));
    messages = stderr_of([&] { fetched = tzr_fetch_assets(quick.e, nullptr, "assets/", limits); });
    EXPECT_EQ(fetched.size(), 1u);
    EXPECT_EQ(messages, "");
}

TEST(AssetFetch, LocalFilesComeFromTheBaseFolder) {
    auto folder = temp_folder("odf-assets");
    std::filesystem::create_directories(folder / "images");
    write_file(folder / "images" / "plain.png", "PNG bytes");
    write_file(folder / "bom.txt", "\xEF\xBB\xBFtext after the mark");
    write_file(folder / "empty.png", "");
    AssetEngine engine;
    engine.add("images/plain.png");
    engine.add((folder / "bom.txt").string());  // absolute: read where it points
    engine.add("empty.png");
    engine.add("absent.png");
    engine.add("file://" + (folder / "images" / "plain.png").string());  // not fetched by scheme

    std::vector<tzr_fetched_asset> fetched;
    std::string messages = stderr_of(
        [&] { fetched = tzr_fetch_assets(engine.e, folder.c_str(), "assets/", kTestLimits); });
    ASSERT_EQ(fetched.size(), 2u);
    EXPECT_EQ(fetched[0].bytes, "PNG bytes");
    EXPECT_FALSE(fetched[0].downloaded);
    EXPECT_EQ(fetched[1].bytes, "text after the mark");
    EXPECT_EQ(messages, "Unable to store 'empty.png' in EPUB\n"
                        "Unable to store 'absent.png' in EPUB\n"
                        "Unable to store 'file://" + (folder / "images" / "plain.png").string() +
                            "' in EPUB\n");

    // Without a base folder nothing local is read.
    messages = stderr_of([&] { fetched = tzr_fetch_assets(engine.e, nullptr, "assets/", kTestLimits); });
    EXPECT_TRUE(fetched.empty());
    EXPECT_EQ(count_of(messages, "Unable to store"), 5u);
    std::filesystem::remove_all(folder);
}

// A file is held to the bound of a download, to the byte, and one past it
// is left out with that reason, as a picture or not, in a package or not.
TEST(AssetFetch, ALocalFileIsBoundedAsADownloadIs) {
    auto folder = temp_folder("odf-bounds");
    const size_t bound = kTestLimits.max_bytes;
    std::string at_bound = tiny_pictures::kPng;
    at_bound.resize(bound, '\0');
    write_file(folder / "at-bound.png", at_bound);
    write_file(folder / "past-bound.png", at_bound + '\0');
    AssetEngine engine;
    engine.add("at-bound.png");
    engine.add("past-bound.png");
    for (bool package : {false, true}) {
        std::vector<tzr_fetched_asset> fetched;
        std::string messages = stderr_of([&] {
            fetched = package ? tzr_fetch_package_assets(engine.e, folder.c_str(), "Pictures/", TZR_FORMAT_ODT,
                                                         kTestLimits)
                              : tzr_fetch_assets(engine.e, folder.c_str(), "Pictures/", kTestLimits);
        });
        ASSERT_EQ(fetched.size(), 1u) << package;
        EXPECT_EQ(fetched[0].bytes, at_bound) << package;
        EXPECT_EQ(messages, "Left out 'past-bound.png': larger than 1 MiB\n") << package;
    }
    std::filesystem::remove_all(folder);
}

TEST(OdtPictures, ManifestAndArchiveHoldOnlyThePicturesStored) {
    LocalHttpServer server;
    server.route("/good.png", {200, tiny_pictures::kPng});
    server.route("/gone.png", {404, "<html>not here</html>"});
    auto folder = temp_folder("odf-pictures");
    write_file(folder / "local.png", tiny_pictures::kGif);
    std::string markdown = "![one](" + server.url("/good.png") + ")\n\n![two](" + server.url("/gone.png") +
                           ")\n\n![three](local.png) and ![again](local.png)\n\n![four](missing.png) "
                           "[![badge](missing.png)](https://ci.example/)\n";

    tzr_engine *e = tzr_engine_create_with_string(markdown.c_str(), 0);
    tzr_engine_parse_string(e);
    DString *out = d_string_new("");
    tzr_export_document(out, e, 6);
    std::string archive;
    std::string messages = stderr_of(
        [&] { archive = take(tzr_odt_create_with_limits(out->str, e, folder.c_str(), kTestLimits)); });
    ASSERT_EQ(tzr_asset_table_count(e->asset_table), 4u);  // the same URL twice is one asset
    std::string good = std::string("Pictures/") + e->asset_table->name;
    std::string local = std::string("Pictures/") + e->asset_table->next->next->name;
    d_string_free(out, true);
    tzr_engine_free(e, true);

    ZipEntries zip = read_zip(archive);
    ASSERT_FALSE(zip.names.empty());
    EXPECT_EQ(zip.bytes[good], tiny_pictures::kPng);
    EXPECT_EQ(zip.bytes[local], tiny_pictures::kGif);
    const std::string &manifest = zip.bytes["META-INF/manifest.xml"];
    EXPECT_EQ(count_of(manifest, "full-path=\"Pictures/"), 3u);  // the folder and two pictures
    // Each is declared as what its bytes are, whatever its name says.
    EXPECT_NE(manifest.find("full-path=\"" + good + "\" manifest:media-type=\"image/png\""), std::string::npos);
    EXPECT_NE(manifest.find("full-path=\"" + local + "\" manifest:media-type=\"image/gif\""), std::string::npos);
    // Every entry but the manifest itself and the folders is declared.
    for (const std::string &name : zip.names) {
        if (name == "META-INF/manifest.xml" || name == "META-INF/" || name == "mimetype")
            continue;
        EXPECT_NE(manifest.find("full-path=\"" + name + "\""), std::string::npos) << name;
    }
    // A picture left out becomes a link to its address with its
    // alternative text, in place of its frame.
    const std::string &content = zip.bytes["content.xml"];
    EXPECT_EQ(count_of(content, "xlink:href=\"Pictures/"), 3u);
    EXPECT_EQ(count_of(content, "<draw:frame text:anchor-type=\"as-char\"\ndraw:z-index=\"0\""), 3u);
    EXPECT_NE(content.find("<text:p text:style-name=\"Standard\"><text:a xlink:type=\"simple\" xlink:href=\"" +
                           server.url("/gone.png") + "\">two</text:a>\n</text:p>"),
              std::string::npos)
        << content;
    // A link cannot hold another: a picture inside one leaves its text.
    EXPECT_NE(content.find("<text:a xlink:type=\"simple\" xlink:href=\"missing.png\">four</text:a>\n "
                           "<text:a xlink:type=\"simple\" xlink:href=\"https://ci.example/\">badge\n</text:a>"),
              std::string::npos)
        << content;
    EXPECT_EQ(content.find("xlink:href=\"\""), std::string::npos);
    EXPECT_EQ(count_of(messages, "Unable to store"), 2u);
    std::filesystem::remove_all(folder);
}

// Pictures still on their way at the deadline become links, as pictures
// that cannot be had do.
TEST(OdtPictures, PicturesLateForTheDeadlineBecomeLinks) {
    LocalHttpServer server;
    server.route("/quick.png", {200, tiny_pictures::kPng});
    server.route("/late.png", {200, tiny_pictures::kGif, "", true, 4000});
    std::string markdown = "![quick](" + server.url("/quick.png") + ")\n\n![late](" + server.url("/late.png") + ")\n";
    tzr_engine *e = tzr_engine_create_with_string(markdown.c_str(), 0);
    tzr_engine_parse_string(e);
    DString *out = d_string_new("");
    tzr_export_document(out, e, 6);
    tzr_fetch_limits limits = kTestLimits;
    limits.total_timeout_ms = 10000;
    limits.deadline_ms = 1200;
    std::string archive;
    auto started = std::chrono::steady_clock::now();
    std::string messages =
        stderr_of([&] { archive = take(tzr_odt_create_with_limits(out->str, e, nullptr, limits)); });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3000));
    std::string quick = std::string("Pictures/") + e->asset_table->name;
    d_string_free(out, true);
    tzr_engine_free(e, true);

    EXPECT_EQ(messages, "1 picture was not fetched within 1.2 seconds.\nUnable to store '" +
                            server.url("/late.png") + "' in EPUB\n");
    ZipEntries zip = read_zip(archive);
    EXPECT_EQ(zip.bytes[quick], tiny_pictures::kPng);
    const std::string &content = zip.bytes["content.xml"];
    EXPECT_EQ(count_of(content, "xlink:href=\"Pictures/"), 1u);
    EXPECT_NE(content.find("<text:a xlink:type=\"simple\" xlink:href=\"" + server.url("/late.png") + "\">late</text:a>"),
              std::string::npos)
        << content;
}

TEST(OdtPictures, WithoutPicturesThereIsNoPicturesFolder) {
    std::string archive = take(tzr_string_convert_to_data("Just *text*.\n", 0, 6, 0, nullptr));
    ZipEntries zip = read_zip(archive);
    ASSERT_GE(zip.names.size(), 7u);
    EXPECT_EQ(zip.bytes.count("Pictures/"), 0u);
    EXPECT_EQ(zip.bytes["META-INF/manifest.xml"].find("Pictures/"), std::string::npos);
}

}  // namespace

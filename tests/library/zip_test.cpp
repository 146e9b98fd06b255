#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "library/packaging/zip_archive.h"

namespace fs = std::filesystem;

namespace {

class ZipTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvane-zip-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string read(const fs::path &path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    // An archive with the given entries (name, bytes, level), as bytes.
    static std::string build(std::initializer_list<std::tuple<const char *, std::string, int>> entries) {
        tzr_zip_archive *archive = tzr_zip_new_archive();
        for (auto &[name, bytes, level] : entries)
            EXPECT_TRUE(tzr_zip_add_mem(archive, name, bytes.data(), bytes.size(), level)) << name;
        DString *data = tzr_zip_finalize(archive, "Error finalizing zip.\n");
        std::string out(data->str, data->length);
        d_string_free(data, true);
        return out;
    }

    std::string dir;
};

TEST_F(ZipTest, EntriesKeepTheirOrderBytesAndCompression) {
    std::string picture(5000, '\x7f');
    std::string zip = build({{"mimetype", "application/epub+zip", 0},
                             {"OEBPS/", "", 0},
                             {"OEBPS/a.bin", picture, 9},
                             {"OEBPS/b.bin", "second", 9}});
    ASSERT_GT(zip.size(), 30u);
    // The first local header names "mimetype", stored (method 0) and
    // uncompressed, as EPUB readers require.
    EXPECT_EQ(zip.compare(0, 4, "PK\x03\x04"), 0);
    EXPECT_EQ(zip[8], 0);
    EXPECT_EQ(zip[9], 0);
    EXPECT_EQ(zip[26], 8);  // name length
    EXPECT_EQ(zip[28], 0);  // no extra field
    EXPECT_EQ(zip.compare(30, 8, "mimetype"), 0);
    EXPECT_NE(zip.find("application/epub+zip"), std::string::npos);

    ASSERT_EQ(tzr_unzip_data_to_folder(zip.data(), zip.size(), (dir + "/out").c_str()), 0);
    EXPECT_EQ(read(dir + "/out/mimetype"), "application/epub+zip");
    EXPECT_EQ(read(dir + "/out/OEBPS/a.bin"), picture);
    EXPECT_EQ(read(dir + "/out/OEBPS/b.bin"), "second");
}

TEST_F(ZipTest, ExtractingOverAFileIsRefused) {
    std::string zip = build({{"a.txt", "x", 9}});
    std::ofstream(dir + "/plain") << "file";
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(tzr_unzip_data_to_folder(zip.data(), zip.size(), (dir + "/plain").c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "'" + dir + "/plain' is an existing file.\n");
    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
}

TEST_F(ZipTest, AFailingEntryStopsExtractionAndRestoresTheWorkingFolder) {
    // The second file lives in a folder the archive never creates.
    std::string zip = build({{"first.txt", "one", 9}, {"missing/second.txt", "two", 9}});
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(tzr_unzip_data_to_folder(zip.data(), zip.size(), dir.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error extracting file from zip archive.\n");
    EXPECT_EQ(read(dir + "/first.txt"), "one");
    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
}

TEST_F(ZipTest, EntriesThatWouldEscapeTheFolderAreRefused) {
    fs::create_directories(dir + "/in/sub");
    fs::create_directories(dir + "/outside");
    fs::create_symlink(dir + "/outside", dir + "/in/link");
    fs::create_symlink(dir + "/outside/target.txt", dir + "/in/file-link");
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    struct Case {
        const char *entry;
        const char *forbidden;  // must not exist afterwards
    };
    const Case cases[] = {
        {"../escaped.txt", "/escaped.txt"},
        {"sub/../../escaped2.txt", "/escaped2.txt"},
        {"/tmp/orvane-zip-absolute.txt", nullptr},
        {"link/through-folder-link.txt", "/outside/through-folder-link.txt"},
        {"file-link", "/outside/target.txt"},
    };
    for (const Case &c : cases) {
        std::string zip = build({{"sub/ok.txt", "fine", 9}, {c.entry, "bad", 9}});
        testing::internal::CaptureStderr();
        EXPECT_EQ(tzr_unzip_data_to_folder(zip.data(), zip.size(), (dir + "/in").c_str()), -1) << c.entry;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error extracting file from zip archive.\n");
        EXPECT_EQ(read(dir + "/in/sub/ok.txt"), "fine");
        if (c.forbidden) {
            EXPECT_FALSE(fs::exists(dir + c.forbidden)) << c.entry;
        }
    }
    EXPECT_FALSE(fs::exists("/tmp/orvane-zip-absolute.txt"));
    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
}

TEST_F(ZipTest, GarbageIsNoArchive) {
    const char junk[] = "this is not a zip archive";
    testing::internal::CaptureStderr();
    EXPECT_EQ(tzr_unzip_data_to_folder(junk, sizeof junk, dir.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "mz_zip_reader_init_mem() failed.\n");
}

}  // namespace

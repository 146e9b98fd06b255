#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "library/file_utils.h"

namespace {

std::string take(char *s) {
    std::string out = s ? s : "(null)";
    free(s);
    return out;
}

class TempFolder : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvane-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string &name, const std::string &bytes) {
        std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string dir;
};

TEST(Paths, JoinAndSplit) {
    EXPECT_EQ(take(path_join("docs", "a.md")), "docs/a.md");
    EXPECT_EQ(take(path_join("docs/", "/x/a.md")), "/x/a.md");
    EXPECT_EQ(take(path_join(nullptr, "a.md")), "/a.md");
    EXPECT_EQ(take(path_join("docs", nullptr)), "docs/");
    EXPECT_EQ(path_join(nullptr, nullptr), nullptr);

    struct {
        const char *path, *dir, *file;
    } cases[] = {
        {"/a/b/c.md", "/a/b/", "c.md"},
        {"c.md", "", "c.md"},
        {"/c.md", "", "/c.md"},
        {"a/", "a/", ""},
    };
    for (auto &c : cases) {
        char *dir = nullptr, *file = nullptr;
        path_split(c.path, &dir, &file);
        EXPECT_EQ(take(dir), c.dir) << c.path;
        EXPECT_EQ(take(file), c.file) << c.path;
    }
    char *only = nullptr;
    path_split("x/y", nullptr, &only);
    EXPECT_EQ(take(only), "y");

    DString *d = d_string_new("");
    path_add_trailing_separator(d);
    path_add_trailing_separator(d);
    EXPECT_STREQ(d->str, "/");
    d_string_free(d, true);
}

TEST_F(TempFolder, ReadingDropsOnlyALeadingByteOrderMark) {
    std::string path = write("bom.md", "\xEF\xBB\xBF" "text \xEF\xBB\xBF here");
    DString *text = file_read_to_d_string(path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->str, "text \xEF\xBB\xBF here");
    d_string_free(text, true);

    // A file is read whole at once: its marks are still found at the start,
    // however long it is, and every byte after them is kept.
    std::string big(10000, 'x');
    big[9999] = 'y';
    for (const std::string &marks : {std::string(), std::string("\xEF\xBB\xBF"),
                                     std::string("\xEF\xBB\xBF\xEF\xBB\xBF")}) {
        path = write("big.md", marks + big);
        text = file_read_to_d_string(path.c_str());
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text->str, text->length), big) << marks.size();
        EXPECT_EQ(strlen(text->str), big.size());
        d_string_free(text, true);
    }

    path = write("only-mark.md", "\xEF\xBB\xBF");
    text = file_read_to_d_string(path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->str, "");
    d_string_free(text, true);
}

// Files whose sizes fall on and around the string's own steps (its first
// capacity and its doublings), where a read that fills the room exactly
// must still find the end and keep every byte.
TEST_F(TempFolder, ReadingKeepsEveryByteAtTheStringsSteps) {
    for (size_t size : {0, 1, 1022, 1023, 1024, 1025, 4095, 4096, 4097, 65535, 65536, 65537}) {
        std::string bytes(size, 'a');
        for (size_t i = 0; i < size; i++)
            bytes[i] = (char)('a' + i % 26);
        std::string path = write("steps.md", bytes);
        DString *text = file_read_to_d_string(path.c_str());
        ASSERT_NE(text, nullptr) << size;
        EXPECT_EQ(text->length, size);
        EXPECT_EQ(std::string(text->str, text->length), bytes) << size;
        EXPECT_EQ(text->str[text->length], '\0');
        d_string_free(text, true);
    }
}

TEST_F(TempFolder, OnlyRegularFilesAreRead) {
    EXPECT_EQ(file_read_to_d_string((dir + "/missing.md").c_str()), nullptr);
    EXPECT_EQ(file_read_to_d_string(dir.c_str()), nullptr);
    std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(file_read_to_d_string(fifo.c_str()), nullptr);  // no writer: must not hang
    EXPECT_EQ(file_read_to_d_string("/dev/zero"), nullptr);
    EXPECT_EQ(file_read_to_d_string(nullptr), nullptr);
}

TEST_F(TempFolder, AbsolutePathsAreCanonical) {
    write("a.md", "x");
    std::string canonical = take(path_absolute(dir.c_str()));
    EXPECT_EQ(take(path_absolute((dir + "/./sub/../a.md").c_str())), "(null)");  // no sub/
    std::filesystem::create_directory(dir + "/sub");
    EXPECT_EQ(take(path_absolute((dir + "/./sub/../a.md").c_str())), canonical + "/a.md");
}

}  // namespace

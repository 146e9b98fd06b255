#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "textengine/buffer/offsets.h"

namespace {

// Four-byte (two units), two-byte, three-byte characters and a byte-order mark.
const std::string kGrin = "\xF0\x9F\x98\x80";
const std::string kEAcute = "\xC3\xA9";
const std::string kEuro = "\xE2\x82\xAC";
const std::string kBom = "\xEF\xBB\xBF";

std::string mirror(const std::string &text) {
    char *m = smart_string_mirror_encode(text.c_str());
    std::string result(m);
    free(m);
    return result;
}

struct ByteToUnit {
    std::string text;
    size_t byte_start, byte_length, unit_start, unit_length;
};

TEST(Offsets, ByteRangeToUnitRange) {
    const ByteToUnit cases[] = {
        {kEAcute + "a", 0, 2, 0, 1},
        {kGrin + "a", 0, 4, 0, 2},
        {"a" + kGrin + "b", 5, 1, 3, 1},
        {"a" + kEuro + kGrin, 1, 7, 1, 3},
        {kBom + "ab", 3, 1, 1, 1},  // the mark is one character like any other
        {"abc", 1, (size_t)-1, 1, 2},
        // Ranges that leave the text stop at its end instead of reading on.
        {"abc", 2, 100, 2, 1},
        {"abc", 2, (size_t)-2, 2, 1},
        {"abc", 10, 5, 3, 0},
        {"", 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        size_t us = 99, ul = 99;
        utf8_byte_range_to_unit_range(c.text.c_str(), &us, &ul, c.byte_start, c.byte_length);
        EXPECT_EQ(us, c.unit_start) << c.text << " @" << c.byte_start;
        EXPECT_EQ(ul, c.unit_length) << c.text << " @" << c.byte_start;
    }
}

struct UnitToByte {
    std::string text;
    size_t unit_start, unit_length, byte_start, byte_length;
};

TEST(Offsets, UnitRangeToByteRange) {
    const UnitToByte cases[] = {
        {kEAcute + "a", 1, 1, 2, 1},
        {kGrin + "a", 1, 0, 0, 0},  // inside a surrogate pair: the sequence's start
        {kGrin + "a", 0, 2, 0, 4},
        {kGrin + "a", 2, 1, 4, 1},
        {"a" + kEuro + "b", 1, 1, 1, 3},
        {kBom + "ab", 1, 2, 3, 2},
        {"abc", 2, 50, 2, 1},       // past the end: stops at the NUL
        {"abc", 9, 3, 3, 0},
        {"abc", (size_t)-1, (size_t)-1, 3, 0},
        {"", 0, 5, 0, 0},
    };
    for (const auto &c : cases) {
        size_t bs = 99, bl = 99;
        utf8_unit_range_to_byte_range(c.text.c_str(), c.unit_start, c.unit_length, &bs, &bl);
        EXPECT_EQ(bs, c.byte_start) << c.text << " @" << c.unit_start;
        EXPECT_EQ(bl, c.byte_length) << c.text << " @" << c.unit_start;
    }
    EXPECT_EQ(utf8_unit_offset_to_byte_offset((kEAcute + kGrin + "z").c_str(), 3), 6u);
    EXPECT_EQ(utf8_units_in_bytes((kEAcute + kGrin + "z").c_str(), 6), 3u);
    EXPECT_EQ(utf8_units_in_bytes("abc", 0), 0u);
    EXPECT_EQ(utf8_units_in_bytes("abc", (size_t)-1), 3u);
    size_t a = 7, b = 7;
    utf8_unit_range_to_byte_range(nullptr, 3, 3, &a, &b);
    EXPECT_EQ(a + b, 0u);
}

TEST(Offsets, MirrorHasOneBytePerUnit) {
    EXPECT_EQ(mirror("plain\ttext\r\n"), "plain\ttext\r\n");
    EXPECT_EQ(mirror("a" + kEAcute + kEuro + kGrin + "b"), "axxxxb");
    EXPECT_EQ(mirror(kBom + "a"), "xa");
    EXPECT_EQ(mirror("a" + kBom), "ax");
    // Malformed bytes follow the same table as the conversions.
    EXPECT_EQ(mirror("\x80\x80\x80\xF8\xFF" "a\xF0"), "axx");
    EXPECT_EQ(smart_string_mirror_encode(nullptr), nullptr);
}

}  // namespace

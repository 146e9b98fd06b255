#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "library/d_string.h"

namespace {

struct DStringDeleter {
    void operator()(DString *d) const { d_string_free(d, true); }
};
using DStringPtr = std::unique_ptr<DString, DStringDeleter>;

DStringPtr make(const char *text) { return DStringPtr(d_string_new(text)); }

void expect_consistent(const DString *d) {
    ASSERT_LT(d->length, d->capacity);
    EXPECT_EQ(d->str[d->length], '\0');
}

TEST(DString, NewSizesCapacityToFitTheText) {
    auto empty = make(nullptr);
    EXPECT_EQ(empty->length, 0u);
    EXPECT_EQ(empty->capacity, 1024u);
    EXPECT_STREQ(empty->str, "");

    EXPECT_EQ(make(std::string(1023, 'a').c_str())->capacity, 1024u);
    EXPECT_EQ(make(std::string(1024, 'a').c_str())->capacity, 2048u);
}

TEST(DString, GrowthDoublesThenStepsByHundredMiB) {
    const size_t mib = 1024 * 1024;
    EXPECT_EQ(d_string_grown_capacity(1024, 1025), 2048u);
    EXPECT_EQ(d_string_grown_capacity(1024, 1024), 1024u);
    EXPECT_EQ(d_string_grown_capacity(1024, 5000), 8192u);
    EXPECT_EQ(d_string_grown_capacity(100 * mib, 100 * mib + 1), 200 * mib);
    EXPECT_EQ(d_string_grown_capacity(150 * mib, 150 * mib + 1), 250 * mib);
    EXPECT_EQ(d_string_grown_capacity(150 * mib, 400 * mib), 450 * mib);
}

TEST(DString, AppendingAcrossCapacityKeepsTheTextAndTheNul) {
    auto d = make("ab");
    std::string expected = "ab";
    for (int i = 0; i < 3000; i++) {
        d_string_append(d.get(), "xyz");
        expected += "xyz";
    }
    d_string_append_c(d.get(), '!');
    d_string_append_printf(d.get(), "%d-%s", 42, "ok");
    expected += "!42-ok";
    EXPECT_EQ(std::string(d->str), expected);
    EXPECT_EQ(d->length, expected.size());
    EXPECT_EQ(d->capacity, 16384u);
    expect_consistent(d.get());
}

TEST(DString, NulBytesOnlyEnterThroughTheArrayAppend) {
    auto d = make("a");
    d_string_append_c(d.get(), '\0');
    d_string_insert_c(d.get(), 0, '\0');
    d_string_append(d.get(), "");
    EXPECT_EQ(d->length, 1u);

    d_string_append_c_array(d.get(), "b\0c", 3);
    EXPECT_EQ(d->length, 4u);
    EXPECT_EQ(std::string(d->str, d->length), std::string("ab\0c", 4));

    d_string_append_c_array(d.get(), "de", (size_t)-1);
    EXPECT_EQ(d->length, 6u);
    expect_consistent(d.get());
}

TEST(DString, InsertClampsPastTheEnd) {
    auto d = make("hello");
    d_string_insert(d.get(), 99, " world");
    d_string_prepend(d.get(), ">");
    d_string_insert_c(d.get(), 1, ' ');
    d_string_insert_printf(d.get(), 2, "%s, ", "well");
    EXPECT_STREQ(d->str, "> well, hello world");
    d_string_insert_c(d.get(), 1000, '.');
    EXPECT_STREQ(d->str, "> well, hello world.");
    expect_consistent(d.get());
}

TEST(DString, EraseAtAndPastTheEnd) {
    auto d = make("abcdef");
    d_string_erase(d.get(), 6, 3);  // at the end: nothing
    EXPECT_STREQ(d->str, "abcdef");
    d_string_erase(d.get(), 7, 1);  // past the end: nothing
    EXPECT_STREQ(d->str, "abcdef");
    d_string_erase(d.get(), 1, 2);
    EXPECT_STREQ(d->str, "adef");
    d_string_erase(d.get(), 2, 100);  // runs past the end: truncates
    EXPECT_STREQ(d->str, "ad");
    d_string_erase(d.get(), 1, (size_t)-1);
    EXPECT_STREQ(d->str, "a");
    d_string_erase(d.get(), 0, 0);
    EXPECT_STREQ(d->str, "a");
    expect_consistent(d.get());
}

TEST(DString, CopySubstringChecksItsRange) {
    auto d = make("abcdefgh");
    char *all = d_string_copy_substring(d.get(), 2, (size_t)-1);
    EXPECT_STREQ(all, "cdefgh");
    free(all);
    char *empty = d_string_copy_substring(d.get(), 8, (size_t)-1);
    EXPECT_STREQ(empty, "");
    free(empty);

    testing::internal::CaptureStderr();
    EXPECT_EQ(d_string_copy_substring(d.get(), 5, 10), nullptr);
    EXPECT_EQ(d_string_copy_substring(d.get(), 9, (size_t)-1), nullptr);
    // A start near SIZE_MAX must not wrap around the range check.
    EXPECT_EQ(d_string_copy_substring(d.get(), (size_t)-2, 4), nullptr);
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("d_string: Asked to copy invalid substring range.\n"
                            "start: 5  len: 10  string: 8\n"),
              std::string::npos);
}

TEST(DString, CopySubstringStopsAtAnEmbeddedNul) {
    auto d = make("ab");
    d_string_append_c_array(d.get(), "\0cd", 3);
    char *copy = d_string_copy_substring(d.get(), 0, 5);
    EXPECT_EQ(std::memcmp(copy, "ab\0\0\0\0", 6), 0);
    free(copy);
}

TEST(DString, ReplaceInRangeNeitherOverlapsNorRescans) {
    auto d = make("    ");
    EXPECT_EQ(d_string_replace_text_in_range(d.get(), 0, (size_t)-1, "  ", " "), -2);
    EXPECT_STREQ(d->str, "  ");

    auto grow = make("aXaXa");
    EXPECT_EQ(d_string_replace_text_in_range(grow.get(), 0, (size_t)-1, "a", "aa"), 3);
    EXPECT_STREQ(grow->str, "aaXaaXaa");
}

TEST(DString, ReplaceInRangeFollowsTheMovingEnd) {
    // Range covers "ab ab" (bytes 0..5); the match starting at 3 straddles
    // nothing but must still be found after the first replacement grew the text.
    auto d = make("ab ab ab");
    EXPECT_EQ(d_string_replace_text_in_range(d.get(), 0, 5, "ab", "xyz"), 2);
    EXPECT_STREQ(d->str, "xyz xyz ab");

    // A match that begins inside the range and runs past its end is replaced.
    auto straddle = make("..abc");
    EXPECT_EQ(d_string_replace_text_in_range(straddle.get(), 0, 3, "abc", "Z"), -2);
    EXPECT_STREQ(straddle->str, "..Z");

    auto untouched = make("abc");
    EXPECT_EQ(d_string_replace_text_in_range(untouched.get(), 0, (size_t)-1, "", "x"), 0);
    EXPECT_EQ(d_string_replace_text_in_range(untouched.get(), 10, 1, "a", "x"), 0);
    EXPECT_STREQ(untouched->str, "abc");
}

TEST(DString, NullArgumentsAreHarmless) {
    d_string_append(nullptr, "x");
    d_string_append_c(nullptr, 'x');
    d_string_append_printf(nullptr, "%d", 1);
    d_string_insert(nullptr, 0, "x");
    d_string_erase(nullptr, 0, 1);
    EXPECT_EQ(d_string_copy_substring(nullptr, 0, 1), nullptr);
    EXPECT_EQ(d_string_free(nullptr, true), nullptr);
    auto d = make("x");
    d_string_append(d.get(), nullptr);
    d_string_insert(d.get(), 0, nullptr);
    EXPECT_STREQ(d->str, "x");
}

TEST(DString, FreeCanHandTheBufferOver) {
    DString *d = d_string_new("keep");
    char *buffer = d_string_free(d, false);
    EXPECT_STREQ(buffer, "keep");
    free(buffer);
}

}  // namespace

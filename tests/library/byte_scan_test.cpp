#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "library/byte_scan.h"

namespace {

using byte_scan::find_first_of;

const char *find_html_stop(const char *p, const char *end) {
    return find_first_of<'"', '&', '<', '>', '\0'>(p, end);
}

// Every length around the sixteen-byte steps, with the stop at every place
// in it: the look finds the first stop whether a step or the byte-a-step
// tail holds it, and the end when there is none. Each text sits in a heap
// block of its exact size, so a read past the end shows in the sanitizer
// build.
TEST(ByteScan, FindsTheFirstStopAtEveryPlaceAndNothingPastTheEnd) {
    for (size_t len = 0; len <= 50; len++) {
        std::unique_ptr<char[]> text(new char[len ? len : 1]);
        for (size_t at = 0; at <= len; at++) {
            for (size_t i = 0; i < len; i++)
                text[i] = (char)('a' + i % 26);
            if (at < len)
                text[at] = '<';
            // A later stop is not the first.
            if (at + 1 < len)
                text[len - 1] = '&';
            const char *got = find_html_stop(text.get(), text.get() + len);
            EXPECT_EQ(got - text.get(), (ptrdiff_t)at) << "length " << len << ", stop at " << at;
        }
    }
}

// Each stop is found, the NUL and a byte above 0x7F among them, and only
// the stops: neighbouring bytes and the same byte with its high bit
// flipped pass.
TEST(ByteScan, EachStopAndOnlyTheStops) {
    std::string filler(40, 'x');
    const unsigned char stops[] = {'\0', '\n', '\r', '(', ')', '[', '\\', 0xC2};
    for (unsigned char stop : stops) {
        for (size_t at : {0u, 7u, 15u, 16u, 17u, 31u, 39u}) {
            std::string text = filler;
            text[at] = (char)stop;
            const char *got = find_first_of<'\0', '\n', '\r', '(', ')', '[', '\\', 0xC2>(
                text.data(), text.data() + text.size());
            EXPECT_EQ(got - text.data(), (ptrdiff_t)at) << "byte " << (int)stop << " at " << at;
        }
    }
    std::string others;
    for (char c : {'\x01', '\x0B', '\x0E', '\'', '*', 'Z', ']', '\x42', '\x82', '\xC3'})
        others.append(4, c);
    const char *got = find_first_of<'\0', '\n', '\r', '(', ')', '[', '\\', 0xC2>(
        others.data(), others.data() + others.size());
    EXPECT_EQ(got, others.data() + others.size());
}

}  // namespace

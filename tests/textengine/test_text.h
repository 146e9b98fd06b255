// Random texts for the property tests of the diff, patch and undo code.
#pragma once

#include <random>
#include <string>

namespace test_text {

// Letters, spaces, punctuation, line breaks, and with `multibyte` two-,
// three- and four-byte characters that share lead bytes, so that byte
// diffs are tempted to split them.
inline std::string random_char(std::mt19937 &rng, bool multibyte) {
    static const char *const ascii[] = {"a", "b", "c", " ", ".", "\n", "x"};
    static const char *const wide[] = {"\xC3\xA9", "\xC3\xA8", "\xC3\xA7", "\xE2\x82\xAC", "\xE2\x82\xAD",
                                       "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81"};
    if (multibyte && rng() % 2)
        return wide[rng() % 7];
    return ascii[rng() % 7];
}

inline std::string random_text(std::mt19937 &rng, size_t chars, bool multibyte) {
    std::string s;
    for (size_t i = 0; i < chars; i++)
        s += random_char(rng, multibyte);
    return s;
}

inline size_t char_boundary(const std::string &s, size_t pos) {
    while (pos < s.size() && (s[pos] & 0xC0) == 0x80)
        pos++;
    return pos;
}

// A few edits at character boundaries.
inline std::string mutate(std::mt19937 &rng, std::string s, bool multibyte) {
    int edits = 1 + rng() % 4;
    for (int e = 0; e < edits; e++) {
        size_t at = char_boundary(s, s.empty() ? 0 : rng() % (s.size() + 1));
        size_t end = char_boundary(s, std::min(s.size(), at + rng() % 6));
        s.replace(at, end - at, random_text(rng, rng() % 4, multibyte));
    }
    return s;
}

inline bool valid_utf8(const char *s) {
    if (!s)
        return true;
    const unsigned char *p = (const unsigned char *)s;
    while (*p) {
        int n = *p < 0x80 ? 0 : *p >= 0xF0 ? 3 : *p >= 0xE0 ? 2 : *p >= 0xC0 ? 1 : -1;
        if (n < 0)
            return false;
        p++;
        for (int i = 0; i < n; i++, p++)
            if ((*p & 0xC0) != 0x80)
                return false;
    }
    return true;
}

}  // namespace test_text

// Character classes: one 256-entry table of class bits. Every byte has at
// most one bit; bytes from 0x80 up (UTF-8 lead and continuation bytes) and
// the other control bytes belong to no class.
#pragma once

#include <array>
#include <cstdint>

enum char_class : uint8_t {
    CHAR_WHITESPACE = 1,   // space, tab
    CHAR_PUNCTUATION = 2,  // the 32 ASCII punctuation bytes
    CHAR_ALPHA = 4,        // ASCII letters
    CHAR_DIGIT = 8,        // ASCII digits
    CHAR_LINE_ENDING = 16  // NUL, LF, CR
};

constexpr std::array<uint8_t, 256> make_char_class_table() {
    std::array<uint8_t, 256> table{};
    table['\t'] = table[' '] = CHAR_WHITESPACE;
    table['\0'] = table['\n'] = table['\r'] = CHAR_LINE_ENDING;
    for (int c = 0x21; c <= 0x7E; c++) {
        if (c >= '0' && c <= '9')
            table[c] = CHAR_DIGIT;
        else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            table[c] = CHAR_ALPHA;
        else
            table[c] = CHAR_PUNCTUATION;
    }
    return table;
}

inline constexpr std::array<uint8_t, 256> char_class_table = make_char_class_table();

// Each predicate looks at the low 8 bits and returns the matching bits.
constexpr int char_class_bits(int c, int mask) { return char_class_table[(uint8_t)c] & mask; }

constexpr int char_is_whitespace(int c) { return char_class_bits(c, CHAR_WHITESPACE); }
constexpr int char_is_punctuation(int c) { return char_class_bits(c, CHAR_PUNCTUATION); }
constexpr int char_is_alpha(int c) { return char_class_bits(c, CHAR_ALPHA); }
constexpr int char_is_digit(int c) { return char_class_bits(c, CHAR_DIGIT); }
constexpr int char_is_alphanumeric(int c) { return char_class_bits(c, CHAR_ALPHA | CHAR_DIGIT); }
constexpr int char_is_line_ending(int c) { return char_class_bits(c, CHAR_LINE_ENDING); }
constexpr int char_is_whitespace_or_line_ending(int c) {
    return char_class_bits(c, CHAR_WHITESPACE | CHAR_LINE_ENDING);
}
constexpr int char_is_whitespace_or_punctuation(int c) {
    return char_class_bits(c, CHAR_WHITESPACE | CHAR_PUNCTUATION);
}
constexpr int char_is_whitespace_or_line_ending_or_punctuation(int c) {
    return char_class_bits(c, CHAR_WHITESPACE | CHAR_PUNCTUATION | CHAR_LINE_ENDING);
}

// True at the CR of a CR LF pair, or at its LF. At an LF the byte before the
// pointer must exist.
inline bool char_is_windows_line_ending(const char *c) {
    if (!c)
        return false;
    if (*c == '\r')
        return c[1] == '\n';
    if (*c == '\n')
        return c[-1] == '\r';
    return false;
}

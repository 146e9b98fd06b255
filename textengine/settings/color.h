// Colours of themes: four bytes with alpha lowest, and their hexadecimal
// texts ("#RGB", "#ARGB", "#RRGGBB", "#AARRGGBB").
#pragma once

#include <cstdint>

struct color {
    uint8_t alpha;  // lowest byte
    uint8_t red;
    uint8_t green;
    uint8_t blue;   // highest byte
};

constexpr color color_black = {255, 0, 0, 0};
constexpr color color_white = {255, 255, 255, 255};
constexpr color color_clear = {0, 0, 0, 0};

// The colour as one 32-bit value: alpha | red << 8 | green << 16 | blue << 24.
inline uint32_t color_to_uint32(color c) {
    return (uint32_t)c.alpha | (uint32_t)c.red << 8 | (uint32_t)c.green << 16 |
           (uint32_t)c.blue << 24;
}

inline color color_from_uint32(uint32_t v) {
    return color{(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
}

inline bool color_equal(color a, color b) { return color_to_uint32(a) == color_to_uint32(b); }

// Reads a colour text; leading '#' are skipped. Lengths other than 3, 4, 6
// and 8 give opaque black; a group stops at its first non-hexadecimal digit.
color theme_color_parse(const char *text);
// "#AARRGGBB" in upper case, as a new string the caller frees.
char *theme_color_to_hex(color c);

// The value of a hexadecimal text (an optional "0x" skipped), read up to the
// first other character; arithmetic wraps modulo 2^32.
uint32_t hex_to_int(const char *text);
// One digit doubled ("f" is 0xFF) when `digits` is 1, else two digits.
uint8_t hex_pair_to_byte(const char *text, int digits);

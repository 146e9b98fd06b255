// UTF-16 units of UTF-8 text, counted through one lead-byte table: the
// library's sidebar queries report offsets this way, and the editor's text
// engine converts between its offset spaces with the same table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// UTF-16 units contributed by the character that starts at each byte value:
// 1 for ASCII and the lead bytes of two- and three-byte sequences, 2 for the
// lead byte of a four-byte sequence (a surrogate pair), 0 for continuation
// bytes and for bytes that never occur in UTF-8.
constexpr std::array<uint8_t, 256> make_utf8_unit_table() {
    std::array<uint8_t, 256> table{};
    for (int b = 0; b < 256; b++) {
        if (b < 0x80 || (b >= 0xC0 && b <= 0xEF))
            table[b] = 1;
        else if (b >= 0xF0 && b <= 0xF7)
            table[b] = 2;
    }
    return table;
}

inline constexpr std::array<uint8_t, 256> utf8_unit_table = make_utf8_unit_table();

// Units in `count` bytes from `bytes` (NULL counts nothing). The bytes are
// read as they are: the caller keeps the range inside its text.
inline size_t utf16_units_in_range(const char *bytes, size_t count) {
    size_t units = 0;
    if (bytes)
        for (size_t i = 0; i < count; i++)
            units += utf8_unit_table[static_cast<unsigned char>(bytes[i])];
    return units;
}

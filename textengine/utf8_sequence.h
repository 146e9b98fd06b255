// UTF-8 sequences, for every part of the text engine that walks bytes.
// Nothing here reads past a NUL: a NUL is not a continuation byte.
#pragma once

#include <cstddef>
#include <cstdint>

inline bool utf8_is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Bytes of the sequence that `lead` begins: 4, 3 or 2 for bytes from 0xF0,
// 0xE0 and 0xC0 up, 1 for any other byte.
inline size_t utf8_sequence_length(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// Decodes the well-formed sequence at `s` into `*code_point` and returns its
// length (1 to 4); returns 0 for an ill-formed sequence (stray continuation,
// overlong form, surrogate, above U+10FFFF, or cut short).
inline int utf8_decode_sequence(const unsigned char *s, uint32_t *code_point) {
    unsigned char lead = s[0];
    int length;
    uint32_t cp;
    uint32_t minimum;
    if (lead < 0x80) {
        *code_point = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    for (int i = 1; i < length; i++) {
        if (!utf8_is_continuation(s[i]))
            return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    *code_point = cp;
    return length;
}

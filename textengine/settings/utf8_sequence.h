// Decoding one UTF-8 sequence, shared by the JSON reader and the key-binding
// table. Never reads past a NUL: a NUL is not a continuation byte, so the
// decoder stops on it.
#pragma once

#include <cstdint>

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
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    *code_point = cp;
    return length;
}

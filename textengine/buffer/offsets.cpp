#include "textengine/buffer/offsets.h"

#include <cstdlib>
#include <cstring>

#include "library/d_string.h"

size_t utf8_units_between(const char *text, size_t from, size_t to, size_t *stopped) {
    size_t units = 0;
    size_t i = from;
    if (text) {
        for (; i < to; i++) {
            unsigned char b = (unsigned char)text[i];
            if (b == 0)
                break;
            units += utf8_unit_table[b];
        }
    }
    if (stopped)
        *stopped = i;
    return units;
}

// The walk of the unit-to-byte conversion: from `from`, the index of the
// first byte whose units would carry the running sum past `limit`, or of the
// NUL.
static size_t walk_units(const char *text, size_t from, size_t limit) {
    size_t sum = 0;
    size_t i = from;
    for (;; i++) {
        unsigned char b = (unsigned char)text[i];
        if (b == 0)
            break;
        sum += utf8_unit_table[b];
        if (sum > limit)
            break;
    }
    return i;
}

void utf8_byte_range_to_unit_range(const char *text, size_t *unit_start, size_t *unit_length,
                                   size_t byte_start, size_t byte_length) {
    size_t reached = 0;
    size_t start = utf8_units_between(text, 0, byte_start, &reached);
    size_t length = 0;
    if (reached == byte_start) {
        size_t end = byte_length > SIZE_MAX - byte_start ? SIZE_MAX : byte_start + byte_length;
        length = utf8_units_between(text, byte_start, end, nullptr);
    }
    if (unit_start)
        *unit_start = start;
    if (unit_length)
        *unit_length = length;
}

void utf8_unit_range_to_byte_range(const char *text, size_t unit_start, size_t unit_length,
                                   size_t *byte_start, size_t *byte_length) {
    size_t start = 0, length = 0;
    if (text) {
        start = walk_units(text, 0, unit_start);
        length = walk_units(text, start, unit_length) - start;
    }
    if (byte_start)
        *byte_start = start;
    if (byte_length)
        *byte_length = length;
}

size_t utf8_units_in_bytes(const char *text, size_t byte_count) {
    return utf8_units_between(text, 0, byte_count, nullptr);
}

size_t utf8_unit_offset_to_byte_offset(const char *text, size_t unit_offset) {
    size_t start = 0;
    utf8_unit_range_to_byte_range(text, unit_offset, 0, &start, nullptr);
    return start;
}

void smart_string_mirror_append(DString *out, const char *text, size_t length) {
    if (!out || !text)
        return;
    // Worst case two units per byte; encode into a local run and append in
    // one go so that the string grows at most once.
    char run[512];
    size_t used = 0;
    for (size_t i = 0; i < length; i++) {
        unsigned char b = (unsigned char)text[i];
        if (b == 0)
            break;
        if (used + 2 > sizeof run) {
            d_string_append_c_array(out, run, used);
            used = 0;
        }
        if (b < 0x80) {
            run[used++] = (char)b;
        } else {
            for (int k = 0; k < utf8_unit_table[b]; k++)
                run[used++] = 'x';
        }
    }
    d_string_append_c_array(out, run, used);
}

char *smart_string_mirror_encode(const char *text) {
    if (!text)
        return nullptr;
    DString *out = d_string_new("");
    if (!out)
        return nullptr;
    smart_string_mirror_append(out, text, (size_t)-1);
    return d_string_free(out, false);
}

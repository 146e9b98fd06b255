// Conversions between the three offset spaces of the editor: UTF-8 bytes
// (the text buffer), UTF-16 units (the views) and the mirror text, which has
// one byte per UTF-16 unit so that a parse of it yields view indexes.
#pragma once

#include <cstddef>

#include "library/utf16_units.h"

// The lead-byte table (`utf8_unit_table`) is shared with the document
// library, whose queries count offsets the same way.

// Units in the bytes [from, to) of `text`, stopping early at a NUL.
// Returns the units counted and leaves in *stopped the byte where the walk
// ended (`to`, or the NUL's index). `to` may be (size_t)-1 for "to the NUL".
size_t utf8_units_between(const char *text, size_t from, size_t to, size_t *stopped);

// Byte range -> UTF-16 range. Both walks stop at the terminating NUL, so a
// range that reaches past the text is cut at its end. A byte length of
// (size_t)-1 means to the end of the text.
void utf8_byte_range_to_unit_range(const char *text, size_t *unit_start, size_t *unit_length,
                                   size_t byte_start, size_t byte_length);

// UTF-16 range -> byte range. A unit start inside a surrogate pair gives the
// start of its four-byte sequence; a range past the text stops at the NUL.
void utf8_unit_range_to_byte_range(const char *text, size_t unit_start, size_t unit_length,
                                   size_t *byte_start, size_t *byte_length);

// Units in the first `byte_count` bytes (stopping at the NUL).
size_t utf8_units_in_bytes(const char *text, size_t byte_count);

// The byte start of utf8_unit_range_to_byte_range.
size_t utf8_unit_offset_to_byte_offset(const char *text, size_t unit_offset);

// Mirror encoding: ASCII bytes are copied, every other byte becomes as many
// "x" as its entry in the unit table gives. The mirror of a text is thus the
// concatenation of the mirrors of its bytes, so its length always equals the
// unit count of the text, whatever the bytes (a byte-order mark is a
// character like any other and stays as one "x"). New heap string; NULL for
// NULL.
char *smart_string_mirror_encode(const char *text);

// The same for `length` bytes (stopping at a NUL), appended to `out`.
struct DString;
void smart_string_mirror_append(DString *out, const char *text, size_t length);

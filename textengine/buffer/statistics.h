// Text statistics: characters (UTF-16 units for valid UTF-8), words, lines
// and paragraphs, counted over a byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>

// Counts over the first `length` bytes of `text`, or up to its first NUL.
// Every rule looks only at bytes inside that span, so a window cut out of a
// longer text counts the same whether it is a copy or a view into the text.
// All four counts are 0 for NULL, a length of 0 or an empty text. Any out
// pointer may be NULL.
void text_statistics(const char *text, size_t length, uint64_t *characters, uint64_t *words,
                     uint64_t *lines, uint64_t *paragraphs);

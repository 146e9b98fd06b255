#include "textengine/buffer/statistics.h"

#include <cstring>

#include "library/char.h"
#include "textengine/utf8_sequence.h"


void text_statistics(const char *text, size_t length, uint64_t *characters, uint64_t *words,
                     uint64_t *lines, uint64_t *paragraphs) {
    uint64_t c = 0, w = 0, l = 0, p = 0;
    size_t n = text ? strnlen(text, length) : 0;
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    bool content = false;

    for (size_t i = 0; i < n; i++) {
        unsigned char b = s[i];
        // A four-byte sequence is two UTF-16 units: its first continuation
        // byte (the one followed by two more) counts the second.
        if (!utf8_is_continuation(b))
            c++;
        else if (i + 2 < n && utf8_is_continuation(s[i + 1]) && utf8_is_continuation(s[i + 2]))
            c++;

        bool word_end = i > 0 && !char_is_whitespace_or_line_ending(s[i - 1]);
        if (b == ' ' || b == '\t') {
            if (word_end)
                w++;
        } else if (b == '\n' || b == '\r') {
            // CR LF is one line ending, counted at its LF.
            if (b == '\n' || !(i + 1 < n && s[i + 1] == '\n'))
                l++;
            if (content && i > 0 && s[i - 1] == '\n') {
                p++;
                content = false;
            }
            if (word_end)
                w++;
        }
        if (!char_is_whitespace_or_line_ending(b))
            content = true;
    }

    if (n > 0) {
        unsigned char last = s[n - 1];
        if (last == '\n' || last == '\r') {
            if (content)
                p++;
        } else if (last == ' ' || last == '\t') {
            l++;
            p++;
        } else {
            w++;
            l++;
            p++;
        }
    }

    if (characters)
        *characters = c;
    if (words)
        *words = w;
    if (lines)
        *lines = l;
    if (paragraphs)
        *paragraphs = p;
}

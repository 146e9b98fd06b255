// Drives a Smart String through replaces built from the input bytes (any
// bytes, malformed UTF-8 included, any ranges) and checks after each that the
// mirror is the encoding of the text and that characters, words and lines
// equal a full recount.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textengine/buffer/smart_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    _SString *s = smart_string_new("seed \xF0\x9F\x98\x80 text\r\n", 0xB01);
    size_t i = 0;
    auto next = [&]() -> size_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        size_t length_now = smart_string_length(s);
        size_t start = next() * 256 + next();
        size_t length = next();
        // Mostly in range; sometimes far out, or "to the end".
        if (start < 0xF000)
            start = start % (length_now + 1);
        if (length < 250 && start <= length_now)
            length = length % (length_now - start + 1);
        else if (length == 255)
            length = (size_t)-1;
        else if (length == 254)
            length = (size_t)-2;
        size_t n = next() % 12;
        char text[13] = {};
        for (size_t k = 0; k < n && i < size; k++)
            text[k] = (char)(data[i] ? data[i] : 'z'), i++;

        // Now and then the mirror goes off for a while: the offsets kept
        // for edits near the last one must not go stale meanwhile.
        if (n == 11)
            smart_string_set_options(s, smart_string_get_options(s) ^ 0x800);
        smart_string_replace(s, start, length, text, nullptr);

        const char *str = smart_string_text(s);
        if (smart_string_get_options(s) & 0x800) {
            char *encoded = smart_string_mirror_encode(str);
            if (strcmp(encoded, smart_string_mirror_text(s)->str) != 0)
                abort();
            free(encoded);
        }
        uint64_t c, w, l, p;
        text_statistics(str, smart_string_length(s), &c, &w, &l, &p);
        if (c != smart_string_char_count(s) || w != smart_string_word_count(s) ||
            l != smart_string_line_count(s))
            abort();
        size_t us, ul, es, el;
        smart_string_caret_unit_range(s, &us, &ul);
        if (us != (size_t)-1) {
            utf8_byte_range_to_unit_range(str, &es, &el, smart_string_caret_start(s),
                                          smart_string_caret_length(s));
            if (us != es || ul != el)
                abort();
        }
    }
    smart_string_free(s, true);
    return 0;
}

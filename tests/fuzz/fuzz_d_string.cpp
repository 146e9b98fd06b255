// Drives DString through random operation sequences; the sanitizers check
// that no operation reads or writes outside the buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "library/d_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    DString *d = d_string_new("seed");
    size_t i = 0;
    auto next = [&]() -> size_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        size_t op = next() % 6;
        size_t pos = next();
        size_t len = next();
        size_t n = next() % 16;
        char text[17] = {};
        for (size_t k = 0; k < n && i < size; k++)
            text[k] = (char)(data[i++] | 1);
        switch (op) {
        case 0: d_string_append(d, text); break;
        case 1: d_string_insert(d, pos, text); break;
        case 2: d_string_erase(d, pos, len == 255 ? (size_t)-1 : len); break;
        case 3: free(d_string_copy_substring(d, pos, len == 255 ? (size_t)-1 : len)); break;
        case 4: d_string_replace_text_in_range(d, pos, len, text, "xy"); break;
        case 5: d_string_append_c_array(d, text, n); break;
        }
        if (d->str[d->length] != '\0' || d->length >= d->capacity)
            abort();
    }
    d_string_free(d, true);
    return 0;
}

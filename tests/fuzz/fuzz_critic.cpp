// Accepts and rejects CriticMarkup over random bytes, on the whole text and
// on a range taken from the input, checking that the result stays a
// NUL-terminated string no longer than the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "library/critic.h"

namespace {

void run(const uint8_t *data, size_t size, int mode, size_t start, size_t len) {
    DString *d = d_string_new(nullptr);
    d_string_append_c_array(d, reinterpret_cast<const char *>(data), size);
    size_t before = d->length;
    switch (mode) {
    case 0: critic_accept_all(d); break;
    case 1: critic_reject_all(d); break;
    case 2: critic_accept_range(d, start, len); break;
    default: critic_reject_range(d, start, len); break;
    }
    if (d->length > before || d->str[d->length] != '\0')
        abort();
    d_string_free(d, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The first two bytes choose a range for the range forms; 255 as the
    // length byte stands for "to the end".
    size_t start = size > 0 ? data[0] : 0;
    size_t len = size > 1 ? (data[1] == 255 ? (size_t)-1 : data[1]) : 0;
    for (int mode = 0; mode < 4; mode++)
        run(data, size, mode, start, len);
    return 0;
}

// Converts random bytes to LaTeX, Beamer or Memoir (chosen, with the
// extension flags, by the first byte) through the export dispatch; checks
// that the output is one NUL-terminated string and that it never grows out
// of proportion to the input (notes that name each other must not multiply).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/tzr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint64_t kFlagChoices[] = {0x1, 0x8, 0x20, 0x200, 0x400, 0x800};
    uint64_t flags = 0x2 | 0x10;
    uint16_t format = 2;
    if (size > 0) {
        for (int bit = 0; bit < 6; bit++)
            if (data[0] & (1 << bit))
                flags |= kFlagChoices[bit];
        format = (uint16_t)(2 + (data[0] >> 6) % 3);
        data++;
        size--;
    }
    if (flags & 0xC00)
        flags = (flags & ~0x800ull) | 0x200;
    std::string text(reinterpret_cast<const char *>(data), size);
    char *out = tzr_string_convert(text.c_str(), flags, format, 0);
    if (out) {
        size_t len = strlen(out);
        if (len > size * size + (1u << 20))
            abort();
        free(out);
    }
    return 0;
}

// Converts random bytes to every output format code (0 to 9 and one past)
// under random extension flags and language codes, as text and, for the
// formats that need no packaging, as data. Transclusion is masked out: it
// would read files named by the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/tzr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4)
        return 0;
    uint64_t extensions = ((uint64_t)data[0] | ((uint64_t)data[1] << 8)) & ~(uint64_t)TZR_EXT_TRANSCLUDE;
    uint16_t format = data[2] % 11;
    uint16_t language = data[3] % 7;
    std::string text(reinterpret_cast<const char *>(data + 4), size - 4);

    char *out = tzr_string_convert(text.c_str(), extensions, format, language);
    // The text form of an export always ends with its one newline.
    if (out && format != TZR_FORMAT_ORIGINAL && (!*out || out[strlen(out) - 1] != '\n'))
        abort();
    free(out);

    // Packaged formats (EPUB, OpenDocument, TextBundle) would fetch the
    // input's pictures when made into files: their text form above serves.
    if (tzr_format_is_packaged(format))
        return 0;
    DString *file = tzr_string_convert_to_data(text.c_str(), extensions, format, language, nullptr);
    // The source format's data is the source itself, up to its first NUL.
    if (format == TZR_FORMAT_ORIGINAL &&
        (!file || file->length != strlen(text.c_str()) || memcmp(file->str, text.c_str(), file->length)))
        abort();
    d_string_free(file, true);
    return 0;
}

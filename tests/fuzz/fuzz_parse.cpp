// Parses arbitrary bytes with arbitrary extension flags, as a whole and over
// a range; the sanitizers check the tree building, pairing and freeing.
#include <cstdint>
#include <cstring>
#include <string>

#include "library/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4)
        return 0;
    uint64_t extensions = (uint64_t)data[0] | ((uint64_t)data[1] << 8);
    size_t start = data[2];
    size_t len = data[3] == 255 ? (size_t)-1 : data[3];
    std::string text(reinterpret_cast<const char *>(data + 4), size - 4);
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), extensions);
    if (!e)
        return 0;
    tzr_engine_parse_string(e);
    token_tree_free(tzr_engine_parse_substring(e, start, len));
    tzr_engine_free(e, true);
    return 0;
}

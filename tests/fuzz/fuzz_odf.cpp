// Parses random bytes and writes them as an OpenDocument body, flat or with
// pictures named for the zipped package (drawn from the first byte), then
// wraps the body as a flat document. Nothing is fetched: packaging a zipped
// document would download the pictures.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/engine.h"
#include "library/export.h"
#include "library/export_context.h"
#include "library/writers/odf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint64_t kFlagChoices[] = {0x1, 0x8, 0x10, 0x20, 0x200, 0x400, 0x800};
    uint64_t flags = 0;
    int16_t format = TZR_FORMAT_FODT;
    if (size > 0) {
        for (int bit = 0; bit < 7; bit++)
            if (data[0] & (1 << bit))
                flags |= kFlagChoices[bit];
        if (data[0] & 0x80)
            format = TZR_FORMAT_ODT;
        data++;
        size--;
    }
    std::string text(reinterpret_cast<const char *>(data), size);
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), flags);
    tzr_engine_parse_string(e);
    DString *body = d_string_new("");
    tzr_export_document(body, e, format);
    if (strlen(body->str) > body->length)
        abort();
    DString *flat = tzr_fodt_create(body->str, e, nullptr);
    if (!flat || flat->length < body->length)
        abort();
    d_string_free(flat, true);
    d_string_free(body, true);
    tzr_engine_free(e, true);
    return 0;
}

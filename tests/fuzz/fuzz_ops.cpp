// Runs the public operations on random bytes: metadata questions and an
// update on one engine that was parsed and exported first, then the
// conversions under extension flags drawn from the first byte. Checks that
// an update keeps the rest of the text and that the source format gives the
// text back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tzr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint64_t kFlagChoices[] = {0x1, 0x2, 0x4, 0x10, 0x20, 0x80, 0x200, 0x1000};
    uint64_t flags = 0;
    if (size > 0) {
        for (int bit = 0; bit < 8; bit++)
            if (data[0] & (1 << bit))
                flags |= kFlagChoices[bit];
        data++;
        size--;
    }
    std::string text(reinterpret_cast<const char *>(data), size);
    text.resize(strlen(text.c_str()));

    // One engine through export, metadata questions and two updates.
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), flags);
    char *html = tzr_engine_convert(e, TZR_FORMAT_HTML);
    free(html);
    tzr_engine_has_metadata(e, nullptr);
    free(tzr_engine_metadata_keys(e));
    tzr_engine_metavalue_for_key(e, "title");
    tzr_engine_update_metavalue_for_key(e, "Title", "New value");
    tzr_engine_update_metavalue_for_key(e, "author", nullptr);
    free(tzr_engine_metadata_keys(e));
    tzr_engine_free(e, true);

    char *source = tzr_string_convert(text.c_str(), flags, TZR_FORMAT_ORIGINAL, 0);
    if (!source || text != source)
        abort();
    free(source);
    for (uint16_t format : {TZR_FORMAT_HTML, TZR_FORMAT_LATEX}) {
        DString *d = tzr_string_convert_to_data(text.c_str(), flags, format, (uint16_t)(size % 6), nullptr);
        if (d && strlen(d->str) > d->length)
            abort();
        d_string_free(d, true);
    }
    // The EPUB text only: packaging it would fetch the pictures that the
    // input names, and a fuzzer must never send requests to made-up hosts.
    free(tzr_string_convert(text.c_str(), flags, TZR_FORMAT_EPUB, (uint16_t)(size % 6)));
    return 0;
}

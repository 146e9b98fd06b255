// Runs every clean-up type and both markup toggles over random bytes with a
// range taken from the input, and a bulk replace of the input's two halves,
// checking that each reported stretch lies inside the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textengine/transforms/cleanup.h"
#include "textengine/transforms/markup_toggles.h"
#include "textengine/buffer/offsets.h"
#include "textengine/buffer/multi_edit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    size_t start = data[0], length = data[1];
    int type = data[2] % 10;
    std::string text(reinterpret_cast<const char *>(data + 3), size - 3);
    text = text.c_str();  // the engine's text ends at the first NUL

    size_t view_location = 0, view_length = 0;
    char *out = cleanup_core_range(text.c_str(), start, length, type, 0, 0, data[0] % 4,
                                   &view_location, &view_length);
    if (out) {
        size_t byte_start = 0, byte_length = 0;
        utf8_unit_range_to_byte_range(text.c_str(), view_location, view_length, &byte_start,
                                      &byte_length);
        if (byte_start > text.size() || byte_length > text.size() - byte_start)
            abort();
        free(out);
    }

    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), 0);
    size_t s = start, l = length, sel_start = 0, sel_length = 0;
    bool strong = data[2] & 1;
    char *toggled = markup_toggle_on_range(e, &s, &l, &sel_start, &sel_length, strong ? "**" : "_",
                                           strong ? "**" : "_", strong, !strong);
    if (!toggled || s > text.size() || l > text.size() - s)
        abort();
    if (sel_start + sel_length > text.size() - l + strlen(toggled))
        abort();
    free(toggled);
    tzr_engine_free(e, true);

    size_t half = text.size() / 2;
    _SString *ss = smart_string_new(text.substr(0, half).c_str(), 0xB01);
    smart_string_bulk_replace(ss, 0, (size_t)-1, text.c_str() + half, nullptr);
    if (strcmp(smart_string_text(ss), text.c_str() + half) != 0)
        abort();
    smart_string_free(ss, true);
    return 0;
}

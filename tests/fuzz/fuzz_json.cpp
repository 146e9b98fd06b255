// Feeds arbitrary bytes to the JSON reader (plain and with comments). A text
// that parses must serialise, parse back to an equal tree, copy equally, and
// load as a theme and as a key-binding table without fault.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textengine/settings/json.h"
#include "textengine/settings/keybindings.h"
#include "textengine/settings/theme.h"

namespace {

void check_round_trip(const json_value *v) {
    for (bool indented : {false, true}) {
        char *text = indented ? json_serialize_to_string_indented(v) : json_serialize_to_string(v);
        if (!text)
            abort();  // every parsed tree has a text
        json_value *back = json_parse_string(text);
        if (!back || !json_value_equal(v, back))
            abort();
        json_value_free(back);
        json_free_serialized(text);
    }
    json_value *copy = json_value_copy(v);
    if (!copy || !json_value_equal(v, copy))
        abort();
    // Not reflexive for arrays of mixed items, so only run for its safety.
    json_value_matches_schema(v, copy);
    json_value_free(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The reader takes NUL-terminated text; bytes after a NUL are never seen.
    std::string text(reinterpret_cast<const char *>(data), size);

    json_value *v = json_parse_string(text.c_str());
    if (v) {
        check_round_trip(v);
        json_object_get_string_by_path(json_value_get_object(v), text.c_str());
        json_value_free(v);

        free(theme_parse(text.c_str(), nullptr, 0));
        key_bindings_free(key_bindings_from_string(text.c_str()));
    }
    json_value *commented = json_parse_string_commented(text.c_str());
    if (commented)
        check_round_trip(commented);
    json_value_free(commented);
    return 0;
}

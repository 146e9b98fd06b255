// Updates metadata values in random text: a run of (key, value) edits, each
// made through the string form and the DString form, which must agree. A key
// and value of plain letters must read back after the edit.
// Input: the source, then edits "key\x01value\x01" after a byte 0x02.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library/tzr.h"

static bool plain(const std::string &s) {
    if (s.empty() || s.size() > 40)
        return false;
    for (unsigned char c : s)
        if (!islower(c))
            return false;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t split = input.find('\x02');
    std::string text = input.substr(0, split);
    std::vector<std::string> parts;
    if (split != std::string::npos) {
        std::string rest = input.substr(split + 1);
        size_t at = 0;
        while (at <= rest.size() && parts.size() < 16) {
            size_t next = rest.find('\x01', at);
            if (next == std::string::npos)
                next = rest.size();
            parts.push_back(rest.substr(at, next - at));
            at = next + 1;
        }
    }
    if (parts.empty())
        parts = {"title", "x"};

    DString *ds = d_string_new(text.c_str());
    std::string current = ds->str;
    for (size_t i = 0; i < parts.size(); i += 2) {
        const std::string &key = parts[i];
        const char *value = i + 1 < parts.size() ? parts[i + 1].c_str() : nullptr;
        char *updated = tzr_string_update_metavalue_for_key(current.c_str(), key.c_str(), value);
        tzr_d_string_update_metavalue_for_key(ds, key.c_str(), value);
        if (!updated || strcmp(updated, ds->str))
            abort();
        if (plain(key) && value && plain(value)) {
            char *read = tzr_string_metavalue_for_key(updated, key.c_str());
            if (!read || strcmp(read, value))
                abort();
            free(read);
        }
        current = updated;
        free(updated);
    }
    d_string_free(ds, true);

    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), 0);
    tzr_engine_update_metavalue_for_key(e, parts[0].c_str(), parts.size() > 1 ? parts[1].c_str() : nullptr);
    tzr_engine_parse_string(e);
    free(tzr_engine_metadata_keys(e));
    tzr_engine_free(e, true);
    return 0;
}

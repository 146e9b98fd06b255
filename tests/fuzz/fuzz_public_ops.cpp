// Runs the public operations that need no files on random input: the
// metadata questions in their string, DString and engine forms (which must
// agree), the parse without result and a conversion on an engine that was
// asked first. Input: a key up to the first byte 0x01, then the source.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tzr.h"

static bool same(const char *a, const char *b) {
    return (!a && !b) || (a && b && !strcmp(a, b));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    uint64_t extensions = data[0];  // below the transclusion bit
    std::string input(reinterpret_cast<const char *>(data + 1), size - 1);
    size_t cut = input.find('\x01');
    std::string key = cut == std::string::npos ? "title" : input.substr(0, cut);
    std::string text = cut == std::string::npos ? input : input.substr(cut + 1);
    const char *src = text.c_str();

    size_t end_a = 7, end_b = 7;
    bool has_a = tzr_string_has_metadata(src, &end_a);
    DString *ds = d_string_new(src);
    bool has_b = tzr_d_string_has_metadata(ds, &end_b);
    if (has_a != has_b || end_a != end_b || (has_a && end_a > strlen(src)))
        abort();

    char *keys_a = tzr_string_metadata_keys(src);
    char *keys_b = tzr_d_string_metadata_keys(ds);
    char *value_a = tzr_string_metavalue_for_key(src, key.c_str());
    char *value_b = tzr_d_string_metavalue_for_key(ds, key.c_str());
    if (!same(keys_a, keys_b) || !same(value_a, value_b) || (keys_a && !has_a))
        abort();
    // The DString forms give the caller's text back unchanged.
    if (ds->length != strlen(src) || strcmp(ds->str, src))
        abort();

    // The string forms read with extensions 0; so does this engine.
    tzr_engine *e = tzr_engine_create_with_string(src, 0);
    char *keys_c = tzr_engine_metadata_keys(e);
    const char *value_c = tzr_engine_metavalue_for_key(e, key.c_str());
    if (!same(keys_a, keys_c) || !same(value_a, value_c))
        abort();
    tzr_engine_free(e, true);

    // An engine asked about its metadata first, then converted.
    e = tzr_engine_create_with_string(src, extensions);
    free(tzr_engine_metadata_keys(e));
    free(tzr_engine_convert(e, TZR_FORMAT_HTML));
    free(tzr_engine_convert(e, TZR_FORMAT_LATEX));
    tzr_engine_free(e, true);

    tzr_string_parse_only(src, extensions, 0, 0);
    free(keys_a);
    free(keys_b);
    free(keys_c);
    free(value_a);
    free(value_b);
    d_string_free(ds, true);
    free(tzr_version());
    return 0;
}

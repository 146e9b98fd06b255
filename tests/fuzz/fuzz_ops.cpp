// Runs the public operations on random bytes. Input: one byte of extension
// flags, then an optional metadata key up to the first byte 0x01, then the
// source. Checks that the string, DString and engine forms of the metadata
// questions agree, that an update keeps the rest of the text, and that the
// source format gives the text back unchanged; then the conversions.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/tzr.h"

static bool same(const char *a, const char *b) {
    return (!a && !b) || (a && b && !strcmp(a, b));
}

static void check_metadata_forms_agree(const char *src, const char *key) {
    size_t end_a = 7, end_b = 7;
    bool has_a = tzr_string_has_metadata(src, &end_a);
    DString *ds = d_string_new(src);
    bool has_b = tzr_d_string_has_metadata(ds, &end_b);
    if (has_a != has_b || end_a != end_b || (has_a && end_a > strlen(src)))
        abort();

    char *keys_a = tzr_string_metadata_keys(src);
    char *keys_b = tzr_d_string_metadata_keys(ds);
    char *value_a = tzr_string_metavalue_for_key(src, key);
    char *value_b = tzr_d_string_metavalue_for_key(ds, key);
    if (!same(keys_a, keys_b) || !same(value_a, value_b) || (keys_a && !has_a))
        abort();
    // The DString forms give the caller's text back unchanged.
    if (ds->length != strlen(src) || strcmp(ds->str, src))
        abort();

    // The string forms read with extensions 0; so does this engine.
    tzr_engine *e = tzr_engine_create_with_string(src, 0);
    char *keys_c = tzr_engine_metadata_keys(e);
    const char *value_c = tzr_engine_metavalue_for_key(e, key);
    if (!same(keys_a, keys_c) || !same(value_a, value_c))
        abort();
    tzr_engine_free(e, true);
    free(keys_a);
    free(keys_b);
    free(keys_c);
    free(value_a);
    free(value_b);
    d_string_free(ds, true);
}

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
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t cut = input.find('\x01');
    std::string key = cut == std::string::npos ? "title" : input.substr(0, cut);
    std::string text = cut == std::string::npos ? input : input.substr(cut + 1);
    key.resize(strlen(key.c_str()));
    text.resize(strlen(text.c_str()));

    check_metadata_forms_agree(text.c_str(), key.c_str());

    // One engine asked about its metadata, exported, updated twice, asked again.
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), flags);
    free(tzr_engine_metadata_keys(e));
    char *html = tzr_engine_convert(e, TZR_FORMAT_HTML);
    free(html);
    free(tzr_engine_convert(e, TZR_FORMAT_LATEX));
    tzr_engine_has_metadata(e, nullptr);
    tzr_engine_metavalue_for_key(e, key.c_str());
    tzr_engine_update_metavalue_for_key(e, "Title", "New value");
    tzr_engine_update_metavalue_for_key(e, "author", nullptr);
    free(tzr_engine_metadata_keys(e));
    tzr_engine_free(e, true);

    tzr_string_parse_only(text.c_str(), flags, 0, 0);
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
    free(tzr_version());
    return 0;
}

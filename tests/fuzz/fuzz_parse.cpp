// Parses arbitrary bytes with arbitrary extension flags, as a whole, over a
// range, and again from places inside its blocks with their opening lines;
// the sanitizers check the tree building, pairing and freeing.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

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
    struct Place {
        size_t position;
        std::vector<unsigned short> opening;
    };
    std::vector<Place> places;
    token *whole = tzr_engine_parse_substring(e, 0, (size_t)-1);
    tzr_tree_resume_points(
        e, whole, 0, (size_t)-1,
        [](void *context, size_t position, const unsigned short *opening, size_t levels) {
            auto *found = static_cast<std::vector<Place> *>(context);
            if (found->size() < 16)
                found->push_back({position, {opening, opening + levels}});
        },
        &places);
    token_tree_free(whole);
    for (const Place &place : places)
        token_tree_free(tzr_engine_parse_substring_within(e, place.position, (size_t)-1, place.opening.data(),
                                                          place.opening.size()));
    tzr_engine_free(e, true);
    return 0;
}

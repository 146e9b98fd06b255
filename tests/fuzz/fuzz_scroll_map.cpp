// Builds the scroll map of a random text against a random page: the text is
// parsed as the synchroniser parses it, the page's top-level elements (their
// names, tops and heights, any number, any value) and the editor's places
// for the text come from the input too, the editor's either in proportion
// to the text or anywhere at all. Checks that the map stays sorted by page
// position and that lookups either way give a number or NaN, never a crash.
#include <fuzzer/FuzzedDataProvider.h>

#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "library/engine.h"
#include "library/tzr.h"
#include "window/scrollsync/scroll_map.h"

namespace {

// A failed check names itself before the abort that reports the input.
#define check(condition) \
    ((condition) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #condition), abort()))

const char *const kNames[] = {"P", "FIGURE", "H1", "H2", "H3", "H4", "H5", "H6", "UL", "OL",
                              "TABLE", "BLOCKQUOTE", "LI", "#comment", "DIV", "#text", "PRE", "HR"};

double number(FuzzedDataProvider &input) {
    switch (input.ConsumeIntegralInRange(0, 9)) {
    case 0:
        return std::numeric_limits<double>::quiet_NaN();
    case 1:
        return std::numeric_limits<double>::infinity();
    case 2:
        return -input.ConsumeFloatingPointInRange(0.0, 1e6);
    case 3:
        return input.ConsumeFloatingPoint<double>();
    default:
        return input.ConsumeFloatingPointInRange(0.0, 20000.0);
    }
}

preview::PageGeometry page(FuzzedDataProvider &input) {
    preview::PageGeometry geometry;
    geometry.documentHeight = number(input);
    geometry.viewHeight = number(input);
    geometry.scrollY = number(input);
    geometry.body = QRectF(number(input), number(input), number(input), number(input));
    const size_t count = input.ConsumeIntegralInRange<size_t>(0, 64);
    for (size_t i = 0; i < count; i++)
        geometry.children.push_back({QString::fromLatin1(kNames[input.ConsumeIntegralInRange<size_t>(0, 17)]),
                                     number(input), number(input)});
    return geometry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint64_t extensions = input.ConsumeIntegral<uint32_t>();
    const bool proportional = input.ConsumeBool();
    const preview::PageGeometry geometry = page(input);
    std::vector<double> places;
    if (!proportional)
        for (int i = 0; i < 32; i++)
            places.push_back(number(input));
    std::string text = input.ConsumeRemainingBytesAsString();
    text = text.c_str();

    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), extensions);
    const int base = scrollsync::baseHeaderLevel(tzr_engine_metavalue_for_key(e, "baseheaderlevel"),
                                                 tzr_engine_metavalue_for_key(e, "htmlheaderlevel"));
    tzr_engine_parse_string(e);
    const size_t length = e->source->length;
    scrollsync::Utf16Offsets units(e->source->str, length);
    const double total = double(units.unitsAt(length)) + 1;
    size_t asked = 0;
    const std::optional<scrollsync::ScrollMap> map = scrollsync::buildScrollMap(
        tzr_engine_root(e), length, base, geometry, [&](size_t start, size_t span) {
            if (!proportional) {
                const double top = places[asked++ % places.size()];
                return QRectF(0, top, 1, places[asked++ % places.size()]);
            }
            const double first = double(units.unitsAt(start));
            const double last = double(units.unitsAt(start + span));
            return QRectF(0, first / total, 1, (last - first) / total);
        });
    tzr_engine_free(e, true);
    if (!map)
        return 0;

    for (size_t i = 1; i < map->entries.size(); i++)
        check(map->entries[i - 1].web <= map->entries[i].web);
    for (double x : {-1.0, 0.0, 0.001, 0.25, 0.5, 0.75, 0.999, 1.0, 2.0,
                     std::numeric_limits<double>::quiet_NaN()}) {
        const double web = map->webOffsetFromEditorOffset(x);
        const double edit = map->editorOffsetFromWebOffset(x);
        check(std::isnan(web) || std::isfinite(web));
        check(std::isnan(edit) || std::isfinite(edit));
    }
    return 0;
}

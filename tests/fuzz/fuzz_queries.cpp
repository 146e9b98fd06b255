// Runs the sidebar queries over random bytes after a parse and an HTML
// export, and the source preparation without transclusion (which would read
// files), under extension flags drawn from the first byte. Checks that every
// offset handed out stays inside the text's UTF-16 length.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "library/queries.h"
#include "library/transclude.h"
#include "library/tzr.h"
#include "library/utf16_units.h"

namespace {

size_t text_units;

void check_entries(const header *h) {
    for (; h; h = h->next) {
        if (!h->title || h->start > text_units || h->len > text_units - h->start)
            abort();
        check_entries(h->child);  // at most six levels deep
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint64_t kFlagChoices[] = {0x1, 0x8, 0x10, 0x20, 0x200, 0x400, 0x800, 0x80};
    uint64_t flags = 0;
    if (size > 0) {
        for (int bit = 0; bit < 8; bit++)
            if (data[0] & (1 << bit))
                flags |= kFlagChoices[bit];
        data++;
        size--;
    }
    std::string text(reinterpret_cast<const char *>(data), size);

    DString *prepared = d_string_new(text.c_str());
    tzr_prepare_source(prepared, flags, nullptr, nullptr, TZR_FORMAT_HTML);
    d_string_free(prepared, true);

    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), flags);
    free(tzr_engine_convert(e, TZR_FORMAT_HTML));
    text_units = utf16_units_in_range(e->source->str, e->source->length);

    header *toc = tzr_engine_toc_entries(e);
    check_entries(toc);
    toc_entry_free(toc);
    stack *changes = tzr_engine_critic_changes(e);
    for (size_t i = 0; changes && i < changes->size; i++)
        check_entries(static_cast<header *>(changes->element[i]));
    critic_change_list_free(changes);
    string_stack_free(tzr_engine_reference_labels(e));
    string_stack_free(tzr_engine_local_resources(e, nullptr, nullptr));
    tzr_engine_free(e, true);
    return 0;
}

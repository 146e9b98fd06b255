// Parses random bytes and writes them as a complete HTML document with every
// note section, under extension flags drawn from the first byte; checks that
// the output stays one NUL-terminated string.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/engine.h"
#include "library/export_context.h"
#include "library/writers/html.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const uint64_t kFlagChoices[] = {0x1, 0x8, 0x10, 0x20, 0x200, 0x400, 0x800, 0x1000};
    uint64_t flags = 0x2;
    if (size > 0) {
        for (int bit = 0; bit < 8; bit++)
            if (data[0] & (1 << bit))
                flags |= kFlagChoices[bit];
        data++;
        size--;
    }
    // Accept and reject never come without CriticMarkup, and never together.
    if (flags & 0xC00)
        flags = (flags & ~0x800ull) | 0x200;
    std::string text(reinterpret_cast<const char *>(data), size);
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), flags);
    tzr_engine_parse_string(e);
    tzr_export_context *c = tzr_export_context_new(e, TZR_FORMAT_HTML);
    c->record_assets = 1;
    const char *src = e->source->str;
    DString *out = d_string_new("");
    html_write_document_start(out, src, c);
    html_export_token_chain(out, src, e->root, c);
    html_write_footnotes(out, src, c);
    html_write_glossary(out, src, c);
    html_write_citations(out, src, c);
    html_write_document_end(out, src, c);
    if (strlen(out->str) > out->length)
        abort();
    d_string_free(out, true);
    e->asset_table = c->asset_table;
    tzr_export_context_free(c);
    tzr_engine_free(e, true);
    return 0;
}

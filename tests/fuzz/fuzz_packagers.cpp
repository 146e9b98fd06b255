// Exports random bytes as the XHTML of a book and runs the packagers' text
// steps over the result: the TextBundle source rewrite (with every recorded
// asset counted as stored) and the EPUB package and navigation documents.
// No archive is built and nothing is fetched, so no input reaches the
// network or the file system.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/engine.h"
#include "library/export.h"
#include "library/export_context.h"
#include "library/tzr.h"
#include "library/writers/epub.h"
#include "library/writers/textbundle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint64_t flags = 0x10;
    if (size > 0) {
        if (data[0] & 1)
            flags |= 0x20;  // no heading labels
        if (data[0] & 2)
            flags |= 0x8;
        data++;
        size--;
    }
    std::string text(reinterpret_cast<const char *>(data), size);
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), flags);
    tzr_engine_parse_string(e);
    DString *body = d_string_new("");
    tzr_export_document(body, e, TZR_FORMAT_TEXTBUNDLE_COMPRESSED);

    DString *copy = d_string_new("");
    d_string_append_c_array(copy, e->source->str, e->source->length);
    textbundle_markdown_text(copy, e);
    if (strlen(copy->str) != copy->length)
        abort();
    d_string_free(copy, true);

    tzr_export_context *c = tzr_export_context_new(e, TZR_FORMAT_EPUB);
    epub_manifest_asset asset = {"00000000-0000-4000-8000-000000000000.png", "image/png"};
    free(epub_package_opf(c, &asset, 1));
    char *nav = epub_nav_xhtml(e, c, body->str);
    if (!nav || !strstr(nav, "<li>"))
        abort();
    free(nav);
    tzr_export_context_free(c);

    d_string_free(body, true);
    tzr_engine_free(e, true);
    return 0;
}

// The writers and packagers of each output format. A format gets its entry
// here once its writers exist; until then an export writes nothing for it
// and its data is NULL.
#include "export.h"
#include "export_context.h"
#include "writers/html.h"

namespace {

// HTML: a complete document only when asked for; images keep their URLs but
// are recorded for the local-resources query.
constexpr tzr_format_writers kHtml = {
    false, false, true, html_write_document_start, html_export_token_chain,
    {html_write_footnotes, html_write_glossary, html_write_citations, nullptr},
    html_write_document_end,
};

}  // namespace

const tzr_format_writers *tzr_format_writers_for(int16_t format) {
    switch (format) {
    case TZR_FORMAT_HTML:
        return &kHtml;
    // EPUB (1) and TextBundle (7, 8) write the HTML body with "assets/" image
    // names and always as a complete document: an entry like kHtml with
    // always_complete and pack_assets set, added together with their
    // packagers below.
    default:
        return nullptr;
    }
}

bool tzr_format_is_packaged(uint16_t format) {
    return format == TZR_FORMAT_EPUB || format == TZR_FORMAT_FODT || format == TZR_FORMAT_ODT ||
           format == TZR_FORMAT_TEXTBUNDLE || format == TZR_FORMAT_TEXTBUNDLE_COMPRESSED;
}

tzr_packager tzr_format_packager_for(uint16_t format) {
    switch (format) {
    // EPUB (1), flat and zipped OpenDocument (5, 6) and TextBundle (7, 8)
    // get their packagers here when those writers join the build. Until
    // then their data is NULL rather than a bare text posing as the file.
    default:
        return nullptr;
    }
}

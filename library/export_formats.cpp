// The writers of each output format. A format gets its entry here once its
// writers exist; until then it has none and exports write nothing for it.
#include "export.h"
#include "export_context.h"
#include "epub.h"
#include "html.h"
#include "odf.h"
#include "textbundle.h"

namespace {

const tzr_format_writers kFlatOdt = {false, false, false, nullptr, tzr_odf_export_token_chain,
                                     {}, nullptr};
// EPUB and TextBundle hold a complete XHTML document whose pictures point at
// the package's own copies.
const tzr_format_writers kPackagedHtml = {
    true,
    true,
    false,
    html_write_document_start,
    html_export_token_chain,
    {html_write_footnotes, html_write_glossary, html_write_citations, nullptr},
    html_write_document_end};
const tzr_format_writers kOdt = {false, true, false, nullptr, tzr_odf_export_token_chain, {},
                                 nullptr};

}  // namespace

const tzr_format_writers *tzr_format_writers_for(int16_t format) {
    switch (format) {
    case TZR_FORMAT_FODT:
        return &kFlatOdt;
    case TZR_FORMAT_ODT:
        return &kOdt;
    case TZR_FORMAT_EPUB:
    case TZR_FORMAT_TEXTBUNDLE:
    case TZR_FORMAT_TEXTBUNDLE_COMPRESSED:
        return &kPackagedHtml;
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
    case TZR_FORMAT_FODT:
        return tzr_fodt_create;
    case TZR_FORMAT_ODT:
        return tzr_odt_create;
    case TZR_FORMAT_EPUB:
        return epub_build_archive;
    case TZR_FORMAT_TEXTBUNDLE:
    case TZR_FORMAT_TEXTBUNDLE_COMPRESSED:
        return tzr_textbundle_create;
    default:
        return nullptr;
    }
}

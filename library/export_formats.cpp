// The writers and packagers of each output format. A format gets its entry
// here once its writers exist; until then an export writes nothing for it
// and its data is NULL.
#include "library/export.h"
#include "library/export_context.h"
#include "library/writers/latex.h"
#include "library/tzr.h"
#include "library/writers/epub.h"
#include "library/writers/html.h"
#include "library/writers/odf.h"
#include "library/writers/textbundle.h"

namespace {

// HTML: a complete document only when asked for; images keep their URLs but
// are recorded for the local-resources query.
constexpr tzr_format_writers kHtml = {
    false, false, true, html_write_document_start, html_export_token_chain,
    {html_write_footnotes, html_write_glossary, html_write_citations, nullptr},
    html_write_document_end,
};

// EPUB and TextBundle: always a complete XHTML document whose pictures and
// style sheet point at the package's own copies.
constexpr tzr_format_writers kPackagedHtml = {
    true, true, false, html_write_document_start, html_export_token_chain,
    {html_write_footnotes, html_write_glossary, html_write_citations, nullptr},
    html_write_document_end,
};

// The last heading's frames and groups close before the bibliography slide.
void beamer_close_frames(DString *out, const char *, tzr_export_context *context) {
    beamer_frame_stack_update(out, nullptr, context);
}

const tzr_format_writers kLatex = {false, false, false, latex_write_document_start,
                                   latex_export_token_chain, {latex_write_bibliography},
                                   latex_write_document_end};
const tzr_format_writers kBeamer = {false, false, false, latex_write_document_start,
                                    beamer_export_token_chain,
                                    {beamer_close_frames, beamer_write_bibliography},
                                    beamer_write_document_end};
const tzr_format_writers kMemoir = {false, false, false, latex_write_document_start,
                                    memoir_export_token_chain, {latex_write_bibliography},
                                    latex_write_document_end};

// OpenDocument: the body alone, which the packagers wrap; the zipped kind
// names its images "Pictures/" and their asset names.
constexpr tzr_format_writers kFlatOdt = {false, false, false, nullptr, tzr_odf_export_token_chain,
                                         {}, nullptr};
constexpr tzr_format_writers kOdt = {false, true, false, nullptr, tzr_odf_export_token_chain, {},
                                     nullptr};

}  // namespace

const tzr_format_writers *tzr_format_writers_for(int16_t format) {
    switch (format) {
    case TZR_FORMAT_HTML:
        return &kHtml;
    case TZR_FORMAT_FODT:
        return &kFlatOdt;
    case TZR_FORMAT_ODT:
        return &kOdt;
    case TZR_FORMAT_EPUB:
    case TZR_FORMAT_TEXTBUNDLE:
    case TZR_FORMAT_TEXTBUNDLE_COMPRESSED:
        return &kPackagedHtml;
    case TZR_FORMAT_LATEX:
        return &kLatex;
    case TZR_FORMAT_BEAMER:
        return &kBeamer;
    case TZR_FORMAT_MEMOIR:
        return &kMemoir;
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

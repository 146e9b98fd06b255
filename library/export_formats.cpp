// The writers of each output format. A format gets its entry here once its
// writers exist; until then it has none and exports write nothing for it.
#include "export.h"
#include "export_context.h"
#include "latex.h"

namespace {

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

}  // namespace

const tzr_format_writers *tzr_format_writers_for(int16_t format) {
    switch (format) {
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
    // EPUB (1), flat and zipped OpenDocument (5, 6) and TextBundle (7, 8)
    // get their packagers here when those writers join the build. Until
    // then their data is NULL rather than a bare text posing as the file.
    default:
        return nullptr;
    }
}

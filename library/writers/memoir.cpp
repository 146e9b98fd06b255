// Memoir books: LaTeX with the document's top-level code blocks indented.
#include "library/writers/latex.h"
#include "library/writers/latex_internal.h"

using namespace latex_detail;

void memoir_export_token_chain(DString *out, const char *source, token *t,
                               tzr_export_context *context) {
    walk_chain_bounded(out, source, t, context, memoir_export_token, latex_print_escaped_bytes);
}

void memoir_export_token(DString *out, const char *source, token *t, tzr_export_context *context) {
    if (!out || !source || !t || !context)
        return;
    switch (t->type) {
    case DOC_ROOT:
        memoir_export_token_chain(out, source, t->child, context);
        break;
    case BLOCK_CODE_FENCED:
        latex_write_fenced_code(out, source, t, context, TZR_FORMAT_MEMOIR, true);
        break;
    case BLOCK_CODE_INDENTED:
        latex_write_indented_code(out, source, t, context, true);
        break;
    default:
        latex_export_token(out, source, t, context);
    }
}

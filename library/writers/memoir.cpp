// Memoir books: LaTeX with the document's top-level code blocks indented.
#include "latex.h"
#include "latex_internal.h"

using namespace latex_detail;

void memoir_export_token_chain(DString *out, const char *source, token *t,
                               tzr_export_context *context) {
    if (!out || !source || !context || context->walk_depth >= kMaxDepth)
        return;
    context->walk_depth++;
    for (; t; t = t->next) {
        if (context->skip_count) {
            context->skip_count--;
            continue;
        }
        memoir_export_token(out, source, t, context);
    }
    context->walk_depth--;
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
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, "\\begin{adjustwidth}{2.5em}{2.5em}\\begin{verbatim}\n");
        latex_export_verbatim_chain(out, source, t->child, context);
        d_string_append(out, "\\end{verbatim}\n\\end{adjustwidth}");
        context->newline_count = 0;
        break;
    default:
        latex_export_token(out, source, t, context);
    }
}

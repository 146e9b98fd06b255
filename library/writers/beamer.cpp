// Beamer slides: headings open and close frames and article-mode groups as
// their levels go up and down; everything else is written as LaTeX.
#include "library/writers/latex.h"
#include "library/labels.h"
#include "library/writers/latex_internal.h"

using namespace latex_detail;

namespace {

// Slide level 3 is a frame, 4 an article-mode group; others open nothing.
int slide_level(const token *heading, const tzr_export_context *context) {
    int sum = latex_heading_sum(heading, context);
    return sum ? sum - 1 : 0;
}

void write_heading(DString *out, const char *source, token *t, tzr_export_context *context) {
    tzr_pad_newlines(out, 2, context);
    beamer_frame_stack_update(out, t, context);
    if (!(context->ext_flags & TZR_EXT_NO_LABELS))
        tzr_header_manual_label(t, source);  // retyped so the title leaves it out
    auto title = [&](DString *text) { beamer_export_token_chain(text, source, t->child, context); };
    switch (latex_heading_sum(t, context)) {
    case 2: open_moving_argument(out, "\\part", title); break;
    case 3: open_moving_argument(out, "\\section", title); break;
    case 4: open_moving_argument(out, "\\frametitle", title); break;
    default:
        // Emphasis in the text is no moving argument.
        d_string_append(out, "\\emph{");
        title(out);
    }
    latex_write_heading_label(out, source, t, context);
    context->newline_count = 0;
}

}  // namespace

void beamer_frame_stack_update(DString *out, token *heading, tzr_export_context *context) {
    if (!out || !context || !context->open_headings)
        return;
    int level = heading ? slide_level(heading, context) : 0;
    stack *open = context->open_headings;
    while (open->size) {
        int top = slide_level(static_cast<token *>(stack_peek(open)), context);
        if (top < level)
            break;
        if (top == 4 || top == 3) {
            tzr_pad_newlines(out, 1, context);
            d_string_append(out, top == 4 ? "}\n\n" : "\\end{frame}\n\n");
            context->newline_count = 2;
        }
        stack_pop(open);
    }
    if (level == 4) {
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, "\\mode<article>{");
        context->newline_count = 0;
        stack_push(open, heading);
    } else if (level == 3) {
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, "\\begin{frame}[fragile]\n");
        context->newline_count = 1;
        stack_push(open, heading);
    }
}

void beamer_export_token_chain(DString *out, const char *source, token *t,
                               tzr_export_context *context) {
    walk_chain_bounded(out, source, t, context, beamer_export_token, latex_print_escaped_bytes);
}

void beamer_export_token(DString *out, const char *source, token *t, tzr_export_context *context) {
    if (!out || !source || !t || !context)
        return;
    switch (t->type) {
    case DOC_ROOT:
        beamer_export_token_chain(out, source, t->child, context);
        break;
    case BLOCK_CODE_FENCED:
        latex_write_fenced_code(out, source, t, context, TZR_FORMAT_BEAMER, false);
        break;
    case BLOCK_H1:
    case BLOCK_H2:
    case BLOCK_H3:
    case BLOCK_H4:
    case BLOCK_H5:
    case BLOCK_H6:
    case BLOCK_SETEXT_1:
    case BLOCK_SETEXT_2:
        write_heading(out, source, t, context);
        break;
    default:
        latex_export_token(out, source, t, context);
    }
}

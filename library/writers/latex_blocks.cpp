// Block-level cases of the LaTeX token writer: paragraphs, headings,
// quotes, lists, definitions, code blocks, rules, tables and the table of
// contents. Beamer and Memoir take the headings and code blocks from here.
#include <cstdlib>
#include <cstring>

#include "library/labels.h"
#include "library/writers/latex.h"
#include "library/writers/latex_internal.h"
#include "library/notes.h"

using namespace latex_detail;

namespace {

// Blocks that are their content between two literals.
constexpr block_row kLatexFrames[] = {
    {BLOCK_BLOCKQUOTE,
     {.pad = 2, .open = "\\begin{quote}\n", .after_open = 2, .pad_close = 1,
      .close = "\\end{quote}", .after = 0}},
    {BLOCK_DEFLIST,
     {.pad = 2, .open = "\\begin{description}\n", .after_open = 2, .pad_close = 1,
      .close = "\\end{description}\n", .after = 1, .joins_run = true}},
    {BLOCK_DEFINITION, {.pad = 2, .after = 0}},
    {BLOCK_PARA, {.pad = 2, .after = 0}},
    {BLOCK_HR,
     {.pad = 2, .open = "\\begin{center}\\rule{3in}{0.4pt}\\end{center}", .after = 0,
      .without_children = true}},
    {BLOCK_LIST_BULLETED,
     {.pad = 2, .open = "\\begin{itemize}", .after_open = 1, .pad_close = 2,
      .close = "\\end{itemize}", .after = 0}},
    {BLOCK_LIST_BULLETED_LOOSE,
     {.pad = 2, .open = "\\begin{itemize}", .after_open = 1, .pad_close = 2,
      .close = "\\end{itemize}", .after = 0}},
    {BLOCK_LIST_ENUMERATED,
     {.pad = 2, .open = "\\begin{enumerate}", .after_open = 1, .pad_close = 2,
      .close = "\\end{enumerate}", .after = 0}},
    {BLOCK_LIST_ENUMERATED_LOOSE,
     {.pad = 2, .open = "\\begin{enumerate}", .after_open = 1, .pad_close = 2,
      .close = "\\end{enumerate}", .after = 0}},
    {BLOCK_LIST_ITEM, {.pad = 2, .open = "\\item{} ", .after_open = 2, .after = 0}},
    {BLOCK_LIST_ITEM_TEXT, {.pad = 2, .open = "\\item{} ", .after_open = 2, .after = 0}},
    {BLOCK_TABLE_SECTION, {.pad = 2, .after_open = 2, .close = "\\bottomrule", .after = 0}},
    {BLOCK_TERM, {.pad = 2, .open = "\\item[", .close = "]", .after = 0}},
    {BLOCK_TOC, {.pad = 2, .open = "\\tableofcontents", .after = 0, .without_children = true}},
};

constexpr block_frames kFrames(latex_export_token_chain, kLatexFrames);

// --- Tables ---------------------------------------------------------------------------

void write_table(DString *out, const char *source, token *t, tzr_export_context *context) {
    tzr_pad_newlines(out, 2, context);
    d_string_append(out, "\\begin{table}[htbp]\n");
    d_string_append(out,
                    "\\begin{minipage}{\\linewidth}\n\\setlength{\\tymax}{0.5\\linewidth}\n"
                    "\\centering\n\\small\n");
    bool caption = tzr_table_has_caption(t) && t->next && t->next->child;
    if (caption) {
        token *bracket = t->next->child;
        while (bracket && bracket->type != PAIR_BRACKET)
            bracket = bracket->next;
        if (!bracket) {
            caption = false;
        } else {
            if (bracket->child) {
                bracket->child->type = CONSUMED;
                if (bracket->child->tail)
                    bracket->child->tail->type = CONSUMED;
            }
            open_moving_argument(out, "\\caption", [&](DString *caption_text) {
                children(caption_text, source, bracket, context);
            });
            d_string_append(out, "}\n");
            token *label_bracket = bracket->next;
            while (label_bracket && label_bracket->type != PAIR_BRACKET)
                label_bracket = label_bracket->next;
            char *label = tzr_label_from_token(source, label_bracket ? label_bracket : bracket);
            d_string_append_printf(out, "\\label{%s}\n", label ? label : "");
            free(label);
        }
    }
    tzr_table_read_alignment(source, t, context);
    children(out, source, t, context);
    tzr_pad_newlines(out, 1, context);
    d_string_append(out, "\n\\end{tabulary}\n\\end{minipage}");
    d_string_append(out, "\n\\end{table}");
    context->skip_count = caption ? 1 : 0;
    context->newline_count = 0;
}

void write_table_head(DString *out, const char *source, token *t, tzr_export_context *context) {
    tzr_pad_newlines(out, 2, context);
    d_string_append(out, "\\begin{tabulary}{\\textwidth}{@{}");
    for (int32_t column = 0; column < context->table_columns; column++) {
        char letter = tzr_column_alignment(context, column);
        if (letter == 'N')
            letter = 'L';
        else if (!strchr("lrcLRC", letter) || letter == '\0')
            letter = 'l';
        d_string_append_c(out, letter);
    }
    d_string_append(out, "@{}} \\toprule\n");
    children(out, source, t, context);
    d_string_append(out, "\\midrule\n");
    context->newline_count = 1;
}

void write_table_cell(DString *out, const char *source, token *t, tzr_export_context *context) {
    token *separator = t->next && t->next->type == TABLE_DIVIDER ? t->next : nullptr;
    bool span = separator && separator->len >= 2;
    if (span) {
        d_string_append_printf(out, "\\multicolumn{%lu}{", (unsigned long)separator->len);
        switch (tzr_column_alignment(context, context->table_column)) {
        case 'L':
        case 'l':
            d_string_append(out, "l}{");
            break;
        case 'R':
        case 'r':
            d_string_append(out, "r}{");
            break;
        default:
            d_string_append(out, "c}{");
        }
    }
    children(out, source, t, context);
    if (span)
        d_string_append(out, "}");
    if (!separator) {
        context->table_column++;
    } else if (separator->next && separator->next->type == TABLE_CELL) {
        d_string_append(out, "&");
        context->table_column += (int32_t)separator->len;
    }
}

// --- Headings ---------------------------------------------------------------------------

const char *const kSectioning[] = {"\\part",       "\\chapter",       "\\section",
                                   "\\subsection", "\\subsubsection", "\\paragraph",
                                   "\\subparagraph"};

void write_heading(DString *out, const char *source, token *t, tzr_export_context *context) {
    tzr_pad_newlines(out, 2, context);
    int sum = latex_heading_sum(t, context);
    // Levels past either end of the sectioning commands take the nearest one,
    // so the closing brace written after the text always has its opening.
    if (sum < 2)
        sum = 2;
    if (sum > 8)
        sum = 8;
    if (!(context->ext_flags & TZR_EXT_NO_LABELS))
        tzr_header_manual_label(t, source);  // retyped so the text leaves it out
    open_moving_argument(out, kSectioning[sum - 2],
                         [&](DString *title) { children(title, source, t, context); });
    latex_write_heading_label(out, source, t, context);
    context->newline_count = 0;
}

// Where the group that opens at `text[open]` ("{") closes; the length of
// the text when it does not. An escaped brace ("\\{") is no group.
size_t group_end(const char *text, size_t length, size_t open) {
    int depth = 0;
    for (size_t i = open; i < length; i++) {
        if (text[i] == '\\') {
            i++;
        } else if (text[i] == '{') {
            depth++;
        } else if (text[i] == '}' && --depth == 0) {
            return i;
        }
    }
    return length;
}

}  // namespace

namespace latex_detail {

void open_argument_text(DString *out, const char *command, const char *text, size_t length) {
    static const char kFootnote[] = "\\footnote{";
    const size_t marker = sizeof kFootnote - 1;
    d_string_append(out, command);
    if (strstr(text, kFootnote)) {
        // Braced, so that a "]" in the text does not end the optional
        // argument.
        d_string_append(out, "[{");
        size_t from = 0;
        for (const char *at; (at = strstr(text + from, kFootnote));) {
            size_t start = (size_t)(at - text);
            d_string_append_c_array(out, text + from, start - from);
            from = group_end(text, length, start + marker - 1) + 1;
            if (from > length)
                from = length;
        }
        d_string_append_c_array(out, text + from, length - from);
        d_string_append(out, "}]");
    }
    d_string_append_c(out, '{');
    d_string_append_c_array(out, text, length);
}

bool export_block(DString *out, const char *source, token *t, tzr_export_context *context) {
    if (kFrames.write(out, source, t, context))
        return true;
    switch (t->type) {
    case DOC_ROOT:
    case LINE_LIST_BULLETED:
    case LINE_LIST_ENUMERATED: children(out, source, t, context); break;
    case LINE_SETEXT_2:
    case BLOCK_EMPTY:
    case BLOCK_HTML:
    case BLOCK_META: break;
    case BLOCK_CODE_FENCED:
        latex_write_fenced_code(out, source, t, context, TZR_FORMAT_LATEX, false);
        break;
    case BLOCK_CODE_INDENTED: latex_write_indented_code(out, source, t, context, false); break;
    case BLOCK_H1:
    case BLOCK_H2:
    case BLOCK_H3:
    case BLOCK_H4:
    case BLOCK_H5:
    case BLOCK_H6:
    case BLOCK_SETEXT_1:
    case BLOCK_SETEXT_2: write_heading(out, source, t, context); break;
    case BLOCK_TABLE: write_table(out, source, t, context); break;
    case BLOCK_TABLE_HEADER: write_table_head(out, source, t, context); break;
    case TABLE_ROW:
        context->table_column = 0;
        children(out, source, t, context);
        d_string_append(out, "\\\\\n");
        break;
    case TABLE_CELL: write_table_cell(out, source, t, context); break;
    default: return false;
    }
    return true;
}

}  // namespace latex_detail

int latex_heading_sum(const token *heading, const tzr_export_context *context) {
    int level = tzr_heading_level(heading);
    if (!level || !context)
        return 0;
    return context->header_level_base + level;
}

void latex_write_heading_label(DString *out, const char *source, token *heading,
                               tzr_export_context *context) {
    if (context->ext_flags & TZR_EXT_NO_LABELS) {
        d_string_append(out, "}");
        return;
    }
    token *manual = tzr_header_manual_label(heading, source);
    char *label = tzr_label_from_token(source, manual ? manual : heading);
    d_string_append_printf(out, "}\n\\label{%s}", label ? label : "");
    free(label);
}

void latex_write_indented_code(DString *out, const char *source, token *t,
                               tzr_export_context *context, bool memoir) {
    tzr_pad_newlines(out, 2, context);
    if (memoir)
        d_string_append(out, "\\begin{adjustwidth}{2.5em}{2.5em}");
    d_string_append(out, "\\begin{verbatim}\n");
    latex_export_verbatim_chain(out, source, t->child, context);
    d_string_append(out, "\\end{verbatim}");
    if (memoir)
        d_string_append(out, "\n\\end{adjustwidth}");
    context->newline_count = 0;
}

void latex_write_fenced_code(DString *out, const char *source, token *t,
                             tzr_export_context *context, int16_t format, bool memoir) {
    tzr_pad_newlines(out, 2, context);
    token *opening = t->child;
    char *language = opening ? tzr_fence_language(opening->child ? opening->child : opening, source)
                             : nullptr;
    if (language && strncmp(language, "{=", 2) == 0) {
        token *first = opening->next;
        if (tzr_raw_filter_matches(language, format) && first) {
            token *last = opening->tail ? opening->tail : opening;
            size_t end = t->start + t->len;
            int16_t count = 0;
            if (last != opening && last->type >= LINE_FENCE_3 && last->type <= LINE_FENCE_5) {
                end = last->start;
                count = 1;
            }
            if (end > first->start)
                d_string_append_c_array(out, source + first->start, end - first->start);
            context->newline_count = count;
        }
        free(language);
        return;
    }
    if (memoir)
        d_string_append(out, "\\begin{adjustwidth}{2.5em}{2.5em}\n");
    if (language)
        d_string_append_printf(out, "\\begin{lstlisting}[language=%s]\n", language);
    else
        d_string_append(out, "\\begin{verbatim}\n");
    if (opening)
        latex_export_verbatim_chain(out, source, opening->next, context);
    d_string_append(out, language ? "\\end{lstlisting}" : "\\end{verbatim}");
    if (memoir)
        d_string_append(out, "\n\\end{adjustwidth}");
    context->newline_count = 0;
    free(language);
}

// The LaTeX body writer: one token at a time, blocks and inline content.
#include "latex.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "labels.h"
#include "latex_internal.h"
#include "links.h"
#include "notes.h"
#include "scanners.h"

using namespace latex_detail;

namespace {

void children(DString *out, const char *source, token *t, tzr_export_context *context) {
    latex_export_token_chain(out, source, t->child, context);
}

// --- Typography ---------------------------------------------------------------

// Opening single, closing single, opening double, closing double by quotes
// language code.
const char *const kQuotes[7][4] = {
    {"`", "'", "``", "''"},                                       // english
    {"`", "'", "\xE2\x80\x9E", "''"},                             // dutch
    {"'", "'", "\xC2\xAB", "\xC2\xBB"},                           // french
    {"\xE2\x80\x9A", "`", "\xE2\x80\x9E", "``"},                  // german
    {"\xE2\x80\xBA", "\xE2\x80\xB9", "\xC2\xBB", "\xC2\xAB"},     // germanguillemets
    {"`", "'", "\xC2\xAB", "\xC2\xBB"},                           // spanish
    {"'", "'", "''", "''"},                                       // swedish
};

void write_quote(DString *out, token *t, tzr_export_context *context) {
    bool single = t->type == QUOTE_SINGLE;
    if (!t->mate || !(context->ext_flags & TZR_EXT_SMART)) {
        d_string_append(out, single ? "'" : "''");
        return;
    }
    bool opens = t->type != QUOTE_RIGHT_ALT && t->start < t->mate->start;
    unsigned lang = context->quotes_language < 7 ? context->quotes_language : 0;
    d_string_append(out, kQuotes[lang][(single ? 0 : 2) + (opens ? 0 : 1)]);
}

// A character reference as LaTeX: "&#" references keep their digits after
// an escaped "&#", named ones are escaped whole.
void write_html_entity(DString *out, const char *source, const token *t) {
    if (t->len > 1 && source[t->start + 1] == '#') {
        d_string_append(out, "\\&\\#");
        if (t->len > 2)
            d_string_append_c_array(out, source + t->start + 2, t->len - 2);
    } else {
        d_string_append_c(out, '\\');
        print_raw(out, source, t);
    }
}

// --- Inline pieces ----------------------------------------------------------------

// Superscript (caret) and subscript (tilde).
void write_script(DString *out, const char *source, token *t, tzr_export_context *context) {
    bool super = t->type == SUPERSCRIPT;
    const char *open = super ? "\\textsuperscript{" : "\\textsubscript{";
    if (t->mate) {
        d_string_append(out, t->start < t->mate->start ? open : "}");
    } else if (t->len == 1) {
        d_string_append(out, super ? "\\^{}" : "\\ensuremath{\\sim}");
    } else {
        d_string_append(out, open);
        latex_export_token(out, source, t->child, context);
        d_string_append(out, "}");
    }
}

// Math keeps its source; an environment is passed on without delimiters.
void write_math(DString *out, const char *source, token *t, tzr_export_context *context) {
    token *open = t->child;
    token *close = open ? open->mate : nullptr;
    if (!close || close->start < open->start + open->len) {
        children(out, source, t, context);
        return;
    }
    size_t inner = open->start + open->len;
    bool environment = strncmp(source + inner, "\\begin", 6) == 0;
    if (!environment)
        latex_export_token(out, source, open, context);
    d_string_append_c_array(out, source + inner, close->start - inner);
    if (!environment)
        latex_export_token(out, source, close, context);
}

void write_automatic_link(DString *out, const char *source, token *t,
                          tzr_export_context *context) {
    char *url = tzr_url_from_range(source, t->start, t->len, nullptr, true);
    if (url) {
        d_string_append(out, "\\href{");
        if (scan_email(url) && strncmp(url, "mailto:", 7) != 0)
            d_string_append(out, "mailto:");
        latex_print_url(out, url);
        d_string_append(out, "}{");
        latex_print_escaped_string(out, url);
        d_string_append(out, "}");
        free(url);
        return;
    }
    const char *at = source + t->start;
    if (!scan_html(at)) {
        children(out, source, t, context);
        return;
    }
    // An HTML comment carries raw LaTeX; other inline HTML is dropped.
    size_t comment = scan_html_comment(at);
    if (comment >= 7)
        d_string_append_c_array(out, at + 4, comment - 7);
}

void write_link_or_image(DString *out, const char *source, token *t, tzr_export_context *context) {
    bool written = export_bracket_link(source, context, t, [&](tzr_link *link) {
        if (t->type == PAIR_BRACKET_IMAGE)
            latex_write_image(out, source, t, link, context, image_is_figure(t));
        else
            latex_write_link(out, source, t, link, context);
    });
    if (!written)
        children(out, source, t, context);
}

// --- Notes ----------------------------------------------------------------------------

size_t count_of(const stack *s) { return s ? s->size : 0; }

// A note bracket that names no note, written as its text: `mark`, the
// tokens after the opening mark, "]".
void write_literal_bracket(DString *out, const char *source, token *t, tzr_export_context *context,
                           const char *mark) {
    d_string_append(out, mark);
    if (t->child)
        latex_export_token_chain(out, source, t->child->next, context);
    d_string_append(out, "]");
}

void write_footnote(DString *out, const char *source, token *t, tzr_export_context *context) {
    uint16_t number = TZR_NO_NOTE;
    tzr_footnote_from_bracket(source, context, t, &number);
    tzr_note *note = used_note(context->footnotes_used, number);
    if (!note) {
        children(out, source, t, context);
        return;
    }
    // A footnote is expanded where it is used. Inside the text of another
    // footnote a reference is not expanded again: a note that names itself,
    // or two that name each other, would otherwise be copied into each other
    // until the depth limit, doubling the output at every level.
    if (context->footnote_current)
        return;
    d_string_append(out, "\\footnote{");
    // Every use, not only the first, starts the note without a blank line:
    // a paragraph break at the head of the group is an error in classes
    // whose footnotes take no paragraphs (Beamer).
    context->newline_count = 2;
    context->footnote_current = number;
    latex_export_token_chain(out, source, note->content, context);
    context->footnote_current = 0;
    d_string_append(out, "}");
}

void write_glossary(DString *out, const char *source, token *t, tzr_export_context *context) {
    size_t used_before = count_of(context->glossary_used);
    size_t inline_before = count_of(context->glossary_inline);
    uint16_t number = TZR_NO_NOTE;
    tzr_glossary_from_bracket(source, context, t, &number);
    tzr_note *note = used_note(context->glossary_used, number);
    if (!note) {
        write_literal_bracket(out, source, t, context, "[?");
        return;
    }
    const char *term = note->clean_text ? note->clean_text : "";
    if (count_of(context->glossary_used) > used_before &&
        count_of(context->glossary_inline) > inline_before) {
        d_string_append_printf(out, "\\newglossaryentry{%s}{name=%s, description={", term, term);
        context->newline_count = 2;  // no paragraph break: the description is not long
        latex_export_token_chain(out, source, note->content, context);
        d_string_append(out, "}}");
    }
    d_string_append_printf(out, "\\gls{%s}", term);
}

void write_abbreviation(DString *out, const char *source, token *t, tzr_export_context *context) {
    size_t inline_before = count_of(context->abbreviations_inline);
    uint16_t number = TZR_NO_NOTE;
    tzr_abbreviation_from_bracket(source, context, t, &number);
    tzr_note *note = used_note(context->abbreviations_used, number);
    if (!note) {
        write_literal_bracket(out, source, t, context, "[>");
        return;
    }
    const char *label = note->label_text ? note->label_text : "";
    if (count_of(context->abbreviations_inline) > inline_before)
        d_string_append_printf(out, "\\newacronym{%s}{%s}{%s}", label, label,
                               note->clean_text ? note->clean_text : "");
    d_string_append_printf(out, "\\gls{%s}", label);
}

// A citation, with the bracket before it as its locator when there is one.
void write_citation(DString *out, const char *source, token *cite, token *locator_bracket,
                    tzr_export_context *context) {
    char *locator = nullptr;
    bool nocite = false;
    if (locator_bracket) {
        locator = tzr_text_inside_pair(source, locator_bracket);
        if (locator) {
            char *label = tzr_label_from_text(locator);
            if (label && strcmp(label, "notcited") == 0) {
                nocite = true;
                locator[0] = '\0';
            }
            free(label);
        }
    }
    uint16_t number = TZR_NO_NOTE;
    tzr_citation_from_bracket(source, context, cite, &number);
    tzr_note *note = used_note(context->citations_used, number);
    char *key = nullptr;
    if (note && note->label_text) {
        key = strdup(note->label_text);
    } else {
        char *inside = tzr_clean_text_inside_pair(source, cite, false);
        key = strdup(inside && *inside ? inside + 1 : "");
        free(inside);
    }
    if (nocite) {
        d_string_append_printf(out, "~\\nocite{%s}", key);
    } else {
        size_t key_len = strlen(key);
        bool textual = key_len && key[key_len - 1] == ';';
        if (textual)
            key[key_len - 1] = '\0';
        if (locator && *locator) {
            char *pair = strstr(locator, "\\]\\[");
            if (pair)
                memmove(pair, pair + 1, strlen(pair + 1) + 1),
                    memmove(pair + 1, pair + 2, strlen(pair + 2) + 1);
            d_string_append_printf(out, textual ? "\\citet[%s]" : "~\\citep[%s]", locator);
        } else {
            d_string_append(out, textual ? "\\citet" : "~\\citep");
        }
        d_string_append_printf(out, "{%s}", key);
    }
    if (locator_bracket)
        context->skip_count = 1;
    free(key);
    free(locator);
}

// --- CriticMarkup -------------------------------------------------------------------

void consume_critic_marks(token *pair) {
    token *first = pair->child;
    if (!first)
        return;
    token *last = first->tail ? first->tail : first;
    for (token *m : {first, last})
        if (m->type >= CRITIC_ADD_OPEN && m->type <= CRITIC_HI_CLOSE)
            m->type = CONSUMED;
}

void write_critic(DString *out, const char *source, token *t, tzr_export_context *context) {
    uint64_t ext = context->ext_flags;
    bool on = ext & TZR_EXT_CRITIC;
    bool accept = ext & TZR_EXT_CRITIC_ACCEPT, reject = ext & TZR_EXT_CRITIC_REJECT;
    auto wrapped = [&](const char *open) {
        d_string_append(out, open);
        children(out, source, t, context);
        d_string_append(out, "}");
    };
    switch (t->type) {
    case PAIR_CRITIC_ADD:
        if (reject)
            return;
        if (!on)
            return children(out, source, t, context);
        consume_critic_marks(t);
        return accept ? children(out, source, t, context) : wrapped("\\underline{");
    case PAIR_CRITIC_DEL:
        if (accept)
            return;
        if (!on)
            return children(out, source, t, context);
        consume_critic_marks(t);
        return reject ? children(out, source, t, context) : wrapped("\\sout{");
    case PAIR_CRITIC_COM:
        if (accept || reject)
            return;
        if (!on)
            return children(out, source, t, context);
        consume_critic_marks(t);
        return wrapped("\\cmnote{");
    case PAIR_CRITIC_SUB_ADD:
    case PAIR_CRITIC_SUB_DEL: {
        bool is_new = t->type == PAIR_CRITIC_SUB_ADD;
        token *partner = is_new ? t->prev : t->next;
        bool paired =
            partner && partner->type == (is_new ? PAIR_CRITIC_SUB_DEL : PAIR_CRITIC_SUB_ADD);
        if (!on || !paired)
            return children(out, source, t, context);
        consume_critic_marks(t);
        if (is_new ? reject : accept)
            return;
        if (accept || reject)
            return children(out, source, t, context);
        return wrapped(is_new ? "\\underline{" : "\\sout{");
    }
    default:  // highlight
        if (accept || reject) {
            consume_critic_marks(t);
            return children(out, source, t, context);
        }
        if (!on)
            return children(out, source, t, context);
        consume_critic_marks(t);
        return wrapped("\\hl{");
    }
}

// --- Code spans ---------------------------------------------------------------------

bool is_blank_token(uint16_t type) {
    return type == INDENT_TAB || type == INDENT_SPACE || type == NON_INDENT_SPACE ||
           type == NEWLINE;
}

void write_code_span(DString *out, const char *source, token *t, tzr_export_context *context) {
    token *open = t->child;
    if (!open) {
        children(out, source, t, context);
        return;
    }
    token *close = open->tail ? open->tail : open;
    if (close != open) {
        token *after = open->next;
        if (after != close) {
            if (is_blank_token(after->type)) {
                after->type = CONSUMED;
            } else if (after->type == TEXT) {
                while (after->len && (source[after->start] == ' ' || source[after->start] == '\t'))
                    after->start++, after->len--;
            }
        }
        token *before = close->prev;
        if (before && before != open) {
            if (is_blank_token(before->type)) {
                before->type = CONSUMED;
            } else if (before->type == TEXT) {
                while (before->len && (source[before->start + before->len - 1] == ' ' ||
                                       source[before->start + before->len - 1] == '\t'))
                    before->len--;
            }
        }
        close->type = CONSUMED;
    }
    open->type = CONSUMED;

    if (t->next && t->next->type == PAIR_RAW_FILTER) {
        if (tzr_raw_block_matches_format(t->next, source, TZR_FORMAT_LATEX) && close != open) {
            size_t from = open->start + open->len;
            if (close->start > from)
                d_string_append_c_array(out, source + from, close->start - from);
        }
        context->skip_count = 1;
        return;
    }
    d_string_append(out, "\\texttt{");
    latex_export_code_span_chain(out, source, t->child, context);
    d_string_append(out, "}");
}

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
            d_string_append(out, "\\caption{");
            children(out, source, bracket, context);
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

const char *const kSectioning[] = {"\\part{",       "\\chapter{",   "\\section{",
                                   "\\subsection{", "\\subsubsection{", "\\paragraph{",
                                   "\\subparagraph{"};

void write_heading(DString *out, const char *source, token *t, tzr_export_context *context) {
    tzr_pad_newlines(out, 2, context);
    int sum = latex_heading_sum(t, context);
    // Levels past either end of the sectioning commands take the nearest one,
    // so the closing brace written after the text always has its opening.
    if (sum < 2)
        sum = 2;
    if (sum > 8)
        sum = 8;
    d_string_append(out, kSectioning[sum - 2]);
    if (!(context->ext_flags & TZR_EXT_NO_LABELS))
        tzr_header_manual_label(t, source);  // retyped so the text leaves it out
    children(out, source, t, context);
    latex_write_heading_label(out, source, t, context);
    context->newline_count = 0;
}

}  // namespace

// --- Public pieces ------------------------------------------------------------------

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

void latex_print_escaped_char(DString *out, char c) {
    switch (c) {
    case '#':
    case '$':
    case '%':
    case '&':
    case '_':
    case '{':
    case '}':
        d_string_append_c(out, '\\');
        d_string_append_c(out, c);
        break;
    case '/':
        d_string_append(out, "\\slash ");
        break;
    case '<':
    case '>':
        d_string_append_c(out, '$');
        d_string_append_c(out, c);
        d_string_append_c(out, '$');
        break;
    case '\\':
        d_string_append(out, "\\textbackslash{}");
        break;
    case '^':
        d_string_append(out, "\\^{}");
        break;
    case '|':
        d_string_append(out, "\\textbar{}");
        break;
    case '~':
        d_string_append(out, "\\ensuremath{\\sim}");
        break;
    default:
        d_string_append_c(out, c);
    }
}

void latex_print_escaped_string(DString *out, const char *str) {
    if (!out || !str)
        return;
    for (; *str; str++)
        latex_print_escaped_char(out, *str);
}

void latex_print_url(DString *out, const char *url) {
    if (!out || !url)
        return;
    for (; *url; url++) {
        switch (*url) {
        case '#':
        case '%':
        case '&':
            d_string_append_c(out, '\\');
            d_string_append_c(out, *url);
            break;
        // Bytes that would end or unbalance the argument, or that TeX reads
        // as commands, go in percent-encoded: the URL means the same.
        case '{':
            d_string_append(out, "\\%7B");
            break;
        case '}':
            d_string_append(out, "\\%7D");
            break;
        case '\\':
            d_string_append(out, "\\%5C");
            break;
        case '^':
            d_string_append(out, "\\%5E");
            break;
        case '~':
            d_string_append(out, "\\%7E");
            break;
        default:
            d_string_append_c(out, *url);
        }
    }
}

void latex_write_link(DString *out, const char *source, token *bracket, tzr_link *link,
                      tzr_export_context *context) {
    if (!out || !source || !bracket || !link)
        return;
    const char *url = link->url;
    if (url && url[0] == '#') {
        // Labels made by the label rule never need escaping; passing the
        // target through the same rule keeps a stray brace from unbalancing
        // the argument.
        char *target = tzr_label_from_text(url + 1);
        char *text = tzr_label_from_token(source, bracket);
        if (bracket->child && text && *text) {
            children(out, source, bracket, context);
            d_string_append_printf(out, " (\\autoref{%s})", target ? target : "");
        } else {
            d_string_append_printf(out, "\\autoref{%s}", target ? target : "");
        }
        free(text);
        free(target);
        return;
    }
    d_string_append(out, "\\href{");
    latex_print_url(out, url);
    d_string_append(out, "}{");
    token *open = bracket->child;
    if (open && open->len == 2 && open->next && open->next->start > 0) {
        // A note-style opener read as a plain bracket: its second byte is text.
        open->next->start--;
        open->next->len++;
    }
    children(out, source, bracket, context);
    d_string_append(out, "}\\footnote{\\href{");
    latex_print_url(out, url);
    d_string_append(out, "}{");
    latex_print_escaped_string(out, url);
    d_string_append(out, "}}");
}

char *latex_dimension_copy(const char *dimension) {
    if (!dimension)
        return nullptr;
    char *copy = strdup(dimension);
    if (!copy)
        return nullptr;
    size_t len = strlen(copy);
    for (size_t i = 0; i < len; i++)
        if (copy[i] >= 'A' && copy[i] <= 'Z')
            copy[i] = (char)(copy[i] - 'A' + 'a');
    if (len >= 2 && strcmp(copy + len - 2, "px") == 0)
        copy[len - 1] = 't';
    return copy;
}

void latex_write_image(DString *out, const char *source, token *image, tzr_link *link,
                       tzr_export_context *context, bool figure) {
    if (!out || !source || !image || !link)
        return;
    figure = figure && !(context->ext_flags & TZR_EXT_COMPATIBILITY);
    if (figure)
        d_string_append(out, "\\begin{figure}[htbp]\n\\centering\n");
    const char *width_value = nullptr;
    const char *height_value = nullptr;
    for (tzr_attribute *a = link->attributes; a; a = a->next) {
        if (!a->key)
            continue;
        if (strcmp(a->key, "width") == 0)
            width_value = a->value;
        else if (strcmp(a->key, "height") == 0)
            height_value = a->value;
    }
    char *width = latex_dimension_copy(width_value);
    char *height = latex_dimension_copy(height_value);
    d_string_append(out, "\\includegraphics[");
    if (!width && !height) {
        d_string_append(out, "keepaspectratio,width=\\textwidth,height=0.75\\textheight");
    } else {
        if (!width || !height)
            d_string_append(out, "keepaspectratio,");
        size_t wl = width ? strlen(width) : 0;
        size_t hl = height ? strlen(height) : 0;
        if (!width)
            d_string_append(out, "width=\\textwidth,");
        else if (wl && width[wl - 1] == '%')
            d_string_append_printf(out, "width=%.4f\\textwidth,", strtof(width, nullptr) / 100.0f);
        else
            d_string_append_printf(out, "width=%s,", width);
        if (!height)
            d_string_append(out, "height=0.75\\textheight");
        else if (hl && height[hl - 1] == '%')
            d_string_append_printf(out, "height=%.4f\\textheight",
                                   strtof(height, nullptr) / 100.0f);
        else
            d_string_append_printf(out, "height=%s", height);
    }
    free(width);
    free(height);
    d_string_append_printf(out, "]{%s}", link->url ? link->url : "");
    if (!figure)
        return;
    d_string_append(out, "\n\\caption{");
    children(out, source, image, context);
    d_string_append(out, "}\n");
    if (link->label) {
        char *label = tzr_label_from_token(source, link->label);
        d_string_append_printf(out, "\\label{%s}\n", label ? label : "");
        free(label);
    }
    d_string_append(out, "\\end{figure}");
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

void latex_export_verbatim_chain(DString *out, const char *source, token *t,
                                 tzr_export_context *context) {
    walk_chain(out, source, t, context, latex_export_verbatim_token);
}

void latex_export_verbatim_token(DString *out, const char *source, token *t,
                                 tzr_export_context *context) {
    if (!out || !source || !t)
        return;
    switch (t->type) {
    case CONSUMED:
        return;
    case CODE_FENCE_LINE:
        if (t->next)
            t->next->type = CONSUMED;
        return;
    case ESCAPED_CHARACTER:
        d_string_append_c(out, '\\');
        if (t->len > 1)
            d_string_append_c(out, source[t->start + 1]);
        return;
    case HTML_ENTITY:
        print_raw(out, source, t);
        return;
    case MARKER_LIST_BULLET:
    case MARKER_LIST_ENUMERATOR:
        d_string_append_c_array(out, source + t->start, marker_end(source, t) - t->start);
        return;
    case SUPERSCRIPT:
    case SUBSCRIPT:
        if (t->child) {
            d_string_append(out, t->type == SUPERSCRIPT ? "\\^{}" : "\\ensuremath{\\sim}");
            latex_export_verbatim_chain(out, source, t->child, context);
            return;
        }
        break;
    default:
        break;
    }
    if (t->child)
        latex_export_verbatim_chain(out, source, t->child, context);
    else
        print_raw(out, source, t);
}

void latex_export_code_span_chain(DString *out, const char *source, token *t,
                                  tzr_export_context *context) {
    walk_chain(out, source, t, context, latex_export_code_span_token);
}

void latex_export_code_span_token(DString *out, const char *source, token *t,
                                  tzr_export_context *context) {
    if (!out || !source || !t)
        return;
    static const char *const kCriticMarks[] = {"\\{++", "++\\}", "\\{--", "--\\}", "\\{>>",
                                               "<<\\}", "\\{~~", "~>",   "~",    ">",
                                               "~~\\}", "\\{==", "==\\}"};
    switch (t->type) {
    case CRITIC_ADD_OPEN ... CRITIC_SUB_DIV:
    case CRITIC_SUB_CLOSE ... CRITIC_HI_CLOSE:
        d_string_append(out, kCriticMarks[t->type - CRITIC_ADD_OPEN]);
        return;
    case UL:
        d_string_append(out, "\\_");
        return;
    case EMPH_START:
    case EMPH_STOP:
        d_string_append(out, source[t->start] == '_' ? "\\_" : "*");
        return;
    case ANGLE_LEFT:
        d_string_append(out, "<");
        return;
    case ANGLE_RIGHT:
        d_string_append(out, ">");
        return;
    case BRACE_DOUBLE_LEFT:
        d_string_append(out, "\\{\\{");
        return;
    case BRACE_DOUBLE_RIGHT:
        d_string_append(out, "\\}\\}");
        return;
    case AMPERSAND:
    case AMPERSAND_LONG:
        d_string_append(out, "\\&");
        return;
    case CODE_FENCE_LINE:
        if (t->next)
            t->next->type = CONSUMED;
        d_string_append(out, "\\$");
        return;
    case MATH_DOLLAR_SINGLE:
        d_string_append(out, "\\$");
        return;
    case MATH_DOLLAR_DOUBLE:
        d_string_append(out, "\\$\\$");
        return;
    case DASH_M:
        d_string_append(out, "-{}-{}-");
        return;
    case DASH_N:
        d_string_append(out, t->len == 1 ? "-" : "-{}-");
        return;
    case ESCAPED_CHARACTER:
        d_string_append(out, "\\textbackslash{}");
        if (t->len > 1)
            latex_print_escaped_char(out, source[t->start + 1]);
        return;
    case HTML_ENTITY:
        write_html_entity(out, source, t);
        return;
    case MATH_PAREN_OPEN ... MATH_BRACKET_CLOSE:
        d_string_append(out, "\\textbackslash{}\\textbackslash{}");
        if (t->len > 2)
            d_string_append_c(out, source[t->start + 2]);
        return;
    case SLASH:
        d_string_append(out, "\\slash ");
        return;
    case SUPERSCRIPT:
        d_string_append(out, "\\^{}");
        latex_export_code_span_chain(out, source, t->child, context);
        return;
    case SUBSCRIPT:
        d_string_append(out, "\\ensuremath{\\sim}");
        latex_export_code_span_chain(out, source, t->child, context);
        return;
    case HASH1 ... HASH6:
    case HASH:
        d_string_append_c(out, '\\');
        print_raw(out, source, t);
        return;
    case TOC:
        d_string_append(out, "\\{\\{TOC\\}\\}");
        return;
    case BACKSLASH:
        d_string_append(out, "\\textbackslash{}");
        return;
    case BRACE_LEFT:
        d_string_append(out, "\\{");
        return;
    case BRACE_RAW_LEFT:
        d_string_append(out, "\\{=");
        return;
    case BRACE_RIGHT:
        d_string_append(out, "\\}");
        return;
    case CONSUMED:
        return;
    default:
        if (t->child)
            latex_export_code_span_chain(out, source, t->child, context);
        else
            print_raw(out, source, t);
    }
}

void latex_export_token_chain(DString *out, const char *source, token *t,
                              tzr_export_context *context) {
    walk_chain_bounded(out, source, t, context, latex_export_token);
}

void latex_export_token(DString *out, const char *source, token *t, tzr_export_context *context) {
    if (!out || !source || !t || !context)
        return;
    uint64_t ext = context->ext_flags;
    bool smart = ext & TZR_EXT_SMART;
    switch (t->type) {
    // Blocks
    case DOC_ROOT:
    case LINE_LIST_BULLETED:
    case LINE_LIST_ENUMERATED:
        children(out, source, t, context);
        break;
    case BLOCK_BLOCKQUOTE:
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, "\\begin{quote}\n");
        context->newline_count = 2;
        children(out, source, t, context);
        tzr_pad_newlines(out, 1, context);
        d_string_append(out, "\\end{quote}");
        context->newline_count = 0;
        break;
    case BLOCK_CODE_FENCED:
        latex_write_fenced_code(out, source, t, context, TZR_FORMAT_LATEX, false);
        break;
    case BLOCK_CODE_INDENTED:
        latex_write_indented_code(out, source, t, context, false);
        break;
    case BLOCK_DEFLIST:
        tzr_pad_newlines(out, 2, context);
        if (!t->prev || t->prev->type != BLOCK_DEFLIST)
            d_string_append(out, "\\begin{description}\n");
        context->newline_count = 2;
        children(out, source, t, context);
        tzr_pad_newlines(out, 1, context);
        if (!t->next || t->next->type != BLOCK_DEFLIST)
            d_string_append(out, "\\end{description}\n");
        context->newline_count = 1;
        break;
    case BLOCK_DEFINITION:
    case BLOCK_PARA:
        tzr_pad_newlines(out, 2, context);
        children(out, source, t, context);
        context->newline_count = 0;
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
    case BLOCK_HR:
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, "\\begin{center}\\rule{3in}{0.4pt}\\end{center}");
        context->newline_count = 0;
        break;
    case BLOCK_LIST_BULLETED:
    case BLOCK_LIST_BULLETED_LOOSE:
    case BLOCK_LIST_ENUMERATED:
    case BLOCK_LIST_ENUMERATED_LOOSE: {
        bool bullets = t->type <= BLOCK_LIST_BULLETED_LOOSE;
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, bullets ? "\\begin{itemize}" : "\\begin{enumerate}");
        context->newline_count = 1;
        children(out, source, t, context);
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, bullets ? "\\end{itemize}" : "\\end{enumerate}");
        context->newline_count = 0;
        break;
    }
    case BLOCK_LIST_ITEM:
    case BLOCK_LIST_ITEM_TEXT:
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, "\\item{} ");
        context->newline_count = 2;
        children(out, source, t, context);
        context->newline_count = 0;
        break;
    case BLOCK_TABLE:
        write_table(out, source, t, context);
        break;
    case BLOCK_TABLE_HEADER:
        write_table_head(out, source, t, context);
        break;
    case BLOCK_TABLE_SECTION:
        tzr_pad_newlines(out, 2, context);
        context->newline_count = 2;
        children(out, source, t, context);
        d_string_append(out, "\\bottomrule");
        context->newline_count = 0;
        break;
    case TABLE_ROW:
        context->table_column = 0;
        children(out, source, t, context);
        d_string_append(out, "\\\\\n");
        break;
    case TABLE_CELL:
        write_table_cell(out, source, t, context);
        break;
    case BLOCK_TERM:
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, "\\item[");
        children(out, source, t, context);
        d_string_append(out, "]");
        context->newline_count = 0;
        break;
    case BLOCK_TOC:
        tzr_pad_newlines(out, 2, context);
        d_string_append(out, "\\tableofcontents");
        context->newline_count = 0;
        break;
    case LINE_SETEXT_2:
    case BLOCK_EMPTY:
    case BLOCK_HTML:
    case BLOCK_META:
    case CODE_FENCE_LINE:
    case PAIR_HTML_COMMENT:
    case MARKER_BLOCKQUOTE ... MARKER_LIST_ENUMERATOR:
    case TABLE_DIVIDER:
    case CONSUMED:
    case MANUAL_LABEL:
        break;

    // Inline pairs
    case PAIR_CRITIC_ADD ... PAIR_CRITIC_HI:
        write_critic(out, source, t, context);
        break;
    case PAIR_ANGLE:
        write_automatic_link(out, source, t, context);
        break;
    case PAIR_BACKTICK:
        write_code_span(out, source, t, context);
        break;
    case PAIR_BRACKET:
        if ((ext & TZR_EXT_NOTES) && t->next && t->next->type == PAIR_BRACKET_CITATION)
            write_citation(out, source, t->next, t, context);
        else
            write_link_or_image(out, source, t, context);
        break;
    case PAIR_BRACKET_IMAGE:
        write_link_or_image(out, source, t, context);
        break;
    case PAIR_BRACKET_ABBREVIATION:
    case PAIR_BRACKET_FOOTNOTE:
    case PAIR_BRACKET_GLOSSARY:
        if (!(ext & TZR_EXT_NOTES))
            children(out, source, t, context);
        else if (t->type == PAIR_BRACKET_FOOTNOTE)
            write_footnote(out, source, t, context);
        else if (t->type == PAIR_BRACKET_GLOSSARY)
            write_glossary(out, source, t, context);
        else
            write_abbreviation(out, source, t, context);
        break;
    case PAIR_BRACKET_CITATION:
        write_citation(out, source, t, nullptr, context);
        break;
    case PAIR_BRACKET_VARIABLE:
        if (const char *value = variable_value(source, t, context))
            latex_print_escaped_string(out, value);
        else
            children(out, source, t, context);
        break;
    case PAIR_BRACE:
    case PAIR_DOUBLE_BRACE:
    case PAIR_EMPH:
    case PAIR_PAREN:
    case PAIR_QUOTE_SINGLE:
    case PAIR_QUOTE_DOUBLE:
    case PAIR_SUBSCRIPT:
    case PAIR_SUPERSCRIPT:
    case PAIR_STAR:
    case PAIR_STRONG:
    case PAIR_UL:
        children(out, source, t, context);
        break;
    case PAIR_MATH:
        write_math(out, source, t, context);
        break;
    case BRACE_RAW_LEFT:
        // A raw-source opener that no marker pair took is text; its brace
        // written bare would open a group that nothing closes.
        d_string_append(out, "\\{=");
        break;
    case PAIR_RAW_FILTER:
    case STAR:
    case BACKTICK:
    case PLUS:
    case ENUMERATOR:
    case TEXT_PLAIN:
    case TEXT:
        print_raw(out, source, t);
        break;

    // Marks and lexical tokens
    case CRITIC_ADD_OPEN ... CRITIC_HI_CLOSE: {
        static const char *const kMarks[] = {"\\{++", "++\\}", "\\{--", "--\\}", "\\{>>",
                                             "<<\\}", "\\{~~", "~>",   "~",    ">",
                                             "~~\\}", "\\{==", "==\\}"};
        d_string_append(out, kMarks[t->type - CRITIC_ADD_OPEN]);
        break;
    }
    case UL:
        d_string_append(out, "\\_");
        break;
    case EMPH_START:
        d_string_append(out, "\\emph{");
        break;
    case STRONG_START:
        d_string_append(out, "\\textbf{");
        break;
    case EMPH_STOP:
    case STRONG_STOP:
        d_string_append(out, "}");
        break;
    case BRACKET_LEFT ... ANGLE_RIGHT: {
        static const char *const kBrackets[] = {"[",  "]",  "[>", "[^", "[?", "[#",
                                                "![", "[%", "(",  ")",  "<",  ">"};
        const char *mark = kBrackets[t->type - BRACKET_LEFT];
        // The number sign and the percent sign would stop TeX (a parameter
        // outside a definition, a comment that swallows the closing braces
        // of the line), so those two openers are written escaped.
        if (t->type == BRACKET_VARIABLE_LEFT)
            d_string_append(out, "[\\%");
        else if (t->type == BRACKET_CITATION_LEFT)
            d_string_append(out, "[\\#");
        else
            d_string_append(out, mark);
        break;
    }
    case BRACE_DOUBLE_LEFT:
        d_string_append(out, "\\{\\{");
        break;
    case BRACE_DOUBLE_RIGHT:
        d_string_append(out, "\\}\\}");
        break;
    case AMPERSAND:
    case AMPERSAND_LONG:
        d_string_append(out, "\\&");
        break;
    case APOSTROPHE:
        if (smart)
            d_string_append(out, "'");
        else
            print_raw(out, source, t);
        break;
    case COLON:
        d_string_append(out, ":");
        break;
    case DASH_M:
    case DASH_N:
    case ELLIPSIS:
        if (!smart)
            print_raw(out, source, t);
        else
            d_string_append(out, t->type == DASH_M   ? "---"
                                 : t->type == DASH_N ? "--"
                                                     : "{\\ldots}");
        break;
    case QUOTE_SINGLE:
    case QUOTE_DOUBLE:
    case QUOTE_RIGHT_ALT:
        write_quote(out, t, context);
        break;
    case ESCAPED_CHARACTER: {
        char c = t->len > 1 ? source[t->start + 1] : '\\';
        if (!(ext & TZR_EXT_COMPATIBILITY) && c == ' ')
            d_string_append(out, "~");
        else
            latex_print_escaped_char(out, c);
        break;
    }
    case HTML_ENTITY:
        write_html_entity(out, source, t);
        break;
    case HTML_COMMENT_START:
        d_string_append(out, "<!--");
        break;
    case HTML_COMMENT_STOP:
        d_string_append(out, "-->");
        break;
    case MATH_PAREN_OPEN:
        d_string_append(out, "\\(");
        break;
    case MATH_PAREN_CLOSE:
        d_string_append(out, "\\)");
        break;
    case MATH_BRACKET_OPEN:
        d_string_append(out, "\\[");
        break;
    case MATH_BRACKET_CLOSE:
        d_string_append(out, "\\]");
        break;
    case MATH_DOLLAR_SINGLE:
        d_string_append(out, t->mate ? "$" : "\\$");
        break;
    case MATH_DOLLAR_DOUBLE:
        d_string_append(out, t->mate ? "$$" : "\\$\\$");
        break;
    case EQUAL:
        d_string_append(out, "=");
        break;
    case PIPE:
        for (size_t i = 0; i < t->len; i++)
            d_string_append(out, "\\textbar{}");
        break;
    case SLASH:
        d_string_append(out, "\\slash ");
        break;
    case SUPERSCRIPT:
    case SUBSCRIPT:
        write_script(out, source, t, context);
        break;
    case INDENT_TAB:
        d_string_append_c(out, '\t');
        break;
    case INDENT_SPACE:
    case NON_INDENT_SPACE:
        d_string_append_c(out, ' ');
        break;
    case HASH1 ... HASH6:
        for (size_t i = 0; i < t->len; i++) {
            char c = source[t->start + i];
            if (c == '#')
                d_string_append(out, "\\#");
            else
                latex_print_escaped_char(out, c);
        }
        break;
    case TOC:
        d_string_append(out, "\\{\\{TOC\\}\\}");
        break;
    case BACKSLASH:
        d_string_append(out, "\\textbackslash{}");
        break;
    case BRACE_LEFT:
    case BRACE_RIGHT:
        d_string_append_c(out, '\\');
        print_raw(out, source, t);
        break;
    case HASH:
        d_string_append(out, "\\#");
        break;
    case HARD_BREAK:
        if (t->next) {
            d_string_append(out, "\\\\\n");
            context->newline_count = 1;
        }
        break;
    case NEWLINE:
        if (t->next)
            d_string_append_c(out, '\n');
        break;
    case PERCENT:
        d_string_append(out, "\\%");
        break;
    default:
        fprintf(stderr, "Unknown token type: %d\n", t->type);
        token_tree_describe(t, source);
    }
}

// The LaTeX token writer: the walk, escaping and the inline tokens (links
// and images, notes and citations, CriticMarkup, code spans, math).
#include "library/writers/latex.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library/diagnostics.h"
#include "library/labels.h"
#include "library/writers/latex_internal.h"
#include "library/links.h"
#include "library/notes.h"
#include "library/scanners/scanners.h"

using namespace latex_detail;

namespace {

// --- Text --------------------------------------------------------------------

// Text as LaTeX writes it: a "/" inside a word, which the lexer leaves in the
// text, is spelt as the "/" lexeme is; nothing else in text needs an escape,
// the bytes that do being lexemes of their own.
void print_text(DString *out, const char *source, const token *t) {
    const char *p = source + t->start;
    const char *end = p + t->len;
    while (const char *slash = static_cast<const char *>(memchr(p, '/', end - p))) {
        d_string_append_c_array(out, p, slash - p);
        d_string_append(out, "\\slash ");
        p = slash + 1;
    }
    d_string_append_c_array(out, p, end - p);
}

// --- Typography ---------------------------------------------------------------

// Quotation marks by quotes language, in the order of the mark tables.
constexpr quote_marks kLatexQuotes = {
    {"``", "''", "`", "'"},                                       // english
    {"\xE2\x80\x9E", "''", "`", "'"},                             // dutch
    {"\xC2\xAB", "\xC2\xBB", "'", "'"},                           // french
    {"\xE2\x80\x9E", "``", "\xE2\x80\x9A", "`"},                  // german
    {"\xC2\xBB", "\xC2\xAB", "\xE2\x80\xBA", "\xE2\x80\xB9"},     // germanguillemets
    {"\xC2\xAB", "\xC2\xBB", "`", "'"},                           // spanish
    {"''", "''", "'", "'"},                                       // swedish
};

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

// A run of number signs (a heading marker as text), every one escaped: a
// bare one is a macro parameter, which stops TeX.
void write_number_signs(DString *out, const char *source, const token *t) {
    for (size_t i = 0; i < t->len; i++)
        latex_print_escaped_char(out, source[t->start + i]);
}

// --- Inline pieces ----------------------------------------------------------------

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

void write_literal_bracket(DString *out, const char *source, token *t, tzr_export_context *context,
                           const char *mark) {
    write_unresolved_bracket(out, source, t, context, mark, latex_export_token_chain);
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
    static const char *const kCommands[] = {"\\underline{", "\\sout{", "\\cmnote{", "\\hl{"};
    critic_step step = critic_step_for(t, context->ext_flags);
    if (step.consume_marks)
        consume_critic_marks(t);
    if (step.write == critic_write::nothing)
        return;
    if (step.write == critic_write::wrapped)
        d_string_append(out, kCommands[step.wrap]);
    children(out, source, t, context);
    if (step.write == critic_write::wrapped)
        d_string_append(out, "}");
}

// --- Code spans ---------------------------------------------------------------------

// A bracket or parenthesis token inside a code span ("[^", "[#", "[%", "[?",
// "[>", "![", ...): its bytes are written as the span writes each of them
// standing alone, since the dialect's tokens mean nothing inside code. Bare,
// "^" and "#" stop TeX and "%" comments out the span's closing brace.
void write_code_span_bracket(DString *out, const char *source, const token *t) {
    for (size_t i = 0; i < t->len; i++) {
        const char c = source[t->start + i];
        switch (c) {
        case '^':
            d_string_append(out, "\\^{}");
            break;
        case '#':
        case '%':
            d_string_append_c(out, '\\');
            d_string_append_c(out, c);
            break;
        default:
            d_string_append_c(out, c);
        }
    }
}

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

}  // namespace

// --- Public pieces ------------------------------------------------------------------

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

void latex_print_escaped_bytes(DString *out, const char *bytes, size_t len) {
    if (!out || !bytes)
        return;
    for (size_t i = 0; i < len; i++)
        latex_print_escaped_char(out, bytes[i]);
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
    d_string_append(out, "\n");
    open_moving_argument(out, "\\caption",
                         [&](DString *caption) { children(caption, source, image, context); });
    d_string_append(out, "}\n");
    if (link->label) {
        char *label = tzr_label_from_token(source, link->label);
        d_string_append_printf(out, "\\label{%s}\n", label ? label : "");
        free(label);
    }
    d_string_append(out, "\\end{figure}");
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
    case BRACKET_LEFT ... PAREN_RIGHT:
        write_code_span_bracket(out, source, t);
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
    case TEXT:
        print_text(out, source, t);
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
        write_number_signs(out, source, t);
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
    // Bare, a percent sign would make the rest of the line a comment, the
    // span's closing brace with it.
    case PERCENT:
        d_string_append(out, "\\%");
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
    walk_chain_bounded(out, source, t, context, latex_export_token, latex_print_escaped_bytes);
}

namespace {

// How LaTeX spells the marks of inline markup; the source text of a mark is
// written as it stands.
constexpr mark_row kLatexMarks[] = {
    {CRITIC_ADD_OPEN, literal("\\{++")},
    {CRITIC_ADD_CLOSE, literal("++\\}")},
    {CRITIC_DEL_OPEN, literal("\\{--")},
    {CRITIC_DEL_CLOSE, literal("--\\}")},
    {CRITIC_COM_OPEN, literal("\\{>>")},
    {CRITIC_COM_CLOSE, literal("<<\\}")},
    {CRITIC_SUB_OPEN, literal("\\{~~")},
    {CRITIC_SUB_DIV, literal("~>")},
    {CRITIC_SUB_DIV_B, literal(">")},
    {CRITIC_SUB_CLOSE, literal("~~\\}")},
    {CRITIC_HI_OPEN, literal("\\{==")},
    {CRITIC_HI_CLOSE, literal("==\\}")},
    {UL, literal("\\_")},
    {EMPH_START, literal("\\emph{")},
    {STRONG_START, literal("\\textbf{")},
    {EMPH_STOP, literal("}")},
    {STRONG_STOP, literal("}")},
    {BRACKET_ABBREVIATION_LEFT, literal("[>")},
    // The number sign and the percent sign would stop TeX (a parameter
    // outside a definition, a comment that swallows the closing braces of
    // the line), so those two openers are written escaped.
    {BRACKET_CITATION_LEFT, literal("[\\#")},
    {BRACKET_VARIABLE_LEFT, literal("[\\%")},
    {ANGLE_LEFT, literal("<")},
    {ANGLE_RIGHT, literal(">")},
    {BRACE_DOUBLE_LEFT, literal("\\{\\{")},
    {BRACE_DOUBLE_RIGHT, literal("\\}\\}")},
    {AMPERSAND, literal("\\&")},
    {AMPERSAND_LONG, literal("\\&")},
    {APOSTROPHE, typographic("'")},
    {DASH_M, typographic("---")},
    {DASH_N, typographic("--")},
    {ELLIPSIS, typographic("{\\ldots}")},
    {QUOTE_DOUBLE, quote("''")},
    {HTML_COMMENT_START, literal("<!--")},
    {HTML_COMMENT_STOP, literal("-->")},
    {MATH_PAREN_OPEN, literal("\\(")},
    {MATH_PAREN_CLOSE, literal("\\)")},
    {MATH_BRACKET_OPEN, literal("\\[")},
    {MATH_BRACKET_CLOSE, literal("\\]")},
    {MATH_DOLLAR_SINGLE, paired("\\$", "$")},
    {MATH_DOLLAR_DOUBLE, paired("\\$\\$", "$$")},
    {SLASH, literal("\\slash ")},
    {SUPERSCRIPT, script("\\^{}", "\\textsuperscript{", "}")},
    {SUBSCRIPT, script("\\ensuremath{\\sim}", "\\textsubscript{", "}")},
    {INDENT_TAB, literal("\t")},
    {TOC, literal("\\{\\{TOC\\}\\}")},
    {BACKSLASH, literal("\\textbackslash{}")},
    // A raw-format opener that no marker pair took is text; its brace
    // written bare would open a group that nothing closes.
    {BRACE_RAW_LEFT, literal("\\{=")},
    {HASH, literal("\\#")},
    {PERCENT, literal("\\%")},
    {HARD_BREAK, line_break("\\\\\n", 1)},
    {PAIR_HTML_COMMENT, kSilent},
    {PAIR_RAW_FILTER, kSource},
    {STAR, kSource},
    {BACKTICK, kSource},
    {PLUS, kSource},
};

constexpr mark_table kMarks(kLatexQuotes, print_raw, latex_export_token, latex_export_token_chain,
                            kCommonMarks, kLatexMarks);

}  // namespace

void latex_export_token(DString *out, const char *source, token *t, tzr_export_context *context) {
    if (!out || !source || !t || !context)
        return;
    if ((t->type <= BLOCK_TOC || t->type == TABLE_ROW || t->type == TABLE_CELL) &&
        export_block(out, source, t, context))
        return;
    if (t->type == TEXT) {
        print_text(out, source, t);
        return;
    }
    if (kMarks.write(out, source, t, context))
        return;
    bool notes = context->ext_flags & TZR_EXT_NOTES;
    switch (t->type) {
    case PAIR_CRITIC_ADD ... PAIR_CRITIC_HI: write_critic(out, source, t, context); break;
    case PAIR_ANGLE: write_automatic_link(out, source, t, context); break;
    case PAIR_BACKTICK: write_code_span(out, source, t, context); break;
    case PAIR_BRACKET:
        if (notes && t->next && t->next->type == PAIR_BRACKET_CITATION)
            write_citation(out, source, t->next, t, context);
        else
            write_link_or_image(out, source, t, context);
        break;
    case PAIR_BRACKET_IMAGE: write_link_or_image(out, source, t, context); break;
    case PAIR_BRACKET_ABBREVIATION:
        notes ? write_abbreviation(out, source, t, context) : children(out, source, t, context);
        break;
    case PAIR_BRACKET_FOOTNOTE:
        notes ? write_footnote(out, source, t, context) : children(out, source, t, context);
        break;
    case PAIR_BRACKET_GLOSSARY:
        notes ? write_glossary(out, source, t, context) : children(out, source, t, context);
        break;
    case PAIR_BRACKET_CITATION: write_citation(out, source, t, nullptr, context); break;
    case PAIR_BRACKET_VARIABLE:
        if (const char *value = variable_value(source, t, context))
            latex_print_escaped_string(out, value);
        else
            children(out, source, t, context);
        break;
    case PAIR_MATH: write_math(out, source, t, context); break;
    case ESCAPED_CHARACTER: {
        char c = t->len > 1 ? source[t->start + 1] : '\\';
        if (!(context->ext_flags & TZR_EXT_COMPATIBILITY) && c == ' ')
            d_string_append(out, "~");
        else
            latex_print_escaped_char(out, c);
        break;
    }
    case HTML_ENTITY: write_html_entity(out, source, t); break;
    case PIPE:
        for (size_t i = 0; i < t->len; i++)
            d_string_append(out, "\\textbar{}");
        break;
    case HASH1 ... HASH6: write_number_signs(out, source, t); break;
    case BRACE_LEFT:
    case BRACE_RIGHT:
        d_string_append_c(out, '\\');
        print_raw(out, source, t);
        break;
    default:
        tzr_log("Unknown token type: %d\n", t->type);
        token_tree_describe(t, source);
    }
}

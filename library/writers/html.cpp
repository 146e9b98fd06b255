#include "library/writers/html.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "library/byte_scan.h"
#include "library/diagnostics.h"
#include "library/labels.h"
#include "library/links.h"
#include "library/notes.h"
#include "library/packaging/random.h"
#include "library/scanners/scanners.h"

using namespace html_detail;

namespace {

const char *const kTitles[4][7] = {
    {"return to body", "Regresar al texto", "Zum Haupttext", "Retour au texte principal",
     "Ga terug naar tekstlichaam", "Återgå till textkroppen", "חזור/י לגוף הטקסט"},
    {"see footnote", "Ver nota a pie de página", "Siehe Fußnote", "Voir note de bas de page",
     "Zie vootnot", "Se fotnot", "ראה/י הערה"},
    {"see citation", "Ver referencia", "Siehe Zitat", "Voir citation", "Zie citaat", "Se citat",
     "ראה/י ציטוט"},
    {"see glossary", "Ver glosario", "Siehe Glossar", "Voir glossaire", "Zie woordenlijst",
     "Se ordlista", "ראה/י מילון מונחים"},
};

// Where the output stands, as a token records it: offsets past the 32-bit
// range are recorded as its end.
uint32_t output_offset(const DString *out) {
    return out->length < kTokenOffsetLimit ? (uint32_t)out->length : (uint32_t)kTokenOffsetLimit;
}

void open_span(token *t, const DString *out, const tzr_export_context *c) {
    if (!c->record_output)
        return;
    token_output(t)->start = output_offset(out);
    t->written = 1;
}

void close_span(token *t, const DString *out, const tzr_export_context *c) {
    if (!c->record_output || !t->written)
        return;
    token_output_span *span = token_output(t);
    span->len = output_offset(out) - span->start;
}

void raw(DString *out, const char *source, const token *t) {
    d_string_append_c_array(out, source + t->start, t->len);
}

void children(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (t->child)
        html_export_token_chain(out, source, t->child, c);
}

// The token after a pair's opening mark onward, then nothing else.
void children_after_opener(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (t->child && t->child->next)
        html_export_token_chain(out, source, t->child->next, c);
}

const char *critic_tag_open(uint16_t type) {
    switch (type) {
    case PAIR_CRITIC_ADD:
    case PAIR_CRITIC_SUB_ADD: return "<ins>";
    case PAIR_CRITIC_DEL:
    case PAIR_CRITIC_SUB_DEL: return "<del>";
    case PAIR_CRITIC_COM: return "<span class=\"critic comment\">";
    default: return "<mark>";
    }
}

const char *critic_tag_close(uint16_t type) {
    switch (type) {
    case PAIR_CRITIC_ADD:
    case PAIR_CRITIC_SUB_ADD: return "</ins>";
    case PAIR_CRITIC_DEL:
    case PAIR_CRITIC_SUB_DEL: return "</del>";
    case PAIR_CRITIC_COM: return "</span>";
    default: return "</mark>";
    }
}

void export_critic(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (t->type != PAIR_CRITIC_HI && c->critic_tokens)
        stack_push(c->critic_tokens, t);
    uint16_t type = t->type;
    if ((type == PAIR_CRITIC_SUB_ADD && !(t->prev && t->prev->type == PAIR_CRITIC_SUB_DEL)) ||
        (type == PAIR_CRITIC_SUB_DEL && !(t->next && t->next->type == PAIR_CRITIC_SUB_ADD))) {
        children(out, source, t, c);
        return;
    }
    bool added = type == PAIR_CRITIC_ADD || type == PAIR_CRITIC_SUB_ADD;
    bool removed = type == PAIR_CRITIC_DEL || type == PAIR_CRITIC_SUB_DEL;
    if (c->ext_flags & (TZR_EXT_CRITIC_REJECT | TZR_EXT_CRITIC_ACCEPT)) {
        bool reject = c->ext_flags & TZR_EXT_CRITIC_REJECT;
        bool keep = type == PAIR_CRITIC_HI || (reject ? removed : added);
        if (keep) {
            consume_pair_marks(t);
            children(out, source, t, c);
        }
        return;
    }
    if (c->ext_flags & TZR_EXT_CRITIC) {
        consume_pair_marks(t);
        d_string_append(out, critic_tag_open(type));
        children(out, source, t, c);
        d_string_append(out, critic_tag_close(type));
        return;
    }
    children(out, source, t, c);
}

void export_autolink(DString *out, const char *source, token *t, tzr_export_context *c) {
    char *url = t->len >= 2 ? tzr_url_from_range(source, t->start + 1, t->len - 2, nullptr, true) : nullptr;
    if (url) {
        bool email = scan_email(url) != 0;
        d_string_append(out, "<a href=\"");
        if (email) {
            if (strncmp(url, "mailto:", 7) != 0)
                html_print_string(out, "mailto:", true);
            html_print_string(out, url, true);
        } else {
            html_print_string(out, url, false);
        }
        d_string_append(out, "\">");
        html_print_string(out, url, email);
        d_string_append(out, "</a>");
        free(url);
    } else if (scan_html(source + t->start)) {
        raw(out, source, t);
    } else {
        children(out, source, t, c);
    }
}

void export_code_span(DString *out, const char *source, token *t, tzr_export_context *c) {
    trim_code_span(source, t);
    if (export_raw_code_span(out, source, t, c, TZR_FORMAT_HTML))
        return;
    consume_pair_marks(t);
    d_string_append(out, "<code>");
    // The spent backticks at either end write nothing; passing over them
    // here spares the code text's dispatch a jump that alternates.
    for (token *x = t->child; x; x = x->next)
        if (x->type != CONSUMED)
            html_print_token_raw(out, source, x, c);
    d_string_append(out, "</code>");
}

void export_link_or_image(DString *out, const char *source, token *t, tzr_export_context *c) {
    bool written = export_bracket_link(source, c, t, [&](tzr_link *link) {
        if (t->type == PAIR_BRACKET)
            html_export_link(out, source, t, link, c);
        else
            html_export_image(out, source, t, link, c, image_is_figure(t));
    });
    if (!written) {
        children(out, source, t, c);
        close_span(t, out, c);
    }
}

void literal_bracket(DString *out, const char *source, token *t, tzr_export_context *c, const char *mark) {
    write_unresolved_bracket(out, source, t, c, mark, html_export_token_chain);
}

void export_footnote(DString *out, const char *source, token *t, tzr_export_context *c) {
    size_t before = c->footnotes_used ? c->footnotes_used->size : 0;
    uint16_t number = TZR_NO_NOTE;
    tzr_footnote_from_bracket(source, c, t, &number);
    if (number == TZR_NO_NOTE) {
        literal_bracket(out, source, t, c, "[^");
        return;
    }
    bool first = c->footnotes_used && c->footnotes_used->size > before;
    int anchor = html_footnote_anchor(c, number);
    const char *title = title_text(1, c->language);
    d_string_append(out, "<a href=\"#fn:");
    append_int(out, anchor);
    if (first) {
        d_string_append(out, "\" id=\"fnref:");
        append_int(out, anchor);
    }
    d_string_append(out, "\" title=\"");
    d_string_append(out, title);
    d_string_append(out, "\" class=\"footnote\"><sup>");
    append_int(out, number);
    d_string_append(out, "</sup></a>");
}

void export_glossary(DString *out, const char *source, token *t, tzr_export_context *c) {
    size_t before = c->glossary_used ? c->glossary_used->size : 0;
    uint16_t number = TZR_NO_NOTE;
    tzr_glossary_from_bracket(source, c, t, &number);
    tzr_note *note = used_note(c->glossary_used, number);
    if (!note) {
        d_string_append(out, "[?");
        if (t->child)
            children_after_opener(out, source, t, c);
        else
            raw(out, source, t);
        d_string_append(out, "]");
        return;
    }
    const char *title = title_text(3, c->language);
    d_string_append(out, "<a href=\"#gn:");
    append_int(out, number);
    if (c->glossary_used->size > before) {
        d_string_append(out, "\" id=\"gnref:");
        append_int(out, number);
    }
    d_string_append(out, "\" title=\"");
    d_string_append(out, title);
    d_string_append(out, "\" class=\"glossary\">");
    html_print_string(out, note->clean_text, false);
    d_string_append(out, "</a>");
}

// A citation bracket, led by the locator bracket `locator` or not.
void export_citation(DString *out, const char *source, token *t, token *locator, tzr_export_context *c) {
    char *where = nullptr;
    bool print = true;
    if (locator) {
        where = tzr_text_inside_pair(source, locator);
        char *label = where ? tzr_label_from_text(where) : nullptr;
        if (label && !strcmp(label, "notcited")) {
            print = false;
            where[0] = '\0';
        }
        free(label);
    }
    size_t before = c->citations_used ? c->citations_used->size : 0;
    uint16_t number = TZR_NO_NOTE;
    tzr_citation_from_bracket(source, c, t, &number);
    if (number == TZR_NO_NOTE) {
        // Unresolved: the source as written, the locator bracket included,
        // and the citation bracket only once.
        if (locator)
            children(out, source, locator, c);
        literal_bracket(out, source, t, c, "[#");
    } else if (print) {
        bool first = c->citations_used->size > before;
        const char *title = title_text(2, c->language);
        d_string_append(out, "<a href=\"#cn:");
        append_int(out, number);
        if (first) {
            d_string_append(out, "\" id=\"cnref:");
            append_int(out, number);
        }
        d_string_append(out, "\" title=\"");
        d_string_append(out, title);
        d_string_append(out, "\" class=\"citation\">(");
        if (where && *where) {
            html_print_string(out, where, false);
            d_string_append(out, ", ");
        }
        append_int(out, number);
        d_string_append(out, ")</a>");
    }
    free(where);
    if (locator)
        c->skip_count = 1;
}

void export_abbreviation(DString *out, const char *source, token *t, tzr_export_context *c) {
    size_t used_before = c->abbreviations_used ? c->abbreviations_used->size : 0;
    size_t made_before = c->abbreviations_inline ? c->abbreviations_inline->size : 0;
    uint16_t number = TZR_NO_NOTE;
    tzr_abbreviation_from_bracket(source, c, t, &number);
    tzr_note *note = used_note(c->abbreviations_used, number);
    if (!note) {
        literal_bracket(out, source, t, c, "[>");
        return;
    }
    consume_pair_marks(t);
    auto text = [&] {
        if (t->child)
            children(out, source, t, c);
        else
            raw(out, source, t);
    };
    const char *expansion = note->clean_text;
    if (c->abbreviations_inline->size > made_before) {
        html_print_string(out, expansion, false);
        d_string_append(out, " (<abbr title=\"");
        html_print_string(out, expansion, false);
        d_string_append(out, "\">");
        html_print_string(out, note->label_text, false);
        d_string_append(out, "</abbr>)");
    } else if (c->abbreviations_used->size > used_before) {
        html_print_string(out, expansion, false);
        d_string_append(out, " (<abbr title=\"");
        html_print_string(out, expansion, false);
        d_string_append(out, "\">");
        text();
        d_string_append(out, "</abbr>)");
    } else {
        d_string_append(out, "<abbr title=\"");
        html_print_string(out, expansion, false);
        d_string_append(out, "\">");
        text();
        d_string_append(out, "</abbr>");
    }
}

void export_variable(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (const char *value = variable_value(source, t, c))
        html_print_string(out, value, false);
    else
        children(out, source, t, c);
}

// An ASCII byte as a character reference, "&#x6d;" or "&#109;", written
// directly: obfuscated addresses take one per byte.
void append_char_reference(DString *out, unsigned char u, bool hex) {
    static const char kHexDigits[] = "0123456789abcdef";
    char text[8];
    size_t n = 0;
    text[n++] = '&';
    text[n++] = '#';
    if (hex) {
        text[n++] = 'x';
        if (u >= 16)
            text[n++] = kHexDigits[u >> 4];
        text[n++] = kHexDigits[u & 15];
    } else {
        if (u >= 100)
            text[n++] = (char)('0' + u / 100);
        if (u >= 10)
            text[n++] = (char)('0' + u / 10 % 10);
        text[n++] = (char)('0' + u % 10);
    }
    text[n++] = ';';
    d_string_append_c_array(out, text, n);
}

void unknown_type(const char *source, token *t) {
    tzr_log("Unknown token type: %d (%lu:%lu)\n", t->type, (unsigned long)t->start,
            (unsigned long)t->len);
    token_tree_describe(t, source);
}

// How HTML spells the marks of inline markup; the source text of a mark is
// written as it stands.
constexpr mark_row kHtmlMarks[] = {
    {BRACKET_ABBREVIATION_LEFT, literal("[>")},
    {EMPH_START, literal("<em>")},
    {EMPH_STOP, literal("</em>")},
    {STRONG_START, literal("<strong>")},
    {STRONG_STOP, literal("</strong>")},
    {INDENT_TAB, literal("\t")},
    {MATH_PAREN_OPEN, paired("\\(", "<span class=\"math\">\\(")},
    {MATH_PAREN_CLOSE, paired("\\)", "\\)</span>")},
    {MATH_BRACKET_OPEN, paired("\\[", "<span class=\"math\">\\[")},
    {MATH_BRACKET_CLOSE, paired("\\]", "\\]</span>")},
    {MATH_DOLLAR_SINGLE, paired("$", "<span class=\"math\">\\(", "\\)</span>")},
    {MATH_DOLLAR_DOUBLE, paired("$$", "<span class=\"math\">\\[", "\\]</span>")},
    {SUPERSCRIPT, script("^", "<sup>", "</sup>")},
    {SUBSCRIPT, script("~", "<sub>", "</sub>")},
    {HARD_BREAK, line_break("<br />\n", 1)},
    {STAR, kSource},
    {PLUS, kSource},
    {SLASH, kSource},
    {HTML_ENTITY, kSource},
    {PAIR_HTML_COMMENT, kSource},
};

constexpr mark_table kMarks(kEntityQuotes, raw, html_export_token, html_export_token_chain,
                            kCommonMarks, kEntityMarks, kHtmlMarks);

// Writes an inline token; false for a type this writer does not know.
bool export_inline(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (kMarks.write(out, source, t, c))
        return true;
    bool notes = c->ext_flags & TZR_EXT_NOTES;
    switch (t->type) {
    case PAIR_CRITIC_ADD:
    case PAIR_CRITIC_DEL:
    case PAIR_CRITIC_COM:
    case PAIR_CRITIC_SUB_ADD:
    case PAIR_CRITIC_SUB_DEL:
    case PAIR_CRITIC_HI: export_critic(out, source, t, c); break;
    case PAIR_ANGLE: export_autolink(out, source, t, c); break;
    case PAIR_BACKTICK: export_code_span(out, source, t, c); break;
    case PAIR_BRACKET:
        if (notes && t->next && t->next->type == PAIR_BRACKET_CITATION) {
            token *citation = t->next;
            open_span(citation, out, c);
            export_citation(out, source, citation, t, c);
            close_span(citation, out, c);
        } else {
            export_link_or_image(out, source, t, c);
        }
        break;
    case PAIR_BRACKET_IMAGE: export_link_or_image(out, source, t, c); break;
    case PAIR_BRACKET_ABBREVIATION:
        notes ? export_abbreviation(out, source, t, c) : children(out, source, t, c);
        break;
    case PAIR_BRACKET_FOOTNOTE: notes ? export_footnote(out, source, t, c) : children(out, source, t, c); break;
    case PAIR_BRACKET_GLOSSARY: notes ? export_glossary(out, source, t, c) : children(out, source, t, c); break;
    case PAIR_BRACKET_CITATION:
        notes ? export_citation(out, source, t, nullptr, c) : children(out, source, t, c);
        break;
    case PAIR_BRACKET_VARIABLE: export_variable(out, source, t, c); break;
    case PAIR_MATH:
        d_string_append(out, "<span class=\"math\">");
        if (t->child)
            html_print_math_chain(out, source, t->child, c);
        d_string_append(out, "</span>");
        break;
    case BACKTICK:
        if (!t->mate)
            raw(out, source, t);
        else if (t->mate->type == QUOTE_RIGHT_ALT)
            smart(c) ? d_string_append(out, quote(c, kDoubleOpen)) : raw(out, source, t);
        else
            d_string_append(out, is_opening(t) ? "<code>" : "</code>");
        break;
    case ESCAPED_CHARACTER:
        if (t->len < 2)
            break;
        // A numeric reference, not "&nbsp;": the same text must stay
        // well-formed as the XHTML of EPUB and TextBundle packages.
        if (!(c->ext_flags & TZR_EXT_COMPATIBILITY) && source[t->start + 1] == ' ')
            d_string_append(out, "&#160;");
        else
            html_print_char(out, source[t->start + 1], false);
        break;
    case TABLE_ROW:
    case TABLE_CELL: export_table_part(out, source, t, c); break;
    default: return false;
    }
    return true;
}

}  // namespace

namespace html_detail {

const char *title_text(int key, int language) {
    if (key < 0 || key > 3)
        return "";
    return kTitles[key][language >= 0 && language < 7 ? language : 0];
}

}  // namespace html_detail

void html_print_char(DString *out, char c, bool obfuscate) {
    if (!out)
        return;
    switch (c) {
    case '"': d_string_append(out, "&quot;"); return;
    case '&': d_string_append(out, "&amp;"); return;
    case '<': d_string_append(out, "&lt;"); return;
    case '>': d_string_append(out, "&gt;"); return;
    default: break;
    }
    unsigned char u = (unsigned char)c;
    if (obfuscate && u < 128) {
        append_char_reference(out, u, random_next() & 1);
    } else {
        d_string_append_c(out, c);
    }
}

void html_print_bytes(DString *out, const char *s, size_t len) {
    if (!out || !s)
        return;
    // A run of text printed as it is ends at one of the four bytes that
    // HTML escapes, or at the NUL that ends the text.
    const char *end = s + len;
    while (s < end) {
        const char *run = s;
        s = byte_scan::find_first_of<'"', '&', '<', '>', '\0'>(s, end);
        if (s > run)
            d_string_append_c_array(out, run, (size_t)(s - run));
        if (s < end) {
            if (*s)
                html_print_char(out, *s, false);
            s++;
        }
    }
}

void html_print_string(DString *out, const char *s, bool obfuscate) {
    if (!out || !s)
        return;
    if (!obfuscate) {
        html_print_bytes(out, s, strlen(s));
        return;
    }
    for (; *s; s++)
        html_print_char(out, *s, true);
}

int html_footnote_anchor(const tzr_export_context *context, int number) {
    if (!context || !(context->ext_flags & TZR_EXT_RANDOM_FOOT))
        return number;
    // An affine map modulo 32000 with a multiplier prime to it: scrambled,
    // yet one-to-one, so distinct footnotes never share an id. It leaves the
    // C library's rand() alone, which other code may be drawing from.
    uint64_t x = (uint64_t)(uint32_t)number + context->random_base;
    return (int)((x * 7919u + 12345u) % 32000u) + 1;
}

char *html_dimension_digits(const char *text) {
    if (!text)
        return nullptr;
    size_t n = 0;
    while (text[n] >= '0' && text[n] <= '9')
        n++;
    return strndup(text, n);
}

namespace {

// By type, whether a token writes nothing when no output is recorded: blank
// lines and the silent marks (spent marks, table dividers, block markers),
// passed over before the dispatch to blocks and marks.
constexpr std::array<bool, kTokenTypeCount> make_writes_nothing() {
    std::array<bool, kTokenTypeCount> nothing{};
    for (int type = 0; type < kTokenTypeCount; type++)
        nothing[type] = type == BLOCK_EMPTY || kMarks.is_silent((uint16_t)type);
    return nothing;
}

constexpr std::array<bool, kTokenTypeCount> kWritesNothing = make_writes_nothing();

// Writes a text token of a chain, with no output recorded, together with
// the siblings written as their source that follow it without a gap, in
// one append; returns how many siblings it took. A line of prose is mostly
// such runs (words, colons, slashes, parentheses left unpaired), and each
// token written on its own costs more than its bytes.
uint16_t write_text_run(DString *out, const char *source, const token *t) {
    size_t end = (size_t)t->start + t->len;
    uint16_t taken = 0;
    for (const token *x = t->next; x && taken < UINT16_MAX && x->start == end &&
                                   (x->type == TEXT || kMarks.spells_as_source(source, x));
         x = x->next) {
        end += x->len;
        taken++;
    }
    d_string_append_c_array(out, source + t->start, end - t->start);
    return taken;
}

}  // namespace

void html_export_token_chain(DString *out, const char *source, token *t, tzr_export_context *c) {
    walk_chain_bounded(
        out, source, t, c,
        [](DString *out, const char *source, token *t, tzr_export_context *c) {
            if (t->type == TEXT && !c->record_output) {
                // The chain walk passes over the siblings written here.
                c->skip_count = write_text_run(out, source, t);
                return;
            }
            html_export_token(out, source, t, c);
        },
        html_print_bytes);
}

void html_export_token(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (!out || !source || !t || !c)
        return;
    // Text and line ends are most of a page's tokens: when no output is
    // recorded they are written here, as the table of marks spells them,
    // and blank lines and silent marks, which write nothing, are passed
    // over (one in nine of the tokens an API reference has here; the
    // dividers of a table's cells are more).
    if (!c->record_output) {
        if (t->type == TEXT) {
            raw(out, source, t);
            return;
        }
        if (t->type == NEWLINE) {
            if (t->next)
                d_string_append_c(out, '\n');
            return;
        }
        if (t->type < kTokenTypeCount && kWritesNothing[t->type])
            return;
    }
    open_span(t, out, c);
    if (t->type == PAIR_BRACKET || t->type == PAIR_BRACKET_IMAGE) {
        // Records its own span: a link or image keeps only its start.
        bool citation = (c->ext_flags & TZR_EXT_NOTES) && t->type == PAIR_BRACKET && t->next &&
                        t->next->type == PAIR_BRACKET_CITATION;
        export_inline(out, source, t, c);
        if (citation)
            close_span(t, out, c);
        return;
    }
    bool known = t->type <= BLOCK_TOC ? export_block(out, source, t, c) : export_inline(out, source, t, c);
    if (!known)
        unknown_type(source, t);
    close_span(t, out, c);
}

void html_export_link(DString *out, const char *source, token *bracket, tzr_link *link,
                      tzr_export_context *c) {
    if (!out || !source || !bracket || !link || !c)
        return;
    d_string_append(out, "<a href=\"");
    html_print_string(out, link->url, false);
    d_string_append(out, "\"");
    if (link->title && *link->title) {
        d_string_append(out, " title=\"");
        html_print_string(out, link->title, false);
        d_string_append(out, "\"");
    }
    for (tzr_attribute *a = link->attributes; a; a = a->next) {
        d_string_append_c(out, ' ');
        d_string_append(out, a->key);
        d_string_append(out, "=\"");
        html_print_string(out, a->value, false);
        d_string_append_c(out, '"');
    }
    d_string_append(out, ">");
    widen_link_text(bracket);
    children(out, source, bracket, c);
    d_string_append(out, "</a>");
}

void html_export_image(DString *out, const char *source, token *image, tzr_link *link,
                       tzr_export_context *c, bool is_figure) {
    if (!out || !source || !image || !link || !c)
        return;
    // A figure replaces the "<p>" its paragraph has just opened; where there
    // is none (a tight list item, a table cell) the image stays inline.
    bool compat = c->ext_flags & TZR_EXT_COMPATIBILITY;
    bool figure = is_figure && !compat && out->length >= 3 &&
                  !memcmp(out->str + out->length - 3, "<p>", 3);
    if (figure) {
        d_string_erase(out, out->length - 3, 3);
        d_string_append(out, "<figure>\n");
        c->close_next_para = 0;
    }
    d_string_append(out, "<img src=\"");
    if (link->url) {
        if (c->pack_assets) {
            tzr_asset_store(c, link->url);
            tzr_asset *asset = tzr_asset_find(c, link->url);
            d_string_append(out, "assets/");
            html_print_string(out, asset ? asset->name : "", false);
        } else {
            if (c->record_assets)
                tzr_asset_store(c, link->url);
            html_print_string(out, link->url, false);
        }
    }
    d_string_append(out, "\" alt=\"");
    if (image->child) {
        DString *alt = d_string_new("");
        tzr_print_token_chain_raw(alt, source, image->child);
        html_print_bytes(out, alt->str, alt->length);
        d_string_free(alt, true);
    }
    d_string_append(out, "\"");
    if (link->label && !compat) {
        char *id = tzr_label_from_token(source, link->label);
        d_string_append(out, " id=\"");
        html_print_string(out, id, false);
        d_string_append(out, "\"");
        free(id);
    }
    if (link->title && *link->title) {
        d_string_append(out, " title=\"");
        html_print_string(out, link->title, false);
        d_string_append(out, "\"");
    }
    char *width = nullptr, *height = nullptr;
    for (tzr_attribute *a = link->attributes; a; a = a->next) {
        bool is_width = !strcmp(a->key, "width");
        if (is_width || !strcmp(a->key, "height")) {
            char *digits = html_dimension_digits(a->value);
            size_t n = strlen(digits);
            char *value = strdup(a->value);
            if (!strncmp(value, digits, n) && !strcmp(value + n, "px"))
                value[n] = '\0';
            if (!strcmp(value, digits)) {
                d_string_append_printf(out, " %s=\"", a->key);
                html_print_string(out, digits, false);
                d_string_append_c(out, '"');
                free(value);
            } else {
                char *&slot = is_width ? width : height;
                free(slot);
                slot = value;
            }
            free(digits);
            continue;
        }
        d_string_append_c(out, ' ');
        d_string_append(out, a->key);
        d_string_append(out, "=\"");
        html_print_string(out, a->value, false);
        d_string_append_c(out, '"');
    }
    if (width || height) {
        d_string_append(out, " style=\"");
        if (height) {
            d_string_append(out, "height:");
            html_print_string(out, height, false);
            d_string_append_c(out, ';');
        }
        if (width) {
            d_string_append(out, "width:");
            html_print_string(out, width, false);
            d_string_append_c(out, ';');
        }
        d_string_append(out, "\"");
    }
    free(width);
    free(height);
    d_string_append(out, " />");
    if (figure) {
        d_string_append(out, "\n<figcaption>");
        children(out, source, image, c);
        d_string_append(out, "</figcaption>\n</figure>");
    }
}

void html_print_token_raw(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (!out || !source || !t || !c)
        return;
    switch (t->type) {
    case CRITIC_COM_OPEN: d_string_append(out, "{&gt;&gt;"); break;
    case CRITIC_COM_CLOSE: d_string_append(out, "&lt;&lt;}"); break;
    case CRITIC_SUB_DIV: d_string_append(out, "~&gt;"); break;
    case CRITIC_SUB_DIV_A: d_string_append(out, "~"); break;
    case CRITIC_SUB_DIV_B:
    case ANGLE_RIGHT: d_string_append(out, "&gt;"); break;
    case ANGLE_LEFT: d_string_append(out, "&lt;"); break;
    case AMPERSAND: d_string_append(out, "&amp;"); break;
    case AMPERSAND_LONG: d_string_append(out, "&amp;amp;"); break;
    case QUOTE_DOUBLE: d_string_append(out, "&quot;"); break;
    case HTML_COMMENT_START: d_string_append(out, "&lt;!--"); break;
    case HTML_COMMENT_STOP: d_string_append(out, "--&gt;"); break;
    case MATH_PAREN_OPEN: d_string_append(out, "\\\\("); break;
    case MATH_PAREN_CLOSE: d_string_append(out, "\\\\)"); break;
    case MATH_BRACKET_OPEN: d_string_append(out, "\\\\["); break;
    case MATH_BRACKET_CLOSE: d_string_append(out, "\\\\]"); break;
    case MATH_DOLLAR_SINGLE: d_string_append(out, !t->mate ? "$" : is_opening(t) ? "\\(" : "\\)"); break;
    case MATH_DOLLAR_DOUBLE: d_string_append(out, !t->mate ? "$$" : is_opening(t) ? "\\[" : "\\]"); break;
    case BACKTICK: raw(out, source, t); break;
    case CODE_FENCE_LINE:
        if (t->next)
            t->next->type = CONSUMED;
        break;
    case ESCAPED_CHARACTER:
        d_string_append_c(out, '\\');
        if (t->len >= 2)
            html_print_char(out, source[t->start + 1], false);
        break;
    case HTML_ENTITY:
        d_string_append(out, "&amp;");
        if (t->len > 1)
            html_print_bytes(out, source + t->start + 1, t->len - 1);
        break;
    case SUPERSCRIPT:
    case SUBSCRIPT:
        if (t->child) {
            d_string_append_c(out, t->type == SUPERSCRIPT ? '^' : '~');
            for (token *x = t->child; x; x = x->next)
                html_print_token_raw(out, source, x, c);
        } else {
            html_print_bytes(out, source + t->start, t->len);
        }
        break;
    case MARKER_LIST_BULLET:
    case MARKER_LIST_ENUMERATOR:
        html_print_bytes(out, source + t->start, marker_end(source, t) - t->start);
        break;
    case CONSUMED: break;
    default:
        if (t->child) {
            if (c->walk_depth >= kMaxDepth) {
                write_chain_as_text(out, source, t->child, html_print_bytes);
                break;
            }
            c->walk_depth++;
            for (token *x = t->child; x; x = x->next)
                html_print_token_raw(out, source, x, c);
            c->walk_depth--;
        } else {
            html_print_bytes(out, source + t->start, t->len);
        }
        break;
    }
}

void html_print_math_chain(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (!out || !source || !c)
        return;
    walk_chain(out, source, t, c, [](DString *out, const char *source, token *t, tzr_export_context *c) {
        switch (t->type) {
        case MATH_PAREN_OPEN: d_string_append(out, "\\("); break;
        case MATH_PAREN_CLOSE: d_string_append(out, "\\)"); break;
        case MATH_BRACKET_OPEN: d_string_append(out, "\\["); break;
        case MATH_BRACKET_CLOSE: d_string_append(out, "\\]"); break;
        default: html_print_token_raw(out, source, t, c); break;
        }
    });
}

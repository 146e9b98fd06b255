// The OpenDocument text writer: the walk, escaping and the inline tokens.
#include "library/writers/odf.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "library/diagnostics.h"
#include "library/labels.h"
#include "library/notes.h"
#include "library/token_types.h"

using namespace odf_detail;

namespace {

void text(DString *out, const char *source, const token *t) {
    odf_print_bytes(out, source + t->start, t->len);
}

constexpr const char *kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at s (at most `left` bytes), or 0.
size_t utf8_length(const unsigned char *s, size_t left) {
    unsigned char b = s[0];
    size_t n;
    unsigned min;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    unsigned cp = b & (0x7F >> n);
    for (size_t i = 1; i < n; i++) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE ||
        cp == 0xFFFF)
        return 0;
    return n;
}

// Escapes `len` bytes; `attribute` selects the attribute form of tab and
// line ends.
void print_escaped(DString *out, const char *s, size_t len, bool attribute) {
    const auto *u = reinterpret_cast<const unsigned char *>(s);
    size_t i = 0;
    while (i < len) {
        size_t run = i;
        while (i < len && u[i] >= 0x20 && u[i] < 0x80 && u[i] != '"' && u[i] != '&' &&
               u[i] != '<' && u[i] != '>')
            i++;
        if (i > run)
            d_string_append_c_array(out, s + run, i - run);
        if (i >= len)
            break;
        unsigned char b = u[i];
        switch (b) {
        case '"': d_string_append(out, "&quot;"); i++; continue;
        case '&': d_string_append(out, "&amp;"); i++; continue;
        case '<': d_string_append(out, "&lt;"); i++; continue;
        case '>': d_string_append(out, "&gt;"); i++; continue;
        case '\t': d_string_append(out, attribute ? "&#9;" : "<text:tab/>"); i++; continue;
        case '\n': d_string_append(out, attribute ? "&#10;" : "\n"); i++; continue;
        case '\r': d_string_append(out, attribute ? "&#13;" : "\r"); i++; continue;
        default: break;
        }
        if (b < 0x20) {
            if (b != 0)
                d_string_append(out, kReplacement);
            i++;
            continue;
        }
        size_t n = utf8_length(u + i, len - i);
        if (n == 0) {
            d_string_append(out, kReplacement);
            i++;
        } else {
            d_string_append_c_array(out, s + i, n);
            i += n;
        }
    }
}

void export_critic(DString *out, const char *source, token *t, tzr_export_context *c) {
    static const char *const kStyles[] = {"Underline", "Strike", "Comment", "Highlight"};
    critic_step step = critic_step_for(t, c->ext_flags);
    if (step.consume_marks)
        consume_pair_marks(t);
    if (step.write == critic_write::nothing)
        return;
    if (step.write == critic_write::wrapped)
        d_string_append_printf(out, "<text:span text:style-name=\"%s\">", kStyles[step.wrap]);
    children(out, source, t, c);
    if (step.write == critic_write::wrapped)
        d_string_append(out, "</text:span>");
}

void export_code_span(DString *out, const char *source, token *t, tzr_export_context *c) {
    trim_code_span(source, t);
    if (export_raw_code_span(out, source, t, c, TZR_FORMAT_FODT))
        return;
    consume_pair_marks(t);
    d_string_append(out, "<text:span text:style-name=\"Source_20_Text\">");
    size_t code = out->length;
    odf_print_token_chain_raw(out, source, t->child, c);
    odf_keep_spaces(out, code);
    d_string_append(out, "</text:span>");
}

void export_variable(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (const char *value = variable_value(source, t, c))
        odf_print_string(out, value);
    else
        children(out, source, t, c);
}

void export_math_pair(DString *out, const char *source, token *t, tzr_export_context *c) {
    d_string_append(out, "<text:span text:style-name=\"math\">");
    if (t->child)
        odf_print_math_chain(out, source, t->child, c);
    d_string_append(out, "</text:span>");
}

// How OpenDocument spells the marks of inline markup; the source text of a
// mark is written escaped.
constexpr mark_row kOdfMarks[] = {
    {BRACKET_ABBREVIATION_LEFT, literal("[&gt;")},
    {STAR, literal("*")},
    {PLUS, literal("+")},
    {SLASH, literal("/")},
    {INDENT_TAB, literal("<text:tab/>")},
    {EMPH_START, literal("<text:span text:style-name=\"TZR-Italic\">")},
    {STRONG_START, literal("<text:span text:style-name=\"TZR-Bold\">")},
    {EMPH_STOP, literal("</text:span>")},
    {STRONG_STOP, literal("</text:span>")},
    {MATH_PAREN_OPEN, paired("\\(", "<text:span text:style-name=\"math\">\\(")},
    {MATH_PAREN_CLOSE, paired("\\)", "\\)</text:span>")},
    {MATH_BRACKET_OPEN, paired("\\[", "<text:span text:style-name=\"math\">\\[")},
    {MATH_BRACKET_CLOSE, paired("\\]", "\\]</text:span>")},
    {MATH_DOLLAR_SINGLE,
     paired("$", "<text:span text:style-name=\"math\">\\(", "\\)</text:span>")},
    {MATH_DOLLAR_DOUBLE,
     paired("$$", "<text:span text:style-name=\"math\">\\[", "\\]</text:span>")},
    {SUPERSCRIPT,
     script("^", "<text:span text:style-name=\"TZR-Superscript\">", "</text:span>")},
    {SUBSCRIPT, script("~", "<text:span text:style-name=\"TZR-Subscript\">", "</text:span>")},
    {HARD_BREAK, line_break("<text:line-break/>\n", 0)},
    {PAIR_QUOTE_ALT, kChildren},
    {PAIR_HTML_COMMENT, kSilent},
};

constexpr mark_table kMarks(kEntityQuotes, text, tzr_odf_export_token,
                            tzr_odf_export_token_chain, kCommonMarks, kEntityMarks, kOdfMarks);

// Writes an inline token; false for a type this writer does not know.
bool export_inline(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (kMarks.write(out, source, t, c))
        return true;
    switch (t->type) {
    case PAIR_CRITIC_ADD:
    case PAIR_CRITIC_DEL:
    case PAIR_CRITIC_COM:
    case PAIR_CRITIC_SUB_ADD:
    case PAIR_CRITIC_SUB_DEL:
    case PAIR_CRITIC_HI: export_critic(out, source, t, c); break;
    case PAIR_BACKTICK: export_code_span(out, source, t, c); break;
    case PAIR_BRACKET_VARIABLE: export_variable(out, source, t, c); break;
    case PAIR_MATH: export_math_pair(out, source, t, c); break;
    case ESCAPED_CHARACTER:
        if (t->len < 2)
            break;
        if (!(c->ext_flags & TZR_EXT_COMPATIBILITY) && source[t->start + 1] == ' ')
            d_string_append(out, "\xC2\xA0");
        else
            odf_print_bytes(out, source + t->start + 1, 1);
        break;
    case HTML_ENTITY:
        d_string_append(out, "&amp;");
        if (t->len > 1)
            odf_print_bytes(out, source + t->start + 1, t->len - 1);
        break;
    case BACKTICK:
        if (!t->mate)
            text(out, source, t);
        else if (t->mate->type == QUOTE_RIGHT_ALT)
            smart(c) ? d_string_append(out, quote(c, kDoubleOpen)) : text(out, source, t);
        else
            d_string_append(out, is_opening(t) ? "<text:span text:style-name=\"Source_20_Text\">"
                                               : "</text:span>");
        break;
    default: return false;
    }
    return true;
}

// Notes being written, innermost last: a note that refers to itself is
// written once, not once per level until the depth limit.
thread_local std::vector<const void *> open_notes;

}  // namespace

namespace odf_detail {

void children(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (t && t->child)
        tzr_odf_export_token_chain(out, source, t->child, c);
}

bool note_is_open(const void *note) {
    for (const void *n : open_notes)
        if (n == note)
            return true;
    return false;
}

void note_open(const void *note) { open_notes.push_back(note); }
void note_close() {
    if (!open_notes.empty())
        open_notes.pop_back();
}

}  // namespace odf_detail

void odf_print_char(DString *out, char c) {
    if (out)
        print_escaped(out, &c, 1, false);
}

void odf_print_string(DString *out, const char *s) {
    if (out && s)
        print_escaped(out, s, strlen(s), false);
}

void odf_print_bytes(DString *out, const char *s, size_t len) {
    if (out && s)
        print_escaped(out, s, len, false);
}

void odf_print_attribute(DString *out, const char *s) {
    if (out && s)
        print_escaped(out, s, strlen(s), true);
}

void odf_print_localized_char(DString *out, unsigned short type, tzr_export_context *c) {
    if (!out || !c)
        return;
    switch (type) {
    case APOSTROPHE: d_string_append(out, "&#8217;"); break;
    case DASH_M: d_string_append(out, "&#8212;"); break;
    case DASH_N: d_string_append(out, "&#8211;"); break;
    case ELLIPSIS: d_string_append(out, "&#8230;"); break;
    case 160: d_string_append(out, quote(c, kSingleOpen)); break;
    case 161: d_string_append(out, quote(c, kSingleClose)); break;
    case 162: d_string_append(out, quote(c, kDoubleOpen)); break;
    case 163: d_string_append(out, quote(c, kDoubleClose)); break;
    default: break;
    }
}

void tzr_odf_export_token_chain(DString *out, const char *source, token *t, tzr_export_context *c) {
    walk_chain_bounded(out, source, t, c, tzr_odf_export_token, odf_print_bytes);
}

void tzr_odf_export_token(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (!out || !source || !t || !c)
        return;
    bool known = export_link_or_note(out, source, t, c) || export_table_part(out, source, t, c) ||
                 (t->type <= BLOCK_TOC ? export_block(out, source, t, c)
                                       : export_inline(out, source, t, c));
    if (!known) {
        tzr_log("Unknown token type: %d\n", t->type);
        token_tree_describe(t, source);
    }
}

void odf_keep_spaces(DString *out, size_t from) {
    if (!out || from >= out->length)
        return;
    std::string kept;
    const char *text = out->str + from;
    const size_t length = out->length - from;
    bool line_start = true;
    for (size_t i = 0; i < length;) {
        if (text[i] == '<') {
            size_t end = i;
            while (end < length && text[end] != '>')
                end++;
            std::string_view tag(text + i, end - i + (end < length));
            kept.append(tag);
            line_start = tag == "<text:line-break/>";
            i += tag.size();
            continue;
        }
        if (text[i] != ' ') {
            kept += text[i++];
            line_start = false;
            continue;
        }
        size_t run = 0;
        while (i + run < length && text[i + run] == ' ')
            run++;
        if (run >= 2)
            kept += "<text:s text:c=\"" + std::to_string(run) + "\"/>";
        else
            kept += line_start ? "<text:s/>" : " ";
        i += run;
        line_start = false;
    }
    out->length = from;
    out->str[from] = '\0';
    d_string_append_c_array(out, kept.data(), kept.size());
}

void odf_print_token_chain_raw(DString *out, const char *source, token *t, tzr_export_context *c) {
    walk_chain_bounded(out, source, t, c, odf_print_token_raw, odf_print_bytes);
}

void odf_print_token_raw(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (!out || !source || !t || !c)
        return;
    switch (t->type) {
    case ANGLE_LEFT: d_string_append(out, "&lt;"); break;
    case ANGLE_RIGHT: d_string_append(out, "&gt;"); break;
    case AMPERSAND: d_string_append(out, "&amp;"); break;
    case AMPERSAND_LONG: d_string_append(out, "&amp;amp;"); break;
    case QUOTE_DOUBLE: d_string_append(out, "&quot;"); break;
    case ESCAPED_CHARACTER:
        d_string_append_c(out, '\\');
        if (t->len >= 2)
            odf_print_bytes(out, source + t->start + 1, 1);
        break;
    case HTML_ENTITY:
        d_string_append(out, "&amp;");
        if (t->len > 1)
            odf_print_bytes(out, source + t->start + 1, t->len - 1);
        break;
    case HTML_COMMENT_START: d_string_append(out, "&lt;!--"); break;
    case HTML_COMMENT_STOP: d_string_append(out, "--&gt;"); break;
    case MATH_PAREN_OPEN:
    case MATH_PAREN_CLOSE:
    case MATH_BRACKET_OPEN:
    case MATH_BRACKET_CLOSE: text(out, source, t); break;
    case SUPERSCRIPT:
    case SUBSCRIPT:
        if (t->child) {
            d_string_append_c(out, t->type == SUPERSCRIPT ? '^' : '~');
            odf_print_token_chain_raw(out, source, t->child, c);
        } else {
            text(out, source, t);
        }
        break;
    case INDENT_TAB: d_string_append(out, "<text:tab/>"); break;
    case MARKER_H1:
    case MARKER_H2:
    case MARKER_H3:
    case MARKER_H4:
    case MARKER_H5:
    case MARKER_H6:
        for (size_t i = t->start; i < t->start + t->len; i++) {
            char b = source[i];
            if (b == '\t')
                d_string_append(out, "<text:tab/>");
            else if (b == ' ' || b == '#')
                d_string_append_c(out, b);
            else
                break;
        }
        break;
    case MARKER_LIST_BULLET:
    case MARKER_LIST_ENUMERATOR:
        odf_print_bytes(out, source + t->start, marker_end(source, t) - t->start);
        break;
    case CODE_FENCE_LINE:
        if (t->next)
            t->next->type = CONSUMED;
        break;
    case CONSUMED: break;
    case HARD_BREAK: d_string_append(out, "  <text:line-break/>"); break;
    case NEWLINE: d_string_append(out, "<text:line-break/>"); break;
    default:
        if (t->child)
            odf_print_token_chain_raw(out, source, t->child, c);
        else
            text(out, source, t);
        break;
    }
}

void odf_print_math_token(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (!out || !source || !t || !c)
        return;
    switch (t->type) {
    case MATH_PAREN_OPEN: d_string_append(out, "\\("); break;
    case MATH_PAREN_CLOSE: d_string_append(out, "\\)"); break;
    case MATH_BRACKET_OPEN: d_string_append(out, "\\["); break;
    case MATH_BRACKET_CLOSE: d_string_append(out, "\\]"); break;
    default: odf_print_token_raw(out, source, t, c); break;
    }
}

void odf_print_math_chain(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (!out || !source || !c)
        return;
    walk_chain(out, source, t, c, odf_print_math_token);
}

#include "library/line_types.h"

#include "library/char.h"
#include "library/scanners/scanners.h"
#include "library/tzr.h"

namespace {

// Asked of every line's first token: the tests are combined without
// branches (a token's start is always within the source, so its byte may be
// read even when the other tests fail).
bool is_short_indent(const token *t, const char *source) {
    return (t->type == NON_INDENT_SPACE) | ((t->type == TEXT) & (t->len == 1) & (source[t->start] == ' '));
}

bool is_whitespace_token(const token *t) {
    return t->type == INDENT_TAB || t->type == INDENT_SPACE || t->type == NON_INDENT_SPACE;
}

bool is_line_end(const token *t) { return t->type == HARD_BREAK || t->type == NEWLINE; }

// Unlinks a child that is not the line's first and frees it, keeping the
// head's tail current.
void remove_later_child(token *line, token *t) {
    token *head = line->child;
    t->prev->next = t->next;
    if (t->next)
        t->next->prev = t->prev;
    else
        head->tail = t->prev;
    t->next = t->prev = nullptr;
    token_free(t);
}

// Three or more break characters of F's kind with only whitespace between.
bool is_thematic_break(tzr_engine *e, token *line, token *f, const char *source) {
    const token *last = line->child->tail ? line->child->tail : line->child;
    size_t end = last->start + last->len;
    // F lies before a token already known to end this line's run of F's kind.
    if (e->break_memo_end == end && e->break_memo_type == f->type && f->start < e->break_memo_stop)
        return false;
    size_t count = f->len;
    for (token *t = f->next; t && !is_line_end(t); t = t->next) {
        if (t->type == f->type) {
            count += t->len;
        } else if (!is_whitespace_token(t) &&
                   !(t->type == TEXT && t->len == 1 && source[t->start] == ' ')) {
            e->break_memo_end = end;
            e->break_memo_stop = t->start;
            e->break_memo_type = f->type;
            return false;
        }
    }
    return count >= 3;
}

// Whitespace behind a list marker belongs to neither the marker nor the text.
void clean_after_marker(token *line, token *marker, const char *source) {
    if (marker->next && is_whitespace_token(marker->next)) {
        while (marker->next && is_whitespace_token(marker->next))
            remove_later_child(line, marker->next);
        return;
    }
    token *text = marker->next;
    if (text && text->type == TEXT) {
        while (text->len && char_is_whitespace(source[text->start])) {
            text->start++;
            text->len--;
        }
        // An emptied text would stand before the rest of the line when a
        // nested parse drops the marker, and hide a marker behind it.
        if (!text->len)
            remove_later_child(line, text);
    }
}

bool next_starts_with_blank(const token *f, const char *source) {
    return f->next && char_is_whitespace(source[f->next->start]);
}

unsigned short bullet_test(token *line, token *f, const char *source) {
    if (!next_starts_with_blank(f, source))
        return LINE_PLAIN;
    f->type = MARKER_LIST_BULLET;
    clean_after_marker(line, f, source);
    return LINE_LIST_BULLETED;
}

unsigned short enumerator_test(token *line, token *f, const char *source) {
    if (!f->next) {
        f->type = MARKER_LIST_ENUMERATOR;
        return LINE_LIST_ENUMERATED;
    }
    if (!next_starts_with_blank(f, source)) {
        f->type = TEXT;
        return LINE_PLAIN;
    }
    f->type = MARKER_LIST_ENUMERATOR;
    clean_after_marker(line, f, source);
    return LINE_LIST_ENUMERATED;
}

unsigned short break_or_bullet(tzr_engine *e, token *line, token *f, const char *source) {
    if (is_thematic_break(e, line, f, source))
        return LINE_HR;
    if (f->type == UL || f->len > 1)
        return LINE_PLAIN;
    return bullet_test(line, f, source);
}

// A line of only indentation is blank, and a blank line ends the stretch in
// which metadata may appear.
unsigned short indentation_test(tzr_engine *e, token *f) {
    token *t = f;
    while (t && is_whitespace_token(t))
        t = t->next;
    if (!t || is_line_end(t)) {
        e->allow_meta = false;
        return LINE_EMPTY;
    }
    return f->type == INDENT_TAB ? LINE_INDENTED_TAB : LINE_INDENTED_SPACE;
}

unsigned short metadata_test(tzr_engine *e, const char *at_line) {
    if (!e->allow_meta || (e->extensions & TZR_EXT_COMPATIBILITY))
        return LINE_PLAIN;
    if (scan_url(at_line))  // a line that begins with a URL or an address
        return LINE_PLAIN;
    return scan_meta_line(at_line) ? LINE_META : LINE_PLAIN;
}

unsigned short note_definition(tzr_engine *e, const char *at_line, size_t (*scan_note)(const char *),
                               unsigned short type) {
    if (e->extensions & TZR_EXT_NOTES)
        return scan_note(at_line) ? type : (unsigned short)LINE_PLAIN;
    return scan_reference_link_definition(at_line) ? (unsigned short)LINE_DEF_LINK
                                                   : (unsigned short)LINE_PLAIN;
}

unsigned short fence_type(const token *f, unsigned short three) {
    int extra = f->len == 3 ? 0 : f->len == 4 ? 1 : 2;
    return (unsigned short)(three + extra);
}

void mark_closing_heading(token *line) {
    token *last = line->child->tail ? line->child->tail : line->child;
    if (last->type == NEWLINE && last->prev)
        last = last->prev;
    if (last->type >= HASH1 && last->type <= HASH6)
        last->type = (unsigned short)(last->type + 7);
}

unsigned short decide(tzr_engine *e, token *line, token *f, const char *source) {
    const char *at_line = source + line->start;
    const char *at_token = source + f->start;
    bool compat = e->extensions & TZR_EXT_COMPATIBILITY;
    switch (f->type) {
    case HASH1: case HASH2: case HASH3: case HASH4: case HASH5: case HASH6: {
        if (!scan_atx_marker(at_token))
            return LINE_PLAIN;
        unsigned short level = (unsigned short)(f->type - HASH1 + 1);
        f->type = (unsigned short)(f->type + 7);
        mark_closing_heading(line);
        return (unsigned short)(LINE_ATX_1 + level - 1);
    }
    case DASH_M:
    case DASH_N:
        if (scan_setext(at_token))
            return LINE_SETEXT_2;
        return break_or_bullet(e, line, f, source);
    case STAR:
    case UL: return break_or_bullet(e, line, f, source);
    case PLUS: return bullet_test(line, f, source);
    case ENUMERATOR: return enumerator_test(line, f, source);
    case NEWLINE:
    case HARD_BREAK: e->allow_meta = false; return LINE_EMPTY;
    case INDENT_TAB:
    case INDENT_SPACE: return indentation_test(e, f);
    case BRACKET_LEFT:
        if (compat)
            return scan_reference_link_definition(at_line) ? LINE_DEF_LINK : LINE_PLAIN;
        return scan_link_definition_line(at_line) ? LINE_DEF_LINK : LINE_PLAIN;
    case BRACKET_ABBREVIATION_LEFT:
        return note_definition(e, at_line, scan_abbreviation_definition, LINE_DEF_ABBREVIATION);
    case BRACKET_CITATION_LEFT:
        return note_definition(e, at_line, scan_citation_definition, LINE_DEF_CITATION);
    case BRACKET_FOOTNOTE_LEFT:
        return note_definition(e, at_line, scan_footnote_definition, LINE_DEF_FOOTNOTE);
    case BRACKET_GLOSSARY_LEFT:
        return note_definition(e, at_line, scan_glossary_definition, LINE_DEF_GLOSSARY);
    case ANGLE_LEFT: return scan_html_block_start(at_line) ? LINE_HTML : LINE_PLAIN;
    case ANGLE_RIGHT: f->type = MARKER_BLOCKQUOTE; return LINE_BLOCKQUOTE;
    case BACKTICK:
        if (compat)
            return LINE_PLAIN;
        if (scan_fence(at_token))
            return fence_type(f, LINE_FENCE_3);
        if (scan_fence_start(at_token))
            return fence_type(f, LINE_FENCE_START_3);
        return LINE_PLAIN;
    case COLON:
        if (compat)
            return LINE_PLAIN;
        return scan_definition(at_token) ? LINE_DEFINITION : LINE_PLAIN;
    case HTML_COMMENT_START:
        return !f->next || !f->next->next ? LINE_HTML_COMMENT_START : LINE_PLAIN;
    case HTML_COMMENT_STOP:
        return !f->next || !f->next->next ? LINE_HTML_COMMENT_STOP : LINE_PLAIN;
    case EQUAL: return scan_setext(at_token) ? LINE_SETEXT_1 : LINE_PLAIN;
    case PIPE:
        if (compat)
            return metadata_test(e, at_line);
        return scan_table_separator(at_line) ? LINE_TABLE_SEPARATOR : LINE_TABLE;
    case TOC: return compat ? LINE_PLAIN : LINE_TOC;
    case TEXT: return metadata_test(e, at_line);
    default: return LINE_PLAIN;
    }
}

}  // namespace

void tzr_assign_line_type(tzr_engine *e, token *line) {
    if (!line || !e || !e->source || !e->source->str)
        return;
    if (!line->child) {
        line->type = LINE_EMPTY;
        return;
    }
    const char *source = e->source->str;
    token *f = line->child;
    if (is_short_indent(f, source)) {
        f = f->next;
        if (!f) {
            line->type = LINE_EMPTY;
            return;
        }
    }
    unsigned short type = decide(e, line, f, source);
    // A plain line with a pipe in it is a table row.
    if (type == LINE_PLAIN && !(e->extensions & TZR_EXT_COMPATIBILITY)) {
        for (token *t = f; t; t = t->next) {
            if (t->type == PIPE) {
                type = scan_table_separator(source + line->start) ? LINE_TABLE_SEPARATOR : LINE_TABLE;
                break;
            }
        }
    }
    line->type = type;
}

void tzr_retype_after_indent(tzr_engine *e, token *line, unsigned short before) {
    if (!line || !e || !e->source || !e->source->str)
        return;
    // Dropping leading indentation never turns a blank line into one with
    // text or the reverse, so a line that still starts indented keeps its
    // kind without a walk over the rest of its indentation (that walk, level
    // after level, made deeply nested lists cost cubic time).
    bool was_indented = before == LINE_INDENTED_TAB || before == LINE_INDENTED_SPACE;
    if ((was_indented || before == LINE_EMPTY) && line->child) {
        token *f = line->child;
        if (is_short_indent(f, e->source->str))
            f = f->next;
        if (f && (f->type == INDENT_TAB || f->type == INDENT_SPACE)) {
            if (was_indented) {
                line->type = f->type == INDENT_TAB ? LINE_INDENTED_TAB : LINE_INDENTED_SPACE;
            } else {
                e->allow_meta = false;
                line->type = LINE_EMPTY;
            }
            return;
        }
    }
    tzr_assign_line_type(e, line);
}

void tzr_line_strip_quote_marker(token *line, const char *source) {
    if (!line || !line->child || !source)
        return;
    if (line->child->type == MARKER_BLOCKQUOTE || line->child->type == NON_INDENT_SPACE)
        token_remove_first_child(line);
    token *text = line->child;
    if (!text || text->type != TEXT)
        return;
    while (text->len && char_is_whitespace(source[text->start])) {
        text->start++;
        text->len--;
    }
    if (!text->len)
        token_remove_first_child(line);
}

void tzr_block_strip_quote_markers(tzr_engine *e, token *block) {
    if (!e || !e->source || !block)
        return;
    for (token *line = block->child; line; line = line->next) {
        tzr_line_strip_quote_marker(line, e->source->str);
        tzr_assign_line_type(e, line);
    }
}

void tzr_line_strip_code_indent(token *line) {
    if (line && line->child && (line->child->type == INDENT_TAB || line->child->type == INDENT_SPACE))
        token_remove_first_child(line);
}

void tzr_block_strip_code_indent(tzr_engine *e, token *block) {
    if (!block)
        return;
    for (token *line = block->child; line; line = line->next) {
        tzr_line_strip_code_indent(line);
        tzr_retype_after_indent(e, line, line->type);
    }
}

// Block-level cases of the HTML token writer: paragraphs and the back links
// of notes, headings, quotes, lists, definitions, code, tables and the table
// of contents.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "library/writers/html.h"
#include "library/labels.h"
#include "library/notes.h"

using namespace html_detail;

namespace {

void children(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (t->child)
        html_export_token_chain(out, source, t->child, c);
}

void back_link(DString *out, const char *kind, int number, const char *cls, tzr_export_context *c) {
    d_string_append(out, " <a href=\"#");
    d_string_append(out, kind);
    d_string_append(out, "ref:");
    append_int(out, number);
    d_string_append(out, "\" title=\"");
    d_string_append(out, title_text(0, c->language));
    d_string_append(out, "\" class=\"");
    d_string_append(out, cls);
    d_string_append(out, "\">&#160;&#8617;</a>");
}

void export_paragraph(DString *out, const char *source, token *t, tzr_export_context *c) {
    tzr_pad_newlines(out, 2, c);
    if (!c->tight_list)
        d_string_append(out, "<p>");
    children(out, source, t, c);
    if (c->citation_current && c->note_paras_left-- == 1)
        back_link(out, "cn", c->citation_current, "reversecitation", c);
    if (c->footnote_current && c->note_paras_left-- == 1)
        back_link(out, "fn", html_footnote_anchor(c, c->footnote_current), "reversefootnote", c);
    if (c->glossary_current && c->note_paras_left-- == 1)
        back_link(out, "gn", c->glossary_current, "reverseglossary", c);
    if (c->close_next_para == 0)
        c->close_next_para = 1;
    else if (!c->tight_list)
        d_string_append(out, "</p>");
    c->newline_count = 0;
}

// Heading elements stop at h6; a deeper level from a raised base level is
// written as h6 so the output stays valid.
int clamp_level(int level) { return level < 1 ? 1 : level > 6 ? 6 : level; }

void export_heading(DString *out, const char *source, token *t, tzr_export_context *c) {
    tzr_pad_newlines(out, 2, c);
    int level;
    char *id = nullptr;
    bool labels = !(c->ext_flags & TZR_EXT_NO_LABELS);
    if (t->type >= BLOCK_H1 && t->type <= BLOCK_H6) {
        level = clamp_level((t->type - 61) + c->header_level_base - 1);
    } else {
        level = clamp_level(c->header_level_base + (t->type == BLOCK_SETEXT_2 ? 1 : 0));
    }
    if (labels)
        id = tzr_heading_id(c, source, t);
    // One digit: the level is 1 to 6.
    char digit = (char)('0' + level);
    d_string_append(out, "<h");
    d_string_append_c(out, digit);
    if (labels) {
        d_string_append(out, " id=\"");
        html_print_string(out, id ? id : "", false);
        d_string_append(out, "\">");
    } else {
        d_string_append_c(out, '>');
    }
    free(id);
    children(out, source, t, c);
    d_string_append(out, "</h");
    d_string_append_c(out, digit);
    d_string_append_c(out, '>');
    c->newline_count = 0;
}

bool is_bare_fence(const token *t) { return t && t->type >= LINE_FENCE_3 && t->type <= LINE_FENCE_5; }

void export_fenced_code(DString *out, const char *source, token *t, tzr_export_context *c) {
    tzr_pad_newlines(out, 2, c);
    token *opening = t->child;
    char *language = opening ? tzr_fence_language(opening->child, source) : nullptr;
    if (language && !strncmp(language, "{=", 2)) {
        if (tzr_raw_filter_matches(language, TZR_FORMAT_HTML) && opening) {
            token *last = t->child;
            while (last->next)
                last = last->next;
            if (is_bare_fence(last) && opening->next && last != opening) {
                size_t from = opening->next->start;
                if (last->start > from)
                    d_string_append_c_array(out, source + from, last->start - from);
                c->newline_count = 1;
            } else {
                size_t from = opening->start + opening->len;
                size_t end = t->start + t->len;
                if (end > from)
                    d_string_append_c_array(out, source + from, end - from);
                c->newline_count = 0;
            }
        }
        free(language);
        return;
    }
    d_string_append(out, "<pre><code");
    if (language) {
        d_string_append(out, " class=\"");
        html_print_string(out, language, false);
        d_string_append(out, "\"");
    }
    d_string_append(out, ">");
    free(language);
    walk_chain(out, source, opening ? opening->next : nullptr, c, html_print_token_raw);
    d_string_append(out, "</code></pre>");
    c->newline_count = 0;
}

const char *col_element(char letter) {
    switch (letter) {
    case 'c': return "<col style=\"text-align:center;\"/>\n";
    case 'l': return "<col style=\"text-align:left;\"/>\n";
    case 'r': return "<col style=\"text-align:right;\"/>\n";
    case 'C': return "<col style=\"text-align:center;\" class=\"extended\"/>\n";
    case 'L':
    case 'N': return "<col style=\"text-align:left;\" class=\"extended\"/>\n";
    case 'R': return "<col style=\"text-align:right;\" class=\"extended\"/>\n";
    default: return "<col />\n";
    }
}

// Where the quote markers end that open the stretch [from, to) of a line
// no token covers (each marker with the one space that may follow it);
// `from` when there are none.
size_t quote_markers_end(const char *source, size_t from, size_t to) {
    size_t cut = from;
    for (size_t i = from; i < to && source[i] != '\n'; i++)
        if (source[i] == '>')
            cut = i + 1;
    if (cut > from && cut < to && (source[cut] == ' ' || source[cut] == '\t'))
        cut++;
    return cut;
}

// An HTML block's text as the document has it, less the quote markers that
// its lines lost when the quotes around it were read: they belong to the
// quotes, and in the HTML they would be text. A line's markers are what no
// token of the block covers at its start; all else, indents included, is
// written as it stands.
void export_html_block(DString *out, const char *source, const token *t) {
    const size_t end = size_t(t->start) + t->len;
    size_t written = t->start;
    size_t covered = t->start;
    for (const token *c = t->child; c; c = c->next) {
        const size_t start = c->start;
        if (start > covered && start <= end && (covered == 0 || source[covered - 1] == '\n')) {
            const size_t cut = quote_markers_end(source, covered, start);
            if (cut > covered) {
                d_string_append_c_array(out, source + written, covered - written);
                written = cut;
            }
        }
        covered = std::max(covered, std::min(start + c->len, end));
    }
    d_string_append_c_array(out, source + written, end - written);
}

void consume_marks(token *pair) {
    if (!pair || !pair->child)
        return;
    if (pair->child->mate)
        pair->child->mate->type = CONSUMED;
    pair->child->type = CONSUMED;
}

void export_table(DString *out, const char *source, token *t, tzr_export_context *c) {
    tzr_pad_newlines(out, 2, c);
    d_string_append(out, "<table>\n");
    bool caption = tzr_table_has_caption(t);
    if (caption) {
        token *bracket = t->next->child;
        token *label = bracket->next && bracket->next->type == PAIR_BRACKET ? bracket->next : bracket;
        char *id = tzr_label_from_token(source, label);
        d_string_append(out, "<caption style=\"caption-side: bottom;\" id=\"");
        html_print_string(out, id ? id : "", false);
        d_string_append(out, "\">");
        free(id);
        consume_marks(bracket);
        children(out, source, bracket, c);
        d_string_append(out, "</caption>\n");
    }
    c->newline_count = 2;
    tzr_table_read_alignment(source, t, c);
    d_string_append(out, "<colgroup>\n");
    for (int32_t i = 0; i < c->table_columns; i++)
        d_string_append(out, col_element(tzr_column_alignment(c, i)));
    d_string_append(out, "</colgroup>\n");
    c->newline_count = 1;
    children(out, source, t, c);
    tzr_pad_newlines(out, 1, c);
    d_string_append(out, "</table>");
    c->newline_count = 0;
    if (caption)
        c->skip_count = 1;
}

void export_cell(DString *out, const char *source, token *t, tzr_export_context *c) {
    d_string_append(out, c->table_head ? "\t<th" : "\t<td");
    switch (tzr_column_alignment(c, c->table_column)) {
    case 'C':
    case 'c': d_string_append(out, " style=\"text-align:center;\""); break;
    case 'L':
    case 'l': d_string_append(out, " style=\"text-align:left;\""); break;
    case 'R':
    case 'r': d_string_append(out, " style=\"text-align:right;\""); break;
    default: break;
    }
    if (t->next && t->next->type == TABLE_DIVIDER && t->next->len >= 2) {
        d_string_append(out, " colspan=\"");
        append_int(out, (int)t->next->len);
        d_string_append_c(out, '"');
    }
    d_string_append(out, ">");
    children(out, source, t, c);
    d_string_append(out, c->table_head ? "</th>\n" : "</td>\n");
    c->table_column += t->next ? (int32_t)t->next->len : 1;
    // The divider after a cell writes nothing: with no output recorded the
    // row's walk passes over it rather than dispatching it, half of a
    // table's tokens.
    if (!c->record_output && !c->skip_count && t->next && t->next->type == TABLE_DIVIDER)
        c->skip_count = 1;
}

void export_list(DString *out, const char *source, token *t, tzr_export_context *c) {
    uint16_t saved = c->tight_list;
    c->tight_list = (t->type == BLOCK_LIST_BULLETED || t->type == BLOCK_LIST_ENUMERATED) ? 1 : 0;
    bool ordered = t->type == BLOCK_LIST_ENUMERATED || t->type == BLOCK_LIST_ENUMERATED_LOOSE;
    tzr_pad_newlines(out, 2, c);
    d_string_append(out, ordered ? "<ol>" : "<ul>");
    c->newline_count = 0;
    children(out, source, t, c);
    tzr_pad_newlines(out, 1, c);
    d_string_append(out, ordered ? "</ol>" : "</ul>");
    c->newline_count = 0;
    c->tight_list = saved;
}

// Blocks that are their content between two literals.
constexpr block_row kHtmlFrames[] = {
    {BLOCK_BLOCKQUOTE,
     {.pad = 2, .open = "<blockquote>\n", .after_open = 2, .pad_close = 1,
      .close = "</blockquote>", .after = 0}},
    {BLOCK_DEFLIST,
     {.pad = 2, .open = "<dl>\n", .after_open = 2, .pad_close = 1, .close = "</dl>\n",
      .after = 1, .joins_run = true}},
    {BLOCK_HR, {.pad = 2, .open = "<hr />", .after = 0, .without_children = true}},
    {BLOCK_LIST_ITEM, {.pad = 1, .open = "<li>", .after_open = 2, .close = "</li>", .after = 0}},
    {BLOCK_TABLE_SECTION,
     {.pad = 2, .open = "<tbody>\n", .after_open = 2, .close = "</tbody>", .after = 0}},
    {BLOCK_TERM, {.pad = 2, .open = "<dt>", .close = "</dt>\n", .after = 2}},
};

constexpr block_frames kFrames(html_export_token_chain, kHtmlFrames);

}  // namespace

namespace html_detail {

bool export_block(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (kFrames.write(out, source, t, c))
        return true;
    switch (t->type) {
    case DOC_ROOT:
    case LINE_LIST_BULLETED:
    case LINE_LIST_ENUMERATED: children(out, source, t, c); break;
    case LINE_SETEXT_2:
    case BLOCK_EMPTY:
    case BLOCK_META: break;
    case BLOCK_CODE_FENCED: export_fenced_code(out, source, t, c); break;
    case BLOCK_CODE_INDENTED:
        tzr_pad_newlines(out, 2, c);
        d_string_append(out, "<pre><code>");
        for (token *x = t->child; x; x = x->next)
            html_print_token_raw(out, source, x, c);
        d_string_append(out, "</code></pre>");
        c->newline_count = 0;
        break;
    case BLOCK_DEFINITION: {
        tzr_pad_newlines(out, 2, c);
        d_string_append(out, "<dd>");
        uint16_t saved = c->tight_list;
        token *second = t->child ? t->child->next : nullptr;
        if (!(second && second->type == BLOCK_EMPTY && second->next))
            c->tight_list = 1;
        children(out, source, t, c);
        d_string_append(out, "</dd>");
        c->newline_count = 0;
        c->tight_list = saved;
        break;
    }
    case BLOCK_DEF_CITATION:
    case BLOCK_DEF_GLOSSARY:
    case BLOCK_DEF_FOOTNOTE:
    case BLOCK_PARA: export_paragraph(out, source, t, c); break;
    case BLOCK_H1:
    case BLOCK_H2:
    case BLOCK_H3:
    case BLOCK_H4:
    case BLOCK_H5:
    case BLOCK_H6:
    case BLOCK_SETEXT_1:
    case BLOCK_SETEXT_2: export_heading(out, source, t, c); break;
    case BLOCK_HTML:
        tzr_pad_newlines(out, 2, c);
        export_html_block(out, source, t);
        c->newline_count = 1;
        break;
    case BLOCK_LIST_BULLETED:
    case BLOCK_LIST_BULLETED_LOOSE:
    case BLOCK_LIST_ENUMERATED:
    case BLOCK_LIST_ENUMERATED_LOOSE: export_list(out, source, t, c); break;
    case BLOCK_LIST_ITEM_TEXT:
        tzr_pad_newlines(out, 1, c);
        d_string_append(out, "<li>");
        if (!c->tight_list)
            d_string_append(out, "<p>");
        c->newline_count = 2;
        children(out, source, t, c);
        if (c->close_next_para == 1) {
            if (!c->tight_list)
                d_string_append(out, "</p>");
        } else {
            c->close_next_para = 1;
        }
        d_string_append(out, "</li>");
        c->newline_count = 0;
        break;
    case BLOCK_TABLE: export_table(out, source, t, c); break;
    case BLOCK_TABLE_HEADER:
        tzr_pad_newlines(out, 2, c);
        d_string_append(out, "<thead>\n");
        c->table_head = 1;
        children(out, source, t, c);
        c->table_head = 0;
        d_string_append(out, "</thead>\n");
        c->newline_count = 1;
        break;
    case BLOCK_TOC:
        if (c->format == TZR_FORMAT_EPUB)
            break;
        tzr_pad_newlines(out, 2, c);
        d_string_append(out, "<div class=\"TOC\">\n");
        {
            size_t index = 0;
            html_export_toc_entries(out, source, c, &index, 0);
        }
        d_string_append(out, "</div>");
        c->newline_count = 0;
        break;
    default: return false;
    }
    return true;
}

}  // namespace html_detail

bool html_detail::export_table_part(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (t->type == TABLE_ROW) {
        d_string_append(out, "<tr>\n");
        c->table_column = 0;
        children(out, source, t, c);
        d_string_append(out, "</tr>\n");
        return true;
    }
    if (t->type == TABLE_CELL) {
        export_cell(out, source, t, c);
        return true;
    }
    return false;
}

void html_export_toc_entries(DString *out, const char *source, tzr_export_context *c, size_t *index,
                             int min_level) {
    if (!out || !source || !c || !index || !c->header_list)
        return;
    stack *headers = c->header_list;
    d_string_append(out, "\n<ul>\n");
    while (*index < headers->size) {
        token *h = static_cast<token *>(stack_peek_index(headers, *index));
        int level = tzr_heading_level(h);
        if (level < min_level) {
            (*index)--;
            d_string_append(out, "</ul>\n");
            return;
        }
        char *label = tzr_heading_id(c, source, h);
        d_string_append(out, "<li><a href=\"#");
        html_print_string(out, label ? label : "", false);
        d_string_append(out, "\">");
        free(label);
        children(out, source, h, c);
        d_string_append(out, "</a>");
        if (*index + 1 < headers->size &&
            tzr_heading_level(static_cast<token *>(stack_peek_index(headers, *index + 1))) > level) {
            (*index)++;
            html_export_toc_entries(out, source, c, index, level + 1);
        }
        d_string_append(out, "</li>\n");
        (*index)++;
    }
    d_string_append(out, "</ul>\n");
}

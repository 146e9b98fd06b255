// Block-level cases of the OpenDocument token writer: paragraphs, headings,
// quotes, lists, definitions, code and raw blocks, rules, tables and their
// captions, and the table of contents.
#include <cstdlib>
#include <cstring>

#include "library/labels.h"
#include "library/notes.h"
#include "library/writers/odf.h"
#include "library/token_types.h"

using namespace odf_detail;

namespace {

void export_paragraph(DString *out, const char *source, token *t, tzr_export_context *c) {
    tzr_pad_newlines(out, 2, c);
    switch (c->enclosing_block) {
    case PAIR_BRACKET_ABBREVIATION:
    case PAIR_BRACKET_FOOTNOTE:
    case PAIR_BRACKET_GLOSSARY:
    case PAIR_BRACKET_CITATION: d_string_append(out, "<text:p text:style-name=\"Footnote\">"); break;
    case BLOCK_BLOCKQUOTE:
    case BLOCK_DEFINITION: d_string_append(out, "<text:p text:style-name=\"Quotations\">"); break;
    default: d_string_append(out, "<text:p text:style-name=\"Standard\">"); break;
    }
    children(out, source, t, c);
    d_string_append(out, "</text:p>");
    c->newline_count = 0;
}

void export_heading(DString *out, const char *source, token *t, tzr_export_context *c) {
    tzr_pad_newlines(out, 2, c);
    int level = tzr_heading_level(t) + c->header_level_base - 1;
    // Outline levels run from 1 to 10.
    level = level < 1 ? 1 : level > 10 ? 10 : level;
    d_string_append_printf(out, "<text:h text:outline-level=\"%d\">", level);
    if (!(c->ext_flags & TZR_EXT_NO_LABELS)) {
        char *label = tzr_heading_id(c, source, t);
        d_string_append(out, "<text:bookmark text:name=\"");
        odf_print_attribute(out, label ? label : "");
        d_string_append(out, "\"/>");
        free(label);
    }
    children(out, source, t, c);
    d_string_append(out, "</text:h>");
    c->newline_count = 0;
}

bool is_bare_fence(const token *t) {
    return t && t->type >= LINE_FENCE_3 && t->type <= LINE_FENCE_5;
}

void export_raw_block(DString *out, const char *source, token *t, token *opening,
                      const char *language, tzr_export_context *c) {
    if (!tzr_raw_filter_matches(language, TZR_FORMAT_ODT))
        return;
    token *last = t->child;
    while (last->next)
        last = last->next;
    size_t from = opening->next ? opening->next->start : opening->start + opening->len;
    if (is_bare_fence(last) && last != opening) {
        if (last->start > from)
            d_string_append_c_array(out, source + from, last->start - from);
        c->newline_count = 1;
    } else {
        size_t end = t->start + t->len;
        if (end > from)
            d_string_append_c_array(out, source + from, end - from);
        c->newline_count = 0;
    }
}

void export_fenced_code(DString *out, const char *source, token *t, tzr_export_context *c) {
    tzr_pad_newlines(out, 2, c);
    token *opening = t->child;
    char *language = opening ? tzr_fence_language(opening->child, source) : nullptr;
    if (language && !strncmp(language, "{=", 2)) {
        export_raw_block(out, source, t, opening, language, c);
        free(language);
        return;
    }
    free(language);
    d_string_append(out, "<text:p text:style-name=\"Preformatted_20_Text\">");
    size_t code = out->length;
    if (opening && opening->next)
        odf_print_token_chain_raw(out, source, opening->next, c);
    odf_keep_spaces(out, code);
    d_string_append(out, "</text:p>");
    c->newline_count = 0;
}


void export_table(DString *out, const char *source, token *t, tzr_export_context *c) {
    tzr_pad_newlines(out, 2, c);
    d_string_append(out, "<table:table>\n");
    c->newline_count = 2;
    tzr_table_read_alignment(source, t, c);
    for (int32_t i = 0; i < c->table_columns; i++)
        d_string_append(out, "<table:table-column/>\n");
    c->newline_count = 1;
    children(out, source, t, c);
    tzr_pad_newlines(out, 1, c);
    d_string_append(out, "</table:table>\n");
    if (tzr_table_has_caption(t)) {
        token *bracket = t->next->child;
        token *label_token =
            bracket->next && bracket->next->type == PAIR_BRACKET ? bracket->next : bracket;
        char *label = tzr_label_from_token(source, label_token);
        d_string_append(out, "<text:p><text:bookmark text:name=\"");
        odf_print_attribute(out, label ? label : "");
        d_string_append(out,
                        "\"/>Table <text:sequence text:name=\"Table\" text:formula=\"ooow:Table+1\" "
                        "style:num-format=\"1\"> Update Fields to calculate numbers</text:sequence>: ");
        consume_pair_marks(bracket);
        children(out, source, bracket, c);
        d_string_append(out, "<text:bookmark-end text:name=\"");
        odf_print_attribute(out, label ? label : "");
        d_string_append(out, "\"/></text:p>\n");
        free(label);
        c->skip_count = 1;
    } else {
        c->skip_count = 0;
    }
    c->newline_count = 0;
}

void export_cell(DString *out, const char *source, token *t, tzr_export_context *c) {
    d_string_append(out, "<table:table-cell");
    if (t->next && t->next->type == TABLE_DIVIDER && t->next->len >= 2)
        d_string_append_printf(out, " table:number-columns-spanned=\"%d\"", (int)t->next->len);
    if (c->table_head) {
        d_string_append(out, ">\n<text:p text:style-name=\"Table_20_Heading\">");
    } else {
        d_string_append(out, ">\n<text:p");
        switch (tzr_column_alignment(c, c->table_column)) {
        case 'c':
        case 'C': d_string_append(out, " text:style-name=\"TZR-Table-Center\""); break;
        case 'r':
        case 'R': d_string_append(out, " text:style-name=\"TZR-Table-Right\""); break;
        default: d_string_append(out, " text:style-name=\"TZR-Table\""); break;
        }
        d_string_append(out, ">");
    }
    children(out, source, t, c);
    d_string_append(out, "</text:p>\n</table:table-cell>\n");
    c->table_column += t->next ? (int32_t)t->next->len : 1;
}

// Blocks that are their content between two literals.
constexpr block_row kOdfFrames[] = {
    {BLOCK_DEFLIST, {.pad = 2, .after_open = 2, .pad_close = 1, .after = 1}},
    {BLOCK_HR,
     {.pad = 2, .open = "<text:p text:style-name=\"Horizontal_20_Line\"/>", .after = 0,
      .without_children = true}},
    {BLOCK_LIST_BULLETED,
     {.pad = 2, .open = "<text:list text:style-name=\"L1\">", .after_open = 1, .pad_close = 2,
      .close = "</text:list>", .after = 0}},
    {BLOCK_LIST_BULLETED_LOOSE,
     {.pad = 2, .open = "<text:list text:style-name=\"L1\">", .after_open = 1, .pad_close = 2,
      .close = "</text:list>", .after = 0}},
    {BLOCK_LIST_ENUMERATED,
     {.pad = 2, .open = "<text:list text:style-name=\"L2\">", .after_open = 1, .pad_close = 2,
      .close = "</text:list>", .after = 0}},
    {BLOCK_LIST_ENUMERATED_LOOSE,
     {.pad = 2, .open = "<text:list text:style-name=\"L2\">", .after_open = 1, .pad_close = 2,
      .close = "</text:list>", .after = 0}},
    {BLOCK_LIST_ITEM,
     {.pad = 2, .open = "<text:list-item>\n", .after_open = 2, .close = "</text:list-item>",
      .after = 0}},
    {BLOCK_TABLE_SECTION, {.pad = 2, .after_open = 2, .after = 0}},
    {BLOCK_TERM,
     {.pad = 2, .open = "<text:p><text:span text:style-name=\"TZR-Bold\">",
      .close = "</text:span></text:p>\n", .after = 2}},
};

constexpr block_frames kFrames(tzr_odf_export_token_chain, kOdfFrames);

}  // namespace

namespace odf_detail {

bool export_block(DString *out, const char *source, token *t, tzr_export_context *c) {
    if (kFrames.write(out, source, t, c))
        return true;
    uint16_t saved = c->enclosing_block;
    switch (t->type) {
    case DOC_ROOT:
    case LINE_LIST_BULLETED:
    case LINE_LIST_ENUMERATED: children(out, source, t, c); break;
    case LINE_SETEXT_2:
    case BLOCK_EMPTY:
    case BLOCK_HTML:
    case BLOCK_META:
    case BLOCK_DEF_ABBREVIATION:
    case BLOCK_DEF_LINK: break;
    case BLOCK_BLOCKQUOTE:
        tzr_pad_newlines(out, 2, c);
        c->newline_count = 2;
        c->enclosing_block = BLOCK_BLOCKQUOTE;
        children(out, source, t, c);
        c->newline_count = 0;
        c->enclosing_block = saved;
        break;
    case BLOCK_CODE_FENCED: export_fenced_code(out, source, t, c); break;
    case BLOCK_CODE_INDENTED: {
        tzr_pad_newlines(out, 2, c);
        d_string_append(out, "<text:p text:style-name=\"Preformatted_20_Text\">");
        size_t code = out->length;
        odf_print_token_chain_raw(out, source, t->child, c);
        odf_keep_spaces(out, code);
        d_string_append(out, "</text:p>");
        c->newline_count = 0;
        break;
    }
    case BLOCK_DEFINITION:
        tzr_pad_newlines(out, 2, c);
        c->enclosing_block = BLOCK_DEFINITION;
        if (t->child && t->child->type == BLOCK_PARA) {
            children(out, source, t, c);
        } else {
            d_string_append(out, "<text:p text:style-name=\"Quotations\">");
            children(out, source, t, c);
            d_string_append(out, "</text:p>");
        }
        c->newline_count = 0;
        c->enclosing_block = saved;
        break;
    case BLOCK_DEF_CITATION:
    case BLOCK_DEF_FOOTNOTE:
    case BLOCK_DEF_GLOSSARY:
    case BLOCK_PARA: export_paragraph(out, source, t, c); break;
    case BLOCK_H1:
    case BLOCK_H2:
    case BLOCK_H3:
    case BLOCK_H4:
    case BLOCK_H5:
    case BLOCK_H6:
    case BLOCK_SETEXT_1:
    case BLOCK_SETEXT_2: export_heading(out, source, t, c); break;
    case BLOCK_LIST_ITEM_TEXT: {
        tzr_pad_newlines(out, 2, c);
        d_string_append(out, "<text:list-item>\n");
        bool opened = t->child && t->child->type != BLOCK_PARA;
        if (opened)
            d_string_append(out, "<text:p text:style-name=\"P1\">\n");
        c->newline_count = 2;
        children(out, source, t, c);
        if (opened)
            d_string_append(out, "</text:p>");
        d_string_append(out, "</text:list-item>");
        c->newline_count = 0;
        break;
    }
    case BLOCK_TABLE: export_table(out, source, t, c); break;
    case BLOCK_TABLE_HEADER:
        tzr_pad_newlines(out, 2, c);
        c->table_head = 1;
        children(out, source, t, c);
        c->table_head = 0;
        c->newline_count = 1;
        break;
    case BLOCK_TOC:
        tzr_pad_newlines(out, 2, c);
        odf_export_toc(out, source, c);
        c->newline_count = 1;
        break;
    default: return false;
    }
    return true;
}

bool export_table_part(DString *out, const char *source, token *t, tzr_export_context *c) {
    switch (t->type) {
    case TABLE_ROW:
        d_string_append(out, "<table:table-row>\n");
        c->table_column = 0;
        children(out, source, t, c);
        d_string_append(out, "</table:table-row>\n");
        return true;
    case TABLE_CELL: export_cell(out, source, t, c); return true;
    default: return false;
    }
}

}  // namespace odf_detail

void odf_export_toc_entries(DString *out, const char *source, tzr_export_context *c, size_t *index,
                            int level) {
    if (!out || !source || !c || !index || !c->header_list || c->walk_depth >= kMaxDepth)
        return;
    stack *headers = c->header_list;
    c->walk_depth++;
    while (*index < headers->size) {
        token *h = static_cast<token *>(stack_peek_index(headers, *index));
        int this_level = tzr_heading_level(h);
        if (this_level < level)
            break;
        char *label = tzr_heading_id(c, source, h);
        d_string_append(out, "<text:p text:style-name=\"TOC_Item\"><text:a xlink:type=\"simple\" xlink:href=\"#");
        odf_print_attribute(out, label ? label : "");
        d_string_append(out, "\" text:style-name=\"Index_20_Link\" text:visited-style-name=\"Index_20_Link\">");
        free(label);
        children(out, source, h, c);
        d_string_append(out, " <text:tab/>1</text:a></text:p>\n");
        (*index)++;
        if (*index < headers->size &&
            tzr_heading_level(static_cast<token *>(stack_peek_index(headers, *index))) > this_level)
            odf_export_toc_entries(out, source, c, index, this_level + 1);
    }
    c->walk_depth--;
}

void odf_export_toc(DString *out, const char *source, tzr_export_context *c) {
    if (!out || !source || !c)
        return;
    d_string_append(out,
                    "<text:table-of-content text:style-name=\"Sect1\" text:protected=\"true\" "
                    "text:name=\"Table of Contents1\">\n"
                    "<text:table-of-content-source text:outline-level=\"10\">\n"
                    "<text:index-title-template text:style-name=\"Contents_20_Heading\">Table of "
                    "Contents</text:index-title-template>\n"
                    "</text:table-of-content-source>\n<text:index-body>\n"
                    "<text:index-title text:style-name=\"Sect1\" text:name=\"Table of Contents1_Head\">\n"
                    "<text:p text:style-name=\"Contents_20_Heading\">Table of Contents</text:p>\n"
                    "</text:index-title>\n");
    size_t index = 0;
    odf_export_toc_entries(out, source, c, &index, 0);
    d_string_append(out, "</text:index-body>\n</text:table-of-content>\n\n");
}

// Block-level cases of the OpenDocument token writer: paragraphs, headings,
// quotes, lists, definitions, code and raw blocks, rules, table sections.
#include <cstdlib>
#include <cstring>

#include "labels.h"
#include "notes.h"
#include "odf.h"
#include "token_types.h"

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

void export_list(DString *out, const char *source, token *t, tzr_export_context *c, const char *style) {
    tzr_pad_newlines(out, 2, c);
    d_string_append_printf(out, "<text:list text:style-name=\"%s\">", style);
    c->newline_count = 1;
    children(out, source, t, c);
    tzr_pad_newlines(out, 2, c);
    d_string_append(out, "</text:list>");
    c->newline_count = 0;
}

}  // namespace

namespace odf_detail {

bool export_block(DString *out, const char *source, token *t, tzr_export_context *c) {
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
    case BLOCK_DEFLIST:
        tzr_pad_newlines(out, 2, c);
        c->newline_count = 2;
        children(out, source, t, c);
        tzr_pad_newlines(out, 1, c);
        c->newline_count = 1;
        break;
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
    case BLOCK_HR:
        tzr_pad_newlines(out, 2, c);
        d_string_append(out, "<text:p text:style-name=\"Horizontal_20_Line\"/>");
        c->newline_count = 0;
        break;
    case BLOCK_LIST_BULLETED:
    case BLOCK_LIST_BULLETED_LOOSE: export_list(out, source, t, c, "L1"); break;
    case BLOCK_LIST_ENUMERATED:
    case BLOCK_LIST_ENUMERATED_LOOSE: export_list(out, source, t, c, "L2"); break;
    case BLOCK_LIST_ITEM:
        tzr_pad_newlines(out, 2, c);
        d_string_append(out, "<text:list-item>\n");
        c->newline_count = 2;
        children(out, source, t, c);
        d_string_append(out, "</text:list-item>");
        c->newline_count = 0;
        break;
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
    case BLOCK_TABLE_HEADER:
        tzr_pad_newlines(out, 2, c);
        c->table_head = 1;
        children(out, source, t, c);
        c->table_head = 0;
        c->newline_count = 1;
        break;
    case BLOCK_TABLE_SECTION:
        tzr_pad_newlines(out, 2, c);
        c->newline_count = 2;
        children(out, source, t, c);
        c->newline_count = 0;
        break;
    case BLOCK_TERM:
        tzr_pad_newlines(out, 2, c);
        d_string_append(out, "<text:p><text:span text:style-name=\"TZR-Bold\">");
        children(out, source, t, c);
        d_string_append(out, "</text:span></text:p>\n");
        c->newline_count = 2;
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

}  // namespace odf_detail

// OpenDocument cases that resolve a reference: links, autolinks, image
// frames, footnotes, glossary entries, abbreviations and citations.
#include <cstdlib>
#include <cstring>

#include "library/labels.h"
#include "library/links.h"
#include "library/notes.h"
#include "library/writers/odf.h"
#include "library/scanners/scanners.h"
#include "library/token_types.h"

using namespace odf_detail;

namespace {

void export_autolink(DString *out, const char *source, token *t, tzr_export_context *c) {
    char *url = t->len >= 2 ? tzr_url_from_range(source, t->start + 1, t->len - 2, nullptr, true)
                            : nullptr;
    if (url) {
        d_string_append(out, "<text:a xlink:type=\"simple\" xlink:href=\"");
        if (scan_email(url) && strncmp(url, "mailto:", 7) != 0)
            d_string_append(out, "mailto:");
        odf_print_attribute(out, url);
        d_string_append(out, "\">");
        odf_print_string(out, url);
        d_string_append(out, "</text:a>");
        free(url);
    } else if (scan_html(source + t->start)) {
        size_t comment = scan_html_comment(source + t->start);
        // A comment's inner text: after "<!--", before "-->".
        if (comment && t->len >= 7)
            odf_print_bytes(out, source + t->start + 4, t->len - 7);
    } else {
        children(out, source, t, c);
    }
}

void export_link_or_image(DString *out, const char *source, token *t, tzr_export_context *c) {
    bool written = export_bracket_link(source, c, t, [&](tzr_link *link) {
        if (t->type == PAIR_BRACKET)
            odf_export_link(out, source, t, link, c);
        else
            odf_export_image(out, source, t, link, c, image_is_figure(t));
    });
    if (!written)
        children(out, source, t, c);
}

void literal_bracket(DString *out, const char *source, token *t, tzr_export_context *c,
                     const char *mark) {
    write_unresolved_bracket(out, source, t, c, mark, tzr_odf_export_token_chain);
}

void note_body(DString *out, const char *source, tzr_note *note, tzr_export_context *c) {
    note_open(note);
    if (note->content)
        tzr_odf_export_token_chain(out, source, note->content, c);
    note_close();
}

void export_abbreviation(DString *out, const char *source, token *t, tzr_export_context *c) {
    size_t before = c->abbreviations_used ? c->abbreviations_used->size : 0;
    uint16_t number = TZR_NO_NOTE;
    tzr_abbreviation_from_bracket(source, c, t, &number);
    tzr_note *note = used_note(c->abbreviations_used, number);
    if (!note) {
        literal_bracket(out, source, t, c, "[&gt;");
        return;
    }
    consume_pair_marks(t);
    if (c->abbreviations_used->size > before) {
        uint16_t saved = c->enclosing_block;
        c->enclosing_block = PAIR_BRACKET_ABBREVIATION;
        odf_print_string(out, note->clean_text);
        d_string_append(out, " (");
        odf_print_string(out, note->label_text);
        d_string_append(out, ")");
        c->enclosing_block = saved;
    } else {
        odf_print_string(out, note->label_text);
    }
}

void export_footnote(DString *out, const char *source, token *t, tzr_export_context *c) {
    uint16_t number = TZR_NO_NOTE;
    tzr_footnote_from_bracket(source, c, t, &number);
    tzr_note *note = used_note(c->footnotes_used, number);
    if (!note) {
        literal_bracket(out, source, t, c, "[^");
        return;
    }
    if (note_is_open(note)) {
        // Inside its own content: refer to the note instead of nesting it.
        d_string_append_printf(out,
                               "<text:note-ref text:note-class=\"footnote\" "
                               "text:reference-format=\"text\" text:ref-name=\"fn%d\">%d</text:note-ref>",
                               number, number);
        return;
    }
    uint16_t saved = c->enclosing_block;
    c->enclosing_block = PAIR_BRACKET_FOOTNOTE;
    d_string_append_printf(out, "<text:note text:id=\"fn%d\" text:note-class=\"footnote\"><text:note-body>",
                           number);
    note_body(out, source, note, c);
    d_string_append(out, "</text:note-body></text:note>");
    c->enclosing_block = saved;
}

void export_glossary(DString *out, const char *source, token *t, tzr_export_context *c) {
    size_t before = c->glossary_used ? c->glossary_used->size : 0;
    uint16_t number = TZR_NO_NOTE;
    tzr_glossary_from_bracket(source, c, t, &number);
    tzr_note *note = used_note(c->glossary_used, number);
    if (!note) {
        literal_bracket(out, source, t, c, "[?");
        return;
    }
    uint16_t saved = c->enclosing_block;
    c->enclosing_block = PAIR_BRACKET_GLOSSARY;
    odf_print_string(out, note->clean_text);
    if (c->glossary_used->size > before && !note_is_open(note)) {
        d_string_append_printf(out, "<text:note text:id=\"gn%d\" text:note-class=\"glossary\"><text:note-body>",
                               number);
        note_body(out, source, note, c);
        d_string_append(out, "</text:note-body></text:note>");
    }
    c->enclosing_block = saved;
}

// A citation bracket, led by the locator bracket `locator` or not.
void export_citation(DString *out, const char *source, token *t, token *locator,
                     tzr_export_context *c) {
    bool cited = true;
    if (locator) {
        char *where = tzr_text_inside_pair(source, locator);
        char *label = where ? tzr_label_from_text(where) : nullptr;
        if (label && !strcmp(label, "notcited"))
            cited = false;
        free(label);
        free(where);
    }
    size_t before = c->citations_used ? c->citations_used->size : 0;
    uint16_t number = TZR_NO_NOTE;
    tzr_citation_from_bracket(source, c, t, &number);
    tzr_note *note = used_note(c->citations_used, number);
    if (!note) {
        literal_bracket(out, source, t, c, "[#");
    } else {
        uint16_t saved = c->enclosing_block;
        c->enclosing_block = PAIR_BRACKET_FOOTNOTE;
        if (c->citations_used->size > before && !note_is_open(note)) {
            d_string_append_printf(
                out, "<text:note text:id=\"cite%d\" text:note-class=\"endnote\"><text:note-body>", number);
            note_body(out, source, note, c);
            d_string_append(out, "</text:note-body></text:note>");
        } else if (cited) {
            d_string_append_printf(out,
                                   "<text:span text:style-name=\"Footnote_20_anchor\"><text:note-ref "
                                   "text:note-class=\"endnote\" text:reference-format=\"text\" "
                                   "text:ref-name=\"cite%d\">%d</text:note-ref></text:span>",
                                   number, number);
        }
        c->enclosing_block = saved;
    }
    if (locator)
        c->skip_count = 1;
}

}  // namespace

namespace odf_detail {

bool export_link_or_note(DString *out, const char *source, token *t, tzr_export_context *c) {
    bool notes = c->ext_flags & TZR_EXT_NOTES;
    switch (t->type) {
    case PAIR_ANGLE: export_autolink(out, source, t, c); break;
    case PAIR_BRACKET:
        if (notes && t->next && t->next->type == PAIR_BRACKET_CITATION)
            export_citation(out, source, t->next, t, c);
        else
            export_link_or_image(out, source, t, c);
        break;
    case PAIR_BRACKET_IMAGE: export_link_or_image(out, source, t, c); break;
    case PAIR_BRACKET_ABBREVIATION:
        notes ? export_abbreviation(out, source, t, c) : children(out, source, t, c);
        break;
    case PAIR_BRACKET_FOOTNOTE:
        notes ? export_footnote(out, source, t, c) : children(out, source, t, c);
        break;
    case PAIR_BRACKET_GLOSSARY:
        notes ? export_glossary(out, source, t, c) : children(out, source, t, c);
        break;
    case PAIR_BRACKET_CITATION:
        notes ? export_citation(out, source, t, nullptr, c) : children(out, source, t, c);
        break;
    default: return false;
    }
    return true;
}

}  // namespace odf_detail

void odf_export_link(DString *out, const char *source, token *t, tzr_link *link,
                     tzr_export_context *c) {
    if (!out || !source || !t || !link || !c)
        return;
    d_string_append(out, "<text:a xlink:type=\"simple\" xlink:href=\"");
    if (link->url)
        odf_print_attribute(out, link->url);
    d_string_append_c(out, '"');
    if (link->title && *link->title) {
        d_string_append(out, " office:name=\"");
        odf_print_attribute(out, link->title);
        d_string_append_c(out, '"');
    }
    d_string_append(out, ">");
    widen_link_text(t);
    children(out, source, t, c);
    d_string_append(out, "</text:a>");
}

char *odf_dimension_in_points(const char *value) {
    if (!value)
        return nullptr;
    char *copy = strdup(value);
    if (!copy)
        return nullptr;
    size_t n = strlen(copy);
    for (size_t i = 0; i < n; i++)
        if (copy[i] >= 'A' && copy[i] <= 'Z')
            copy[i] = (char)(copy[i] - 'A' + 'a');
    if (n >= 2 && !strcmp(copy + n - 2, "px"))
        copy[n - 1] = 't';
    return copy;
}

void odf_export_image(DString *out, const char *source, token *t, tzr_link *link,
                      tzr_export_context *c, bool is_figure) {
    if (!out || !source || !t || !link || !c)
        return;
    const char *width = nullptr, *height = nullptr;
    for (tzr_attribute *a = link->attributes; a; a = a->next) {
        if (a->key && !strcmp(a->key, "width"))
            width = a->value;
        else if (a->key && !strcmp(a->key, "height"))
            height = a->value;
    }
    d_string_append(out, "<draw:frame text:anchor-type=\"as-char\"\ndraw:z-index=\"0\" draw:style-name=\"fr1\"");
    const char *inner = "<draw:text-box><text:p><draw:frame text:anchor-type=\"as-char\" draw:z-index=\"1\" ";
    if (width) {
        char *w = odf_dimension_in_points(width);
        d_string_append(out, " svg:width=\"");
        odf_print_attribute(out, w ? w : "");
        d_string_append(out, "\">\n");
        d_string_append(out, inner);
        if (height) {
            char *h = odf_dimension_in_points(height);
            d_string_append(out, "svg:height=\"");
            odf_print_attribute(out, h ? h : "");
            d_string_append(out, "\" svg:width=\"");
            odf_print_attribute(out, w ? w : "");
            d_string_append(out, "\" ");
            free(h);
        }
        free(w);
    } else {
        d_string_append(out, " svg:width=\"95%\">\n");
        d_string_append(out, inner);
    }
    d_string_append(out, ">\n<draw:image xlink:href=\"");
    if (link->url) {
        if (c->pack_assets) {
            tzr_asset_store(c, link->url);
            tzr_asset *asset = tzr_asset_find(c, link->url);
            d_string_append(out, "Pictures/");
            odf_print_attribute(out, asset && asset->name ? asset->name : "");
        } else {
            odf_print_attribute(out, link->url);
        }
    }
    d_string_append(out, "\" xlink:type=\"simple\" xlink:show=\"embed\" xlink:actuate=\"onLoad\" "
                         "draw:filter-name=\"&lt;All formats&gt;\"/>\n");
    // The picture's alternative text, which also stands in for a picture
    // that the package cannot hold.
    if (t->child) {
        DString *alt = d_string_new("");
        tzr_print_token_chain_raw(alt, source, t->child);
        if (alt && alt->length > 0) {
            d_string_append(out, "<svg:title>");
            odf_print_attribute(out, alt->str);
            d_string_append(out, "</svg:title>");
        }
        d_string_free(alt, true);
    }
    d_string_append(out, "</draw:frame></text:p>");
    if (is_figure) {
        d_string_append(out, "\n<text:p>Figure <text:sequence text:name=\"Figure\" "
                             "text:formula=\"ooow:Figure+1\" style:num-format=\"1\"> Update Fields to "
                             "calculate numbers</text:sequence>: ");
        children(out, source, t, c);
        d_string_append(out, "</text:p>");
    }
    d_string_append(out, "\n</draw:text-box></draw:frame>\n");
    c->newline_count = 1;
}

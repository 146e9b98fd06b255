// What surrounds the HTML body: the head of a complete document, its end,
// and the footnote, glossary and citation sections.
#include <cstring>

#include "library/writers/html.h"
#include "library/notes.h"

using namespace html_detail;

namespace {

bool is_skipped_key(std::string_view key) {
    static const char *const skipped[] = {
        "baseheaderlevel", "bibliostyle",  "bibtex",         "htmlfooter",    "htmlheaderlevel",
        "language",        "latexbegin",   "latexconfig",    "latexfooter",   "latexheaderlevel",
        "latexinput",      "latexleader",  "latexmode",      "tzrfooter",     "tzrheader",
        "quoteslanguage",  "transcludebase", "xhtmlheaderlevel"};
    for (const char *s : skipped)
        if (key == s)
            return true;
    return false;
}

const char *language_code(uint16_t language) {
    switch (language) {
    case 1: return "es";
    case 2: return "de";
    case 3: return "fr";
    case 4: return "nl";
    case 5: return "sv";
    default: return "en";
    }
}

enum class Section { Footnotes, Glossary, Citations };

void write_section(DString *out, const char *source, tzr_export_context *c, Section kind) {
    stack *used = kind == Section::Footnotes  ? c->footnotes_used
                  : kind == Section::Glossary ? c->glossary_used
                                              : c->citations_used;
    if (!used || used->size == 0)
        return;
    uint16_t &current = kind == Section::Footnotes  ? c->footnote_current
                        : kind == Section::Glossary ? c->glossary_current
                                                    : c->citation_current;
    tzr_pad_newlines(out, 2, c);
    d_string_append(out, kind == Section::Footnotes  ? "<div class=\"footnotes\">\n<hr />\n<ol>"
                          : kind == Section::Glossary ? "<div class=\"glossary\">\n<hr />\n<ol>"
                                                      : "<div class=\"citations\">\n<hr />\n<ol>");
    c->newline_count = 0;
    tzr_pad_newlines(out, 2, c);
    // The list is read anew each time: a note referenced only inside another
    // note's content joins it while that content is written.
    for (size_t i = 0; i < used->size; i++) {
        tzr_note *note = static_cast<tzr_note *>(used->element[i]);
        int number = (int)(i + 1);
        d_string_append(out, kind == Section::Footnotes  ? "<li id=\"fn:"
                              : kind == Section::Glossary ? "<li id=\"gn:"
                                                          : "<li id=\"cn:");
        append_int(out, kind == Section::Footnotes ? html_footnote_anchor(c, number) : number);
        d_string_append(out, "\">\n");
        c->newline_count = 6;
        int16_t paragraphs = 0;
        for (token *t = note ? note->content : nullptr; t; t = t->next)
            if (t->type == BLOCK_PARA)
                paragraphs++;
        c->note_paras_left = paragraphs;
        current = (uint16_t)number;
        if (kind == Section::Glossary && note) {
            html_print_string(out, note->clean_text, false);
            d_string_append(out, ": ");
        }
        if (note && note->content)
            html_export_token_chain(out, source, note->content, c);
        tzr_pad_newlines(out, 1, c);
        d_string_append(out, "</li>");
        c->newline_count = 0;
        tzr_pad_newlines(out, 2, c);
    }
    d_string_append(out, "</ol>\n</div>");
    c->newline_count = 0;
    current = 0;
    c->note_paras_left = -1;
}

}  // namespace

void html_write_document_start(DString *out, const char *, tzr_export_context *c) {
    if (!out || !c)
        return;
    d_string_append(out, "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"");
    tzr_meta *language = c->meta_store.find("language");
    d_string_append(out, " lang=\"");
    if (language && language->value)
        html_print_string(out, language->value, false);
    else
        d_string_append(out, language_code(c->language));
    d_string_append(out, "\">\n<head>\n\t<meta charset=\"utf-8\"/>\n");
    for (const auto &[key, entry] : c->meta_store.entries()) {
        const char *value = entry->value ? entry->value : "";
        if (is_skipped_key(key))
            continue;
        if (key == "css") {
            d_string_append(out, "\t<link type=\"text/css\" rel=\"stylesheet\" href=\"");
            if (c->pack_assets) {
                tzr_asset_store(c, value);
                tzr_asset *asset = tzr_asset_find(c, value);
                if (asset)
                    asset->style_sheet = true;
                d_string_append(out, "assets/");
                html_print_string(out, asset ? asset->name : "", false);
            } else {
                html_print_string(out, value, false);
            }
            d_string_append(out, "\"/>\n");
        } else if (key == "htmlheader" || key == "xhtmlheader") {
            d_string_append(out, value);
            d_string_append_c(out, '\n');
        } else if (key == "title") {
            d_string_append(out, "\t<title>");
            html_print_string(out, value, false);
            d_string_append(out, "</title>\n");
        } else {
            d_string_append(out, "\t<meta name=\"");
            html_print_bytes(out, key.data(), key.size());
            d_string_append(out, "\" content=\"");
            html_print_string(out, value, false);
            d_string_append(out, "\"/>\n");
        }
    }
    d_string_append(out, "</head>\n<body>\n\n");
}

void html_write_document_end(DString *out, const char *, tzr_export_context *) {
    if (out)
        d_string_append(out, "\n\n</body>\n</html>\n");
}

void html_write_footnotes(DString *out, const char *source, tzr_export_context *c) {
    if (out && source && c)
        write_section(out, source, c, Section::Footnotes);
}

void html_write_glossary(DString *out, const char *source, tzr_export_context *c) {
    if (out && source && c)
        write_section(out, source, c, Section::Glossary);
}

void html_write_citations(DString *out, const char *source, tzr_export_context *c) {
    if (out && source && c)
        write_section(out, source, c, Section::Citations);
}

// The frame of a LaTeX export: preamble definitions from metadata, glossary
// and acronym definitions, the bibliography of the cited works, the end.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "library/writers/latex.h"

namespace {

const char *meta_value(tzr_export_context *context, const char *key) {
    tzr_meta *entry = tzr_meta_find(context, key);
    return entry ? entry->value : nullptr;
}

// Writes "\\input{...}" for the first key that is set, or the latexconfig
// support file of that role.
void write_input(DString *out, tzr_export_context *context, const char *key, const char *role,
                 const char *after_own) {
    if (const char *own = meta_value(context, key))
        d_string_append_printf(out, "\\input{%s}\n%s", own, after_own);
    else if (const char *config = meta_value(context, "latexconfig"))
        d_string_append_printf(out, "\\input{tzr6-%s-%s}\n", config, role);
}

// Keys that steer the export rather than define a macro.
bool is_steering_key(const std::string &key) {
    static const char *const kKeys[] = {
        "baseheaderlevel", "css",          "htmlfooter",      "htmlheader",  "htmlheaderlevel",
        "language",        "latexbegin",   "latexconfig",     "latexfooter", "latexheaderlevel",
        "latexinput",      "latexleader",  "latexmode",       "tzrfooter",   "tzrheader",
        "quoteslanguage",  "transcludebase", "xhtmlheader",   "xhtmlheaderlevel"};
    for (const char *k : kKeys)
        if (key == k)
            return true;
    return false;
}

void define(DString *out, const char *name, const char *value, bool escape) {
    d_string_append_printf(out, "\\def\\%s{", name);
    if (escape)
        latex_print_escaped_string(out, value);
    else
        d_string_append(out, value);
    d_string_append(out, "}\n");
}

// Only the citations used before the bibliography begins get items. Writing
// an item expands the footnotes in it, and an undefined citation inside such
// a footnote makes a new inline citation at each use: were those listed too,
// a footnote that cites itself through one would add items without end.
void write_bibitems(DString *out, const char *source, tzr_export_context *context) {
    stack *used = context->citations_used;
    size_t count = used ? used->size : 0;
    for (size_t i = 0; i < count; i++) {
        auto *note = static_cast<tzr_note *>(used->element[i]);
        tzr_pad_newlines(out, 2, context);
        d_string_append_printf(out, "\\bibitem{%s}\n", note->label_text ? note->label_text : "");
        context->newline_count = 6;
        context->citation_current = (uint16_t)(i + 1);
        latex_export_token_chain(out, source, note->content, context);
    }
}

}  // namespace

void latex_write_document_start(DString *out, const char *source, tzr_export_context *context) {
    if (!out || !source || !context)
        return;
    write_input(out, context, "latexleader", "leader", "");
    // A store entry is reached once per key it is held under; metadata keys
    // are unique, so this is the order of the metadata block.
    for (const auto &[stored_key, entry] : context->meta_store.entries()) {
        if (!entry || !entry->key || stored_key != entry->key)
            continue;
        const std::string key = entry->key;
        const char *value = entry->value ? entry->value : "";
        if (is_steering_key(key))
            continue;
        if (key == "latexheader") {
            d_string_append(out, value);
            d_string_append_c(out, '\n');
        } else if (key == "title") {
            define(out, "mytitle", value, true);
        } else if (key == "latextitle") {
            define(out, "latextitle", value, false);
        } else if (key == "author") {
            define(out, "myauthor", value, true);
        } else if (key == "latexauthor") {
            define(out, "latexauthor", value, false);
        } else if (key == "date") {
            define(out, "mydate", value, true);
        } else if (key == "copyright") {
            define(out, "mycopyright", value, true);
        } else if (key == "bibtex") {
            d_string_append(out, "\\def\\bibliocommand{\\bibliography{");
            latex_print_escaped_string(out, value);
            d_string_append(out, "}}\n");
        } else {
            d_string_append(out, "\\def\\");
            latex_print_escaped_string(out, key.c_str());
            d_string_append(out, "{");
            latex_print_escaped_string(out, value);
            d_string_append(out, "}\n");
        }
    }
    latex_write_glossary_definitions(out, source, context);
    write_input(out, context, "latexbegin", "begin", "");
    context->newline_count = 1;
}

void latex_write_glossary_definitions(DString *out, const char *source,
                                      tzr_export_context *context) {
    if (!out || !source || !context)
        return;
    // Each glossary note once (the store holds it under two keys), sorted by
    // term in byte order; equal terms keep their order and are defined once.
    std::vector<tzr_note *> glossary;
    for (const auto &[key, note] : context->glossary_store.entries())
        if (note && std::find(glossary.begin(), glossary.end(), note) == glossary.end())
            glossary.push_back(note);
    auto term = [](const tzr_note *n) { return n->clean_text ? n->clean_text : ""; };
    std::stable_sort(glossary.begin(), glossary.end(), [&](const tzr_note *a, const tzr_note *b) {
        return strcmp(term(a), term(b)) < 0;
    });
    const char *previous = nullptr;
    for (tzr_note *note : glossary) {
        if (previous && strcmp(previous, term(note)) == 0)
            continue;
        previous = term(note);
        d_string_append_printf(out, "\\longnewglossaryentry{%s}{name=%s}{", previous, previous);
        context->newline_count = 2;  // each description starts on its first line
        latex_export_token_chain(out, source, note->content, context);
        d_string_append(out, "}\n\n");
    }
    std::vector<tzr_note *> seen;
    for (const auto &[key, note] : context->abbreviation_store.entries()) {
        if (!note || std::find(seen.begin(), seen.end(), note) != seen.end())
            continue;
        seen.push_back(note);
        const char *label = note->label_text ? note->label_text : "";
        d_string_append_printf(out, "\\newacronym{%s}{%s}{%s}\n\n", label, label,
                               note->clean_text ? note->clean_text : "");
    }
}

void latex_write_bibliography(DString *out, const char *source, tzr_export_context *context) {
    if (!out || !source || !context || !context->citations_used || !context->citations_used->size)
        return;
    tzr_pad_newlines(out, 2, context);
    d_string_append(out, "\\begin{thebibliography}{0}");
    context->newline_count = 0;
    write_bibitems(out, source, context);
    tzr_pad_newlines(out, 1, context);
    d_string_append(out, "\\end{thebibliography}");
    context->newline_count = 0;
    context->citation_current = 0;
}

void latex_write_document_end(DString *out, const char *source, tzr_export_context *context) {
    if (!out || !source || !context)
        return;
    tzr_pad_newlines(out, 2, context);
    write_input(out, context, "latexfooter", "footer", "\n");
    d_string_append(out, "\\end{document}");
    context->newline_count = 0;
}

void beamer_write_bibliography(DString *out, const char *source, tzr_export_context *context) {
    if (!out || !source || !context || !context->citations_used || !context->citations_used->size)
        return;
    tzr_pad_newlines(out, 2, context);
    d_string_append(out,
                    "\\part{Bibliography}\n\\begin{frame}[allowframebreaks]\n"
                    "\\frametitle{Bibliography}\n\\def\\newblock{}\n\\begin{thebibliography}{0}");
    context->newline_count = 0;
    write_bibitems(out, source, context);
    tzr_pad_newlines(out, 1, context);
    d_string_append(out, "\\end{thebibliography}\n\\end{frame}");
    context->newline_count = 0;
    context->citation_current = 0;
}

void beamer_write_document_end(DString *out, const char *source, tzr_export_context *context) {
    if (!out || !source || !context)
        return;
    tzr_pad_newlines(out, 2, context);
    d_string_append(out, "\\mode<all>\n");
    if (const char *footer = meta_value(context, "latexfooter"))
        d_string_append_printf(out, "\\input{%s}\n\n", footer);
    d_string_append(out, "\\end{document}");
    d_string_append(out, "\\mode*\n");
    context->newline_count = 0;
}

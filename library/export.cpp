#include "library/export.h"

#include <cstdlib>
#include <cstring>

#include "library/assets.h"
#include "library/autolink.h"
#include "library/definitions.h"
#include "library/engine.h"
#include "library/export_context.h"
#include "library/labels.h"
#include "library/records.h"
#include "library/token_pool.h"
#include "library/tzr.h"
#include "library/writers/writer_tables.h"

namespace {

// Language codes and the quotes language each implies, by label.
struct LanguageName {
    const char *name;
    uint16_t language;
    uint16_t quotes;
};
constexpr LanguageName kLanguages[] = {
    {"de", TZR_LANGUAGE_GERMAN, TZR_QUOTES_GERMAN},
    {"es", TZR_LANGUAGE_SPANISH, TZR_QUOTES_SPANISH},
    {"fr", TZR_LANGUAGE_FRENCH, TZR_QUOTES_FRENCH},
    {"nl", TZR_LANGUAGE_DUTCH, TZR_QUOTES_DUTCH},
    {"sv", TZR_LANGUAGE_SWEDISH, TZR_QUOTES_SWEDISH},
};

struct QuotesName {
    const char *name;
    uint16_t quotes;
};
constexpr QuotesName kQuotes[] = {
    {"dutch", TZR_QUOTES_DUTCH},     {"nl", TZR_QUOTES_DUTCH},
    {"french", TZR_QUOTES_FRENCH},   {"fr", TZR_QUOTES_FRENCH},
    {"german", TZR_QUOTES_GERMAN},   {"de", TZR_QUOTES_GERMAN},
    {"germanguillemets", TZR_QUOTES_GERMAN_GUILLEMETS},
    {"spanish", TZR_QUOTES_SPANISH}, {"es", TZR_QUOTES_SPANISH},
    {"swedish", TZR_QUOTES_SWEDISH}, {"sv", TZR_QUOTES_SWEDISH},
};

bool format_in(int16_t format, std::initializer_list<int16_t> formats) {
    for (int16_t f : formats)
        if (f == format)
            return true;
    return false;
}

// The highest base level whose first-level headings the format's writers
// can still write: HTML heading elements stop at h6, the LaTeX family's
// sectioning commands at \subparagraph (base + level 8), OpenDocument
// outlines at level 10.
int16_t max_base_level(int16_t format) {
    switch (format) {
    case TZR_FORMAT_LATEX:
    case TZR_FORMAT_BEAMER:
    case TZR_FORMAT_MEMOIR:
        return 7;
    case TZR_FORMAT_FODT:
    case TZR_FORMAT_ODT:
        return 10;
    default:
        return 6;
    }
}

char *label_of(const char *value) { return tzr_label_from_text(value ? value : ""); }

void run_writers(DString *out, tzr_engine *e, tzr_export_context *context) {
    const tzr_format_writers *w = tzr_format_writers_for(context->format);
    if (!w)
        return;
    const char *source = e->source ? e->source->str : "";
    bool complete = w->always_complete || (context->ext_flags & TZR_EXT_COMPLETE);
    if (w->pack_assets)
        context->pack_assets = 1;
    if (w->record_assets)
        context->record_assets = 1;
    if (complete && w->start)
        w->start(out, source, context);
    if (w->body)
        w->body(out, source, e->root, context);
    for (tzr_part_writer section : w->sections)
        if (section)
            section(out, source, context);
    if (complete && w->end)
        w->end(out, source, context);
}

}  // namespace

void tzr_metadata_apply(tzr_engine *e, tzr_export_context *context) {
    if (!e || !context || !e->metadata_list || e->metadata_list->size == 0)
        return;
    if (context->ext_flags & (TZR_EXT_NO_METADATA | TZR_EXT_COMPATIBILITY))
        return;
    const int16_t format = context->format;
    bool pending = false;
    long level = 0;

    for (size_t i = 0; i < e->metadata_list->size; i++) {
        auto *entry = static_cast<tzr_meta *>(e->metadata_list->element[i]);
        if (!entry || !entry->key)
            continue;
        const char *key = entry->key;
        const char *value = entry->value;
        const char *number = value ? value : "";

        if (!strcmp(key, "baseheaderlevel")) {
            if (!pending) {
                pending = true;
                level = atol(number);
            }
        } else if (!strcmp(key, "htmlheaderlevel") || !strcmp(key, "xhtmlheaderlevel")) {
            if (format == TZR_FORMAT_HTML) {
                pending = true;
                level = atol(number);
            }
        } else if (!strcmp(key, "epubheaderlevel")) {
            if (format == TZR_FORMAT_EPUB) {
                pending = true;
                level = atol(number);
            }
        } else if (!strcmp(key, "latexheaderlevel")) {
            if (format_in(format, {TZR_FORMAT_LATEX, TZR_FORMAT_BEAMER, TZR_FORMAT_MEMOIR})) {
                pending = true;
                level = atol(number);
            }
        } else if (!strcmp(key, "odfheaderlevel")) {
            if (format_in(format, {TZR_FORMAT_FODT, TZR_FORMAT_ODT})) {
                pending = true;
                level = atol(number);
            }
        } else if (!strcmp(key, "language")) {
            char *name = label_of(value);
            context->language = TZR_LANGUAGE_ENGLISH;
            context->quotes_language = TZR_QUOTES_ENGLISH;
            for (const LanguageName &l : kLanguages) {
                if (name && !strcmp(name, l.name)) {
                    context->language = l.language;
                    context->quotes_language = l.quotes;
                }
            }
            free(name);
        } else if (!strcmp(key, "latexmode")) {
            if (format == TZR_FORMAT_LATEX) {
                char *mode = label_of(value);
                if (mode && !strcmp(mode, "beamer"))
                    context->format = TZR_FORMAT_BEAMER;
                else if (mode && !strcmp(mode, "memoir"))
                    context->format = TZR_FORMAT_MEMOIR;
                free(mode);
            }
        } else if (!strcmp(key, "quoteslanguage")) {
            char *name = label_of(value);
            context->quotes_language = TZR_QUOTES_ENGLISH;
            for (const QuotesName &q : kQuotes)
                if (name && !strcmp(name, q.name))
                    context->quotes_language = q.quotes;
            free(name);
        } else {
            if (!strcmp(key, "bibtex")) {
                free(context->bibtex_name);
                context->bibtex_name = value ? strdup(value) : nullptr;
            }
            if (!(context->ext_flags & TZR_EXT_SNIPPET))
                context->ext_flags |= TZR_EXT_COMPLETE;
        }
    }

    if (pending) {
        // A level the writers cannot express (0, negative, non-numeric or
        // past their deepest heading) is brought to the nearest one they can.
        long highest = max_base_level(context->format);
        context->header_level_base =
            static_cast<int16_t>(level < 1 ? 1 : (level > highest ? highest : level));
    }
}

void tzr_export_document(DString *out, tzr_engine *e, int16_t format) {
    if (!out || !e)
        return;
    // Tokens an export makes join the tree or its records, so they go with
    // the tree.
    TokenArenaScope carving(e->arena);
    tzr_process_definitions(e);
    size_t heading_links = e->link_list ? e->link_list->size : 0;
    tzr_process_header_labels(e);
    tzr_process_table_labels(e);

    tzr_export_context *context = tzr_export_context_new(e, format);
    if (!context)
        return;
    // The headings' ids are the labels their links were just given.
    context->heading_links = e->link_list;
    context->heading_links_from = heading_links;
    tzr_metadata_apply(e, context);
    if (!(e->extensions & TZR_EXT_COMPATIBILITY))
        tzr_autolink_terms(e);

    run_writers(out, e, context);

    if (e->asset_table != context->asset_table)
        tzr_asset_table_free(e->asset_table);
    e->asset_table = context->asset_table;
    context->asset_table = nullptr;
    tzr_export_context_free(context);
}

uint16_t tzr_quotes_language_named(const char *value, bool from_language) {
    char *name = value ? label_of(value) : nullptr;
    uint16_t quotes = TZR_QUOTES_ENGLISH;
    if (name && from_language) {
        for (const LanguageName &l : kLanguages)
            if (!strcmp(name, l.name))
                quotes = l.quotes;
    } else if (name) {
        for (const QuotesName &q : kQuotes)
            if (!strcmp(name, q.name))
                quotes = q.quotes;
    }
    free(name);
    return quotes;
}

// The marks are those the HTML writer spells as character references,
// each written once in UTF-8.
const char *tzr_quote_mark(uint16_t quotes_language, int which) {
    if (which < 0 || which > 3)
        return nullptr;
    static const auto marks = [] {
        struct Table {
            char mark[7][4][5] = {};
        } table;
        for (int language = 0; language < 7; language++) {
            for (int i = 0; i < 4; i++) {
                // "&#8220;" and the like: a decimal code point.
                unsigned long code =
                    strtoul(writer_utils::kEntityQuotes[language][i] + 2, nullptr, 10);
                char *out = table.mark[language][i];
                if (code < 0x80) {
                    out[0] = char(code);
                } else if (code < 0x800) {
                    out[0] = char(0xC0 | (code >> 6));
                    out[1] = char(0x80 | (code & 0x3F));
                } else {
                    out[0] = char(0xE0 | (code >> 12));
                    out[1] = char(0x80 | ((code >> 6) & 0x3F));
                    out[2] = char(0x80 | (code & 0x3F));
                }
            }
        }
        return table;
    }();
    return marks.mark[quotes_language < 7 ? quotes_language : uint16_t(TZR_QUOTES_ENGLISH)][which];
}

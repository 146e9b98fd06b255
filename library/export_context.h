// The per-export state that every writer reads and updates: the stores of
// links, notes and metadata, the notes in order of use, output bookkeeping,
// the table being written and the assets to be packed.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "library/assets.h"
#include "library/d_string.h"
#include "library/labels.h"
#include "library/records.h"
#include "library/stack.h"

struct tzr_engine;

struct tzr_export_context {
    tzr_store<tzr_link> link_store;  // reference links by clean text and label text
    tzr_store<tzr_meta> meta_store;  // metadata entries by key

    uint64_t ext_flags = 0;        // the export's own copy of the engine's flags
    int16_t format = 0;            // output format (TZR_FORMAT_...)
    int16_t newline_count = 2;     // newlines that end the output written so far
    uint16_t tight_list = 0;       // 1 while a tight list's items are written
    uint16_t close_next_para = 1;  // 0: the next paragraph end leaves out its closing tag once
    uint16_t skip_count = 0;       // following siblings the chain walks pass over
    int16_t note_paras_left = -1;  // countdown to the paragraph that gets a note's back-link

    stack *footnotes_used = nullptr;    // in order of first use; borrowed
    stack *footnotes_inline = nullptr;  // made while writing; owned
    tzr_store<tzr_note> footnote_store;
    uint16_t footnote_current = 0;      // number of the footnote being written, else 0

    uint32_t random_base = 0;  // with random footnote numbers: what scrambles them

    stack *citations_used = nullptr;
    stack *citations_inline = nullptr;
    tzr_store<tzr_note> citation_store;
    uint16_t citation_current = 0;

    char *bibtex_name = nullptr;  // owned; set from the "bibtex" metadata value

    stack *glossary_used = nullptr;
    stack *glossary_inline = nullptr;
    tzr_store<tzr_note> glossary_store;
    uint16_t glossary_current = 0;

    stack *abbreviations_used = nullptr;
    stack *abbreviations_inline = nullptr;
    tzr_store<tzr_note> abbreviation_store;

    uint16_t language = 0;
    uint16_t quotes_language = 0;
    int16_t header_level_base = 1;
    stack *header_list = nullptr;    // the engine's headings; borrowed
    // Each heading's id, unique in the document; made on first use.
    tzr_heading_ids heading_ids;
    bool heading_ids_made = false;
    // The links the engine made for the headings' labels, from
    // `heading_links_from` on in this list (borrowed; NULL when none were).
    const stack *heading_links = nullptr;
    size_t heading_links_from = 0;
    stack *open_headings = nullptr;  // owned stack of borrowed heading tokens
    uint16_t walk_depth = 0;         // writers do not descend at 1000

    uint16_t table_head = 0;    // 1 while a table's header cells are written
    int32_t table_columns = 0;  // columns of the table being written
    int32_t table_column = 0;   // column of the current cell
    // One alignment letter per column, as wide as the table is. Read it
    // through tzr_column_alignment, which answers 'n' past the stored ones.
    std::string column_alignment;
    uint16_t enclosing_block = 77;  // BLOCK_PARA, or the block around the paragraphs

    tzr_asset *asset_table = nullptr;  // first asset; handed to the engine after the export
    uint16_t pack_assets = 0;    // images written as "assets/" and their UUID name
    uint16_t record_assets = 0;  // images recorded but written with their own URL
    bool record_output = true;   // the HTML writer notes each token's output (token_output)
    stack *critic_tokens = nullptr;  // the engine's CriticMarkup tokens; borrowed
};

// A context for an export of the engine's parse in `format`, with its stores
// filled from the engine's lists (the definition pass must have run). NULL
// when allocation fails.
tzr_export_context *tzr_export_context_new(tzr_engine *e, int16_t format);
// Frees the context, its store entries, lists, inline notes and BibTeX name.
// The engine's records, the document's tokens, the borrowed lists and the
// asset table stay. NULL does nothing.
void tzr_export_context_free(tzr_export_context *context);

// Adders: a record goes in under its clean text, then its label text; a key
// that is already held keeps its first holder.
void tzr_store_add_link(tzr_export_context *context, tzr_link *link);
void tzr_store_add_footnote(tzr_export_context *context, tzr_note *note);
void tzr_store_add_citation(tzr_export_context *context, tzr_note *note);
void tzr_store_add_glossary(tzr_export_context *context, tzr_note *note);
// Abbreviations go in under their label text (the abbreviation) only.
void tzr_store_add_abbreviation(tzr_export_context *context, tzr_note *note);
void tzr_store_add_metadata(tzr_export_context *context, tzr_meta *entry);

// Link by the text's lower-cased clean form, then by its label.
tzr_link *tzr_find_link(const tzr_export_context *context, const char *text);
// The same over `len` bytes of text (up to a NUL among them), without
// copying them.
tzr_link *tzr_find_link_range(const tzr_export_context *context, const char *text, size_t len);
// Link by the text unchanged, then by its lower-cased clean form.
tzr_link *tzr_find_link_exact(const tzr_export_context *context, const char *text);
// Metadata entry by the key's lower-cased clean form.
tzr_meta *tzr_meta_find(const tzr_export_context *context, const char *key);
// Value of the entry found by the key's label, then as tzr_meta_find. The
// value belongs to the entry.
const char *tzr_meta_value_for_key(const tzr_export_context *context, const char *key);

// Appends "\n" until the context's newline_count is at least n.
void tzr_pad_newlines(DString *out, int16_t n, tzr_export_context *context);

// The alignment letter of a table column ('l', 'r', 'c', 'n' or the
// upper-case forms); 'n' for a column past the stored letters.
char tzr_column_alignment(const tzr_export_context *context, int32_t column);

// The id of a heading in this export (a new string the caller frees): its
// label, with a numeric suffix when an earlier heading has the same one.
char *tzr_heading_id(tzr_export_context *context, const char *source, token *heading);

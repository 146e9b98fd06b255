// What the writers ask of the export context while they walk a document:
// which link a bracket stands for, which note a bracket names and its number
// in order of use, how a table's columns align, the language of a fence, the
// level of a heading, the package name of an asset, and whether a piece of
// raw source is meant for the format being written.
//
// The lookups change the tree they are asked about: the marks of a resolved
// bracket become CONSUMED, inline notes take their content from the
// bracket's children and a table's separator row becomes CONSUMED.
#pragma once

#include <cstdint>

#include "library/export_context.h"
#include "library/records.h"
#include "library/token.h"

// The number a note lookup reports when there is no note.
constexpr uint16_t TZR_NO_NOTE = 65535;

// The link behind a plain or image bracket. `link` gets the record or NULL,
// `skip` the count of following siblings that belong to the link (0 or 1),
// `made` whether the record was made for this use (the caller then frees it
// with tzr_link_free; otherwise it belongs to the link store).
void tzr_link_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                           tzr_link **link, uint16_t *skip, bool *made);

// The note a bracket names, numbered on first use; TZR_NO_NOTE when there is
// none. Undefined footnotes (and citations while no BibTeX file is set) become
// inline notes; undefined glossary terms and abbreviations do so only when the
// bracket holds a parenthesised term. Glossary and abbreviation lookups also
// take a bare term token (no children), looked up by its whole text.
void tzr_footnote_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                               uint16_t *number);
void tzr_citation_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                               uint16_t *number);
void tzr_glossary_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                               uint16_t *number);
void tzr_abbreviation_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                                   uint16_t *number);

// The number of the defined note under `text` (by its clean form, then its
// label), numbering it at first use; -1 when there is none.
int64_t tzr_footnote_number_by_text(tzr_export_context *context, const char *text);
int64_t tzr_citation_number_by_text(tzr_export_context *context, const char *text);
int64_t tzr_glossary_number_by_text(tzr_export_context *context, const char *text);
int64_t tzr_abbreviation_number_by_text(tzr_export_context *context, const char *text);

// Numbers the note by appending it to its used list, unless it has a number.
void tzr_note_use_footnote(tzr_export_context *context, tzr_note *note);
void tzr_note_use_citation(tzr_export_context *context, tzr_note *note);
void tzr_note_use_glossary(tzr_export_context *context, tzr_note *note);
void tzr_note_use_abbreviation(tzr_export_context *context, tzr_note *note);

// Reads the separator row of a table (which becomes CONSUMED) into the
// context's column count and alignment letters: 'l', 'r', 'c', 'n', and the
// upper-case forms for a cell written with "+".
void tzr_table_read_alignment(const char *source, token *table, tzr_export_context *context);
// Whether the block after a table is its caption paragraph: a caption
// bracket, an optional label bracket, then only the line end.
bool tzr_table_has_caption(const token *table);

// The info word after an opening fence marker; NULL when there is none.
char *tzr_fence_language(const token *fence, const char *source);
// 1-6 for ATX headings, 1 and 2 for setext headings, else 0.
int tzr_heading_level(const token *t);

// Adds the URL to the context's asset table with a fresh name unless present.
void tzr_asset_store(tzr_export_context *context, const char *url);
tzr_asset *tzr_asset_find(const tzr_export_context *context, const char *url);

// Whether a raw-source filter text names the format ("*" and "{=*}" name all).
bool tzr_raw_filter_matches(const char *filter, int16_t format);
// The same for the text of a "{=...}" marker pair; false for other tokens.
bool tzr_raw_block_matches_format(const token *t, const char *source, int16_t format);

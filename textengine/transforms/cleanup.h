// Clean-up of Markdown source: renumber lists, switch list markers and the
// space after them, join hard-wrapped paragraphs, align metadata and pipe
// tables, and turn typographic entities and characters back into ASCII.
//
// Each routine edits the engine's source (the whole document) in place. The
// structural ones parse it, act on the top-level blocks that overlap the
// byte range, and report that stretch: its byte start ((size_t)-1 when
// nothing is to be replaced), its byte length before and after, and its
// start and length in UTF-16 units before the clean-up; they leave the
// engine without a parse tree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/d_string.h"
#include "library/engine.h"
#include "library/token.h"

// Clean-up types of the window's command.
enum cleanup_type : int {
    CLEANUP_RENUMBER = 0,
    CLEANUP_UNWRAP = 1,
    CLEANUP_ENTITIES = 2,
    CLEANUP_PUNCTUATION = 3,
    CLEANUP_METADATA = 4,
    CLEANUP_TABLES = 5,
    CLEANUP_ALL = 6,
    CLEANUP_LIST_MARKERS = 7,
    CLEANUP_MARKER_SPACE = 8,
    CLEANUP_MARKER_TAB = 9,
};

// Structural types.
void cleanup_renumber_ordered_lists(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                                    size_t *block_length, size_t *new_length, size_t *view_location,
                                    size_t *view_length);
void cleanup_unwrap_paragraphs(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                               size_t *block_length, size_t *new_length, size_t *view_location,
                               size_t *view_length);
void cleanup_metadata_block(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                            size_t *block_length, size_t *new_length, size_t *view_location,
                            size_t *view_length);
void cleanup_tables(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                    size_t *block_length, size_t *new_length, size_t *view_location,
                    size_t *view_length);
void cleanup_all(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                 size_t *block_length, size_t *new_length, size_t *view_location,
                 size_t *view_length);
// Switches the list that holds the start of the range between bullets
// (`bullet`) and numbers.
void cleanup_list_markers(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                          size_t *block_length, size_t *new_length, size_t *view_location,
                          size_t *view_length, char bullet);
// Puts `spacing` (" " or "\t") after each marker of that list.
void cleanup_list_marker_spacing(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                                 size_t *block_length, size_t *new_length, size_t *view_location,
                                 size_t *view_length, const char *spacing);

// Text types: exactly the byte range, no parse.
void cleanup_entities_to_ascii(tzr_engine *e, size_t start, size_t length, size_t *new_length);
void cleanup_unicode_punctuation_to_ascii(tzr_engine *e, size_t start, size_t length,
                                          size_t *new_length);

// The common first step of the structural types; false when no block
// overlaps the range. The chain ends at the last block.
bool cleanup_prepare_range(tzr_engine *e, size_t start, size_t length, token **root, token **first,
                           token **last, size_t *block_start, size_t *block_length,
                           size_t *new_length, size_t *view_location, size_t *view_length);

// Inner steps. `change` is the running change of length: tokens hold
// offsets of the text as parsed, edits go at offset + change.
void cleanup_renumber_walk(tzr_engine *e, token *first, int list_mode, long *change);
token *cleanup_find_list(token *t, size_t start, size_t length);
token *cleanup_find_list_marker(token *t);
void cleanup_toggle_list_markers(token *list, DString *text, char bullet, long *change);
void cleanup_set_marker_spacing(token *list, DString *text, const char *spacing, long *change);
void cleanup_unwrap_walk(tzr_engine *e, token *first, long *change);
void cleanup_unwrap_text(DString *text);
void cleanup_metadata_text(tzr_engine *e, token *block, long *change);
void cleanup_tables_walk(tzr_engine *e, token *first, long *change);
void cleanup_table_text(DString *text);

// The window's clean-up command: runs clean-up `type` (0 to 9) over the
// whole lines of the UTF-16 range of `text`. When something is to be
// replaced, returns the new text (heap) for the UTF-16 range left in the
// view outputs; else NULL. `list_marker` is the bullet preference (0 "*",
// 1 "+", 2 "-", anything else "*").
char *cleanup_core_range(const char *text, size_t unit_location, size_t unit_length, int type,
                         uint64_t extensions, unsigned short language, long list_marker,
                         size_t *view_location, size_t *view_length);

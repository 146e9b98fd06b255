// The Smart String: the editor's text buffer. It owns a document's UTF-8
// text and everything the editor keeps beside it, and every edit of the text
// goes through its one replace operation, which runs the edit through the
// smart steps, records undo, keeps the statistics and the mirror text in
// step, applies the edit and reports it in a change record.
//
// Single-threaded, no locks: every call comes from the editor's main thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/d_string.h"
#include "textengine/buffer/offsets.h"
#include "library/stack.h"
#include "textengine/buffer/statistics.h"
#include "library/token.h"

struct undo_group;  // a group of the undo history (undo_group.h)
struct TST;         // ternary search tree of expansion keys / autocomplete words (tst.h)

// Option bits. The text storage builds the word from the user's preferences;
// with every preference off it is 0xB01 (plus 0x2 in linear-history mode).
enum : uint64_t {
    SMART_STRING_UNDO = 0x1,                   // keep an undo stack; fixed at creation
    SMART_STRING_LINEAR_UNDO = 0x2,            // linear undo history; fixed at creation
    SMART_STRING_SMART_PAIRS = 0x8,            // smart-pairs step
    SMART_STRING_TYPE_OVER_PERIODS = 0x10,     // "." steps over a following "."
    SMART_STRING_EXPANSIONS = 0x20,            // expansions step
    SMART_STRING_EXPANSION_DELIMITER = 0x40,   // expansions fire on a delimiter; fixed at creation
    SMART_STRING_KEEP_DELIMITER = 0x80,        // the firing delimiter stays
    SMART_STRING_PLACEHOLDER_TAB = 0x100,      // Tab jumps to the next "%|"
    SMART_STRING_STATISTICS = 0x200,           // keep the four statistics
    SMART_STRING_CHANGE_TRACKING = 0x400,      // change-tracking step
    SMART_STRING_MIRROR = 0x800,               // keep the mirror text
    SMART_STRING_SMART_ENTER = 0x1000,         // smart-enter step
    SMART_STRING_ENTER_LIST = 0x2000,          // continue list items
    SMART_STRING_ENTER_LIST_2X = 0x4000,       // list modifier
    SMART_STRING_ENTER_LIST_SAME = 0x8000,     // list modifier
    SMART_STRING_ENTER_BLOCKQUOTE = 0x10000,   // continue block quotes
    SMART_STRING_ENTER_INDENT = 0x20000,       // keep indentation
    SMART_STRING_ENTER_HEADING = 0x40000,      // smart enter after headings
    SMART_STRING_ENTER_HEADING_TC = 0x80000,   // heading: title case
    SMART_STRING_ENTER_HEADING_HASH = 0x100000,// heading: closing hashes
    SMART_STRING_ENTER_TABLE = 0x200000,       // continue table rows
    SMART_STRING_SMART_TAB = 0x400000,         // smart-tab step
};

// Bits that only the creation of a Smart String sets.
constexpr uint64_t kSmartStringFixedOptions =
    SMART_STRING_UNDO | SMART_STRING_LINEAR_UNDO | SMART_STRING_EXPANSION_DELIMITER;

struct _SString {
    DString *text;                   // the document, UTF-8; owned
    uint64_t options;
    char *spare_text;                // owned, NULL unless set
    undo_group *undo_head;           // oldest (sentinel) group
    undo_group *undo_current;        // newest group in effect
    uint32_t coalesce_level;         // 0 = never merge
    unsigned char pair_closers[256]; // opener -> closer, 0 = not an opener
    unsigned char pair_openers[256]; // closer -> opener, 0 = not a closer
    uint8_t pair_pending;            // an automatic closer follows the caret
    size_t pair_pending_at;          // byte offset of that closer
    unsigned char pair_pending_closer;  // and its byte
    int64_t typing_run_start;        // -1 = none
    unsigned char trigger_suffixes[256];
    TST *expansions;                 // expansion keys, stored reversed
    char *replaced_text;             // what the last expansion replaced
    char *placeholder;               // "%|", owned
    stack *owned_blocks;             // further allocations freed with the record
    size_t caret_start;              // bytes; (size_t)-1 = none
    size_t caret_length;             // bytes; (size_t)-1 = none
    size_t anchor_start, anchor_end; // caret anchor of a bulk replace
    char *anchor_start_context, *anchor_end_context;
    uint64_t char_count, word_count, line_count, paragraph_count;
    DString *mirror;                 // one byte per UTF-16 unit; owned
    token *highlight_tokens;         // block chain of the last highlighting pass; owned
    uint8_t highlight_scan;          // scan from the head when no cursor is held
    token *highlight_cursor;         // where highlight lookups start
    size_t highlight_base;           // UTF-16 offset the held tokens were parsed from
    token *change_tokens;            // CriticMarkup tokens of change tracking
    char *comment_template;          // CriticMarkup comment template
    TST *autocomplete;               // autocomplete words
    int64_t remembered_selection_start;   // -1 = none
    size_t remembered_selection_length;
    uint8_t last_typed;              // byte of the last one-byte edit, else 0

    // A known pair (byte offset, UTF-16 offset) of the current text, so that
    // edits near the last one convert their offsets without a walk from the
    // start of the text. Valid while the text before `unit_anchor_byte` is
    // unchanged; `unit_anchor_text_length` is the text length it was taken
    // at, so a text changed behind the Smart String's back drops it.
    size_t unit_anchor_byte;
    size_t unit_anchor_units;
    size_t unit_anchor_text_length;
};

// One edit of a multi-edit (an edit record): replace `length` bytes at
// `start` with `text`. A section move is a chain of them; a multi-edit takes
// a stack of them, highest position first (multi_edit.h).
struct heading_record {
    size_t start;
    size_t length;
    char *text;  // owned by the multi-edit
    heading_record *next;
};

// One edit's result inside a multi-edit.
struct smart_string_edit_result {
    uint64_t caret_start;
    uint64_t caret_length;
    uint64_t start;
    uint64_t removed_length;
    uint64_t new_start;
    uint64_t new_end;
};

// The in/out record of one edit. The caller sets `tags`; the rest is output.
// The caller patches its own copy with (new_start, removed_length,
// new_end - new_start).
struct smart_string_change {
    uint64_t tags;            // in: undo tag bits
    uint64_t start;           // byte start as finally applied
    uint64_t removed_length;  // bytes removed at start
    uint64_t new_start;       // start of the inserted text (= start)
    uint64_t new_end;         // new_start + inserted byte length
    uint64_t result_count;    // multi-edit results, 0 for a single edit
    smart_string_edit_result **results;  // owned, each freed with the record
};

// Creation and freeing
_SString *smart_string_new_with_text(DString *text, uint64_t options);  // takes `text`
_SString *smart_string_new(const char *text, uint64_t options);
// Frees the record; the text's character buffer too when `free_text` is true.
void smart_string_free(_SString *s, bool free_text);
// Recounts (or zeroes) the statistics, then stores the word; the fixed bits
// keep their values.
void smart_string_set_options(_SString *s, uint64_t options);

smart_string_change *smart_string_change_new(void);
void smart_string_change_free(smart_string_change *change);

// The edit pipeline (smart_string_steps.cpp). `start` and `length` are
// bytes; a length of (size_t)-1 means to the end; `text` is NUL-terminated
// UTF-8 (NULL = empty). A range outside the text logs a "Smart String: "
// message and changes nothing.
void smart_string_replace(_SString *s, size_t start, size_t length, const char *text,
                          smart_string_change *change);

// Whether the byte range [start, start + length) lies in the text (false for
// a NULL Smart String), tested so that no sum can wrap.
bool smart_string_range_in_text(const _SString *s, size_t start, size_t length);
// Cuts a byte range to the text.
void smart_string_clamp_range(const _SString *s, size_t *start, size_t *length);

// Makes an edit that the steps and undo have passed, on a range that lies in
// the text: the statistics and the mirror follow it as `options` ask, both
// worked out against the text before it.
void smart_string_make_edit(_SString *s, size_t start, size_t length, const char *text,
                            uint64_t options);

// Accessors
uint64_t smart_string_get_options(_SString *s);
DString *smart_string_d_string(_SString *s);
const char *smart_string_text(_SString *s);
size_t smart_string_length(_SString *s);
DString *smart_string_mirror_text(_SString *s);
void smart_string_set_coalesce_level(_SString *s, uint32_t level);
void smart_string_set_caret(_SString *s, size_t start, size_t length);
size_t smart_string_caret_start(_SString *s);
size_t smart_string_caret_length(_SString *s);
// The caret as a UTF-16 range; both (size_t)-1 when there is no caret or it
// does not lie in the text.
void smart_string_caret_unit_range(_SString *s, size_t *unit_start, size_t *unit_length);
uint64_t smart_string_char_count(_SString *s);
uint64_t smart_string_word_count(_SString *s);
uint64_t smart_string_line_count(_SString *s);
uint64_t smart_string_paragraph_count(_SString *s);

// Mirror text. Each converts its byte offsets on the current text, so it is
// called before the text itself is edited.
void smart_string_mirror_insert(_SString *s, size_t byte_offset, const char *text);
void smart_string_mirror_erase(_SString *s, size_t byte_start, size_t byte_length);
void smart_string_mirror_replace(_SString *s, size_t byte_start, size_t byte_length,
                                 const char *text);
void smart_string_rebuild_mirror(_SString *s);
// After the text was changed outside the pipeline (undo, redo): recounts the
// statistics and rebuilds the mirror as the options ask.
void smart_string_refresh_derived(_SString *s);

// Statistics
void smart_string_count_statistics(_SString *s);
// The pipeline's statistics step, run before the edit is applied: counts a
// window of the old text around the edit and the same window with the edit
// made, and moves the counts by the difference.
void smart_string_update_statistics(_SString *s, size_t start, size_t removed_length,
                                    const char *text);

// Highlight store: the block tokens of the last highlighting pass, with UTF-16
// offsets counted from `base`.
void smart_string_set_highlight_tokens(_SString *s, token *chain, size_t base);
token *smart_string_take_highlight_tokens(_SString *s);
size_t smart_string_highlight_base(_SString *s);
// The held tokens that touch the UTF-16 range (start, length): first and
// last, or NULL.
void smart_string_highlight_tokens_at(_SString *s, size_t start, size_t length, token **first,
                                      token **last);

// Several edits of a Smart String made as one change: one undo group, one
// report in the change record and one result per edit. Section moves and
// the bulk replace (a range rewritten by its differences only, so that
// untouched text, its caret and its undo history stay put) are built on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textengine/diff/diff.h"
#include "textengine/buffer/smart_string.h"
#include "textengine/buffer/smart_string_steps.h"
#include "library/stack.h"

// An edit record: replace `length` bytes at `start` ((size_t)-1 = to the
// end of the text) with an owned copy of `text` (NULL stays NULL = empty).
heading_record *smart_string_heading_record_new(size_t start, size_t length, const char *text);
// Frees the record and every record chained after it.
void smart_string_heading_records_free(heading_record *chain);
// qsort-style order of stack elements (heading_record *): highest position
// first; at one position the longer edit first, so that an insertion is
// never swallowed by a removal that begins where it goes.
int smart_string_heading_record_compare(const void *a, const void *b);

// Applies the stack of edit records (sorted with the compare above) as one
// change. `options` selects expansions, smart pairs and placeholder Tab;
// change tracking, statistics, undo and the mirror follow the Smart String's
// own options. The Smart String's caret is left as it was; each result's
// caret is an offset into the text after the whole change. The records'
// texts become the texts actually applied.
void smart_string_apply_edits(_SString *s, stack *edits, smart_string_change *change,
                              uint64_t options);
// The same with the pipeline steps taken from a table.
void smart_string_apply_edits_with_steps(_SString *s, stack *edits, smart_string_change *change,
                                         uint64_t options, const smart_string_steps *steps);

// Applies a chain of edit records (the removal and insertion of dragged
// sections) with the Smart String's own options. With two or more edits
// made, the caret start becomes (size_t)-1: the view keeps its selection.
// The caller frees the chain.
void smart_string_move_sections(_SString *s, heading_record *chain, smart_string_change *change);

// Replaces `length` bytes at `start` with `text` by writing only the
// differences; the caret is found again afterwards by its context.
void smart_string_bulk_replace(_SString *s, size_t start, size_t length, const char *text,
                               smart_string_change *change);

// Edit records for a diff of an old range (starting at `start`) against a
// new text, sorted highest position first. Free each record and the stack.
stack *smart_string_diff_edits(const diff *diffs, size_t start);
void smart_string_diff_edits_free(stack *edits);

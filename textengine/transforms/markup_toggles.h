// Emphasis and strong toggles on Markdown source: a selection is split into
// the stretches that can carry inline markup (the content of each paragraph,
// list line, heading and table cell it touches), each stretch is wrapped in
// its own pair of markers and pairs of the same kind inside are removed; a
// selection already wrapped is unwrapped, and a caret gets an empty pair,
// steps over a closer, or turns one empty pair into another.
//
// All offsets are bytes of the engine's source text.
#pragma once

#include <cstddef>

#include "library/d_string.h"
#include "library/engine.h"
#include "library/stack.h"
#include "library/token.h"

// Parses the engine and returns the text (heap, never NULL) that is to
// replace the range (*start, *length) as the call leaves it; the selection
// outputs are offsets into the text after that replacement. The same marker
// text serves as `opener` and `closer` ("*", "_", "**" or "__"; empty inserts
// nothing).
char *markup_toggle_on_range(tzr_engine *e, size_t *start, size_t *length, size_t *selection_start,
                             size_t *selection_length, const char *opener, const char *closer,
                             bool strong, bool emphasis);

// Trims whitespace off the range, widens it over the "*" and "_" bytes that
// touch it, and counts those at its start and at its end.
void markup_range_adjust(DString *text, size_t *start, size_t *length, size_t *opening_count,
                         size_t *closing_count);

// The text ranges of a byte range, in document order: tokens with the type
// of the block they come from, and the block (borrowed) in their child field.
stack *markup_text_ranges(tzr_engine *e, size_t start, size_t length);
void markup_text_ranges_free(stack *ranges);
void markup_collect_text_ranges(token *t, stack *ranges, const char *source, size_t start,
                                size_t length);

// Removes the markers of every pair of `type` (115 emphasis, 125 strong)
// among the tokens whose both markers lie in [base, base + length). `text`
// holds the bytes from `base` on, edited so far by `*change`.
void markup_strip_pairs(DString *text, token *first, unsigned short type, long *change, size_t base,
                        size_t length);
void markup_strip_strong(DString *text, token *block, size_t base, size_t length);
void markup_strip_emphasis(DString *text, token *block, size_t base, size_t length);
// Erases the token's bytes at its start plus `*change` and lowers the change.
void markup_erase_token(DString *text, token *t, long *change);

// The overlap of two byte ranges; start (size_t)-1 and length 0 when none.
void range_intersection(size_t start1, size_t length1, size_t start2, size_t length2,
                        size_t *start, size_t *length);

// Range finders over UTF-8 text (word, line, paragraph, highlight range) and
// the selection commands built on them: grow and shrink a selection, move to
// the previous or next paragraph. All offsets are bytes.
#pragma once

#include <cstddef>

#include "textengine/buffer/smart_string.h"

// Each takes the text, a range (start, length) inside it, and writes the
// found range to the two outputs.
void text_word_range(const char *text, size_t start, size_t length, size_t *out_start,
                     size_t *out_length);
void text_line_range(const char *text, size_t start, size_t length, size_t *out_start,
                     size_t *out_length);
void text_paragraph_range(const char *text, size_t start, size_t length, size_t *out_start,
                          size_t *out_length);
void text_highlight_range(const char *text, size_t start, size_t length, size_t *out_start,
                          size_t *out_length);
// Start of the line that holds byte `at`.
size_t text_line_start(const char *text, size_t at);
// Start of the line before the one that starts at `line_start` (> 0); a
// CR LF before it is one line ending.
size_t text_previous_line_start(const char *text, size_t line_start);
// Offset just past the first line ending of the first blank line at or after
// `position` that is not followed by an indented line; the text length when
// there is none.
size_t text_next_paragraph_boundary(const char *text, size_t position);

bool ranges_overlap(size_t a, size_t a_length, size_t b, size_t b_length);
bool range_inside(size_t a, size_t a_length, size_t b, size_t b_length);

// Selection commands: each leaves the new selection in the caret fields.
void smart_string_increase_selection(_SString *s, size_t start, size_t length);
void smart_string_decrease_selection(_SString *s, size_t start, size_t length);
void smart_string_previous_paragraph(_SString *s, size_t start, size_t length);
void smart_string_next_paragraph(_SString *s, size_t start, size_t length);

// The range finders on the Smart String's text; a range outside the text
// gives (size_t)-1 for both outputs.
void smart_string_line_range_at(_SString *s, size_t start, size_t length, size_t *out_start,
                                size_t *out_length);
void smart_string_paragraph_range(_SString *s, size_t start, size_t length, size_t *out_start,
                                  size_t *out_length);
void smart_string_highlight_range(_SString *s, size_t start, size_t length, size_t *out_start,
                                  size_t *out_length);

// A new copy of text bytes; a length of (size_t)-1 means to the end. A range
// outside the text prints two lines on standard error and gives NULL.
char *smart_string_substring(_SString *s, size_t start, size_t length);

// Edits through smart_string_replace.
void smart_string_prepend_text(_SString *s, const char *text, smart_string_change *change);
void smart_string_append_text(_SString *s, const char *text, smart_string_change *change);
void smart_string_delete_range(_SString *s, size_t start, size_t length,
                               smart_string_change *change);
void smart_string_insert_text(_SString *s, size_t position, const char *text,
                              smart_string_change *change);

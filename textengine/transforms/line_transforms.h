// Line transforms on the Smart String: indent, outdent, move lines up and
// down, raise or lower a heading's level. Each builds its replacement text,
// sends it through smart_string_replace with the caller's change record (so it
// is undone and tracked like any edit) and leaves the new selection in the
// caret fields.
#pragma once

#include <cstddef>

#include "library/d_string.h"
#include "textengine/buffer/smart_string.h"

// Text builders: the replacement for the lines text[start, start + length)
// (whole lines, as text_line_range gives them); the caller frees it.
char *indent_lines(const char *text, size_t start, size_t length);
char *outdent_lines(const char *text, size_t start, size_t length);
char *indent_lines_string(const char *text);
char *outdent_lines_string(const char *text);
// The selection's lines moved past the line before or after them; the range
// they replace goes to the two outputs. NULL when there is nothing to move.
char *lines_moved_up(const char *text, size_t start, size_t length, size_t *replace_start,
                     size_t *replace_length);
char *lines_moved_down(const char *text, size_t start, size_t length, size_t *replace_start,
                       size_t *replace_length);

// The heading line text[line_start, line_start + line_length) with one "#"
// less or more, its closing run matched; NULL when the line is no ATX
// heading before or after.
char *heading_removing_hash(const char *text, size_t line_start, size_t line_length);
char *heading_adding_hash(const char *text, size_t line_start, size_t line_length);
// A closing "#" run (after a blank, before trailing blanks) gets as many "#"
// as the opening run.
void heading_fix_closing_hashes(DString *line);

// Cuts a string after its last byte that is not a space or tab.
void trim_trailing_blanks(char *text);
// On a heap string held by pointer: the old string is freed and replaced.
void string_prepend_n(char **string, const char *add, size_t n);
void string_prepend(char **string, const char *add);
void string_append_n(char **string, const char *add, size_t n);
void string_append(char **string, const char *add);

// The shift actions on the selection (start, length).
void smart_string_shift_outdent(_SString *s, size_t start, size_t length,
                                smart_string_change *change);
void smart_string_shift_indent(_SString *s, size_t start, size_t length,
                               smart_string_change *change);
void smart_string_shift_lines_up(_SString *s, size_t start, size_t length,
                                 smart_string_change *change);
void smart_string_shift_lines_down(_SString *s, size_t start, size_t length,
                                   smart_string_change *change);
void smart_string_shift_heading_remove_hash(_SString *s, size_t start, size_t length,
                                            smart_string_change *change);
void smart_string_shift_heading_add_hash(_SString *s, size_t start, size_t length,
                                         smart_string_change *change);

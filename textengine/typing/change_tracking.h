// Change tracking: while it is on, edits are written as CriticMarkup instead
// of being made plainly (insertions as {++...++}, deletions as {--...--},
// replacements as {~~old~>new~~}), edits inside an addition, a comment or the
// new half of a substitution are made plainly, and edits that would touch a
// deletion, a highlight, the old half of a substitution or any marker are
// refused. The same module finds the changes already in the text and steps
// through them, and lets a comment or highlight that the user writes by
// command go in unmarked.
//
// Offsets are bytes of the Smart String's text. A range [s, s + n) touches a
// token [t, t + m) when s < t + m and t < s + n, so an insertion point at the
// edge of a marker does not touch it.
#pragma once

#include <cstddef>

#include "textengine/buffer/smart_string.h"
#include "library/token.h"

void smart_string_start_tracking_changes(_SString *s);
void smart_string_stop_tracking_changes(_SString *s);
void smart_string_toggle_change_tracking(_SString *s);
bool smart_string_is_tracking_changes(_SString *s);

// Rescans the whole text into a new tree of changes (the old one is freed):
// a root (type 0) whose children are the changes (pair tokens 98-101, 103,
// their markers as children) and the markers that found no partner.
void smart_string_scan_changes(_SString *s);
void smart_string_free_changes(_SString *s);
// Replaces the comment template that follows each new addition and deletion
// (NULL or empty: none). Its template codes are processed per use.
void smart_string_set_comment_template(_SString *s, const char *comment);

// The pipeline step (see smart_string_steps.h): true to go on with the edit
// as rewritten, false to refuse it. The caret it sets is the caret after the
// edit.
bool smart_string_track_change(_SString *s, size_t start, size_t length, char **text,
                               smart_string_change *change);

// A comment or a highlight the user writes by command while tracking: a
// note on the text, not text of its own. Where tracking would mark the edit
// as a change (it touches no change), it is made plainly, since an addition
// around the note's marks would put the note into the text once accepted,
// and a substitution would mark the text it wraps as deleted; inside a
// change it follows the rules of any edit (plain in an addition, a comment
// or a new half, refused elsewhere). The step and the replace that runs the
// pipeline with it in place of smart_string_track_change.
bool smart_string_track_note(_SString *s, size_t start, size_t length, char **text,
                             smart_string_change *change);
void smart_string_replace_with_note(_SString *s, size_t start, size_t length, const char *text,
                                    smart_string_change *change);

// The change, or run of changes, that the range touches; start (size_t)-1 and
// length 0 when none. Rescans first.
void smart_string_change_intersecting_range(_SString *s, size_t start, size_t length,
                                            size_t *out_start, size_t *out_length);
// The next (previous) change or lone marker from a position, wrapping around
// the text; start (size_t)-1 and length 0 when the text has no marker.
void smart_string_next_change(_SString *s, size_t position, size_t *out_start,
                              size_t *out_length);
void smart_string_previous_change(_SString *s, size_t position, size_t *out_start,
                                  size_t *out_length);
// Whether replacing [start, start + length) with `replacement_length` bytes
// may go on while tracking: 1 yes, 0 no, -1 when the range touches no change
// (which may go on too). Looks at the text as it is now.
int smart_string_can_edit_range(_SString *s, size_t start, size_t length,
                                size_t replacement_length);
// Wraps `*text` in place as an addition (98), deletion (99), comment (100) or
// highlight (103), followed by the comment when one is set; other types leave
// it unchanged.
void smart_string_wrap_critic(_SString *s, char **text, unsigned short pair_type);

// The marker scanner. The scanner reads [cursor, end); each call returns the
// next marker's token type with its range in [token_start, cursor), or 0 at
// the end.
struct critic_scanner {
    const char *token_start;
    const char *cursor;
    const char *marker;
};
int critic_lex_next(critic_scanner *state, const char *end);
// A new root holding one marker token per match of the byte range (offsets
// from the range start); NULL when out of memory.
token *critic_scan_text(const char *start, size_t length);
// Pairs the root's markers into changes, wrapping each pair into a pair token.
void critic_pair_changes(token *root);
// The change or run of changes among the parent's children that the range
// touches (nested changes inside one are searched too); false when none.
bool critic_change_range(token *parent, size_t start, size_t length, size_t *out_start,
                         size_t *out_length);
// True when the range lies wholly after the start of the substitution's
// "~>" and touches none of its markers.
bool critic_substitution_new_half(token *substitution, size_t start, size_t length);

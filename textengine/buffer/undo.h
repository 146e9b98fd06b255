// The Smart String's undo history: every edit is recorded as a group of
// patches that turns the old text into the new one; undo and redo apply
// them (inverted for undo) straight to the text. Groups carry tag bits and
// undo and redo act only on groups whose tags meet the caller's mask (0 =
// every bit). Plain history drops the redo tail on a new edit; linear
// history never drops anything: an undo is itself recorded as a group.
//
// The groups and what is done with their patches are in undo_group.h; the
// Smart String makes the first group when it is created.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textengine/buffer/smart_string.h"
#include "library/stack.h"
#include "textengine/buffer/undo_group.h"

// Recording.
undo_group *smart_string_undo_group_new(_SString *s, patch *patches, uint64_t tags, size_t edit_start,
                                        size_t edit_length);
// Records one edit before it is applied: the pipeline's undo step. Returns
// false, recording nothing, when the edit's old text cannot be kept (bad
// range, no memory): the pipeline then refuses the edit rather than make an
// edit it cannot undo.
bool smart_string_undo_record(_SString *s, size_t start, size_t length, const char *text, uint64_t tags);
// Records the edits of a stack of `heading_record`s, in stack order, as one
// group; each is read against the text before any of them is applied.
bool smart_string_undo_record_edits(_SString *s, const stack *edits, uint64_t tags);
void smart_string_undo_coalesce(_SString *s);

// Undo and redo.
bool smart_string_can_undo(_SString *s, uint64_t mask);
bool smart_string_can_redo(_SString *s, uint64_t mask);
bool smart_string_undo(_SString *s, size_t *start, size_t *old_length, size_t *new_length, uint64_t mask);
bool smart_string_redo(_SString *s, size_t *start, size_t *old_length, size_t *new_length, uint64_t mask);
undo_group *smart_string_undo_target(_SString *s, uint64_t mask);
undo_group *smart_string_redo_target(_SString *s, uint64_t mask);
void smart_string_set_last_undo_tags(_SString *s, uint64_t tags);
// Applies a group's patches, puts the caret where the group left it and
// refreshes statistics and mirror; the changed range goes to the outputs.
void smart_string_undo_apply_group(_SString *s, const undo_group *g, size_t *start, size_t *old_length,
                                   size_t *new_length);

// The history, newest group first, one line a group (new text).
char *smart_string_undo_stack_description(_SString *s);
void smart_string_undo_stack_print(_SString *s);

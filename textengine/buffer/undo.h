// The Smart String's undo history: every edit is recorded as a group of
// patches that turns the old text into the new one; undo and redo apply
// them (inverted for undo) straight to the text. Groups carry tag bits and
// undo and redo act only on groups whose tags meet the caller's mask (0 =
// every bit). Plain history drops the redo tail on a new edit; linear
// history never drops anything: an undo is itself recorded as a group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "patch.h"
#include "smart_string.h"

struct stack;

struct undo_group {
    patch *patches;         // applied in list order to redo the group; owned
    int64_t time;           // seconds of the system clock when made
    int64_t clock;          // processor ticks when made
    undo_group *next;       // newer
    undo_group *previous;   // older
    uint64_t tags;
    undo_group *inverse_of;   // linear history: the group an inverse group undid
    undo_group *inverted_by;  // linear history: the inverse group that undid this one
    size_t edit_start;        // range the recorded edit replaced
    size_t caret_start;       // caret right after the recorded edit
    size_t edit_length;
    size_t caret_length;
};

// One edit of a multi-edit: replace `length` bytes at `start` with `text`.
struct heading_record {
    size_t start;
    size_t length;
    char *text;  // owned by the multi-edit
    heading_record *next;
};

// Creation (the sentinel group) and recording.
void smart_string_undo_start(_SString *s);
undo_group *smart_string_undo_group_new(_SString *s, patch *patches, uint64_t tags, size_t edit_start,
                                        size_t edit_length);
// Records one edit before it is applied. Returns false, recording nothing,
// when the edit's old text cannot be kept (bad range, no memory): the
// pipeline then refuses the edit rather than make an edit it cannot undo.
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

char *smart_string_undo_stack_description(_SString *s);
void smart_string_undo_stack_print(_SString *s);
void smart_string_undo_stack_free(undo_group *head);

// Smaller members.
undo_group *smart_string_undo_group_from_patches(patch *patches);
patch *smart_string_undo_last_patch(patch **head);
undo_group *smart_string_undo_last_group(undo_group *group);
void smart_string_undo_append_patch(patch **head, patch *p);
diff *smart_string_undo_invert_diff(const diff *d);
diff *smart_string_undo_invert_diffs(const diff *list);
patch *smart_string_undo_invert_patch(const patch *p);
patch *smart_string_undo_invert_patches(const patch *list);
undo_group *smart_string_undo_group_invert(const undo_group *g);
void smart_string_undo_merge_patches(undo_group *g);
// Moves [*start, *end) past a patch made later; 0 when the patch overlaps it.
int smart_string_undo_shift_range_by_patch(size_t *start, size_t *end, const patch *p);
int smart_string_undo_shift_range_by_patches(size_t *start, size_t *end, const patch *list);
bool smart_string_undo_patch_blocked(const patch *p, const undo_group *later);
bool smart_string_undo_group_blocked(const undo_group *g);
void smart_string_undo_apply_patch(DString *text, const patch *p, size_t *start, size_t *removed, size_t *inserted);
void smart_string_undo_apply_patches(DString *text, const patch *list, size_t *start, size_t *old_length,
                                     size_t *new_length);
// Applies a group's patches, puts the caret where the group left it and
// refreshes statistics and mirror; the changed range goes to the outputs.
void smart_string_undo_apply_group(_SString *s, const undo_group *g, size_t *start, size_t *old_length,
                                   size_t *new_length);
char *smart_string_patch_to_critic(const patch *p);
char *smart_string_patches_to_critic(const patch *list);

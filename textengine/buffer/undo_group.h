// Undo groups: the patches that turn the text before an edit into the text
// after it, and everything that can be done with them without the Smart
// String: invert them, move a range past them, tell whether a later group
// overwrote them, apply them to a text and render them as CriticMarkup.
// The Smart String's history (undo.h) is built on these; the Smart String
// itself only makes the first group and frees the list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/d_string.h"
#include "textengine/diff/patch.h"

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

// A new unlinked group around a patch list (owned from now on), stamped with
// the time and the processor clock; every other field 0.
undo_group *smart_string_undo_group_from_patches(patch *patches);
// Frees one group and its patches, whatever it is linked to.
void smart_string_undo_group_free(undo_group *g);
// Frees the group and every newer group.
void smart_string_undo_stack_free(undo_group *head);

// The patch that replaces text[start, start + length) with `new_text`,
// trimmed to what differs and widened so that it never starts or ends
// inside a character of the old text; [*from, *to) is the widened range.
// A NULL `new_text` records no insertion. NULL when out of memory.
patch *smart_string_undo_edit_patch(const DString *text, size_t start, size_t length,
                                    const char *new_text, size_t *from, size_t *to);

// Lists.
patch *smart_string_undo_last_patch(patch **head);
undo_group *smart_string_undo_last_group(undo_group *group);
void smart_string_undo_append_patch(patch **head, patch *p);
// B after A is folded into A where B goes on where A's new text ends, or
// removes the text just before A (Backspace).
void smart_string_undo_merge_patches(undo_group *g);

// Inverses: delete and insert swap, equal stays; a list inverts into
// reverse order; an inverse group swaps the edit range and the caret.
diff *smart_string_undo_invert_diff(const diff *d);
diff *smart_string_undo_invert_diffs(const diff *list);
patch *smart_string_undo_invert_patch(const patch *p);
patch *smart_string_undo_invert_patches(const patch *list);
undo_group *smart_string_undo_group_invert(const undo_group *g);

// Moves [*start, *end) past a patch made later; 0 when the patch overlaps it.
int smart_string_undo_shift_range_by_patch(size_t *start, size_t *end, const patch *p);
int smart_string_undo_shift_range_by_patches(size_t *start, size_t *end, const patch *list);
// Whether a later group overwrote what the patch, or the group, changed.
bool smart_string_undo_patch_blocked(const patch *p, const undo_group *later);
bool smart_string_undo_group_blocked(const undo_group *g);
// The inverse of `g` moved past every group made after it, so that it
// applies to the text as it is now; *delta is how far it moved. NULL and
// *blocked when a later edit touched what `g` changed.
patch *smart_string_undo_current_inverse(const undo_group *g, bool *blocked, long long *delta);

// Applies patches straight to a text; the changed byte range goes to the
// outputs (any may be NULL).
void smart_string_undo_apply_patch(DString *text, const patch *p, size_t *start, size_t *removed, size_t *inserted);
void smart_string_undo_apply_patches(DString *text, const patch *list, size_t *start, size_t *old_length,
                                     size_t *new_length);

// CriticMarkup of a patch, or of a list concatenated (new texts).
char *smart_string_patch_to_critic(const patch *p);
char *smart_string_patches_to_critic(const patch *list);

// The smart steps of the edit pipeline and the other services the Smart
// String calls into. Each step gets the Smart String, the edit's current
// start and removed length, the address of the working copy of the new text
// (which it may replace, freeing the old copy) and the change record; it
// returns true when it took the edit in hand, having written the start and
// removed length it wants into the change record.
//
// The modules that implement these are smart_enter (smart tab and enter),
// change_tracking, expansions, smart_pairs and undo.
#pragma once

#include <cstddef>
#include <cstdint>

#include "smart_string.h"

// Pipeline steps, in the order the pipeline runs them.
bool smart_string_smart_tab(_SString *s, size_t start, size_t length, char **text,
                            smart_string_change *change);
bool smart_string_smart_enter(_SString *s, size_t start, size_t length, char **text,
                              smart_string_change *change);
// Change tracking: the pipeline rescans the change tokens before asking.
void smart_string_scan_changes(_SString *s);
bool smart_string_track_change(_SString *s, size_t start, size_t length, char **text,
                               smart_string_change *change);
void smart_string_free_changes(_SString *s);
bool smart_string_expand(_SString *s, size_t start, size_t length, char **text,
                         smart_string_change *change);
bool smart_string_smart_pairs(_SString *s, size_t start, size_t length, char **text,
                              smart_string_change *change);

// Undo: the history starts with a sentinel group (tags 0, no patches, edit
// 0/0, caret 0) made when the Smart String is created; every recorded edit is
// recorded against the text before it is applied. A false return refuses
// the edit: its old text could not be kept for undo.
void smart_string_undo_start(_SString *s);
bool smart_string_undo_record(_SString *s, size_t start, size_t length, const char *text,
                              uint64_t tags);
void smart_string_undo_stack_free(undo_group *head);

// Word stores: frees the nodes of a tree.
void tst_free(TST *root);

// The pipeline takes its steps from a table so that each can be exercised on
// its own; smart_string_replace runs with kSmartStringSteps.
struct smart_string_steps {
    bool (*smart_tab)(_SString *, size_t, size_t, char **, smart_string_change *);
    bool (*smart_enter)(_SString *, size_t, size_t, char **, smart_string_change *);
    void (*scan_changes)(_SString *);
    bool (*track_change)(_SString *, size_t, size_t, char **, smart_string_change *);
    bool (*expand)(_SString *, size_t, size_t, char **, smart_string_change *);
    bool (*smart_pairs)(_SString *, size_t, size_t, char **, smart_string_change *);
    bool (*undo_record)(_SString *, size_t, size_t, const char *, uint64_t);
};

extern const smart_string_steps kSmartStringSteps;

void smart_string_replace_with_steps(_SString *s, size_t start, size_t length, const char *text,
                                     smart_string_change *change,
                                     const smart_string_steps *steps);

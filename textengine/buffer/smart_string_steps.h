// The smart steps of the edit pipeline and the one runner that takes an edit
// through them, shared by smart_string_replace and the multi-edit.
//
// Each step gets the Smart String, the edit's current start and removed
// length, the address of the working copy of the new text (which it may
// replace, freeing the old copy) and the change record; it returns true when
// it took the edit in hand, having written the start and removed length it
// wants into the change record. The steps live with what they do: smart tab
// and smart enter in smart_enter.h, change tracking in change_tracking.h,
// expansions in expansions.h, smart pairs in smart_pairs.h, the undo record
// in undo.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "textengine/buffer/smart_string.h"

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

// One edit on its way through the steps.
struct smart_string_step_run {
    // In and out: the edit as the steps leave it.
    size_t start;
    size_t length;
    char *text;        // the working copy, owned by the caller
    uint64_t options;  // the working option word: the steps whose bits it has run
    // In: the word the working word starts again from after smart tab or
    // change tracking took the edit (the Smart String's own word for a
    // single edit, the caller's word for a multi-edit).
    uint64_t restart;
    // In: where the caret that smart tab or an expansion places is written
    // as soon as it is known (the Smart String's caret for a single edit,
    // whose later steps read it).
    size_t *caret_start;
    size_t *caret_length;
    // Out: smart tab or an expansion placed the caret.
    bool caret_placed;
    // Out: some step decided the caret (the above, or change tracking and
    // smart pairs, which set the Smart String's caret themselves).
    bool caret_taken;
};

// Runs smart tab, smart enter, change tracking, expansions and smart pairs,
// in that order, each when the working word has its bit; after each step
// that takes the edit, its range is read back from the change record. False
// when change tracking refused the edit (the run stops there).
bool smart_string_run_steps(_SString *s, const smart_string_steps *steps, smart_string_step_run *run,
                            smart_string_change *change);

// For the steps: replaces the working copy of the new text with a copy of
// `with`. False, the text kept, when out of memory.
bool smart_string_step_set_text(char **text, std::string_view with);

// Whether [start, start + length) lies in the Smart String's text; when not,
// logs the message of a bad start or of a bad stop. Written so that no sum
// can wrap.
bool smart_string_edit_range_valid(const _SString *s, size_t start, size_t length);
// Those two messages.
extern const char kSmartStringIllegalStart[];
extern const char kSmartStringIllegalStop[];

// The edit pipeline: the runner of the smart steps and smart_string_replace.

#include "textengine/buffer/smart_string_steps.h"

#include <cstdlib>
#include <cstring>

#include "textengine/typing/change_tracking.h"
#include "library/diagnostics.h"
#include "textengine/typing/expansions.h"
#include "textengine/typing/smart_enter.h"
#include "textengine/typing/smart_pairs.h"
#include "textengine/buffer/undo.h"

const smart_string_steps kSmartStringSteps = {
    smart_string_smart_tab,    smart_string_smart_enter, smart_string_scan_changes,
    smart_string_track_change, smart_string_expand,      smart_string_smart_pairs,
    smart_string_undo_record,
};

const char kSmartStringIllegalStart[] = "Smart String: Attempt to modify illegal start position.\n";
const char kSmartStringIllegalStop[] = "Smart String: Attempt to modify illegal stop position.\n";

bool smart_string_edit_range_valid(const _SString *s, size_t start, size_t length) {
    size_t text_length = s->text->length;
    if (start > text_length) {
        tzr_log("%s", kSmartStringIllegalStart);
        return false;
    }
    if (length > text_length - start) {
        tzr_log("%s", kSmartStringIllegalStop);
        return false;
    }
    return true;
}

bool smart_string_step_set_text(char **text, std::string_view with) {
    char *copy = strndup(with.data(), with.size());
    if (!copy)
        return false;
    free(*text);
    *text = copy;
    return true;
}

// ---------------------------------------------------------------------------
// The runner

// Start and removed length as a step left them, with the new text's span.
static void read_back(smart_string_step_run *run, smart_string_change *c) {
    run->start = c->start;
    run->length = c->removed_length;
    c->new_start = run->start;
    c->new_end = run->start + strlen(run->text);
}

static void place_caret(smart_string_step_run *run, size_t start, size_t length) {
    *run->caret_start = start;
    *run->caret_length = length;
    run->caret_placed = true;
    run->caret_taken = true;
}

bool smart_string_run_steps(_SString *s, const smart_string_steps *steps, smart_string_step_run *run,
                            smart_string_change *c) {
    uint64_t &w = run->options;
    const size_t entry_start = run->start;

    // Smart tab: the caret goes after the text it wrote from where the edit
    // began.
    if ((w & SMART_STRING_SMART_TAB) && steps->smart_tab(s, run->start, run->length, &run->text, c)) {
        read_back(run, c);
        place_caret(run, entry_start + strlen(run->text), 0);
        w = run->restart & ~(uint64_t)SMART_STRING_SMART_TAB;
    }

    // Smart enter (the default caret follows its text).
    if ((w & SMART_STRING_SMART_ENTER) && steps->smart_enter(s, run->start, run->length, &run->text, c))
        read_back(run, c);

    // Change tracking, on a fresh scan of the changes in the text.
    if (w & SMART_STRING_CHANGE_TRACKING) {
        steps->scan_changes(s);
        if (!steps->track_change(s, run->start, run->length, &run->text, c))
            return false;
        read_back(run, c);
        run->caret_taken = true;
        w = run->restart & ~(uint64_t)SMART_STRING_CHANGE_TRACKING;
    }

    // Expansions: no smart pairs after one; the caret goes after the
    // expansion, or onto its first placeholder.
    if ((w & SMART_STRING_EXPANSIONS) && steps->expand(s, run->start, run->length, &run->text, c)) {
        read_back(run, c);
        w &= ~(uint64_t)SMART_STRING_SMART_PAIRS;
        const char *placeholder = strstr(run->text, s->placeholder ? s->placeholder : "%|");
        if ((w & SMART_STRING_PLACEHOLDER_TAB) && placeholder)
            place_caret(run, run->start + (size_t)(placeholder - run->text), 2);
        else
            place_caret(run, run->start + strlen(run->text), 0);
    }

    // Smart pairs (never moves the start).
    if ((w & SMART_STRING_SMART_PAIRS) && steps->smart_pairs(s, run->start, run->length, &run->text, c)) {
        read_back(run, c);
        w &= ~(uint64_t)SMART_STRING_SMART_PAIRS;
        run->caret_taken = true;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The pipeline

void smart_string_replace(_SString *s, size_t start, size_t length, const char *text,
                          smart_string_change *change) {
    smart_string_replace_with_steps(s, start, length, text, change, &kSmartStringSteps);
}

void smart_string_replace_with_steps(_SString *s, size_t start, size_t length, const char *text,
                                     smart_string_change *change,
                                     const smart_string_steps *steps) {
    if (!s || !steps)
        return;
    smart_string_change local = {};
    smart_string_change *c = change ? change : &local;

    // 1. Validation.
    size_t text_length = s->text->length;
    if (length == (size_t)-1 && start <= text_length)
        length = text_length - start;
    if (!smart_string_edit_range_valid(s, start, length))
        return;

    // 2. Initial report and the working copy of the new text.
    const char *given = text ? text : "";
    c->start = start;
    c->removed_length = length;
    c->new_start = start;
    c->new_end = start + strlen(given);
    char *work = strdup(given);
    if (!work)
        return;
    // Read now: the caller's text may point into the buffer the edit moves.
    uint8_t typed = (given[0] && !given[1]) ? (uint8_t)given[0] : 0;

    // 3. Placeholder Tab: select the next "%|" after the edit, wrapping to
    // the start of the text, and change nothing.
    const uint64_t options = s->options;
    if ((options & SMART_STRING_PLACEHOLDER_TAB) && strcmp(given, "\t") == 0) {
        const char *str = s->text->str;
        size_t end = start + length;
        const char *found = nullptr;
        if (end < text_length)
            found = strstr(str + end + 1, s->placeholder);
        if (!found)
            found = strstr(str, s->placeholder);
        if (found) {
            size_t p = (size_t)(found - str);
            s->caret_start = p;
            s->caret_length = 2;
            c->start = c->new_start = c->new_end = p;
            c->removed_length = 0;
            s->last_typed = '\t';
            free(work);
            return;
        }
    }

    // 4.-8. The smart steps; the caret they place is the Smart String's at
    // once, since the later steps read it. A refused tracked edit becomes an
    // empty edit at its start.
    smart_string_step_run run = {start, length, work, options, options,
                                 &s->caret_start, &s->caret_length, false, false};
    if (!smart_string_run_steps(s, steps, &run, c)) {
        c->start = c->new_start = c->new_end = run.start;
        c->removed_length = 0;
        free(run.text);
        return;
    }
    start = run.start;
    length = run.length;
    work = run.text;
    const uint64_t w = run.options;

    // A step that hands back a range outside the text cannot be applied.
    if (!smart_string_edit_range_valid(s, start, length)) {
        free(work);
        return;
    }

    // 9. Default caret.
    if (!run.caret_taken) {
        s->caret_start = start + strlen(work);
        s->caret_length = 0;
    }

    // 10. Undo, against the text before the edit; an edit it cannot record
    // is refused.
    if ((w & SMART_STRING_UNDO) && !steps->undo_record(s, start, length, work, c->tags)) {
        c->start = c->new_start = c->new_end = start;
        c->removed_length = 0;
        free(work);
        return;
    }

    // 11.-13. Statistics, mirror and the edit.
    smart_string_make_edit(s, start, length, work, w);

    // 14. Last typed byte.
    s->last_typed = typed;
    free(work);
}

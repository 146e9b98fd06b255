#include "textengine/buffer/multi_edit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library/diagnostics.h"
#include "textengine/typing/expansions.h"
#include "textengine/buffer/undo.h"

// ---------------------------------------------------------------------------
// Edit records

heading_record *smart_string_heading_record_new(size_t start, size_t length, const char *text) {
    heading_record *r = static_cast<heading_record *>(calloc(1, sizeof(heading_record)));
    if (!r)
        return nullptr;
    r->start = start;
    r->length = length;
    if (text) {
        r->text = strdup(text);
        if (!r->text) {
            free(r);
            return nullptr;
        }
    }
    return r;
}

void smart_string_heading_records_free(heading_record *chain) {
    while (chain) {
        heading_record *next = chain->next;
        free(chain->text);
        free(chain);
        chain = next;
    }
}

static bool comes_first(const heading_record *a, const heading_record *b) {
    if (a->start != b->start)
        return a->start > b->start;
    return a->length > b->length;
}

int smart_string_heading_record_compare(const void *a, const void *b) {
    const heading_record *x = *static_cast<const heading_record *const *>(a);
    const heading_record *y = *static_cast<const heading_record *const *>(b);
    if (comes_first(x, y))
        return -1;
    if (comes_first(y, x))
        return 1;
    return 0;
}

// Stable, so that records that tie keep the order they were given in.
static void sort_edits(stack *edits) {
    if (!edits || edits->size < 2)
        return;
    std::stable_sort(edits->element, edits->element + edits->size, [](void *a, void *b) {
        return comes_first(static_cast<heading_record *>(a), static_cast<heading_record *>(b));
    });
}

// ---------------------------------------------------------------------------
// Multi-edit

static void reset_results(smart_string_change *c) {
    for (uint64_t i = 0; i < c->result_count; i++)
        free(c->results[i]);
    free(c->results);
    c->results = nullptr;
    c->result_count = 0;
}

void smart_string_apply_edits(_SString *s, stack *edits, smart_string_change *change,
                              uint64_t options) {
    smart_string_apply_edits_with_steps(s, edits, change, options, &kSmartStringSteps);
}

void smart_string_apply_edits_with_steps(_SString *s, stack *edits, smart_string_change *change,
                                         uint64_t w0, const smart_string_steps *steps) {
    if (!s || !edits || edits->size == 0 || !steps)
        return;
    size_t text_length = s->text->length;
    size_t n = edits->size;

    // Every position first, then every length: nothing is edited unless all
    // of them lie in the text. Overlapping records could only be applied by
    // editing bytes that an earlier record already replaced.
    for (size_t i = 0; i < n; i++) {
        const heading_record *e = static_cast<heading_record *>(edits->element[i]);
        if (!e || e->start > text_length) {
            tzr_log("%s", kSmartStringIllegalStart);
            return;
        }
    }
    size_t limit = text_length;
    for (size_t i = 0; i < n; i++) {
        heading_record *e = static_cast<heading_record *>(edits->element[i]);
        if (e->length == (size_t)-1)
            e->length = text_length - e->start;
        if (e->length > text_length - e->start || e->start + e->length > limit) {
            tzr_log("%s", kSmartStringIllegalStop);
            return;
        }
        limit = e->start;
    }

    smart_string_change local = {};
    smart_string_change *c = change ? change : &local;
    reset_results(c);
    smart_string_edit_result **results = static_cast<smart_string_edit_result **>(
        calloc(n, sizeof(smart_string_edit_result *)));
    if (!results)
        return;
    for (size_t i = 0; i < n; i++) {
        results[i] = static_cast<smart_string_edit_result *>(calloc(1, sizeof(smart_string_edit_result)));
        if (!results[i]) {
            for (size_t j = 0; j < i; j++)
                free(results[j]);
            free(results);
            return;
        }
    }

    size_t saved_caret_start = s->caret_start, saved_caret_length = s->caret_length;
    uint64_t own = s->options;
    std::vector<bool> applied(n, false);

    // Each edit goes through the steps against the text before the change:
    // neither smart tab nor smart enter, and change tracking as the Smart
    // String's own word says. The steps may move an edit's start and widen
    // its range (tracking joins an edit to the change beside it, an
    // expansion takes in its key); the edit is applied with the range they
    // return, which must still lie below every edit applied before it. Its
    // caret goes after its text, unless an expansion placed it.
    const uint64_t w = (w0 & ~(uint64_t)(SMART_STRING_SMART_TAB | SMART_STRING_SMART_ENTER |
                                         SMART_STRING_CHANGE_TRACKING)) |
                       (own & SMART_STRING_CHANGE_TRACKING);
    limit = text_length;
    for (size_t i = 0; i < n; i++) {
        heading_record *e = static_cast<heading_record *>(edits->element[i]);
        smart_string_edit_result *r = results[i];
        char *work = strdup(e->text ? e->text : "");
        if (!work)
            continue;
        c->start = c->new_start = e->start;
        c->removed_length = e->length;
        c->new_end = e->start + strlen(work);
        size_t caret_start = 0, caret_length = 0;
        smart_string_step_run run = {e->start, e->length, work, w, w0,
                                     &caret_start, &caret_length, false, false};
        bool accepted = smart_string_run_steps(s, steps, &run, c);
        // A range the steps moved into an edit already taken, or out of the
        // text, cannot be applied without corrupting the other edit.
        if (!accepted || run.start > limit || run.length > limit - run.start) {
            free(run.text);
            *r = {e->start, 0, e->start, 0, e->start, e->start};
            continue;
        }
        size_t end = run.start + strlen(run.text);
        if (!run.caret_placed) {
            caret_start = end;
            caret_length = 0;
        }
        *r = {caret_start, caret_length, run.start, run.length, run.start, end};
        e->start = run.start;
        e->length = run.length;
        free(e->text);
        e->text = run.text;
        applied[i] = true;
        limit = run.start;
    }
    s->caret_start = saved_caret_start;
    s->caret_length = saved_caret_length;

    // One undo group for every edit that goes ahead.
    stack *taken = stack_new((int)n);
    for (size_t i = 0; i < n; i++)
        if (applied[i])
            stack_push(taken, edits->element[i]);
    bool recorded = true;
    if (taken->size > 0 && (own & SMART_STRING_UNDO))
        recorded = smart_string_undo_record_edits(s, taken, c->tags);
    stack_free(taken);
    if (!recorded) {
        // Undo could not keep the old text: the pipeline refuses an edit it
        // cannot record, and so does the multi-edit, as a whole.
        for (size_t i = 0; i < n; i++)
            free(results[i]);
        free(results);
        const heading_record *low = static_cast<heading_record *>(edits->element[n - 1]);
        c->start = c->new_start = c->new_end = low->start;
        c->removed_length = 0;
        return;
    }

    // Apply, highest first, so that no later edit's position moves.
    bool any = false;
    size_t low = 0, high = 0;
    long long growth = 0;
    for (size_t i = 0; i < n; i++) {
        if (!applied[i])
            continue;
        const heading_record *e = static_cast<heading_record *>(edits->element[i]);
        const char *t = e->text ? e->text : "";
        smart_string_make_edit(s, e->start, e->length, t, own);
        growth += (long long)strlen(t) - (long long)e->length;
        if (!any || e->start + e->length > high)
            high = e->start + e->length;
        if (!any || e->start < low)
            low = e->start;
        any = true;
    }

    if (any) {
        c->start = c->new_start = low;
        c->removed_length = high - low;
        c->new_end = (uint64_t)((long long)high + growth);
    } else {
        const heading_record *last = static_cast<heading_record *>(edits->element[n - 1]);
        c->start = c->new_start = c->new_end = last->start;
        c->removed_length = 0;
    }

    // Result carets into the text after the whole change: each moves by the
    // growth of the edits below it.
    long long below = 0;
    for (size_t i = n; i-- > 0;) {
        results[i]->caret_start = (uint64_t)((long long)results[i]->caret_start + below);
        if (applied[i]) {
            const heading_record *e = static_cast<heading_record *>(edits->element[i]);
            below += (long long)strlen(e->text ? e->text : "") - (long long)e->length;
        }
    }

    c->results = results;
    c->result_count = n;
    if (c == &local)
        reset_results(c);
}

// ---------------------------------------------------------------------------
// Section move

// A multi-edit after which, when it made two or more edits, the caret start
// becomes (size_t)-1: the view keeps its own selection.
static void apply_keeping_selection(_SString *s, stack *edits, smart_string_change *change,
                                    uint64_t options) {
    smart_string_change local = {};
    smart_string_change *c = change ? change : &local;
    smart_string_apply_edits(s, edits, c, options);
    if (c->result_count >= 2)
        s->caret_start = (size_t)-1;
    if (c == &local)
        reset_results(c);
}

void smart_string_move_sections(_SString *s, heading_record *chain, smart_string_change *change) {
    if (!s || !chain)
        return;
    stack *edits = stack_new(16);
    for (heading_record *r = chain; r; r = r->next)
        stack_push(edits, r);
    sort_edits(edits);
    apply_keeping_selection(s, edits, change, s->options);
    stack_free(edits);
}

// ---------------------------------------------------------------------------
// Diff to edits and bulk replace

stack *smart_string_diff_edits(const diff *diffs, size_t start) {
    stack *edits = stack_new(16);
    size_t pos = start;
    // Each run of deletions and insertions between two stretches of kept text
    // becomes one edit. A diff repaired around broken UTF-8 can hold empty
    // kept stretches; two insertions at one position would otherwise depend
    // on the order the sort leaves them in.
    for (const diff *d = diffs; d;) {
        if (d->op == DMP_EQUAL && dmp_diff_length(d) > 0) {
            pos += dmp_diff_length(d);
            d = d->next;
            continue;
        }
        size_t gone = 0;
        std::string inserted;
        for (; d && (d->op != DMP_EQUAL || dmp_diff_length(d) == 0); d = d->next) {
            if (d->op == DMP_DELETE)
                gone += dmp_diff_length(d);
            else if (d->op == DMP_INSERT && d->text)
                inserted += d->text;
        }
        if (gone || !inserted.empty())
            stack_push(edits, smart_string_heading_record_new(pos, gone, inserted.c_str()));
        pos += gone;
    }
    // A record that could not be allocated is dropped rather than applied.
    size_t kept = 0;
    for (size_t i = 0; i < edits->size; i++)
        if (edits->element[i])
            edits->element[kept++] = edits->element[i];
    edits->size = kept;
    sort_edits(edits);
    return edits;
}

void smart_string_diff_edits_free(stack *edits) {
    if (!edits)
        return;
    for (size_t i = 0; i < edits->size; i++)
        smart_string_heading_records_free(static_cast<heading_record *>(edits->element[i]));
    stack_free(edits);
}

void smart_string_bulk_replace(_SString *s, size_t start, size_t length, const char *text,
                               smart_string_change *change) {
    if (!s)
        return;
    if (length == (size_t)-1 && start <= s->text->length)
        length = s->text->length - start;
    if (!smart_string_edit_range_valid(s, start, length))
        return;
    const char *replacement = text ? text : "";
    smart_string_save_caret_anchor(s, start, length);
    diff *diffs = dmp_diff_main(s->text->str + start, replacement, length, strlen(replacement));
    stack *edits = smart_string_diff_edits(diffs, start);
    apply_keeping_selection(s, edits, change, 0);
    smart_string_diff_edits_free(edits);
    dmp_diff_free(diffs);
    size_t caret_start = 0, caret_length = 0;
    smart_string_restore_caret_anchor(s, &caret_start, &caret_length);
    smart_string_set_caret(s, caret_start, caret_length);
}

#include "textengine/buffer/undo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/diagnostics.h"
#include "textengine/heap_string.h"
#include "textengine/utf8_sequence.h"

using std::string;

namespace {

constexpr uint64_t kInverseTag = 4;

bool linear(const _SString *s) { return s->options & SMART_STRING_LINEAR_UNDO; }
bool linked(const undo_group *g) { return g->inverse_of || g->inverted_by; }
uint64_t full_mask(uint64_t mask) { return mask ? mask : ~(uint64_t)0; }

// Coalescing classes: 0 word bytes, 2 spaces and punctuation, 3 sentence
// punctuation, 255 line breaks (never merged at the levels in use).
constexpr int coalesce_class(unsigned char c) {
    if (c == '\n' || c == '\r')
        return 255;
    if (c == '!' || c == '.' || c == ':' || c == ';' || c == '?')
        return 3;
    if (c == '\t' || c == ' ')
        return 2;
    if (c > 0x20 && c < 0x7F && !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
        return 2;
    return 0;
}

// True for an empty text or one UTF-8 character: typing an accented letter
// coalesces like typing a plain one.
bool one_character(const char *text) {
    size_t n = text ? strlen(text) : 0;
    return n <= 1 || (n <= 4 && n == utf8_sequence_length((unsigned char)text[0]));
}

bool patch_is_one_character(const patch *p) {
    for (const diff *d = p->diffs; d; d = d->next)
        if (d->op != DMP_EQUAL && !one_character(d->text))
            return false;
    return p->length1 <= 4 && p->length2 <= 4;
}

void unlink_group(_SString *s, undo_group *g) {
    if (g->previous)
        g->previous->next = g->next;
    if (g->next)
        g->next->previous = g->previous;
    if (s->undo_head == g)
        s->undo_head = g->next;
    if (s->undo_current == g)
        s->undo_current = g->previous;
    g->next = g->previous = nullptr;
}

undo_group *append_group(_SString *s, patch *patches, uint64_t tags, size_t edit_start, size_t edit_length) {
    undo_group *g = smart_string_undo_group_from_patches(patches);
    g->tags = tags;
    undo_group *at = s->undo_current;
    if (!at) {
        s->undo_head = g;
    } else {
        if (linear(s)) {
            at = smart_string_undo_last_group(s->undo_head);
        } else {
            smart_string_undo_stack_free(at->next);
            at->next = nullptr;
        }
        at->next = g;
        g->previous = at;
    }
    s->undo_current = g;
    g->edit_start = edit_start;
    g->edit_length = edit_length;
    g->caret_start = s->caret_start;
    g->caret_length = s->caret_length;
    return g;
}

size_t shifted(size_t pos, long long delta, size_t limit) {
    long long v = (long long)pos + delta;
    return v < 0 ? 0 : std::min((size_t)v, limit);
}

void set_outputs(size_t *a, size_t *b, size_t *c, size_t va, size_t vb, size_t vc) {
    if (a)
        *a = va;
    if (b)
        *b = vb;
    if (c)
        *c = vc;
}

}  // namespace

// ---- recording ----

void smart_string_undo_coalesce(_SString *s) {
    if (!s || (int32_t)s->coalesce_level == 0)
        return;
    const int32_t level = (int32_t)s->coalesce_level;
    for (;;) {
        undo_group *n = s->undo_current, *o = n ? n->previous : nullptr;
        if (!n || !o || !n->patches || n->patches->next || !patch_is_one_character(n->patches))
            return;
        // Inverse groups and undone groups keep their links whole.
        if (!o->patches || o->tags != n->tags || linked(n) || linked(o))
            return;
        const diff *first = n->patches->diffs;
        if (!first)
            return;
        unsigned char c = first->text ? (unsigned char)first->text[0] : 0;
        if (level < coalesce_class(c))
            return;
        patch *o_last = smart_string_undo_last_patch(&o->patches);
        const diff *o_last_diff = dmp_patch_last_diff(o_last);
        const diff *o_first_diff = o->patches->diffs;
        if (!((o_last_diff && o_last_diff->op == first->op) || (o_first_diff && o_first_diff->op == first->op)))
            return;
        long long d = (long long)n->patches->start1 - (long long)(o_last->start1 + o_last->length2);
        if (first->op == DMP_INSERT && d != 0)
            return;
        // Backspace over a character of k bytes lands k bytes back.
        long long back = std::max<long long>(1, (long long)n->patches->length1);
        if (first->op == DMP_DELETE && (d < -back || d > 1))
            return;
        if (first->op == DMP_EQUAL)
            return;

        smart_string_undo_append_patch(&o->patches, n->patches);
        n->patches = nullptr;
        smart_string_undo_merge_patches(o);
        // A run of deletions restores, and so selects, the whole run.
        if (!o->patches->next && o->patches->length2 == 0) {
            o->edit_start = o->patches->start1;
            o->edit_length = o->patches->length1;
        }
        o->caret_start = n->caret_start;
        o->caret_length = n->caret_length;
        undo_group *after = n->next;
        o->next = after;
        if (after)
            after->previous = o;
        if (s->undo_current == n)
            s->undo_current = o;
        smart_string_undo_group_free(n);
    }
}

undo_group *smart_string_undo_group_new(_SString *s, patch *patches, uint64_t tags, size_t edit_start,
                                        size_t edit_length) {
    if (!s)
        return nullptr;
    append_group(s, patches, tags, edit_start, edit_length);
    smart_string_undo_coalesce(s);
    return s->undo_current;
}

bool smart_string_undo_record(_SString *s, size_t start, size_t length, const char *text, uint64_t tags) {
    if (!s || !s->text)
        return false;
    size_t n = s->text->length;
    if (start > n)
        return false;
    if (length >= (size_t)-2)
        length = n - start;
    if (length > n - start)
        return false;
    if (length == 0 && (!text || !*text))
        return true;  // nothing to record
    size_t from = 0, to = 0;
    patch *p = smart_string_undo_edit_patch(s->text, start, length, text, &from, &to);
    if (!p)
        return false;
    smart_string_undo_group_new(s, p, tags, from, to - from);
    return true;
}

bool smart_string_undo_record_edits(_SString *s, const stack *edits, uint64_t tags) {
    if (!s || !s->text || !edits)
        return false;
    patch *patches = nullptr;
    size_t first_start = 0, first_length = 0;
    size_t limit = s->text->length;  // each edit must lie before the one applied earlier
    for (size_t i = 0; i < edits->size; i++) {
        const heading_record *e = (const heading_record *)edits->element[i];
        if (!e || e->start > limit || e->length > limit - e->start) {
            dmp_patch_free(patches);
            return false;
        }
        limit = e->start;
        if (e->length == 0 && (!e->text || !*e->text))
            continue;
        size_t from = 0, to = 0;
        patch *p = smart_string_undo_edit_patch(s->text, e->start, e->length, e->text ? e->text : "", &from, &to);
        if (!p) {
            dmp_patch_free(patches);
            return false;
        }
        if (!patches) {
            first_start = from;
            first_length = to - from;
        }
        smart_string_undo_append_patch(&patches, p);
    }
    smart_string_undo_group_new(s, patches, tags, first_start, first_length);
    return true;
}

void smart_string_set_last_undo_tags(_SString *s, uint64_t tags) {
    if (s && s->undo_current)
        s->undo_current->tags = tags;
}

// ---- undo and redo ----

undo_group *smart_string_undo_target(_SString *s, uint64_t mask) {
    if (!s || !s->undo_current) {
        tzr_log("Smart String: Attempt to undo without a stack.\n");
        return nullptr;
    }
    mask = full_mask(mask);
    undo_group *c = s->undo_current;
    if (!linear(s))
        return c->previous && (c->tags & mask) ? c : nullptr;
    // Linear history: the newest group in reach that the mask allows and
    // that later edits have not overwritten. The first group is never undone.
    for (undo_group *g = c; g && g->previous; g = g->previous)
        if ((g->tags & mask) && !smart_string_undo_group_blocked(g))
            return g;
    return nullptr;
}

undo_group *smart_string_redo_target(_SString *s, uint64_t mask) {
    if (!s || !s->undo_current) {
        tzr_log("Smart String: Attempt to redo without a stack.\n");
        return nullptr;
    }
    mask = full_mask(mask);
    undo_group *next = s->undo_current->next;
    if (!linear(s))
        return next && (next->tags & mask) ? next : nullptr;
    // Linear history redoes an undo only while its inverse is the newest
    // group, so that dropping that inverse restores the text exactly.
    undo_group *last = smart_string_undo_last_group(s->undo_head);
    for (undo_group *g = next; g; g = g->next)
        if ((g->tags & mask) && g->inverted_by && g->inverted_by == last)
            return g;
    return nullptr;
}

bool smart_string_can_undo(_SString *s, uint64_t mask) { return smart_string_undo_target(s, mask) != nullptr; }
bool smart_string_can_redo(_SString *s, uint64_t mask) { return smart_string_redo_target(s, mask) != nullptr; }

bool smart_string_undo(_SString *s, size_t *start, size_t *old_length, size_t *new_length, uint64_t mask) {
    undo_group *t = smart_string_undo_target(s, mask);
    if (!t) {
        set_outputs(start, old_length, new_length, 0, 0, 0);
        return false;
    }
    bool blocked = false;
    long long delta = 0;
    patch *inv = linear(s) ? smart_string_undo_current_inverse(t, &blocked, &delta) : smart_string_undo_invert_patches(t->patches);
    size_t a = 0, b = 0, c = 0;
    smart_string_undo_apply_patches(s->text, inv, &a, &b, &c);
    set_outputs(start, old_length, new_length, a, b, c);
    size_t n = s->text->length;
    s->caret_start = shifted(t->edit_start, delta, n);
    s->caret_length = std::min(t->edit_length, n - s->caret_start);
    smart_string_refresh_derived(s);
    if (linear(s)) {
        undo_group *g = append_group(s, inv, t->tags | kInverseTag, shifted(t->caret_start, delta, n),
                                     t->caret_length);
        g->inverse_of = t;
        t->inverted_by = g;
    } else {
        dmp_patch_free(inv);
    }
    s->undo_current = t->previous;
    return true;
}

void smart_string_undo_apply_group(_SString *s, const undo_group *g, size_t *start, size_t *old_length,
                                   size_t *new_length) {
    if (!s || !g)
        return;
    smart_string_undo_apply_patches(s->text, g->patches, start, old_length, new_length);
    size_t n = s->text->length;
    s->caret_start = g->caret_start;
    s->caret_length = g->caret_length;
    if (s->caret_start != (size_t)-1 && s->caret_start > n)
        s->caret_start = n;
    if (s->caret_start != (size_t)-1 && s->caret_length != (size_t)-1)
        s->caret_length = std::min(s->caret_length, n - s->caret_start);
    smart_string_refresh_derived(s);
}

bool smart_string_redo(_SString *s, size_t *start, size_t *old_length, size_t *new_length, uint64_t mask) {
    undo_group *r = smart_string_redo_target(s, mask);
    if (!r) {
        set_outputs(start, old_length, new_length, 0, 0, 0);
        return false;
    }
    size_t a = 0, b = 0, c = 0;
    long long delta = 0;
    if (!linear(s)) {
        smart_string_undo_apply_group(s, r, &a, &b, &c);
        set_outputs(start, old_length, new_length, a, b, c);
        s->undo_current = r;
        return true;
    }
    {
        undo_group *inv = r->inverted_by;
        patch *again = smart_string_undo_invert_patches(inv->patches);
        smart_string_undo_apply_patches(s->text, again, &a, &b, &c);
        if (again && r->patches)
            delta = (long long)again->start1 - (long long)r->patches->start1;
        dmp_patch_free(again);
        r->inverted_by = nullptr;
        unlink_group(s, inv);
        smart_string_undo_group_free(inv);
    }
    set_outputs(start, old_length, new_length, a, b, c);
    size_t n = s->text->length;
    if (r->caret_start == (size_t)-1) {
        s->caret_start = r->caret_start;
        s->caret_length = r->caret_length;
    } else {
        s->caret_start = shifted(r->caret_start, delta, n);
        s->caret_length = r->caret_length == (size_t)-1 ? r->caret_length : std::min(r->caret_length, n - s->caret_start);
    }
    smart_string_refresh_derived(s);
    s->undo_current = r;
    return true;
}

// ---- description ----

char *smart_string_undo_stack_description(_SString *s) {
    string out;
    if (!s)
        return heap_string(out);
    for (undo_group *g = smart_string_undo_last_group(s->undo_head); g; g = g->previous) {
        out += g == s->undo_current ? "* " : "  ";
        out += smart_string_undo_group_blocked(g) ? "X " : "\xE2\x80\xA2 ";
        char *critic = smart_string_patches_to_critic(g->patches);
        string text = critic;
        free(critic);
        if (text.size() >= 61)
            text = text.substr(0, dmp_utf8_floor(text.data(), text.size(), 60)) + "...";
        out += text + " (" + std::to_string(g->tags) + ")[" + std::to_string(g->clock) + "]\n";
    }
    return heap_string(out);
}

// A debugging dump for a developer at a terminal, not a message for the log:
// it goes straight to standard error.
void smart_string_undo_stack_print(_SString *s) {
    char *description = smart_string_undo_stack_description(s);
    fprintf(stderr, "----\nstack:\n%s\n----\n", description);
    free(description);
}

#include "textengine/buffer/undo_group.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "library/diagnostics.h"
#include "textengine/heap_string.h"

using std::string;

// ---- groups and lists ----

undo_group *smart_string_undo_group_from_patches(patch *patches) {
    undo_group *g = (undo_group *)calloc(1, sizeof(undo_group));
    if (!g)
        tzr_fatal("Out of memory making an undo group.\n");
    g->patches = patches;
    g->time = (int64_t)::time(nullptr);
    g->clock = (int64_t)::clock();
    return g;
}

void smart_string_undo_group_free(undo_group *g) {
    if (!g)
        return;
    dmp_patch_free(g->patches);
    free(g);
}

void smart_string_undo_stack_free(undo_group *head) {
    while (head) {
        undo_group *next = head->next;
        smart_string_undo_group_free(head);
        head = next;
    }
}

patch *smart_string_undo_last_patch(patch **head) {
    if (!head || !*head)
        return nullptr;
    patch *p = *head;
    while (p->next)
        p = p->next;
    return p;
}

undo_group *smart_string_undo_last_group(undo_group *group) {
    while (group && group->next)
        group = group->next;
    return group;
}

void smart_string_undo_append_patch(patch **head, patch *p) {
    if (!head || !p)
        return;
    while (*head)
        head = &(*head)->next;
    *head = p;
}

patch *smart_string_undo_edit_patch(const DString *text, size_t start, size_t length,
                                    const char *new_text, size_t *from, size_t *to) {
    try {
        size_t ws = dmp_utf8_floor(text->str, text->length, start);
        size_t we = dmp_utf8_ceil(text->str, text->length, start + length);
        string old(text->str + ws, we - ws);
        string fresh = string(text->str + ws, start - ws) + (new_text ? new_text : "") +
                       string(text->str + start + length, we - start - length);
        size_t p = 0, sfx = 0;
        dmp_common_prefix_suffix(fresh.c_str(), old.c_str(), &p, &sfx);
        string old_mid = old.substr(p, old.size() - p - sfx);
        string new_mid = fresh.substr(p, fresh.size() - p - sfx);
        diff *diffs = nullptr;
        if (!old_mid.empty())
            dmp_diff_append(&diffs, dmp_diff_new(DMP_DELETE, old_mid.c_str()));
        if (new_text)
            dmp_diff_append(&diffs, dmp_diff_new(DMP_INSERT, new_mid.c_str()));
        *from = ws;
        *to = we;
        return dmp_patch_new(diffs, ws + p, ws + p, old_mid.size(), new_mid.size());
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void smart_string_undo_merge_patches(undo_group *g) {
    if (!g)
        return;
    patch *a = g->patches;
    while (a && a->next) {
        patch *b = a->next;
        if (b->start1 == a->start2 + a->length2) {
            // B goes on where A's new text ends.
            dmp_diff_append(&a->diffs, b->diffs);
        } else if (a->length2 == 0 && b->length2 == 0 && b->start1 + b->length1 == a->start2) {
            // B removes the text just before A, as Backspace does.
            dmp_diff_append(&b->diffs, a->diffs);
            a->diffs = b->diffs;
            a->start1 = b->start1;
            a->start2 = b->start2;
        } else {
            a = b;
            continue;
        }
        b->diffs = nullptr;
        a->length1 += b->length1;
        a->length2 += b->length2;
        a->next = b->next;
        b->next = nullptr;
        dmp_patch_free(b);
    }
}

// ---- inverses ----

diff *smart_string_undo_invert_diff(const diff *d) {
    if (!d)
        return nullptr;
    return dmp_diff_new(d->op == DMP_EQUAL ? DMP_EQUAL : 4 - d->op, d->text);
}

diff *smart_string_undo_invert_diffs(const diff *list) {
    diff *head = nullptr;
    for (; list; list = list->next)
        dmp_diff_append(&head, smart_string_undo_invert_diff(list));
    return head;
}

patch *smart_string_undo_invert_patch(const patch *p) {
    if (!p)
        return nullptr;
    return dmp_patch_new(smart_string_undo_invert_diffs(p->diffs), p->start2, p->start1, p->length2, p->length1);
}

patch *smart_string_undo_invert_patches(const patch *list) {
    patch *head = nullptr;
    for (; list; list = list->next) {
        patch *inv = smart_string_undo_invert_patch(list);
        inv->next = head;
        head = inv;
    }
    return head;
}

undo_group *smart_string_undo_group_invert(const undo_group *g) {
    if (!g)
        return nullptr;
    undo_group *inv = smart_string_undo_group_from_patches(smart_string_undo_invert_patches(g->patches));
    inv->tags = g->tags;
    inv->edit_start = g->caret_start;
    inv->edit_length = g->caret_length;
    inv->caret_start = g->edit_start;
    inv->caret_length = g->edit_length;
    return inv;
}

// ---- ranges past later edits ----

int smart_string_undo_shift_range_by_patch(size_t *start, size_t *end, const patch *p) {
    if (!start || !end || !p)
        return 1;
    if (*end > p->start1 && *start < p->start1 + p->length1)
        return 0;
    // An empty range where the patch's removal begins lies before it.
    if (*start >= p->start1 + p->length1) {
        *start = *start + p->length2 - p->length1;
        *end = *end + p->length2 - p->length1;
    }
    return 1;
}

int smart_string_undo_shift_range_by_patches(size_t *start, size_t *end, const patch *list) {
    for (; list; list = list->next)
        if (!smart_string_undo_shift_range_by_patch(start, end, list))
            return 0;
    return 1;
}

bool smart_string_undo_patch_blocked(const patch *p, const undo_group *later) {
    if (!p)
        return false;
    size_t s = p->start1, e = p->start1 + p->length2;
    for (; later; later = later->next)
        if (!smart_string_undo_shift_range_by_patches(&s, &e, later->patches))
            return true;
    return false;
}

bool smart_string_undo_group_blocked(const undo_group *g) {
    if (!g || !g->next || !g->patches)
        return false;
    bool blocked = false;
    long long delta = 0;
    dmp_patch_free(smart_string_undo_current_inverse(g, &blocked, &delta));
    return blocked;
}

patch *smart_string_undo_current_inverse(const undo_group *g, bool *blocked, long long *delta) {
    *blocked = false;
    *delta = 0;
    patch *inv = smart_string_undo_invert_patches(g->patches);
    // A group directly followed (once the pairs inside are gone) by its
    // inverse changes nothing; what is left is what the text went through.
    std::vector<const undo_group *> later;
    for (const undo_group *q = g->next; q; q = q->next) {
        if (!later.empty() && q->inverse_of == later.back())
            later.pop_back();
        else
            later.push_back(q);
    }
    bool any = false;
    for (const undo_group *q : later)
        any |= q->patches != nullptr;
    if (!any || !g->patches)
        return inv;
    // Several patches would each need moving past the others as well.
    if (g->patches->next) {
        dmp_patch_free(inv);
        *blocked = true;
        return nullptr;
    }
    size_t s = g->patches->start1, e = s + g->patches->length2;
    for (const undo_group *q : later) {
        if (!smart_string_undo_shift_range_by_patches(&s, &e, q->patches)) {
            dmp_patch_free(inv);
            *blocked = true;
            return nullptr;
        }
    }
    *delta = (long long)s - (long long)g->patches->start1;
    inv->start1 = inv->start2 = s;
    return inv;
}

// ---- applying ----

void smart_string_undo_apply_patch(DString *text, const patch *p, size_t *start, size_t *removed, size_t *inserted) {
    size_t rem = 0, ins = 0;
    size_t pos = p ? std::min(p->start1, text ? text->length : 0) : 0;
    if (start)
        *start = pos;
    for (const diff *d = p && text ? p->diffs : nullptr; d; d = d->next) {
        size_t n = dmp_diff_length(d);
        if (d->op == DMP_DELETE) {
            d_string_erase(text, pos, std::min(n, text->length - pos));
            rem += n;
        } else if (d->op == DMP_INSERT) {
            if (n)
                d_string_insert(text, pos, d->text);
            pos += n;
            ins += n;
        } else {
            pos = std::min(pos + n, text->length);
            rem += n;
            ins += n;
        }
    }
    if (removed)
        *removed = rem;
    if (inserted)
        *inserted = ins;
}

void smart_string_undo_apply_patches(DString *text, const patch *list, size_t *start, size_t *old_length,
                                     size_t *new_length) {
    long long d = 0, low = -1, high = -1;
    for (const patch *p = list; p; p = p->next) {
        size_t s = 0, rem = 0, ins = 0;
        smart_string_undo_apply_patch(text, p, &s, &rem, &ins);
        long long end = (long long)s + (long long)rem - d;
        if (low < 0 || (long long)s < low)
            low = (long long)s;
        if (high < 0 || end > high)
            high = end;
        d += (long long)ins - (long long)rem;
    }
    if (low < 0)
        low = high = 0;
    long long old_len = std::max(0LL, high - low);
    if (start)
        *start = (size_t)low;
    if (old_length)
        *old_length = (size_t)old_len;
    if (new_length)
        *new_length = (size_t)std::max(0LL, old_len + d);
}

// ---- CriticMarkup ----

char *smart_string_patch_to_critic(const patch *p) {
    string old_text, new_text;
    for (const diff *d = p ? p->diffs : nullptr; d; d = d->next) {
        const char *t = d->text ? d->text : "";
        if (d->op != DMP_INSERT)
            old_text += t;
        if (d->op != DMP_DELETE)
            new_text += t;
    }
    string out;
    if (!old_text.empty() && !new_text.empty())
        out = "{~~" + old_text + "~>" + new_text + "~~}";
    else if (!old_text.empty())
        out = "{--" + old_text + "--}";
    else if (!new_text.empty())
        out = "{++" + new_text + "++}";
    return heap_string(out);
}

char *smart_string_patches_to_critic(const patch *list) {
    string out;
    for (; list; list = list->next) {
        char *one = smart_string_patch_to_critic(list);
        out += one;
        free(one);
    }
    return heap_string(out);
}

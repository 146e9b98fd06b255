// Clean-up: the range preparation, the list routines, everything at once and
// the window's command. The text rewrites live in cleanup_text.cpp.
#include "textengine/transforms/cleanup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "textengine/buffer/offsets.h"

namespace {

constexpr int kMaxDepth = 1000;

bool is_list(unsigned short type) {
    return type >= BLOCK_LIST_BULLETED && type <= BLOCK_LIST_ENUMERATED_LOOSE;
}
bool is_item(unsigned short type) { return type == BLOCK_LIST_ITEM || type == BLOCK_LIST_ITEM_TEXT; }
bool is_marker(unsigned short type) {
    return type == MARKER_LIST_BULLET || type == MARKER_LIST_ENUMERATOR;
}
bool overlaps(const token *t, size_t start, size_t length) {
    return t->start < start + length && start < t->start + t->len;
}

void set_none(size_t *block_start, size_t *block_length, size_t *new_length, size_t *view_location,
              size_t *view_length) {
    *block_start = (size_t)-1;
    *block_length = *new_length = *view_location = *view_length = 0;
}

// Replaces `count` bytes at `at` with `text`; false when they are not all in
// the text.
bool replace_bytes(DString *d, long at, size_t count, const char *text) {
    if (at < 0 || (size_t)at > d->length || count > d->length - (size_t)at)
        return false;
    d_string_erase(d, (size_t)at, count);
    d_string_insert(d, (size_t)at, text);
    return true;
}

// The marker of a list item: its first child, or that child's first child
// when the item starts with its line; indentation ahead of the marker is
// passed over. NULL when that is not a bullet or number marker, so that no
// other text is ever taken for one.
token *item_marker(token *item) {
    token *first = item->child;
    if (first && (first->type == BLOCK_PARA || first->type == LINE_LIST_BULLETED ||
                  first->type == LINE_LIST_ENUMERATED))
        first = first->child;
    while (first && (first->type == INDENT_SPACE || first->type == NON_INDENT_SPACE))
        first = first->next;
    return first && is_marker(first->type) ? first : nullptr;
}

// One chain of siblings (or, with `single`, the first token alone). Items
// that start at or after `limit` (an offset of the text as parsed) are left
// alone, and so are their lists' later items.
void renumber_chain(tzr_engine *e, token *first, int mode, long *change, int depth, bool single,
                    size_t limit) {
    if (depth > kMaxDepth)
        return;
    DString *text = e->source;
    int counter = 0;
    char bullet = 0;
    for (token *t = first; t; t = single ? nullptr : t->next) {
        if (t->start >= limit)
            break;
        if (t->type == BLOCK_LIST_BULLETED || t->type == BLOCK_LIST_BULLETED_LOOSE) {
            renumber_chain(e, t->child, BLOCK_LIST_BULLETED, change, depth + 1, false, limit);
        } else if (t->type == BLOCK_LIST_ENUMERATED || t->type == BLOCK_LIST_ENUMERATED_LOOSE) {
            renumber_chain(e, t->child, BLOCK_LIST_ENUMERATED, change, depth + 1, false, limit);
        } else if (is_item(t->type)) {
            token *marker = item_marker(t);
            long at = marker ? (long)marker->start + *change : -1;
            if (marker && mode == BLOCK_LIST_ENUMERATED) {
                char number[32];
                snprintf(number, sizeof number, "%d.", ++counter);
                if (replace_bytes(text, at, marker->len, number))
                    *change += (long)strlen(number) - (long)marker->len;
            } else if (marker && mode == BLOCK_LIST_BULLETED && at >= 0 && (size_t)at < text->length) {
                if (!bullet) {
                    bullet = text->str[at];
                } else {
                    const char one[2] = {bullet, 0};
                    if (replace_bytes(text, at, marker->len, one))
                        *change += 1 - (long)marker->len;
                }
            }
            renumber_chain(e, t->child, 0, change, depth + 1, false, limit);
        } else if (t->child) {
            renumber_chain(e, t->child, 0, change, depth + 1, false, limit);
        }
    }
}

// The first list token of the tree that starts at `start`.
token *list_starting_at(token *t, size_t start, int depth) {
    for (; t && depth <= kMaxDepth; t = t->next) {
        if (t->start > start)
            break;
        if (is_list(t->type) && t->start == start)
            return t;
        if (t->start + t->len > start)
            if (token *found = list_starting_at(t->child, start, depth + 1))
                return found;
    }
    return nullptr;
}

void finish(tzr_engine *e) { tzr_engine_reset(e); }

size_t units_before(const char *text, size_t bytes) { return utf8_units_in_bytes(text, bytes); }

// Types 7, 8 and 9: edit the markers of the list that holds the start of
// the range, then number that list again.
void edit_list(tzr_engine *e, size_t start, size_t length, size_t *block_start, size_t *block_length,
               size_t *new_length, size_t *view_location, size_t *view_length, char bullet,
               const char *spacing) {
    token *root = nullptr, *first = nullptr, *last = nullptr;
    if (!cleanup_prepare_range(e, start, length, &root, &first, &last, block_start, block_length,
                               new_length, view_location, view_length)) {
        finish(e);
        return;
    }
    token *list = cleanup_find_list(first, start, length);
    if (!list) {
        *new_length = *block_length;
        finish(e);
        return;
    }
    size_t list_start = list->start;
    long marker_change = 0;
    if (spacing)
        cleanup_set_marker_spacing(list, e->source, spacing, &marker_change);
    else
        cleanup_toggle_list_markers(list, e->source, bullet, &marker_change);
    finish(e);

    // Number the same list again, and nothing else: the stretch now ends
    // `marker_change` bytes later, and a list that the new markers joined
    // to the next one is numbered only up to that end.
    size_t stretch = (size_t)((long)*block_length + marker_change);
    tzr_engine_parse_string(e);
    long renumber_change = 0;
    if (e->root)
        if (token *again = list_starting_at(e->root->child, list_start, 0))
            renumber_chain(e, again, 0, &renumber_change, 0, true, *block_start + stretch);
    finish(e);
    *new_length = (size_t)((long)stretch + renumber_change);
}

// The types that rewrite the blocks of the range as a whole: `edit(first,
// &change)` rewrites them and returns true, or sets the results itself and
// returns false; the new length follows from the bytes it added or removed.
template <typename Edit>
void edit_blocks(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                 size_t *block_length, size_t *new_length, size_t *view_location,
                 size_t *view_length, Edit edit) {
    token *root = nullptr, *first = nullptr, *last = nullptr;
    if (cleanup_prepare_range(e, start, length, &root, &first, &last, block_start, block_length,
                              new_length, view_location, view_length)) {
        long change = 0;
        if (edit(first, &change))
            *new_length = (size_t)((long)*block_length + change);
    }
    finish(e);
}

}  // namespace

bool cleanup_prepare_range(tzr_engine *e, size_t start, size_t length, token **root, token **first,
                           token **last, size_t *block_start, size_t *block_length,
                           size_t *new_length, size_t *view_location, size_t *view_length) {
    *root = *first = *last = nullptr;
    set_none(block_start, block_length, new_length, view_location, view_length);
    if (!e || !e->source)
        return false;
    tzr_engine_parse_string(e);
    if (!e->root)
        return false;
    *root = e->root;
    *first = token_first_child_in_range(e->root, start, length);
    *last = token_last_child_in_range(e->root, start, length);
    if (!*first || !*last)
        return false;
    const char *text = e->source->str;
    *block_start = (*first)->start;
    *block_length = (*last)->start + (*last)->len - *block_start;
    *view_location = units_before(text, *block_start);
    *view_length = utf8_units_between(text, *block_start, *block_start + *block_length, nullptr);
    // The walks stop at the last block in range.
    token *rest = (*last)->next;
    (*last)->next = nullptr;
    e->root->child->tail = *last;
    if (rest) {
        rest->prev = nullptr;
        token_tree_free(rest);
    }
    return true;
}

void cleanup_renumber_walk(tzr_engine *e, token *first, int list_mode, long *change) {
    if (!e || !e->source || !change)
        return;
    renumber_chain(e, first, list_mode, change, 0, false, (size_t)-1);
}

token *cleanup_find_list(token *t, size_t start, size_t length) {
    for (int depth = 0; t && depth <= kMaxDepth; depth++) {
        if (is_list(t->type)) {
            token *item = t->child;
            while (item && !(is_item(item->type) && overlaps(item, start, length)))
                item = item->next;
            if (!item)
                return nullptr;
            token *nested = nullptr;
            for (token *c = item->child; c && !nested; c = c->next)
                if (overlaps(c, start, length))
                    nested = cleanup_find_list(c, start, length);
            return nested ? nested : t;
        }
        // Any other block must hold the list.
        if (t->type != DOC_ROOT && t->type != BLOCK_BLOCKQUOTE)
            return nullptr;
        token *inner = t->child;
        while (inner && !overlaps(inner, start, length))
            inner = inner->next;
        t = inner;
    }
    return nullptr;
}

token *cleanup_find_list_marker(token *t) {
    // Depth first through the item's own line, never into a nested list.
    for (int depth = 0; t && depth <= kMaxDepth; depth++) {
        token *c = t->child;
        while (c && !is_marker(c->type) && !c->child)
            c = c->next;
        if (!c || is_list(c->type))
            return nullptr;
        if (is_marker(c->type))
            return c;
        t = c;
    }
    return nullptr;
}

void cleanup_toggle_list_markers(token *list, DString *text, char bullet, long *change) {
    if (!list || !text || !change)
        return;
    for (token *item = list->child; item; item = item->next) {
        token *marker = is_item(item->type) ? cleanup_find_list_marker(item) : nullptr;
        if (!marker || marker->len == 0)
            continue;
        long at = (long)marker->start + *change;
        if (at < 0 || (size_t)at + marker->len > text->length)
            continue;
        char c = text->str[at];
        if (c == '*' || c == '+' || c == '-') {
            replace_bytes(text, at, 1, "1.");
            *change += 1;
        } else {
            const char one[2] = {bullet, 0};
            replace_bytes(text, at, marker->len, one);
            *change += 1 - (long)marker->len;
        }
    }
}

void cleanup_set_marker_spacing(token *list, DString *text, const char *spacing, long *change) {
    if (!list || !text || !spacing || !spacing[0] || !change)
        return;
    for (token *item = list->child; item; item = item->next) {
        token *marker = is_item(item->type) ? cleanup_find_list_marker(item) : nullptr;
        if (!marker)
            continue;
        long after = (long)marker->start + *change + (long)marker->len;
        if (after < 0 || (size_t)after > text->length)
            continue;
        size_t count = 0;
        while ((size_t)after + count < text->length &&
               (text->str[after + count] == ' ' || text->str[after + count] == '\t'))
            count++;
        const char one[2] = {spacing[0], 0};
        replace_bytes(text, after, count, one);
        *change += 1 - (long)count;
    }
}

void cleanup_renumber_ordered_lists(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                                    size_t *block_length, size_t *new_length, size_t *view_location,
                                    size_t *view_length) {
    edit_blocks(e, start, length, block_start, block_length, new_length, view_location, view_length,
                [&](token *first, long *change) {
                    cleanup_renumber_walk(e, first, 0, change);
                    return true;
                });
}

void cleanup_list_markers(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                          size_t *block_length, size_t *new_length, size_t *view_location,
                          size_t *view_length, char bullet) {
    edit_list(e, start, length, block_start, block_length, new_length, view_location, view_length,
              bullet ? bullet : '*', nullptr);
}

void cleanup_list_marker_spacing(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                                 size_t *block_length, size_t *new_length, size_t *view_location,
                                 size_t *view_length, const char *spacing) {
    edit_list(e, start, length, block_start, block_length, new_length, view_location, view_length, 0,
              spacing && spacing[0] ? spacing : " ");
}

void cleanup_unwrap_paragraphs(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                               size_t *block_length, size_t *new_length, size_t *view_location,
                               size_t *view_length) {
    edit_blocks(e, start, length, block_start, block_length, new_length, view_location, view_length,
                [&](token *first, long *change) {
                    cleanup_unwrap_walk(e, first, change);
                    return true;
                });
}

void cleanup_metadata_block(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                            size_t *block_length, size_t *new_length, size_t *view_location,
                            size_t *view_length) {
    edit_blocks(e, start, length, block_start, block_length, new_length, view_location, view_length,
                [&](token *first, long *change) {
                    if (first->type != BLOCK_META) {
                        set_none(block_start, block_length, new_length, view_location, view_length);
                        return false;
                    }
                    cleanup_metadata_text(e, first, change);
                    return true;
                });
}

void cleanup_tables(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                    size_t *block_length, size_t *new_length, size_t *view_location,
                    size_t *view_length) {
    edit_blocks(e, start, length, block_start, block_length, new_length, view_location, view_length,
                [&](token *first, long *change) {
                    cleanup_tables_walk(e, first, change);
                    return true;
                });
}

void cleanup_all(tzr_engine *e, size_t start, size_t length, size_t *block_start,
                 size_t *block_length, size_t *new_length, size_t *view_location,
                 size_t *view_length) {
    cleanup_renumber_ordered_lists(e, start, length, block_start, block_length, new_length,
                                   view_location, view_length);
    if (*block_start == (size_t)-1)
        return;
    const size_t bs = *block_start, bl = *block_length, vl = *view_location, vlen = *view_length;
    size_t current = *new_length;
    size_t s = 0, l = 0, n = 0, u = 0, ul = 0;
    // Each step adds its own change; its stretch begins at the same block.
    auto follow = [&]() {
        if (s != (size_t)-1)
            current = (size_t)((long)current + (long)n - (long)l);
    };
    cleanup_unwrap_paragraphs(e, bs, current, &s, &l, &n, &u, &ul);
    follow();
    cleanup_metadata_block(e, bs, current, &s, &l, &n, &u, &ul);
    follow();
    cleanup_tables(e, bs, current, &s, &l, &n, &u, &ul);
    follow();
    cleanup_entities_to_ascii(e, bs, current, &current);
    cleanup_unicode_punctuation_to_ascii(e, bs, current, &current);
    *block_start = bs;
    *block_length = bl;
    *view_location = vl;
    *view_length = vlen;
    *new_length = current;
}

char *cleanup_core_range(const char *text, size_t unit_location, size_t unit_length, int type,
                         uint64_t extensions, unsigned short language, long list_marker,
                         size_t *view_location, size_t *view_length) {
    if (!text || !view_location || !view_length || type < 0 || type > 9)
        return nullptr;
    size_t byte_start = 0, byte_length = 0;
    utf8_unit_range_to_byte_range(text, unit_location, unit_length, &byte_start, &byte_length);
    // Whole lines.
    size_t total = strlen(text);
    size_t line_start = byte_start;
    while (line_start > 0 && text[line_start - 1] != '\n')
        line_start--;
    size_t line_end = byte_start + byte_length;
    if (byte_length == 0 || text[line_end - 1] != '\n') {
        while (line_end < total && text[line_end] != '\n')
            line_end++;
        if (line_end < total)
            line_end++;
    }
    byte_start = line_start;
    byte_length = line_end - line_start;

    tzr_engine *e = tzr_engine_create_with_string(text, extensions);
    if (!e)
        return nullptr;
    tzr_engine_set_language(e, language);
    size_t block_start = (size_t)-1, block_length = 0, new_length = 0, vl = 0, vlen = 0;
    const char bullets[] = {'*', '+', '-'};
    char bullet = list_marker >= 0 && list_marker <= 2 ? bullets[list_marker] : '*';
    switch (type) {
    case CLEANUP_RENUMBER:
        cleanup_renumber_ordered_lists(e, byte_start, byte_length, &block_start, &block_length,
                                       &new_length, &vl, &vlen);
        break;
    case CLEANUP_UNWRAP:
        cleanup_unwrap_paragraphs(e, byte_start, byte_length, &block_start, &block_length,
                                  &new_length, &vl, &vlen);
        break;
    case CLEANUP_ENTITIES:
    case CLEANUP_PUNCTUATION:
        block_start = byte_start;
        block_length = byte_length;
        utf8_byte_range_to_unit_range(text, &vl, &vlen, byte_start, byte_length);
        if (type == CLEANUP_ENTITIES)
            cleanup_entities_to_ascii(e, byte_start, byte_length, &new_length);
        else
            cleanup_unicode_punctuation_to_ascii(e, byte_start, byte_length, &new_length);
        break;
    case CLEANUP_METADATA:
        cleanup_metadata_block(e, byte_start, byte_length, &block_start, &block_length, &new_length,
                               &vl, &vlen);
        break;
    case CLEANUP_TABLES:
        cleanup_tables(e, byte_start, byte_length, &block_start, &block_length, &new_length, &vl,
                       &vlen);
        break;
    case CLEANUP_ALL:
        cleanup_all(e, byte_start, byte_length, &block_start, &block_length, &new_length, &vl, &vlen);
        break;
    case CLEANUP_LIST_MARKERS:
        cleanup_list_markers(e, byte_start, byte_length, &block_start, &block_length, &new_length,
                             &vl, &vlen, bullet);
        break;
    default:
        cleanup_list_marker_spacing(e, byte_start, byte_length, &block_start, &block_length,
                                    &new_length, &vl, &vlen, type == CLEANUP_MARKER_SPACE ? " " : "\t");
        break;
    }
    char *replacement = nullptr;
    if (block_start != (size_t)-1 && block_start <= e->source->length &&
        new_length <= e->source->length - block_start) {
        replacement = d_string_copy_substring(e->source, block_start, new_length);
        *view_location = vl;
        *view_length = vlen;
    }
    tzr_engine_free(e, true);
    return replacement;
}

#include "textengine/buffer/smart_string.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "textengine/typing/tst.h"
#include "textengine/buffer/undo_group.h"

// ---------------------------------------------------------------------------
// Byte -> unit offsets near the last edit

static void unit_anchor_reset(_SString *s) {
    s->unit_anchor_byte = 0;
    s->unit_anchor_units = 0;
    s->unit_anchor_text_length = s->text->length;
}

// UTF-16 offset of a byte offset of the current text (clamped to it), walked
// from the anchor or from the start, whichever is nearer; the anchor then
// moves there, so a run of edits near one place never walks the whole text.
static size_t units_at(_SString *s, size_t byte) {
    const char *text = s->text->str;
    size_t length = s->text->length;
    if (byte > length)
        byte = length;
    if (s->unit_anchor_text_length != length || s->unit_anchor_byte > length)
        unit_anchor_reset(s);
    size_t from = s->unit_anchor_byte;
    size_t units;
    if (byte >= from)
        units = s->unit_anchor_units + utf8_units_between(text, from, byte, nullptr);
    else if (byte < from - byte)
        units = utf8_units_between(text, 0, byte, nullptr);
    else
        units = s->unit_anchor_units - utf8_units_between(text, byte, from, nullptr);
    s->unit_anchor_byte = byte;
    s->unit_anchor_units = units;
    return units;
}

// ---------------------------------------------------------------------------
// Creation and freeing

_SString *smart_string_new_with_text(DString *text, uint64_t options) {
    if (!text)
        text = d_string_new("");
    if (!text)
        return nullptr;
    _SString *s = static_cast<_SString *>(calloc(1, sizeof(_SString)));
    if (!s) {
        d_string_free(text, true);
        return nullptr;
    }
    s->text = text;
    s->options = options;
    s->typing_run_start = -1;
    s->placeholder = strdup("%|");
    s->owned_blocks = stack_new(0);
    s->mirror = d_string_new("");
    if (!s->placeholder || !s->owned_blocks || !s->mirror) {
        free(s->placeholder);
        stack_free(s->owned_blocks);
        d_string_free(s->mirror, true);
        d_string_free(text, true);
        free(s);
        return nullptr;
    }
    s->remembered_selection_start = -1;
    unit_anchor_reset(s);
    if (options & SMART_STRING_UNDO)
        s->undo_head = s->undo_current = smart_string_undo_group_from_patches(nullptr);
    if (options & SMART_STRING_STATISTICS)
        smart_string_count_statistics(s);
    // The mirror is built whatever the options, so that switching it on
    // later starts from a mirror of the text.
    smart_string_rebuild_mirror(s);
    return s;
}

_SString *smart_string_new(const char *text, uint64_t options) {
    DString *d = d_string_new(text);
    if (!d)
        return nullptr;
    return smart_string_new_with_text(d, options);
}

void smart_string_free(_SString *s, bool free_text) {
    if (!s)
        return;
    d_string_free(s->text, free_text);
    d_string_free(s->mirror, true);
    free(s->spare_text);
    free(s->replaced_text);
    if (s->options & SMART_STRING_UNDO)
        smart_string_undo_stack_free(s->undo_head);
    // Change tokens go whatever the options: tracking may have been switched
    // off since it last scanned.
    token_tree_free(s->change_tokens);
    free(s->comment_template);
    tst_free(s->autocomplete);
    tst_free(s->expansions);
    free(s->placeholder);
    free(s->anchor_start_context);
    free(s->anchor_end_context);
    token_tree_free(s->highlight_tokens);
    if (s->owned_blocks) {
        for (size_t i = 0; i < s->owned_blocks->size; i++)
            free(s->owned_blocks->element[i]);
        stack_free(s->owned_blocks);
    }
    free(s);
}

void smart_string_set_options(_SString *s, uint64_t options) {
    if (!s)
        return;
    if (options & SMART_STRING_STATISTICS) {
        smart_string_count_statistics(s);
    } else {
        s->char_count = s->word_count = s->line_count = s->paragraph_count = 0;
    }
    // While the mirror was off, edits did not reach it.
    if ((options & SMART_STRING_MIRROR) && !(s->options & SMART_STRING_MIRROR))
        smart_string_rebuild_mirror(s);
    s->options = (s->options & kSmartStringFixedOptions) | (options & ~kSmartStringFixedOptions);
}

smart_string_change *smart_string_change_new(void) {
    return static_cast<smart_string_change *>(calloc(1, sizeof(smart_string_change)));
}

void smart_string_change_free(smart_string_change *change) {
    if (!change)
        return;
    if (change->results) {
        for (uint64_t i = 0; i < change->result_count; i++)
            free(change->results[i]);
        free(change->results);
    }
    free(change);
}

// ---------------------------------------------------------------------------
// Accessors

uint64_t smart_string_get_options(_SString *s) { return s ? s->options : 0; }
DString *smart_string_d_string(_SString *s) { return s ? s->text : nullptr; }
const char *smart_string_text(_SString *s) { return s ? s->text->str : nullptr; }
size_t smart_string_length(_SString *s) { return s ? s->text->length : 0; }
DString *smart_string_mirror_text(_SString *s) { return s ? s->mirror : nullptr; }

void smart_string_set_coalesce_level(_SString *s, uint32_t level) {
    if (s)
        s->coalesce_level = level;
}

void smart_string_set_caret(_SString *s, size_t start, size_t length) {
    if (!s)
        return;
    // A caret moved away from a fresh pair leaves its closer as ordinary text.
    if (start != s->caret_start || length != s->caret_length)
        s->pair_pending = 0;
    s->caret_start = start;
    s->caret_length = length;
}

bool smart_string_range_in_text(const _SString *s, size_t start, size_t length) {
    return s && start <= s->text->length && length <= s->text->length - start;
}

void smart_string_clamp_range(const _SString *s, size_t *start, size_t *length) {
    size_t text_length = s->text->length;
    if (*start > text_length)
        *start = text_length;
    if (*length > text_length - *start)
        *length = text_length - *start;
}

size_t smart_string_caret_start(_SString *s) { return s ? s->caret_start : (size_t)-1; }
size_t smart_string_caret_length(_SString *s) { return s ? s->caret_length : (size_t)-1; }

void smart_string_caret_unit_range(_SString *s, size_t *unit_start, size_t *unit_length) {
    size_t start = (size_t)-1, length = (size_t)-1;
    if (s) {
        size_t text_length = s->text->length;
        size_t cs = s->caret_start, cl = s->caret_length;
        if (cs != (size_t)-1 && cl != (size_t)-1 && cs <= text_length &&
            cl <= text_length - cs) {
            start = units_at(s, cs);
            length = utf8_units_between(s->text->str, cs, cs + cl, nullptr);
        }
    }
    if (unit_start)
        *unit_start = start;
    if (unit_length)
        *unit_length = length;
}

uint64_t smart_string_char_count(_SString *s) { return s ? s->char_count : 0; }
uint64_t smart_string_word_count(_SString *s) { return s ? s->word_count : 0; }
uint64_t smart_string_line_count(_SString *s) { return s ? s->line_count : 0; }
uint64_t smart_string_paragraph_count(_SString *s) { return s ? s->paragraph_count : 0; }

// ---------------------------------------------------------------------------
// Mirror text


static void mirror_insert_units(_SString *s, size_t unit_offset, const char *text) {
    if (!text || !*text)
        return;
    char *encoded = smart_string_mirror_encode(text);
    if (!encoded)
        return;
    d_string_insert(s->mirror, unit_offset, encoded);
    free(encoded);
}

void smart_string_mirror_insert(_SString *s, size_t byte_offset, const char *text) {
    if (!s)
        return;
    size_t length = 0;
    smart_string_clamp_range(s, &byte_offset, &length);
    mirror_insert_units(s, units_at(s, byte_offset), text);
}

void smart_string_mirror_erase(_SString *s, size_t byte_start, size_t byte_length) {
    if (!s)
        return;
    smart_string_clamp_range(s, &byte_start, &byte_length);
    size_t unit_start = units_at(s, byte_start);
    size_t unit_length =
        utf8_units_between(s->text->str, byte_start, byte_start + byte_length, nullptr);
    d_string_erase(s->mirror, unit_start, unit_length);
}

void smart_string_mirror_replace(_SString *s, size_t byte_start, size_t byte_length,
                                 const char *text) {
    if (!s)
        return;
    smart_string_clamp_range(s, &byte_start, &byte_length);
    smart_string_mirror_erase(s, byte_start, byte_length);
    mirror_insert_units(s, units_at(s, byte_start), text);
}

void smart_string_rebuild_mirror(_SString *s) {
    if (!s)
        return;
    d_string_erase(s->mirror, 0, (size_t)-1);
    smart_string_mirror_append(s->mirror, s->text->str, s->text->length);
}

void smart_string_refresh_derived(_SString *s) {
    if (!s)
        return;
    unit_anchor_reset(s);
    // Undo and redo put back text that no fresh pair belongs to.
    s->pair_pending = 0;
    if (s->options & SMART_STRING_STATISTICS)
        smart_string_count_statistics(s);
    if (s->options & SMART_STRING_MIRROR)
        smart_string_rebuild_mirror(s);
}

// ---------------------------------------------------------------------------
// Statistics

void smart_string_count_statistics(_SString *s) {
    if (!s)
        return;
    text_statistics(s->text->str, s->text->length, &s->char_count, &s->word_count,
                    &s->line_count, &s->paragraph_count);
}

// A count moved by (add - sub). Paragraphs are counted only approximately by
// the edit windows and must not wrap below zero.
static void shift_count(uint64_t *count, uint64_t add, uint64_t sub) {
    uint64_t raised = *count + add;
    *count = raised >= sub ? raised - sub : 0;
}

void smart_string_update_statistics(_SString *s, size_t start, size_t removed_length,
                                    const char *text) {
    if (!s)
        return;
    const size_t kContext = 5;
    size_t text_length = s->text->length;
    smart_string_clamp_range(s, &start, &removed_length);
    size_t end = start + removed_length;
    size_t window_start = start > kContext ? start - kContext : 0;
    size_t window_end = text_length - end > kContext ? end + kContext : text_length;

    const char *str = s->text->str;
    uint64_t old_c, old_w, old_l, old_p;
    text_statistics(str + window_start, window_end - window_start, &old_c, &old_w, &old_l,
                    &old_p);

    std::string window(str + window_start, start - window_start);
    if (text)
        window += text;
    window.append(str + end, window_end - end);
    uint64_t new_c, new_w, new_l, new_p;
    text_statistics(window.c_str(), window.size(), &new_c, &new_w, &new_l, &new_p);

    shift_count(&s->char_count, new_c, old_c);
    shift_count(&s->word_count, new_w, old_w);
    shift_count(&s->line_count, new_l, old_l);
    shift_count(&s->paragraph_count, new_p, old_p);
}

// ---------------------------------------------------------------------------
// Highlight store

void smart_string_set_highlight_tokens(_SString *s, token *chain, size_t base) {
    if (!s)
        return;
    if (chain != s->highlight_tokens)
        token_tree_free(s->highlight_tokens);
    s->highlight_tokens = chain;
    s->highlight_cursor = chain;
    s->highlight_base = base;
}

token *smart_string_take_highlight_tokens(_SString *s) {
    if (!s)
        return nullptr;
    token *chain = s->highlight_tokens;
    s->highlight_tokens = nullptr;
    s->highlight_cursor = nullptr;
    return chain;
}

size_t smart_string_highlight_base(_SString *s) { return s ? s->highlight_base : 0; }

static size_t token_end(const token *t) { return t->start + t->len; }

void smart_string_highlight_tokens_at(_SString *s, size_t start, size_t length, token **first,
                                      token **last) {
    if (!first || !last)
        return;
    *first = *last = nullptr;
    if (!s)
        return;

    token *found = nullptr;
    token *cursor = s->highlight_cursor;
    if (cursor) {
        if (cursor->start > start) {
            found = cursor->prev;
            while (found && found->start > start)
                found = found->prev;
        } else if (token_end(cursor) >= start) {
            found = cursor;
        } else {
            found = cursor->next;
            while (found && token_end(found) < start)
                found = found->next;
        }
    } else if (s->highlight_scan) {
        found = s->highlight_tokens;
        while (found && token_end(found) < start)
            found = found->next;
    }
    if (!found)
        return;
    *first = found;

    size_t end = length > SIZE_MAX - start ? SIZE_MAX : start + length;
    if (end < token_end(found)) {
        *last = found;
        return;
    }
    // One block beyond the one that reaches the end, so that an edit that
    // changes how the following block starts re-highlights it too.
    token *t = found->next;
    while (t && token_end(t) < end)
        t = t->next;
    if (t)
        *last = t->next ? t->next : t;
}

// ---------------------------------------------------------------------------
// Making an edit

void smart_string_make_edit(_SString *s, size_t start, size_t length, const char *text,
                            uint64_t options) {
    if (!s)
        return;
    if (!text)
        text = "";
    if (options & SMART_STRING_STATISTICS)
        smart_string_update_statistics(s, start, length, text);
    bool mirrored = false;
    if (options & SMART_STRING_MIRROR) {
        smart_string_mirror_replace(s, start, length, text);
        mirrored = true;
    }
    bool anchor_kept = s->unit_anchor_text_length == s->text->length &&
                       s->unit_anchor_byte <= start;
    d_string_erase(s->text, start, length);
    d_string_insert(s->text, start, text);
    if (mirrored && anchor_kept) {
        // mirror_replace left the anchor at `start`; step over the new text.
        size_t inserted = strlen(text);
        s->unit_anchor_units += utf8_units_between(s->text->str, s->unit_anchor_byte,
                                                   start + inserted, nullptr);
        s->unit_anchor_byte = start + inserted;
        s->unit_anchor_text_length = s->text->length;
    } else if (anchor_kept) {
        s->unit_anchor_text_length = s->text->length;
    } else {
        unit_anchor_reset(s);
    }
}

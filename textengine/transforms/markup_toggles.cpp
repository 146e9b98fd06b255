#include "textengine/transforms/markup_toggles.h"

#include <cstdlib>
#include <cstring>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0'; }
bool is_marker(char c) { return c == '*' || c == '_'; }

bool is_searched_block(unsigned short type) {
    return type == DOC_ROOT || type == BLOCK_BLOCKQUOTE ||
           (type >= BLOCK_LIST_BULLETED && type <= BLOCK_LIST_ITEM_TEXT) || type == BLOCK_TABLE ||
           type == BLOCK_TABLE_HEADER || type == BLOCK_TABLE_SECTION || type == TABLE_ROW;
}

bool overlaps(const token *t, size_t start, size_t length) {
    return t->start < start + length && start < t->start + t->len;
}

// A text range of `block` from `content` to the block's end, cut to the
// range and trimmed; NULL when nothing is left.
token *text_range(token *block, size_t content, const char *source, size_t start, size_t length,
                  bool heading) {
    size_t end = block->start + block->len;
    if (content > end)
        return nullptr;
    size_t s = 0, l = 0;
    range_intersection(content, end - content, start, length, &s, &l);
    if (s == (size_t)-1)
        return nullptr;
    while (l > 0 && is_blank(source[s])) {
        s++;
        l--;
    }
    while (l > 0 && is_blank(source[s + l - 1]))
        l--;
    if (heading) {
        while (l > 0 && source[s + l - 1] == '#')
            l--;
        while (l > 0 && is_blank(source[s + l - 1]))
            l--;
    }
    if (l == 0)
        return nullptr;
    token *r = token_new(block->type, s, l);
    if (r)
        r->child = block;
    return r;
}

}  // namespace

void range_intersection(size_t start1, size_t length1, size_t start2, size_t length2,
                        size_t *start, size_t *length) {
    size_t s = start1 > start2 ? start1 : start2;
    size_t e1 = start1 + length1, e2 = start2 + length2;
    size_t e = e1 < e2 ? e1 : e2;
    if (s < e) {
        *start = s;
        *length = e - s;
    } else {
        *start = (size_t)-1;
        *length = 0;
    }
}

void markup_range_adjust(DString *text, size_t *start, size_t *length, size_t *opening_count,
                         size_t *closing_count) {
    if (!text || !start || !length)
        return;
    const char *t = text->str;
    size_t n = text->length;
    size_t s = *start > n ? n : *start;
    size_t l = *length > n - s ? n - s : *length;
    while (l > 0 && is_blank(t[s])) {
        s++;
        l--;
    }
    while (l > 0 && is_blank(t[s + l - 1]))
        l--;
    while (s > 0 && is_marker(t[s - 1])) {
        s--;
        l++;
    }
    while (s + l < n && is_marker(t[s + l]))
        l++;
    size_t open = 0, close = 0;
    while (open < l && is_marker(t[s + open]))
        open++;
    while (close < l && is_marker(t[s + l - 1 - close]))
        close++;
    *start = s;
    *length = l;
    if (opening_count)
        *opening_count = open;
    if (closing_count)
        *closing_count = close;
}

static void collect(token *t, stack *ranges, const char *source, size_t start, size_t length,
                    int depth);

void markup_collect_text_ranges(token *t, stack *ranges, const char *source, size_t start,
                                size_t length) {
    if (ranges && source)
        collect(t, ranges, source, start, length, 0);
}

static void collect(token *t, stack *ranges, const char *source, size_t start, size_t length,
                    int depth) {
    if (depth > 1000)
        return;
    for (; t; t = t->next) {
        if (t->type > TABLE_CELL || !overlaps(t, start, length))
            continue;
        if (is_searched_block(t->type)) {
            collect(t->child, ranges, source, start, length, depth + 1);
        } else if (t->type == BLOCK_PARA || t->type == LINE_LIST_BULLETED ||
                   t->type == LINE_LIST_ENUMERATED || t->type == TABLE_CELL) {
            token *first = t->child;
            // An indented list line has its indentation ahead of the marker.
            while (first && (first->type == INDENT_SPACE || first->type == NON_INDENT_SPACE) && first->next)
                first = first->next;
            size_t content = first ? first->start : t->start;
            if (first && (first->type == MARKER_BLOCKQUOTE || first->type == MARKER_LIST_BULLET ||
                          first->type == MARKER_LIST_ENUMERATOR))
                content = first->start + first->len;
            if (token *r = text_range(t, content, source, start, length, false))
                stack_push(ranges, r);
        } else if (t->type >= BLOCK_H1 && t->type <= BLOCK_H6) {
            size_t content = t->child ? t->child->start + t->child->len : t->start;
            if (token *r = text_range(t, content, source, start, length, true))
                stack_push(ranges, r);
        }
    }
}

stack *markup_text_ranges(tzr_engine *e, size_t start, size_t length) {
    stack *ranges = stack_new(8);
    if (!e || !e->source)
        return ranges;
    tzr_engine_parse_string(e);
    if (e->root)
        markup_collect_text_ranges(e->root, ranges, e->source->str, start, length);
    return ranges;
}

void markup_text_ranges_free(stack *ranges) {
    if (!ranges)
        return;
    for (size_t i = 0; i < ranges->size; i++) {
        token *r = static_cast<token *>(ranges->element[i]);
        r->child = nullptr;  // the block belongs to the parse
        token_free(r);
    }
    stack_free(ranges);
}

void markup_erase_token(DString *text, token *t, long *change) {
    if (!text || !t || !change)
        return;
    long at = (long)t->start + *change;
    if (at < 0 || (size_t)at + t->len > text->length)
        return;
    d_string_erase(text, (size_t)at, t->len);
    *change -= (long)t->len;
}

// Erases `count` bytes at `at` (an offset of the source) in the result,
// which holds the source from `base` on as edited by `change`. Only bytes
// wholly inside the result are touched.
static bool erase_in_result(DString *text, size_t at, size_t count, size_t base, long change) {
    long pos = (long)at - (long)base + change;
    if (pos < 0 || (size_t)pos + count > text->length)
        return false;
    d_string_erase(text, (size_t)pos, count);
    return true;
}

static void strip_pairs(DString *text, token *first, unsigned short type, long *change, size_t base,
                        size_t length, int depth);

void markup_strip_pairs(DString *text, token *first, unsigned short type, long *change, size_t base,
                        size_t length) {
    if (text && change)
        strip_pairs(text, first, type, change, base, length, 0);
}

// Deeper than a parse can nest, a walk stops rather than run out of stack.
constexpr int kMaxDepth = 1000;

static void strip_pairs(DString *text, token *first, unsigned short type, long *change, size_t base,
                        size_t length, int depth) {
    if (depth > kMaxDepth)
        return;
    size_t n = type == PAIR_STRONG ? 2 : 1;
    for (token *t = first; t; t = t->next) {
        if (t->type == type) {
            if (!overlaps(t, base, length))
                continue;
            // A pair whose markers do not both lie in the range straddles
            // it: taking away one marker would unbalance the markup, and the
            // other marker's offset is not in the result at all.
            bool inside = t->len >= 2 * n && t->start >= base && t->start + t->len <= base + length;
            if (inside) {
                erase_in_result(text, t->start + t->len - n, n, base, *change);
                erase_in_result(text, t->start, n, base, *change);
                *change -= (long)n;
            }
            strip_pairs(text, t->child, type, change, base, length, depth + 1);
            if (inside)
                *change -= (long)n;
        } else if (t->child) {
            strip_pairs(text, t->child, type, change, base, length, depth + 1);
        }
    }
}

void markup_strip_strong(DString *text, token *block, size_t base, size_t length) {
    long change = 0;
    if (block)
        markup_strip_pairs(text, block->child, PAIR_STRONG, &change, base, length);
}

void markup_strip_emphasis(DString *text, token *block, size_t base, size_t length) {
    long change = 0;
    if (block)
        markup_strip_pairs(text, block->child, PAIR_EMPH, &change, base, length);
}

static char *take(DString *d) { return d_string_free(d, false); }

char *markup_toggle_on_range(tzr_engine *e, size_t *start, size_t *length, size_t *selection_start,
                             size_t *selection_length, const char *opener, const char *closer,
                             bool strong, bool emphasis) {
    DString *result = d_string_new("");
    if (!e || !e->source || !start || !length || !selection_start || !selection_length)
        return take(result);
    if (!opener)
        opener = "";
    if (!closer)
        closer = "";
    DString *source = e->source;
    // The range as passed, kept inside the text.
    size_t given_start = *start > source->length ? source->length : *start;
    size_t given_length = *length > source->length - given_start ? source->length - given_start : *length;
    *selection_start = given_start;
    *selection_length = given_length;

    size_t s = given_start, l = given_length, open = 0, close = 0;
    markup_range_adjust(source, &s, &l, &open, &close);
    size_t m = strlen(opener);
    if (open != 0 && open == close && l >= strlen(opener) + strlen(closer)) {
        bool only_markers = l == open && (open == 6 || open == 2 * m);
        bool wrapped = l > open && (open == 3 || open == m);
        if (only_markers || wrapped)
            opener = closer = "";
    }
    size_t lo = strlen(opener), lc = strlen(closer);
    const char *text = source->str;

    if (given_length == 0) {
        auto finish_empty = [&](size_t range_start, size_t range_length, size_t caret) {
            *start = range_start;
            *length = range_length;
            *selection_start = caret;
            *selection_length = 0;
            return take(result);
        };
        if (l == 0) {
            d_string_append(result, opener);
            d_string_append(result, closer);
            *start = s;
            *length = 0;
            *selection_start = s + lo;
            *selection_length = 0;
            return take(result);
        }
        if (s == given_start && (open == lc || open == 3))
            return finish_empty(s, 0, s + lc);
        if (l == 6 && strong)
            return finish_empty(s + 1, 4, s + 1);
        if (l == 6 && emphasis)
            return finish_empty(s + 2, 2, s + 2);
        if (l == 4 && strong)
            return finish_empty(s, 4, s);
        if (l == 2 && emphasis)
            return finish_empty(s, 2, s);
        if (l == 4 && emphasis) {
            s += 2;
            l = 0;
        } else if (l == 2 && strong) {
            s += 1;
            l = 0;
        }
    }

    stack *ranges = markup_text_ranges(e, s, l);
    text = source->str;
    d_string_append_c_array(result, text + s, l);
    if (l == 0) {
        d_string_append(result, opener);
        d_string_append(result, closer);
    } else if (ranges->size == 0) {
        // Nothing here can carry inline markup (code, raw blocks): markers
        // would become part of the code, so the text stays as it is.
        markup_text_ranges_free(ranges);
        *start = s;
        *length = l;
        *selection_start = given_start;
        *selection_length = given_length;
        return take(result);
    } else {
        for (size_t i = ranges->size; i-- > 0;) {
            token *r = static_cast<token *>(ranges->element[i]);
            d_string_insert(result, r->start + r->len - s, closer);
            long change = 0;
            if (strong)
                markup_strip_pairs(result, r->child->child, PAIR_STRONG, &change, s, l);
            change = 0;
            if (emphasis)
                markup_strip_pairs(result, r->child->child, PAIR_EMPH, &change, s, l);
            d_string_insert(result, r->start - s, opener);
        }
    }
    markup_text_ranges_free(ranges);
    *start = s;
    *length = l;
    *selection_start = s + lo;
    *selection_length = result->length - lo - lc;
    return take(result);
}

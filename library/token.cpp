#include "library/token.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "library/char.h"
#include "library/token_pool.h"

// Deeper subtrees are not dumped, so that a pathological tree cannot blow
// the stack of a debugging session.
static constexpr unsigned kDescribeDepthLimit = 1000;

token *token_new(unsigned short type, size_t start, size_t len) {
    return token_make(type, start, len);
}

token *token_copy(token *original) {
    if (!original)
        return nullptr;
    token *t = token_pool_take();
    if (t) {
        *t = *original;
        // The output record stays with the original.
        t->written = 0;
    }
    return t;
}

token *token_new_parent(token *child, unsigned short type) {
    if (!child)
        return token_new(type, 0, 0);
    token *last = child;
    while (last->next)
        last = last->next;
    token *t = token_new(type, child->start, last->start + last->len - child->start);
    if (!t)
        return nullptr;
    t->child = child;
    child->prev = nullptr;
    return t;
}

void token_chain_append(token *chain_start, token *t) {
    if (!chain_start || !t)
        return;
    token *last = chain_start->tail ? chain_start->tail : chain_start;
    last->next = t;
    t->prev = last;
    chain_start->tail = t->tail ? t->tail : t;
}

void token_append_child(token *parent, token *t) {
    if (!parent || !t)
        return;
    if (parent->child) {
        token_chain_append(parent->child, t);
    } else {
        parent->child = t;
        t->prev = nullptr;
    }
    token *last = parent->child->tail ? parent->child->tail : parent->child;
    parent->len = last->start + last->len - parent->start;
}

void token_unlink(token *t) {
    if (!t)
        return;
    if (t->prev)
        t->prev->next = t->next;
    if (t->next)
        t->next->prev = t->prev;
    t->next = nullptr;
    t->prev = nullptr;
    t->tail = t;
}

token *token_wrap_range(token *first, token *last, unsigned short type) {
    if (!first || !last)
        return first;
    token *after = last->next;
    token *copy = token_copy(first);
    if (!copy)
        return first;  // leaves the run unwrapped rather than losing it
    copy->prev = nullptr;
    copy->tail = (last == first) ? copy : last;
    if (copy->next)
        copy->next->prev = copy;

    token *run_last = (last == first) ? copy : last;
    first->child = copy;
    first->type = type;
    first->len = run_last->start + run_last->len - first->start;
    first->next = after;
    first->can_open = 0;
    first->can_close = 0;
    if (first->mate) {
        first->mate->mate = copy;
        first->mate = nullptr;
    }
    run_last->next = nullptr;
    if (after) {
        after->prev = first;
    } else {
        token *head = first;
        while (head->prev)
            head = head->prev;
        head->tail = first;
        first->tail = first;
    }
    return first;
}

void token_split(token *t, size_t start, size_t len, unsigned short new_type) {
    if (!t || start < t->start || len > t->len || start - t->start > t->len - len)
        return;
    size_t end = t->start + t->len;
    if (start == t->start) {
        if (start + len < end) {
            token *rest = token_new(t->type, start + len, end - (start + len));
            if (!rest)
                return;
            rest->next = t->next;
            if (rest->next)
                rest->next->prev = rest;
            rest->prev = t;
            t->next = rest;
        }
        t->len = len;
        t->type = new_type;
        return;
    }
    token *middle = token_new(new_type, start, len);
    if (!middle)
        return;
    token *after = t->next;
    if (start + len < end) {
        token *rest = token_new(t->type, start + len, end - (start + len));
        if (!rest) {
            token_pool_give_back(middle);
            return;
        }
        middle->next = rest;
        rest->prev = middle;
        rest->next = after;
        if (after)
            after->prev = rest;
    } else {
        middle->next = after;
        if (after)
            after->prev = middle;
    }
    middle->prev = t;
    t->next = middle;
    t->len = start - t->start;
}

void token_split_on_char(token *t, const char *source, const char c) {
    if (!t || !source)
        return;
    while (t) {
        size_t end = t->start + t->len;
        size_t split = 0;
        bool found = false;
        // A byte in the last position never splits.
        for (size_t i = t->start; i + 1 < end; i++) {
            if (source[i] == c) {
                split = i;
                found = true;
                break;
            }
        }
        if (!found)
            return;
        token *piece = token_new(t->type, split + 1, end - (split + 1));
        if (!piece)
            return;
        piece->next = t->next;
        if (piece->next)
            piece->next->prev = piece;
        piece->prev = t;
        t->next = piece;
        t->len = split - t->start;
        t = piece;
    }
}

void token_tree_free(token *t) {
    // Depth first, reading each token once: the siblings still to free wait
    // on a stack while a token's children go first. Linear time; the stack
    // grows on the heap, so a deep tree cannot overflow the call stack.
    // A tree of an arena goes with the arena's reset: walking it only to
    // queue its tokens for reuse would cost more time than they save memory.
    if (token_pool_in_arena(t))
        return;
    TokenReleaser released;
    // Kept between calls (one per thread): most trees freed are small.
    thread_local std::vector<token *> waiting;
    waiting.clear();
    while (t) {
        token *next = t->next;
        if (t->child) {
            if (next)
                waiting.push_back(next);
            next = t->child;
        }
        released.add(t);
        if (!next && !waiting.empty()) {
            next = waiting.back();
            waiting.pop_back();
        }
        t = next;
    }
}

void token_free(token *t) {
    if (!t)
        return;
    token *children = t->child;
    token_pool_give_back(t);
    // Most tokens freed alone are lines emptied of their tokens.
    if (children)
        token_tree_free(children);
}

void token_remove_first_child(token *parent) {
    if (!parent || !parent->child)
        return;
    token *first = parent->child;
    token *next = first->next;
    if (next) {
        next->prev = nullptr;
        next->tail = first->tail;
    }
    parent->child = next;
    token_free(first);
}

void token_remove_last_child(token *parent) {
    if (!parent || !parent->child)
        return;
    token *first = parent->child;
    token *last = first->tail ? first->tail : first;
    if (last == first) {
        parent->child = nullptr;
        token_free(first);
        return;
    }
    token *before = last->prev;
    before->next = nullptr;
    first->tail = before;
    token_free(last);
}

void token_chain_remove_last(token *chain_start) {
    if (!chain_start)
        return;
    token *last = chain_start->tail;
    if (!last || last == chain_start)
        return;
    token *before = last->prev;
    if (before)
        before->next = nullptr;
    chain_start->tail = before;
    token_free(last);
}

void token_remove_range(token *first, token *last) {
    if (!first || !last)
        return;
    token *before = first->prev;
    token *after = last->next;
    if (before)
        before->next = after;
    if (after)
        after->prev = before;
    last->next = nullptr;
    while (first) {
        token *next = first->next;
        token_free(first);
        first = next;
    }
}

token *token_child_at_offset(token *parent, size_t offset) {
    if (!parent || offset < parent->start || offset >= parent->start + parent->len)
        return nullptr;
    for (token *walker = parent->child; walker && walker->start <= offset; walker = walker->next) {
        if (offset < walker->start + walker->len)
            return walker;
    }
    return nullptr;
}

static bool outside(const token *parent, size_t start, size_t len) {
    return parent->start > start + len || parent->start + parent->len < start;
}

token *token_first_child_in_range(token *parent, size_t start, size_t len) {
    if (!parent || outside(parent, start, len))
        return nullptr;
    for (token *walker = parent->child; walker && walker->start <= start + len;
         walker = walker->next) {
        if (walker->start < start + len && walker->start + walker->len > start)
            return walker;
        if (walker->start > start)
            break;
    }
    return nullptr;
}

token *token_last_child_in_range(token *parent, size_t start, size_t len) {
    if (!parent || outside(parent, start, len))
        return nullptr;
    token *found = nullptr;
    for (token *walker = parent->child; walker && walker->start <= start + len;
         walker = walker->next) {
        if (walker->start < start + len && walker->start + walker->len > start)
            found = walker;
    }
    return found;
}

void token_trim_left_whitespace(token *t, const char *source) {
    if (!t || !source)
        return;
    while (t->len > 0 && char_is_whitespace_or_line_ending(source[t->start])) {
        t->start++;
        t->len--;
    }
}

void token_trim_right_whitespace(token *t, const char *source) {
    if (!t || !source)
        return;
    while (t->len > 0 && char_is_whitespace_or_line_ending(source[t->start + t->len - 1]))
        t->len--;
}

void token_trim_whitespace(token *t, const char *source) {
    token_trim_left_whitespace(t, source);
    token_trim_right_whitespace(t, source);
}

token *token_chain_accept(token **t, short type) {
    if (!t || !*t || (*t)->type != (uint16_t)type)
        return nullptr;
    token *accepted = *t;
    *t = accepted->next;
    return accepted;
}

token *token_chain_accept_multiple(token **t, int n, ...) {
    if (!t || !*t || n < 1)
        return nullptr;
    va_list types;
    va_start(types, n);
    bool match = false;
    for (int i = 0; i < n; i++) {
        if ((*t)->type == (uint16_t)va_arg(types, int)) {
            match = true;
            break;
        }
    }
    va_end(types);
    if (!match)
        return nullptr;
    token *accepted = *t;
    *t = accepted->next;
    return accepted;
}

void token_skip_until_type(token **t, short type) {
    if (!t)
        return;
    while (*t && (*t)->type != (uint16_t)type)
        *t = (*t)->next;
}

void token_skip_until_type_multiple(token **t, int n, ...) {
    if (!t)
        return;
    if (n < 1) {
        *t = nullptr;
        return;
    }
    int types[32];
    int count = n < 32 ? n : 32;
    va_list args;
    va_start(args, n);
    for (int i = 0; i < count; i++)
        types[i] = va_arg(args, int);
    va_end(args);
    for (; *t; *t = (*t)->next) {
        for (int i = 0; i < count; i++) {
            if ((*t)->type == (uint16_t)types[i])
                return;
        }
    }
}

void token_describe(token *t, unsigned short depth, const char *source) {
    if (!t)
        return;
    for (unsigned short i = 0; i < depth; i++)
        fputc('\t', stderr);
    if (source) {
        fprintf(stderr, "* (%d) %lu:%lu\t'%.*s'\n", t->type, (unsigned long)t->start,
                (unsigned long)t->len, (int)t->len, source + t->start);
    } else {
        fprintf(stderr, "* (%d) %lu:%lu\n", t->type, (unsigned long)t->start,
                (unsigned long)t->len);
    }
    if (t->child && depth < kDescribeDepthLimit)
        token_chain_describe_at_depth(t->child, depth + 1, source);
}

void token_chain_describe_at_depth(token *t, unsigned short depth, const char *source) {
    for (; t; t = t->next)
        token_describe(t, depth, source);
}

void token_tree_describe(token *t, const char *source) { token_describe(t, 0, source); }

void token_chain_describe(token *t, const char *source) {
    fprintf(stderr, "=====>\n");
    token_chain_describe_at_depth(t, 0, source);
    fprintf(stderr, "<=====\n");
}

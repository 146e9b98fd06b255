// What the writers (HTML, OpenDocument, LaTeX and its variants) share.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "library/d_string.h"
#include "library/export_context.h"
#include "library/labels.h"
#include "library/notes.h"
#include "library/stack.h"
#include "library/token.h"
#include "library/tzr.h"
#include "library/writers/writer_tables.h"

namespace writer_utils {

// Writers do not descend at this depth.
constexpr uint16_t kMaxDepth = 1000;

// Writes each token of a chain with `write`, passing over the siblings that
// an earlier token claimed through the context's skip counter.
template <typename Write>
void walk_chain(DString *out, const char *source, token *t, tzr_export_context *c, Write write) {
    for (; t; t = t->next) {
        if (c->skip_count > 0) {
            c->skip_count--;
            continue;
        }
        // The tree is written long after it was built, from memory the
        // cache has long lost. Its tokens lie mostly in creation order, so
        // asking for the memory a page ahead keeps the next tokens coming;
        // the hardware's own prefetch stops at each page.
        __builtin_prefetch(reinterpret_cast<const char *>(t) + 4096);
        write(out, source, t, c);
    }
}

// How a writer writes bytes of the source as plain text (escaped as its
// format needs).
using text_writer = void (*)(DString *out, const char *bytes, size_t len);

// The chain from `t` on and everything below it as the text of the source
// it covers, leaf by leaf, with no markup: what a writer still writes of a
// tree that nests deeper than it descends. A loop with a list of its own,
// so that any depth costs no stack.
void write_chain_as_text(DString *out, const char *source, token *t, text_writer text);

// The same as walk_chain, one writer level deeper. At kMaxDepth the writer
// descends no further: the chain comes out as its text.
template <typename Write>
void walk_chain_bounded(DString *out, const char *source, token *t, tzr_export_context *c,
                        Write write, text_writer text) {
    if (!out || !source || !c)
        return;
    if (c->walk_depth >= kMaxDepth) {
        write_chain_as_text(out, source, t, text);
        return;
    }
    c->walk_depth++;
    walk_chain(out, source, t, c, write);
    c->walk_depth--;
}

// A quotation mark as a character reference (kDoubleOpen ... kSingleClose)
// in the context's quotes language.
inline const char *quote(const tzr_export_context *c, int which) {
    return kEntityQuotes[c->quotes_language < 7 ? c->quotes_language : 0][which];
}

inline bool smart(const tzr_export_context *c) { return c->ext_flags & TZR_EXT_SMART; }

// A number in decimal, as "%d" writes it. Note numbers go into every
// reference and back link; a format pass for each costs more than the rest
// of the link.
inline void append_int(DString *out, long value) {
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    unsigned long magnitude = value < 0 ? 0UL - (unsigned long)value : (unsigned long)value;
    do {
        *--p = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *--p = '-';
    d_string_append_c_array(out, p, (size_t)(end - p));
}

// An opening mark: paired, and before its mate.
inline bool is_opening(const token *t) { return t->mate && t->start < t->mate->start; }

// Whether an image stands alone in its paragraph: first of its chain,
// followed at most by its destination, a line end and a closing hard break.
inline bool image_is_figure(const token *t) {
    if (t->prev)
        return false;
    const token *n = t->next;
    if (n && (n->type == PAIR_PAREN || n->type == PAIR_BRACKET))
        n = n->next;
    if (n && n->type == NEWLINE)
        n = n->next;
    if (n && n->type == HARD_BREAK && !n->next)
        n = nullptr;
    return n == nullptr;
}

// Resolves the link or image a bracket makes and hands it to `write`, then
// passes over the tokens the link took up. False, with nothing written, when
// the bracket makes none.
template <typename Write>
bool export_bracket_link(const char *source, tzr_export_context *c, token *bracket, Write write) {
    tzr_link *link = nullptr;
    uint16_t skip = 0;
    bool made = false;
    tzr_link_from_bracket(source, c, bracket, &link, &skip, &made);
    if (!link)
        return false;
    write(link);
    if (made)
        tzr_link_free(link);
    c->skip_count = skip;
    return true;
}

// A link bracket whose opener is two bytes (a note opener such as "[^" read
// as a plain bracket): the second byte goes back to the text after it.
inline void widen_link_text(token *bracket) {
    token *open = bracket->child;
    if (open && open->len >= 2 && open->next) {
        open->next->start--;
        open->next->len++;
    }
}

// Where a list marker's text ends in preformatted text: after the marker and
// the blanks that follow it, never past the next token.
inline size_t marker_end(const char *source, const token *t) {
    size_t limit = t->next ? t->next->start : (size_t)-1;
    size_t end = t->start + t->len;
    while (end < limit && (source[end] == ' ' || source[end] == '\t'))
        end++;
    return end;
}

// Retypes a pair's opening mark and its mate CONSUMED.
inline void consume_pair_marks(token *pair) {
    if (!pair || !pair->child)
        return;
    if (pair->child->mate)
        pair->child->mate->type = CONSUMED;
    pair->child->type = CONSUMED;
}

// Drops a code span's padding: a space, indent or line-end token next to a
// backtick run is consumed, blanks at the outer ends of its text are cut.
inline void trim_code_span(const char *source, token *span) {
    auto is_space = [](const token *t) {
        return (t->type >= INDENT_TAB && t->type <= NON_INDENT_SPACE) || t->type == NEWLINE;
    };
    auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
    token *open = span->child;
    token *close = open ? open->mate : nullptr;
    if (open && open->next && open->next != close) {
        token *first = open->next;
        if (is_space(first)) {
            first->type = CONSUMED;
        } else if (first->type == TEXT) {
            while (first->len > 0 && is_blank(source[first->start])) {
                first->start++;
                first->len--;
            }
        }
    }
    if (close && close->prev && close->prev != open) {
        token *last = close->prev;
        if (is_space(last)) {
            last->type = CONSUMED;
        } else if (last->type == TEXT) {
            while (last->len > 0 && is_blank(source[last->start + last->len - 1]))
                last->len--;
        }
    }
}

// A code span followed by a raw-format marker: the source between its
// backtick runs as written when the marker names `format`, else nothing; the
// marker is passed over. False, nothing done, for a plain code span.
inline bool export_raw_code_span(DString *out, const char *source, token *span,
                                 tzr_export_context *c, int16_t format) {
    token *open = span->child;
    if (!open || !span->next || span->next->type != PAIR_RAW_FILTER)
        return false;
    token *close = open->mate;
    if (close && tzr_raw_block_matches_format(span->next, source, format)) {
        size_t from = open->start + open->len;
        if (close->start > from)
            d_string_append_c_array(out, source + from, close->start - from);
    }
    consume_pair_marks(span);
    c->skip_count = 1;
    return true;
}

// A note bracket that names no note, written as its source: `mark`, the
// tokens after the opening mark (through `chain`), "]".
template <typename Chain>
void write_unresolved_bracket(DString *out, const char *source, token *bracket,
                              tzr_export_context *c, const char *mark, Chain chain) {
    d_string_append(out, mark);
    if (bracket->child && bracket->child->next)
        chain(out, source, bracket->child->next, c);
    d_string_append(out, "]");
}

// The metadata value a variable pair names; NULL when there is none.
inline const char *variable_value(const char *source, const token *pair,
                                  const tzr_export_context *c) {
    char *key = tzr_text_inside_pair(source, pair);
    const char *value = key ? tzr_meta_value_for_key(c, key) : nullptr;
    free(key);
    return value;
}

// The note a number (1 up) names on a used-notes list; NULL for none.
inline tzr_note *used_note(stack *used, uint16_t number) {
    if (number == TZR_NO_NOTE || number == 0)
        return nullptr;
    return static_cast<tzr_note *>(stack_peek_index(used, number - 1));
}

// What the LaTeX and OpenDocument writers make of a CriticMarkup pair under
// the export's flags: whether its marks are consumed, and whether the pair
// writes nothing, its children, or its children wrapped in the format's
// markup for the kind of change.
enum class critic_write : uint8_t { nothing, children, wrapped };
enum critic_wrap : uint8_t { kCriticAdded, kCriticDeleted, kCriticComment, kCriticHighlight };
struct critic_step {
    bool consume_marks;
    critic_write write;
    critic_wrap wrap = kCriticAdded;
};
critic_step critic_step_for(const token *pair, uint64_t flags);

}  // namespace writer_utils

#include "window/bridge/scroll_anchor.h"

#include <algorithm>

#include "library/engine.h"
#include "textengine/buffer/offsets.h"
#include "library/token.h"

const char kScrollAnchor[] =
    "<a id=\"TZRHTMLSCROLLPOINT\" style=\"font-size:0px;position:absolute;left:10px;\">.</a>";

namespace {

// The HTML writer records where each token it writes begins and how much it
// wrote; a token it never reached (the metadata's lines, the text of code,
// math and rules, which it prints as they stand) has no record, and its
// parent's end is the nearest place known. A record of 0 and 0 below the
// top counts as none: only among the blocks at the top does the writer
// reach every one, and one that writes nothing before anything else stands
// at 0.
bool reachedByWriter(const token *t) {
    if (!t->written)
        return false;
    const token_output_span *span = token_output(t);
    return span->start != 0 || span->len != 0;
}

// Where the writer's output for a token ends; 0 for a token it never reached.
size_t outputEnd(const token *t) {
    if (!t->written)
        return 0;
    const token_output_span *span = token_output(t);
    return size_t(span->start) + span->len;
}

}  // namespace

token *deepestChildOfToken(token *t, size_t offset) {
    // A loop rather than recursion: trees nest up to the library's depth
    // limit.
    for (bool top = true; t; top = false) {
        token *child = token_child_at_offset(t, offset);
        if (!child)
            return t;
        if (child->type == BLOCK_EMPTY) {
            while (child->type == BLOCK_EMPTY && child->prev)
                child = child->prev;
            offset = child->len ? child->start + child->len - 1 : child->start;
        }
        if (!top && !reachedByWriter(child))
            return t;
        if (!child->child)
            return child;
        t = child;
    }
    return t;
}

std::optional<size_t> htmlOffsetForTextCharOffset(tzr_engine *e, std::optional<size_t> location) {
    if (!location)
        return std::nullopt;
    token *root = e ? e->root : nullptr;
    if (!root || !e->source)
        return size_t(-1);
    size_t byte = utf8_unit_offset_to_byte_offset(e->source->str, *location);
    byte = std::min(byte, (size_t)root->len);
    if (byte > 0)
        byte--;
    const token *under = deepestChildOfToken(root, byte);
    return under ? outputEnd(under) : 0;
}

void insertScrollAnchor(DString *html, std::optional<size_t> offset) {
    if (!html || !offset)
        return;
    d_string_insert(html, std::min(*offset, html->length), kScrollAnchor);
}

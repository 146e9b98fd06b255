#include "window/scroll_anchor.h"

#include <algorithm>

#include "engine.h"
#include "offsets.h"
#include "token.h"

const char kScrollAnchor[] =
    "<a id=\"TZRHTMLSCROLLPOINT\" style=\"font-size:0px;position:absolute;left:10px;\">.</a>";

token *deepestChildOfToken(token *t, size_t offset) {
    // A loop rather than recursion: trees nest up to the library's depth
    // limit.
    while (t) {
        token *child = token_child_at_offset(t, offset);
        if (!child)
            return t;
        if (child->type == BLOCK_EMPTY) {
            while (child->type == BLOCK_EMPTY && child->prev)
                child = child->prev;
            offset = child->len ? child->start + child->len - 1 : child->start;
        }
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
    byte = std::min(byte, root->len);
    if (byte > 0)
        byte--;
    const token *under = deepestChildOfToken(root, byte);
    return under ? under->out_start + under->out_len : 0;
}

void insertScrollAnchor(DString *html, std::optional<size_t> offset) {
    if (!html || !offset)
        return;
    d_string_insert(html, std::min(*offset, html->length), kScrollAnchor);
}

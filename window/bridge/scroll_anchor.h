// Where the preview's scroll anchor goes: a zero-size link with the id
// "TZRHTMLSCROLLPOINT", put right after the HTML written for the innermost
// token that holds the byte before the caret, so that the preview can bring
// the caret's block into view.
#pragma once

#include <cstddef>
#include <optional>

struct DString;
struct token;
struct tzr_engine;

extern const char kScrollAnchor[];

// The innermost token under the root `t` whose span holds the byte `offset`
// and whose HTML the writer recorded (text it printed as it stands, such as
// a code block's, gives its enclosing token); a blank-line block steps back
// to the block before it (its last byte). `t` itself when no child holds the
// offset.
token *deepestChildOfToken(token *t, size_t offset);

// Where in the HTML of the engine's last export the anchor goes for a caret
// at `location` (UTF-16 units of the engine's source): nothing for no
// location, (size_t)-1 (the end) without a parse tree. The engine must hold
// the tree and HTML offsets of its last HTML export.
std::optional<size_t> htmlOffsetForTextCharOffset(tzr_engine *e, std::optional<size_t> location);

// Inserts the anchor at `offset` (clamped to the HTML); nothing for none.
void insertScrollAnchor(DString *html, std::optional<size_t> offset);

// The token: node of every document tree. A token never holds text; it names
// a byte range of the source its engine owns, so operations that look at
// text take the source as an extra argument.
//
// Offsets and lengths are 32-bit: a parse makes about one token for every
// three bytes of its source, so the token's size is most of a parse's
// memory. Sources of 4 GiB or more are refused by the tokenizer
// (kTokenOffsetLimit); the HTML writer records output offsets beyond that
// as the limit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/token_types.h"

struct token {
    uint16_t type;
    int16_t can_open;   // may open a pair (1 at creation)
    int16_t can_close;  // may close a pair (1 at creation)
    int16_t unmatched;  // 1 while the token has no mate
    uint32_t start;     // byte offset in the source
    uint32_t len;       // byte length in the source
    uint32_t out_start;  // where the HTML writer's output for it began
    uint32_t out_len;    // how much the HTML writer wrote for it
    token *next;
    token *prev;
    token *child;       // head of the children's chain
    token *tail;        // last token of the chain; kept only on a chain's head
    token *mate;        // pair partner (not owned)
};

// The largest offset a token can hold: sources this long or longer are not
// parsed.
constexpr size_t kTokenOffsetLimit = UINT32_MAX;

// Creation and copying
token *token_new(unsigned short type, size_t start, size_t len);
token *token_copy(token *original);
token *token_new_parent(token *child, unsigned short type);

// Linking
void token_chain_append(token *chain_start, token *t);
void token_append_child(token *parent, token *t);
void token_unlink(token *t);
token *token_wrap_range(token *first, token *last, unsigned short type);
void token_split(token *t, size_t start, size_t len, unsigned short new_type);
void token_split_on_char(token *t, const char *source, const char c);

// Removal and freeing (iterative: deep or long trees cannot overflow the stack)
void token_free(token *t);
void token_tree_free(token *t);
void token_remove_first_child(token *parent);
void token_remove_last_child(token *parent);
void token_chain_remove_last(token *chain_start);
void token_remove_range(token *first, token *last);

// Searching
token *token_child_at_offset(token *parent, size_t offset);
token *token_first_child_in_range(token *parent, size_t start, size_t len);
token *token_last_child_in_range(token *parent, size_t start, size_t len);

// Whitespace trimming (space, tab, NUL, LF, CR)
void token_trim_left_whitespace(token *t, const char *source);
void token_trim_right_whitespace(token *t, const char *source);
void token_trim_whitespace(token *t, const char *source);

// Cursor operations: the cursor is the caller's token pointer, walked along next.
token *token_chain_accept(token **t, short type);
token *token_chain_accept_multiple(token **t, int n, ...);
void token_skip_until_type(token **t, short type);
void token_skip_until_type_multiple(token **t, int n, ...);

// Debug dumps of a token tree, one line per token, indented by depth. They are
// written straight to standard error, not through the log handler: a
// developer asks for them, they run to many lines, and they are not reports.
void token_describe(token *t, unsigned short depth, const char *source);
void token_chain_describe_at_depth(token *t, unsigned short depth, const char *source);
void token_tree_describe(token *t, const char *source);
void token_chain_describe(token *t, const char *source);

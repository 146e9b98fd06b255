// Where tokens live. A parse makes millions of small tokens and frees them
// all together, so tokens are carved one after another from large aligned
// slabs instead of being asked of malloc one by one: making a token is a
// bump of an index, neighbours in a tree sit next to each other in memory,
// and freeing a tree only counts tokens down, a slab going back to the pool
// when its last token is freed (on whichever thread frees it). The tree of
// an engine's whole parse is carved from the engine's own arena instead,
// and goes with it in one step (token_arena below).
//
// Every slab lies in one range of addresses reserved for the whole process
// with its first token, so that a link between tokens fits in 32 bits
// (token.h). The range costs no memory until a slab is opened in it; a few
// empty slabs are kept for the next parse, and the pages of the others go
// back to the system while their place in the range waits for reuse. When
// the process may not reserve the full range, a smaller one is taken; when
// it is full, no token can be made and the parse fails as it does when
// memory is exhausted.
//
// Under AddressSanitizer every token is its own malloc block again, so that
// a token used after it was freed is still reported.
#pragma once

#include <cstddef>

#include "library/token.h"

#ifdef TOKEN_POOL_MALLOC
// A new uninitialised token, or NULL when memory is exhausted.
token *token_pool_take();
#else
namespace token_pool_detail {
// The next token of this thread's slab and the end of that slab; both NULL
// before the first token and inside a fresh scratch.
struct Carving {
    token *next;
    token *end;
};
extern thread_local constinit Carving carving;
token *take_from_new_slab();
}  // namespace token_pool_detail

// A new uninitialised token, or NULL when memory is exhausted. Making a
// token is the commonest step of a parse, so the usual case is inline.
inline token *token_pool_take() {
    token_pool_detail::Carving &c = token_pool_detail::carving;
    if (c.next != c.end)
        return c.next++;
    return token_pool_detail::take_from_new_slab();
}
#endif

// A new token as token_new makes it (flags set, no links but its tail,
// which is itself), or NULL when memory is exhausted: inline, for the
// tokenizer's innermost loop.
inline token *token_make(unsigned short type, size_t start, size_t len) {
    token *t = token_pool_take();
    if (!t)
        return nullptr;
    *t = token{};
    t->type = type;
    t->can_open = 1;
    t->can_close = 1;
    t->unmatched = 1;
    t->start = static_cast<uint32_t>(start);
    t->len = static_cast<uint32_t>(len);
    t->tail = t;
    return t;
}

// Gives tokens back. A release of several tokens at once is cheaper; the
// tokens must not be read after they were given back.
void token_pool_give_back(token *t);

// Whether the token was carved in an arena or scratch, whose reset or end
// forgets its whole tree at once (so freeing the tree can be skipped).
bool token_pool_in_arena(const token *t);

// While a scratch lives on a thread, every token that thread makes is carved
// from slabs of the scratch's own, released whole when the scratch ends;
// freeing those tokens one by one only lets the scratch carve them again,
// as an arena does (below). For work whose tokens never outlive it, such as
// a conversion from text to text that makes and frees its engine inside the
// scratch. Tokens made before it must not be linked into trees made inside
// it. Scratches do not nest: an inner one does nothing.
class TokenScratch {
public:
    TokenScratch();
    ~TokenScratch();
    TokenScratch(const TokenScratch &) = delete;
    TokenScratch &operator=(const TokenScratch &) = delete;

private:
    bool active_ = false;
    void *saved_slab_ = nullptr;
#ifndef TOKEN_POOL_MALLOC
    token_pool_detail::Carving saved_carving_ = {};
#endif
};

// A token arena: the slabs of one engine's document tree. While a
// TokenArenaScope over it lives on a thread, every token that thread makes is
// carved from the arena. A token of the arena given back by itself
// (token_free, token_pool_give_back) while the arena carves is carved again
// before any fresh slab space: a parse frees a tenth of the tokens it makes,
// most of them one by one (the single marks strong emphasis pairs up, for
// one). One freed at any other time, or in a whole tree, is left where it
// is. The token's own bytes hold the list of freed tokens, so this costs no
// memory. token_arena_reset forgets all the tokens at once, freed or not, in
// time proportional to the arena's slabs, keeping the slabs for the next
// tree (an editor parses the same document again on every pause in typing,
// and the pages it reuses need no faulting in). An arena is used by one
// thread at a time; it may be reset and freed on another thread than the
// one that carved it. Tokens of an
// arena must not be kept or linked into other trees past its reset, and
// tokens made outside it must not be linked into its trees (they would never
// be freed). Under AddressSanitizer an arena does nothing: its tokens are
// malloc blocks freed with their trees.
struct token_arena;

// A new empty arena, or NULL when memory is exhausted.
token_arena *token_arena_new();
// Forgets every token of the arena, keeping as many slabs as it last used.
// Does nothing while a scope over the arena lives.
void token_arena_reset(token_arena *a);
// Resets the arena and gives its slabs back. NULL is ignored.
void token_arena_free(token_arena *a);

// Carves this thread's tokens from `a` while it lives, going on where the
// last scope over `a` stopped. Does nothing for NULL or inside a scratch or
// another scope (the tokens then go where the outer one puts them).
class TokenArenaScope {
public:
    explicit TokenArenaScope(token_arena *a);
    ~TokenArenaScope();
    TokenArenaScope(const TokenArenaScope &) = delete;
    TokenArenaScope &operator=(const TokenArenaScope &) = delete;

private:
    token_arena *arena_ = nullptr;
    void *saved_slab_ = nullptr;
#ifndef TOKEN_POOL_MALLOC
    token_pool_detail::Carving saved_carving_ = {};
#endif
};

// Collects a run of tokens to give back and gives them back a slab at a
// time: freeing a tree in creation order touches each slab's count once per
// run of its tokens rather than once per token.
class TokenReleaser {
public:
    TokenReleaser() = default;
    TokenReleaser(const TokenReleaser &) = delete;
    TokenReleaser &operator=(const TokenReleaser &) = delete;
    ~TokenReleaser() { flush(); }

    void add(token *t);
    void flush();

private:
    void *slab_ = nullptr;
    size_t count_ = 0;
};

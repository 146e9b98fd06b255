// Where tokens live. A parse makes millions of small tokens and frees them
// all together, so tokens are carved one after another from large aligned
// slabs instead of being asked of malloc one by one: making a token is a
// bump of an index, neighbours in a tree sit next to each other in memory,
// and freeing a tree only counts tokens down, a slab going back to the pool
// when its last token is freed (on whichever thread frees it).
//
// Under AddressSanitizer every token is its own malloc block again, so that
// a token used after it was freed is still reported.
#pragma once

#include <cstddef>

#include "library/token.h"

#if defined(__SANITIZE_ADDRESS__)
#define TOKEN_POOL_MALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOKEN_POOL_MALLOC 1
#endif
#endif

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

// Gives tokens back. A release of several tokens at once is cheaper; the
// tokens must not be read after they were given back.
void token_pool_give_back(token *t);

// Whether the token was made inside a TokenScratch (its tree goes with the
// scratch, so freeing it can be skipped).
bool token_pool_in_scratch(const token *t);

// While a scratch lives on a thread, every token that thread makes is carved
// from slabs of the scratch's own, released whole when the scratch ends;
// freeing those tokens one by one costs nothing. For work whose tokens never
// outlive it, such as a conversion from text to text that makes and frees
// its engine inside the scratch. Tokens made before it must not be linked
// into trees made inside it. Scratches do not nest: an inner one does nothing.
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

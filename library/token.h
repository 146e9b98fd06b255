// The token: node of every document tree. A token never holds text; it names
// a byte range of the source its engine owns, so operations that look at
// text take the source as an extra argument.
//
// Offsets and lengths are 32-bit: a parse makes about one token for every
// three bytes of its source, so the token's size is most of a parse's
// memory. Sources of 4 GiB or more are refused by the tokenizer
// (kTokenOffsetLimit); the HTML writer records output offsets beyond that
// as the limit.
//
// For the same reason the links between tokens are 32-bit: every token is
// carved from one address range reserved once for the whole process (see
// token_pool.h), and a link holds the token's distance from the start of
// that range in 8-byte steps, 0 standing for none. A token_link reads and
// is written like the pointer it stands for (`t->next = x`, `if (t->child)`,
// `t->next->type`, `x == t->mate`); only its address is not a `token **`.
// A token must therefore never be linked unless it came from the pool.
// Under AddressSanitizer tokens are malloc blocks and a link holds a plain
// pointer, so that a use after free is still reported.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "library/token_types.h"

#if defined(__SANITIZE_ADDRESS__)
#define TOKEN_POOL_MALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOKEN_POOL_MALLOC 1
#endif
#endif

struct token;

#ifndef TOKEN_POOL_MALLOC
namespace token_region {
// The start of the range every token is carved from, set once before the
// first token is made and never changed. Its first 8 bytes are never a
// token, so that step 0 can stand for no token.
extern constinit char *base;
constexpr unsigned kStepShift = 3;

// The step of a token of the range (0 for none), and the token at a step.
inline uint32_t step_of(const token *t) {
    if (!t)
        return 0;
    auto distance = reinterpret_cast<const char *>(t) - base;
    // Only a token of the pool has a step: one elsewhere (on the stack,
    // say) cannot be linked to.
    assert(distance > 0 && distance % (1 << kStepShift) == 0 &&
           (static_cast<size_t>(distance) >> kStepShift) <= UINT32_MAX);
    return static_cast<uint32_t>(static_cast<size_t>(distance) >> kStepShift);
}
inline token *at_step(uint32_t step) {
    return step ? reinterpret_cast<token *>(base + (static_cast<size_t>(step) << kStepShift))
                : nullptr;
}
}  // namespace token_region
#endif

// A link from one token to another (or to none). Trivial, so that a token
// stays a plain block of bytes that is copied and zeroed as before.
class token_link {
public:
    token_link() = default;
    // No token; lets `c ? t->next : nullptr` read as it does for pointers.
    token_link(std::nullptr_t) : value_{} {}

    token_link &operator=(token *t) {
        value_ = encode(t);
        return *this;
    }
    operator token *() const { return decode(value_); }
    token *operator->() const { return decode(value_); }
    explicit operator bool() const { return value_ != Value{}; }

    friend bool operator==(token_link a, token_link b) { return a.value_ == b.value_; }
    // Against a token pointer or nullptr, either way round.
    template <typename Pointer>
    requires std::is_convertible_v<Pointer, const token *>
    friend bool operator==(token_link a, Pointer b) {
        return decode(a.value_) == static_cast<const token *>(b);
    }

private:
#ifdef TOKEN_POOL_MALLOC
    using Value = token *;
    static Value encode(token *t) { return t; }
    static token *decode(Value v) { return v; }
#else
    using Value = uint32_t;
    static Value encode(token *t) { return token_region::step_of(t); }
    static token *decode(Value v) { return token_region::at_step(v); }
#endif
    Value value_;
};

struct token {
    uint16_t type;
    uint16_t can_open : 1;   // may open a pair (1 at creation)
    uint16_t can_close : 1;  // may close a pair (1 at creation)
    uint16_t unmatched : 1;  // 1 while the token has no mate
    uint16_t written : 1;    // the HTML writer recorded its output (token_output)
    uint32_t start;          // byte offset in the source
    uint32_t len;            // byte length in the source
    token_link next;
    token_link prev;
    token_link child;  // head of the children's chain
    token_link tail;   // last token of the chain; kept only on a chain's head
    token_link mate;   // pair partner (not owned)
};

#ifndef TOKEN_POOL_MALLOC
static_assert(sizeof(token) == 32, "a token is five 32-bit links and its 12 bytes of data");
static_assert(sizeof(token) % (size_t{1} << token_region::kStepShift) == 0,
              "tokens laid end to end must each start on a link step");
#endif

// Where the HTML writer's output for a token began and how much it wrote:
// what the preview's scroll anchor looks up. Kept beside the token rather
// than in it (token_pool.h), so that a conversion, whose writer has no one
// to tell, never touches the memory: a fifth of a tree's.
struct token_output_span {
    uint32_t start;
    uint32_t len;
};

// The output record of a token of the pool. Valid to read only while the
// token's `written` is set.
token_output_span *token_output(const token *t);

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

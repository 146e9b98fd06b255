// Delimiter pairing: the inline pass that decides which delimiters may open
// or close, the table-driven matcher that pairs them into spans, and the
// emphasis pass that turns paired stars and underscores into emphasis.
//
// None of these recurse per level of the tree: deep trees (100,000 nested
// parentheses) are walked with heap-allocated work lists, and the matcher
// stops descending at depth 1000.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "library/stack.h"
#include "library/token.h"

struct tzr_engine;

// Pair options, per pair type.
enum : unsigned short {
    PAIRING_ALLOW_EMPTY = 1,   // the opener may be directly followed by the closer
    PAIRING_MATCH_LENGTH = 2,  // opener and closer must have equal lengths
    PAIRING_PRUNE_MATCH = 4,   // a matched pair is wrapped into a token of the pair type
};

constexpr int kPairTypes = 230;
constexpr int kPairCells = 236 * kPairTypes;

// A flat table of byte cells (every pair type is below 256): can-open row,
// can-close row, the 230 x 230 pairing matrix, one row per option bit, then
// the row of the types that can open or close (the two first rows in one).
// The tables of an engine depend only on a few of its extension bits, so
// each set is made once, when an engine first needs it, and shared
// read-only by every engine on every thread.
struct token_pair_engine {
    uint8_t cell[kPairCells];
};

constexpr int kPairCanOpen = 0;
constexpr int kPairCanClose = kPairTypes;
constexpr int kPairMatrix = 2 * kPairTypes;
constexpr int kPairOptionEmpty = kPairMatrix + kPairTypes * kPairTypes;
constexpr int kPairOptionLength = kPairOptionEmpty + kPairTypes;
constexpr int kPairOptionPrune = kPairOptionLength + kPairTypes;
constexpr int kPairOpensOrCloses = kPairOptionPrune + kPairTypes;

static_assert(kPairTypes <= 256, "a pair type must fit a byte cell");

// Registers a pairing; out-of-range types are ignored.
constexpr void token_pair_table_add(token_pair_engine &e, unsigned short opener,
                                    unsigned short closer, unsigned short pair_type,
                                    unsigned short options) {
    if (opener >= kPairTypes || closer >= kPairTypes || pair_type >= kPairTypes)
        return;
    e.cell[kPairCanOpen + opener] = 1;
    e.cell[kPairCanClose + closer] = 1;
    e.cell[kPairOpensOrCloses + opener] = 1;
    e.cell[kPairOpensOrCloses + closer] = 1;
    e.cell[kPairMatrix + opener * kPairTypes + closer] = (uint8_t)pair_type;
    if (options & PAIRING_ALLOW_EMPTY)
        e.cell[kPairOptionEmpty + pair_type] = 1;
    if (options & PAIRING_MATCH_LENGTH)
        e.cell[kPairOptionLength + pair_type] = 1;
    if (options & PAIRING_PRUNE_MATCH)
        e.cell[kPairOptionPrune + pair_type] = 1;
}

token_pair_engine *token_pair_engine_new();
void token_pair_engine_add_pairing(token_pair_engine *e, unsigned short opener,
                                   unsigned short closer, unsigned short pair_type,
                                   unsigned short options);
void token_pair_engine_free(token_pair_engine *e);

// What the matcher tells the pairing stage about the pairs it made.
struct token_pair_tally {
    size_t longest_bracket;  // raised to the longest bracket pair made, in bytes
    // Gets the opener of every star and underscore pair made outside code
    // spans and math, in the order the pairs close; may be NULL.
    std::vector<token *> *emphasis_openers;
};

// Pairs the tokens of the parent's child chain and of every descendant chain
// down to depth 1000, using `work` as the shared opener stack; `tally` may be
// NULL.
void token_pairs_match(token *parent, const token_pair_engine *e, stack *work, unsigned short depth,
                       token_pair_tally *tally);
void token_set_mates(token *a, token *b);

// The block walk that decides where the matcher runs.
void tzr_pair_block(token *t, const token_pair_engine *e, stack *work, token_pair_tally *tally);
void tzr_pair_block_chain(token *first, const token_pair_engine *e, stack *work,
                          token_pair_tally *tally);

// Turns the pairs of the openers a tally gathered into emphasis and strong
// emphasis, and empties the list.
void tzr_pair_emphasis(std::vector<token *> &openers);

// The inline pass alone over the children of `parent` and below.
void tzr_pair_inline_tokens(tzr_engine *engine, token *parent);

// The whole pairing stage of a parse over a tree: the inline pass, the four
// block walks in the engine's table order on one work stack, then emphasis.
// Under a document root each block goes through all of them in turn, and a
// walk that cannot pair anything in the block is skipped.
void tzr_pair_tree(tzr_engine *engine, token *root);

// Pairing while the grammar runs: a parse that owns a block pairing hands
// each top-level block to tzr_pair_finished_block as soon as the grammar has
// finished it (blocks of nested parses are left to their top-level block).
class tzr_block_pairing;
tzr_block_pairing *tzr_block_pairing_new(tzr_engine *engine);
void tzr_block_pairing_free(tzr_block_pairing *pairing);
void tzr_pair_finished_block(tzr_engine *engine, token *block);

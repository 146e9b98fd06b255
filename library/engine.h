// The document engine: one source text and everything a parse and an export
// learn about it. The record's life cycle is engine.cpp's; the parse driver
// behind tzr_engine_parse_... is engine_parse.cpp's.
//
// An engine is not safe for concurrent use: every caller holds a lock of its
// own around each call that touches it.
#pragma once

#include <cstdint>

#include "library/d_string.h"
#include "library/stack.h"
#include "library/token.h"

struct token_pair_engine;  // pairing table of one family of delimiters
struct tzr_asset;          // an image met by an export, keyed by its URL
struct tzr_asset_report;   // what a package left out (tzr.h)
class tzr_block_pairing;   // pairs top-level blocks while a parse runs
struct token_arena;        // slabs of the engine's tree (token_pool.h)

struct tzr_engine {
    // The source text. The engine owns it unless it is freed with the flag
    // that hands the source back to the caller.
    DString *source;
    // The document tree of the last whole parse or conversion; NULL until
    // then. A parse in progress also uses it as its result slot.
    token *root;
    // Where the tokens of `root` and of everything a whole parse and an
    // export make are carved: a reset forgets them at once and keeps the
    // memory for the next parse. NULL when it could not be allocated (the
    // tokens then come from the shared pool).
    token_arena *arena;
    // The 64-bit extension flags the engine was made with.
    uint64_t extensions;
    // Nesting depth of the grammar parses now running on this engine.
    uint16_t recurse_depth;
    // Whether the first lines may still be typed as metadata. The tokenizer
    // sets it from the flags at the start of each run; the line typer clears
    // it once the opening lines can no longer be a metadata block.
    bool allow_meta;
    // Whether a "(" and its ")" with plain text alone between them may stay
    // in the text (see lexer.h). Only engines whose tree no one but their
    // own conversion sees set it; the editor's tree keeps every parenthesis
    // for the marks it colours.
    bool parens_in_text;
    // Whether the engine is a conversion's own to HTML: its tree goes to the
    // HTML writer and then away, so tokens that writer prints alike may be
    // one (a fenced code block's line, text over a line feed; see
    // tzr_flatten_block), and code lines need no tokens of their own (see
    // the tokenizer). A "-" or "_" inside a word is left in the text (see
    // lexer.h).
    bool converts_to_html;
    // Whether no one will ask where the HTML writer's output for each token
    // lies (token_output): set for a conversion of its own, so that its
    // writer records nothing. The bridge's engine keeps it clear for the
    // preview's scroll anchor.
    bool output_unread;
    // Set once the tokenizer meets an inline glossary or abbreviation mark
    // ("[?", "[>"): such a note takes the first parentheses inside it, so
    // from there on every parenthesis stays a token.
    bool parens_kept;
    // The line typer's memo of the last line found to be no thematic break:
    // where that line's tokens end, which break character was tried and
    // where the token that broke the run starts. A nested parse types the
    // same line again once per level; the memo spares it the walk to that
    // token each time. Cleared by every tokenizer run.
    size_t break_memo_end;
    size_t break_memo_stop;
    uint16_t break_memo_type;
    // The pairing of the parse now running, and the grammar depth whose
    // finished blocks it pairs; NULL outside a parse.
    tzr_block_pairing *block_pairing;
    uint16_t block_pairing_depth;
    // A parse that goes on with blocks opened before its text (see
    // tzr_engine_parse_substring_within): the line that stands in for their
    // opening lines, the line type it takes at each depth, outermost first,
    // and how many of those it has taken so far. NULL outside such a parse,
    // and once the line is gone.
    token *opening_line;
    const unsigned short *opening_types;
    uint16_t opening_count;
    uint16_t opening_taken;
    // Grammar parsers a parse has finished with, kept for the next: every
    // list item, quote and note is parsed again by a parser of its own, and
    // making each anew was an allocation of two kilobytes.
    void *spare_parsers[8];
    uint8_t spare_parser_count;

    // The four pairing tables, in the order the pairing walks run: shared,
    // read-only tables chosen by the engine's extensions at creation.
    const token_pair_engine *critic_pairings;        // CriticMarkup marks
    const token_pair_engine *html_comment_pairings;  // inline HTML comments
    // brackets, parentheses, angle brackets, double braces, code spans, math
    const token_pair_engine *bracket_pairings;
    // emphasis, quotes, superscript, subscript, braces, raw-source markers
    const token_pair_engine *span_pairings;
    // The longest bracket pair (opener to closer, in bytes) the matcher has
    // made over the engine's parses. No text taken from inside a bracket of
    // the engine's tree is longer, so a key longer than this is never looked
    // up by one.
    size_t longest_bracket;

    // Lists filled by a parse and an export. "Owned" lists hold records the
    // engine frees; "borrowed" lists point at tokens of `root` and must be
    // emptied whenever the tree goes.
    stack *abbreviation_list;  // abbreviation records (owned)
    stack *citation_list;      // citation records (owned)
    stack *definition_list;    // definition blocks (borrowed), in parse order
    stack *footnote_list;      // footnote records (owned)
    stack *glossary_list;      // glossary records (owned)
    stack *header_list;        // heading blocks (borrowed), in parse order
    stack *link_list;          // link records (owned)
    stack *metadata_list;      // metadata entries (owned), in source order
    stack *table_list;         // table blocks (borrowed)
    stack *critic_list;        // CriticMarkup pair tokens (borrowed), filled
                               // by the HTML writer during an export

    uint16_t language;         // language code (0 English ... 5 Swedish)
    uint16_t quotes_language;  // quotes language code

    // The assets of the last export, keyed by URL; NULL when there are none.
    // An export hands its table over here for the packagers and the
    // local-resources query.
    tzr_asset *asset_table;
    // Where a conversion that asked for a report notes each asset its
    // package leaves out; NULL otherwise. Borrowed for that conversion only.
    tzr_asset_report *asset_report;
};

// --- Life cycle and parse ------------------------------------------------------
//
// Stack: a parse nests one grammar parse per level of list items, block quotes
// and notes, up to 1000 levels; the pairing and emphasis passes and freeing a
// tree use heap work lists instead of recursion. A parse nested to the limit
// takes about 200 KiB of stack in an optimised build and under 1 MiB with
// AddressSanitizer. Run parses on threads with at least 8 MiB of stack (the
// test suite checks the deepest documents on such a thread).

// A new engine over `source`, which it takes over; NULL when the record
// cannot be allocated (the source is then freed). A NULL source is empty.
tzr_engine *tzr_engine_create(DString *source, uint64_t extensions);
tzr_engine *tzr_engine_create_with_d_string(DString *source, uint64_t extensions);
// A new engine over `source`, which stays the caller's: the engine never
// frees it, not even when it cannot be made (NULL then, as for a NULL
// source). Such an engine is freed with `free_source` false.
tzr_engine *tzr_engine_create_over(DString *source, uint64_t extensions);
// A new engine over a copy of `text` (NULL gives an empty source).
tzr_engine *tzr_engine_create_with_string(const char *text, uint64_t extensions);
// Stores the language code and the quotes language it implies.
void tzr_engine_set_language(tzr_engine *e, unsigned short language);
// Drops every result of the last parse and export. The tree of a whole parse
// goes with its arena in one step; its tokens must not be used afterwards.
void tzr_engine_reset(tzr_engine *e);
// Resets and frees the engine; the source too when `free_source` is set.
void tzr_engine_free(tzr_engine *e, bool free_source);
token *tzr_engine_root(tzr_engine *e);
DString *tzr_engine_source(tzr_engine *e);
// Parses bytes start .. start + len of the source (clamped to the source;
// (size_t)-1 means to the end) and returns a root that the caller owns and
// frees with token_tree_free, on any thread (it is not in the engine's arena).
token *tzr_engine_parse_substring(tzr_engine *e, size_t start, size_t len);
// The same, for a range that begins inside blocks opened before it, whose
// lines it reads as those blocks' next lines. `opening` holds the line type
// of the line that opened each block, outermost first, `levels` of them: a
// block quote (LINE_BLOCKQUOTE) or a list item whose marker line came before
// (LINE_LIST_BULLETED, LINE_LIST_ENUMERATED) at any depth, and as the
// innermost also a fenced code block whose code goes on (the type of its
// opening fence, LINE_FENCE_3 to LINE_FENCE_START_5) or a table whose body
// goes on (LINE_TABLE_SEPARATOR). Where a parse of the whole text has just
// ended a block of the innermost block's contents at `start` (or reads a
// code line or a body row there), this tree is that parse's from `start`
// on, but that the blocks continued begin at `start`, their opening lines
// take no text (a fence or a table keeps an empty line in that line's
// place), and a list is loose only by the items it holds here. A type of
// any other kind, and a fence or a table that is not the innermost, end
// the levels where they stand; NULL `opening` or no levels parse as
// tzr_engine_parse_substring does.
token *tzr_engine_parse_substring_within(tzr_engine *e, size_t start, size_t len,
                                          const unsigned short *opening, size_t levels);
// The places of `root`, a tree tzr_engine_parse_substring(_within) made of
// `e`'s source, where a parse may begin again with
// tzr_engine_parse_substring_within, and the opening line types to give it
// there: the start of each item of a list but its first, of each block of a
// quote's or an item's contents but the first and blank lines, of each code
// line of a fenced code block at the top (nested ones pair their code across
// lines) and of each row of a table's body. The start of a top-level block is
// no such place: a parse from there needs no opening lines. `take` gets those
// within [from, to), in order; `opening` holds the types outermost first
// (none for an item of a list at the top) and lasts for the call only.
// Blocks nested deeper than kTzrMostOpeningLines are not looked into.
using tzr_resume_taker = void (*)(void *context, size_t position, const unsigned short *opening, size_t levels);
void tzr_tree_resume_points(const tzr_engine *e, const token *root, size_t from, size_t to,
                            tzr_resume_taker take, void *context);
constexpr size_t kTzrMostOpeningLines = 64;

// Parses the whole source into `root`, carving its tokens from the engine's
// arena: the engine owns the tree, and the next parse or reset or the
// engine's free releases it in time proportional to its slabs, not its
// tokens. Reusing one engine for each new parse of a document reuses its
// memory.
void tzr_engine_parse_string(tzr_engine *e);

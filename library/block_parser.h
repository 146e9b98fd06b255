// The block parser: typed line tokens become the tree of block tokens.
// A lemon-generated LALR(1) parser (block_grammar.y) drives the reduce
// actions declared here; nested blocks (list items, quotes, notes,
// definitions) are parsed again with the same grammar, depth-bounded.
#pragma once

#include <cstddef>

#include "library/token.h"

struct tzr_engine;

// A grammar code that no rule uses: a line fed with it is a syntax error and
// is dropped.
constexpr int kTzrUnusedLineCode = 40;

// Nested grammar parses stop at this depth; the lines of a block that would
// be parsed deeper become one paragraph of it, their markup left as text.
constexpr unsigned kTzrParseDepthLimit = 1000;

// Parser record life cycle (one record per parse).
void *tzr_parser_alloc(void *(*allocator)(size_t));
void tzr_parser_feed(void *parser, int line_type, token *line, tzr_engine *engine);
void tzr_parser_free(void *parser, void (*deallocator)(void *));
// A parser for a parse on `engine`: one it kept, else a new one (NULL when
// it cannot be made). Give it back once its parse has ended; the engine
// keeps a few for the next parses and frees them with itself.
void *tzr_parser_take(tzr_engine *engine);
void tzr_parser_give_back(tzr_engine *engine, void *parser);
// Frees the parsers the engine kept.
void tzr_parser_free_spares(tzr_engine *engine);

// Parses the line tokens that are the parent's children and makes the
// resulting blocks its children. At the depth limit the lines' tokens become
// one paragraph instead.
void tzr_parse_token_chain(tzr_engine *engine, token *parent);

// Runs one grammar parse over a detached chain of line tokens and returns
// the chain of blocks (NULL for an empty chain). Shared by the nested parses
// and the engine's top-level parse; the caller checks the depth.
token *tzr_parse_line_chain(tzr_engine *engine, token *lines);

// Passes run from the grammar's reduce actions.
void tzr_parse_list_item(tzr_engine *engine, token *item);
void tzr_parse_definition_block(tzr_engine *engine, token *block);
void tzr_parse_blockquote(tzr_engine *engine, token *quote);
// Marks a list loose or tight, and types each item by what it holds: its
// text (BLOCK_LIST_ITEM_TEXT) or blocks (BLOCK_LIST_ITEM).
void tzr_list_set_looseness(token *list);
void tzr_para_to_html_block(tzr_engine *engine, token *para);
void tzr_flatten_block(tzr_engine *engine, token *block);

// Small helpers of the reduce actions.
token *tzr_chain(token *chain, token *more);
token *tzr_wrap(token *chain, unsigned short type);
token *tzr_wrap_header(tzr_engine *engine, token *chain, unsigned short type);
token *tzr_wrap_definition(tzr_engine *engine, token *chain, unsigned short type);
token *tzr_chain_fence_close(token *chain, token *closing_line);
// Appends a line to a block's lines, or a run of plain lines the tokenizer
// handed on as one chain (code lines, a paragraph's continuation lines);
// the run's head is then left as a line appended alone is.
token *tzr_chain_lines(token *chain, token *lines);
void tzr_mark_fence_line(token *opening_line);
token *tzr_list_item(tzr_engine *engine, token *marker_line, token *rest, unsigned short type);

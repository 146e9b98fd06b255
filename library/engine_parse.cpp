// The parse driver: tokenizer, block grammar and pairing run over an engine's
// source in one pass, each line going to the grammar as soon as it is typed
// and each top-level block being paired as soon as the grammar finishes it.
#include <cstdlib>

#include "library/block_parser.h"
#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/pairing.h"
#include "library/token_pool.h"
#include "library/tokenizer.h"
#include "library/tzr.h"

namespace {

struct LineFeed {
    void *parser;
    tzr_engine *engine;
};

void feed_line(void *context, token *line) {
    auto *feed = static_cast<LineFeed *>(context);
    tzr_engine *e = feed->engine;
    // The grammar's actions type the lines of list items and quotes again;
    // none of those may be taken for metadata, whatever the tokenizer is
    // still allowing for the lines to come.
    bool allow_meta = e->allow_meta;
    e->allow_meta = false;
    tzr_parser_feed(feed->parser, line->type, line, e);
    e->allow_meta = allow_meta;
}

// Tokenizes, parses and pairs in one pass: each line goes to the grammar as
// soon as it is typed, and each top-level block is paired as soon as the
// grammar has finished it, so every step finds the tokens in the cache.
token *parse_lines_as_typed(tzr_engine *e, size_t start, size_t len) {
    void *parser = tzr_parser_take(e);
    tzr_block_pairing *pairing = tzr_block_pairing_new(e);
    if (!parser || !pairing)
        tzr_fatal("Out of memory while parsing.\n");
    tzr_block_pairing *outer = e->block_pairing;
    uint16_t outer_depth = e->block_pairing_depth;
    e->block_pairing = pairing;
    e->block_pairing_depth = e->recurse_depth;
    e->root = nullptr;

    LineFeed feed{parser, e};
    token *root = tzr_tokenize_lines(e, start, len, feed_line, &feed);
    tzr_parser_feed(parser, 0, nullptr, e);
    token *blocks = e->root;
    e->root = nullptr;
    tzr_parser_give_back(e, parser);

    e->block_pairing = outer;
    e->block_pairing_depth = outer_depth;
    tzr_block_pairing_free(pairing);
    if (!root) {
        token_tree_free(blocks);
        return nullptr;
    }
    if (blocks)
        token_append_child(root, blocks);
    return root;
}

}  // namespace

token *tzr_engine_parse_substring(tzr_engine *e, size_t start, size_t len) {
    if (!e)
        return nullptr;
    tzr_engine_reset(e);
    size_t length = e->source ? e->source->length : 0;
    if (start > length)
        start = length;
    if (len > length - start)
        len = length - start;

    uint64_t saved = e->extensions;
    if (start != 0)
        e->extensions |= TZR_EXT_NO_METADATA;
    token *root = nullptr;
    if (e->recurse_depth < kTzrParseDepthLimit) {
        e->recurse_depth++;
        root = parse_lines_as_typed(e, start, len);
        e->recurse_depth--;
    } else {
        root = tzr_tokenize_string(e, start, len, false);
        tzr_pair_tree(e, root);
    }
    e->extensions = saved;
    return root;
}

void tzr_engine_parse_string(tzr_engine *e) {
    if (!e)
        return;
    tzr_engine_reset(e);
    TokenArenaScope carving(e->arena);
    token *root = tzr_engine_parse_substring(e, 0, (size_t)-1);
    e->root = root;
}

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

// Whether a line type may open a block that a range goes on with, and
// whether only the innermost such block may be of its kind.
bool opens_container(unsigned short type) {
    return type == LINE_BLOCKQUOTE || type == LINE_LIST_BULLETED || type == LINE_LIST_ENUMERATED;
}
bool opens_innermost(unsigned short type) {
    return (type >= LINE_FENCE_3 && type <= LINE_FENCE_START_5) || type == LINE_TABLE_SEPARATOR;
}

// How many of the opening line types are of use: up to the first that
// opens no block the range can go on with, and no further than a fence or
// a table, within the nesting the grammar parses.
size_t usable_levels(const unsigned short *opening, size_t levels) {
    if (!opening)
        return 0;
    size_t limit = kTzrParseDepthLimit / 2;
    size_t n = 0;
    while (n < levels && n < limit) {
        unsigned short type = opening[n];
        if (opens_innermost(type))
            return n + 1;
        if (!opens_container(type))
            break;
        n++;
    }
    return n;
}

// Tokenizes, parses and pairs in one pass: each line goes to the grammar as
// soon as it is typed, and each top-level block is paired as soon as the
// grammar has finished it, so every step finds the tokens in the cache.
// With opening lines, one empty line of the first type goes to the grammar
// first; the nested parses type it for each depth in turn (see
// tzr_parse_list_item and tzr_parse_blockquote).
token *parse_lines_as_typed(tzr_engine *e, size_t start, size_t len, const unsigned short *opening,
                            size_t levels) {
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
    if (levels > 0) {
        token *opening_line = token_new(opening[0], start, 0);
        if (!opening_line)
            tzr_fatal("Out of memory while parsing.\n");
        e->opening_line = opening_line;
        e->opening_types = opening;
        e->opening_count = (uint16_t)levels;
        e->opening_taken = 1;
        feed_line(&feed, opening_line);
    }
    token *root = tzr_tokenize_lines(e, start, len, feed_line, &feed);
    tzr_parser_feed(parser, 0, nullptr, e);
    token *blocks = e->root;
    e->root = nullptr;
    tzr_parser_give_back(e, parser);
    e->opening_line = nullptr;
    e->opening_types = nullptr;
    e->opening_count = e->opening_taken = 0;

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
    return tzr_engine_parse_substring_within(e, start, len, nullptr, 0);
}

token *tzr_engine_parse_substring_within(tzr_engine *e, size_t start, size_t len,
                                          const unsigned short *opening, size_t levels) {
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
        root = parse_lines_as_typed(e, start, len, opening, usable_levels(opening, levels));
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

namespace {

struct ResumeWalk {
    const char *source;
    size_t length;
    size_t from, to;
    tzr_resume_taker take;
    void *context;
    unsigned short opening[kTzrMostOpeningLines];

    void found(size_t position, size_t levels) {
        if (position >= from && position < to)
            take(context, position, opening, levels);
    }

    static bool is_block(const token *t) { return t->type >= BLOCK_BLOCKQUOTE && t->type <= BLOCK_TOC; }
    static size_t end_of(const token *t) { return size_t(t->start) + t->len; }

    // The blocks of one chain: those of the top (`container` NULL), or the
    // contents of a quote or an item that `levels` opening lines open.
    void chain(const token *first, size_t levels, const token *container) {
        for (const token *b = first; b; b = b->next) {
            if (b->start >= to)
                return;
            if (!is_block(b) || end_of(b) <= from)
                continue;
            if (container && b->start > container->start && b->type != BLOCK_EMPTY)
                found(b->start, levels);
            inside(b, levels, container == nullptr);
        }
    }

    // The places inside block `b`, which `levels` opening lines hold.
    void inside(const token *b, size_t levels, bool at_top) {
        switch (b->type) {
        case BLOCK_LIST_BULLETED:
        case BLOCK_LIST_BULLETED_LOOSE:
        case BLOCK_LIST_ENUMERATED:
        case BLOCK_LIST_ENUMERATED_LOOSE: {
            bool bullets = b->type == BLOCK_LIST_BULLETED || b->type == BLOCK_LIST_BULLETED_LOOSE;
            for (const token *item = b->child; item && item->start < to; item = item->next) {
                if (end_of(item) <= from)
                    continue;
                if (item->start > b->start)
                    found(item->start, levels);
                if (levels < kTzrMostOpeningLines) {
                    opening[levels] = bullets ? LINE_LIST_BULLETED : LINE_LIST_ENUMERATED;
                    chain(item->child, levels + 1, item);
                }
            }
            break;
        }
        case BLOCK_BLOCKQUOTE:
            if (levels < kTzrMostOpeningLines) {
                opening[levels] = LINE_BLOCKQUOTE;
                chain(b->child, levels + 1, b);
            }
            break;
        case BLOCK_CODE_FENCED:
            if (at_top)
                code_lines(b);
            break;
        case BLOCK_TABLE:
            if (levels >= kTzrMostOpeningLines)
                break;
            opening[levels] = LINE_TABLE_SEPARATOR;
            for (const token *part = b->child; part && part->start < to; part = part->next) {
                if (part->type != BLOCK_TABLE_SECTION || end_of(part) <= from)
                    continue;
                for (const token *row = part->child; row && row->start < to; row = row->next)
                    if (row->type == TABLE_ROW && row->start > b->start)
                        found(row->start, levels + 1);
            }
            break;
        default:
            break;
        }
    }

    // Each line of a fenced block at the top after its opening fence. The
    // block holds its fence lines whole and the tokens of its code lines,
    // each line ended by a line end.
    void code_lines(const token *fence) {
        const token *first = fence->child;
        if (!first)
            return;
        if (first->len == 0 && first->type >= LINE_FENCE_3 && first->type <= LINE_FENCE_START_5) {
            // The opening line of a parse that went on with the code.
            unsigned short type = first->type;
            opening[0] = type >= LINE_FENCE_START_3 ? type : (unsigned short)(type + LINE_FENCE_START_3 - LINE_FENCE_3);
        } else {
            // The opening fence's backticks say which fences close the block.
            size_t at = fence->start;
            while (at < length && (source[at] == ' ' || source[at] == '\t'))
                at++;
            size_t ticks = 0;
            while (at + ticks < length && source[at + ticks] == '`')
                ticks++;
            if (ticks < 3)
                return;
            opening[0] = ticks == 3 ? LINE_FENCE_START_3 : ticks == 4 ? LINE_FENCE_START_4 : LINE_FENCE_START_5;
        }
        size_t end = end_of(fence);
        for (const token *t = first; t; t = t->next) {
            bool line = t->type >= LINE_HR && t->type <= LINE_HTML_COMMENT_START;
            if ((!line && t->type != NEWLINE && t->type != HARD_BREAK) || t->len == 0)
                continue;
            size_t next = end_of(t);
            if (next >= end || next >= to)
                return;
            found(next, 1);
        }
    }
};

}  // namespace

void tzr_tree_resume_points(const tzr_engine *e, const token *root, size_t from, size_t to,
                            tzr_resume_taker take, void *context) {
    if (!e || !e->source || !e->source->str || !root || !take || from >= to)
        return;
    ResumeWalk walk{e->source->str, e->source->length, from, to, take, context, {}};
    walk.chain(root->child, 0, nullptr);
}

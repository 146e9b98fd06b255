#include "library/block_parser.h"

#include <array>
#include <cstdlib>

#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/line_types.h"
#include "library/metadata.h"
#include "library/scanners/scanners.h"
#include "library/stack.h"

// Entry points of the lemon-generated parser (block_grammar.y).
void *tzr_block_parserAlloc(void *(*allocator)(size_t));
void tzr_block_parser(void *parser, int major, token *minor, tzr_engine *engine);
void tzr_block_parserFree(void *parser, void (*deallocator)(void *));
void tzr_block_parserInit(void *parser);
void tzr_block_parserFinalize(void *parser);

static token *must(token *t) {
    if (!t)
        tzr_fatal("Out of memory while building the document tree.\n");
    return t;
}

static bool is_indent(const token *t) {
    return t && (t->type == INDENT_TAB || t->type == INDENT_SPACE);
}

static const char *engine_text(tzr_engine *engine) {
    return (engine && engine->source && engine->source->str) ? engine->source->str : "";
}

void *tzr_parser_alloc(void *(*allocator)(size_t)) {
    if (!allocator)
        return nullptr;
    return tzr_block_parserAlloc(allocator);
}

void tzr_parser_feed(void *parser, int line_type, token *line, tzr_engine *engine) {
    if (!parser)
        return;
    if (line_type < 0 || line_type > kTzrUnusedLineCode)
        line_type = kTzrUnusedLineCode;
    if (line_type == 0 && line) {
        // A token can only come with a line type; never lose it.
        token_free(line);
        line = nullptr;
    }
    tzr_block_parser(parser, line_type, line, engine);
}

void tzr_parser_free(void *parser, void (*deallocator)(void *)) {
    if (!parser || !deallocator)
        return;
    tzr_block_parserFree(parser, deallocator);
}

void *tzr_parser_take(tzr_engine *engine) {
    if (!engine)
        return nullptr;
    if (engine->spare_parser_count == 0)
        return tzr_parser_alloc(malloc);
    void *parser = engine->spare_parsers[--engine->spare_parser_count];
    tzr_block_parserInit(parser);
    return parser;
}

void tzr_parser_give_back(tzr_engine *engine, void *parser) {
    if (!parser)
        return;
    constexpr size_t kept = sizeof(engine->spare_parsers) / sizeof(engine->spare_parsers[0]);
    if (!engine || engine->spare_parser_count >= kept) {
        tzr_parser_free(parser, free);
        return;
    }
    // What the parse left on its stack goes now, as freeing it would do.
    tzr_block_parserFinalize(parser);
    engine->spare_parsers[engine->spare_parser_count++] = parser;
}

void tzr_parser_free_spares(tzr_engine *engine) {
    if (!engine)
        return;
    while (engine->spare_parser_count > 0)
        free(engine->spare_parsers[--engine->spare_parser_count]);
}

token *tzr_parse_line_chain(tzr_engine *engine, token *lines) {
    void *parser = tzr_parser_take(engine);
    if (!parser)
        tzr_fatal("Out of memory while parsing.\n");
    engine->root = nullptr;
    for (token *line = lines; line;) {
        token *next = line->next;
        line->next = nullptr;
        line->prev = nullptr;
        line->tail = line;
        tzr_parser_feed(parser, line->type, line, engine);
        line = next;
    }
    tzr_parser_feed(parser, 0, nullptr, engine);
    token *result = engine->root;
    engine->root = nullptr;
    tzr_parser_give_back(engine, parser);
    return result;
}

// Whether a block's lines may still be parsed again as blocks of their own.
static bool below_depth_limit(const tzr_engine *engine) {
    return engine->recurse_depth < kTzrParseDepthLimit;
}

// At the depth limit a block's lines are read no deeper: their tokens become
// one paragraph of the block, so that whatever markup they hold still comes
// out, as text, and no line token is left for the writers.
static void lines_as_paragraph(token *parent) {
    token *lines = parent->child;
    if (!lines)
        return;
    parent->child = nullptr;
    token *para = must(token_new(BLOCK_PARA, lines->start, 0));
    for (token *line = lines; line;) {
        token *next = line->next;
        line->next = line->prev = nullptr;
        if (token *tokens = line->child) {
            line->child = nullptr;
            token_append_child(para, tokens);
        }
        token_free(line);
        line = next;
    }
    if (para->child)
        token_append_child(parent, para);
    else
        token_free(para);
}

void tzr_parse_token_chain(tzr_engine *engine, token *parent) {
    if (!engine || !parent)
        return;
    if (!below_depth_limit(engine)) {
        lines_as_paragraph(parent);
        return;
    }
    engine->recurse_depth++;
    token *lines = parent->child;
    parent->child = nullptr;
    token *blocks = tzr_parse_line_chain(engine, lines);
    if (blocks)
        token_append_child(parent, blocks);
    engine->recurse_depth--;
}

// --- Reduce-action helpers -------------------------------------------------

token *tzr_chain(token *chain, token *more) {
    if (!chain)
        return more;
    token_chain_append(chain, more);
    return chain;
}

token *tzr_wrap(token *chain, unsigned short type) {
    token *last = chain->tail ? chain->tail : chain;
    token *block = must(token_new(type, chain->start, last->start + last->len - chain->start));
    block->child = chain;
    chain->prev = nullptr;
    return block;
}

token *tzr_wrap_header(tzr_engine *engine, token *chain, unsigned short type) {
    token *block = tzr_wrap(chain, type);
    stack_push(engine->header_list, block);
    return block;
}

token *tzr_wrap_definition(tzr_engine *engine, token *chain, unsigned short type) {
    token *block = tzr_wrap(chain, type);
    stack_push(engine->definition_list, block);
    return block;
}

token *tzr_chain_fence_close(token *chain, token *closing_line) {
    tzr_mark_fence_line(closing_line);
    return tzr_chain(chain, closing_line);
}

token *tzr_chain_lines(token *chain, token *lines) {
    token *whole = tzr_chain(chain, lines);
    if (lines)
        lines->tail = lines;
    return whole;
}

void tzr_mark_fence_line(token *line) {
    if (line && line->child)
        line->child->type = CODE_FENCE_LINE;
}

token *tzr_list_item(tzr_engine *engine, token *marker_line, token *rest, unsigned short type) {
    token *item = tzr_wrap(marker_line, type);
    token_append_child(item, rest);
    tzr_parse_list_item(engine, item);
    return item;
}

// --- Nested parses ---------------------------------------------------------

// A parse that goes on with blocks opened before its text has one empty
// line stand in for their opening lines (tzr_engine_parse_substring_within).
// When `block`, a quote or a list item about to be parsed again, begins with
// that line, the line opens the next block in, typed as its opening line;
// past the innermost it goes, so that the block's contents begin with the
// range's first line as a parse of the whole text reads it: between two
// blocks. Gives the line when it stays in the block.
static token *take_opening_line(tzr_engine *engine, token *block) {
    token *line = block->child;
    if (!line || line != engine->opening_line)
        return nullptr;
    if (engine->opening_taken < engine->opening_count) {
        line->type = engine->opening_types[engine->opening_taken++];
        return line;
    }
    engine->opening_line = nullptr;
    if (!line->next) {
        // Nothing followed: the block holds an empty line.
        line->type = LINE_EMPTY;
        return line;
    }
    token_remove_first_child(block);
    return nullptr;
}

void tzr_parse_list_item(tzr_engine *engine, token *item) {
    if (!engine || !item || !item->child)
        return;
    // The item's first line holds its marker, unless the item was opened
    // before the parsed range: an opening line then stands there, or none.
    bool opened_before = item->child == engine->opening_line;
    token *opening = take_opening_line(engine, item);
    token *first_line = opened_before ? nullptr : item->child;
    token *marker = nullptr;
    if (first_line && first_line->child) {
        marker = must(token_copy(first_line->child));
        marker->next = marker->prev = marker->child = marker->mate = nullptr;
        marker->tail = marker;
        token_remove_first_child(first_line);
    }
    // Past the depth limit the lines are not typed again: they stay text.
    bool retype = below_depth_limit(engine);
    for (token *line = item->child; line; line = line->next) {
        if (line == opening)
            continue;
        if (is_indent(line->child))
            token_remove_first_child(line);
        if (!retype)
            continue;
        // The first line lost its marker too, and needs a full look.
        if (line == first_line)
            tzr_assign_line_type(engine, line);
        else
            tzr_retype_after_indent(engine, line, line->type);
    }
    tzr_parse_token_chain(engine, item);
    if (!marker)
        return;
    token *first = item->child;
    if (!first) {
        token_append_child(item, marker);
        return;
    }
    if (first->child) {
        marker->next = first->child;
        marker->tail = first->child->tail ? first->child->tail : first->child;
        first->child->prev = marker;
    }
    first->child = marker;
}

void tzr_parse_definition_block(tzr_engine *engine, token *block) {
    if (!engine || !block || !block->child)
        return;
    bool retype = below_depth_limit(engine);
    for (token *line = block->child; line; line = line->next) {
        if (is_indent(line->child))
            token_remove_first_child(line);
        if (retype)
            tzr_retype_after_indent(engine, line, line->type);
    }
    token *first = block->child;
    first->type = LINE_PLAIN;
    if (block->type == BLOCK_DEFINITION)
        token_remove_first_child(first);
    tzr_parse_token_chain(engine, block);
}

void tzr_parse_blockquote(tzr_engine *engine, token *quote) {
    if (!engine || !quote)
        return;
    const char *source = engine_text(engine);
    bool retype = below_depth_limit(engine);
    token *opening = take_opening_line(engine, quote);
    for (token *line = quote->child; line; line = line->next) {
        if (line == opening)
            continue;
        tzr_line_strip_quote_marker(line, source);
        if (retype)
            tzr_assign_line_type(engine, line);
    }
    tzr_parse_token_chain(engine, quote);
}

static bool holds_blocks(const token *item) {
    return item->child && item->child->type >= BLOCK_BLOCKQUOTE && item->child->type <= BLOCK_TOC;
}

void tzr_list_set_looseness(token *list) {
    if (!list || !list->child)
        return;
    // A list is loose when an item other than the last came with blank lines
    // after its first paragraph.
    bool loose = false;
    for (token *item = list->child; item->next; item = item->next) {
        if (item->type == BLOCK_LIST_ITEM && item->child && item->child->type == BLOCK_PARA)
            loose = true;
    }
    // Then each item's type says what it holds, which is what the writers go
    // by: its text directly (a one-line item), or blocks from the nested
    // parse of a longer one. An item holding blocks that passed for text had
    // its paragraphs wrapped in a second paragraph in a loose list.
    for (token *item = list->child; item; item = item->next) {
        if (item->type == BLOCK_LIST_ITEM || item->type == BLOCK_LIST_ITEM_TEXT)
            item->type = holds_blocks(item) ? BLOCK_LIST_ITEM : BLOCK_LIST_ITEM_TEXT;
    }
    if (!loose)
        return;
    if (list->type == BLOCK_LIST_BULLETED)
        list->type = BLOCK_LIST_BULLETED_LOOSE;
    else if (list->type == BLOCK_LIST_ENUMERATED)
        list->type = BLOCK_LIST_ENUMERATED_LOOSE;
}

void tzr_para_to_html_block(tzr_engine *engine, token *para) {
    if (!engine || !para || !para->child)
        return;
    token *line = para->child;
    token *first = line->child;
    if (line->type != LINE_PLAIN || !first ||
        (first->type != ANGLE_LEFT && first->type != HTML_COMMENT_START))
        return;
    const char *at = engine_text(engine) + first->start;
    if (first->start <= engine->source->length &&
        (scan_html_block_start(at) || scan_html_line(at)))
        para->type = BLOCK_HTML;
}

// --- Flattening ------------------------------------------------------------

// Groups a table row's tokens into cells between its pipes.
static void make_cells(token *row) {
    token *t = row->child;
    if (!t)
        return;
    if (t->type == PIPE) {
        t->type = TABLE_DIVIDER;
        t = t->next;
    }
    token *run_first = nullptr;
    token *run_last = nullptr;
    while (t) {
        token *next = t->next;
        if (t->type == NEWLINE || t->type == HARD_BREAK) {
            // passed over
        } else if (t->type == PIPE) {
            if (run_first)
                token_wrap_range(run_first, run_last, TABLE_CELL);
            run_first = nullptr;
            t->type = TABLE_DIVIDER;
        } else {
            if (!run_first)
                run_first = t;
            run_last = t;
        }
        t = next;
    }
    if (run_first)
        token_wrap_range(run_first, run_last, TABLE_CELL);
}

// A line's first text that follows the block's last text and the line feed
// after it, with nothing between them, is joined to that text over the line
// feed: the HTML writer prints a line feed between two tokens and a text as
// its bytes, so the page is the same with two tokens fewer. Only in the
// paragraphs of a conversion to HTML of its own, whose tree no one else
// reads, and never in one opened by a bracket, which may be a table's
// caption, told by the tokens after the bracket.
static void join_text(token *block, token *line, const char *source) {
    token *first = line->child;
    token *feed = block->child ? block->child->tail : nullptr;
    if (!first || !feed || first->type != TEXT || feed->type != NEWLINE || feed->len != 1 ||
        source[feed->start] != '\n' || first->start != feed->start + 1)
        return;
    token *text = feed->prev;
    if (!text || text->type != TEXT || text->start + text->len != feed->start)
        return;
    text->len += 1 + first->len;
    text->next = nullptr;
    block->child->tail = text;
    feed->prev = nullptr;
    token_free(feed);
    token *rest = first->next;
    if (rest) {
        rest->prev = nullptr;
        rest->tail = first->tail;
    }
    line->child = rest;
    first->next = nullptr;
    token_free(first);
}

static bool opens_with_bracket(const token *block) {
    const token *first = block->child;
    return first && first->type >= BRACKET_LEFT && first->type <= BRACKET_VARIABLE_LEFT;
}

// Moves a line's tokens into the block and frees the emptied line.
static void move_tokens(tzr_engine *engine, token *block, token *line) {
    if (block->type != BLOCK_CODE_FENCED) {
        if (is_indent(line->child))
            token_remove_first_child(line);
        if (block->type != BLOCK_CODE_INDENTED) {
            while (is_indent(line->child))
                token_remove_first_child(line);
        }
    }
    if (block->type == BLOCK_PARA && engine->converts_to_html && !opens_with_bracket(block))
        join_text(block, line, engine_text(engine));
    if (line->child) {
        token *tokens = line->child;
        line->child = nullptr;
        token_append_child(block, tokens);
    }
    token_free(line);
}

static void append_whole(token *block, token *t) {
    t->tail = t;
    token_append_child(block, t);
}

// What becomes of a block's child when the block is flattened, by its type.
enum class LineFate : unsigned char {
    kWhole,            // joins the block whole (a nested block, a fence line)
    kMove,             // gives the block its tokens
    kSetext,           // an underline: dropped under its heading, else moved
    kDefinitionLine,   // moved, without its colon inside a definition
    kTableLine,        // a row inside a table, else moved
    kDefinitionBlock,  // a definition in a list of definitions
};

// One look-up a line rather than a chain of tests on its type: most lines
// of most blocks take the first fate, and the rest would mispredict.
static constexpr auto kLineFates = [] {
    std::array<LineFate, kTokenTypeCount> fates{};
    for (int type : {LINE_FALLBACK_PLAIN, LINE_PLAIN, LINE_INDENTED_TAB, LINE_INDENTED_SPACE, LINE_ATX_1,
                     LINE_ATX_2, LINE_ATX_3, LINE_ATX_4, LINE_ATX_5, LINE_ATX_6, LINE_BLOCKQUOTE,
                     LINE_LIST_BULLETED, LINE_LIST_ENUMERATED, LINE_DEF_ABBREVIATION, LINE_DEF_CITATION,
                     LINE_DEF_FOOTNOTE, LINE_DEF_GLOSSARY, LINE_DEF_LINK, LINE_META, LINE_HTML_COMMENT_STOP,
                     LINE_EMPTY, LINE_HTML_COMMENT_START})
        fates[type] = LineFate::kMove;
    fates[LINE_SETEXT_1] = fates[LINE_SETEXT_2] = LineFate::kSetext;
    fates[LINE_DEFINITION] = LineFate::kDefinitionLine;
    fates[LINE_TABLE] = fates[LINE_TABLE_SEPARATOR] = LineFate::kTableLine;
    fates[BLOCK_DEFINITION] = LineFate::kDefinitionBlock;
    return fates;
}();

static LineFate line_fate(unsigned type) {
    return type < kTokenTypeCount ? kLineFates[type] : LineFate::kWhole;
}

// The token types the HTML writer prints as their source, escaped, with
// nothing of its own: most of those in a code block's line, not those it
// leaves out or writes otherwise, nor CriticMarkup's (other lists point to
// them).
static constexpr auto kPrintsAsSource = [] {
    std::array<bool, kTokenTypeCount> printed{};
    for (int type = 0; type < kTokenTypeCount; type++)
        printed[type] = type < CRITIC_ADD_OPEN || type > PAIR_CRITIC_HI;
    for (int type : {CONSUMED, CODE_FENCE_LINE, MARKER_LIST_BULLET, MARKER_LIST_ENUMERATOR, MATH_PAREN_OPEN,
                     MATH_PAREN_CLOSE, MATH_BRACKET_OPEN, MATH_BRACKET_CLOSE, MATH_DOLLAR_SINGLE,
                     MATH_DOLLAR_DOUBLE, SUPERSCRIPT, SUBSCRIPT})
        printed[type] = false;
    return printed;
}();

// Whether the HTML writer prints the token as its source, escaped: a token
// of such a type with no mate and no children. Asked of every token of a
// code line, whose kinds follow one another unpredictably: one look-up and
// no branch.
static bool prints_as_escaped_source(const token *t) {
    unsigned bare = unsigned(!t->child) & unsigned(!t->mate);
    return bare & kPrintsAsSource[t->type < kTokenTypeCount ? t->type : unsigned(TEXT)];
}

// A code line of a fenced block whose tokens before its line end all print
// as their escaped source becomes one text token and its line end: code
// blocks hold a large share of the tokens of real documentation, and their
// lines are written as text whatever their tokens were. The freed tokens
// are carved again for the lines that follow.
static void code_line_as_text(token *line) {
    token *first = line->child;
    if (!first || first->type == CODE_FENCE_LINE)
        return;
    token *end = first->tail;
    if (end->type != NEWLINE && end->type != HARD_BREAK)
        end = nullptr;
    token *stop = end ? end : nullptr;
    if (first == stop || first->next == stop)
        return;
    for (token *t = first; t != stop; t = t->next)
        if (!prints_as_escaped_source(t))
            return;
    token *last = end ? end->prev : first->tail;
    token *text = token_new(TEXT, first->start, last->start + last->len - first->start);
    if (!text)
        return;
    line->child = nullptr;
    for (token *t = first; t != stop;) {
        token *next = t->next;
        t->next = nullptr;
        t->prev = nullptr;
        t->tail = nullptr;
        token_free(t);
        t = next;
    }
    token_append_child(line, text);
    if (end) {
        end->prev = nullptr;
        end->tail = end;
        token_append_child(line, end);
    }
}

// Whether blocks the grammar finishes now are the document's own, at the
// top, rather than those of a nested parse.
static bool at_top(const tzr_engine *engine) {
    return engine->block_pairing && engine->recurse_depth == engine->block_pairing_depth;
}

// Whether a line of a fenced code block gives the block its tokens (the
// others, fence lines among them, join it whole).
static bool code_line_moves(LineFate fate) {
    return fate != LineFate::kWhole && fate != LineFate::kDefinitionBlock;
}

// The code of a fenced block at the top, in a conversion to HTML of its own,
// becomes one text as far as its bytes follow each other. No pairing walk
// enters such a block (in a list item or a quote one does, and pairs may
// form there), so each token that prints as its escaped source prints so
// where it stands, as a text token does.
static void join_code(token *block, token *line) {
    token *t = line->child;
    line->child = nullptr;
    token_free(line);
    while (t) {
        token *next = t->next;
        t->next = nullptr;
        t->prev = nullptr;
        t->tail = t;
        token *last = block->child ? block->child->tail : nullptr;
        if (!prints_as_escaped_source(t)) {
            token_append_child(block, t);
        } else if (last && last->type == TEXT && last->start + last->len == t->start) {
            last->len += t->len;
            block->len = last->start + last->len - block->start;
            token_free(t);
        } else {
            t->type = TEXT;
            token_append_child(block, t);
        }
        t = next;
    }
}

// Moves the block's lines' tokens into the block. Whether the block is
// code at the top is asked once a block, not once a line: the loop is made
// for each answer.
template <bool CodeAtTop>
static void flatten_lines(tzr_engine *engine, token *block) {
    const char *source = engine_text(engine);
    token *c = block->child;
    block->child = nullptr;
    while (c) {
        // Each line is cut loose before it is moved; the next one loses its
        // link back when its turn comes, as nothing reaches it before.
        token *next = c->next;
        c->next = nullptr;
        c->prev = nullptr;

        LineFate fate = line_fate(c->type);
        if (CodeAtTop && code_line_moves(fate)) {
            join_code(block, c);
            c = next;
            continue;
        }
        if (block->type != BLOCK_CODE_FENCED && c->child && c->child->type == NON_INDENT_SPACE)
            token_remove_first_child(c);
        if (block->type == BLOCK_CODE_FENCED && engine->converts_to_html)
            code_line_as_text(c);

        if (fate == LineFate::kMove) {
            move_tokens(engine, block, c);
            c = next;
            continue;
        }
        switch (fate) {
        case LineFate::kSetext:
            if (block->type == BLOCK_SETEXT_1 || block->type == BLOCK_SETEXT_2) {
                token_free(c);
                break;
            }
            if (block->type == BLOCK_DEFINITION)
                token_remove_first_child(c);
            move_tokens(engine, block, c);
            break;
        case LineFate::kDefinitionLine:
            if (block->type == BLOCK_DEFINITION)
                token_remove_first_child(c);
            move_tokens(engine, block, c);
            break;
        case LineFate::kTableLine:
            if (block->type == BLOCK_TABLE_SECTION) {
                c->type = TABLE_ROW;
            } else if (block->type == BLOCK_TABLE_HEADER) {
                if (c->type == LINE_TABLE)
                    c->type = TABLE_ROW;
            } else {
                move_tokens(engine, block, c);
                break;
            }
            make_cells(c);
            append_whole(block, c);
            break;
        case LineFate::kDefinitionBlock:
            if (c->child)
                c->child->type = LINE_PLAIN;
            tzr_flatten_block(engine, c);
            if (c->child && c->child->start > 0 && c->child->start <= engine->source->length &&
                source[c->child->start - 1] == ':')
                token_append_child(block, must(token_new(COLON, c->child->start - 1, 1)));
            if (c->child) {
                token *tokens = c->child;
                c->child = nullptr;
                token_append_child(block, tokens);
            }
            token_free(c);
            break;
        default:
            append_whole(block, c);
            break;
        }
        c = next;
    }
}

// Flattens a block of a kind of its own; false when its lines are then
// flattened as any block's are.
static bool flatten_own_way(tzr_engine *engine, token *block) {
    switch (block->type) {
    case BLOCK_DEFLIST:
        for (token *c = block->child; c; c = c->next) {
            if (c->type == LINE_PLAIN) {
                c->type = BLOCK_TERM;
            } else if (c->type > DOC_ROOT && c->type < BLOCK_BLOCKQUOTE && c->type != LINE_EMPTY) {
                // Any other line of a term paragraph (an indented or table-like
                // continuation) is a term too; left as a line it would reach
                // the writers, which know no line types. Its indentation goes.
                c->type = BLOCK_TERM;
                for (token *t = c->child; t && (t->type == INDENT_SPACE || t->type == INDENT_TAB ||
                                               t->type == NON_INDENT_SPACE);
                     t = t->next)
                    t->type = CONSUMED;
            } else if (c->type == BLOCK_DEFINITION)
                tzr_flatten_block(engine, c);
            else if (c->type == LINE_EMPTY)
                c->type = CONSUMED;
        }
        return true;
    case BLOCK_TABLE:
        for (token *c = block->child; c; c = c->next) {
            if (c->type == BLOCK_TABLE_HEADER || c->type == BLOCK_TABLE_SECTION)
                tzr_flatten_block(engine, c);
            else if (c->type == LINE_EMPTY)
                c->type = CONSUMED;
        }
        return true;
    case BLOCK_META:
        tzr_parse_metadata_block(engine, block);
        return true;
    case BLOCK_CODE_INDENTED:
        while (block->child->next && block->child->tail &&
               block->child->tail->type == LINE_EMPTY)
            token_remove_last_child(block);
        break;
    default:
        break;
    }
    return false;
}

void tzr_flatten_block(tzr_engine *engine, token *block) {
    if (!engine || !block || !block->child)
        return;
    if (flatten_own_way(engine, block))
        return;
    if (block->type == BLOCK_CODE_FENCED && engine->converts_to_html && at_top(engine))
        flatten_lines<true>(engine, block);
    else
        flatten_lines<false>(engine, block);
}

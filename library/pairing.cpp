#include "library/pairing.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "library/char.h"
#include "library/engine.h"
#include "library/token_types.h"
#include "library/tzr.h"

static constexpr unsigned kMatchDepthLimit = 1000;
// Above this many pending openers a closer first checks the per-type
// counters, so that a closer no opener can take costs no stack search.
static constexpr size_t kCounterShortcut = 1000;

token_pair_engine *token_pair_engine_new() {
    return static_cast<token_pair_engine *>(calloc(1, sizeof(token_pair_engine)));
}

void token_pair_engine_add_pairing(token_pair_engine *e, unsigned short opener,
                                   unsigned short closer, unsigned short pair_type,
                                   unsigned short options) {
    if (e)
        token_pair_table_add(*e, opener, closer, pair_type, options);
}

void token_pair_engine_free(token_pair_engine *e) { free(e); }

void token_set_mates(token *a, token *b) {
    if (!a || !b)
        return;
    a->mate = b;
    b->mate = a;
    a->unmatched = 0;
    b->unmatched = 0;
}

static inline unsigned pair_of(const token_pair_engine *e, unsigned opener, unsigned closer) {
    if (opener >= (unsigned)kPairTypes || closer >= (unsigned)kPairTypes)
        return 0;
    return e->cell[kPairMatrix + opener * kPairTypes + closer];
}

static inline bool registered(const token_pair_engine *e, int row, unsigned type) {
    return type < (unsigned)kPairTypes && e->cell[row + type];
}

// --- Matching ----------------------------------------------------------------

namespace {

struct MatchFrame {
    token *next;          // next token of the chain to look at
    token *pending;       // token whose children are being matched, or NULL
    size_t base;          // work-stack count on entry
    unsigned depth;
    bool literal;         // inside a code span or math
};

bool literal_container(unsigned type) { return type == PAIR_BACKTICK || type == PAIR_MATH; }

// The opener counters: one row of 230 per open frame, on the heap. A row is
// all zero whenever its frame opens: a closing frame zeroes just the counts
// of the openers it leaves, so no row is ever cleared whole (that cost more
// than the matching itself on documents of many small blocks).
struct Counters {
    std::vector<uint32_t> rows;
    uint32_t *row(size_t level) { return rows.data() + level * kPairTypes; }
    void open_level(size_t level) {
        if (rows.size() < (level + 1) * kPairTypes)
            rows.resize((level + 1) * kPairTypes);
    }
    void close_level(size_t level, const stack *work, size_t base) {
        uint32_t *counts = row(level);
        for (size_t i = base; i < work->size; i++) {
            auto *t = static_cast<const token *>(work->element[i]);
            if (t->type < kPairTypes)
                counts[t->type] = 0;
        }
    }
};

// The counters of every walk on this thread.
Counters &match_counters() {
    thread_local Counters counters;
    return counters;
}

}  // namespace

// Pairs one token with the openers on the work stack or pushes it as an
// opener; returns the token the walk goes on with. `literal` tells that the
// token lies in a code span or math, whose marks never become emphasis.
// Inline: the walk calls it for every opener and closer, and entering and
// leaving a call was a tenth of its instructions.
[[gnu::always_inline]] static inline token *match_one(token *t, const token_pair_engine *e,
                                                      stack *work, size_t base, uint32_t *counter,
                                                      bool literal, token_pair_tally *tally) {
    token *next = t->next;
    if (t->can_close && registered(e, kPairCanClose, t->type) && t->unmatched) {
        bool search = true;
        if (work->size - base > kCounterShortcut) {
            search = false;
            for (unsigned type = 0; type < (unsigned)kPairTypes; type++) {
                if (counter[type] && pair_of(e, type, t->type)) {
                    search = true;
                    break;
                }
            }
        }
        size_t found = 0;
        unsigned pair = 0;
        bool matched = false;
        for (size_t i = work->size; search && i > base; i--) {
            token *o = static_cast<token *>(work->element[i - 1]);
            unsigned p = pair_of(e, o->type, t->type);
            if (!p)
                continue;
            if (!e->cell[kPairOptionEmpty + p] && o->next == t && o->start + o->len == t->start)
                break;
            if (!e->cell[kPairOptionLength + p] || o->len == t->len) {
                found = i - 1;
                pair = p;
                matched = true;
                break;
            }
        }
        if (matched) {
            token *o = static_cast<token *>(work->element[found]);
            token_set_mates(o, t);
            if (tally) {
                if (pair >= PAIR_BRACKET && pair <= PAIR_BRACKET_VARIABLE && t->start >= o->start) {
                    size_t span = t->start + t->len - o->start;
                    if (span > tally->longest_bracket)
                        tally->longest_bracket = span;
                }
                if ((pair == PAIR_STAR || pair == PAIR_UL) && !literal && tally->emphasis_openers)
                    tally->emphasis_openers->push_back(o);
            }
            for (size_t i = work->size; i > found; i--) {
                token *dropped = static_cast<token *>(work->element[i - 1]);
                if (dropped->type < kPairTypes && counter[dropped->type])
                    counter[dropped->type]--;
            }
            work->size = found;
            if (e->cell[kPairOptionPrune + pair]) {
                token *container = token_wrap_range(o, t, pair);
                return container->next;
            }
        }
    }
    if (t->can_open && registered(e, kPairCanOpen, t->type) && t->unmatched) {
        if (work->size < work->capacity)
            work->element[work->size++] = t;
        else
            stack_push(work, t);
        counter[t->type]++;
    }
    return next;
}

namespace {

// What the block walk does with a token: match its descendants, walk its
// children, or both.
struct BlockAction {
    bool match = false;
    bool walk = false;
};

constexpr BlockAction block_action_of(unsigned type) {
    switch (type) {
    case DOC_ROOT:
    case BLOCK_LIST_BULLETED:
    case BLOCK_LIST_BULLETED_LOOSE:
    case BLOCK_LIST_ENUMERATED:
    case BLOCK_LIST_ENUMERATED_LOOSE:
        return {false, true};
    case LINE_TABLE:
    case BLOCK_TABLE:
    case BLOCK_LIST_ITEM:
    case BLOCK_LIST_ITEM_TEXT:
        return {true, true};
    case BLOCK_BLOCKQUOTE:
    case BLOCK_DEFLIST:
    case BLOCK_DEFINITION:
    case BLOCK_DEF_ABBREVIATION:
    case BLOCK_DEF_CITATION:
    case BLOCK_DEF_GLOSSARY:
    case BLOCK_DEF_FOOTNOTE:
    case BLOCK_DEF_LINK:
    case BLOCK_H1:
    case BLOCK_H2:
    case BLOCK_H3:
    case BLOCK_H4:
    case BLOCK_H5:
    case BLOCK_H6:
    case BLOCK_PARA:
    case BLOCK_SETEXT_1:
    case BLOCK_SETEXT_2:
    case BLOCK_TERM:
        return {true, false};
    default:
        return {};
    }
}

// The actions by type, looked up rather than switched on: the block types
// follow one another in no order a jump could learn.
constexpr auto kBlockActions = [] {
    std::array<BlockAction, BLOCK_TOC + 1> actions{};
    for (unsigned type = 0; type <= BLOCK_TOC; type++)
        actions[type] = block_action_of(type);
    return actions;
}();

BlockAction block_action(unsigned type) {
    return type <= BLOCK_TOC ? kBlockActions[type] : BlockAction{};
}

// A block the block walk matches or walks on its own.
bool walked_block(unsigned type) {
    if (type == DOC_ROOT)
        return false;
    BlockAction action = block_action(type);
    return action.match || action.walk;
}

// Matches the descendants of `parent`. With `leave_walked`, the parent's
// own children that the block walk visits anyway are not entered: the walk
// matches each of them once on its own.
void match_descendants(token *parent, const token_pair_engine *e, stack *work, unsigned short depth,
                       bool leave_walked, token_pair_tally *tally) {
    if (!parent || !e || !work || depth >= kMatchDepthLimit)
        return;
    // Kept between calls (one set per thread): most calls match one small block.
    thread_local std::vector<MatchFrame> frames;
    Counters &counters = match_counters();
    frames.clear();
    frames.push_back({parent->child, nullptr, work->size, depth, literal_container(parent->type)});
    counters.open_level(0);
    while (!frames.empty()) {
        size_t level = frames.size() - 1;
        MatchFrame &f = frames[level];
        token *t = f.pending;
        if (t) {
            // The children of `t` are done; now `t` itself.
            f.pending = nullptr;
            f.next = match_one(t, e, work, f.base, counters.row(level), f.literal, tally);
            continue;
        }
        // Most tokens have no children and neither open nor close anything
        // of this table: a run of them is passed over here, at a few
        // instructions a token rather than a turn of the frame loop each.
        // A large block (a long list) has left the cache since the last pass
        // over it; its tokens lie mostly in creation order, so the memory a
        // page ahead is asked for as the run goes.
        t = f.next;
        while (t && !t->child && !registered(e, kPairOpensOrCloses, t->type)) {
            __builtin_prefetch(reinterpret_cast<const char *>(t) + 4096);
            t = t->next;
        }
        f.next = t;
        if (!t) {
            counters.close_level(level, work, f.base);
            work->size = f.base;
            frames.pop_back();
            continue;
        }
        __builtin_prefetch(reinterpret_cast<const char *>(t) + 4096);
        if (t->child && f.depth + 1 < kMatchDepthLimit &&
            !(leave_walked && level == 0 && walked_block(t->type))) {
            f.pending = t;
            unsigned child_depth = f.depth + 1;
            bool literal = f.literal || literal_container(t->type);
            frames.push_back({t->child, nullptr, work->size, child_depth, literal});
            counters.open_level(level + 1);
            continue;
        }
        if (!registered(e, kPairOpensOrCloses, t->type)) {
            f.next = t->next;
            continue;
        }
        f.next = match_one(t, e, work, f.base, counters.row(level), f.literal, tally);
    }
}

}  // namespace

void token_pairs_match(token *parent, const token_pair_engine *e, stack *work, unsigned short depth,
                       token_pair_tally *tally) {
    match_descendants(parent, e, work, depth, false, tally);
}

namespace {

// Matches the given tokens, all of one chain and in its order, as the walk
// over that chain would when they are all that opens or closes anything of
// the table in it and below it: the walk would stop at them alone.
void match_listed(const std::vector<token *> &tokens, const token_pair_engine *e, stack *work,
                  token_pair_tally *tally) {
    Counters &counters = match_counters();
    counters.open_level(0);
    size_t base = work->size;
    for (token *t : tokens)
        if (registered(e, kPairOpensOrCloses, t->type))
            match_one(t, e, work, base, counters.row(0), false, tally);
    counters.close_level(0, work, base);
    work->size = base;
}

}  // namespace

// --- Block walk --------------------------------------------------------------

void tzr_pair_block(token *t, const token_pair_engine *e, stack *work, token_pair_tally *tally) {
    if (!t)
        return;
    // Kept between calls (one set per thread), as the matcher's frames are:
    // the walk runs for every table on every block. The walk never calls
    // itself, so one set serves.
    thread_local std::vector<token *> todo;
    thread_local std::vector<token *> children;
    todo.clear();
    todo.push_back(t);
    while (!todo.empty()) {
        token *b = todo.back();
        todo.pop_back();
        BlockAction action = block_action(b->type);
        // A block that is both matched and walked leaves its walked children
        // to the walk: matching them twice would cost time for every level
        // of nesting and, worse, let an opener dropped by the first match
        // pair across a finished pair in the second.
        if (action.match)
            match_descendants(b, e, work, 0, action.walk, tally);
        if (action.walk) {
            children.clear();
            for (token *c = b->child; c; c = c->next)
                children.push_back(c);
            for (size_t i = children.size(); i > 0; i--)
                todo.push_back(children[i - 1]);
        }
    }
}

void tzr_pair_block_chain(token *first, const token_pair_engine *e, stack *work,
                          token_pair_tally *tally) {
    for (token *t = first; t; t = t->next)
        tzr_pair_block(t, e, work, tally);
}

// --- Pair kinds --------------------------------------------------------------

namespace {

// What the tokens of a block can take part in during the pairing stage:
// for each table one bit for its openers and one for its closers.
// A table finds no pair in a block that lacks its openers or its closers,
// and the walk for it can be skipped; on most blocks that is most tables.
constexpr size_t kTables = 4;
// The tables' places in the order they run.
constexpr size_t kCriticTable = 0, kCommentTable = 1;

constexpr unsigned opener_kind(size_t table) { return 1u << (2 * table); }
constexpr unsigned closer_kind(size_t table) { return 2u << (2 * table); }
constexpr unsigned kCommentKinds = opener_kind(kCommentTable) | closer_kind(kCommentTable);

struct PairKinds {
    uint16_t of_type[kPairTypes] = {};

    explicit PairKinds(const token_pair_engine *const (&tables)[kTables]) {
        for (size_t i = 0; i < kTables; i++) {
            if (!tables[i])
                continue;
            for (unsigned type = 0; type < (unsigned)kPairTypes; type++) {
                if (registered(tables[i], kPairCanOpen, type))
                    of_type[type] |= opener_kind(i);
                if (registered(tables[i], kPairCanClose, type))
                    of_type[type] |= closer_kind(i);
            }
        }
    }

    // The kinds of `t` and all its descendants. Neither matching nor
    // emphasis creates tokens of these types, so a block's kinds do not
    // grow while it goes through the tables.
    unsigned of_subtree(const token *t) const {
        unsigned kinds = t->type < kPairTypes ? of_type[t->type] : 0;
        return t->child ? kinds | of_chains(t->child) : kinds;
    }

    // The kinds of the tokens of the chain from `first` on and below.
    unsigned of_chains(const token *first) const {
        thread_local std::vector<const token *> chains;
        chains.clear();
        chains.push_back(first);
        unsigned kinds = 0;
        while (!chains.empty()) {
            const token *c = chains.back();
            chains.pop_back();
            for (; c; c = c->next) {
                if (c->type < kPairTypes)
                    kinds |= of_type[c->type];
                if (c->child)
                    chains.push_back(c->child);
            }
        }
        return kinds;
    }

    static bool table_can_pair(unsigned kinds, size_t table) {
        unsigned both = opener_kind(table) | closer_kind(table);
        return (kinds & both) == both;
    }
};

}  // namespace

// --- Inline pass -------------------------------------------------------------

namespace {

struct Text {
    const char *s;
    size_t len;
    // The byte at `i`, or NUL past the end.
    unsigned char at(size_t i) const { return i < len ? (unsigned char)s[i] : 0; }
};

bool blank(unsigned char c) { return char_is_whitespace_or_line_ending(c); }
bool boundary(unsigned char c) { return char_is_whitespace_or_line_ending_or_punctuation(c); }
bool star_or_ul(unsigned char c) { return c == '*' || c == '_'; }
bool star(unsigned char c) { return c == '*'; }

// The byte run [lo, hi) around a position whose bytes all satisfy a
// predicate. Tokens of one run share it, so it is found once per run and
// long runs of delimiters cost linear time.
struct RunCache {
    bool (*in_run)(unsigned char);
    size_t lo = 1, hi = 0;  // empty
    void around(const Text &src, size_t pos, size_t *run_lo, size_t *run_hi) {
        if (!(pos >= lo && pos < hi)) {
            lo = hi = pos;
            while (lo > 0 && in_run(src.at(lo - 1)))
                lo--;
            while (hi < src.len && in_run(src.at(hi)))
                hi++;
        }
        *run_lo = lo;
        *run_hi = hi;
    }
};

struct InlineRuns {
    RunCache marks{star_or_ul};
    RunCache stars{star};
};

}  // namespace

static void inline_star(const Text &src, InlineRuns &runs, token *t) {
    size_t start = t->start;
    size_t end = t->start + t->len;
    if (t->len == 0 || !star(src.at(start)))
        return;
    size_t i = 0, j = 0;
    runs.marks.around(src, start, &i, &j);
    if (i == 0 || blank(src.at(i - 1)))
        t->can_close = 0;
    if (blank(src.at(j))) {
        t->can_open = 0;
        return;
    }
    if (!t->can_open || !t->can_close)
        return;

    size_t star_lo = 0, star_hi = 0;
    runs.stars.around(src, start, &star_lo, &star_hi);
    size_t before = start - star_lo;
    size_t after = star_hi > end ? star_hi - end : 0;
    size_t run = before + 1 + after;
    size_t run_start = start - before;
    size_t run_end = end + after;

    size_t lead = 0;
    if (run_start > 0) {
        size_t b = run_start - 1;
        while (b > 0 && !boundary(src.at(b)))
            b--;
        if (boundary(src.at(b))) {
            size_t k = b + 1;
            while (k > 0 && src.at(k - 1) == '*') {
                lead++;
                k--;
            }
        }
    }
    size_t e = run_end;
    while (!boundary(src.at(e)))
        e++;
    size_t trail = 0;
    while (src.at(e + trail) == '*')
        trail++;

    if (lead + trail == 0)
        return;
    if (run == lead + trail) {
        if (lead == trail) {
            t->can_open = 0;
            t->can_close = 0;
        } else if (lead == 0) {
            t->can_close = 0;
        } else if (trail == 0) {
            t->can_open = 0;
        }
        return;
    }
    if (run + trail == lead) {
        t->can_open = 0;
    } else if (run + lead == trail) {
        t->can_close = 0;
    } else {
        if (run != lead)
            t->can_close = 0;
        if (run != trail)
            t->can_open = 0;
    }
}

static void inline_ul(const Text &src, InlineRuns &runs, token *t) {
    if (t->len == 0 || !star_or_ul(src.at(t->start)))
        return;
    size_t i = 0, j = 0;
    runs.marks.around(src, t->start, &i, &j);
    if (i == 0 || blank(src.at(i - 1)))
        t->can_close = 0;
    else if (char_is_alphanumeric(src.at(i - 1)))
        t->can_open = 0;
    if (blank(src.at(j)))
        t->can_open = 0;
    else if (char_is_alphanumeric(src.at(j)))
        t->can_close = 0;
}

static void quote_rule(const Text &src, token *t) {
    if (t->start == 0 || blank(src.at(t->start - 1)))
        t->can_close = 0;
    if (blank(src.at(t->start + t->len)))
        t->can_open = 0;
}

static void inline_single_quote(const Text &src, token *t) {
    if (t->start > 0) {
        unsigned char before = src.at(t->start - 1);
        size_t end = t->start + t->len;
        unsigned char after = src.at(end);
        if ((!boundary(before) && !boundary(after)) ||
            (char_is_punctuation(before) && (after == 's' || after == 'S') &&
             boundary(src.at(end + 1)))) {
            t->type = APOSTROPHE;
            return;
        }
    }
    quote_rule(src, t);
}

static void inline_dollar(const Text &src, token *t) {
    if (t->start == 0 || blank(src.at(t->start - 1)))
        t->can_close = 0;
    else if (!boundary(src.at(t->start - 1)))
        t->can_open = 0;
    unsigned char after = src.at(t->start + t->len);
    if (blank(after))
        t->can_open = 0;
    else if (!char_is_punctuation(after))
        t->can_close = 0;
}

// Removes `t` (not the head) from the chain that `parent` holds.
static void chain_drop(token *parent, token *t) {
    token *head = parent->child;
    if (head && head->tail == t)
        head->tail = t->prev;
    if (t->prev)
        t->prev->next = t->next;
    if (t->next)
        t->next->prev = t->prev;
    t->next = t->prev = nullptr;
    token_free(t);
}

static void inline_script(const Text &src, token *parent, token *t) {
    char marker = src.at(t->start);
    size_t end = t->start + t->len;
    if (t->start > 0 && blank(src.at(t->start - 1)))
        t->can_close = 0;
    if (blank(src.at(end)))
        t->can_open = 0;
    if (t->can_close) {
        bool found = false;
        for (size_t i = t->start; i > 0 && !blank(src.at(i - 1)); i--) {
            if (src.at(i - 1) == (unsigned char)marker) {
                found = true;
                break;
            }
        }
        t->can_close = found;
    }
    if (t->can_open) {
        bool found = false;
        for (size_t i = end; !blank(src.at(i)); i++) {
            if (src.at(i) == (unsigned char)marker) {
                found = true;
                break;
            }
        }
        t->can_open = found;
    }
    if (t->can_open || t->can_close)
        return;
    // The marker applies to the rest of the word.
    size_t stop = end;
    while (!boundary(src.at(stop)))
        stop++;
    if (stop == end)
        return;  // nothing follows the marker: it stays a lone character
    while (t->next) {
        token *n = t->next;
        if (n->start + n->len <= stop) {
            chain_drop(parent, n);
            continue;
        }
        if ((n->type == TEXT || n->type == ENUMERATOR) && n->start < stop) {
            n->len -= stop - n->start;
            n->start = stop;
        }
        break;
    }
    token *word = token_new(TEXT, end, stop - end);
    if (!word)
        return;
    t->len = stop - t->start;
    token_tree_free(t->child);
    t->child = word;
}

static constexpr bool inline_container(unsigned type) {
    switch (type) {
    case DOC_ROOT:
    case LINE_LIST_BULLETED:
    case LINE_LIST_ENUMERATED:
    case BLOCK_BLOCKQUOTE:
    case BLOCK_DEFLIST:
    case BLOCK_DEFINITION:
    case BLOCK_DEF_ABBREVIATION:
    case BLOCK_DEF_CITATION:
    case BLOCK_DEF_FOOTNOTE:
    case BLOCK_DEF_GLOSSARY:
    case BLOCK_H1:
    case BLOCK_H2:
    case BLOCK_H3:
    case BLOCK_H4:
    case BLOCK_H5:
    case BLOCK_H6:
    case BLOCK_LIST_BULLETED:
    case BLOCK_LIST_BULLETED_LOOSE:
    case BLOCK_LIST_ENUMERATED:
    case BLOCK_LIST_ENUMERATED_LOOSE:
    case BLOCK_LIST_ITEM:
    case BLOCK_LIST_ITEM_TEXT:
    case BLOCK_PARA:
    case BLOCK_SETEXT_1:
    case BLOCK_SETEXT_2:
    case BLOCK_TABLE:
    case BLOCK_TABLE_HEADER:
    case BLOCK_TABLE_SECTION:
    case BLOCK_TERM:
    case TABLE_ROW:
    case TABLE_CELL:
        return true;
    default:
        return false;
    }
}

// The types the inline pass acts on: the containers it enters and the
// delimiters its rules judge. Every other token (most of them: text, blanks,
// brackets) it passes over with one look into this table.
static constexpr auto kInlineRuleTypes = [] {
    static_assert(TABLE_CELL < kPairTypes);
    std::array<uint8_t, kPairTypes> acts{};
    for (unsigned type = 0; type <= TABLE_CELL; type++)
        acts[type] = inline_container(type);
    for (unsigned type :
         {BLOCK_META, CRITIC_SUB_DIV, STAR, UL, BACKTICK, DASH_N, QUOTE_SINGLE, QUOTE_DOUBLE,
          MATH_DOLLAR_SINGLE, MATH_DOLLAR_DOUBLE, SUPERSCRIPT, SUBSCRIPT})
        acts[type] = true;
    return acts;
}();

namespace {

// The inline pass decides, from the bytes around them, which delimiters may
// open or close, and retypes or reshapes a few. It reads nothing of the tree
// but a token and the tokens after it in its chain, so it can run on one
// block of the root just before that block is paired, while its tokens are
// in the cache. While it goes it gathers the kinds of the tokens it leaves.
class InlinePass {
  public:
    InlinePass(tzr_engine *engine, const PairKinds &kinds)
        : ext_(engine->extensions), kinds_(kinds) {
        if (engine->source && engine->source->str)
            src_ = Text{engine->source->str, engine->source->length};
    }

    // The pass over the chain `parent` holds and below; returns the kinds of
    // all the tokens under `parent`.
    unsigned below(token *parent) {
        listed_chain_ = nullptr;
        comments_listed_ = false;
        return pass_below(parent);
    }

    // The pass over `t`, a token of the chain `parent` holds, and below;
    // returns the kinds of `t` and all the tokens under it. Lists the marks
    // of HTML comments it meets in the chain `t` holds, in their order.
    unsigned at(token *parent, token *t) {
        comment_marks_.clear();
        listed_chain_ = t;
        comments_listed_ = true;
        if (!rules(parent, t)) {
            comments_listed_ = false;
            return kinds_.of_subtree(t);
        }
        return kinds_.of_type[t->type] | pass_below(t);
    }

    // Whether every mark of an HTML comment under `t`, the token the last
    // `at` passed over, lies in the chain `t` holds, listed by
    // comment_marks(): that chain's walk for comments then stops at them
    // alone, and nothing below it has any.
    bool comments_listed(const token *t) const { return comments_listed_ && listed_chain_ == t; }
    const std::vector<token *> &comment_marks() const { return comment_marks_; }

  private:
    unsigned pass_below(token *parent) {
        unsigned kinds = 0;
        parents_.clear();
        parents_.push_back(parent);
        while (!parents_.empty()) {
            token *p = parents_.back();
            parents_.pop_back();
            for (token *t = p->child; t; t = t->next) {
                // Most tokens have no rule and no children: all they add
                // is their kind, found with one test of the token.
                unsigned type = t->type;
                if (type < (unsigned)kPairTypes && !(kInlineRuleTypes[type] | bool(t->child))) {
                    unsigned kind = kinds_.of_type[type];
                    kinds |= kind;
                    if (kind & kCommentKinds) {
                        if (p == listed_chain_)
                            comment_marks_.push_back(t);
                        else
                            comments_listed_ = false;
                    }
                    continue;
                }
                unsigned kind;
                if (rules(p, t)) {
                    parents_.push_back(t);
                    kind = kinds_.of_type[t->type];
                } else {
                    kind = kinds_.of_subtree(t);
                }
                kinds |= kind;
                if (kind & kCommentKinds)
                    comments_listed_ = false;
            }
        }
        return kinds;
    }

    // The rules for `t`, a token of the chain `p` holds; they may change the
    // tokens after it in the chain. Returns whether the pass goes on into
    // the children of `t`.
    bool rules(token *p, token *t) {
        return t->type <= TABLE_CELL && kInlineRuleTypes[t->type] && act(p, t);
    }
    bool act(token *p, token *t);

    Text src_{"", 0};
    uint64_t ext_;
    const PairKinds &kinds_;
    InlineRuns runs_;
    std::vector<token *> parents_;
    std::vector<token *> comment_marks_;
    const token *listed_chain_ = nullptr;
    bool comments_listed_ = false;
};

bool InlinePass::act(token *p, token *t) {
    // A token outside the source is left alone.
    bool in_source = t->start <= src_.len && t->len <= src_.len - t->start;
    if (!in_source || t->type > TABLE_CELL)
        return false;
    if (inline_container(t->type))
        return true;
    switch (t->type) {
    case BLOCK_META:
        if (ext_ & (TZR_EXT_COMPATIBILITY | TZR_EXT_NO_METADATA)) {
            t->type = BLOCK_PARA;
            return true;
        }
        break;
    case CRITIC_SUB_DIV: {
        // Split into its two halves; the rules leave the second half,
        // which comes next in the chain, as it is.
        token *b = token_new(CRITIC_SUB_DIV_B, t->start + 1, 1);
        if (!b)
            break;
        token_tree_free(t->child);
        t->child = nullptr;
        t->type = CRITIC_SUB_DIV_A;
        t->len = 1;
        b->next = t->next;
        b->prev = t;
        if (t->next)
            t->next->prev = b;
        else if (p->child)
            p->child->tail = b;
        t->next = b;
        break;
    }
    case STAR:
        inline_star(src_, runs_, t);
        break;
    case UL:
        inline_ul(src_, runs_, t);
        break;
    case BACKTICK:
        if (t->len == 2 && t->start == 0)
            t->can_close = 0;
        break;
    case DASH_N:
        if ((ext_ & TZR_EXT_SMART) && t->len == 1) {
            bool digits = t->start > 0 && char_is_digit(src_.at(t->start - 1)) &&
                          char_is_digit(src_.at(t->start + 1));
            if (!digits)
                t->type = TEXT;
        }
        break;
    case QUOTE_SINGLE:
        inline_single_quote(src_, t);
        break;
    case QUOTE_DOUBLE:
        quote_rule(src_, t);
        break;
    case MATH_DOLLAR_SINGLE:
    case MATH_DOLLAR_DOUBLE:
        if (!(ext_ & TZR_EXT_COMPATIBILITY))
            inline_dollar(src_, t);
        break;
    case SUPERSCRIPT:
    case SUBSCRIPT:
        if (ext_ & TZR_EXT_COMPATIBILITY)
            t->type = TEXT;
        else
            inline_script(src_, p, t);
        break;
    default:
        break;
    }
    return false;
}

}  // namespace

// --- Emphasis pass -----------------------------------------------------------

// Takes `t` out of its chain; it is freed once the pass is over, so that no
// opener still to come can be carved again in its place.
static void unlink_inner(token *t, std::vector<token *> &spent) {
    t->prev->next = t->next;
    t->next->prev = t->prev;
    t->next = t->prev = nullptr;
    t->mate = nullptr;
    spent.push_back(t);
}

void tzr_pair_emphasis(std::vector<token *> &openers) {
    // The openers came in the order their pairs closed, an inner pair before
    // the pair around it; taken backwards, each pair is seen before the
    // pairs inside it, and a pair of double marks ("**") still finds its
    // inner pair as marks. Pairs of different chains never meet.
    if (openers.empty())
        return;
    thread_local std::vector<token *> spent;
    spent.clear();
    for (size_t i = openers.size(); i > 0; i--) {
        token *a = openers[i - 1];
        if (!((a->type == STAR || a->type == UL) && a->mate && !a->unmatched &&
              a->mate->start > a->start))
            continue;  // taken into a strong pair around it
        token *b = a->mate;
        token *n = a->next;
        if (n && n->type == a->type && n->mate && n->mate != a && n->mate == b->prev &&
            n->mate != n && a->start + a->len == n->start &&
            b->start == n->mate->start + n->mate->len && n->mate->start > n->start &&
            b->start > 0) {
            token *n_mate = n->mate;
            a->type = STRONG_START;
            a->len = 2;
            b->type = STRONG_STOP;
            b->start -= 1;
            b->len = 2;
            unlink_inner(n_mate, spent);
            unlink_inner(n, spent);
            token_wrap_range(a, b, PAIR_STRONG);
        } else {
            a->type = EMPH_START;
            b->type = EMPH_STOP;
            token_wrap_range(a, b, PAIR_EMPH);
        }
    }
    for (token *t : spent)
        token_free(t);
    openers.clear();
}

// The engine's pairing tables, in the order they run.
struct EngineTables {
    const token_pair_engine *const all[kTables];
    explicit EngineTables(tzr_engine *engine)
        : all{engine->critic_pairings, engine->html_comment_pairings, engine->bracket_pairings,
              engine->span_pairings} {}
};

void tzr_pair_inline_tokens(tzr_engine *engine, token *parent) {
    if (!engine || !parent)
        return;
    const PairKinds kinds_of(EngineTables(engine).all);
    InlinePass(engine, kinds_of).below(parent);
}

// Pairs the top-level blocks of one tree, one block at a time: the inline
// pass, every table that can pair something in the block, then emphasis.
// No pair reaches from one top-level block into another, so a block can be
// paired as soon as it is finished, while its tokens are still in the cache:
// on large documents one pass per table over the whole tree cost twice the
// time per byte.
class tzr_block_pairing {
  public:
    explicit tzr_block_pairing(tzr_engine *engine)
        : engine_(engine), tables_(engine), kinds_of_(tables_.all), inline_pass_(engine, kinds_of_),
          work_(stack_new(0)) {}
    ~tzr_block_pairing() { stack_free(work_); }
    tzr_block_pairing(const tzr_block_pairing &) = delete;
    tzr_block_pairing &operator=(const tzr_block_pairing &) = delete;

    // `block` is a token of the chain `parent` holds; the tokens after it
    // are left alone.
    void pair(token *parent, token *block) {
        unsigned kinds = inline_pass_.at(parent, block);
        token_pair_tally tally{engine_->longest_bracket, &emphasis_};
        // The tables that can pair something here, found without a branch
        // each, then walked in order.
        unsigned walks = 0;
        for (size_t i = 0; i < kTables; i++)
            walks |= unsigned(PairKinds::table_can_pair(kinds, i)) << i;
        // The comments' walk over a block matched whole (a paragraph, a
        // heading) would stop only at the marks the inline pass listed when
        // they all lie in the block's own chain and no critic pair can move
        // them first; they are matched from the list, and a long block is
        // not walked once more for a few comments.
        BlockAction action = block_action(block->type);
        bool listed = action.match && !action.walk && !(walks & (1u << kCriticTable)) &&
                      inline_pass_.comments_listed(block);
        for (; walks; walks &= walks - 1) {
            size_t table = __builtin_ctz(walks);
            if (table == kCommentTable && listed)
                match_listed(inline_pass_.comment_marks(), tables_.all[table], work_, &tally);
            else
                tzr_pair_block(block, tables_.all[table], work_, &tally);
        }
        engine_->longest_bracket = tally.longest_bracket;
        // Only the stars and underscores the matcher paired become emphasis:
        // the pass goes to them rather than over the whole block again.
        tzr_pair_emphasis(emphasis_);
    }

    // A tree that is not a document: everything under `root` at once.
    void pair_whole(token *root) {
        inline_pass_.below(root);
        token_pair_tally tally{engine_->longest_bracket, &emphasis_};
        for (const token_pair_engine *table : tables_.all)
            tzr_pair_block(root, table, work_, &tally);
        engine_->longest_bracket = tally.longest_bracket;
        tzr_pair_emphasis(emphasis_);
    }

  private:
    tzr_engine *engine_;
    const EngineTables tables_;
    const PairKinds kinds_of_;
    InlinePass inline_pass_;
    stack *work_;
    std::vector<token *> emphasis_;  // the openers of the pairs made
};

void tzr_pair_tree(tzr_engine *engine, token *root) {
    if (!engine || !root)
        return;
    tzr_block_pairing pairing(engine);
    if (root->type != DOC_ROOT) {
        pairing.pair_whole(root);
        return;
    }
    for (token *block = root->child; block; block = block->next)
        pairing.pair(root, block);
}

tzr_block_pairing *tzr_block_pairing_new(tzr_engine *engine) {
    return engine ? new (std::nothrow) tzr_block_pairing(engine) : nullptr;
}

void tzr_block_pairing_free(tzr_block_pairing *pairing) { delete pairing; }

void tzr_pair_finished_block(tzr_engine *engine, token *block) {
    if (!engine || !block || !engine->block_pairing ||
        engine->recurse_depth != engine->block_pairing_depth)
        return;
    // The block stands alone here: the grammar chains it to its
    // predecessors afterwards.
    token holder{};
    holder.child = block;
    engine->block_pairing->pair(&holder, block);
}

// The engine record's life cycle: creation with its pairing tables, the
// language, reset and free. Parsing is engine_parse.cpp's.
#include "library/engine.h"

#include <cstdlib>
#include <mutex>

#include "library/assets.h"
#include "library/block_parser.h"
#include "library/pairing.h"
#include "library/records.h"
#include "library/token_pool.h"
#include "library/tzr.h"

namespace {

struct Pairing {
    unsigned short opener, closer, pair, options;
};

// Pairing options by kind of delimiter. Most pairs become a token of their
// own, empty or not; a code span needs backtick runs of equal length and
// some content; the alternative double quote (backticks closed by two
// apostrophes) needs equal lengths and stays unwrapped; scripts, braces and
// raw-format markers are wrapped but never empty; stars and underscores are
// left unwrapped for the emphasis pass.
constexpr unsigned short kSpan = PAIRING_ALLOW_EMPTY | PAIRING_PRUNE_MATCH;
constexpr unsigned short kCodeSpan = PAIRING_MATCH_LENGTH | PAIRING_PRUNE_MATCH;
constexpr unsigned short kAltQuote = PAIRING_ALLOW_EMPTY | PAIRING_MATCH_LENGTH;
constexpr unsigned short kNonEmptySpan = PAIRING_PRUNE_MATCH;
constexpr unsigned short kEmphasis = 0;

// The four tables of an engine, in the order the walks run.
struct PairingTables {
    token_pair_engine critic, html_comment, bracket, span;
};

// The extension bits the tables depend on, as the index of their set.
constexpr unsigned kCriticVariant = 1, kNotesVariant = 2, kCompatVariant = 4;
constexpr unsigned kPairingVariants = 8;

unsigned pairing_variant(uint64_t ext) {
    return (ext & TZR_EXT_CRITIC ? kCriticVariant : 0) | (ext & TZR_EXT_NOTES ? kNotesVariant : 0) |
           (ext & TZR_EXT_COMPATIBILITY ? kCompatVariant : 0);
}

void fill_pairings(PairingTables &t, unsigned variant) {
    if (variant & kCriticVariant) {
        const Pairing marks[] = {
            {CRITIC_ADD_OPEN, CRITIC_ADD_CLOSE, PAIR_CRITIC_ADD, kSpan},
            {CRITIC_DEL_OPEN, CRITIC_DEL_CLOSE, PAIR_CRITIC_DEL, kSpan},
            {CRITIC_COM_OPEN, CRITIC_COM_CLOSE, PAIR_CRITIC_COM, kSpan},
            {CRITIC_SUB_OPEN, CRITIC_SUB_DIV_A, PAIR_CRITIC_SUB_DEL, kSpan},
            {CRITIC_SUB_DIV_B, CRITIC_SUB_CLOSE, PAIR_CRITIC_SUB_ADD, kSpan},
            {CRITIC_HI_OPEN, CRITIC_HI_CLOSE, PAIR_CRITIC_HI, kSpan},
        };
        for (const Pairing &p : marks)
            token_pair_table_add(t.critic, p.opener, p.closer, p.pair, p.options);
    }
    token_pair_table_add(t.html_comment, HTML_COMMENT_START, HTML_COMMENT_STOP, PAIR_HTML_COMMENT,
                         kSpan);

    token_pair_engine &b = t.bracket;
    token_pair_engine &s = t.span;
    bool notes = variant & kNotesVariant;
    // Registered in this order; options belong to the pair type.
    token_pair_table_add(b, BRACKET_LEFT, BRACKET_RIGHT, PAIR_BRACKET, kSpan);
    token_pair_table_add(b, BRACKET_CITATION_LEFT, BRACKET_RIGHT,
                         notes ? PAIR_BRACKET_CITATION : PAIR_BRACKET, kSpan);
    token_pair_table_add(b, BRACKET_FOOTNOTE_LEFT, BRACKET_RIGHT,
                         notes ? PAIR_BRACKET_FOOTNOTE : PAIR_BRACKET, kSpan);
    token_pair_table_add(b, BRACKET_GLOSSARY_LEFT, BRACKET_RIGHT,
                         notes ? PAIR_BRACKET_GLOSSARY : PAIR_BRACKET, kSpan);
    token_pair_table_add(b, BRACKET_ABBREVIATION_LEFT, BRACKET_RIGHT,
                         notes ? PAIR_BRACKET_ABBREVIATION : PAIR_BRACKET, kSpan);
    token_pair_table_add(b, BRACKET_VARIABLE_LEFT, BRACKET_RIGHT, PAIR_BRACKET_VARIABLE, kSpan);
    token_pair_table_add(b, BRACKET_IMAGE_LEFT, BRACKET_RIGHT, PAIR_BRACKET_IMAGE, kSpan);
    token_pair_table_add(b, PAREN_LEFT, PAREN_RIGHT, PAIR_PAREN, kSpan);
    token_pair_table_add(b, ANGLE_LEFT, ANGLE_RIGHT, PAIR_ANGLE, kSpan);
    token_pair_table_add(b, BRACE_DOUBLE_LEFT, BRACE_DOUBLE_RIGHT, PAIR_DOUBLE_BRACE, kSpan);
    token_pair_table_add(s, STAR, STAR, PAIR_STAR, kEmphasis);
    token_pair_table_add(s, UL, UL, PAIR_UL, kEmphasis);
    token_pair_table_add(b, BACKTICK, BACKTICK, PAIR_BACKTICK, kCodeSpan);
    token_pair_table_add(s, BACKTICK, QUOTE_RIGHT_ALT, PAIR_QUOTE_ALT, kAltQuote);
    token_pair_table_add(s, QUOTE_SINGLE, QUOTE_SINGLE, PAIR_QUOTE_SINGLE, kSpan);
    token_pair_table_add(s, QUOTE_DOUBLE, QUOTE_DOUBLE, PAIR_QUOTE_DOUBLE, kSpan);
    if (!(variant & kCompatVariant)) {
        token_pair_table_add(b, MATH_PAREN_OPEN, MATH_PAREN_CLOSE, PAIR_MATH, kSpan);
        token_pair_table_add(b, MATH_BRACKET_OPEN, MATH_BRACKET_CLOSE, PAIR_MATH, kSpan);
        token_pair_table_add(b, MATH_DOLLAR_SINGLE, MATH_DOLLAR_SINGLE, PAIR_MATH, kSpan);
        token_pair_table_add(b, MATH_DOLLAR_DOUBLE, MATH_DOLLAR_DOUBLE, PAIR_MATH, kSpan);
        token_pair_table_add(s, SUPERSCRIPT, SUPERSCRIPT, PAIR_SUPERSCRIPT, kNonEmptySpan);
        token_pair_table_add(s, SUBSCRIPT, SUBSCRIPT, PAIR_SUBSCRIPT, kNonEmptySpan);
        token_pair_table_add(s, BRACE_LEFT, BRACE_RIGHT, PAIR_BRACE, kNonEmptySpan);
        token_pair_table_add(s, BRACE_RAW_LEFT, BRACE_RIGHT, PAIR_RAW_FILTER, kNonEmptySpan);
    }
}

// The tables of each set of those bits, made the first time an engine asks
// for them and never changed after: every engine on every thread shares
// them. Zeroed static storage costs nothing until it is written, so a set
// no engine uses costs no memory, and one in use only the pages its cells
// lie on.
const PairingTables &shared_pairings(unsigned variant) {
    static PairingTables tables[kPairingVariants];
    static std::once_flag made[kPairingVariants];
    std::call_once(made[variant], [variant] { fill_pairings(tables[variant], variant); });
    return tables[variant];
}

void choose_pairings(tzr_engine *e) {
    const PairingTables &tables = shared_pairings(pairing_variant(e->extensions));
    e->critic_pairings = &tables.critic;
    e->html_comment_pairings = &tables.html_comment;
    e->bracket_pairings = &tables.bracket;
    e->span_pairings = &tables.span;
}

}  // namespace

// A new engine over `source`; when it cannot be made, a source the engine
// was to own is freed and a borrowed one is left alone.
static tzr_engine *create(DString *source, uint64_t extensions, bool owned) {
    tzr_engine *e = static_cast<tzr_engine *>(calloc(1, sizeof(tzr_engine)));
    if (!e) {
        if (owned)
            d_string_free(source, true);
        return nullptr;
    }
    e->source = source;
    e->extensions = extensions;
    e->allow_meta = !(extensions & (TZR_EXT_COMPATIBILITY | TZR_EXT_NO_METADATA));
    choose_pairings(e);
    e->arena = token_arena_new();
    bool ok = true;
    for (stack **list : {&e->abbreviation_list, &e->citation_list, &e->definition_list,
                         &e->footnote_list, &e->glossary_list, &e->header_list, &e->link_list,
                         &e->metadata_list, &e->table_list, &e->critic_list}) {
        *list = stack_new(0);
        ok = ok && *list;
    }
    if (!ok) {
        tzr_engine_free(e, owned);
        return nullptr;
    }
    return e;
}

tzr_engine *tzr_engine_create(DString *source, uint64_t extensions) {
    if (!source)
        source = d_string_new("");
    return create(source, extensions, true);
}

tzr_engine *tzr_engine_create_over(DString *source, uint64_t extensions) {
    return source ? create(source, extensions, false) : nullptr;
}

tzr_engine *tzr_engine_create_with_d_string(DString *source, uint64_t extensions) {
    return tzr_engine_create(source, extensions);
}

tzr_engine *tzr_engine_create_with_string(const char *text, uint64_t extensions) {
    return tzr_engine_create(d_string_new(text), extensions);
}

void tzr_engine_set_language(tzr_engine *e, unsigned short language) {
    if (!e)
        return;
    // The quotes language of each language, in language code order.
    static const unsigned short quotes[] = {TZR_QUOTES_ENGLISH, TZR_QUOTES_SPANISH,
                                            TZR_QUOTES_GERMAN,  TZR_QUOTES_FRENCH,
                                            TZR_QUOTES_DUTCH,   TZR_QUOTES_SWEDISH};
    e->language = language;
    e->quotes_language =
        language <= TZR_LANGUAGE_SWEDISH ? quotes[language] : (unsigned short)TZR_QUOTES_ENGLISH;
}

template <typename T>
static void free_records(stack *list, void (*release)(T *)) {
    if (!list)
        return;
    while (list->size > 0)
        release(static_cast<T *>(stack_pop(list)));
}

void tzr_engine_reset(tzr_engine *e) {
    if (!e)
        return;
    token_tree_free(e->root);
    e->root = nullptr;
    free_records(e->abbreviation_list, tzr_note_free);
    free_records(e->citation_list, tzr_note_free);
    free_records(e->footnote_list, tzr_note_free);
    free_records(e->glossary_list, tzr_note_free);
    free_records(e->link_list, tzr_link_free);
    free_records(e->metadata_list, tzr_meta_free);
    tzr_asset_table_free(e->asset_table);
    e->asset_table = nullptr;
    for (stack *list : {e->definition_list, e->header_list, e->table_list, e->critic_list}) {
        if (list)
            list->size = 0;
    }
    // Last: the records above may hold trees of the arena.
    token_arena_reset(e->arena);
}

void tzr_engine_free(tzr_engine *e, bool free_source) {
    if (!e)
        return;
    tzr_engine_reset(e);
    if (free_source)
        d_string_free(e->source, true);
    tzr_parser_free_spares(e);
    token_arena_free(e->arena);
    for (stack *list : {e->abbreviation_list, e->citation_list, e->definition_list,
                        e->footnote_list, e->glossary_list, e->header_list, e->link_list,
                        e->metadata_list, e->table_list, e->critic_list})
        stack_free(list);
    free(e);
}

token *tzr_engine_root(tzr_engine *e) { return e ? e->root : nullptr; }

DString *tzr_engine_source(tzr_engine *e) { return e ? e->source : nullptr; }

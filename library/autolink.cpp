#include "library/autolink.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "library/engine.h"
#include "library/labels.h"
#include "library/records.h"
#include "library/token_types.h"
#include "library/trie.h"
#include "library/tzr.h"

namespace {

constexpr unsigned kMaxDepth = 1000;

bool is_entered(uint16_t type) {
    switch (type) {
    case DOC_ROOT:
    case LINE_LIST_BULLETED:
    case LINE_LIST_ENUMERATED:
    case BLOCK_BLOCKQUOTE:
    case BLOCK_DEFLIST:
    case BLOCK_DEFINITION:
    case BLOCK_LIST_BULLETED:
    case BLOCK_LIST_BULLETED_LOOSE:
    case BLOCK_LIST_ENUMERATED:
    case BLOCK_LIST_ENUMERATED_LOOSE:
    case BLOCK_LIST_ITEM:
    case BLOCK_LIST_ITEM_TEXT:
    case BLOCK_PARA:
    case BLOCK_TABLE:
    case BLOCK_TABLE_HEADER:
    case BLOCK_TABLE_SECTION:
    case BLOCK_TERM:
    case PAIR_BRACKET:
    case PAIR_BRACKET_FOOTNOTE:
    case PAIR_BRACKET_GLOSSARY:
    case PAIR_BRACKET_IMAGE:
    case PAIR_QUOTE_SINGLE:
    case PAIR_QUOTE_DOUBLE:
    case PAIR_STAR:
    case PAIR_UL:
    case TABLE_ROW:
    case TABLE_CELL:
        return true;
    default:
        return false;
    }
}

// The keys of the engine's reference links. A plain bracket whose text
// names one of them is an implicit reference, and the writers give up on an
// implicit reference that holds a bracket token, so its text is left whole.
struct LinkKeys {
    std::unordered_set<std::string> keys;
    explicit LinkKeys(const tzr_engine *e) {
        if (!e->link_list)
            return;
        for (size_t i = 0; i < e->link_list->size; i++) {
            auto *link = static_cast<const tzr_link *>(e->link_list->element[i]);
            if (link && link->clean_text)
                keys.insert(link->clean_text);
            if (link && link->label_text)
                keys.insert(link->label_text);
        }
    }
    bool names_link(const char *source, const token *bracket) const {
        if (keys.empty())
            return false;
        char *clean = tzr_clean_text_inside_pair(source, bracket, true);
        if (!clean)
            return false;
        bool found = keys.count(clean) > 0;
        if (!found) {
            char *label = tzr_label_from_text(clean);
            found = label && keys.count(label) > 0;
            free(label);
        }
        free(clean);
        return found;
    }
};

bool is_implicit_reference(const tzr_engine *e, const token *t, const LinkKeys &links) {
    if (t->type != PAIR_BRACKET)
        return false;
    // An inline link or an explicit reference resolves by what follows it.
    if (t->next && (t->next->type == PAIR_PAREN || t->next->type == PAIR_BRACKET))
        return false;
    return links.names_link(e->source->str, t);
}

void walk(tzr_engine *e, token *first, trie *terms, const LinkKeys &links, unsigned depth) {
    if (depth >= kMaxDepth)
        return;
    token *t = first;
    while (t) {
        if (t->type == TEXT) {
            size_t end = t->start + t->len;
            tzr_autolink_text_token(e, t, terms);
            // The pieces a split left behind were searched with the token.
            t = t->next;
            while (t && t->start < end)
                t = t->next;
            continue;
        }
        if (t->child && is_entered(t->type) && !is_implicit_reference(e, t, links))
            walk(e, t->child, terms, links, depth + 1);
        t = t->next;
    }
    // A split at the end of the chain adds its last token.
    if (first && first->tail) {
        token *last = first;
        while (last->next)
            last = last->next;
        first->tail = last;
    }
}

}  // namespace

void tzr_autolink_text_token(tzr_engine *e, token *t, trie *terms) {
    if (!e || !e->source || !t || !terms || t->type != TEXT)
        return;
    // A term is found between two marks that the lexer leaves in the text
    // ("/" inside a word, the ":" of "https://", a "-" of a list item's
    // text, a "-" or "_" inside a word in a conversion to HTML), never
    // across one. Such a "-" was a text token of its own with smart
    // typography, and is searched alone as one. What parentheses left
    // in the text hold is passed over, as the walk passes over a pair of
    // them.
    const char *source = e->source->str;
    size_t end = t->start + t->len;
    bool lone_hyphens = e->extensions & TZR_EXT_SMART;
    token *holder = t;
    auto search = [&](size_t from, size_t to) {
        trie_match *head = trie_search_leftmost_longest(terms, source, from, to - from);
        for (trie_match *m = head ? head->next : nullptr; m && holder; m = m->next) {
            while (holder && holder->start + holder->len <= m->start)
                holder = holder->next;
            if (!holder || holder->type != TEXT)
                break;
            token_split(holder, m->start, m->len, m->match_type);
        }
        trie_match_free(head);
    };
    for (size_t from = t->start; from < end && holder;) {
        size_t to = from;
        while (to < end && source[to] != '/' && source[to] != ':' && source[to] != '-' &&
               source[to] != '_' && source[to] != '(')
            to++;
        if (to > from)
            search(from, to);
        if (to < end && source[to] == '-' && lone_hyphens && holder)
            search(to, to + 1);
        if (to < end && source[to] == '(') {
            const void *close = memchr(source + to, ')', end - to);
            to = close ? static_cast<const char *>(close) - source : end;
        }
        from = to + 1;
    }
}

void tzr_autolink_walk(tzr_engine *e, token *first, trie *terms) {
    if (!e || !e->source || !terms)
        return;
    LinkKeys links(e);
    walk(e, first, terms, links, 0);
}

void tzr_autolink_terms(tzr_engine *e) {
    if (!e || !e->root || !e->abbreviation_list || !e->glossary_list)
        return;
    if (e->abbreviation_list->size == 0 && e->glossary_list->size == 0)
        return;
    trie *terms = trie_new(0);
    if (!terms)
        return;
    for (size_t i = 0; i < e->abbreviation_list->size; i++) {
        auto *note = static_cast<tzr_note *>(e->abbreviation_list->element[i]);
        if (note)
            trie_insert(terms, note->label_text, PAIR_BRACKET_ABBREVIATION);
    }
    for (size_t i = 0; i < e->glossary_list->size; i++) {
        auto *note = static_cast<tzr_note *>(e->glossary_list->element[i]);
        if (note)
            trie_insert(terms, note->clean_text, PAIR_BRACKET_GLOSSARY);
    }
    trie_prepare(terms);
    tzr_autolink_walk(e, e->root, terms);
    trie_free(terms);
}

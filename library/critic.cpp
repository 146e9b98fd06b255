#include "library/critic.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "library/trie.h"

namespace {

struct Mark {
    const char *text;
    unsigned short code;
};

// The eleven marks and the seven escapes. An escape starts one byte before
// the mark it defuses, so leftmost-longest selection lets it win.
constexpr Mark kMarks[] = {
    {"{++", CM_ADD_OPEN}, {"++}", CM_ADD_CLOSE}, {"{--", CM_DEL_OPEN}, {"--}", CM_DEL_CLOSE},
    {"{~~", CM_SUB_OPEN}, {"~>", CM_SUB_DIV},    {"~~}", CM_SUB_CLOSE}, {"{==", CM_HI_OPEN},
    {"==}", CM_HI_CLOSE}, {"{>>", CM_COM_OPEN},  {"<<}", CM_COM_CLOSE}, {"\\{", CM_PLAIN},
    {"\\}", CM_PLAIN},    {"\\+", CM_PLAIN},     {"\\-", CM_PLAIN},     {"\\~", CM_PLAIN},
    {"\\>", CM_PLAIN},    {"\\=", CM_PLAIN},
};

// The automaton holds under 64 nodes; a small first capacity keeps each
// call's allocation small.
constexpr size_t kMarkTrieCapacity = 64;

// The opening code a closing code pairs with, or 0.
unsigned short opener_of(unsigned short code) {
    switch (code) {
    case CM_ADD_CLOSE: return CM_ADD_OPEN;
    case CM_DEL_CLOSE: return CM_DEL_OPEN;
    case CM_SUB_CLOSE: return CM_SUB_OPEN;
    case CM_HI_CLOSE: return CM_HI_OPEN;
    case CM_COM_CLOSE: return CM_COM_OPEN;
    default: return 0;
    }
}

// The pair code an opening code makes, or 0 when it does not open.
unsigned short pair_of(unsigned short code) {
    switch (code) {
    case CM_ADD_OPEN: return CM_ADD;
    case CM_DEL_OPEN: return CM_DEL;
    case CM_SUB_OPEN: return CM_SUB;
    case CM_HI_OPEN: return CM_HI;
    case CM_COM_OPEN: return CM_COM;
    default: return 0;
    }
}

// Pairs the marks of one flat chain: a closer takes the innermost open mark
// of its kind, every opener left open inside the pair is dropped, and the
// range becomes a pair token. Empty pairs are allowed. The count of pending
// openers per code lets a closer with no partner skip the stack search, so
// the whole pass is linear however many marks stay unmatched.
void critic_pair(token *root) {
    std::vector<token *> open;
    size_t pending[CM_PLAIN + 1] = {};
    for (token *t = root->child; t; t = t->next) {
        unsigned short wanted = opener_of(t->type);
        if (wanted && t->unmatched && pending[wanted]) {
            size_t i = open.size();
            while (open[--i]->type != wanted) {
            }
            token *o = open[i];
            for (size_t j = i; j < open.size(); j++)
                pending[open[j]->type]--;
            open.resize(i);
            o->mate = t;
            t->mate = o;
            o->unmatched = t->unmatched = 0;
            token_wrap_range(o, t, pair_of(wanted));
            if (o->child) {
                t = o;  // the walk goes on after the new pair
            } else {
                // Out of memory while wrapping: leave both marks unpaired.
                o->mate = t->mate = nullptr;
                o->unmatched = t->unmatched = 1;
            }
            continue;
        }
        if (pair_of(t->type) && t->can_open) {
            open.push_back(t);
            pending[t->type]++;
        }
    }
}

// Byte ranges to erase, collected during a walk and applied in one pass at
// the end: erasing them one by one would move the tail of the text once per
// change, which is quadratic on a text full of marks.
class Erasures {
public:
    void add(size_t start, size_t len) {
        if (len)
            ranges_.push_back({start, len});
    }

    void apply(DString *d) {
        if (!d || !d->str || ranges_.empty())
            return;
        std::sort(ranges_.begin(), ranges_.end());
        char *s = d->str;
        size_t length = d->length, read = 0, write = 0;
        for (auto [start, len] : ranges_) {
            if (start >= length)
                break;
            size_t end = start + std::min(len, length - start);
            if (end <= read)
                continue;
            start = std::max(start, read);
            if (write != read)
                memmove(s + write, s + read, start - read);
            write += start - read;
            read = end;
        }
        if (write != read)
            memmove(s + write, s + read, length - read);
        write += length - read;
        d->length = write;
        s[write] = '\0';
    }

private:
    std::vector<std::pair<size_t, size_t>> ranges_;
};

// Walks tokens from the end of the text to its start with an explicit work
// stack (pairs may nest tens of thousands deep), recording what to erase.
class Walker {
public:
    Walker(bool accept, Erasures &out) : accept_(accept), out_(out) {}

    // Queues first .. last (siblings) so that they are settled last first.
    void queue(token *first, token *last) {
        for (token *t = first; t; t = t->next) {
            work_.push_back({t, 0, 0});
            if (t == last)
                break;
        }
    }

    void queue_substitution(token *closing) {
        if (!closing)
            return;
        token *first = closing, *divider = nullptr;
        for (token *t = closing; t; t = t->prev) {
            if (!divider && t->type == CM_SUB_DIV)
                divider = t;
            first = t;
        }
        size_t start = first->start, end = closing->start + closing->len;
        if (accept_) {
            if (divider) {
                // The old text, the divider and the opening mark go.
                work_.push_back({nullptr, start, divider->start + divider->len - start});
                queue(divider->next, closing);
            } else {
                queue(first, closing);
            }
        } else {
            if (divider) {
                if (divider->prev)
                    queue(first, divider->prev);
                // The divider, the new text and the closing mark go.
                work_.push_back({nullptr, divider->start, end - divider->start});
            } else {
                work_.push_back({nullptr, start, end - start});
            }
        }
    }

    void run() {
        while (!work_.empty()) {
            Item item = work_.back();
            work_.pop_back();
            if (item.t)
                settle(item.t);
            else
                out_.add(item.start, item.len);
        }
    }

private:
    struct Item {
        token *t;  // a token to settle, or NULL for a plain erase
        size_t start;
        size_t len;
    };

    void erase(token *t) { out_.add(t->start, t->len); }

    void settle(token *t) {
        switch (t->type) {
        case CM_ADD_OPEN:
        case CM_ADD_CLOSE:
            if (accept_ && t->mate)
                erase(t);
            break;
        case CM_DEL_OPEN:
        case CM_DEL_CLOSE:
            if (!accept_ && t->mate)
                erase(t);
            break;
        case CM_SUB_OPEN:
        case CM_SUB_CLOSE:
        case CM_HI_OPEN:
        case CM_HI_CLOSE:
            if (t->mate)
                erase(t);
            break;
        case CM_ADD:
            if (accept_)
                queue(t->child, nullptr);
            else
                erase(t);
            break;
        case CM_DEL:
            if (accept_)
                erase(t);
            else
                queue(t->child, nullptr);
            break;
        case CM_HI:
            queue(t->child, nullptr);
            break;
        case CM_COM:
            erase(t);
            break;
        case CM_SUB: {
            token *closing = t->child;
            while (closing && closing->next)
                closing = closing->next;
            queue_substitution(closing);
            break;
        }
        default:
            // Unpaired comment marks, plain text and escapes stay. A "~>"
            // is settled only as the divider of its substitution; anywhere
            // else it is ordinary text.
            break;
        }
    }

    bool accept_;
    Erasures &out_;
    std::vector<Item> work_;
};

token *chain_head(token *t) {
    while (t && t->prev)
        t = t->prev;
    return t;
}

void settle_chain(DString *d, token *first, token *last, bool accept) {
    if (!d || !first)
        return;
    Erasures erasures;
    Walker walker(accept, erasures);
    walker.queue(first, last);
    walker.run();
    erasures.apply(d);
}

void settle_range(DString *d, size_t start, size_t len, bool accept) {
    if (!d || !d->str || start >= d->length)
        return;
    len = std::min(len, d->length - start);
    token *root = critic_parse(d->str, start, len);
    if (!root)
        return;
    settle_chain(d, root->child, nullptr, accept);
    token_tree_free(root);
}

}  // namespace

token *critic_tokenize(const char *text, size_t start, size_t len) {
    if (!text || len == 0)
        return nullptr;
    len = strnlen(text + start, len);  // a NUL byte ends the range
    if (len == 0)
        return nullptr;
    trie *marks = trie_new(kMarkTrieCapacity);
    if (!marks)
        return nullptr;
    for (const Mark &m : kMarks)
        trie_insert(marks, m.text, m.code);
    trie_prepare(marks);
    trie_match *matches = trie_search_leftmost_longest(marks, text, start, len);
    trie_free(marks);

    token *root = token_new(0, start, 0);
    if (!root) {
        trie_match_free(matches);
        return nullptr;
    }
    size_t p = start, end = start + len;
    auto add = [&](unsigned short code, size_t from, size_t count) {
        if (token *t = token_new(code, from, count))
            token_append_child(root, t);
    };
    for (trie_match *m = matches ? matches->next : nullptr; m; m = m->next) {
        if (m->start > p)
            add(CM_PLAIN, p, m->start - p);
        add(m->match_type, m->start, m->len);
        p = m->start + m->len;
    }
    if (end > p)
        add(CM_PLAIN, p, end - p);
    trie_match_free(matches);
    return root;
}

token *critic_parse(const char *text, size_t start, size_t len) {
    token *root = critic_tokenize(text, start, len);
    if (root)
        critic_pair(root);
    return root;
}

void critic_accept_all(DString *d) { settle_range(d, 0, (size_t)-1, true); }
void critic_reject_all(DString *d) { settle_range(d, 0, (size_t)-1, false); }
void critic_accept_range(DString *d, size_t start, size_t len) { settle_range(d, start, len, true); }
void critic_reject_range(DString *d, size_t start, size_t len) { settle_range(d, start, len, false); }

void critic_accept_token(DString *d, token *t) { settle_chain(d, t, t, true); }
void critic_reject_token(DString *d, token *t) { settle_chain(d, t, t, false); }
void critic_accept_chain(DString *d, token *t) { settle_chain(d, chain_head(t), t, true); }
void critic_reject_chain(DString *d, token *t) { settle_chain(d, chain_head(t), t, false); }

void critic_accept_substitution_from(DString *d, token *closing) {
    if (!d || !closing)
        return;
    Erasures erasures;
    Walker walker(true, erasures);
    walker.queue_substitution(closing);
    walker.run();
    erasures.apply(d);
}

void critic_reject_substitution_from(DString *d, token *closing) {
    if (!d || !closing)
        return;
    Erasures erasures;
    Walker walker(false, erasures);
    walker.queue_substitution(closing);
    walker.run();
    erasures.apply(d);
}

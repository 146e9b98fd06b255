// Builds small document trees for the HTML writer's tests: block tokens by
// hand, their inline text through the real lexer and pairing passes, and
// definitions straight onto the engine's lists. Then writes them.
#pragma once

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "library/engine.h"
#include "library/export_context.h"
#include "library/lexer.h"
#include "library/links.h"
#include "library/pairing.h"
#include "library/records.h"
#include "library/writers/html.h"

class HtmlTree {
public:
    explicit HtmlTree(const std::string &source, uint64_t extensions = 0)
        : e_(tzr_engine_create_with_string(source.c_str(), extensions)) {}
    ~HtmlTree() {
        for (token *t : extra_)
            token_tree_free(t);
        tzr_engine_free(e_, true);
    }
    HtmlTree(const HtmlTree &) = delete;
    HtmlTree &operator=(const HtmlTree &) = delete;

    tzr_engine *engine() { return e_; }
    const char *src() const { return e_->source->str; }

    // Offset of the next occurrence of `s` at or after the cursor, which
    // moves past it.
    size_t find(const std::string &s) {
        const char *at = strstr(src() + cursor_, s.c_str());
        if (!at)
            return cursor_;
        cursor_ = (size_t)(at - src()) + s.size();
        return (size_t)(at - src());
    }

    // The next occurrence of `s`, lexed into a chain (plain runs as TEXT).
    token *text(const std::string &s) {
        size_t start = find(s);
        lexer_state st;
        st.start = st.cursor = src() + start;
        const char *stop = src() + start + s.size();
        const char *done = st.cursor;
        token *head = nullptr;
        auto add = [&](unsigned short type, const char *from, const char *to) {
            token *t = token_new(type, (size_t)(from - src()), (size_t)(to - from));
            head ? token_chain_append(head, t) : void(head = t);
        };
        while (int type = tzr_lex_token(&st, stop)) {
            if (st.start > done)
                add(TEXT, done, st.start);
            add((unsigned short)type, st.start, st.cursor);
            done = st.cursor;
        }
        if (stop > done)
            add(TEXT, done, stop);
        return head;
    }

    // A block over the given chains, spanning them.
    token *block(uint16_t type, std::initializer_list<token *> kids) {
        token *head = nullptr;
        for (token *k : kids) {
            if (!k)
                continue;
            if (head) {
                token *last = head;
                while (last->next)
                    last = last->next;
                last->next = k;
                k->prev = last;
                head->tail = k->tail ? k->tail : k;
            } else {
                head = k;
            }
        }
        if (!head)
            return token_new(type, cursor_, 0);
        token *p = token_new_parent(head, type);
        return p;
    }
    token *para(const std::string &s) { return block(BLOCK_PARA, {text(s)}); }
    // A single token of `type` over the next occurrence of `s`.
    token *leaf(uint16_t type, const std::string &s) {
        size_t start = find(s);
        return token_new(type, start, s.size());
    }

    // A definition label: a bracket pair of `type` over the next `s`.
    token *label(uint16_t type, const std::string &s) {
        token *chain = text(s);
        token *last = chain;
        while (last->next)
            last = last->next;
        token_set_mates(chain, last);
        token *b = block(type, {chain});
        extra_.push_back(b);
        return b;
    }
    // A paragraph paired on its own, outside the body (a note's content).
    token *detached_para(const std::string &s) {
        token *p = para(s);
        token *root = block(DOC_ROOT, {p});
        tzr_pair_tree(e_, root);
        extra_.push_back(root);
        return p;
    }

    void define_footnote(const std::string &lbl, const std::string &content) {
        token *l = label(PAIR_BRACKET_FOOTNOTE, lbl);
        stack_push(e_->footnote_list, tzr_note_new(src(), l, detached_para(content), true));
    }
    void define_citation(const std::string &lbl, const std::string &content) {
        token *l = label(PAIR_BRACKET_CITATION, lbl);
        stack_push(e_->citation_list, tzr_note_new(src(), l, detached_para(content), true));
    }
    void define_glossary(const std::string &lbl, const std::string &content) {
        token *l = label(PAIR_BRACKET_GLOSSARY, lbl);
        tzr_note *n = tzr_note_new(src(), l, detached_para(content), false);
        // The term is the label without its "?".
        memmove(n->clean_text, n->clean_text + 1, strlen(n->clean_text));
        stack_push(e_->glossary_list, n);
    }
    void define_abbreviation(const std::string &abbr, const std::string &expansion) {
        tzr_note *n = tzr_note_new(src(), nullptr, nullptr, false);
        n->label_text = strdup(abbr.c_str());
        n->clean_text = strdup(expansion.c_str());
        stack_push(e_->abbreviation_list, n);
    }
    void define_link(const std::string &lbl, const char *url, const char *title = nullptr,
                     const char *attributes = nullptr) {
        token *l = label(PAIR_BRACKET, lbl);
        stack_push(e_->link_list, tzr_link_new(src(), l, url, title, attributes, TZR_LINK_REFERENCE));
    }
    void meta(const std::string &key, const char *value) {
        size_t start = find(key);
        tzr_meta *m = tzr_meta_new(src(), start, key.size());
        tzr_meta_set_value(m, value);
        stack_push(e_->metadata_list, m);
    }

    struct Options {
        int16_t format = 0;
        bool complete = false;
        bool notes = true;
        uint16_t pack_assets = 0;
        uint16_t record_assets = 0;
        int16_t base_level = 1;
    };

    // Pairs the blocks under a root and writes them as the export does: head,
    // body, note sections, end.
    std::string write(std::initializer_list<token *> blocks, const Options &o) {
        token *root = block(DOC_ROOT, blocks);
        root->start = 0;
        root->len = e_->source->length;
        e_->root = root;
        tzr_pair_tree(e_, root);
        tzr_export_context *c = tzr_export_context_new(e_, o.format);
        c->pack_assets = o.pack_assets;
        c->record_assets = o.record_assets;
        c->header_level_base = o.base_level;
        DString *out = d_string_new("");
        if (o.complete)
            html_write_document_start(out, src(), c);
        html_export_token_chain(out, src(), root, c);
        if (o.notes) {
            html_write_footnotes(out, src(), c);
            html_write_glossary(out, src(), c);
            html_write_citations(out, src(), c);
        }
        if (o.complete)
            html_write_document_end(out, src(), c);
        assets = tzr_asset_table_count(c->asset_table);
        tzr_asset_table_free(e_->asset_table);
        e_->asset_table = c->asset_table;
        tzr_export_context_free(c);
        std::string result(out->str, out->length);
        d_string_free(out, true);
        return result;
    }
    std::string write(std::initializer_list<token *> blocks) { return write(blocks, Options{}); }

    size_t assets = 0;

private:
    tzr_engine *e_;
    size_t cursor_ = 0;
    std::vector<token *> extra_;
};

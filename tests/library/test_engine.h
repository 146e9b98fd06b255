// Engines for tests of the passes that read an engine, without running a
// parse: a bare record with its lists, or one filled by hand over a text.
#pragma once

#include <cstdlib>
#include <string>

#include "library/block_parser.h"
#include "library/d_string.h"
#include "library/engine.h"
#include "library/records.h"
#include "library/token.h"
#include "library/tokenizer.h"
inline tzr_engine *test_engine_new(const char *source, uint64_t extensions = 0) {
    tzr_engine *e = static_cast<tzr_engine *>(calloc(1, sizeof(tzr_engine)));
    e->source = d_string_new(source);
    e->extensions = extensions;
    for (stack **list : {&e->abbreviation_list, &e->citation_list, &e->definition_list,
                         &e->footnote_list, &e->glossary_list, &e->header_list, &e->link_list,
                         &e->metadata_list, &e->table_list, &e->critic_list})
        *list = stack_new(0);
    return e;
}

// Frees the engine, its owned records and its lists (not any tree).
inline void test_engine_free(tzr_engine *e) {
    for (stack *notes : {e->abbreviation_list, e->citation_list, e->footnote_list, e->glossary_list})
        for (size_t i = 0; i < notes->size; i++)
            tzr_note_free(static_cast<tzr_note *>(notes->element[i]));
    for (size_t i = 0; i < e->link_list->size; i++)
        tzr_link_free(static_cast<tzr_link *>(e->link_list->element[i]));
    for (size_t i = 0; i < e->metadata_list->size; i++)
        tzr_meta_free(static_cast<tzr_meta *>(e->metadata_list->element[i]));
    for (stack *list : {e->abbreviation_list, e->citation_list, e->definition_list, e->footnote_list,
                        e->glossary_list, e->header_list, e->link_list, e->metadata_list,
                        e->table_list, e->critic_list})
        stack_free(list);
    tzr_parser_free_spares(e);
    d_string_free(e->source, true);
    free(e);
}

struct TestEngine {
    tzr_engine e{};
    explicit TestEngine(const std::string &text, uint64_t extensions = 0) {
        e.source = d_string_new(nullptr);
        d_string_append_c_array(e.source, text.data(), text.size());
        e.extensions = extensions;
    }
    ~TestEngine() {
        tzr_parser_free_spares(&e);
        d_string_free(e.source, true);
    }
    TestEngine(const TestEngine &) = delete;
    TestEngine &operator=(const TestEngine &) = delete;
    const char *source() const { return e.source->str; }
};

// Tokenizes the whole text and frees the tree through the returned holder.
struct TokenizedText {
    TestEngine engine;
    token *root;
    TokenizedText(const std::string &text, uint64_t extensions = 0, bool stop_at_blank = false)
        : engine(text, extensions),
          root(tzr_tokenize_string(&engine.e, 0, (size_t)-1, stop_at_blank)) {}
    ~TokenizedText() { token_tree_free(root); }
    token *line(int n) const {
        token *l = root ? root->child : nullptr;
        while (l && n--)
            l = l->next;
        return l;
    }
};

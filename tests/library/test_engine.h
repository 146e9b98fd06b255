// An engine record filled by hand over a source text, for tests of the
// passes that read an engine before the engine's own constructor exists.
#pragma once

#include <string>

#include "d_string.h"
#include "engine.h"
#include "token.h"
#include "tokenizer.h"

struct TestEngine {
    tzr_engine e{};
    explicit TestEngine(const std::string &text, uint64_t extensions = 0) {
        e.source = d_string_new(nullptr);
        d_string_append_c_array(e.source, text.data(), text.size());
        e.extensions = extensions;
    }
    ~TestEngine() { d_string_free(e.source, true); }
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

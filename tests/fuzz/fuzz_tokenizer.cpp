// Feeds arbitrary bytes to the tokenizer. The first byte picks extension
// flags and the range; the rest is the source. Besides the sanitizers'
// checks, every line's tokens must lie in order inside the source, and
// every lexer call must make progress.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "library/d_string.h"
#include "library/engine.h"
#include "library/lexer.h"
#include "library/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    uint8_t control = data[0];
    DString *source = d_string_new(nullptr);
    d_string_append_c_array(source, reinterpret_cast<const char *>(data + 1), size - 1);

    tzr_engine e{};
    e.source = source;
    e.extensions = (control & 1 ? 0x1 : 0) | (control & 2 ? 0x10 : 0) | (control & 4 ? 0x80 : 0);
    size_t start = control & 8 ? source->length / 3 : 0;
    size_t length = control & 16 ? source->length / 2 : (size_t)-1;

    token *root = tzr_tokenize_string(&e, start, length, control & 32);
    if (!root || e.allow_meta)
        abort();
    size_t last_end = start;
    for (token *line = root->child; line; line = line->next) {
        if (line->type < 1 || line->type > 39)
            abort();
        for (token *t = line->child; t; t = t->next) {
            // List-marker clean-up may move a text token's start forward.
            if (t->start < last_end || t->start + t->len > source->length)
                abort();
            last_end = t->start + t->len;
        }
    }
    token_tree_free(root);

    // The bare lexer over the whole text: each call moves forward.
    lexer_state s;
    s.start = s.cursor = source->str;
    const char *stop = source->str + source->length;
    const char *before = s.cursor;
    while (tzr_lex_token(&s, stop)) {
        if (s.cursor <= before || s.start < before || s.cursor > stop + 7)
            abort();
        before = s.cursor;
    }
    d_string_free(source, true);
    return 0;
}

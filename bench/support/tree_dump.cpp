// The tree an engine of the editor's makes of a file: the engine parses it
// as the text storage's and the bridge's engines do (tzr_engine_parse_string,
// nothing of a conversion's own), and every token is printed on a line of
// its own, in tree order: its depth, type, source range, whether it has a
// mate and its three pairing flags. The highlighter colours these types
// over these ranges and spelling reads them, so two builds that print the
// same lines show the editor the same document.
//
//   tree_dump FILE [EXTENSIONS]
//
// EXTENSIONS is the flags as one number (decimal or 0x hex; default 0x18,
// notes and smart typography).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bench/support/whole_file.h"
#include "library/tzr.h"

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: tree_dump FILE [EXTENSIONS]\n");
        return 2;
    }
    std::string text;
    if (!benchsupport::readWholeFile(argv[1], &text))
        return 1;
    uint64_t extensions = argc == 3 ? strtoull(argv[2], nullptr, 0) : TZR_EXT_NOTES | TZR_EXT_SMART;
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), extensions);
    if (!e)
        return 1;
    tzr_engine_parse_string(e);
    // Depth first, without recursion: trees nest a thousand levels deep.
    std::vector<std::pair<token *, unsigned>> todo;
    if (e->root)
        todo.push_back({e->root, 0});
    std::string out;
    char line[96];
    while (!todo.empty()) {
        auto [t, depth] = todo.back();
        todo.pop_back();
        snprintf(line, sizeof line, "%u %u %u %u %d%u%u%u\n", depth, t->type, t->start, t->len,
                 t->mate ? 1 : 0, t->can_open, t->can_close, t->unmatched);
        out += line;
        if (t->next)
            todo.push_back({t->next, depth});
        if (t->child)
            todo.push_back({t->child, depth + 1});
    }
    fwrite(out.data(), 1, out.size(), stdout);
    tzr_engine_free(e, true);
    return 0;
}

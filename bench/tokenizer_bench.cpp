// Lexing and tokenizing must stay linear whatever the text: ordinary prose, a
// megabyte of spaces and a megabyte of digits should all take about as long.
#include <benchmark/benchmark.h>

#include <string>

#include "library/d_string.h"
#include "library/engine.h"
#include "library/lexer.h"
#include "library/tokenizer.h"

namespace {

constexpr size_t kSize = 1 << 20;

std::string prose() {
    const std::string para =
        "# A heading\n\nSome *emphasis*, a [link](http://example.com) and `code`.  \n"
        "1. an item with &amp; and -- dashes...\n    indented code\n> quote | cell\n";
    std::string text;
    while (text.size() < kSize)
        text += para;
    text.resize(kSize);
    return text;
}

std::string input(int kind) {
    switch (kind) {
    case 0: return prose();
    case 1: return std::string(kSize, ' ') + "x";
    default: return std::string(kSize, '7') + "x";
    }
}

void BM_Lex(benchmark::State &state) {
    std::string text = input((int)state.range(0));
    const char *stop = text.c_str() + text.size();
    for (auto _ : state) {
        lexer_state s;
        s.start = s.cursor = text.c_str();
        size_t count = 0;
        while (tzr_lex_token(&s, stop))
            count++;
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed((int64_t)(state.iterations() * text.size()));
}
BENCHMARK(BM_Lex)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"prose0_spaces1_digits2"});

void BM_Tokenize(benchmark::State &state) {
    std::string text = input((int)state.range(0));
    tzr_engine e{};
    e.source = d_string_new(text.c_str());
    for (auto _ : state) {
        token *root = tzr_tokenize_string(&e, 0, (size_t)-1, false);
        benchmark::DoNotOptimize(root);
        token_tree_free(root);
    }
    d_string_free(e.source, true);
    state.SetBytesProcessed((int64_t)(state.iterations() * text.size()));
}
BENCHMARK(BM_Tokenize)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"prose0_spaces1_digits2"});

}  // namespace

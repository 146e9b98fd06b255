// Editing costs of the higher operations: a tracked edit rescans the whole
// text, so it should stay linear in the text's length (also when the text
// holds many pending openers of other kinds); the expansion step should cost
// next to nothing for ordinary typing with many keys loaded; fuzzy
// completion should stay linear in the number of words.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "textengine/typing/autocomplete.h"
#include "textengine/typing/change_tracking.h"
#include "textengine/typing/expansions.h"
#include "textengine/buffer/smart_string.h"

namespace {

std::string repeat(const std::string &unit, int64_t n) {
    std::string out;
    out.reserve(unit.size() * n);
    for (int64_t i = 0; i < n; i++)
        out += unit;
    return out;
}

void tracked_typing(benchmark::State &state, const std::string &text) {
    _SString *s = smart_string_new(text.c_str(), 0);
    smart_string_start_tracking_changes(s);
    for (auto _ : state) {
        smart_string_set_caret(s, 0, 0);
        smart_string_replace(s, 0, 0, "x", nullptr);
        d_string_erase(smart_string_d_string(s), 0, 7);  // take "{++x++}" back out
    }
    smart_string_free(s, true);
    state.SetComplexityN(state.range(0));
}

void BM_TrackedTypingInChangedText(benchmark::State &state) {
    tracked_typing(state, repeat("a {++b++} {--c--} {~~d~>e~~} ", state.range(0)));
}

void BM_TrackedTypingAfterOpeners(benchmark::State &state) {
    tracked_typing(state, repeat("{--", state.range(0)) + repeat("++}", state.range(0)));
}

void BM_TypingWithManyExpansionKeys(benchmark::State &state) {
    _SString *s = smart_string_new("", 0xB00 | 0x20);
    for (int64_t i = 0; i < state.range(0); i++)
        smart_string_add_expansion(s, (";k" + std::to_string(i)).c_str(), "expanded %Y");
    const std::string words = "the quick brown fox jumps over the lazy dog ";
    size_t i = 0;
    for (auto _ : state) {
        char one[2] = {words[i++ % words.size()], 0};
        smart_string_replace(s, smart_string_caret_start(s), 0, one, nullptr);
    }
    smart_string_free(s, true);
}

void BM_FuzzyCompletion(benchmark::State &state) {
    _SString *s = smart_string_new("", 0xB00);
    std::string text;
    for (int64_t i = 0; i < state.range(0); i++)
        text += "word" + std::to_string(i * 7919) + " ";
    smart_string_autocomplete_set_words(s, text.c_str());
    for (auto _ : state) {
        char *list = smart_string_autocomplete_fuzzy(s, "w9");
        benchmark::DoNotOptimize(list);
        free(list);
    }
    smart_string_free(s, true);
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_TrackedTypingInChangedText)->RangeMultiplier(4)->Range(256, 16384)->Complexity();
BENCHMARK(BM_TrackedTypingAfterOpeners)->RangeMultiplier(4)->Range(256, 16384)->Complexity();
BENCHMARK(BM_TypingWithManyExpansionKeys)->Arg(10)->Arg(1000);
BENCHMARK(BM_FuzzyCompletion)->RangeMultiplier(4)->Range(256, 16384)->Complexity();

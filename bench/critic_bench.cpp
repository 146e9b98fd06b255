// CriticMarkup settlement should stay near linear in the text's length,
// also when marks are unmatched or nested deeply.
#include <benchmark/benchmark.h>

#include <string>

#include "library/critic.h"

namespace {

std::string repeat(const std::string &unit, int64_t n) {
    std::string out;
    out.reserve(unit.size() * n);
    for (int64_t i = 0; i < n; i++)
        out += unit;
    return out;
}

void settle(benchmark::State &state, const std::string &text, bool accept) {
    for (auto _ : state) {
        DString *d = d_string_new(text.c_str());
        accept ? critic_accept_all(d) : critic_reject_all(d);
        benchmark::DoNotOptimize(d->length);
        d_string_free(d, true);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)text.size());
    state.SetComplexityN(state.range(0));
}

void BM_CriticUnmatchedOpeners(benchmark::State &state) {
    settle(state, repeat("{++", state.range(0)), true);
}

void BM_CriticManyChanges(benchmark::State &state) {
    settle(state, repeat("a {++b++} {--c--} {~~d~>e~~} ", state.range(0)), false);
}

void BM_CriticDeeplyNested(benchmark::State &state) {
    settle(state, repeat("{++", state.range(0)) + "x" + repeat("++}", state.range(0)), true);
}

}  // namespace

BENCHMARK(BM_CriticUnmatchedOpeners)->Range(1 << 10, 1 << 16)->Complexity();
BENCHMARK(BM_CriticManyChanges)->Range(1 << 10, 1 << 16)->Complexity();
BENCHMARK(BM_CriticDeeplyNested)->Range(1 << 10, 1 << 16)->Complexity();

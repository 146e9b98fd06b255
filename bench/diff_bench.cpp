// Diffs of 1 MB texts: a few small edits, many medium edits, and two
// unrelated texts (the worst case, bounded by the diff's work budget).
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "textengine/diff/diff.h"

namespace {

std::string random_text(std::mt19937 &rng, size_t bytes) {
    static const char alphabet[] = "abcdefghij klmnop\n";
    std::string s;
    s.reserve(bytes);
    while (s.size() < bytes)
        s += alphabet[rng() % (sizeof alphabet - 1)];
    return s;
}

std::string edited(std::mt19937 &rng, std::string s, int edits, size_t span) {
    for (int i = 0; i < edits; i++) {
        size_t at = rng() % (s.size() - span);
        s.replace(at, rng() % span, random_text(rng, rng() % span));
    }
    return s;
}

void run(benchmark::State &state, const std::string &a, const std::string &b) {
    size_t edit_bytes = 0;
    for (auto _ : state) {
        diff *d = dmp_diff_main(a.data(), b.data(), a.size(), b.size());
        benchmark::DoNotOptimize(d);
        edit_bytes = dmp_diff_levenshtein(d);
        dmp_diff_free(d);
    }
    // How fine the answer is: bytes inserted, deleted or substituted.
    state.counters["edit_bytes"] = (double)edit_bytes;
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)(a.size() + b.size()));
}

constexpr size_t kMB = 1 << 20;

void BM_DiffSmallChange(benchmark::State &state) {
    std::mt19937 rng(1);
    std::string a = random_text(rng, kMB);
    run(state, a, edited(rng, a, 3, 20));
}

void BM_DiffMediumChange(benchmark::State &state) {
    std::mt19937 rng(2);
    std::string a = random_text(rng, kMB);
    run(state, a, edited(rng, a, 200, 200));
}

void BM_DiffTotalChange(benchmark::State &state) {
    std::mt19937 rng(3);
    std::string a = random_text(rng, kMB), b = random_text(rng, kMB);
    run(state, a, b);
}

}  // namespace

BENCHMARK(BM_DiffSmallChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiffMediumChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiffTotalChange)->Unit(benchmark::kMillisecond);

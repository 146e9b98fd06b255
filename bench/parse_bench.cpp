// Parse speed: an ordinary 1 MB document, and 100 KB documents built to
// stress delimiter pairing and block nesting. Pairing must stay near-linear
// on all of them.
#include <benchmark/benchmark.h>

#include <string>

#include "library/engine.h"

namespace {

std::string ordinary_document(size_t size) {
    static const char *const sections[] = {
        "# Heading with *emphasis*\n\n",
        "A paragraph with **strong** text, a [link](http://example.com \"title\"), "
        "some `code`, \"quotes\", it's an apostrophe and $x^2$ math.\n"
        "Its second line has _underscores_ and a footnote[^note].\n\n",
        "* first item\n* second item with *emphasis*\n    continued\n\n",
        "1. one\n2. two\n\n   loose paragraph\n\n",
        "> quoted *text*\n> more quote\n\n",
        "```\ncode block\n  indented\n```\n\n",
        "| a | b |\n|---|---|\n| 1 | 2 |\n| 3 | 4 |\n\n",
        "Term\n: definition of the term\n\n",
        "    indented code\n\n",
        "[^note]: The footnote text.\n\n",
    };
    std::string out;
    for (size_t i = 0; out.size() < size; i++)
        out += sections[i % (sizeof sections / sizeof *sections)];
    return out;
}

std::string repeat(const std::string &unit, size_t size) {
    std::string out;
    while (out.size() < size)
        out += unit;
    return out;
}

std::string backtick_runs(size_t size) {
    std::string out;
    for (size_t n = 1; out.size() < size; n++)
        out += std::string(n, '`') + "x";
    return out;
}

void parse(benchmark::State &state, const std::string &text, uint64_t extensions) {
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), extensions);
    for (auto _ : state) {
        tzr_engine_parse_string(e);
        benchmark::DoNotOptimize(tzr_engine_root(e));
    }
    tzr_engine_free(e, true);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

constexpr size_t kPathological = 100 * 1024;

void BM_OrdinaryDocument1MB(benchmark::State &state) {
    static const std::string text = ordinary_document(1 << 20);
    parse(state, text, 0x10 | 0x8 | 0x200);
}
BENCHMARK(BM_OrdinaryDocument1MB)->Unit(benchmark::kMillisecond);

void BM_UnmatchedOpeners(benchmark::State &state) {
    // 50,000 openers of one kind that nothing closes, then closers of another.
    static const std::string text = std::string(50000, '[') + repeat("a) ", kPathological - 50000);
    parse(state, text, 0);
}
BENCHMARK(BM_UnmatchedOpeners)->Unit(benchmark::kMillisecond);

void BM_UnmatchedEmphasisOpeners(benchmark::State &state) {
    static const std::string text = repeat("*a ", kPathological / 2) + repeat("a_ ", kPathological / 2);
    parse(state, text, 0);
}
BENCHMARK(BM_UnmatchedEmphasisOpeners)->Unit(benchmark::kMillisecond);

void BM_AlternatingStarUnderscore(benchmark::State &state) {
    static const std::string text = repeat("*_", kPathological / 2) + "a" + repeat("_*", kPathological / 2);
    parse(state, text, 0);
}
BENCHMARK(BM_AlternatingStarUnderscore)->Unit(benchmark::kMillisecond);

void BM_BacktickRunsOfDistinctLengths(benchmark::State &state) {
    static const std::string text = backtick_runs(kPathological);
    parse(state, text, 0);
}
BENCHMARK(BM_BacktickRunsOfDistinctLengths)->Unit(benchmark::kMillisecond);

void BM_NestedParentheses(benchmark::State &state) {
    static const std::string text =
        std::string(kPathological / 2, '(') + std::string(kPathological / 2, ')');
    parse(state, text, 0);
}
BENCHMARK(BM_NestedParentheses)->Unit(benchmark::kMillisecond);

void BM_NestedQuotes(benchmark::State &state) {
    static const std::string text = repeat(std::string(2000, '>') + " deep\n", kPathological);
    parse(state, text, 0);
}
BENCHMARK(BM_NestedQuotes)->Unit(benchmark::kMillisecond);

}  // namespace

// Diffs of 1 MB texts: a few small edits, many medium edits, and two
// unrelated texts (the worst case, bounded by the diff's work budget).
// Three-way merges of a 1 MB document of lines alike: each version edits a
// few dozen lines, and one version rewritten whole; of a document of
// paragraphs between blank lines, where one version inserts paragraphs
// with their blank lines and the other edits lines next to them; and of
// real Markdown documents of 1 and 5 MB (paragraphs, lists, headings, code,
// blank lines), each version making 100 or 1,000 one-line edits scattered
// over it, none next to the other's. With ORVANE_MERGE_FILES naming a
// folder, the three texts of each real document's merge are written there
// (NAME-base.md, NAME-mine.md, NAME-theirs.md), so that another merge tool
// can be timed on the same files.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/real_markdown.h"

#include "textengine/diff/diff.h"
#include "textengine/diff/merge.h"

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

// Lines that differ by their number, as list items and table rows do.
std::string lines_alike(size_t bytes) {
    std::string s;
    for (int n = 1; s.size() < bytes; n++)
        s += "- item " + std::to_string(n) + " of the list, as long as the others\n";
    return s;
}

// Appends `mark` to `count` lines, one line in every `step`, from `first`.
std::string with_marks(std::string s, size_t first, size_t step, int count, const std::string &mark) {
    size_t line = 0, at = 0;
    for (int done = 0; done < count && at < s.size(); line++) {
        const size_t end = s.find('\n', at);
        if (line >= first && (line - first) % step == 0) {
            s.insert(end, mark);
            done++;
            at = end + mark.size() + 1;
        } else {
            at = end + 1;
        }
    }
    return s;
}

void merge(benchmark::State &state, const std::string &base, const std::string &mine, const std::string &theirs) {
    bool merged = false;
    for (auto _ : state) {
        size_t length = 0;
        char *text = dmp_merge(base.data(), base.size(), mine.data(), mine.size(), theirs.data(), theirs.size(),
                               &length);
        benchmark::DoNotOptimize(text);
        merged = text != nullptr;
        free(text);
    }
    state.counters["merged"] = merged;
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)(base.size() + mine.size() + theirs.size()));
}

void BM_MergeEditsOnNeighbouringLines(benchmark::State &state) {
    const std::string base = lines_alike(kMB);
    merge(state, base, with_marks(base, 10, 500, 40, " mine"), with_marks(base, 11, 500, 40, " theirs"));
}

// Paragraphs of two lines each between blank lines, as Markdown has them.
std::string paragraphs(size_t bytes) {
    std::string s;
    for (int n = 1; s.size() < bytes; n++)
        s += "Paragraph " + std::to_string(n) + " begins on this line\nand ends on this one.\n\n";
    return s;
}

// Inserts `text` before `count` lines, one line in every `step`, from `first`.
std::string with_lines_before(std::string s, size_t first, size_t step, int count, const std::string &text) {
    size_t line = 0, at = 0;
    for (int done = 0; done < count && at < s.size(); line++) {
        if (line >= first && (line - first) % step == 0) {
            s.insert(at, text);
            done++;
            at += text.size();
        }
        at = s.find('\n', at) + 1;
    }
    return s;
}

void BM_MergeParagraphsBetweenBlankLines(benchmark::State &state) {
    const std::string base = paragraphs(kMB);
    // Mine inserts a paragraph and a blank line after a blank line; theirs
    // edits the last line of the paragraph after it (its first line would
    // meet mine's paragraph, which goes in right before it).
    merge(state, base, with_lines_before(base, 3, 600, 40, "A paragraph of mine.\n\n"),
          with_marks(base, 4, 600, 40, " theirs"));
}

void BM_MergeWithAVersionRewritten(benchmark::State &state) {
    std::mt19937 rng(4);
    const std::string base = lines_alike(kMB);
    merge(state, base, with_marks(base, 10, 500, 40, " mine"), random_text(rng, kMB));
}


// Edits `edits` lines of `base`, one in each of as many stretches of equal
// length, at the stretch's start (`phase` 0) or its middle (`phase` 1): in
// turn a line rewritten (words added at its end), a line inserted after it
// and a line deleted.
std::string scattered(const std::string &base, int edits, int phase, const std::string &who) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < base.size();) {
        const size_t end = std::min(base.find('\n', at), base.size() - 1) + 1;
        lines.push_back(base.substr(at, end - at));
        at = end;
    }
    const size_t step = lines.size() / size_t(edits);
    std::string out;
    out.reserve(base.size() + 64 * size_t(edits));
    for (size_t i = 0; i < lines.size(); i++) {
        const size_t k = i / step;
        if (k >= size_t(edits) || i % step != size_t(phase) * (step / 2)) {
            out += lines[i];
            continue;
        }
        const std::string mark = " " + who + std::to_string(k);
        const std::string &line = lines[i];
        const bool broken = !line.empty() && line.back() == '\n';
        switch (k % 3) {
        case 0: out += line.substr(0, line.size() - broken) + mark + (broken ? "\n" : ""); break;
        case 1: out += line + "A line" + mark + " added here.\n"; break;
        default: break;
        }
    }
    return out;
}

void BM_MergeScatteredEditsOfARealDocument(benchmark::State &state) {
    const int megabytes = int(state.range(0)), edits = int(state.range(1));
    const std::string base = benchsupport::realMarkdown(size_t(megabytes) << 20);
    const std::string mine = scattered(base, edits, 0, "mine"), theirs = scattered(base, edits, 1, "theirs");
    if (const char *folder = getenv("ORVANE_MERGE_FILES")) {
        const std::string name = std::string(folder) + "/" + std::to_string(megabytes) + "mb-" + std::to_string(edits);
        std::ofstream(name + "-base.md", std::ios::binary) << base;
        std::ofstream(name + "-mine.md", std::ios::binary) << mine;
        std::ofstream(name + "-theirs.md", std::ios::binary) << theirs;
    }
    merge(state, base, mine, theirs);
}
}  // namespace

BENCHMARK(BM_DiffSmallChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiffMediumChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiffTotalChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeEditsOnNeighbouringLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeWithAVersionRewritten)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeParagraphsBetweenBlankLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeScatteredEditsOfARealDocument)
    ->Args({1, 100})
    ->Args({1, 1000})
    ->Args({5, 100})
    ->Args({5, 1000})
    ->Unit(benchmark::kMillisecond);

// HTML writing speed on a 1 MB document, reported beside the parse of the
// same text so the writer's share of a preview update is visible; plus the
// escaping of long plain runs, which must append run by run.
#include <benchmark/benchmark.h>

#include <string>

#include "library/engine.h"
#include "library/export_context.h"
#include "library/writers/html.h"

namespace {

std::string ordinary_document(size_t size) {
    static const char *const sections[] = {
        "# Heading with *emphasis*\n\n",
        "A paragraph with **strong** text, a [link](http://example.com/?a=1&b=2 \"title\"), "
        "some `code <b>`, \"quotes\", it's an apostrophe -- and $x^2$ math...\n"
        "Its second line has _underscores_ and a footnote[^An inline note.].\n\n",
        "* first item\n* second item with *emphasis*\n    continued\n\n",
        "1. one\n2. two\n\n   loose paragraph\n\n",
        "> quoted *text* with {++an insertion++} and {--a deletion--}\n> more quote\n\n",
        "```c\ncode block < & >\n  indented\n```\n\n",
        "| a | b |\n|:--|--:|\n| 1 | 2 |\n| 3 | ![i](i.png) |\n\n",
        "Term\n: definition of the term\n\n",
        "    indented code\n\n",
    };
    std::string out;
    for (size_t i = 0; out.size() < size; i++)
        out += sections[i % (sizeof sections / sizeof *sections)];
    return out;
}

constexpr uint64_t kFlags = 0x8 | 0x10 | 0x200;

void BM_Parse1MB(benchmark::State &state) {
    std::string doc = ordinary_document(1 << 20);
    for (auto _ : state) {
        tzr_engine *e = tzr_engine_create_with_string(doc.c_str(), kFlags);
        tzr_engine_parse_string(e);
        benchmark::DoNotOptimize(e->root);
        tzr_engine_free(e, true);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)doc.size());
}
BENCHMARK(BM_Parse1MB)->Unit(benchmark::kMillisecond);

// Parse and write; the difference from BM_Parse1MB is the writer's cost.
void BM_ParseAndWriteHtml1MB(benchmark::State &state) {
    std::string doc = ordinary_document(1 << 20);
    size_t written = 0;
    for (auto _ : state) {
        tzr_engine *e = tzr_engine_create_with_string(doc.c_str(), kFlags);
        tzr_engine_parse_string(e);
        tzr_export_context *c = tzr_export_context_new(e, TZR_FORMAT_HTML);
        DString *out = d_string_new("");
        html_export_token_chain(out, e->source->str, e->root, c);
        html_write_footnotes(out, e->source->str, c);
        written = out->length;
        d_string_free(out, true);
        e->asset_table = c->asset_table;
        tzr_export_context_free(c);
        tzr_engine_free(e, true);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)doc.size());
    state.counters["html_bytes"] = (double)written;
}
BENCHMARK(BM_ParseAndWriteHtml1MB)->Unit(benchmark::kMillisecond);

void BM_EscapePlainRuns(benchmark::State &state) {
    std::string text;
    while (text.size() < (1 << 20))
        text += "A long run of ordinary text without markup, then one <tag> & a \"quote\".\n";
    for (auto _ : state) {
        DString *out = d_string_new("");
        html_print_string(out, text.c_str(), false);
        benchmark::DoNotOptimize(out->str);
        d_string_free(out, true);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_EscapePlainRuns);

}  // namespace

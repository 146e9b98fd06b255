// Lookups in the export context's stores must stay hash probes, whatever the
// number of definitions; labels are made for every heading of a document.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library/export_context.h"
#include "library/labels.h"

static void BM_FindLink(benchmark::State &state) {
    tzr_export_context ctx;
    std::vector<tzr_link *> links;
    for (int i = 0; i < state.range(0); i++) {
        auto *l = static_cast<tzr_link *>(calloc(1, sizeof(tzr_link)));
        std::string clean = "reference number " + std::to_string(i);
        l->clean_text = strdup(clean.c_str());
        l->label_text = tzr_label_from_text(clean.c_str());
        tzr_store_add_link(&ctx, l);
        links.push_back(l);
    }
    std::string wanted = "Reference  Number " + std::to_string(state.range(0) / 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(tzr_find_link(&ctx, wanted.c_str()));
    for (tzr_link *l : links)
        tzr_link_free(l);
}
BENCHMARK(BM_FindLink)->Arg(10)->Arg(10000);

static void BM_LabelFromText(benchmark::State &state) {
    std::string text;
    while (text.size() < 64 * 1024)
        text += "## A Heading, with \xC3\xA9l\xC3\xA8ves & punctuation! ";
    for (auto _ : state) {
        char *label = tzr_label_from_text(text.c_str());
        benchmark::DoNotOptimize(label);
        free(label);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_LabelFromText);

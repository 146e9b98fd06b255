// Throughput of the scanners the line typer asks on every line of a parse:
// each must cost no more than one pass over the bytes it examines.
#include <benchmark/benchmark.h>

#include <string>

#include "library/scanners/scanners.h"

namespace {

std::string sample_document(size_t bytes) {
    static const char *const lines[] = {
        "title: A long document\n",
        "# A heading with some words in it\n",
        "Plain paragraph text that runs on for a while, with a link <a@b.c>.\n",
        "| left | right | centre |\n",
        "|:-----|------:|:------:|\n",
        "[^note]: A footnote that explains something.\n",
        "[ref]: http://example.com/path \"Title\"\n",
        "<div class=\"box\" id='main'>\n",
        "<!-- a comment\nthat spans lines -->\n",
        "```js\n",
        "\n",
    };
    std::string text;
    for (size_t i = 0; text.size() < bytes; i++)
        text += lines[i % (sizeof lines / sizeof *lines)];
    return text;
}

void BM_LineScanners(benchmark::State &state) {
    const std::string text = sample_document(1 << 20);
    for (auto _ : state) {
        size_t hits = 0;
        for (const char *p = text.c_str(); *p;) {
            hits += scan_fence(p) + scan_fence_start(p) + scan_setext(p) + scan_atx_marker(p) +
                    scan_table_separator(p) + scan_meta_line(p) + scan_footnote_definition(p) +
                    scan_reference_link_definition(p) + scan_html_block_start(p) +
                    scan_html_line(p) + scan_url(p);
            while (*p && *p != '\n')
                p++;
            if (*p)
                p++;
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_LineScanners)->Unit(benchmark::kMillisecond);

}  // namespace

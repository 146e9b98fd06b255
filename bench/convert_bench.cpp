// Whole conversion to HTML through the public operation, on 1 MB documents:
// a Tessaro document with notes, glossary terms and abbreviations to link,
// and a plain-Markdown document converted both by the library and by cmark
// (a CommonMark peer, linked into this benchmark alone when present) so the
// two stand side by side on the same input.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "library/tzr.h"

#ifdef ORVANE_HAVE_CMARK
#include <cmark.h>
#endif

namespace {

std::string repeat_to(size_t size, const char *const *sections, size_t count) {
    std::string out;
    for (size_t i = 0; out.size() < size; i++)
        out += sections[i % count];
    return out;
}

// Markup that both CommonMark and Tessaro read the same way.
std::string plain_markdown(size_t size) {
    static const char *const sections[] = {
        "# Heading with *emphasis*\n\n",
        "A paragraph with **strong** text, a [link](http://example.com/?a=1&b=2 \"title\"), "
        "some `code <b>`, \"quotes\" and an apostrophe's worth of words.\n"
        "Its second line has _underscores_ and more ordinary running text.\n\n",
        "* first item\n* second item with *emphasis*\n\n",
        "1. one\n2. two\n\n",
        "> quoted *text*\n> more quote\n\n",
        "```\ncode block < & >\n  indented\n```\n\n",
        "    indented code\n\n",
    };
    return repeat_to(size, sections, sizeof sections / sizeof *sections);
}

// A Tessaro document: metadata, every kind of note, terms to auto-link.
std::string tessaro_document(size_t size) {
    static const char *const sections[] = {
        "## Part about HTML and Tessaro\n\n",
        "HTML pages written in Tessaro cite a book[#book] and add a note[^n1]; "
        "the CSS of a page and an inline note[^Said in passing.] follow, with "
        "a [reference link][ref] and *emphasis*.\n\n",
        "* an item about CSS\n* another about Tessaro\n\n",
        "| HTML | CSS |\n|:--|--:|\n| Tessaro | 2 |\n[Caption][tab]\n\n",
        "> quoted text that mentions HTML\n\n",
    };
    std::string out =
        "title: Benchmark\nauthor: Someone\n\n"
        "[^n1]: The footnote text.\n\n[#book]: A book.\n\n[?Tessaro]: A markup language.\n\n"
        "[>HTML]: Hypertext Markup Language\n\n[>CSS]: Cascading Style Sheets\n\n"
        "[ref]: http://example.com \"Example\"\n\n";
    out += repeat_to(size, sections, sizeof sections / sizeof *sections);
    return out;
}

constexpr uint64_t kFlags = 0x8 | 0x10;

void convert_with_tessaro(benchmark::State &state, const std::string &doc) {
    size_t written = 0;
    for (auto _ : state) {
        char *html = tzr_string_convert(doc.c_str(), kFlags, TZR_FORMAT_HTML, 0);
        benchmark::DoNotOptimize(html);
        written = html ? strlen(html) : 0;
        free(html);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)doc.size());
    state.counters["html_bytes"] = (double)written;
}

void BM_ConvertTessaroDocument1MB(benchmark::State &state) {
    convert_with_tessaro(state, tessaro_document(1 << 20));
}
BENCHMARK(BM_ConvertTessaroDocument1MB)->Unit(benchmark::kMillisecond);

void BM_ConvertPlainMarkdown1MB_Tessaro(benchmark::State &state) {
    convert_with_tessaro(state, plain_markdown(1 << 20));
}
BENCHMARK(BM_ConvertPlainMarkdown1MB_Tessaro)->Unit(benchmark::kMillisecond);

#ifdef ORVANE_HAVE_CMARK
void BM_ConvertPlainMarkdown1MB_Cmark(benchmark::State &state) {
    std::string doc = plain_markdown(1 << 20);
    size_t written = 0;
    for (auto _ : state) {
        char *html = cmark_markdown_to_html(doc.data(), doc.size(), CMARK_OPT_DEFAULT);
        benchmark::DoNotOptimize(html);
        written = html ? strlen(html) : 0;
        free(html);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)doc.size());
    state.counters["html_bytes"] = (double)written;
}
BENCHMARK(BM_ConvertPlainMarkdown1MB_Cmark)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

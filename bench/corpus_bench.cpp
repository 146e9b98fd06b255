// Converts a large real-world corpus of plain Markdown to HTML with this
// library and, side by side, with cmark and md4c's HTML renderer: MB/s on the
// whole corpus, the scaling from 1x to 16x a 2 MiB slice, and the peak memory
// of each conversion. The corpus is every Markdown file that the installed
// Debian packages ship under /usr/share/doc, gathered by bench/gather-corpus
// into the build tree on first use (ORVANE_CORPUS names another file).
//
// After the Google Benchmark runs a summary follows: throughput, the time of
// 16x over the time of 1x (each the first conversion of a fresh process), and
// the peak memory over the source size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "library/tzr.h"

#ifdef ORVANE_HAVE_CMARK
#include <cmark.h>
#endif
#ifdef ORVANE_HAVE_MD4C
#include <md4c-html.h>
#endif

namespace {

constexpr uint64_t kExtensions = TZR_EXT_NOTES | TZR_EXT_SMART;
constexpr size_t kSlice = 2u << 20;

const std::string &corpus() {
    static const std::string text = [] {
        std::string path = getenv("ORVANE_CORPUS") ? getenv("ORVANE_CORPUS") : "corpus.md";
        if (access(path.c_str(), R_OK) != 0) {
            std::string command = std::string(ORVANE_SOURCE_DIR) + "/bench/gather-corpus '" + path + "'";
            if (system(command.c_str()) != 0) {
                fprintf(stderr, "could not gather the corpus into %s\n", path.c_str());
                exit(1);
            }
        }
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        std::string data((size_t)in.tellg(), '\0');
        in.seekg(0);
        in.read(data.data(), (std::streamsize)data.size());
        return data;
    }();
    return text;
}

// The first 2 MiB of the corpus, cut at a line end, `times` times over.
std::string scaled(int times) {
    const std::string &all = corpus();
    size_t cut = all.size() > kSlice ? all.rfind('\n', kSlice) + 1 : all.size();
    std::string slice = all.substr(0, cut);
    std::string out;
    out.reserve(slice.size() * times);
    for (int i = 0; i < times; i++)
        out += slice;
    return out;
}

// --- The three converters: each returns the length of its HTML -------------

size_t convert_tzr(const std::string &text) {
    char *html = tzr_string_convert(text.c_str(), kExtensions, TZR_FORMAT_HTML, 0);
    size_t length = html ? strlen(html) : 0;
    free(html);
    return length;
}

#ifdef ORVANE_HAVE_CMARK
size_t cmark_with(const std::string &text, int options) {
    char *html = cmark_markdown_to_html(text.data(), text.size(), options);
    size_t length = strlen(html);
    free(html);
    return length;
}

size_t convert_cmark(const std::string &text) { return cmark_with(text, CMARK_OPT_DEFAULT); }

// With typographic quotes and dashes, as the library's smart extension does.
size_t convert_cmark_smart(const std::string &text) { return cmark_with(text, CMARK_OPT_SMART); }
#endif

#ifdef ORVANE_HAVE_MD4C
size_t convert_md4c(const std::string &text) {
    std::string html;
    md_html(
        text.data(), (MD_SIZE)text.size(),
        [](const MD_CHAR *chunk, MD_SIZE size, void *out) {
            static_cast<std::string *>(out)->append(chunk, size);
        },
        &html, MD_DIALECT_COMMONMARK, 0);
    return html.size();
}
#endif

struct Converter {
    const char *name;
    size_t (*convert)(const std::string &);
};

const std::vector<Converter> &converters() {
    static const std::vector<Converter> all = {
        {"tzr", convert_tzr},
#ifdef ORVANE_HAVE_CMARK
        {"cmark", convert_cmark},
        {"cmark-smart", convert_cmark_smart},
#endif
#ifdef ORVANE_HAVE_MD4C
        {"md4c", convert_md4c},
#endif
    };
    return all;
}

// --- Google Benchmark entries ------------------------------------------------

void BM_Corpus(benchmark::State &state, size_t (*convert)(const std::string &)) {
    const std::string &text = corpus();
    for (auto _ : state)
        benchmark::DoNotOptimize(convert(text));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}

void BM_Scaling(benchmark::State &state, size_t (*convert)(const std::string &)) {
    std::string text = scaled((int)state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(convert(text));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}

// --- Summary -----------------------------------------------------------------

double seconds(const Converter &c, const std::string &text) {
    auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(c.convert(text));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best time of each converter over `runs` rounds. Each round runs every
// converter once, so that a machine whose speed drifts during the summary
// slows them all alike.
std::vector<double> best_seconds(const std::string &text, int runs) {
    std::vector<double> best(converters().size(), 1e30);
    for (int i = 0; i < runs; i++) {
        for (size_t k = 0; k < converters().size(); k++)
            best[k] = std::min(best[k], seconds(converters()[k], text));
    }
    return best;
}

long status_kib(const char *field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    size_t n = strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0)
            return atol(line.c_str() + n + 1);
    return -1;
}

const Converter *converter_named(const char *name) {
    for (const Converter &c : converters())
        if (strcmp(c.name, name) == 0)
            return &c;
    return nullptr;
}

// Child mode `--peak NAME`: loads the corpus, resets the resident-memory
// high-water mark, converts once with converter NAME and prints the peak
// resident memory that the conversion added, in bytes.
int peak_child(const char *name) {
    const Converter *c = converter_named(name);
    if (!c)
        return 1;
    const std::string &text = corpus();
    std::ofstream("/proc/self/clear_refs") << "5";
    long before = status_kib("VmRSS:");
    benchmark::DoNotOptimize(c->convert(text));
    printf("%ld\n", (status_kib("VmHWM:") - before) * 1024);
    return 0;
}

// Child mode `--first NAME TIMES`: prints the seconds of the first
// conversion in this process of TIMES times the scaling slice.
int first_child(const char *name, const char *times) {
    const Converter *c = converter_named(name);
    if (!c)
        return 1;
    std::string text = scaled(atoi(times));
    printf("%.6f\n", seconds(*c, text));
    return 0;
}

// Runs this program again with `arguments` and reads the number it prints.
double child_figure(const std::string &arguments) {
    std::string command = "/proc/" + std::to_string(getpid()) + "/exe " + arguments;
    FILE *child = popen(command.c_str(), "r");
    if (!child)
        return -1;
    double figure = -1;
    if (fscanf(child, "%lf", &figure) != 1)
        figure = -1;
    pclose(child);
    return figure;
}

// The peak memory of one conversion, measured in a fresh process so that no
// heap left over from the benchmarks hides it.
long peak_bytes(const Converter &c) {
    return (long)child_figure(std::string("--peak ") + c.name);
}

// The scaling: 16 times the slice against the slice, each converted first
// thing in a fresh process (best of three), so that the small input does not
// gain from the memory that earlier conversions left in the heap while the
// large one must ask the system for all of its own.
std::vector<double> scaling(int rounds) {
    std::vector<double> one(converters().size(), 1e30), sixteen(converters().size(), 1e30);
    for (int i = 0; i < rounds; i++) {
        for (size_t k = 0; k < converters().size(); k++) {
            std::string name = converters()[k].name;
            one[k] = std::min(one[k], child_figure("--first " + name + " 1"));
            sixteen[k] = std::min(sixteen[k], child_figure("--first " + name + " 16"));
        }
    }
    std::vector<double> ratio(converters().size());
    for (size_t k = 0; k < ratio.size(); k++)
        ratio[k] = sixteen[k] / one[k];
    return ratio;
}

void print_summary() {
    const std::string &text = corpus();
    printf("\nCorpus: %.1f MB of Markdown from /usr/share/doc; scaling slice %.1f MB\n",
           text.size() / 1e6, scaled(1).size() / 1e6);
    printf("%-12s %10s %16s %14s %16s\n", "", "MB/s", "16x/1x time", "peak MB", "peak / source");
    std::vector<double> corpus_time = best_seconds(text, 5);
    std::vector<double> ratio = scaling(3);
    for (size_t k = 0; k < converters().size(); k++) {
        const Converter &c = converters()[k];
        long peak = peak_bytes(c);
        printf("%-12s %10.1f %16.2f %14.1f %16.2f\n", c.name, text.size() / 1e6 / corpus_time[k],
               ratio[k], peak / 1e6, (double)peak / (double)text.size());
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 3 && !strcmp(argv[1], "--peak"))
        return peak_child(argv[2]);
    if (argc == 4 && !strcmp(argv[1], "--first"))
        return first_child(argv[2], argv[3]);
    for (const Converter &c : converters()) {
        benchmark::RegisterBenchmark((std::string("BM_Corpus/") + c.name).c_str(), BM_Corpus, c.convert)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_Scaling/") + c.name).c_str(), BM_Scaling, c.convert)
            ->RangeMultiplier(2)
            ->Range(1, 16)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_summary();
    return 0;
}

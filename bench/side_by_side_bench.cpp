// Whole-process HTML conversion side by side: tzr-convert (the library with
// its default extensions, notes and smart typography), Debian's `cmark`
// command (plain and with --smart), md4c's md2html when it is installed,
// else md4c's HTML renderer run by this program in a process of its own;
// and tzr-convert making an EPUB of the same text, which has no peer here.
//
// The input is a 5 MB slice of the corpus that bench/gather-corpus builds
// (every Markdown file the installed Debian packages ship): the last
// 5,000,000 bytes of it, taken from the first line start, so that it is held
// out of the 2 MiB slice from the front that corpus_bench scales. Each round
// runs every converter once, as a fresh process writing to /dev/null, in an
// order that turns from round to round; the report gives the median wall
// time, the median processor time (user and system) and the median peak
// resident memory of each, and the median over the rounds of the library's
// time over cmark's in the same round.
//
// With --kinds the corpus is sorted by kind (gather-corpus --kinds: API
// references, command manuals, changelogs, READMEs, prose, this project's
// own documents, and a mix of them all), and each kind is converted at
// 200 KB, 1, 5 and 20 MB: its text from the start, repeated when it is
// shorter (without the tables of contents of the first copy), cut at the
// first blank line past the size; and "heading", one heading line made of
// the mix's words at each size. Beside the converters
// above (less the EPUB) runs api_convert, the library through its public API
// with no extension, which is weighed against plain cmark; tzr-convert is
// weighed against `cmark --smart`, which does the same typographic work.
// One line per kind and size gives the ratios, each the median over the
// rounds of the two processes' figures in the same round.
//
//   side_by_side_bench [--rounds N] [--corpus FILE] [--tzr-convert PROGRAM]
//   side_by_side_bench --kinds FOLDER [--rounds N] [--sizes LIST] [--only KINDS]
//                      [--tzr-convert PROGRAM] [--api-convert PROGRAM]
//
// LIST is sizes in bytes separated by commas; KINDS names kinds separated by
// commas. ORVANE_CORPUS names the corpus file as for corpus_bench.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <vector>

#ifdef ORVANE_HAVE_MD4C
#include <md4c-html.h>
#endif

namespace {

constexpr size_t kSliceBytes = 5000000;

std::string read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A file's size, without reading it in.
size_t file_size(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (size_t)st.st_size : 0;
}

// A child's peak resident memory counts the pages it had from this process
// when it was forked, before its exec: the memory that making a corpus file
// or a piece took is given back, so that it never passes for a converter's.
void give_back_memory() { malloc_trim(0); }

// The corpus file, gathered on first use.
std::string corpus_path(const char *given) {
    std::string path = given ? given : getenv("ORVANE_CORPUS") ? getenv("ORVANE_CORPUS") : "corpus.md";
    if (access(path.c_str(), R_OK) != 0) {
        std::string command = std::string(ORVANE_SOURCE_DIR) + "/bench/gather-corpus '" + path + "'";
        if (system(command.c_str()) != 0) {
            fprintf(stderr, "could not gather the corpus into %s\n", path.c_str());
            exit(1);
        }
    }
    return path;
}

// Writes the held-out slice next to the corpus and returns its path.
std::string slice_path(const std::string &corpus) {
    std::string text = read_all(corpus);
    size_t from = 0;
    if (text.size() > kSliceBytes) {
        size_t cut = text.find('\n', text.size() - kSliceBytes);
        from = cut == std::string::npos ? text.size() - kSliceBytes : cut + 1;
    }
    std::string path = corpus + ".slice5.md";
    std::ofstream(path, std::ios::binary).write(text.data() + from, (std::streamsize)(text.size() - from));
    return path;
}

bool on_path(const char *program) {
    std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return system(command.c_str()) == 0;
}

struct Converter {
    std::string name;
    std::vector<std::string> argv;  // the file is appended
};

struct Run {
    double wall = 0;  // seconds
    double cpu = 0;   // user + system seconds
    double peak = 0;  // bytes of peak resident memory
    bool ok = false;
};

double seconds(const timeval &t) { return (double)t.tv_sec + (double)t.tv_usec / 1e6; }

// Runs the converter on `file` as a fresh process.
Run run(const Converter &c, const std::string &file) {
    std::vector<std::string> words = c.argv;
    words.push_back(file);
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    Run r;
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        // Output and reports (the EPUB's pictures it cannot store) go
        // nowhere: only the exit status counts.
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return r;
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    r.peak = (double)usage.ru_maxrss * 1024.0;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

#ifdef ORVANE_HAVE_MD4C
// Child mode `--md4c FILE`: md4c's HTML renderer over the file, to standard
// output, as md2html would do it.
int md4c_child(const char *file) {
    std::string text = read_all(file);
    int status = md_html(
        text.data(), (MD_SIZE)text.size(),
        [](const MD_CHAR *chunk, MD_SIZE size, void *) { fwrite(chunk, 1, size, stdout); }, nullptr,
        MD_DIALECT_COMMONMARK, 0);
    return status == 0 ? 0 : 1;
}
#endif

}  // namespace

// The piece of a kind's text at `size` bytes: the text from its start,
// repeated while it is shorter, cut at the end of the first blank line that
// ends at or past `size`. Written beside the kinds and reused.
std::string piece_path(const std::string &folder, const std::string &kind, size_t size) {
    std::string path = folder + "/pieces/" + kind + "-" + std::to_string(size) + ".md";
    if (access(path.c_str(), R_OK) == 0)
        return path;
    std::string command = "mkdir -p '" + folder + "/pieces'";
    if (system(command.c_str()) != 0)
        return {};
    bool heading = kind == "heading";
    std::string text = read_all(folder + "/" + (heading ? std::string("mix") : kind) + ".md");
    if (text.empty())
        return {};
    if (heading) {
        // One heading line of the mix's words: its id is made from the
        // whole line.
        std::string line = "# ";
        while (line.size() < size) {
            for (size_t i = 0; i < text.size() && line.size() < size; i++)
                line += text[i] == '\n' || text[i] == '\r' ? ' ' : text[i];
        }
        line += '\n';
        std::ofstream(path, std::ios::binary).write(line.data(), (std::streamsize)line.size());
        return path;
    }
    // A repeated text keeps the tables of contents of its first copy
    // alone: each lists every heading of the whole piece, and a real
    // document asks for one, not one per copy.
    std::string again = text;
    for (size_t at = again.find("\n{{TOC}}\n"); at != std::string::npos; at = again.find("\n{{TOC}}\n", at))
        again.erase(at + 1, 8);
    std::string piece = text;
    while (piece.size() < size)
        piece += again;
    size_t cut = piece.find("\n\n", size > 2 ? size - 2 : 0);
    if (cut != std::string::npos)
        piece.resize(cut + 2);
    std::ofstream(path, std::ios::binary).write(piece.data(), (std::streamsize)piece.size());
    return path;
}

std::vector<std::string> split_list(const char *text) {
    std::vector<std::string> items;
    std::string item;
    for (const char *c = text; c && *c; c++) {
        if (*c == ',') {
            if (!item.empty())
                items.push_back(item);
            item.clear();
        } else {
            item += *c;
        }
    }
    if (!item.empty())
        items.push_back(item);
    return items;
}

// The medians of a set of converters run in turn on one file, and of the
// ratios of pairs of them in the same round.
struct Measured {
    std::vector<double> cpu, peak;
    bool ok = true;
    double cpu_ratio(size_t a, size_t b) const { return median(cpu_ratios[a * n + b]); }
    double peak_ratio(size_t a, size_t b) const { return median(peak_ratios[a * n + b]); }
    size_t n = 0;
    std::vector<std::vector<double>> cpu_ratios, peak_ratios;
};

Measured measure(const std::vector<Converter> &converters, const std::string &file, int rounds) {
    Measured m;
    size_t n = converters.size();
    m.n = n;
    m.cpu_ratios.resize(n * n);
    m.peak_ratios.resize(n * n);
    std::vector<std::vector<double>> cpu(n), peak(n);
    for (int round = 0; round < rounds; round++) {
        std::vector<Run> runs(n);
        for (size_t k = 0; k < n; k++) {
            size_t which = (k + (size_t)round) % n;
            runs[which] = run(converters[which], file);
            if (!runs[which].ok) {
                fprintf(stderr, "%s failed on %s\n", converters[which].name.c_str(), file.c_str());
                m.ok = false;
                return m;
            }
        }
        for (size_t a = 0; a < n; a++) {
            cpu[a].push_back(runs[a].cpu);
            peak[a].push_back(runs[a].peak);
            for (size_t b = 0; b < n; b++) {
                m.cpu_ratios[a * n + b].push_back(runs[a].cpu / std::max(runs[b].cpu, 1e-6));
                m.peak_ratios[a * n + b].push_back(runs[a].peak / std::max(runs[b].peak, 1.0));
            }
        }
    }
    for (size_t k = 0; k < n; k++) {
        m.cpu.push_back(median(cpu[k]));
        m.peak.push_back(median(peak[k]));
    }
    return m;
}

int run_kinds(const std::string &folder, int rounds, const char *sizes, const char *only, const char *tzr,
              const char *api) {
    if (access((folder + "/mix.md").c_str(), R_OK) != 0) {
        std::string command = std::string(ORVANE_SOURCE_DIR) + "/bench/gather-corpus --kinds '" + folder + "'";
        if (system(command.c_str()) != 0) {
            fprintf(stderr, "could not gather the kinds into %s\n", folder.c_str());
            return 1;
        }
    }
    if (!on_path("cmark")) {
        fprintf(stderr, "cmark is not installed (Debian package cmark): nothing to compare with\n");
        return 1;
    }
    std::vector<std::string> kinds =
        only ? split_list(only) : std::vector<std::string>{"api",   "manuals", "changelogs", "readmes",
                                                           "prose", "project", "mix",        "heading"};
    std::vector<size_t> byte_sizes;
    for (const std::string &size : split_list(sizes ? sizes : "200000,1000000,5000000,20000000"))
        byte_sizes.push_back((size_t)strtoull(size.c_str(), nullptr, 10));

    enum { kTzr, kSmart, kApi, kCmark, kMd4c };
    std::vector<Converter> converters = {
        {"tzr-convert", {tzr}}, {"cmark --smart", {"cmark", "--smart"}}, {"api_convert", {api}}, {"cmark", {"cmark"}}};
    if (on_path("md2html")) {
        converters.push_back({"md2html", {"md2html"}});
    } else {
#ifdef ORVANE_HAVE_MD4C
        converters.push_back({"md4c (md_html)", {std::string("/proc/") + std::to_string(getpid()) + "/exe", "--md4c"}});
#endif
    }
    bool md4c = converters.size() > kMd4c;

    printf("%d rounds; CPU is user + system time, peak the peak resident memory; ratios are medians\n"
           "of the two processes' figures in the same round\n",
           rounds);
    printf("%-11s %9s | %9s %9s %6s %6s | %9s %9s %6s %6s | %7s %7s\n", "kind", "MB", "tzr ms", "smart ms", "CPU",
           "peak", "api ms", "cmark ms", "CPU", "peak", "tzr MB", "/md4c");
    bool all_ok = true;
    for (const std::string &kind : kinds) {
        for (size_t size : byte_sizes) {
            std::string file = piece_path(folder, kind, size);
            if (file.empty()) {
                fprintf(stderr, "no text for kind %s in %s\n", kind.c_str(), folder.c_str());
                return 1;
            }
            give_back_memory();
            size_t bytes = file_size(file);
            Measured m = measure(converters, file, rounds);
            if (!m.ok) {
                all_ok = false;
                continue;
            }
            char md4c_ratio[16] = "-";
            if (md4c)
                snprintf(md4c_ratio, sizeof md4c_ratio, "%.2f", m.cpu_ratio(kTzr, kMd4c));
            printf("%-11s %9.2f | %9.1f %9.1f %6.2f %6.2f | %9.1f %9.1f %6.2f %6.2f | %7.1f %7s\n", kind.c_str(),
                   bytes / 1e6, m.cpu[kTzr] * 1e3, m.cpu[kSmart] * 1e3, m.cpu_ratio(kTzr, kSmart),
                   m.peak_ratio(kTzr, kSmart), m.cpu[kApi] * 1e3, m.cpu[kCmark] * 1e3, m.cpu_ratio(kApi, kCmark),
                   m.peak_ratio(kApi, kCmark), m.peak[kTzr] / 1e6, md4c_ratio);
            fflush(stdout);
        }
    }
    return all_ok ? 0 : 1;
}

int main(int argc, char **argv) {
#ifdef ORVANE_HAVE_MD4C
    if (argc == 3 && !strcmp(argv[1], "--md4c"))
        return md4c_child(argv[2]);
#endif
    int rounds = 11;
    const char *corpus = nullptr;
    const char *tzr = ORVANE_TZR_CONVERT;
    const char *api = ORVANE_API_CONVERT;
    const char *kinds = nullptr;
    const char *sizes = nullptr;
    const char *only = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--rounds"))
            rounds = std::max(1, atoi(argv[i + 1]));
        else if (!strcmp(argv[i], "--corpus"))
            corpus = argv[i + 1];
        else if (!strcmp(argv[i], "--tzr-convert"))
            tzr = argv[i + 1];
        else if (!strcmp(argv[i], "--api-convert"))
            api = argv[i + 1];
        else if (!strcmp(argv[i], "--kinds"))
            kinds = argv[i + 1];
        else if (!strcmp(argv[i], "--sizes"))
            sizes = argv[i + 1];
        else if (!strcmp(argv[i], "--only"))
            only = argv[i + 1];
    }
    if (kinds)
        return run_kinds(kinds, rounds, sizes, only, tzr, api);
    std::string file = slice_path(corpus_path(corpus));
    give_back_memory();
    size_t bytes = file_size(file);

    // The EPUB row has no peer: a book of the slice, whose XHTML pass and
    // level-9 deflate make it the dearest format.
    std::vector<Converter> converters = {{"tzr-convert", {tzr}}, {"tzr-convert epub", {tzr, "-f", "epub"}}};
    size_t cmark_index = 0;
    if (on_path("cmark")) {
        cmark_index = converters.size();
        converters.push_back({"cmark", {"cmark"}});
        converters.push_back({"cmark --smart", {"cmark", "--smart"}});
    } else {
        fprintf(stderr, "cmark is not installed (Debian package cmark): no comparison\n");
    }
    if (on_path("md2html")) {
        converters.push_back({"md2html", {"md2html"}});
    } else {
#ifdef ORVANE_HAVE_MD4C
        converters.push_back({"md4c (md_html)", {"/proc/self/exe", "--md4c"}});
        converters.back().argv[0] = std::string("/proc/") + std::to_string(getpid()) + "/exe";
#endif
    }

    size_t n = converters.size();
    std::vector<std::vector<double>> wall(n), cpu(n), peak(n);
    std::vector<double> ratio_wall, ratio_cpu;
    for (int round = 0; round < rounds; round++) {
        std::vector<Run> runs(n);
        for (size_t k = 0; k < n; k++) {
            size_t which = (k + (size_t)round) % n;
            runs[which] = run(converters[which], file);
            if (!runs[which].ok) {
                fprintf(stderr, "%s failed on %s\n", converters[which].name.c_str(), file.c_str());
                return 1;
            }
        }
        for (size_t k = 0; k < n; k++) {
            wall[k].push_back(runs[k].wall);
            cpu[k].push_back(runs[k].cpu);
            peak[k].push_back(runs[k].peak);
        }
        if (cmark_index) {
            ratio_wall.push_back(runs[0].wall / runs[cmark_index].wall);
            ratio_cpu.push_back(runs[0].cpu / runs[cmark_index].cpu);
        }
    }

    printf("Held-out slice: %.2f MB (%s), %d rounds, medians\n", bytes / 1e6, file.c_str(), rounds);
    printf("%-16s %10s %10s %10s %14s\n", "", "wall ms", "CPU ms", "peak MB", "peak / source");
    for (size_t k = 0; k < n; k++) {
        double p = median(peak[k]);
        printf("%-16s %10.1f %10.1f %10.1f %14.2f\n", converters[k].name.c_str(), median(wall[k]) * 1e3,
               median(cpu[k]) * 1e3, p / 1e6, p / (double)bytes);
    }
    if (cmark_index) {
        printf("tzr-convert over cmark, paired by round: wall %.2fx, CPU %.2fx, peak memory %.2fx\n",
               median(ratio_wall), median(ratio_cpu), median(peak[0]) / median(peak[cmark_index]));
    }
    return 0;
}

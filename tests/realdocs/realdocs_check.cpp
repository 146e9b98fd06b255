// The real-document check: every Markdown file that the installed Debian
// packages ship is converted to every output format, and each output is read
// back as its consumers read it: XML parts (flat OpenDocument, the parts of
// the zipped OpenDocument and of the EPUB book) must be well-formed, and the
// HTML page must parse without nesting errors.
//
//   realdocs_check [--shard I/N] [--root FOLDER] [--keep FOLDER]
//
// Each document is converted in a child process of its own, so a crash or a
// hang is told apart and names its document. The run prints counts per
// format and a last line "realdocs: N passed, N failed"; it exits non-zero on
// any crash, hang, malformed XML or HTML nesting error.
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "library/tzr.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *kFormatNames[] = {"html", "epub",       "latex",   "beamer", "memoir",
                                        "fodt", "odt",        "textbundle", "textpack"};
constexpr int kFormats = 9;
constexpr int kSecondsPerDocument = 120;

bool is_markdown(const fs::path &path) {
    const std::string name = path.filename().string();
    auto ends = [&](const char *suffix) {
        size_t n = strlen(suffix);
        return name.size() > n && name.compare(name.size() - n, n, suffix) == 0;
    };
    return ends(".md") || ends(".markdown") || ends(".md.gz");
}

// Every Markdown file under the root, plain or gzipped, in a stable order.
std::vector<fs::path> gather(const fs::path &root) {
    std::vector<fs::path> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error)
            break;
        if (it->is_regular_file(error) && is_markdown(it->path()))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool read_document(const fs::path &path, std::string *text) {
    gzFile in = gzopen(path.c_str(), "rb");  // reads plain files as they are
    if (!in)
        return false;
    char buffer[65536];
    int n;
    while ((n = gzread(in, buffer, sizeof buffer)) > 0)
        text->append(buffer, (size_t)n);
    bool ok = n == 0;
    gzclose(in);
    return ok;
}

// libxml2 reports through a handler; the first message of a document is kept.
struct ParseErrors {
    int count = 0;
    std::string first;
};

void collect_error(void *context, xmlErrorPtr error) {
    auto *errors = static_cast<ParseErrors *>(context);
    if (error->level < XML_ERR_ERROR)
        return;
    if (errors->count++ == 0) {
        errors->first = "line " + std::to_string(error->line) + ": " +
                        (error->message ? error->message : "?");
        while (!errors->first.empty() && errors->first.back() == '\n')
            errors->first.pop_back();
    }
}

// An empty string when the bytes are well-formed XML, else the first error.
std::string xml_problem(const char *bytes, size_t length) {
    ParseErrors errors;
    xmlSetStructuredErrorFunc(&errors, collect_error);
    xmlDocPtr doc = xmlReadMemory(bytes, (int)length, "part.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_HUGE);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlFreeDoc(doc);
    return errors.count || !doc ? (errors.first.empty() ? "not parsed" : errors.first) : "";
}

// Errors of the HTML parser that mean elements do not nest as written: an
// end tag without its start (a paragraph closed twice, "</p>" after a block
// the paragraph cannot hold) or a start tag where its element cannot stand.
bool is_nesting_error(const std::string &message) {
    return message.find("Unexpected end tag") != std::string::npos ||
           message.find("misplaced") != std::string::npos;
}

void collect_nesting_error(void *context, xmlErrorPtr error) {
    if (error->message && is_nesting_error(error->message))
        collect_error(context, error);
}

std::string html_problem(const std::string &page) {
    ParseErrors errors;
    xmlSetStructuredErrorFunc(&errors, collect_nesting_error);
    htmlDocPtr doc = htmlReadMemory(page.data(), (int)page.size(), "page.html", "UTF-8",
                                    HTML_PARSE_NONET | HTML_PARSE_NOWARNING);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlFreeDoc(doc);
    return errors.first;
}

// The HTML page of the document with its raw HTML written as text: every
// "<" of the source escaped. Nesting errors that remain are the writer's;
// those that go away came with the document's own markup (a "</details>"
// that closes a block opened before the paragraph it ends, a stray "</tr>").
std::string page_without_raw_html(const std::string &text) {
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '<')
            escaped += "&lt;";
        else
            escaped += c;
    }
    char *page = tzr_string_convert(escaped.c_str(), TZR_EXT_COMPLETE | TZR_EXT_SMART | TZR_EXT_NOTES,
                                    TZR_FORMAT_HTML, 0);
    std::string result = page ? page : "";
    free(page);
    return result;
}

// Checks every XML part of a zip archive; returns the first problem.
std::string archive_problem(const DString *data, const std::vector<std::string> &suffixes,
                            int *parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(data->str, data->length, 0, &error);
    zip_t *archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        if (source)
            zip_source_free(source);
        zip_error_fini(&error);
        return "not a zip archive";
    }
    std::string problem;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && problem.empty(); i++) {
        const char *name = zip_get_name(archive, (zip_uint64_t)i, 0);
        std::string entry = name ? name : "";
        bool wanted = std::any_of(suffixes.begin(), suffixes.end(), [&](const std::string &s) {
            return entry.size() > s.size() && entry.compare(entry.size() - s.size(), s.size(), s) == 0;
        });
        if (!wanted)
            continue;
        zip_stat_t stat;
        zip_file_t *file = zip_fopen_index(archive, (zip_uint64_t)i, 0);
        if (!file || zip_stat_index(archive, (zip_uint64_t)i, 0, &stat) != 0) {
            problem = entry + ": cannot be read";
            break;
        }
        std::string bytes(stat.size, '\0');
        zip_int64_t got = zip_fread(file, bytes.data(), stat.size);
        zip_fclose(file);
        if (got != (zip_int64_t)stat.size) {
            problem = entry + ": cannot be read";
            break;
        }
        (*parts)++;
        std::string xml = xml_problem(bytes.data(), bytes.size());
        if (!xml.empty())
            problem = entry + ": " + xml;
    }
    zip_close(archive);
    zip_error_fini(&error);
    return problem;
}

// Converts one document to every format and checks each output. Runs in the
// child process; prints one line per format: "FORMAT ok|bad PARTS MESSAGE".
int check_document(const fs::path &path, const fs::path &keep) {
    std::string text;
    if (!read_document(path, &text)) {
        printf("unreadable\n");
        return 0;
    }
    const uint64_t flags = TZR_EXT_COMPLETE | TZR_EXT_SMART | TZR_EXT_NOTES;
    const std::string folder = path.parent_path().string();
    for (int format = 0; format < kFormats; format++) {
        DString *source = d_string_new(nullptr);
        d_string_append_c_array(source, text.data(), text.size());
        DString *out = tzr_d_string_convert_to_data(source, flags, (uint16_t)format, 0, folder.c_str());
        d_string_free(source, true);
        std::string problem, own;
        int parts = 0;
        if (!out) {
            problem = "no output";
        } else if (format == TZR_FORMAT_HTML) {
            parts = 1;
            problem = html_problem(std::string(out->str, out->length));
            if (!problem.empty() && html_problem(page_without_raw_html(text)).empty())
                own = problem;
        } else if (format == TZR_FORMAT_FODT) {
            parts = 1;
            problem = xml_problem(out->str, out->length);
        } else if (format == TZR_FORMAT_ODT) {
            problem = archive_problem(out, {".xml"}, &parts);
        } else if (format == TZR_FORMAT_EPUB) {
            problem = archive_problem(out, {".xml", ".opf", ".xhtml"}, &parts);
        }
        if (!keep.empty() && out) {
            fs::path file = keep / (path.filename().string() + "." + kFormatNames[format]);
            if (FILE *f = fopen(file.c_str(), "wb")) {
                fwrite(out->str, 1, out->length, f);
                fclose(f);
            }
        }
        if (out)
            d_string_free(out, true);
        std::replace(problem.begin(), problem.end(), '\n', ' ');
        printf("%s %s %d %s\n", kFormatNames[format],
               problem.empty() ? "ok" : own.empty() ? "bad" : "own", parts, problem.c_str());
    }
    return 0;
}

struct Tally {
    int documents = 0;
    int parts = 0;
    int own = 0;  // errors of the document's own raw HTML
    int failed = 0;
};

}  // namespace

int main(int argc, char **argv) {
    int shard = 0, shards = 1;
    fs::path root = "/usr/share/doc";
    fs::path keep;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--shard" && i + 1 < argc) {
            if (sscanf(argv[++i], "%d/%d", &shard, &shards) != 2 || shards < 1 || shard < 0 ||
                shard >= shards) {
                fprintf(stderr, "realdocs_check: --shard wants I/N with 0 <= I < N\n");
                return 2;
            }
        } else if (arg == "--root" && i + 1 < argc) {
            root = argv[++i];
        } else if (arg == "--keep" && i + 1 < argc) {
            keep = argv[++i];
            fs::create_directories(keep);
        } else {
            fprintf(stderr, "usage: realdocs_check [--shard I/N] [--root FOLDER] [--keep FOLDER]\n");
            return 2;
        }
    }
    // Pictures are not fetched over the network here: a proxy on a closed
    // local port refuses every transfer at once, and each picture takes the
    // path of one that cannot be fetched.
    setenv("ALL_PROXY", "http://127.0.0.1:9", 1);
    setenv("HTTPS_PROXY", "http://127.0.0.1:9", 1);
    setenv("http_proxy", "http://127.0.0.1:9", 1);
    unsetenv("NO_PROXY");
    unsetenv("no_proxy");

    std::vector<fs::path> files = gather(root);
    std::map<std::string, Tally> tally;
    int crashed = 0, hung = 0, documents = 0;
    std::vector<std::string> failures, owns;
    auto started = std::chrono::steady_clock::now();
    for (size_t index = (size_t)shard; index < files.size(); index += (size_t)shards) {
        const fs::path &path = files[index];
        documents++;
        int pipe_ends[2];
        if (pipe(pipe_ends) != 0) {
            perror("pipe");
            return 1;
        }
        fflush(stdout);
        pid_t child = fork();
        if (child == 0) {
            close(pipe_ends[0]);
            dup2(pipe_ends[1], STDOUT_FILENO);
            // The packagers' messages about pictures are expected here.
            if (FILE *null = fopen("/dev/null", "w"))
                dup2(fileno(null), STDERR_FILENO);
            alarm(kSecondsPerDocument);
            int status = check_document(path, keep);
            fflush(stdout);
            _exit(status);
        }
        close(pipe_ends[1]);
        std::string report;
        char buffer[4096];
        ssize_t n;
        while ((n = read(pipe_ends[0], buffer, sizeof buffer)) > 0)
            report.append(buffer, (size_t)n);
        close(pipe_ends[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFSIGNALED(status)) {
            bool hang = WTERMSIG(status) == SIGALRM;
            (hang ? hung : crashed)++;
            failures.push_back(std::string(hang ? "hang" : "crash (signal ") +
                               (hang ? "" : std::to_string(WTERMSIG(status)) + ")") + " in " +
                               path.string() + " after: " + report);
            continue;
        }
        size_t line_start = 0;
        while (line_start < report.size()) {
            size_t end = report.find('\n', line_start);
            if (end == std::string::npos)
                end = report.size();
            std::string line = report.substr(line_start, end - line_start);
            line_start = end + 1;
            char format[32], verdict[8];
            int parts = 0, used = 0;
            if (sscanf(line.c_str(), "%31s %7s %d %n", format, verdict, &parts, &used) < 3)
                continue;
            Tally &t = tally[format];
            t.documents++;
            t.parts += parts;
            if (strcmp(verdict, "own") == 0) {
                t.own++;
                owns.push_back(std::string(format) + " of " + path.string() + ": " +
                               line.substr((size_t)used));
            } else if (strcmp(verdict, "ok") != 0) {
                t.failed++;
                failures.push_back(std::string(format) + " of " + path.string() + ": " +
                                   line.substr((size_t)used));
            }
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    printf("real documents (shard %d of %d): %d of %zu under %s, %.1f s\n", shard + 1, shards,
           documents, files.size(), root.c_str(), seconds);
    printf("%-11s %9s %12s %12s %7s\n", "format", "documents", "parts read", "document's", "failed");
    for (const char *name : kFormatNames) {
        const Tally &t = tally[name];
        printf("%-11s %9d %12d %12d %7d\n", name, t.documents, t.parts, t.own, t.failed);
    }
    printf("crashes: %d, hangs: %d\n", crashed, hung);
    for (const std::string &own : owns)
        printf("document's own raw HTML does not nest: %s\n", own.c_str());
    for (const std::string &failure : failures)
        printf("FAILED: %s\n", failure.c_str());
    int failed = (int)failures.size();
    printf("realdocs: %d passed, %d failed\n", documents * kFormats - failed, failed);
    return failed ? 1 : 0;
}

// tzr-convert: converts a Tessaro document with the document library.
//
//   tzr-convert [OPTIONS] [FILE]
//
// The document is read from FILE or standard input, prepared as the editor
// prepares an export (header and footer text, transclusion, CriticMarkup
// accepted or rejected) and written to OUTPUT or standard output.
// `tzr-convert --help` lists the options.
#include <getopt.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "library/file_utils.h"
#include "library/transclude.h"
#include "library/tzr.h"

namespace {

constexpr const char *kFormatNames[] = {"html",   "epub", "latex",      "beamer",   "memoir",
                                        "fodt",   "odt",  "textbundle", "textpack", "source"};
constexpr int kFormatCount = sizeof kFormatNames / sizeof *kFormatNames;

constexpr const char *kHelp =
    "usage: tzr-convert [OPTIONS] [FILE]\n"
    "Converts a Tessaro (Markdown) document read from FILE, or from standard input.\n"
    "\n"
    "  -f, --format FORMAT     html (default), epub, latex, beamer, memoir, fodt, odt,\n"
    "                          textbundle, textpack or source, or its number 0-9\n"
    "  -o, --output FILE       write to FILE instead of standard output\n"
    "  -a, --assets FOLDER     where local pictures are looked for when a package\n"
    "                          (epub, odt, textbundle, textpack) takes them in;\n"
    "                          default: the folder of FILE\n"
    "  -x, --extensions FLAGS  the extension flags as one number (decimal, 0x hex or\n"
    "                          0 octal), replacing all flags set before it\n"
    "\n"
    "Extension flags one by one (applied in order, after or instead of -x):\n"
    "  --complete              a complete document with its head, not only the body\n"
    "  --snippet               a snippet: no document head\n"
    "  --compatibility         plain Markdown: no Tessaro extensions\n"
    "  --no-smart              straight quotes and dashes (smart typography is on)\n"
    "  --no-notes              footnotes, citations, glossary and abbreviations off\n"
    "                          (they are on)\n"
    "  --no-labels             headings without ids\n"
    "  --no-metadata           a metadata block is read as text\n"
    "  --critic                CriticMarkup: show the changes as marked up\n"
    "  --accept                CriticMarkup: accept every change\n"
    "  --reject                CriticMarkup: reject every change\n"
    "  --random-footnotes      random footnote anchors\n"
    "  --transclude[=FOLDER]   replace {{file}} markers by the files they name,\n"
    "                          looked for in FOLDER (default: the folder of FILE,\n"
    "                          or the working folder for standard input)\n"
    "\n"
    "  -h, --help              show this help and exit\n"
    "\n"
    "The default flags are notes and smart typography (-x 0x18). Input that is not\n"
    "UTF-8 text (NUL bytes, invalid sequences) is converted with a warning.\n";

enum LongOption : int {
    kComplete = 256,
    kSnippet,
    kCompatibility,
    kNoSmart,
    kNoNotes,
    kNoLabels,
    kNoMetadata,
    kCritic,
    kAccept,
    kReject,
    kRandomFootnotes,
    kTransclude,
};

const option kOptions[] = {
    {"format", required_argument, nullptr, 'f'},
    {"output", required_argument, nullptr, 'o'},
    {"assets", required_argument, nullptr, 'a'},
    {"extensions", required_argument, nullptr, 'x'},
    {"help", no_argument, nullptr, 'h'},
    {"complete", no_argument, nullptr, kComplete},
    {"snippet", no_argument, nullptr, kSnippet},
    {"compatibility", no_argument, nullptr, kCompatibility},
    {"no-smart", no_argument, nullptr, kNoSmart},
    {"no-notes", no_argument, nullptr, kNoNotes},
    {"no-labels", no_argument, nullptr, kNoLabels},
    {"no-metadata", no_argument, nullptr, kNoMetadata},
    {"critic", no_argument, nullptr, kCritic},
    {"accept", no_argument, nullptr, kAccept},
    {"reject", no_argument, nullptr, kReject},
    {"random-footnotes", no_argument, nullptr, kRandomFootnotes},
    {"transclude", optional_argument, nullptr, kTransclude},
    {nullptr, 0, nullptr, 0},
};

// Flags that each option sets and clears.
struct FlagChange {
    int option;
    uint64_t set;
    uint64_t clear;
};
constexpr FlagChange kFlagChanges[] = {
    {kComplete, TZR_EXT_COMPLETE, TZR_EXT_SNIPPET},
    {kSnippet, TZR_EXT_SNIPPET, TZR_EXT_COMPLETE},
    {kCompatibility, TZR_EXT_COMPATIBILITY, 0},
    {kNoSmart, 0, TZR_EXT_SMART},
    {kNoNotes, 0, TZR_EXT_NOTES},
    {kNoLabels, TZR_EXT_NO_LABELS, 0},
    {kNoMetadata, TZR_EXT_NO_METADATA, 0},
    {kCritic, TZR_EXT_CRITIC, TZR_EXT_CRITIC_ACCEPT | TZR_EXT_CRITIC_REJECT},
    {kAccept, TZR_EXT_CRITIC | TZR_EXT_CRITIC_ACCEPT, TZR_EXT_CRITIC_REJECT},
    {kReject, TZR_EXT_CRITIC | TZR_EXT_CRITIC_REJECT, TZR_EXT_CRITIC_ACCEPT},
    {kRandomFootnotes, TZR_EXT_RANDOM_FOOT, 0},
    {kTransclude, TZR_EXT_TRANSCLUDE, 0},
};

int parse_format(const char *text) {
    for (int i = 0; i < kFormatCount; i++) {
        if (!strcmp(text, kFormatNames[i]))
            return i;
    }
    if (text[0] < '0' || text[0] > '9' || text[1])
        return -1;
    return text[0] - '0';
}

// The whole text must be one number that fits in 64 bits.
bool parse_flags(const char *text, uint64_t *flags) {
    if (!*text || *text == '-' || *text == '+' || isspace((unsigned char)*text))
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long number = strtoull(text, &end, 0);
    if (errno || *end)
        return false;
    *flags = number;
    return true;
}

void warn_unless_text(const DString *source, const char *name) {
    size_t at = utf8_first_non_text_byte((const unsigned char *)source->str, source->length);
    if (at == source->length)
        return;
    fprintf(stderr,
            "tzr-convert: warning: %s is not UTF-8 text (%s at byte %zu); "
            "the output may be damaged\n",
            name, source->str[at] ? "invalid UTF-8" : "a NUL byte", at);
}

int usage_error(const char *message, const char *argument) {
    fprintf(stderr, "tzr-convert: ");
    fprintf(stderr, message, argument);
    fprintf(stderr, "\nTry 'tzr-convert --help' for the options.\n");
    return 2;
}

std::string parent_folder(const char *path) {
    std::filesystem::path parent = std::filesystem::absolute(path).parent_path();
    return parent.string();
}

}  // namespace

int main(int argc, char **argv) {
    // A book's XHTML pass frees the millions of small nodes of its parsed
    // page at once; kept in glibc's fast bins, they were merged one by one on
    // the next large request, a tenth of an EPUB's time. The converter runs
    // one conversion and ends, so it does without those bins.
    mallopt(M_MXFAST, 0);
    int format = 0;
    uint64_t flags = TZR_EXT_NOTES | TZR_EXT_SMART;
    const char *assets = nullptr;
    const char *output = nullptr;
    const char *transclude_folder = nullptr;
    int option;
    while ((option = getopt_long(argc, argv, "f:x:a:o:h", kOptions, nullptr)) != -1) {
        switch (option) {
        case 'f':
            format = parse_format(optarg);
            if (format < 0)
                return usage_error("unknown format '%s'", optarg);
            break;
        case 'x':
            if (!parse_flags(optarg, &flags))
                return usage_error("'%s' is not a number of extension flags", optarg);
            break;
        case 'a': assets = optarg; break;
        case 'o': output = optarg; break;
        case 'h': fputs(kHelp, stdout); return 0;
        case '?':  // getopt has said what is wrong
            fprintf(stderr, "Try 'tzr-convert --help' for the options.\n");
            return 2;
        default:
            if (option == kTransclude)
                transclude_folder = optarg;
            for (const FlagChange &change : kFlagChanges) {
                if (change.option == option)
                    flags = (flags & ~change.clear) | change.set;
            }
            break;
        }
    }
    if (argc - optind > 1)
        return usage_error("one input file at most, not '%s'", argv[optind + 1]);

    const char *input = optind < argc ? argv[optind] : nullptr;
    DString *source = input ? file_read_to_d_string(input) : stdin_read_to_d_string();
    if (!source) {
        fprintf(stderr, "tzr-convert: cannot read '%s'\n", input ? input : "standard input");
        return 1;
    }
    warn_unless_text(source, input ? input : "standard input");

    // Transclusion resolves names against a folder and keeps a file from
    // including itself by its path; standard input stands in the working folder.
    std::string input_folder = input ? parent_folder(input) : std::filesystem::current_path().string();
    std::string input_path = input ? std::filesystem::absolute(input).string()
                                   : input_folder + "/-";
    std::string folder = transclude_folder ? std::string(transclude_folder) : input_folder;
    tzr_prepare_source(source, flags, folder.c_str(), input_path.c_str(), (int16_t)format);
    if (!assets && input)
        assets = input_folder.c_str();

    DString *result = tzr_d_string_convert_to_data(source, flags, (uint16_t)format, 0, assets);
    d_string_free(source, true);
    if (!result) {
        fprintf(stderr, "tzr-convert: format %d cannot be written by this build\n", format);
        return 1;
    }
    FILE *out = output ? fopen(output, "wb") : stdout;
    if (!out) {
        perror(output);
        d_string_free(result, true);
        return 1;
    }
    bool written = fwrite(result->str, 1, result->length, out) == result->length;
    if ((output ? fclose(out) : fflush(out)) != 0)
        written = false;
    d_string_free(result, true);
    if (!written) {
        fprintf(stderr, "tzr-convert: could not write the output\n");
        return 1;
    }
    return 0;
}

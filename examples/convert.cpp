// tzr-convert: converts a Tessaro document with the document library.
//
//   tzr-convert [-f FORMAT] [-x FLAGS] [-a FOLDER] [-o OUTPUT] [FILE]
//
// FORMAT is a number or a name: html (0), epub (1), latex (2), beamer (3),
// memoir (4), fodt (5), odt (6), textbundle (7), textpack (8), source (9).
// FLAGS are the extension flags as a number (0x12 = complete + notes).
// FOLDER is where local images are looked for. The document is read from
// FILE or standard input and written to OUTPUT or standard output.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "file_utils.h"
#include "tzr.h"

namespace {

constexpr const char *kFormatNames[] = {"html",   "epub", "latex",      "beamer",   "memoir",
                                        "fodt",   "odt",  "textbundle", "textpack", "source"};

int parse_format(const char *text) {
    for (int i = 0; i < 10; i++) {
        if (!strcmp(text, kFormatNames[i]))
            return i;
    }
    char *end = nullptr;
    long number = strtol(text, &end, 10);
    return (*end || number < 0 || number > 9) ? -1 : (int)number;
}

int usage() {
    fprintf(stderr, "usage: tzr-convert [-f FORMAT] [-x FLAGS] [-a FOLDER] [-o OUTPUT] [FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    int format = 0;
    uint64_t flags = TZR_EXT_NOTES | TZR_EXT_SMART;
    const char *assets = nullptr;
    const char *output = nullptr;
    int option;
    while ((option = getopt(argc, argv, "f:x:a:o:h")) != -1) {
        switch (option) {
        case 'f':
            format = parse_format(optarg);
            if (format < 0) {
                fprintf(stderr, "tzr-convert: unknown format '%s'\n", optarg);
                return 2;
            }
            break;
        case 'x': flags = strtoull(optarg, nullptr, 0); break;
        case 'a': assets = optarg; break;
        case 'o': output = optarg; break;
        default: return usage();
        }
    }
    if (argc - optind > 1)
        return usage();

    DString *source = optind < argc ? file_read_to_d_string(argv[optind]) : stdin_read_to_d_string();
    if (!source) {
        fprintf(stderr, "tzr-convert: cannot read '%s'\n", argv[optind]);
        return 1;
    }
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
    if (output && fclose(out) != 0)
        written = false;
    d_string_free(result, true);
    if (!written) {
        fprintf(stderr, "tzr-convert: could not write the output\n");
        return 1;
    }
    return 0;
}

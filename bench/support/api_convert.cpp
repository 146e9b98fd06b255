// The document library through its public C API alone, as a program that
// embeds it would call it: the file's text converted to HTML with no
// extension (plain Markdown's reading of the text, with heading ids) and
// written to standard output. The side-by-side benchmark runs it beside
// plain cmark.
//
//   api_convert FILE
#include <cstdio>
#include <cstdlib>
#include <string>

#include "library/tzr.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: api_convert FILE\n");
        return 2;
    }
    FILE *in = fopen(argv[1], "rb");
    if (!in) {
        perror(argv[1]);
        return 1;
    }
    std::string text;
    char chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, in)) > 0)
        text.append(chunk, got);
    fclose(in);
    char *html = tzr_string_convert(text.c_str(), 0, TZR_FORMAT_HTML, TZR_LANGUAGE_ENGLISH);
    if (!html)
        return 1;
    fputs(html, stdout);
    free(html);
    return 0;
}

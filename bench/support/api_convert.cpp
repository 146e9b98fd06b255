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

#include "bench/support/whole_file.h"
#include "library/tzr.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: api_convert FILE\n");
        return 2;
    }
    std::string text;
    if (!benchsupport::readWholeFile(argv[1], &text))
        return 1;
    char *html = tzr_string_convert(text.c_str(), 0, TZR_FORMAT_HTML, TZR_LANGUAGE_ENGLISH);
    if (!html)
        return 1;
    fputs(html, stdout);
    free(html);
    return 0;
}

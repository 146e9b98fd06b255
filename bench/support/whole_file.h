// A file's bytes read whole, for the small programs that hand a document to
// the library. Header only: those programs link nothing else of the
// benchmarks.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

namespace benchsupport {

// False, with the reason on standard error, when the file cannot be read.
// A regular file's text is read straight into a string of its size, as a
// program that embeds the library would read it: growing the string as the
// chunks came copied the text again at every doubling and faulted in twice
// its size.
inline bool readWholeFile(const char *path, std::string *text) {
    FILE *in = fopen(path, "rb");
    if (!in) {
        perror(path);
        return false;
    }
    struct stat st {};
    if (fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        text->reserve(text->size() + (size_t)st.st_size);
    char chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, in)) > 0)
        text->append(chunk, got);
    const bool ok = !ferror(in);
    fclose(in);
    if (!ok)
        perror(path);
    return ok;
}

}  // namespace benchsupport

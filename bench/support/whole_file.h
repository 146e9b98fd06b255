// A file's bytes read whole, for the small programs that hand a document to
// the library. Header only: those programs link nothing else of the
// benchmarks.
#pragma once

#include <cstdio>
#include <string>

namespace benchsupport {

// False, with the reason on standard error, when the file cannot be read.
inline bool readWholeFile(const char *path, std::string *text) {
    FILE *in = fopen(path, "rb");
    if (!in) {
        perror(path);
        return false;
    }
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

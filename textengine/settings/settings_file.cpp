#include "textengine/settings/settings_file.h"

#include <cstdio>

DString *settings_file_read(const char *path) {
    FILE *f = path ? fopen(path, "r") : nullptr;
    if (!f)
        return nullptr;
    DString *text = d_string_new("");
    char chunk[4096];
    size_t n;
    while (text && (n = fread(chunk, 1, sizeof chunk, f)) > 0)
        d_string_append_c_array(text, chunk, n);
    fclose(f);
    return text;
}

// Reading the editor's settings files: themes, key bindings and expansions.
#pragma once

#include "library/d_string.h"

// The whole file at `path` as text, read in chunks so that pipes and other
// files without a known size work too; a NUL inside it ends the text for the
// JSON reader. NULL when the path is NULL, the file cannot be opened or
// there is no memory. Free with d_string_free(text, true).
DString *settings_file_read(const char *path);

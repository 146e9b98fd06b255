// Hands a C++ string to a C caller as a new heap string (freed with free()).
#pragma once

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "library/diagnostics.h"

// Running out of memory here is fatal, as growing a DString is: callers hand
// the result on without a NULL check.
inline char *heap_string(std::string_view s) {
    char *out = static_cast<char *>(malloc(s.size() + 1));
    if (!out)
        tzr_fatal("Out of memory copying a string of %zu bytes.\n", s.size());
    memcpy(out, s.data(), s.size());
    out[s.size()] = '\0';
    return out;
}

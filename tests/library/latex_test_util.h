// Converting a small source to LaTeX, Beamer or Memoir for exact-output tests.
#pragma once

#include <cstdlib>
#include <string>

#include "library/export_context.h"
#include "library/tzr.h"

constexpr uint64_t kLatexNotes = TZR_EXT_SMART | TZR_EXT_NOTES;

// The export without the one line feed that conversion appends.
inline std::string latex_of(const std::string &source, uint64_t ext = kLatexNotes,
                            int16_t format = TZR_FORMAT_LATEX) {
    char *text = tzr_string_convert(source.c_str(), ext, (uint16_t)format, 0);
    std::string out = text ? text : "<NULL>";
    free(text);
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

struct LatexCase {
    const char *name;
    const char *source;
    uint64_t ext;
    const char *expected;
};

inline void PrintTo(const LatexCase &c, std::ostream *os) { *os << c.name; }

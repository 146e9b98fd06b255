// Small helpers shared by the LaTeX, Beamer and Memoir writers.
#pragma once

#include <cstdint>

#include "d_string.h"
#include "token.h"
#include "writer_utils.h"

namespace latex_detail {

using namespace writer_utils;

inline void print_raw(DString *out, const char *source, const token *t) {
    d_string_append_c_array(out, source + t->start, t->len);
}

}  // namespace latex_detail

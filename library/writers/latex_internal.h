// Small helpers shared by the LaTeX, Beamer and Memoir writers.
#pragma once

#include <cstdint>

#include "d_string.h"
#include "latex.h"
#include "token.h"
#include "writer_utils.h"

namespace latex_detail {

using namespace writer_utils;

inline void print_raw(DString *out, const char *source, const token *t) {
    d_string_append_c_array(out, source + t->start, t->len);
}

inline void children(DString *out, const char *source, token *t, tzr_export_context *context) {
    latex_export_token_chain(out, source, t->child, context);
}

// Writes a block type (0-84), a table row or a table cell; false for any
// other type.
bool export_block(DString *out, const char *source, token *t, tzr_export_context *context);

}  // namespace latex_detail

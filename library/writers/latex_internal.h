// Small helpers shared by the LaTeX, Beamer and Memoir writers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/d_string.h"
#include "library/writers/latex.h"
#include "library/token.h"
#include "library/writers/writer_utils.h"

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

// Writes `command` and opens the argument `text`, as open_moving_argument
// below does.
void open_argument_text(DString *out, const char *command, const char *text, size_t length);

// Writes `command` (such as "\\section") and opens its argument, the text
// that `write` appends to the string it is given, leaving the closing brace
// to the caller. Titles and captions are moving arguments: LaTeX copies them
// into the table of contents, the lists of figures and tables and the
// running heads, where a footnote breaks the copy. An argument that holds
// one is preceded by the same text without its footnotes, as the optional
// argument that the copies take.
template <typename Write>
void open_moving_argument(DString *out, const char *command, Write write) {
    DString *argument = d_string_new("");
    write(argument);
    open_argument_text(out, command, argument ? argument->str : "", argument ? argument->length : 0);
    d_string_free(argument, true);
}

}  // namespace latex_detail

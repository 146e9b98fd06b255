// TEMPORARY: stand-ins until the lexer, scanner and metadata branches merge.
#include "block_deps.h"
void tzr_assign_line_type(tzr_engine *, token *) {}
void tzr_line_strip_quote_marker(token *, const char *) {}
size_t scan_html_block_start(const char *) { return 0; }
size_t scan_html_line(const char *) { return 0; }
token *tzr_tokenize_string(tzr_engine *, size_t, size_t, int) { return nullptr; }

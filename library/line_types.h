// The line typer: gives each line token its line type (the terminals of the
// block grammar) from its first tokens and the line scanners, and marks the
// tokens that carry block structure.
#pragma once

#include "library/engine.h"
#include "library/token.h"

// Sets the line's type. May retype its first token and a closing heading
// marker, drop whitespace behind a list marker, shorten a text token from
// the front and clear the engine's metadata-allowed flag. NULL does nothing.
void tzr_assign_line_type(tzr_engine *e, token *line);

// Types a line again after leading indentation was removed from it; `before`
// is its type before the removal. Same result as tzr_assign_line_type, in
// constant time while the line still starts indented.
void tzr_retype_after_indent(tzr_engine *e, token *line, unsigned short before);

// Removes a line's leading quote marker (or one short indentation token) and
// the blanks of the text behind it, before the line is typed again inside
// its quote.
void tzr_line_strip_quote_marker(token *line, const char *source);
// Strips the quote marker of every line of the block and types it again.
void tzr_block_strip_quote_markers(tzr_engine *e, token *block);

// Removes a line's first token when it is one tab or four spaces of
// indentation.
void tzr_line_strip_code_indent(token *line);
// Strips one level of code indentation from every line of the block and
// types it again.
void tzr_block_strip_code_indent(tzr_engine *e, token *block);

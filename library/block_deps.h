// Services of the lexer, the line typer, the HTML scanners and the metadata
// reader that the block parser calls.
#pragma once

#include <cstddef>

#include "metadata.h"
#include "scanners.h"
#include "token.h"

struct tzr_engine;

void tzr_assign_line_type(tzr_engine *engine, token *line);
void tzr_line_strip_quote_marker(token *line, const char *source);
token *tzr_tokenize_string(tzr_engine *engine, size_t start, size_t len, int stop_at_blank);

// The tokenizer: turns a byte range of an engine's source into a root token
// whose children are typed line tokens, each holding the line's lexemes with
// the text between them.
#pragma once

#include <cstddef>

#include "library/engine.h"
#include "library/token.h"

// Tokenizes `length` bytes of the engine's source from `start` and returns
// the new root (owned by the caller), or NULL without an engine or source.
// The range is clamped to the source; a length of (size_t)-1 means "to the
// end". With `stop_at_blank` the work ends after the first blank line.
// Every line is typed before the call returns.
token *tzr_tokenize_string(tzr_engine *e, size_t start, size_t length, bool stop_at_blank);

// The same, but each line goes to `take` as soon as it is typed instead of
// under the root, which is returned without children (but measuring them).
// The taker owns the lines it is given, even when NULL is returned later.
using tzr_line_taker = void (*)(void *context, token *line);
token *tzr_tokenize_lines(tzr_engine *e, size_t start, size_t length, tzr_line_taker take,
                          void *context);

// Whether a line whose children begin at `first` holds only indentation
// tokens up to its line end or its end (true for NULL).
bool tzr_line_is_empty(token *first);

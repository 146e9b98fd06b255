// Smart pairs: a typed opening character brings its closer, a typed closer
// steps over an identical following byte, an opener typed over a selection
// wraps it, and Backspace right after a fresh pair removes both halves.
#pragma once

#include <cstddef>

#include "textengine/buffer/smart_string.h"

// The pipeline step (see smart_string_steps.h). It places the caret itself.
bool smart_string_smart_pairs(_SString *s, size_t start, size_t length, char **text,
                              smart_string_change *change);

// Sets the pair tables from a string of character pairs, opener first
// ("()[]"). Only pairs of two ASCII characters count: a pair that holds a
// multi-byte character is skipped whole, and a final opener without its
// closer is ignored. With option 0x10 set at this moment, a typed "." also
// steps over a following ".".
void smart_string_set_pairs(_SString *s, const char *pairs);

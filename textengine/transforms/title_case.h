// Headline capitalisation for headings and selected lines. Only ASCII letters
// are letters here; every other byte is copied unchanged.
#pragma once

#include <cstddef>

// The title-cased text as a new heap string owned by the caller.
char *title_case(const char *text, size_t len);
// title_case of the first line; the line ending and the rest follow unchanged.
char *title_case_first_line(const char *text);

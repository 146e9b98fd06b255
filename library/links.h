// Link records from definitions and inline links, their attribute lists, and
// the URL readers that the definition pass and the writers share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/export_context.h"
#include "library/records.h"
#include "library/token.h"

// A link for a label token (NULL for none), a URL text, a title and an
// attribute text (each may be NULL). NULL when allocation fails.
tzr_link *tzr_link_new(const char *source, token *label, const char *url, const char *title,
                       const char *attributes, uint16_t origin);

// The attribute list of a key=value text, in order; NULL when it holds none.
tzr_attribute *tzr_parse_attributes(const char *text);

// Splits the inside of an inline link's parentheses into its destination
// (clean, without angle brackets), title (without delimiters) and attribute
// text. Outputs stay untouched when a part is absent; the caller sets them
// to NULL first and frees what it gets.
void tzr_inline_link_parts(const token *paren, const char *source, char **url, char **title,
                           char **attributes);
// An inline link from a parenthesis pair; NULL when attributes are written in
// compatibility mode or allocation fails.
tzr_link *tzr_link_from_inline(const tzr_export_context *context, const token *paren,
                               const char *source);

// The destination at source + start, at most `max_len` bytes, without angle
// brackets and with whitespace collapsed; its end offset goes to `end` (when
// given). With `validate`, NULL unless it is a whole URL.
char *tzr_url_from_range(const char *source, size_t start, size_t max_len, size_t *end,
                         bool validate);
// The destination of a reference definition at the cursor, which moves past
// it. A title that shared a text token with a bare destination is split off
// to be the cursor's next token. NULL when there is none.
char *tzr_url_from_token(const char *source, token **cursor, bool validate);
// True when `text` is one URL or e-mail address from end to end.
bool tzr_url_is_complete(const char *text);

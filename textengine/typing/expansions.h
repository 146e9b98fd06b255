// Expansions: text snippets that replace a typed key with a template, read
// from JSON expansion files ({"expansions": [{"key": ..., "expansion": ...}]}).
// Templates carry codes: "%snippet:NAME%" (another expansion's template),
// "%clipboard" (left for the text storage to fill), "%replaced" (the text the
// typed character replaced), "%|" (caret placeholder, left as it is) and
// strftime codes such as "%Y". Also the caret anchors that let a selection be
// found again after a bulk replace.
#pragma once

#include <cstddef>

#include "library/d_string.h"
#include "textengine/buffer/smart_string.h"

// Reads an expansion file and adds its entries; nothing when it cannot be
// opened. "Invalid JSON...\n" on standard error when it does not parse.
void smart_string_load_expansions(_SString *s, const char *path);
void smart_string_parse_expansions(_SString *s, const char *json);
// Adds a key with a copy of its template (NULL: the key is known but never
// expands). 0 when the key is NULL or empty or already present (the first
// template stays), else 1.
int smart_string_add_expansion(_SString *s, const char *key, const char *template_text);

// The pipeline's expansion step (see smart_string_steps.h).
bool smart_string_expand(_SString *s, size_t start, size_t length, char **text,
                         smart_string_change *change);
// Processes the template codes of `d` in place. Text that a code inserts is
// never scanned again; snippets nest at most kSnippetNestingLimit deep.
void smart_string_expand_template(_SString *s, DString *d);
constexpr int kSnippetNestingLimit = 8;

// Remember a copy of the bytes [start, start + length) as the replaced text,
// or forget it.
void smart_string_set_replaced(_SString *s, size_t start, size_t length);
void smart_string_clear_replaced(_SString *s);

// Caret anchors: remember a range by the text at its two ends, and find it
// again after the text changed. The restored range always lies in the text.
void smart_string_save_caret_anchor(_SString *s, size_t start, size_t length);
void smart_string_restore_caret_anchor(_SString *s, size_t *start, size_t *length);

// Autocomplete: the Smart String's word list, completions of a prefix, and
// fuzzy completions ranked by a score that favours word starts, runs and
// capitals.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textengine/buffer/smart_string.h"

// Inserts one word, or every word of a text (a word is a maximal run of
// bytes that are not space, tab, NUL, line feed, carriage return or ASCII
// punctuation; bytes 0x80-0xFF belong to words).
void smart_string_autocomplete_add(_SString *s, const char *word);
void smart_string_autocomplete_add_words(_SString *s, const char *text);
// Empties the word list, then adds the words of the text.
void smart_string_autocomplete_set_words(_SString *s, const char *text);
// New texts, one word a line (no line feed after the last; an empty list is
// an empty text), owned by the caller; NULL only for a NULL Smart String.
// The words that extend the prefix:
char *smart_string_autocomplete_prefix(_SString *s, const char *prefix);
// The words in which the partial word is a case-insensitive subsequence,
// best score first:
char *smart_string_autocomplete_fuzzy(_SString *s, const char *partial);

// True when `pattern` is a case-insensitive subsequence of `word`.
bool fuzzy_match(const char *pattern, const char *word);
// 0 for an empty pattern; otherwise +10 for a match at a word start, +5 for a
// match right after a match, +5 for an upper-case match, -1 for each byte of
// the word skipped before the pattern ends.
int32_t fuzzy_score(const char *pattern, const char *word);
// The lines of `list` by descending score against `pattern`, joined by line
// feeds (new text, caller frees).
char *fuzzy_rank(const char *pattern, const char *list);

// A growable list of scored texts (the texts are borrowed).
struct scored_entry {
    int32_t score;
    const char *text;
};
struct scored_list {
    scored_entry *entries;
    size_t count;
    size_t capacity;
};
scored_list *scored_list_new(void);
void scored_list_add(scored_list *list, int32_t score, const char *text);
void scored_list_free(scored_list *list);  // not the texts
int scored_list_compare(const void *a, const void *b);
void scored_list_sort(scored_list *list);  // descending score

// Ternary search trees: the Smart String's word stores. Expansion keys are
// stored reversed (so the longest key that ends at the caret is found by
// walking back from it); autocomplete words are stored forwards.
//
// Keys are NUL-terminated byte strings. Bytes compare as signed chars, so
// bytes 0x80-0xFF order before ASCII. A tree owns its nodes, never its
// payloads. Every walk is iterative: a key of any length is safe.
#pragma once

#include <cstddef>
#include <string>

struct TST {
    signed char character;
    void *payload;  // NULL: no key ends here
    TST *lo;        // characters that compare lower
    TST *eq;        // the key's next character
    TST *hi;        // characters that compare higher
};

TST *tst_node_new(char character, void *payload);
// Frees every node of the tree (not the payloads). NULL does nothing.
void tst_free(TST *root);

// Inserts `key` forwards and sets its payload (overwriting one that is
// there). False for an empty or NULL key or a NULL tree address.
bool tst_insert(TST **root, const char *key, void *payload);
// Inserts `key` from its last byte to its first. A key that already has a
// payload keeps it: "Payload already set for TST node\n" on standard error
// and false. An empty key gives false.
bool tst_insert_reversed(TST **root, const char *key, void *payload);
// The same for the bytes 0 to i (inclusive) of `text`.
bool tst_insert_reversed_range(TST **root, const char *text, size_t i, void *payload);

// The node, or payload, of `key` looked up forwards.
TST *tst_find_node(TST *root, const char *key);
void *tst_get(TST *root, const char *key);
// The payload of `key` looked up from its last byte.
void *tst_get_reversed(TST *root, const char *key);
void *tst_get_reversed_range(TST *root, const char *text, size_t i);

// Payload of the longest key that begins `text`; its length in `*length`.
void *tst_longest_prefix(TST *root, const char *text, size_t *length);
// Payload of the longest reversed key that ends `text` at byte i (inclusive),
// or at the text's end; `*begin` is the index where that key begins.
void *tst_longest_suffix_at(TST *root, const char *text, size_t i, size_t *begin);
void *tst_longest_suffix(TST *root, const char *text, size_t *begin);

// Appends prefix + word + "\n" for every key of the subtree, in order
// (lo, node, eq, hi).
void tst_list_with_prefix(TST *root, const std::string &prefix, std::string &out);
// The keys that extend `prefix` (not the prefix itself), one a line with a
// line feed after each; empty when the prefix is not in the tree. An empty
// prefix lists the whole tree.
std::string tst_completions(TST *root, const char *prefix);
// Every key in which `pattern` is a case-insensitive subsequence, in order,
// each followed by a line feed.
void tst_list_fuzzy(TST *root, const char *pattern, std::string &out);
std::string tst_fuzzy_completions(TST *root, const char *pattern);

// A new reversed copy of `text` (caller frees), or NULL.
char *string_reverse(const char *text);

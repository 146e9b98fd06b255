// A byte-wise Aho-Corasick automaton: finds every occurrence of a set of
// keys in one pass over a text. Each key carries a caller-chosen 16-bit match
// type. Keys and text are compared byte for byte (case-sensitive, no word
// boundaries, no Unicode folding).
//
// Use: trie_new, trie_insert for every key, trie_prepare, then any number of
// searches; trie_match_free each result list, trie_free the automaton.
#pragma once

#include <cstddef>
#include <cstdint>

struct trie_node {
    uint8_t c;            // byte on the edge into this node (0 for the root)
    uint16_t match_type;  // 0 when no key ends here
    uint16_t depth;       // length of the key that ends here
    size_t child[256];    // node index per byte; 0 means none
    size_t fallback;      // failure link; 0 is the root
};

struct trie {
    size_t size;      // nodes in use (the root counts)
    size_t capacity;  // nodes the array holds
    trie_node *node;  // owned; nodes are addressed by index, the root is 0
};

// One match. A result list always starts with a dummy head whose fields are
// all 0; the matches follow it.
struct trie_match {
    size_t start;
    size_t len;
    uint16_t match_type;
    trie_match *next;
    trie_match *prev;
};

constexpr size_t kTrieDefaultCapacity = 256;
constexpr size_t kTrieNoNode = (size_t)-1;
constexpr unsigned short kTrieNoMatchType = 65535;

// Capacity 0 or 1 means the default of 256 nodes. NULL when memory runs out.
trie *trie_new(size_t capacity);
void trie_free(trie *a);

// Returns false, leaving the trie unchanged, for a NULL trie or key, an
// empty key, a key longer than 65535 bytes or when the node array cannot
// grow. A key inserted again takes the new match type; type 0 is never
// reported.
bool trie_insert(trie *a, const char *key, unsigned short match_type);
// The same walk from node `start`, the key's length counted from `depth`.
// An empty key sets the given node's type and depth.
bool trie_insert_from(trie *a, size_t start, const char *key, unsigned short match_type,
                      unsigned short depth);

// Computes every failure link. Call after the last insert, before searching.
void trie_prepare(trie *a);

// Every match inside text[start, start + len), ordered by end offset (and
// longest first for equal ends); NULL when there is none. A NUL byte ends
// the search. A length of (size_t)-1 means "to the end".
trie_match *trie_search(trie *a, const char *text, size_t start, size_t len);
// trie_search followed by trie_matches_leftmost_longest.
trie_match *trie_search_leftmost_longest(trie *a, const char *text, size_t start, size_t len);
// Keeps non-overlapping matches in text order, chosen left to right: the
// match that starts first wins, and of equal starts the longest.
void trie_matches_leftmost_longest(trie_match *head);

// Node index the key leads to from the root (or from `start`): 0 for a NULL
// trie or key or an empty key (`start` for an empty key in the _from form),
// kTrieNoNode when the path does not exist.
size_t trie_find(trie *a, const char *key);
size_t trie_find_from(trie *a, size_t start, const char *key);
// Match type where the key leads; kTrieNoMatchType when the path does not
// exist; the root's type for a NULL or empty key.
unsigned short trie_match_type_of(trie *a, const char *key);

trie_match *trie_match_new(size_t start, size_t len, unsigned short match_type);
// A new record linked directly after `prev` (which may be NULL).
trie_match *trie_match_add(trie_match *prev, size_t start, size_t len, unsigned short match_type);
void trie_match_remove(trie_match *m);
size_t trie_match_count(trie_match *head);
// Frees the record and every record after it.
void trie_match_free(trie_match *head);

// Debug dumps of matches and of the automaton (as a Graphviz graph). They are
// written straight to standard error, not through the log handler: a
// developer asks for them, they run to many lines, and they are not reports.
void trie_match_describe(trie_match *m, const char *text);
void trie_match_list_describe(trie_match *head, const char *text);
void trie_describe_graphviz(trie *a);
void trie_node_describe_graphviz(trie *a, size_t index);

#include "textengine/typing/tst.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "library/diagnostics.h"

TST *tst_node_new(char character, void *payload) {
    TST *node = (TST *)calloc(1, sizeof(TST));
    if (!node)
        return nullptr;
    node->character = (signed char)character;
    node->payload = payload;
    return node;
}

void tst_free(TST *root) {
    std::vector<TST *> pending;
    if (root)
        pending.push_back(root);
    while (!pending.empty()) {
        TST *node = pending.back();
        pending.pop_back();
        if (node->lo)
            pending.push_back(node->lo);
        if (node->eq)
            pending.push_back(node->eq);
        if (node->hi)
            pending.push_back(node->hi);
        free(node);
    }
}

// The node for the key's bytes, read by `next(i)` for i = 0 .. count - 1,
// created on the way when `create` is set.
template <typename Byte>
static TST *walk_key(TST **root, size_t count, Byte byte_at, bool create) {
    TST **link = root;
    TST *node = nullptr;
    size_t i = 0;
    while (i < count) {
        signed char c = (signed char)byte_at(i);
        node = *link;
        if (!node) {
            if (!create)
                return nullptr;
            node = tst_node_new((char)c, nullptr);
            if (!node)
                return nullptr;
            *link = node;
        }
        if (c < node->character) {
            link = &node->lo;
        } else if (c > node->character) {
            link = &node->hi;
        } else {
            if (++i == count)
                return node;
            link = &node->eq;
        }
    }
    return nullptr;
}

bool tst_insert(TST **root, const char *key, void *payload) {
    if (!root || !key || !*key)
        return false;
    TST *node = walk_key(root, strlen(key), [key](size_t i) { return key[i]; }, true);
    if (!node)
        return false;
    node->payload = payload;
    return true;
}

bool tst_insert_reversed_range(TST **root, const char *text, size_t i, void *payload) {
    if (!root || !text)
        return false;
    size_t count = i + 1;
    if (memchr(text, 0, count))
        return false;  // the range must lie inside the text
    TST *node = walk_key(root, count, [text, i](size_t k) { return text[i - k]; }, true);
    if (!node)
        return false;
    if (node->payload) {
        tzr_log("Payload already set for TST node\n");
        return false;
    }
    node->payload = payload;
    return true;
}

bool tst_insert_reversed(TST **root, const char *key, void *payload) {
    if (!key || !*key)
        return false;
    return tst_insert_reversed_range(root, key, strlen(key) - 1, payload);
}

TST *tst_find_node(TST *root, const char *key) {
    if (!root || !key || !*key)
        return nullptr;
    return walk_key(&root, strlen(key), [key](size_t i) { return key[i]; }, false);
}

void *tst_get(TST *root, const char *key) {
    TST *node = tst_find_node(root, key);
    return node ? node->payload : nullptr;
}

void *tst_get_reversed_range(TST *root, const char *text, size_t i) {
    if (!root || !text || memchr(text, 0, i + 1))
        return nullptr;
    TST *node = walk_key(&root, i + 1, [text, i](size_t k) { return text[i - k]; }, false);
    return node ? node->payload : nullptr;
}

void *tst_get_reversed(TST *root, const char *key) {
    if (!key || !*key)
        return nullptr;
    return tst_get_reversed_range(root, key, strlen(key) - 1);
}

void *tst_longest_prefix(TST *root, const char *text, size_t *length) {
    void *found = nullptr;
    size_t found_length = 0;
    TST *node = root;
    for (size_t i = 0; text && text[i] && node;) {
        signed char c = (signed char)text[i];
        if (c < node->character) {
            node = node->lo;
        } else if (c > node->character) {
            node = node->hi;
        } else {
            i++;
            if (node->payload) {
                found = node->payload;
                found_length = i;
            }
            node = node->eq;
        }
    }
    if (length)
        *length = found_length;
    return found;
}

void *tst_longest_suffix_at(TST *root, const char *text, size_t i, size_t *begin) {
    void *found = nullptr;
    size_t found_begin = 0;
    if (text && !memchr(text, 0, i + 1)) {
        TST *node = root;
        size_t k = i + 1;  // bytes left to read backwards
        while (node && k > 0) {
            signed char c = (signed char)text[k - 1];
            if (c < node->character) {
                node = node->lo;
            } else if (c > node->character) {
                node = node->hi;
            } else {
                k--;
                if (node->payload) {
                    found = node->payload;
                    found_begin = k;
                }
                node = node->eq;
            }
        }
    }
    if (begin)
        *begin = found_begin;
    return found;
}

void *tst_longest_suffix(TST *root, const char *text, size_t *begin) {
    if (!text || !*text) {
        if (begin)
            *begin = 0;
        return nullptr;
    }
    return tst_longest_suffix_at(root, text, strlen(text) - 1, begin);
}

// In-order walk (lo, node, eq, hi) of a subtree, calling `visit(word)` for
// every node with a payload; `word` starts as `prefix`.
template <typename Visit>
static void walk_words(TST *root, const std::string &prefix, Visit visit) {
    struct frame {
        TST *node;
        size_t depth;  // length of the word before this node's character
        int stage;     // 0: lo next, 1: self and eq next, 2: hi next
    };
    std::string word = prefix;
    std::vector<frame> stack;
    if (root)
        stack.push_back({root, prefix.size(), 0});
    while (!stack.empty()) {
        frame &f = stack.back();
        TST *node = f.node;
        size_t depth = f.depth;
        if (f.stage == 0) {
            f.stage = 1;
            if (node->lo)
                stack.push_back({node->lo, depth, 0});
        } else if (f.stage == 1) {
            f.stage = 2;
            word.resize(depth);
            word += (char)node->character;
            if (node->payload)
                visit(word);
            if (node->eq)
                stack.push_back({node->eq, depth + 1, 0});
        } else {
            stack.pop_back();
            if (node->hi)
                stack.push_back({node->hi, depth, 0});
        }
    }
}

void tst_list_with_prefix(TST *root, const std::string &prefix, std::string &out) {
    walk_words(root, prefix, [&out](const std::string &word) {
        out += word;
        out += '\n';
    });
}

std::string tst_completions(TST *root, const char *prefix) {
    std::string out;
    if (!prefix || !*prefix) {
        tst_list_with_prefix(root, "", out);
        return out;
    }
    TST *node = tst_find_node(root, prefix);
    if (node)
        tst_list_with_prefix(node->eq, prefix, out);
    return out;
}

// Greedy case-insensitive subsequence test.
static bool is_subsequence(const char *pattern, const std::string &word) {
    const char *p = pattern;
    for (size_t i = 0; *p && i < word.size(); i++) {
        if (tolower((unsigned char)word[i]) == tolower((unsigned char)*p))
            p++;
    }
    return *p == 0;
}

void tst_list_fuzzy(TST *root, const char *pattern, std::string &out) {
    const char *p = pattern ? pattern : "";
    walk_words(root, "", [&out, p](const std::string &word) {
        if (is_subsequence(p, word)) {
            out += word;
            out += '\n';
        }
    });
}

std::string tst_fuzzy_completions(TST *root, const char *pattern) {
    std::string out;
    tst_list_fuzzy(root, pattern, out);
    return out;
}

char *string_reverse(const char *text) {
    if (!text)
        return nullptr;
    size_t n = strlen(text);
    char *copy = (char *)malloc(n + 1);
    if (!copy)
        return nullptr;
    for (size_t i = 0; i < n; i++)
        copy[i] = text[n - 1 - i];
    copy[n] = 0;
    return copy;
}

#include "library/trie.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

trie *trie_new(size_t capacity) {
    if (capacity <= 1)
        capacity = kTrieDefaultCapacity;
    if (capacity > SIZE_MAX / sizeof(trie_node))
        return nullptr;
    trie *a = static_cast<trie *>(malloc(sizeof(trie)));
    if (!a)
        return nullptr;
    a->node = static_cast<trie_node *>(calloc(capacity, sizeof(trie_node)));
    if (!a->node) {
        free(a);
        return nullptr;
    }
    a->size = 1;
    a->capacity = capacity;
    return a;
}

void trie_free(trie *a) {
    if (!a)
        return;
    free(a->node);
    free(a);
}

// Makes room for `extra` more nodes by doubling; false (trie untouched) when
// the array cannot grow.
static bool trie_reserve(trie *a, size_t extra) {
    if (extra > SIZE_MAX - a->size)
        return false;
    size_t needed = a->size + extra;
    size_t capacity = a->capacity;
    while (capacity < needed) {
        if (capacity > SIZE_MAX / 2 / sizeof(trie_node))
            return false;
        capacity *= 2;
    }
    if (capacity == a->capacity)
        return true;
    auto *grown = static_cast<trie_node *>(realloc(a->node, capacity * sizeof(trie_node)));
    if (!grown)
        return false;
    memset(grown + a->capacity, 0, (capacity - a->capacity) * sizeof(trie_node));
    a->node = grown;
    a->capacity = capacity;
    return true;
}

bool trie_insert_from(trie *a, size_t start, const char *key, unsigned short match_type,
                      unsigned short depth) {
    if (!a || !key || start >= a->size)
        return false;
    const auto *bytes = reinterpret_cast<const unsigned char *>(key);
    size_t key_len = strlen(key);
    if (key_len > (size_t)(UINT16_MAX - depth))
        return false;  // the depth field could not hold the key's length

    // Count the nodes the key needs first, so that a failed growth leaves
    // the trie exactly as it was.
    size_t n = start, i = 0;
    while (i < key_len && a->node[n].child[bytes[i]]) {
        n = a->node[n].child[bytes[i]];
        i++;
    }
    if (!trie_reserve(a, key_len - i))
        return false;
    for (; i < key_len; i++) {
        size_t fresh = a->size++;
        trie_node *node = &a->node[fresh];
        memset(node, 0, sizeof(trie_node));
        node->c = bytes[i];
        a->node[n].child[bytes[i]] = fresh;
        n = fresh;
    }
    a->node[n].match_type = match_type;
    a->node[n].depth = (uint16_t)(depth + key_len);
    return true;
}

bool trie_insert(trie *a, const char *key, unsigned short match_type) {
    if (!a || !key || !*key)
        return false;
    return trie_insert_from(a, 0, key, match_type, 0);
}

void trie_prepare(trie *a) {
    if (!a)
        return;
    // Breadth first, so that a node's parent has its failure link before the
    // node needs it. Each link is the longest proper suffix of the node's
    // path that is itself a path from the root.
    for (size_t i = 0; i < a->size; i++)
        a->node[i].fallback = 0;
    std::vector<size_t> queue;
    queue.reserve(a->size);
    for (int c = 0; c < 256; c++)
        if (a->node[0].child[c])
            queue.push_back(a->node[0].child[c]);
    for (size_t head = 0; head < queue.size(); head++) {
        size_t u = queue[head];
        for (int c = 0; c < 256; c++) {
            size_t v = a->node[u].child[c];
            if (!v)
                continue;
            size_t f = a->node[u].fallback;
            while (f && !a->node[f].child[c])
                f = a->node[f].fallback;
            size_t link = a->node[f].child[c];
            a->node[v].fallback = (link == v) ? 0 : link;
            queue.push_back(v);
        }
    }
}

trie_match *trie_search(trie *a, const char *text, size_t start, size_t len) {
    if (!a || !text || len == 0)
        return nullptr;
    size_t end = (len > SIZE_MAX - start) ? SIZE_MAX : start + len;
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    trie_match *head = nullptr, *last = nullptr;
    size_t state = 0;
    for (size_t pos = start; pos < end && bytes[pos]; pos++) {
        unsigned char c = bytes[pos];
        while (state && !a->node[state].child[c])
            state = a->node[state].fallback;
        state = a->node[state].child[c];
        for (size_t n = state; n; n = a->node[n].fallback) {
            const trie_node &node = a->node[n];
            if (!node.match_type)
                continue;
            // A depth given through trie_insert_from may exceed the bytes
            // seen; the match never reaches before the searched range.
            size_t seen = pos + 1 - start;
            size_t match_len = node.depth < seen ? node.depth : seen;
            if (!head)
                last = head = trie_match_new(0, 0, 0);
            if (!head)
                return nullptr;
            trie_match *m = trie_match_add(last, pos + 1 - match_len, match_len, node.match_type);
            if (m)
                last = m;
        }
    }
    return head;
}

void trie_matches_leftmost_longest(trie_match *head) {
    if (!head || !head->next)
        return;
    std::vector<trie_match *> all;
    for (trie_match *m = head->next; m; m = m->next)
        all.push_back(m);
    std::stable_sort(all.begin(), all.end(), [](const trie_match *x, const trie_match *y) {
        return x->start != y->start ? x->start < y->start : x->len > y->len;
    });
    // Greedy left to right: a match survives when it starts at or after the
    // end of the last survivor. Taking only the first-starting match of each
    // overlapping pair is not enough: a long match can overlap a survivor on
    // its left and a later match on its right.
    trie_match *tail = head;
    bool any = false;
    size_t reach = 0;
    for (trie_match *m : all) {
        if (!any || m->start >= reach) {
            tail->next = m;
            m->prev = tail;
            tail = m;
            reach = m->start + m->len;
            any = true;
        } else {
            m->next = m->prev = nullptr;
            free(m);
        }
    }
    tail->next = nullptr;
}

trie_match *trie_search_leftmost_longest(trie *a, const char *text, size_t start, size_t len) {
    trie_match *head = trie_search(a, text, start, len);
    trie_matches_leftmost_longest(head);
    return head;
}

size_t trie_find_from(trie *a, size_t start, const char *key) {
    if (!a || !key)
        return 0;
    if (start >= a->size)
        return kTrieNoNode;
    size_t n = start;
    for (const auto *p = reinterpret_cast<const unsigned char *>(key); *p; p++) {
        n = a->node[n].child[*p];
        if (!n)
            return kTrieNoNode;
    }
    return n;
}

size_t trie_find(trie *a, const char *key) {
    if (!a || !key || !*key)
        return 0;
    return trie_find_from(a, 0, key);
}

unsigned short trie_match_type_of(trie *a, const char *key) {
    if (!a)
        return 0;
    size_t n = trie_find(a, key);
    return n == kTrieNoNode ? kTrieNoMatchType : a->node[n].match_type;
}

trie_match *trie_match_new(size_t start, size_t len, unsigned short match_type) {
    auto *m = static_cast<trie_match *>(malloc(sizeof(trie_match)));
    if (!m)
        return nullptr;
    m->start = start;
    m->len = len;
    m->match_type = match_type;
    m->next = m->prev = nullptr;
    return m;
}

trie_match *trie_match_add(trie_match *prev, size_t start, size_t len, unsigned short match_type) {
    trie_match *m = trie_match_new(start, len, match_type);
    if (!m || !prev)
        return m;
    m->next = prev->next;
    if (m->next)
        m->next->prev = m;
    m->prev = prev;
    prev->next = m;
    return m;
}

void trie_match_remove(trie_match *m) {
    if (!m)
        return;
    if (m->prev)
        m->prev->next = m->next;
    if (m->next)
        m->next->prev = m->prev;
    free(m);
}

size_t trie_match_count(trie_match *head) {
    size_t count = 0;
    for (trie_match *m = head ? head->next : nullptr; m; m = m->next)
        count++;
    return count;
}

void trie_match_free(trie_match *head) {
    if (!head)
        return;
    if (head->prev)
        head->prev->next = nullptr;
    while (head) {
        trie_match *next = head->next;
        free(head);
        head = next;
    }
}

void trie_match_describe(trie_match *m, const char *text) {
    if (!m || !text)
        return;
    int shown = m->len > 65535 ? 65535 : (int)m->len;
    fprintf(stderr, "'%.*s'(%d) at %lu:%lu\n", shown, text + m->start, m->match_type,
            (unsigned long)m->start, (unsigned long)(m->start + m->len));
}

void trie_match_list_describe(trie_match *head, const char *text) {
    for (trie_match *m = head ? head->next : nullptr; m; m = m->next)
        trie_match_describe(m, text);
}

void trie_node_describe_graphviz(trie *a, size_t index) {
    if (!a || index >= a->size)
        return;
    const trie_node &node = a->node[index];
    if (node.match_type)
        fprintf(stderr, "\"%lu\" [shape=doublecircle]\n", (unsigned long)index);
    for (int c = 0; c < 256; c++)
        if (node.child[c])
            fprintf(stderr, "\"%lu\" -> \"%lu\" [label=\"%c\"]\n", (unsigned long)index,
                    (unsigned long)node.child[c], c);
    if (node.fallback)
        fprintf(stderr, "\"%lu\" -> \"%lu\" [label=\"fail\"]\n", (unsigned long)index,
                (unsigned long)node.fallback);
}

void trie_describe_graphviz(trie *a) {
    if (!a)
        return;
    fprintf(stderr, "digraph dfa {\n");
    for (size_t i = 0; i < a->size; i++)
        trie_node_describe_graphviz(a, i);
    fprintf(stderr, "}\n");
}

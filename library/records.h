// The records that an export looks things up in: reference links, notes
// (footnotes, citations, glossary entries, abbreviations) and metadata
// entries, and the store that finds them by text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/token.h"

// One key=value attribute of a link, in the order of the text.
struct tzr_attribute {
    char *key;    // owned
    char *value;  // owned
    tzr_attribute *next;
};

// Where a link came from.
enum : uint16_t {
    TZR_LINK_INLINE = 1,
    TZR_LINK_REFERENCE = 4,
    TZR_LINK_HEADING_LABEL = 8,
};

struct tzr_link {
    token *label;               // bracketed label in the document; borrowed; NULL for inline links
    char *label_text;           // label rule over the label's source; owned
    char *clean_text;           // text inside the brackets, whitespace collapsed, lower-cased; owned
    char *url;                  // whitespace collapsed, case kept; owned
    char *title;                // owned or NULL
    tzr_attribute *attributes;  // owned or NULL
    uint16_t origin;            // TZR_LINK_...
};

// A footnote, citation, glossary entry or abbreviation.
struct tzr_note {
    token *label;       // bracketed label; borrowed; NULL for a note made while writing
    char *label_text;   // owned
    char *clean_text;   // owned
    token *content;     // the note's body, a BLOCK_PARA
    int64_t number;     // -1 until first used, then its place among the used notes
    uint8_t owns_content;  // the BLOCK_PARA wrapper was made for this note
};

struct tzr_meta {
    char *key;     // label rule over the key's source text; owned
    char *value;   // whitespace collapsed; owned; NULL until set
    size_t start;  // byte offset of the key line in the source
};

// Numbers found by text: an open-addressing table of borrowed keys (each
// must stay put and unchanged while held), probed in turn from the key's
// hash, so that adding a key allocates nothing beyond the arrays' growth.
class tzr_view_index {
public:
    static constexpr size_t npos = (size_t)-1;

    // The number held for `key`; when there is none, `key` is added with
    // `number`, which is returned.
    size_t find_or_add(std::string_view key, size_t number) {
        if (2 * (keys_.size() + 1) > slots_.size())
            rehash(slots_.empty() ? kFirstSlots : 2 * slots_.size());
        size_t hash = std::hash<std::string_view>{}(key);
        size_t slot = probe(key, hash);
        if (slots_[slot] != 0)
            return numbers_[slots_[slot] - 1];
        keys_.push_back(key);
        hashes_.push_back(hash);
        numbers_.push_back(number);
        slots_[slot] = keys_.size();
        return number;
    }
    // The number held for `key`, else npos.
    size_t find(std::string_view key) const {
        if (keys_.empty())
            return npos;
        size_t at = slots_[probe(key, std::hash<std::string_view>{}(key))];
        return at == 0 ? npos : numbers_[at - 1];
    }
    bool contains(std::string_view key) const { return find(key) != npos; }
    // Makes room for `n` keys at once.
    void reserve(size_t n) {
        keys_.reserve(n);
        hashes_.reserve(n);
        numbers_.reserve(n);
        size_t want = slots_.empty() ? kFirstSlots : slots_.size();
        while (want < 2 * n)
            want *= 2;
        if (want > slots_.size())
            rehash(want);
    }
    size_t size() const { return keys_.size(); }
    void clear() {
        keys_.clear();
        hashes_.clear();
        numbers_.clear();
        slots_.clear();
    }

private:
    static constexpr size_t kFirstSlots = 16;

    // The slot that holds `key`, else the empty slot where it would go. The
    // table is never more than half full, so an empty slot is always met.
    size_t probe(std::string_view key, size_t hash) const {
        size_t mask = slots_.size() - 1;
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            size_t at = slots_[slot];
            if (at == 0 || (hashes_[at - 1] == hash && keys_[at - 1] == key))
                return slot;
        }
    }
    // Sizes the table to `n` slots (a power of two) and puts every key back.
    void rehash(size_t n) {
        slots_.assign(n, 0);
        size_t mask = n - 1;
        for (size_t i = 0; i < keys_.size(); i++) {
            size_t slot = hashes_[i] & mask;
            while (slots_[slot] != 0)
                slot = (slot + 1) & mask;
            slots_[slot] = i + 1;
        }
    }

    std::vector<std::string_view> keys_;
    std::vector<size_t> hashes_;   // each key's hash, for probing and rehashing
    std::vector<size_t> numbers_;  // each key's number
    std::vector<size_t> slots_;    // key position + 1, or 0 for an empty slot
};

// A table from text to borrowed records that never replaces an entry: the
// first holder of a key keeps it. Entries are iterated in insertion order
// (a record stored under two keys appears once per key). The keys are
// borrowed too: they are the records' own strings, which outlive the store
// unchanged, and a document's thousands of links are stored without a copy
// of each of their keys.
template <typename T>
class tzr_store {
public:
    // Adds `entry` under `key` unless the key is NULL, empty or taken.
    bool add(const char *key, T *entry) {
        if (!key || !*key || !entry)
            return false;
        std::string_view view(key);
        if (index_.find_or_add(view, entries_.size()) != entries_.size())
            return false;
        entries_.emplace_back(view, entry);
        return true;
    }
    T *find(const char *key) const { return key ? find(std::string_view(key)) : nullptr; }
    T *find(std::string_view key) const {
        size_t at = index_.find(key);
        return at == tzr_view_index::npos ? nullptr : entries_[at].second;
    }
    // Makes room for `n` keys at once.
    void reserve(size_t n) {
        entries_.reserve(n);
        index_.reserve(n);
    }
    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    void clear() {
        entries_.clear();
        index_.clear();
    }
    // (key, record) pairs in insertion order.
    const std::vector<std::pair<std::string_view, T *>> &entries() const { return entries_; }

private:
    std::vector<std::pair<std::string_view, T *>> entries_;
    tzr_view_index index_;
};

// A note for a label token and a body. With a label, the clean text is the
// text inside its brackets (lower-cased when `lower` is set) and the label
// text the label rule over the whole bracket. A BLOCK_PARA body is used as it
// is; any other body (a TEXT first trimmed of leading blanks) is wrapped in a
// new BLOCK_PARA with the tokens after it, which the note then owns. NULL
// when allocation fails.
tzr_note *tzr_note_new(const char *source, token *label, token *content, bool lower);
// Frees the note, its strings and its own wrapper token (not the wrapped
// document tokens). NULL does nothing.
void tzr_note_free(tzr_note *note);

// A node that takes over `key` and holds a copy of `value` with one leading
// and one trailing double quote dropped. NULL (and `key` freed) on failure.
tzr_attribute *tzr_attribute_new(char *key, const char *value);
void tzr_attribute_list_free(tzr_attribute *list);

// A second record with the same data fields; the strings and the attribute
// list are shared, not copied (free the copy with free() alone).
tzr_link *tzr_link_copy(const tzr_link *link);
// Frees the strings, the attributes and the record; NULL does nothing.
void tzr_link_free(tzr_link *link);

// An entry for the key at [start, start + len) of the source; value NULL.
tzr_meta *tzr_meta_new(const char *source, size_t start, size_t len);
// Stores the clean form (case kept) of `text`, freeing the old value; a NULL
// text changes nothing.
void tzr_meta_set_value(tzr_meta *entry, const char *text);
void tzr_meta_free(tzr_meta *entry);

// The records that an export looks things up in: reference links, notes
// (footnotes, citations, glossary entries, abbreviations) and metadata
// entries, and the store that finds them by text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
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
        auto [it, inserted] = index_.try_emplace(std::string_view(key), entries_.size());
        if (!inserted)
            return false;
        entries_.emplace_back(it->first, entry);
        return true;
    }
    T *find(const char *key) const { return key ? find(std::string_view(key)) : nullptr; }
    T *find(std::string_view key) const {
        if (entries_.empty())
            return nullptr;
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : entries_[it->second].second;
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
    std::unordered_map<std::string_view, size_t> index_;
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

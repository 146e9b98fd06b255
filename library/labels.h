// Labels and clean strings: the two derived forms of a text under which
// headings, links, notes and metadata keys are named and found, plus the
// token text helpers that produce them.
//
// Every function that returns a string returns a new malloc'd string that the
// caller frees with free(); NULL means no text or an allocation failure.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/d_string.h"
#include "library/stack.h"
#include "library/token.h"

// A copy of `len` bytes (NUL bytes among them copied too), NUL-terminated.
char *tzr_copy_bytes(const char *bytes, size_t len);

// The longest label: a heading made of a huge line gets its id in bounded
// time and memory from the start of its text, and names its link from
// there. Labels that differ only past it are equal; heading ids stay unique
// by their suffixes.
constexpr size_t kTzrLabelLimit = 4096;

// The label rule: ASCII letters lower-cased; digits and "-", ".", "_", ":"
// kept; a UTF-8 lead byte with the continuation bytes after it kept whole;
// every other byte dropped; the result ends before the character that would
// take it past kTzrLabelLimit bytes. `text` must not be NULL ("" gives "").
char *tzr_label_from_text(const char *text);
// The label rule over `len` bytes written into `out`, which holds at least
// min(len, kTzrLabelLimit) + 1 bytes; returns the label's length.
size_t tzr_label_into(char *out, const char *bytes, size_t len);
// The label rule over `len` bytes (never reads past them).
char *tzr_label_from_range(const char *bytes, size_t len);
// The label of a token's source text; NULL for a NULL source or token.
char *tzr_label_from_token(const char *source, const token *t);

// The clean form: leading whitespace (space, tab, LF, CR) dropped, each later
// run of it made one space, a trailing space removed; ASCII letters
// lower-cased when `lower` is set. NULL gives NULL.
char *tzr_clean_string(const char *text, bool lower);
// The clean form of `len` bytes written into `out`, which holds at least
// len + 1 bytes (its first len may be overwritten); returns its length.
size_t tzr_clean_into(char *out, const char *text, size_t len, bool lower);
char *tzr_clean_string_range(const char *source, size_t start, size_t len, bool lower);
char *tzr_clean_token_text(const char *source, const token *t, bool lower);

// The byte range between a pair's markers, as the functions below read it;
// false when there is none.
bool tzr_inside_pair_range(const token *pair, size_t *start, size_t *len);
// The text between a pair token's markers: the closing marker's length is cut
// at both ends ('[^Note 1]' gives '^Note 1'); without a closing marker, the
// opening marker and the last byte are cut. NULL without a source, a token or
// children.
char *tzr_text_inside_pair(const char *source, const token *pair);
char *tzr_clean_text_inside_pair(const char *source, const token *pair, bool lower);
// As tzr_clean_text_inside_pair when the clean form is at most `limit`
// bytes; NULL when it is longer. Of a longer text only a start of a few
// times `limit` bytes is read, unless the start is mostly blanks.
char *tzr_clean_text_inside_pair_within(const char *source, const token *pair, bool lower,
                                        size_t limit);

// The manual label of a heading: a bracket at the heading's end (blanks,
// markers and the line end aside) that is not the second half of a reference
// link. The bracket is retyped MANUAL_LABEL so writers do not print it, and a
// later call finds it again. NULL when there is none.
token *tzr_header_manual_label(token *heading, const char *source);
// The heading's id: the label of its manual label, else of its whole text.
char *tzr_label_from_header(const char *source, token *heading);

// Views of ids by their heading tokens, set all at once and kept sorted by
// the tokens' addresses: a document's headings are found without a node
// allocated for each.
class tzr_ids_by_heading {
public:
    // Takes the (heading, id) pairs; of a heading given twice, the first id
    // holds.
    void assign(std::vector<std::pair<const token *, std::string_view>> pairs);
    // The id of `heading`, or NULL when it has none.
    const std::string_view *find(const token *heading) const;
    // The id of `heading`, empty when it has none.
    std::string_view operator[](const token *heading) const {
        const std::string_view *id = find(heading);
        return id ? *id : std::string_view();
    }

private:
    std::vector<std::pair<const token *, std::string_view>> sorted_;
};

// The ids of a document's headings, unique within it: each a view of a
// label the engine made for the heading's link or of one made here.
struct tzr_heading_ids {
    tzr_ids_by_heading of;
    std::deque<std::string> made;  // labels and suffixed ids made here; views stay put
};

// The ids of the headings in `headers` (in document order), unique within
// the document: the first heading with a label keeps it, a later one gets
// "-1", "-2", ... appended, passing over ids that other headings have of
// their own. `links` (may be NULL) are the links the engine made for the
// headings, in the headings' order, as tzr_label_from_header would label
// them; a heading they leave out is labelled here. Writers read the ids
// through tzr_heading_id (export_context.h).
void tzr_unique_heading_ids(tzr_heading_ids *ids, const char *source, const stack *headers,
                            const stack *links = nullptr, size_t links_from = 0);

// Appends a token's source text with emphasis and strong markers left out.
void tzr_print_token_raw(DString *out, const char *source, const token *t);
// The same for a token and every token after it in its chain.
void tzr_print_token_chain_raw(DString *out, const char *source, const token *first);

// CriticMarkup on raw source text: settles every proposed change at once,
// accepting or rejecting them all, by erasing byte ranges of a DString in
// place. The marks are found with an Aho-Corasick trie and paired here; the
// document lexer is not involved.
#pragma once

#include <cstddef>

#include "library/d_string.h"
#include "library/token.h"

// The walker's own codes, stored in a token's type field. They are
// independent of the document's token types.
enum critic_code : unsigned short {
    CM_ADD_OPEN = 1,   // "{++"
    CM_ADD_CLOSE,      // "++}"
    CM_DEL_OPEN,       // "{--"
    CM_DEL_CLOSE,      // "--}"
    CM_SUB_OPEN,       // "{~~"
    CM_SUB_DIV,        // "~>"
    CM_SUB_CLOSE,      // "~~}"
    CM_HI_OPEN,        // "{=="
    CM_HI_CLOSE,       // "==}"
    CM_COM_OPEN,       // "{>>"
    CM_COM_CLOSE,      // "<<}"
    CM_ADD,            // addition pair
    CM_DEL,            // deletion pair
    CM_SUB,            // substitution pair
    CM_HI,             // highlight pair
    CM_COM,            // comment pair
    CM_PLAIN           // text between marks, and the backslash escapes
};

// Settle every change of the whole text.
void critic_accept_all(DString *d);
void critic_reject_all(DString *d);
// The same for the changes inside [start, start + len); text outside is not
// looked at. A length of (size_t)-1 means "to the end".
void critic_accept_range(DString *d, size_t start, size_t len);
void critic_reject_range(DString *d, size_t start, size_t len);

// The marks of a range as a root token (type 0) over one chain in text
// order, or NULL for an empty range. A NUL byte ends the range. The caller
// frees it with token_tree_free.
token *critic_tokenize(const char *text, size_t start, size_t len);
// critic_tokenize, then openers and closers paired and wrapped into pair
// tokens (CM_ADD ... CM_COM); each mark of a pair is the other's mate.
token *critic_parse(const char *text, size_t start, size_t len);

// Apply the accept or reject rules to one token (with its children); the
// _chain forms to a token and every token before it.
void critic_accept_token(DString *d, token *t);
void critic_reject_token(DString *d, token *t);
void critic_accept_chain(DString *d, token *t);
void critic_reject_chain(DString *d, token *t);
// The substitution step alone, given the substitution's closing mark: the
// divider is the last "~>" among the mark's siblings.
void critic_accept_substitution_from(DString *d, token *closing);
void critic_reject_substitution_from(DString *d, token *closing);

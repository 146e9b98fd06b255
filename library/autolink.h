// Auto-linking: every occurrence of a defined abbreviation or glossary term
// in running text becomes a token of its own (PAIR_BRACKET_ABBREVIATION or
// PAIR_BRACKET_GLOSSARY without children) that the writers treat as a use
// of that note. Headings, code and other literal blocks are left alone.
#pragma once

#include "library/token.h"

struct tzr_engine;
struct trie;

// Links the terms of the engine's abbreviation and glossary lists in the
// engine's tree. Nothing happens when both lists are empty.
void tzr_autolink_terms(tzr_engine *e);
// Walks a sibling chain from `first`, entering blocks and spans that hold
// running text and searching each text token with the prepared trie.
void tzr_autolink_walk(tzr_engine *e, token *first, trie *terms);
// Searches one text token and splits it at every match.
void tzr_autolink_text_token(tzr_engine *e, token *t, trie *terms);

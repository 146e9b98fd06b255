// The metadata block at the top of a document: key lines and their
// continuation lines become entries on the engine's metadata list.
#pragma once

#include "library/token.h"

struct tzr_engine;

// Reads a BLOCK_META block into entries pushed onto the engine's metadata
// list, in document order (duplicate keys give duplicate entries). Keys are
// in label form, values in clean form.
void tzr_parse_metadata_block(tzr_engine *e, token *block);

// Whether a line of this type inside a metadata block is read into an entry
// (a key line or a continuation of a value); the others (an opening line,
// an underline that closes the block) belong to no entry.
bool tzr_meta_line_is_read(unsigned short type);

// Debug dump: one "'key': 'value'" line per entry. Like the token dumps, it
// goes straight to standard error, not through the log handler.
void tzr_metadata_describe(const tzr_engine *e);

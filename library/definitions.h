// The first steps of every export: definition blocks become note and link
// records on the engine's lists, and headings and tables get the link
// records ("#" and their label) that cross-references resolve to.
//
// These steps change the parse they run on (definition blocks are emptied,
// labels consumed), so every export starts from a fresh parse.
#pragma once

#include "library/token.h"

struct tzr_engine;

// Turns one definition block into its record and empties the block.
void tzr_process_definition_block(tzr_engine *e, token *block);
// The same for every block on the engine's definition list, in order.
void tzr_process_definitions(tzr_engine *e);

// Reads a reference definition whose bracket stands at *cursor. True when
// the bracket is of a kind that definitions use and is followed as required;
// the cursor then stands past the definition's line end.
bool tzr_process_link_definition(tzr_engine *e, token **cursor);

// Consumes the whitespace after a definition's colon, from `t` on, and trims
// the leading blanks of the first text that follows.
void tzr_trim_definition_start(token *t, const char *source);

// Label link of one heading, and of every heading on the engine's list
// (none when the engine has the no-labels extension).
void tzr_process_header_label(tzr_engine *e, token *heading);
void tzr_process_header_labels(tzr_engine *e);

// Label link of one table (taken from the caption paragraph after it, the
// paragraph that tzr_table_has_caption accepts), and of every table on the
// engine's list.
void tzr_process_table_label(tzr_engine *e, token *table);
void tzr_process_table_labels(tzr_engine *e);

// Smart enter and smart tab: Return continues the block structure of the
// current line (list items, block quotes, indentation, table rows, headings)
// and Tab indents a fresh list item or opens a new table cell.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textengine/buffer/smart_string.h"
#include "library/token.h"

// The pipeline steps (see smart_string_steps.h).
bool smart_string_smart_tab(_SString *s, size_t start, size_t length, char **text,
                            smart_string_change *change);
bool smart_string_smart_enter(_SString *s, size_t start, size_t length, char **text,
                              smart_string_change *change);

// Line classes of the editor.
enum smart_line_class : int {
    LINE_CLASS_LIST_ITEM = 23,
    LINE_CLASS_BLOCK_QUOTE = 24,
    LINE_CLASS_INDENTED = 25,
    LINE_CLASS_PLAIN = 26,
    LINE_CLASS_HEADING = 27,
    LINE_CLASS_TABLE_ROW = 28,
    LINE_CLASS_EMPTY = 29,
};

// Tokens of the line lexer and parser.
enum smart_line_token : unsigned short {
    LINE_TOKEN_END = 0,
    LINE_TOKEN_STAR = 2,
    LINE_TOKEN_PLUS = 3,
    LINE_TOKEN_MINUS = 4,
    LINE_TOKEN_INDENT = 6,       // one tab or four spaces
    LINE_TOKEN_SPACES = 7,       // one to three spaces
    LINE_TOKEN_TEXT = 8,         // the rest of the line
    LINE_TOKEN_HASHES = 9,       // one to six "#" before a blank
    LINE_TOKEN_PIPE = 10,
    LINE_TOKEN_ORDERED = 11,     // digits and "." before a blank
    LINE_TOKEN_QUOTE = 12,
    LINE_TOKEN_SILENT = 13,      // not written out
    LINE_TOKEN_END_OF_LINE = 14,
    LINE_TOKEN_NEWLINE = 20,
};

// Class of the line that starts at `line` (read up to its line end).
int smart_string_line_class(const char *line);

// The line tokens of text[0, length), as children of a root token; offsets
// are relative to `text`. The caller frees the tree with token_tree_free.
token *smart_string_lex_line(const char *text, size_t length);

// The line parser: fed the tokens of one line, then LINE_TOKEN_END_OF_LINE,
// then LINE_TOKEN_END, it leaves in *output the chain of tokens (new tokens,
// owned by the caller) to write for the next line. A line that does not fit
// the grammar prints "Parser failed to successfully parse.\n" on standard
// error and leaves *output NULL.
struct smart_line_parser;
smart_line_parser *smart_string_line_parser_new(void *(*allocate)(size_t));
void smart_string_line_parse(smart_line_parser *parser, int type, token *t, token **output);
void smart_string_line_parser_free(smart_line_parser *parser, void (*deallocate)(void *));
// True once the parser has met input that does not fit its grammar.
bool smart_string_line_parser_failed(const smart_line_parser *parser);

// The heading text as written back: trailing blanks go; with option 0x100000
// a closing "#" run after a blank goes too; with 0x80000 the text is
// title-cased, except inside "[...]" spans.
char *smart_string_heading_text(const char *text, size_t length, uint64_t options);
// "N." for the decimal digits at the start of `digits` plus one, however many
// digits there are (leading zeros dropped).
char *smart_string_next_number(const char *digits);
// True when the line before the one holding `offset` is empty, or at the
// start of the text.
bool smart_string_previous_line_is_empty(_SString *s, size_t offset);
// The separator row under a table's first row: each "|" stays, a byte before
// a "|" becomes a tab, a byte after one a space, every other byte "-".
char *smart_string_table_separator(const char *row, size_t length);

// The lexer: cuts source text into markup lexemes, the whitespace runs that
// matter for indentation and breaks, and line ends. Plain text is never
// reported; it is whatever lies between two lexemes.
#pragma once

#include <cstddef>

struct lexer_state {
    const char *start = nullptr;   // first byte of the last lexeme
    const char *cursor = nullptr;  // one past its last byte; the next call starts here
    // The end of the last run of spaces that was found not to end the line.
    // A long run is handed out four spaces at a time; remembering where it
    // ends keeps each piece from rescanning the rest of the run.
    const char *run_start = nullptr;
    const char *run_end = nullptr;
    // The first byte the lexer may look back at (the start of the text being
    // cut). Without it, a lexeme is decided by what follows it alone.
    const char *begin = nullptr;
    // Whether a ":" inside the line (after a word or a mark, not after a
    // blank, "]", ">" or "|") is plain text. The tokenizer decides line by
    // line; without it every ":" but that of an address's scheme is a lexeme.
    bool colons_in_text = false;
    // From here on in the line, a lone "-" between words or between two
    // spaces is plain text; NULL when no "-" is. The tokenizer sets it past
    // the markers of a list item's line.
    const char *hyphens_from = nullptr;
    // From here on in the line, a lone "-" or "_" inside a word
    // ("well-known", "snake_case") is plain text. Neither can be anything
    // but the character itself in HTML: such a "_" neither opens nor closes
    // emphasis, and such a "-" is a hyphen (an en dash only between two
    // digits, where it stays a lexeme); a table's cells are split at "|"
    // alone. NULL when no such mark is text; set line by line by the
    // tokenizer.
    const char *words_from = nullptr;
    // Whether a "(" after a blank or a word whose ")" follows on its line
    // with only plain text between is plain text, and that ")" with it. Such
    // a pair holds nothing any pass pairs or reads, and every writer prints
    // it as it stands. Set line by line where colons may be text, and only
    // for engines whose tree is never shown (a conversion's own).
    bool parens_in_text = false;
    // The ")" that closes the last "(" left in the text.
    const char *text_paren_close = nullptr;
    // How deep the cursor is inside parentheses opened right after "]" (a
    // link's or an image's destination), where every "(" and ")" stays a
    // lexeme. The tokenizer clears it at a blank line.
    unsigned destination_depth = 0;
};

// Returns the type of the next lexeme at or after the cursor and sets start
// and cursor around it, or returns 0 once the cursor reaches `stop`. A lexeme
// that begins before `stop` is taken whole, so the lexer may read past
// `stop`, up to the source's terminating NUL but never beyond it.
int tzr_lex_token(lexer_state *s, const char *stop);

// Passes over the rest of a line in one step when nothing in it can change
// what the lexer carries on to later lines, but its parentheses, or how the
// line ends: no "[", backslash, carriage return, non-breaking space or NUL
// before a line feed that lies before `stop`. Returns the line end's
// lexeme (as tzr_lex_token would, after the line's other lexemes) with start
// and cursor around it. Otherwise returns 0 with the state unchanged and
// `*blocked` at the byte that stopped the look (or at `stop`): a look from
// before it would stop there again.
int tzr_lex_line_end(lexer_state *s, const char *stop, const char **blocked);

// Length of the complete UTF-8 character at `p` (2 to 4), or 0 when `p` does
// not begin one (ASCII, a stray continuation byte, a bad or cut-short lead).
size_t tzr_utf8_char_length(const char *p);

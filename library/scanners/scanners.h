// Pattern scanners: pure recognisers over NUL-terminated UTF-8 text.
//
// Each scanner takes a pointer into such text and returns the length in bytes
// of the longest match of its pattern that begins exactly there, or 0 when
// none does (0 always means "no match"). Only scan_table_alignment returns a
// code instead of a length. Scanners keep no state, allocate nothing and read
// forward only, never past the terminating NUL. A NULL pointer gives 0.
//
// Line ends. Where a pattern ends in a line end, the length counts it: LF is
// 1, CR LF is 2, a lone CR is 1, and the terminating NUL counts 1 as well. At
// the end of the text such a length is therefore one more than the bytes left
// before the NUL. Callers that step over a line by such a length must clamp
// at the NUL (never step past the text's length), and nobody copies that many
// bytes.
#pragma once

#include <cstddef>

// Line scanners. Those marked "EOL" count the line end (the NUL included).
size_t scan_fence(const char *c);            // bare fence line, EOL
size_t scan_fence_start(const char *c);      // fence line with info string, EOL
size_t scan_setext(const char *c);           // setext underline, EOL
size_t scan_atx_marker(const char *c);       // '#'s, blanks and first text character
size_t scan_definition(const char *c);       // ':', blanks and one more character
size_t scan_table_separator(const char *c);  // table separator row, EOL
// Alignment code of one separator cell: 1 left (':--'), 2 right ('--:'),
// 4 centre (':-:'), 0 none or not a separator cell; a trailing '+' adds 8.
size_t scan_table_alignment(const char *c);
size_t scan_meta_line(const char *c);        // metadata key line (or dashes + key line), EOL
size_t scan_meta_key(const char *c);         // metadata key, trailing blanks included

// Definition lines. The four note forms and scan_link_definition_line stop
// where the line's content ends and never count the line end;
// scan_reference_link_definition spans up to three lines and counts the
// final line end (EOL).
size_t scan_abbreviation_definition(const char *c);  // '[>' label ']:' text
size_t scan_citation_definition(const char *c);      // '[#' label ']:' text
size_t scan_footnote_definition(const char *c);      // '[^' label ']:' text
size_t scan_glossary_definition(const char *c);      // '[?' label ']:' text
size_t scan_link_definition_line(const char *c);     // '[' label ']:' text
size_t scan_reference_link_definition(const char *c);

// Links, attributes, URLs and e-mail addresses. None counts a final line end.
size_t scan_attribute_space(const char *c);  // blanks holding at most one line end
size_t scan_attribute_key(const char *c);
size_t scan_attribute_value(const char *c);  // bare word or quoted string
size_t scan_attribute(const char *c);        // blanks, key '=' blanks value
size_t scan_attributes(const char *c);       // one or more attributes
size_t scan_email(const char *c);
size_t scan_url(const char *c);              // scheme '://' rest, or an e-mail address
size_t scan_link_destination(const char *c);
size_t scan_link_title(const char *c);       // delimiters included

// HTML. Each expects the pointer at the '<'.
size_t scan_html(const char *c);              // one tag or comment
size_t scan_html_comment(const char *c);      // one comment
size_t scan_html_block_start(const char *c);  // tag of a block-level element
size_t scan_html_line(const char *c);         // tag or comment, blanks, line end

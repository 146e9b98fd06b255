// The HTML writer: turns a parsed document into HTML for the live preview and
// for export, and writes the body of the XHTML that EPUB and TextBundle
// packages hold.
//
// Besides the text it leaves three traces: each written token records where
// its HTML starts and how long it is (token_output; links and images only
// the start), unless the context says no one will read it, the CriticMarkup
// pairs it meets go on the engine's change list, and images and style
// sheets go into the context's asset table.
#pragma once

#include <cstddef>

#include "library/d_string.h"
#include "library/export_context.h"
#include "library/records.h"
#include "library/token.h"
#include "library/writers/writer_utils.h"

// Writes the token and every following sibling. Nothing below writer depth
// 1000; siblings are passed over while the context's skip counter is set.
void html_export_token_chain(DString *out, const char *source, token *t, tzr_export_context *context);
// Writes one token and, as its type requires, its children.
void html_export_token(DString *out, const char *source, token *t, tzr_export_context *context);

// One byte escaped ('"', '&', '<', '>'); with `obfuscate`, every other ASCII
// byte becomes a numeric character reference.
void html_print_char(DString *out, char c, bool obfuscate);
// A string escaped the same way; NULL writes nothing.
void html_print_string(DString *out, const char *s, bool obfuscate);
// `len` bytes escaped, without obfuscation.
void html_print_bytes(DString *out, const char *s, size_t len);

void html_export_link(DString *out, const char *source, token *bracket, tzr_link *link,
                      tzr_export_context *context);
void html_export_image(DString *out, const char *source, token *image, tzr_link *link,
                       tzr_export_context *context, bool is_figure);

// A lower-cased copy of `text` cut at its first byte that is not an ASCII
// digit ("" when it starts with none); NULL for NULL. The caller frees it.
char *html_dimension_digits(const char *text);

// One level of the table of contents, recursing for deeper levels.
void html_export_toc_entries(DString *out, const char *source, tzr_export_context *context,
                             size_t *index, int min_level);

// Code text of one token (code spans, code blocks, math).
void html_print_token_raw(DString *out, const char *source, token *t, tzr_export_context *context);
// Math text of a token and its following siblings.
void html_print_math_chain(DString *out, const char *source, token *t, tzr_export_context *context);

// The anchor number a footnote is linked by: its number, or with random
// footnote anchors a scrambled number from 1 to 32000 that is the same for
// every reference to it and distinct for distinct footnotes.
int html_footnote_anchor(const tzr_export_context *context, int number);

// The head of a complete document, through the opening body tag.
void html_write_document_start(DString *out, const char *source, tzr_export_context *context);
// "\n\n</body>\n</html>\n".
void html_write_document_end(DString *out, const char *source, tzr_export_context *context);
// The note sections after the body; each writes nothing when unused.
void html_write_footnotes(DString *out, const char *source, tzr_export_context *context);
void html_write_glossary(DString *out, const char *source, tzr_export_context *context);
void html_write_citations(DString *out, const char *source, tzr_export_context *context);

// Writer internals shared by the inline, block and document parts.
namespace html_detail {

using namespace writer_utils;
// Writes a block type (0-84); false when the type is not one.
bool export_block(DString *out, const char *source, token *t, tzr_export_context *context);
// Writes a table row or cell; false for any other type.
bool export_table_part(DString *out, const char *source, token *t, tzr_export_context *context);
// The localised title: key 0 back link, 1 footnote, 2 citation, 3 glossary.
const char *title_text(int key, int language);
}  // namespace html_detail

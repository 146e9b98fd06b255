// LaTeX output and its two variants: the LaTeX body writer, the document
// frame around it (preamble from metadata, glossary definitions,
// bibliography, end), Beamer slides and Memoir books.
//
// Every writer appends to `out`, reads token offsets against `source` and
// keeps all of its state in the export context. NULL tokens write nothing.
#pragma once

#include <cstdint>

#include "library/d_string.h"
#include "library/export_context.h"
#include "library/records.h"
#include "library/token.h"

// --- LaTeX body ------------------------------------------------------------------

// Writes a chain of sibling tokens; nothing at a writer depth of 1000.
void latex_export_token_chain(DString *out, const char *source, token *t,
                              tzr_export_context *context);
void latex_export_token(DString *out, const char *source, token *t, tzr_export_context *context);

void latex_print_escaped_char(DString *out, char c);
void latex_print_escaped_string(DString *out, const char *str);
void latex_print_escaped_bytes(DString *out, const char *bytes, size_t len);
// A URL as the target of \href or \includegraphics: the bytes that would end
// or unbalance the argument ("#", "%", "&", braces, backslash) are escaped.
void latex_print_url(DString *out, const char *url);

void latex_write_link(DString *out, const char *source, token *bracket, tzr_link *link,
                      tzr_export_context *context);
void latex_write_image(DString *out, const char *source, token *image, tzr_link *link,
                       tzr_export_context *context, bool figure);
// Lower-case copy of a width or height with a final "px" made "pt"; NULL for
// NULL.
char *latex_dimension_copy(const char *dimension);

void latex_export_verbatim_chain(DString *out, const char *source, token *t,
                                 tzr_export_context *context);
void latex_export_verbatim_token(DString *out, const char *source, token *t,
                                 tzr_export_context *context);
void latex_export_code_span_chain(DString *out, const char *source, token *t,
                                  tzr_export_context *context);
void latex_export_code_span_token(DString *out, const char *source, token *t,
                                  tzr_export_context *context);

// --- Document frame ----------------------------------------------------------------

void latex_write_document_start(DString *out, const char *source, tzr_export_context *context);
void latex_write_glossary_definitions(DString *out, const char *source,
                                      tzr_export_context *context);
void latex_write_bibliography(DString *out, const char *source, tzr_export_context *context);
void latex_write_document_end(DString *out, const char *source, tzr_export_context *context);

// --- Beamer --------------------------------------------------------------------------

void beamer_export_token_chain(DString *out, const char *source, token *t,
                               tzr_export_context *context);
void beamer_export_token(DString *out, const char *source, token *t, tzr_export_context *context);
// Closes the frames and article groups at the heading's slide level or
// deeper and opens the heading's own; NULL closes all of them.
void beamer_frame_stack_update(DString *out, token *heading, tzr_export_context *context);
void beamer_write_bibliography(DString *out, const char *source, tzr_export_context *context);
void beamer_write_document_end(DString *out, const char *source, tzr_export_context *context);

// --- Memoir --------------------------------------------------------------------------

void memoir_export_token_chain(DString *out, const char *source, token *t,
                               tzr_export_context *context);
void memoir_export_token(DString *out, const char *source, token *t, tzr_export_context *context);

// --- Shared by the three -------------------------------------------------------------

// Fenced code: a raw block for `format`, or a verbatim or listing
// environment; `memoir` wraps the environment in an adjustwidth group.
void latex_write_fenced_code(DString *out, const char *source, token *t,
                             tzr_export_context *context, int16_t format, bool memoir);
// Indented code: a verbatim environment, in an adjustwidth group for
// `memoir`.
void latex_write_indented_code(DString *out, const char *source, token *t,
                               tzr_export_context *context, bool memoir);
// The level of a heading within the document's outline: base header level
// plus heading level (1-6 for ATX, 1-2 for setext), 0 for a non-heading.
int latex_heading_sum(const token *heading, const tzr_export_context *context);
// Writes "}" or "}\n\\label{...}" after a heading's text by the labels flag.
void latex_write_heading_label(DString *out, const char *source, token *heading,
                               tzr_export_context *context);

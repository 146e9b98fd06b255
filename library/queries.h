// The questions the editor's sidebars and completions ask of a parsed
// document: its table of contents, its CriticMarkup changes, its reference
// labels, the local files it needs and the keys of its BibTeX file.
//
// Offsets handed out are UTF-16 units (the editor's view offsets), counted
// with the shared lead-byte table. The reference, change and asset lists
// are filled by an export, so callers parse and export the engine before
// asking for them; the table of contents needs only the parse.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/d_string.h"
#include "library/stack.h"
#include "library/token.h"

struct tzr_engine;
struct tzr_export_context;

// One entry of the table of contents or of the change list.
struct header {
    char *title;     // heading title or change text; owned
    char *label;     // heading identifier; owned; NULL for changes
    uint16_t type;   // token type of the heading or the change
    size_t start;    // UTF-16 units
    size_t len;      // UTF-16 units
    header *child;   // first deeper heading
    header *next;    // next sibling
};

// A record with copies of `title` and `label` (NULL stays NULL), type 0 and
// no links; NULL when allocation fails.
header *header_new(const char *title, const char *label, size_t start, size_t len);
// Frees the record, its strings, its child tree and its sibling chain.
void toc_entry_free(header *entry);

// The table of contents: the first top-level entry, the others along
// `next`, deeper headings along `child`; NULL without headings.
header *tzr_engine_toc_entries(tzr_engine *e);
// One level of the table of contents from the heading at *index on: the
// headings of at least `level`, with deeper ones as children. Leaves *index
// on the last heading it took.
header *toc_entry(tzr_engine *e, tzr_export_context *context, size_t *index, int level);
// The plain text of a heading's tokens: emphasis, strong, block and list
// markers and a manual label add nothing; text tokens add their bytes.
void toc_heading_text(DString *out, const char *source, token *t, tzr_export_context *context);
void toc_heading_text_chain(DString *out, const char *source, token *t,
                            tzr_export_context *context);

// One record per CriticMarkup pair of the last HTML export, in its order;
// never NULL unless allocation fails.
stack *tzr_engine_critic_changes(tzr_engine *e);
void critic_change_list_free(stack *changes);

// String lists: stacks of owned strings, never NULL for an engine.
// Labels of notes (with their "^", "#", ... mark) and of reference links.
stack *tzr_engine_reference_labels(tzr_engine *e);
// Local files the document needs: style sheet, BibTeX file, link targets,
// images, and (with a folder and a file path) the files it transcludes.
stack *tzr_engine_local_resources(tzr_engine *e, const char *folder, const char *file_path);
// Citation keys of the BibTeX file named by metadata "bibtex" in `folder`.
stack *tzr_engine_bibtex_keys(tzr_engine *e, const char *folder);
void string_stack_free(stack *strings);

// Preparing a source before a parse: the "tzrheader" and "tzrfooter"
// metadata values inserted as text, and transclusion of other files through
// "{{file}}" markers, with the manifest of the files it would read.
#pragma once

#include <cstdint>

#include "library/d_string.h"
#include "library/stack.h"

struct tzr_engine;

// Replaces each "{{name}}" marker after the metadata block with the text of
// the file it names, recursively. `folder` is where names are looked for
// (NULL: nowhere, unless the source's own metadata sets "transclude base",
// which is resolved against the directory of `file_path`). A name ending in
// ".*" takes the extension of `format` (0 ".html"; 2, 3, 4 ".tex"; 5 ".fodt";
// 9 keeps the name; any other ".txt"). "{{TOC}}" stays. A marker whose file
// cannot be read, or would include itself, stays as written; a transcluded
// file's own metadata block is dropped.
//
// `parents` (may be NULL) holds the canonical paths of the files being
// included at that moment; it gets back the count it had on entry.
// `manifest` (may be NULL) gets each distinct path tried, as a new string
// the caller frees. Nesting stops at depth 1000.
void tzr_transclude(DString *source, const char *folder, const char *file_path, int16_t format,
                    stack *parents, stack *manifest);

// When the source begins with a metadata block whose "tzrheader" key has a
// value, inserts "\n\n" and the value (as text, no file is read) at the end
// of the block.
void tzr_prepend_header_file(DString *source);
// When the metadata has a "tzrfooter" value, appends "\n\n" and the value.
void tzr_append_footer_file(DString *source);

// The paths transclusion would read (format 0, on a copy of the source):
// a new stack of new strings, both owned by the caller; NULL for a NULL
// source or engine.
stack *tzr_engine_transclusion_manifest(tzr_engine *e, const char *folder, const char *file_path);
stack *tzr_d_string_transclusion_manifest(DString *source, const char *folder,
                                          const char *file_path);
stack *tzr_string_transclusion_manifest(const char *source, const char *folder,
                                        const char *file_path);

// Prepares a copy of a document's source for a parse, in the order the
// preview and export use: header and footer text (not in compatibility
// mode), transclusion (extension 0x2000, with both a folder and a file path),
// then accepting (0x400) or rejecting (0x800) every CriticMarkup change when
// 0x200 is set and only one of the two is.
void tzr_prepare_source(DString *source, uint64_t extensions, const char *folder,
                        const char *file_path, int16_t format);

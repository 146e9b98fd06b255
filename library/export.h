// The front of every export: definitions become records, headings and tables
// get their label links, the export context is built and steered by the
// document's metadata, glossary terms and abbreviations are linked, and the
// writers of the output format run.
#pragma once

#include <cstdint>

#include "library/d_string.h"
#include "library/token.h"

struct tzr_engine;
struct tzr_export_context;

// Appends the export of the engine's parse in `format` (an output format
// code) to `out`. The export changes the parse it works on, so every export
// needs a fresh parse. Afterwards the engine holds the export's asset table.
// A format without writers writes nothing.
void tzr_export_document(DString *out, tzr_engine *e, int16_t format);

// Applies the metadata keys that steer an export (header levels, language,
// quotes language, LaTeX mode, BibTeX file) to the context; any other key
// makes the document complete unless it is a snippet.
void tzr_metadata_apply(tzr_engine *e, tzr_export_context *context);

// Writers called by the dispatch. Every writer appends to `out`, reads the
// source text and the context, and returns nothing.
using tzr_chain_writer = void (*)(DString *out, const char *source, token *first,
                                  tzr_export_context *context);
using tzr_part_writer = void (*)(DString *out, const char *source, tzr_export_context *context);

// The calls one output format makes, in the order they run: the document
// start (when the document is complete, or always), the body from the root,
// the notes and bibliography sections, the document end.
struct tzr_format_writers {
    bool always_complete;      // head and foot whatever the complete bit says
    bool pack_assets;          // images are written as "assets/" names
    bool record_assets;        // images are recorded under their own URL
    tzr_part_writer start;     // NULL: none
    tzr_chain_writer body;
    tzr_part_writer sections[4];  // run in order; NULL entries are skipped
    tzr_part_writer end;       // NULL: none
};

// The writers of a format code after steering, or NULL when the format has
// none (the source format 9, unknown codes, and formats whose writers are
// not part of this build).
const tzr_format_writers *tzr_format_writers_for(int16_t format);

// Packs an exported text into the file of a format (an archive or a flat
// document): arguments the exported body, the engine it came from (with the
// export's asset table) and the folder of local images (may be NULL).
// Returns new data that the caller owns.
using tzr_packager = DString *(*)(const char *body, tzr_engine *e, const char *asset_folder);

// The packager of a format whose file is more than its exported text, or
// NULL when that format's packager is not part of this build (and for
// formats whose file is the text itself).
tzr_packager tzr_format_packager_for(uint16_t format);

// Whether a format's file is made by a packager (EPUB, flat and zipped
// OpenDocument, TextBundle).
bool tzr_format_is_packaged(uint16_t format);

// The TextBundle packager (version 2 bundles, formats 7 and 8): the Markdown
// source with its picture and style-sheet references pointed at the
// bundle's own copies, the HTML export, "info.json" and the assets, zipped
// in memory.
//
// Archive entries, in order: "info.json", "assets/", "text.markdown",
// "text.html", then "assets/" + the UUID name of each asset.
#pragma once

#include <cstddef>

#include "library/d_string.h"
#include "library/token.h"
#include "library/packaging/zip_archive.h"

struct tzr_engine;

// The bundle for an exported document (`html`, the complete HTML), the
// engine it was exported from (its source and asset table) and the folder
// that local assets are read from (may be NULL). The caller owns the result.
// A bundle that cannot be completed is reported on standard error and gives
// NULL. An asset that cannot be had, and a file or download that is neither
// a picture a bundle holds (PNG, JPEG, GIF, WebP, BMP, SVG that stands
// alone) nor, for the style sheet, style-sheet text, is reported and left
// out, and the source and the HTML keep the address it was written with.
DString *tzr_textbundle_create(const char *html, tzr_engine *e, const char *asset_folder);

// Builds the bundle and writes it to `path`; a path that cannot be opened or
// written is logged with the path and the system's reason, as perror words
// them. No file is made when the bundle fails.
void tzr_textbundle_write_file(const char *path, const char *html, tzr_engine *e,
                               const char *asset_folder);

// The bundle description, as a new string.
char *textbundle_info_json(void);

// Rewrites `text`, a copy of the engine's source, in place: every reference
// to an asset of the engine's table (an inline picture's address, a
// reference definition's address, the "css" metadata value) becomes
// "assets/" and the asset's name. Nothing else changes.
void textbundle_markdown_text(DString *text, tzr_engine *e);

// The token walk of the rewrite, from `first` along its chain and into
// children. `offset` is the change of length made so far, which maps parse
// positions onto the rewritten text.
void textbundle_rewrite_asset_links(token *first, DString *text, tzr_engine *e, long *offset);

// Entry additions go through this function; tests hand in one that fails.
using textbundle_entry_adder = bool (*)(tzr_zip_archive *archive, const char *name,
                                        const void *bytes, size_t length, int level);
DString *tzr_textbundle_create_with(const char *html, tzr_engine *e, const char *asset_folder,
                                    textbundle_entry_adder add);

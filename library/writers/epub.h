// The EPUB 3 packager: a book built in memory from the complete XHTML that
// the HTML writer exports in format 1, with its package document,
// navigation document and pictures.
//
// Archive entries, in order: "mimetype" (stored), "OEBPS/", "META-INF/",
// "META-INF/container.xml", "OEBPS/main.opf", "OEBPS/nav.xhtml",
// "OEBPS/main.xhtml", then "OEBPS/assets/" + the UUID name of each picture.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/d_string.h"
#include "library/packaging/zip_archive.h"

struct tzr_engine;
struct tzr_export_context;

// The book for an exported document (`body`, the complete XHTML), the
// engine it was exported from (its asset table names the pictures) and the
// folder that local pictures are read from (may be NULL). The caller owns
// the result. A book that cannot be completed is reported on standard error
// and gives NULL rather than a broken archive; a picture that cannot be had,
// and a file or download that is no picture a book holds (PNG, JPEG, GIF,
// SVG that stands alone), is reported and left out.
DString *epub_build_archive(const char *body, tzr_engine *e, const char *asset_folder);

// Builds the book and writes it to `path`; a path that cannot be opened or
// written is logged with the path and the system's reason, as perror words
// them. No file is made when the book fails.
void epub_write_file(const char *path, const char *body, tzr_engine *e, const char *asset_folder);

// "application/epub+zip", as a new string.
char *epub_mimetype(void);
// META-INF/container.xml, pointing at OEBPS/main.opf.
char *epub_container_xml(void);

// One stored picture as the manifest lists it.
struct epub_manifest_asset {
    const char *name;        // UUID name, stored under "assets/"
    const char *media_type;  // e.g. "image/png"
};

// The package document: metadata from the context's store (title, author,
// language, uuid, date), the manifest with the navigation, the main text and
// every stored picture, and the spine.
char *epub_package_opf(tzr_export_context *context, const epub_manifest_asset *assets,
                       size_t asset_count);

// The navigation document. `body` is the exported XHTML: a heading is linked
// by its id only when the body carries that id.
char *epub_nav_xhtml(tzr_engine *e, tzr_export_context *context, const char *body);
// The contents list of every heading, or one entry for the whole text when
// the document has none.
void epub_write_toc(DString *out, tzr_engine *e, tzr_export_context *context, const char *body);
// One level of the contents list from heading `*position` on, stopping
// before the first heading shallower than `min_level`; nested levels recurse.
void epub_toc_list(DString *out, const char *source, tzr_export_context *context, const char *body,
                   size_t *position, int16_t min_level);

// The dcterms:modified value: "date" metadata when it is a UTC date-time
// (YYYY-MM-DDThh:mm:ssZ) or a plain date (YYYY-MM-DD, taken at midnight
// UTC); otherwise the time `now` in UTC. A new string.
char *epub_modified_date(const char *date_value, int64_t now);

// Entry additions go through this function; tests hand in one that fails.
using epub_entry_adder = bool (*)(tzr_zip_archive *archive, const char *name, const void *bytes,
                                  size_t length, int level);
DString *epub_build_archive_with(const char *body, tzr_engine *e, const char *asset_folder,
                                 epub_entry_adder add);

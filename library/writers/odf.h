// The OpenDocument text writer: turns a parsed document into the body of an
// OpenDocument text (the content of office:text), and the packagers that
// wrap it into a flat document (format 5) or a zipped one (format 6).
//
// The writer appends XML text directly; every element it opens it closes in
// the same call. Style names it refers to are defined by the packagers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "library/d_string.h"
#include "library/export_context.h"
#include "library/records.h"
#include "library/token.h"
#include "library/writers/writer_utils.h"

struct tzr_engine;

// Writes the token and its following siblings. Nothing at writer depth 1000;
// siblings are passed over while the context's skip counter is set.
void tzr_odf_export_token_chain(DString *out, const char *source, token *first,
                                tzr_export_context *context);
// Writes one token and, as its type requires, its children.
void tzr_odf_export_token(DString *out, const char *source, token *t, tzr_export_context *context);

// Escaping for element content: '"', '&', '<', '>' as entities, a tab as
// "<text:tab/>". Bytes that XML cannot hold (control characters, malformed
// UTF-8) become U+FFFD, so the output stays well-formed.
void odf_print_char(DString *out, char c);
void odf_print_string(DString *out, const char *s);
void odf_print_bytes(DString *out, const char *s, size_t len);
// Escaping for attribute values: the same entities, and tab, line feed and
// carriage return as character references so that they survive.
void odf_print_attribute(DString *out, const char *s);

// Makes the spaces of preformatted text written from `from` on survive XML's
// white-space collapsing: a run of two or more spaces becomes
// <text:s text:c="N"/>, and a lone space at the start (of the text or of a
// line) <text:s/>. Markup in the text is left as it is.
void odf_keep_spaces(DString *out, size_t from);

// Preformatted text of a token (code blocks, code spans, math).
void odf_print_token_raw(DString *out, const char *source, token *t, tzr_export_context *context);
void odf_print_token_chain_raw(DString *out, const char *source, token *t,
                               tzr_export_context *context);
// Math text of a token and its following siblings, and of one token.
void odf_print_math_chain(DString *out, const char *source, token *t, tzr_export_context *context);
void odf_print_math_token(DString *out, const char *source, token *t, tzr_export_context *context);
// The character reference of a typography token type (151, 155-157,
// 160-163) in the context's quotes language; nothing for other types.
void odf_print_localized_char(DString *out, unsigned short type, tzr_export_context *context);

// Links, images, table of contents (written for the token writer).
void odf_export_link(DString *out, const char *source, token *t, tzr_link *link,
                     tzr_export_context *context);
void odf_export_image(DString *out, const char *source, token *t, tzr_link *link,
                      tzr_export_context *context, bool is_figure);
// An image's width or height for svg: a lower-cased copy with a final "px"
// made "pt". The caller frees it; NULL for NULL.
char *odf_dimension_in_points(const char *value);
void odf_export_toc_entries(DString *out, const char *source, tzr_export_context *context,
                            size_t *index, int level);
void odf_export_toc(DString *out, const char *source, tzr_export_context *context);

// --- Packaging --------------------------------------------------------------

// The flat document (format 5) around an exported body. The folder is not
// used: a flat document keeps its images' URLs.
DString *tzr_fodt_create(const char *body, tzr_engine *e, const char *base_folder);
// The zipped document (format 6): parts, manifest, content and the pictures
// that could be fetched (downloaded or read from `base_folder`) and are
// pictures a text document holds (PNG, JPEG, GIF, WebP, BMP, TIFF, SVG that
// stands alone); anything else is reported and left out.
DString *tzr_odt_create(const char *body, tzr_engine *e, const char *base_folder);
// The same with the download limits given (tzr_odt_create uses the defaults).
struct tzr_fetch_limits;
DString *tzr_odt_create_with_limits(const char *body, tzr_engine *e, const char *base_folder,
                                    const tzr_fetch_limits &limits);

// Parts, each a new string the caller frees.
char *odf_metadata(tzr_export_context *context);
char *odf_meta_document(tzr_export_context *context);
char *odf_style_blocks(void);
char *odf_styles_document(void);
char *odf_settings_document(void);
// One stored picture as the manifest lists it.
struct odf_manifest_picture {
    std::string name;        // the local name, stored under "Pictures/"
    std::string media_type;  // what its bytes are, e.g. "image/jpeg"
};
// The manifest; for format 6 it lists `pictures` under "Pictures/".
char *odf_manifest_document(int format, const std::vector<odf_manifest_picture> &pictures);
void odf_print_namespaces(DString *out);
char *odf_content_document(const char *body, int format);

// Writer internals shared by the writer's source files.
namespace odf_detail {
using namespace writer_utils;

void children(DString *out, const char *source, token *t, tzr_export_context *c);
// Block types (0-84); false when the type is none of them.
bool export_block(DString *out, const char *source, token *t, tzr_export_context *c);
// Table rows and cells; false for other types.
bool export_table_part(DString *out, const char *source, token *t, tzr_export_context *c);
// Links, images, autolinks, notes and citations; false for other types.
bool export_link_or_note(DString *out, const char *source, token *t, tzr_export_context *c);
// The notes being written, so that a note inside its own content is not
// written again.
bool note_is_open(const void *note);
void note_open(const void *note);
void note_close();
}  // namespace odf_detail

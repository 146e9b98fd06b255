// The document library's public operations: metadata questions and updates,
// conversion to every output format as text, file or data, a parse without
// result, and the library version; and the codes they take: extension flags,
// output formats and languages. These codes are defined here and nowhere
// else; the library's own files use these names too.
//
// Each operation comes in up to three forms:
//   tzr_string_...   over a NUL-terminated string (a temporary engine over a
//                    copy; the caller's text is never changed);
//   tzr_d_string_... over the caller's DString (changed in place only by the
//                    update operation);
//   tzr_engine_...   on the caller's engine.
// Strings and DStrings returned are new and owned by the caller. Metadata
// operations read the document with extensions 0; conversions take the
// extension flags and a language code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/d_string.h"
#include "library/engine.h"
#include "library/export.h"
#include "library/export_context.h"

// Extension flags.
enum : uint64_t {
    TZR_EXT_COMPATIBILITY = 0x1,
    TZR_EXT_COMPLETE = 0x2,
    TZR_EXT_SNIPPET = 0x4,
    TZR_EXT_SMART = 0x8,
    TZR_EXT_NOTES = 0x10,  // footnotes, citations, glossary, abbreviations
    TZR_EXT_NO_LABELS = 0x20,
    TZR_EXT_NO_METADATA = 0x80,
    TZR_EXT_CRITIC = 0x200,
    TZR_EXT_CRITIC_ACCEPT = 0x400,
    TZR_EXT_CRITIC_REJECT = 0x800,
    TZR_EXT_RANDOM_FOOT = 0x1000,  // footnotes numbered at random
    TZR_EXT_TRANSCLUDE = 0x2000,
};

// Output formats.
enum : int16_t {
    TZR_FORMAT_HTML = 0,
    TZR_FORMAT_EPUB = 1,  // EPUB 3
    TZR_FORMAT_LATEX = 2,
    TZR_FORMAT_BEAMER = 3,
    TZR_FORMAT_MEMOIR = 4,
    TZR_FORMAT_FODT = 5,  // flat OpenDocument text
    TZR_FORMAT_ODT = 6,   // zipped OpenDocument text
    TZR_FORMAT_TEXTBUNDLE = 7,
    TZR_FORMAT_TEXTBUNDLE_COMPRESSED = 8,
    TZR_FORMAT_ORIGINAL = 9,  // the source itself
};

// Document languages: they choose the localised titles of note links and
// imply a quotes language.
enum : uint16_t {
    TZR_LANGUAGE_ENGLISH = 0,
    TZR_LANGUAGE_SPANISH = 1,
    TZR_LANGUAGE_GERMAN = 2,
    TZR_LANGUAGE_FRENCH = 3,
    TZR_LANGUAGE_DUTCH = 4,
    TZR_LANGUAGE_SWEDISH = 5,
};

// Quotes languages: the quotation marks of smart typography.
enum : uint16_t {
    TZR_QUOTES_ENGLISH = 0,
    TZR_QUOTES_DUTCH = 1,
    TZR_QUOTES_FRENCH = 2,
    TZR_QUOTES_GERMAN = 3,
    TZR_QUOTES_GERMAN_GUILLEMETS = 4,
    TZR_QUOTES_SPANISH = 5,
    TZR_QUOTES_SWEDISH = 6,
};

// --- Quotes language named by a metadata value, as the writers read it:
// a "quoteslanguage" value ("german", "de", "germanguillemets" ...) with
// `from_language` false, or the one a "language" value implies ("de", "fr"
// ...) with it true. Values are compared in label form; anything else (and
// NULL) gives TZR_QUOTES_ENGLISH.
uint16_t tzr_quotes_language_named(const char *value, bool from_language);
// --- Quotation mark of a quotes language in UTF-8, as smart typography
// writes it: `which` 0 opening double, 1 closing double, 2 opening single,
// 3 closing single. An unknown language gives the English marks; another
// `which` gives NULL.
const char *tzr_quote_mark(uint16_t quotes_language, int which);

// --- Has metadata: whether the source begins with a metadata block; its end
// offset goes to `end` (when given; 0 when the first line is no metadata line).
bool tzr_string_has_metadata(const char *source, size_t *end);
bool tzr_d_string_has_metadata(DString *source, size_t *end);
// On an engine the entries read stay on its metadata list.
bool tzr_engine_has_metadata(tzr_engine *e, size_t *end);

// --- Metadata keys: every key in label form followed by "\n", in source
// order; NULL without metadata.
char *tzr_string_metadata_keys(const char *source);
char *tzr_d_string_metadata_keys(DString *source);
char *tzr_engine_metadata_keys(tzr_engine *e);

// --- Metavalue for key (the key is compared in label form); NULL when the
// key is absent. The engine form returns the engine's own string, valid until
// the engine is next reset, parsed or updated.
char *tzr_string_metavalue_for_key(const char *source, const char *key);
char *tzr_d_string_metavalue_for_key(DString *source, const char *key);
char *tzr_engine_metavalue_for_key(tzr_engine *e, const char *key);

// --- Update metavalue: sets `key` to `value` (NULL: empty) in the metadata
// block, adding the key (and the block) when absent. Every other byte of the
// text stays. The string form returns the new text; the other forms change
// the source in place (the engine's parse is then stale).
char *tzr_string_update_metavalue_for_key(const char *source, const char *key, const char *value);
void tzr_d_string_update_metavalue_for_key(DString *source, const char *key, const char *value);
void tzr_engine_update_metavalue_for_key(tzr_engine *e, const char *key, const char *value);

// --- Convert: the export in `format` followed by one newline; format 9
// gives the source unchanged. Formats packaged as archives (1, 5-8) give
// their exported text; use the data forms for the files themselves.
char *tzr_string_convert(const char *source, uint64_t extensions, uint16_t format,
                         uint16_t language);
char *tzr_d_string_convert(DString *source, uint64_t extensions, uint16_t format,
                           uint16_t language);
char *tzr_engine_convert(tzr_engine *e, uint16_t format);

// --- Convert to data: the bytes of the file that the format makes: the text
// with one newline for 0, 2, 3, 4 and unknown codes; the archive or flat
// document for 1 and 5-8; the source exactly for 9. NULL when the format's
// packager is not part of this build. `asset_folder` is where local images
// are looked for (may be NULL).
DString *tzr_string_convert_to_data(const char *source, uint64_t extensions, uint16_t format,
                                    uint16_t language, const char *asset_folder);
DString *tzr_d_string_convert_to_data(DString *source, uint64_t extensions, uint16_t format,
                                      uint16_t language, const char *asset_folder);
DString *tzr_engine_convert_to_data(tzr_engine *e, uint16_t format, const char *asset_folder);

// --- What a package left out. A package (EPUB, zipped OpenDocument,
// TextBundle) holds a file or download that the document names as a picture
// only when its bytes are a picture the format can hold, and the style
// sheet of "css" only when it is style-sheet text named as one (see
// library/packaging/pictures.h). Anything else is left out, as is whatever
// cannot be had and a file larger than a download may be (64 MiB), which is
// not read; its reference stays as written (EPUB and OpenDocument make it a
// link to that address), and one line is logged for it:
//   "Unable to store '%s' in EPUB\n"                     it could not be had
//   "Left out '%s': not a picture this format can hold\n"
//   "Left out '%s': not a style sheet\n"
//   "Left out '%s': larger than 64 MiB\n"
// A report gathers the same: each asset left out, in the order the document
// first names them, with its address as written and the reason.
enum : uint16_t {
    TZR_LEFT_OUT_UNAVAILABLE = 1,  // could not be downloaded or read
    TZR_LEFT_OUT_NOT_HELD = 2,     // no picture or style sheet the format holds
    TZR_LEFT_OUT_TOO_LARGE = 3,    // a file larger than a download may be
};
struct tzr_asset_report;
// A new, empty report; NULL when allocation fails.
tzr_asset_report *tzr_asset_report_create(void);
// Frees the report; NULL does nothing.
void tzr_asset_report_free(tzr_asset_report *report);
// The number of assets left out; 0 for NULL.
size_t tzr_asset_report_count(const tzr_asset_report *report);
// The address of the asset left out at `index`, as the document wrote it;
// the report's own string, valid until the report is filled again or freed.
// NULL past the end and for NULL.
const char *tzr_asset_report_address(const tzr_asset_report *report, size_t index);
// Why the asset at `index` was left out (TZR_LEFT_OUT_...); 0 past the end
// and for NULL.
uint16_t tzr_asset_report_reason(const tzr_asset_report *report, size_t index);
// Convert to data, whose report (when not NULL) is emptied and then tells
// what the package left out; formats that pack nothing leave it empty.
DString *tzr_engine_convert_to_data_reporting(tzr_engine *e, uint16_t format, const char *asset_folder,
                                              tzr_asset_report *report);

// --- Convert to file: writes exactly the bytes that convert to data gives
// to `path`. A path that cannot be opened is logged (the path, then the
// system's reason) and nothing is written; so is nothing when the format
// has no data.
void tzr_d_string_convert_to_file(DString *source, uint64_t extensions, uint16_t format,
                                  uint16_t language, const char *asset_folder, const char *path);
void tzr_engine_convert_to_file(tzr_engine *e, uint16_t format, const char *asset_folder,
                                const char *path);

// Parses the text and frees everything (the format is not used).
void tzr_string_parse_only(const char *source, uint64_t extensions, uint16_t format,
                           uint16_t language);

// A new copy of the library version, "6.3.0"; NULL when allocation fails.
char *tzr_version();

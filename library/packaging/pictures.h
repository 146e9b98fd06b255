// What a package may hold of the files and downloads a document names. A
// document can name any file (`![](/etc/passwd)`, `![](../notes.txt)`, a
// link leading out of its folder) or an address whose reply is a web page;
// a package holds a picture only when its bytes are one, of a kind the
// format can hold, and a style sheet only when it is style-sheet text.
// Pictures are told by their bytes, never by their names.
#pragma once

#include <cstddef>
#include <cstdint>

// The media type of `bytes` when they are a picture a package of `format`
// (TZR_FORMAT_EPUB, TZR_FORMAT_ODT, TZR_FORMAT_TEXTBUNDLE or
// TZR_FORMAT_TEXTBUNDLE_COMPRESSED) can hold; NULL for anything else, and
// for every other format.
//
//   EPUB:         PNG, JPEG, GIF and SVG, the picture types every reading
//                 system shows (the core media types of EPUB 3.2);
//   OpenDocument: those, WebP, BMP and TIFF, which LibreOffice and Word read;
//   TextBundle:   those of EPUB, WebP and BMP, which the web views that show
//                 a bundle's HTML read.
//
// SVG counts only as a picture that stands alone: an XML document whose root
// element is svg in the SVG namespace, running no script and loading
// nothing from outside itself (see tzr_svg_stands_alone).
const char *tzr_picture_media_type(const void *bytes, size_t length, uint16_t format);

// Whether `bytes` are an SVG picture that stands alone: a well-formed XML
// document (a UTF-8 byte-order mark, an XML declaration, comments,
// processing instructions and a doctype may come first) whose root element
// is svg in the SVG namespace, with
//   - no script: no script or handler element, no event attribute (on...),
//     no "javascript:" or "vbscript:" address;
//   - nothing from outside: every href, src or data of an element other than
//     a link (`a`) points inside the picture ("#...") or is a data: address,
//     every url(...) of a style or attribute likewise, no @import, no
//     xml-stylesheet instruction, no animation of an address, no document
//     type kept elsewhere (one with a public or system identifier), and no
//     entity that is external, a parameter entity, or holds markup or a
//     reference.
// A style holding a CSS escape (a backslash) could spell any of those, and
// does not count either. Entities are never expanded to judge a picture: one
// referred to in an attribute or a style makes it not count, and so do
// references in its text that would stand for more text than the picture
// itself holds. NULL or empty bytes are not SVG.
bool tzr_svg_stands_alone(const void *bytes, size_t length);

// How much of a file's start tzr_picture_may_begin needs: every header it
// knows fits in it.
constexpr size_t kTzrPictureHeaderLength = 64;

// Whether a file that begins with `prefix` (its first `length` bytes, at
// least kTzrPictureHeaderLength of them or all of it) may be a picture a
// package of `format` holds: its header is that of a picture of a kind the
// format holds, or it may begin an SVG. Where it may not,
// tzr_picture_media_type of the whole file is NULL, and the rest of the file
// need not be read.
bool tzr_picture_may_begin(const void *prefix, size_t length, uint16_t format);

// Whether a style sheet may go into a package: its bytes are UTF-8 text
// (no NUL, no other control byte than tab, line feed, form feed and
// carriage return), and it is named as one: a downloaded style sheet came
// with the media type text/css (`content_type`, NULL when the reply had
// none), a file's name ends in ".css" (`address` is the path as written).
bool tzr_style_sheet_allowed(const void *bytes, size_t length, const char *address,
                             const char *content_type, bool downloaded);

// The scroll map that keeps editor and preview at the same block: a list of
// pairs of vertical positions, each a fraction of its pane's whole height,
// where the same block begins and ends in the editor and in the page. It is
// built by walking the document's top-level blocks, as the library parses
// them, in step with the page's top-level elements, counted per kind
// (paragraphs, headings of each level, lists, tables); positions between two
// pairs are interpolated linearly.
//
// No widgets here: the page is its fetched geometry and the editor a
// function that places a range of the text.
#pragma once

#include "window/preview/preview_page.h"

#include <QRectF>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

struct token;

namespace scrollsync {

struct MapEntry {
    float edit = 0;  // fraction of the editor's document
    float web = 0;   // fraction of the page
    bool operator==(const MapEntry &) const = default;
};

// One thinning pass over a map sorted by web fraction (ties by edit
// fraction). Every decision is made on the map as it was when the pass began;
// the entries marked go together at the end:
// - of two neighbours with the same web fraction the second goes, unless its
//   edit fraction is exactly 1, in which case the first goes;
// - an entry whose edit fraction is above its successor's goes.
void cleanScrollMap(std::vector<MapEntry> &map);

struct ScrollMap {
    std::vector<MapEntry> entries;
    double minWeb = 0, maxWeb = 1, minEdit = 0, maxEdit = 1;

    // Editor fraction → page fraction, and back. A result that is not a
    // finite number is NaN: the caller moves nothing then.
    double webOffsetFromEditorOffset(double x) const;
    double editorOffsetFromWebOffset(double y) const;
};

// Where a byte range of the parsed text lies in the editor, as fractions of
// the editor's document (the rectangle's top and height).
using EditorRect = std::function<QRectF(size_t start, size_t length)>;

// Builds the map from the top-level blocks under `root` (the blocks of a
// parse of `sourceLength` bytes) and the page's geometry; `baseHeaderLevel`
// shifts heading levels as the HTML writer did (0 leaves them). None when the
// page has no height yet. Blocks and elements that do not pair up are logged.
std::optional<ScrollMap> buildScrollMap(const token *root, size_t sourceLength, int baseHeaderLevel,
                                        const preview::PageGeometry &page, const EditorRect &editorRect);

// The base heading level a document's metadata asks of HTML: "htmlheaderlevel"
// wins over "baseheaderlevel"; 0 when neither is set.
int baseHeaderLevel(const char *baseValue, const char *htmlValue);

// Byte offsets of UTF-8 text to UTF-16 offsets, for offsets that mostly
// grow (each step costs the distance from the last one).
class Utf16Offsets {
public:
    Utf16Offsets(const char *text, size_t length) : m_text(text), m_length(length) {}
    size_t unitsAt(size_t byteOffset);

private:
    const char *m_text;
    size_t m_length;
    size_t m_byte = 0;
    size_t m_units = 0;
};

}  // namespace scrollsync

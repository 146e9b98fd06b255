// What a render hands the preview: the HTML, and where each block at the top
// of its body begins. The writer knows its blocks exactly (each child of the
// parse's root records where its HTML went), where the HTML text alone does
// not: raw HTML in the document may leave an element open, or close one the
// writer opened, so that no reading of the text can tell which tags the
// writer wrote. The preview cuts a long page into parts at these places only,
// so that each part holds whole blocks, and an element a block leaves open
// reaches no further than its part.
#pragma once

#include <QMetaType>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

struct DString;
struct tzr_engine;

struct PreviewHtml {
    QString html;
    // Where each top-level block begins in `html` (UTF-16 units,
    // increasing): each block of the document, and the note sections after
    // them as one more. Null when not known (the preview then cuts the body
    // by the nesting of its tags).
    std::shared_ptr<const std::vector<qsizetype>> blockStarts;
};
Q_DECLARE_METATYPE(PreviewHtml)

// Where each top-level block begins in `html`, the HTML of the engine's last
// export (byte offsets, increasing): each child of the root the writer
// reached (but a list of definitions right after another, which goes on in
// the element the one before it opened), and the end of the root's HTML
// when the note sections follow it there. None without a parse tree, or an
// export that recorded nothing.
std::vector<size_t> topBlockOffsets(tzr_engine *e, const DString *html);

// `length` bytes of UTF-8 decoded as QString::fromUtf8 decodes them, in one
// pass, with `offsets` (byte offsets, increasing, each at the start of a
// character) turned into the offsets of the same places in the result.
QString decodeWithOffsets(const char *bytes, size_t length, std::vector<size_t> &offsets);

// What the engine's last HTML export `html` gives the preview: the scroll
// anchor put at `anchor` (see insertScrollAnchor), the text decoded, and its
// blocks found. The engine must hold the tree of that export.
PreviewHtml previewHtml(tzr_engine *e, DString *html, std::optional<size_t> anchor);

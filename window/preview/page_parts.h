// A large page shown in parts. A body longer than kPartedBodyChars is cut
// into parts: runs of whole top-level blocks of about kPartChars each. The
// page holds each part as an element of its own, either filled with the
// part's blocks or empty with the height its text would take, estimated; the
// parts near what the preview shows are filled, the others are filled as the
// user scrolls to them, and filled parts far from the view are emptied again.
// The page's process then holds a few parts' worth of nodes whatever the
// document's size, and a change replaces only the parts it touched.
//
// Each part takes its blocks by itself (its own innerHTML), so a block whose
// HTML a browser nests differently from the cut (raw HTML in the document)
// stays inside its part and never stops a change from going in.
#pragma once

#include "window/preview/preview_page.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>
#include <vector>

namespace preview {

// Bodies longer than this (UTF-16 units) are shown in parts.
inline constexpr qsizetype kPartedBodyChars = 2 << 20;
// A part's length, about: a part ends with the block that reaches it, or
// before a block of kSplicedPartChars or more, which is a part of its own.
inline constexpr qsizetype kPartChars = 32 * 1024;
// Filled parts the page keeps at most; beyond, those farthest from the view
// are emptied.
inline constexpr qsizetype kMaxFilledParts = 48;
// The class of a part's element, and of an empty one besides.
inline constexpr QStringView PartClass = u"orvane-part";
inline constexpr QStringView EmptyPartClass = u"orvane-rest";

// Where the blocks of the body at `body` of `html` begin (offsets in `html`,
// the body's start first): where the writer began each of its top-level
// blocks (`written`, offsets in `html` that may lie outside the body), when
// known, else where the nesting of the tags says. A part ends only at one of
// them, so that each part's HTML means in its place what it means in the
// whole page: the blocks the writer nests (a table's rows, a quote's
// paragraphs, a list's items, the notes) stay whole; an element the
// document's raw HTML leaves open reaches no further than its part, since
// the writer's blocks do not depend on it, where by the nesting alone it
// would hold the rest of the body.
std::vector<qsizetype> partedBlockStarts(QStringView html, TextRange body, const std::vector<qsizetype> *written);

class BodyParts {
public:
    BodyParts() = default;
    // `blocks` cut into parts of about kPartChars.
    explicit BodyParts(std::shared_ptr<const BodyBlocks> blocks);
    // `blocks` cut where `firstBlocks` says (each part's first block, the
    // first 0; increasing).
    BodyParts(std::shared_ptr<const BodyBlocks> blocks, std::vector<qsizetype> firstBlocks);

    const BodyBlocks &blocks() const { return *m_blocks; }
    const std::shared_ptr<const BodyBlocks> &sharedBlocks() const { return m_blocks; }
    qsizetype count() const { return qsizetype(m_first.size()); }
    qsizetype firstBlock(qsizetype part) const { return m_first[size_t(part)]; }
    qsizetype blockCount(qsizetype part) const;
    // The part's HTML: its blocks' text.
    QStringView text(qsizetype part) const;
    // The part that holds `block` (the last part for a block past the end).
    qsizetype partOfBlock(qsizetype block) const;
    // The part that holds the body's text at `offset`.
    qsizetype partAt(qsizetype offset) const;
    const std::vector<qsizetype> &firstBlocks() const { return m_first; }

private:
    std::shared_ptr<const BodyBlocks> m_blocks;
    std::vector<qsizetype> m_first;
};

// The parts of a body after a change, and where they differ from those
// before: `removed` old parts from `before` give way to `inserted` new ones
// from `after`; every other part is the same text at its new place.
struct PartHunk {
    qsizetype before = 0;
    qsizetype removed = 0;
    qsizetype after = 0;
    qsizetype inserted = 0;
    bool operator==(const PartHunk &) const = default;
};
struct PartChange {
    BodyParts parts;
    std::vector<PartHunk> hunks;
};
// Cuts `after` so that the parts the change did not touch keep their
// blocks: only the blocks of the parts it touched are cut again.
PartChange changeParts(const BodyParts &before, std::shared_ptr<const BodyBlocks> after);

// The element name a top-level block begins with, as the page names it
// ("P", "H2", "#comment"); "#text" for a block of text alone.
QString blockElementName(QStringView block);

// --- Page scripts ------------------------------------------------------------------
// A parted page's body holds only the parts' elements, in order. Scripts that
// change it first check how many parts the page has, and answer false,
// changing nothing, when that is not what the program knows of.

// The body of a parted page, every part empty (filled by script once the
// page is loaded, and the others given a height by sizeEmptyPartsScript).
QString partedBody(const BodyParts &parts);

// A part of a long text that an edit changed in a few places (one long
// line is one block, and so one part, whatever its length): the page keeps
// the part's HTML and takes only what lies between the `head` and `tail`
// units that the old text (`oldLength` units) and the new one share.
//
// A long part is mostly one long block (a line, a table of thousands of
// rows, a long quote or list), which the page would build again whole at
// each key: where the edit lies inside one element's children (a row of the
// table's body, a paragraph of the quote, an item), those children alone
// are replaced, found in the page by their places down from the part, each
// element on the way checked by its name, and the children themselves by
// what their old HTML reads as; a page that does not hold what the text says
// there takes the part's new HTML otherwise.
struct InnerRun {
    std::vector<qsizetype> path;  // the element, from the part down: indices among element children
    QStringList names;            // the names of the elements on the path (upper case)
    qsizetype first = 0;          // the element children replaced
    qsizetype removed = 0;
    bool toEnd = false;           // the last of them is the element's last child
    QString firstName, lastName;  // the names of the first and last of them
    qsizetype inserted = 0;       // the element children of the new run
    qsizetype start = 0;          // the new run, in the new part's text
    qsizetype length = 0;
    qsizetype oldLength = 0;      // the old run, from `start` in the old part's text
};
struct PartSplice {
    qsizetype head = 0;
    qsizetype tail = 0;
    qsizetype oldLength = 0;
    std::optional<InnerRun> inner;
};
// Parts at least this long are spliced rather than sent whole.
inline constexpr qsizetype kSplicedPartChars = 64 * 1024;
// How `after` differs from `before`, when both are long enough to be worth
// a splice and most of their text is shared.
std::optional<PartSplice> partSplice(QStringView before, QStringView after);
// The children that a splice's change lies among, inside the innermost
// element that holds all of it and whose children are blocks (a table and
// its sections and rows, a quote, a list, a list of definitions, a div),
// or among the part's own; none when that run is half the part or more, or
// its old or new text is not whole elements (an element left open by the
// old one reaches into the children after it on the page). Reads `before`
// up to the end of the run.
std::optional<InnerRun> innerRun(QStringView before, QStringView after, const PartSplice &cut);

// `hunks` (from `before` to `after`) cut so that a long part keeps its
// place and can be spliced there: the longest old part and the longest new
// one of a hunk, when both are long enough to be spliced, make a hunk of
// their own between the parts before and after them (the caret's anchor
// joined or left a long line, or text was pasted beside it, and the parts
// around it were cut again); what is left of a hunk that puts in as many
// parts as it takes out is taken part by part, leaving out the parts whose
// text is the same.
std::vector<PartHunk> partByPart(const BodyParts &before, const BodyParts &after, const std::vector<PartHunk> &hunks);

// What to make of one new part: filled with its text, or empty.
struct NewPart {
    qsizetype index = 0;  // in the new parts
    bool filled = false;
    // Set when the part takes the place of the one filled part of its hunk,
    // whose text it mostly shares.
    std::optional<PartSplice> splice;
};
// Replaces the hunks' parts (the page has `oldCount` parts) and fills the
// parts in `fills` (indices in the new parts, which must be empty now), then
// runs `then`. Answers true when it changed the page.
QString changePartsScript(qsizetype oldCount, const BodyParts &parts, const std::vector<PartHunk> &hunks,
                          const std::vector<std::vector<NewPart>> &hunkParts, const std::vector<qsizetype> &fills,
                          const std::vector<qsizetype> &empties, const QString &then = QString());
// Gives the empty parts the height their text would take, at the height per
// character of the filled parts (or an estimate when none is filled).
QString sizeEmptyPartsScript();
// Answers, as JSON text, which parts stand in or near the view:
// {"count": parts, "first": first part in view, "last": last part in view,
//  "empty": [the empty parts within a screen's height of the view]}.
QString partsInViewScript();

}  // namespace preview

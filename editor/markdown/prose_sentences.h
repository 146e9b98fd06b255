// The sentences of a Markdown text's prose: what grammar reads.
//
// Sentences live in the blocks of running text (paragraphs, headings, list
// items, definitions, the paragraphs of quotes and notes), never in code,
// metadata, tables, raw HTML, link definitions or tables of contents. A
// sentence never runs from one such block into the next; inside one it may
// run over several lines.
//
// A sentence's text is what it says, as prose_ranges.h divides prose from
// the rest: the marks of emphasis, links and block structure are left out,
// line ends read as spaces, a parenthetical aside is read apart (the
// sentence reads on without it), and silent parts (a link's target, a
// note's label) are left out. A sentence that holds any other part of no
// prose (code, math, a tag, an address, a CriticMarkup mark, an image) is
// not judged: what it says cannot be read.
//
// A sentence ends with a full stop, a question mark or an exclamation mark
// (and the quotation marks or brackets that close around it) before a space
// or the block's end; a full stop after a single letter or a common
// abbreviation ("Dr.", "e.g.") or before a word in lower case ends none.
// Only sentences that end so, begin with a capital letter or a digit and
// hold two words or more are judged: a heading or a list item without a
// full stop is no sentence, and the sentence being typed is not one yet.
//
// Positions are units of the whole text (document positions). Pure
// functions; any thread.
#pragma once

#include <QString>
#include <QStringView>

#include <vector>

#include "editor/markdown/prose_ranges.h"

struct token;

namespace prose {

struct Sentence {
    // Where it begins (its first character) and ends (past its last).
    qsizetype start = 0;
    qsizetype end = 0;
    // What it says, as grammar reads it, and where each of its characters
    // stands in the whole text (a space that stands for a line end or
    // several spaces takes the first one's place).
    QString text;
    std::vector<qsizetype> positions;
    bool judged = false;
};

// The sentences of the blocks of running text under `root` (a parse of the
// whole text's [from, from + text.size()), which `text` holds), in order,
// given that parse's excluded ranges (excludedRanges).
std::vector<Sentence> sentences(const token *root, QStringView text, qsizetype from,
                                const std::vector<Excluded> &excluded);

}  // namespace prose

// What of a Markdown text is prose, the words in it and the addresses
// written in it: what spelling checks and what shows as a link.
//
// From a parse of the document library (a highlighting parse of whole
// blocks), these are no prose: code spans and blocks, math, the targets of
// links and images and reference definitions, autolinks and raw HTML tags,
// metadata keys, footnote, citation, glossary and abbreviation labels,
// reference labels, CriticMarkup and HTML comment delimiters, transclusion
// markers, tables of contents, character entities, rules and heading
// underlines. Addresses may still be found in some of them (link targets,
// autolinks, HTML tags), never in code.
//
// A word is a run of letters (with their accents) in which an apostrophe may
// stand between letters; runs joined to digits, underscores or full stops
// ("mp3", "snake_case", "README.md", "e.g.") are names, not words, and a
// single letter is no word. An address is a run without spaces that begins
// with "http://", "https://", "mailto:" or "www.", or an e-mail address,
// less the punctuation that ends a sentence or closes a bracket around it.
//
// Offsets are units of the text (document positions). Pure functions; any
// thread. The sentences of prose are in prose_sentences.h.
#pragma once

#include <QString>
#include <QStringView>

#include <vector>

struct token;

namespace prose {

// A part of the text that is not prose: Skip holds nothing to check or
// link, Address holds no words but may hold addresses. A silent part says
// nothing in the sentence around it, which reads on as if it were not there
// (a link's target, a note's label); any other stands for words of its own
// (code, math, a tag, a CriticMarkup mark) and leaves the sentence unread.
struct Excluded {
    enum Kind { Skip, Address };
    qsizetype start = 0;
    qsizetype end = 0;
    Kind kind = Skip;
    bool silent = false;
};

// The parts of [from, to) that a parse of it leaves out of prose, in order,
// from its root (the chain of top-level tokens below it).
std::vector<Excluded> excludedRanges(const token *root, qsizetype from, qsizetype to);

struct Word {
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const Word &) const = default;
};

struct Address {
    qsizetype start = 0;
    qsizetype length = 0;
    QString url;  // what opening it opens: "www." gains "http://", an e-mail "mailto:"
    bool operator==(const Address &) const = default;
};

// The words and addresses of `text`, which stands at `offset` of the whole
// text, given the excluded ranges of the whole text (as excludedRanges
// gives them, in order). Positions are of the whole text.
struct Found {
    std::vector<Word> words;
    std::vector<Address> addresses;
};
Found scan(QStringView text, qsizetype offset, const std::vector<Excluded> &excluded);

// The word of `text` at or around `position` (of `text`), as scan would
// split it out of prose; an empty word when there is none.
Word wordAt(QStringView text, qsizetype position);

}  // namespace prose

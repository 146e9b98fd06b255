// The run of whole top-level blocks around a block of the storage's text
// and what a parse of it leaves out of prose, and when asked its sentences:
// what the checkers over the text (spelling and grammar marks, links) look
// at, a run at a time, in idle slices or at once.
//
// A run begins where the storage's last restyle found that a parse may
// begin (a top-level block, or a place inside one such as an item of a list
// or a line of a fence's code), or at the start of a metadata block's
// paragraph, whose lines may follow anywhere before its first blank line,
// and takes at least a few dozen lines up to such a place, so that the
// next run begins right after it; a long block with no such place inside
// (a paragraph of megabytes) is parsed whole, once. Main thread only.
#pragma once

#include <QTextBlock>

#include <vector>

#include "editor/markdown/prose_ranges.h"
#include "editor/markdown/prose_sentences.h"

class SmartTextStorage;
struct token;

struct ProseChunk {
    QTextBlock first;
    QTextBlock last;
    // The text the run covers: [from, to).
    qsizetype from = 0;
    qsizetype to = 0;
    std::vector<prose::Excluded> excluded;
    std::vector<prose::Sentence> sentences;
};

ProseChunk proseChunkAround(SmartTextStorage &storage, const QTextBlock &block, bool withSentences = false);

// The sentences of `root`, a parse of the storage's text [from, to) (whole
// blocks), given its excluded ranges.
std::vector<prose::Sentence> proseSentences(SmartTextStorage &storage, const token *root, qsizetype from,
                                            qsizetype to, const std::vector<prose::Excluded> &excluded);

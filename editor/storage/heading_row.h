// A heading of the table of contents as the storage's section moves take it:
// where its line begins and how far its section runs (with every section
// nested in it), in UTF-16 units of the editor text, its depth in the outline
// and its sub-headings.
#pragma once

#include <QtGlobal>

#include <vector>

struct HeadingRow {
    qsizetype start = 0;   // where the heading line begins
    qsizetype length = 0;  // the section, up to the next heading of its level or above
    int level = 1;         // depth in the outline, 1 for the top
    std::vector<HeadingRow> children;
    // The storage's editGeneration() when the text these offsets describe
    // was read: a row of an older generation no longer fits the text.
    quint64 generation = 0;

    qsizetype stop() const { return start + length; }
};

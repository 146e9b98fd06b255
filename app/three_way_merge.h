// Merging two edits of one text: the base (the text last on disk), the
// editor's text and the text now on disk. The changes from the base to the
// disk text are applied to the editor's text; when they do not all apply,
// the editor's changes are applied to the disk text instead. Matching is
// strict (a threshold of 0.1), so a patch goes in only where its context
// really is.
#pragma once

#include <QString>

#include <optional>

struct MergeResult {
    bool ok = false;  // every patch of the last attempt found its place
    QString text;     // that attempt's text (also when it failed)
};

MergeResult mergeOriginal(const QString &base, const QString &newText, const QString &alternative);

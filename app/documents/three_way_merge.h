// Merging two edits of one text: the base (the text last on disk), the
// editor's text and the text now on disk. The changes from the base to the
// disk text are applied to the editor's text; when they do not all apply,
// the editor's changes are applied to the disk text instead. Matching is
// strict (a threshold of 0.1), so a patch goes in only where its context
// really is.
//
// A merge can apply every patch and still lose what the user typed: the
// other version deleted the paragraph being typed in, or was read while its
// program had emptied the file to write it anew. The result says whether
// every run of text the editor added to the base is still in the merged
// text; a merge that lost one is the user's to decide, never a success.
#pragma once

#include <QString>

#include <optional>

struct MergeResult {
    bool ok = false;          // every patch of the last attempt found its place
    bool keepsTyped = true;   // every run the editor added to the base is in `text`
    QString text;             // that attempt's text (also when it failed)
};

MergeResult mergeOriginal(const QString &base, const QString &newText, const QString &alternative);

// Whether `merged` keeps every run of text that `edited` added to `base`:
// no character of those runs is among what the way from `edited` to
// `merged` deletes.
bool keepsAddedText(const QString &base, const QString &edited, const QString &merged);

// Merging two edits of one text: the base (the text last on disk), the
// editor's text and the text now on disk. Each version's changes are found
// by diffing it against the base and are carried into the merge at the
// places of the base where they were made, never searched for by their
// context: a change is not taken onto another line that looks like its
// own. Changes of both versions at the same place (their ranges of the base
// overlapping or touching) make the merge fail unless they are the same
// change.
//
// So a merge that succeeds has carried every change of both versions, the
// editor's typing among them, and one that could not carry them all fails:
// whether the typed text is kept is known from the merge itself, never
// guessed afterwards by comparing the texts.
#pragma once

#include <QString>

struct MergeResult {
    bool ok = false;  // every change of both versions carried; none at a place the other changed differently
    QString text;     // the merged text; the editor's text when the merge failed
};

MergeResult mergeOriginal(const QString &base, const QString &newText, const QString &alternative);

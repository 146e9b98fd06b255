// Merging two edits of one text: the base (the text last on disk), the
// editor's text and the text now on disk. Each version's changes are found
// by diffing it against the base and are carried into the merge at the
// places of the base where they were made, never searched for by their
// context: a change is not taken onto another line that looks like its
// own. Changes of both versions at the same place (their ranges of the base
// overlapping or touching) make the merge fail unless they are the same
// change.
//
// The result also says whether every run of text the editor added to the
// base is still in the merged text: a merge that lost one is the user's to
// decide, never a success.
#pragma once

#include <QString>

#include <optional>

struct MergeResult {
    bool ok = false;          // no place was changed by both versions differently
    bool keepsTyped = true;   // every run the editor added to the base is in `text`
    QString text;             // the merged text; the editor's text when the merge failed
};

MergeResult mergeOriginal(const QString &base, const QString &newText, const QString &alternative);

// Whether `merged` keeps every run of text that `edited` added to `base`:
// no character of those runs is among what the way from `edited` to
// `merged` deletes.
bool keepsAddedText(const QString &base, const QString &edited, const QString &merged);

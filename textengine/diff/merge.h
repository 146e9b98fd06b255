// Three-way merge by position: two versions edited from one base text are
// each diffed against the base, and their changes are carried into one text
// at the places of the base where they were made. Nothing is searched for,
// so a change never moves to another place whose text looks alike (a list
// item, a table row, a line numbered like its neighbours).
//
// Each diff goes by lines first. Every reading of a version's lines that
// keeps the most of the base's lines in order is as good as any other, and
// the merge holds for every one of them: a change stands where one reading
// puts it, and where readings differ (which of two equal blank lines went,
// on which side of a blank line a line went in, which of four sentences
// said alike was deleted) every change there reaches over every place any
// of them puts a change. Lines rewritten one for one are diffed by their
// characters; lines replaced by more or fewer lines, deleted or inserted
// are one change of whole lines.
//
// Changes of the two versions meet where their reaches overlap or touch: a
// change of whole lines covers its lines and the boundaries before and
// after them, a line rewritten one for one covers its start and what its
// characters change, not the boundary after it, so that a line inserted
// after a rewritten line stays apart from it while one inserted after lines
// replaced by more or fewer lines meets them. Changes that meet are a
// conflict (the merge fails) unless both versions give the same text over
// them, and even then where the lines cannot tell where the change was
// made: the merge goes through only if every reading of that text, merged
// with every other, gives it back (both deleting one of four sentences said
// alike may be two deletions apart). Two versions that are the same whole
// text merge to it.
//
// Within a line, a change whose text could as well stand a little earlier
// or later (an insertion that begins with what follows it) meets everything
// within that reach, a change inside a word reaches over that word, and the
// changes one version made close together in one line count as one change,
// so that the other version's edit never ends up between them, where it
// would make words of neither. A byte order mark that all three texts begin
// with is no part of their first line.
//
// Long texts are cut at lines said once in each text into stretches read
// one by one, and only where no reading that keeps the most lines could
// pass such a line by; a stretch too long to read exactly is read by a
// quicker diff of its lines, and its changes then reach over all of it.
#pragma once

#include <cstddef>

// The merge of `mine` and `theirs`, both edited from `base`: byte pointers
// with their lengths, NUL bytes being text like any other. Returns a new
// NUL-terminated text owned by the caller, its byte length in `*length`
// when given, or NULL when the versions changed the same place differently
// (or the same way where the texts cannot tell the place) or a text is
// NULL.
char *dmp_merge(const char *base, size_t base_length, const char *mine, size_t mine_length, const char *theirs,
                size_t theirs_length, size_t *length);

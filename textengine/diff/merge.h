// Three-way merge by position: two versions edited from one base text are
// each diffed against the base, and their changes are carried into one text
// at the places of the base where they were made. Nothing is searched for,
// so a change never moves to another place whose text looks alike (a list
// item, a table row, a line numbered like its neighbours). Each diff goes by
// lines first. Of the ways to read a version's lines against the base's,
// those that keep the most lines, of them the most lines that occur once in
// each text, changing the fewest bytes, in the fewest changes, are equally
// short, and one of them is made: a line a version kept stays whole and in
// place however alike the lines around it are. Lines replaced by as many
// lines are paired one for one and diffed by their characters; lines
// replaced by more or fewer are one change, which keeps the line break of
// the last of them as a rewritten line does.
//
// Changes of the two versions that meet, their ranges of the base
// overlapping or touching, are a conflict unless they are the same change.
// A change that equally short readings put in different places (which of
// two equal blank lines went, on which side of a blank line a line went in)
// meets everything from the first of those places to the last, so that
// changes of both at one place never end up in an order or a place neither
// made. A change whose text could as well stand a little earlier or later
// (an insertion that begins with what follows it) meets everything within
// that reach; when some of those places keep whole lines together, they
// alone count. A change inside a word reaches over that word, lines added
// at a line's end reach the boundary after it, and the changes one version
// made close together within one line count as one change, so that the
// other version's edit never ends up between them, where it would make
// words of neither. A byte order mark that all three texts begin with is
// no part of their first line.
#pragma once

#include <cstddef>

// The merge of `mine` and `theirs`, both edited from `base`: byte pointers
// with their lengths, NUL bytes being text like any other. Returns a new
// NUL-terminated text owned by the caller, its byte length in `*length`
// when given, or NULL when the versions changed the same place differently
// or a text is NULL.
char *dmp_merge(const char *base, size_t base_length, const char *mine, size_t mine_length, const char *theirs,
                size_t theirs_length, size_t *length);

// Patches: diffs with context that apply to a text that has changed since,
// placed by fuzzy matching.
#pragma once

#include <cstddef>

#include "textengine/diff/diff.h"
#include "textengine/diff/match.h"

struct patch {
    diff *diffs;    // owned
    size_t start1;  // byte offset in the source text
    size_t start2;  // byte offset in the target text
    size_t length1;
    size_t length2;
    patch *next;
};

patch *dmp_patch_new(diff *diffs, size_t start1, size_t start2, size_t length1, size_t length2);
void dmp_patch_free(patch *patches);  // the whole list with its diffs
patch *dmp_patch_copy(const patch *p);
patch *dmp_patch_list_copy(const patch *list);
void dmp_patch_prepend_diffs(patch *p, diff *diffs);
void dmp_patch_append_diff_copy(patch *p, const diff *d);
diff *dmp_patch_last_diff(const patch *p);

patch *dmp_patch_make(const char *text1, const char *text2, const dmp_options *options);
patch *dmp_patch_make_from_diffs(const char *text1, const diff *diffs, const dmp_options *options);
patch *dmp_patch_make_from_diff_list(const diff *diffs, const dmp_options *options);
void dmp_patch_add_context(patch *p, const char *text, const dmp_options *options);
void dmp_patch_split_max(patch *patches, const dmp_options *options);
char *dmp_patch_add_padding(patch *patches, const dmp_options *options);
// Always returns a new text (NULL only for a NULL text); `applied` says
// whether every patch found its place.
char *dmp_patch_apply(const patch *patches, const char *text, bool *applied, const dmp_options *options);

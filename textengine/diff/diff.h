// Byte-level differences between two UTF-8 texts: Myers' O(ND) diff with
// its middle-snake bisection, the usual speed-ups in front of it, clean-ups
// for people, and rendering as CriticMarkup.
//
// Every length and offset is a count of bytes. Record boundaries never fall
// inside a UTF-8 sequence of valid input; for any input no byte is lost.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textengine/utf8_sequence.h"

enum dmp_op : uint32_t { DMP_DELETE = 1, DMP_EQUAL = 2, DMP_INSERT = 3 };

struct diff {
    uint32_t op;  // dmp_op; for an edit, 4 - op is the opposite edit
    char *text;   // owned, NUL-terminated (NULL only when made so)
    diff *next;
};

// Main operations.
diff *dmp_diff_main(const char *text1, const char *text2, size_t len1, size_t len2);
diff *dmp_diff_main_strings(const char *text1, const char *text2);
diff *dmp_diff_cleanup_semantic(diff *diffs);
diff *dmp_diff_cleanup_merge(diff *diffs);
diff *dmp_diff_cleanup_semantic_lossless(diff *diffs);
diff *dmp_diff_repair_utf8(diff *diffs);
char *dmp_diff_to_critic_markup(const diff *diffs);
char *dmp_diff_text1(const diff *diffs);
char *dmp_diff_text2(const diff *diffs);
size_t dmp_diff_x_index(const diff *diffs, size_t loc);
size_t dmp_diff_levenshtein(const diff *diffs);
void dmp_diff_free(diff *diffs);

// Internal steps, public for the patch builder and for tests.
diff *dmp_diff_raw(const char *text1, const char *text2, size_t len1, size_t len2);
diff *dmp_diff_compute(const char *text1, size_t len1, const char *text2, size_t len2);
diff *dmp_diff_bisect(const char *text1, size_t len1, const char *text2, size_t len2);
int dmp_diff_semantic_score(const char *one, const char *two);

// Record operations.
diff *dmp_diff_new(uint32_t op, const char *text);
diff *dmp_diff_new_bytes(uint32_t op, const char *bytes, size_t count);
void dmp_diff_append(diff **head, diff *d);
void dmp_diff_drop_first(diff **head);
void dmp_diff_list_append_copies(diff **head, const diff *list);
diff *dmp_diff_list_copy(const diff *list);
void dmp_diff_prepend_text(diff *d, const char *bytes, size_t count);
void dmp_diff_append_text(diff *d, const char *bytes, size_t count);
void dmp_diff_drop_head_bytes(diff *d, size_t count);
void dmp_diff_drop_tail_bytes(diff *d, size_t count);
size_t dmp_diff_last_char_length(const diff *d);
size_t dmp_diff_length(const diff *d);  // strlen of the text, 0 without one

// Common prefix and suffix lengths. The prefix and suffix never end, or
// start, inside a UTF-8 sequence of valid text.
size_t dmp_common_prefix(const char *a, const char *b, size_t *out);
size_t dmp_common_suffix(const char *a, const char *b, size_t *out);
void dmp_common_prefix_suffix(const char *a, const char *b, size_t *prefix, size_t *suffix);
size_t dmp_common_prefix_ranges(const char *a, size_t la, const char *b, size_t lb);
size_t dmp_common_suffix_ranges(const char *a, size_t la, const char *b, size_t lb);

// UTF-8 helpers shared by the match, patch and undo code.
inline bool dmp_is_continuation(unsigned char c) { return utf8_is_continuation(c); }
// Moves `pos` back to the start of the sequence it falls in (at most 3 bytes).
size_t dmp_utf8_floor(const char *text, size_t len, size_t pos);
// Moves `pos` forward past continuation bytes (at most 3).
size_t dmp_utf8_ceil(const char *text, size_t len, size_t pos);

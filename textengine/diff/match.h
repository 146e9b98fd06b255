// Finding a pattern near an expected place with errors allowed: the bitap
// (shift-or) automaton of Wu and Manber, scored by errors and distance.
#pragma once

#include <cstddef>
#include <cstdint>

struct dmp_options {
    float match_threshold;         // worst accepted score: 0 perfect, 1 hopeless
    int32_t match_distance;        // bytes of stray that cost a whole 1.0
    int32_t match_max_bits;        // longest pattern; longest source of one applied patch
    float patch_delete_threshold;  // how different a long patch's found text may be
    int32_t patch_margin;          // bytes of context around each patch
};

dmp_options *dmp_options_new(void);
void dmp_options_free(dmp_options *options);
// True when the values keep every loop finite: finite thresholds, a
// distance of 0 or more, 2 * margin < max bits <= 31. Operations given
// options that fail print "Invalid match options.\n" and find nothing.
bool dmp_options_valid(const dmp_options *options);

long dmp_match_main(const char *text, size_t text_length, const char *pattern, size_t pattern_length,
                    size_t loc, const dmp_options *options);
const char *dmp_match_bitap(const char *text, const char *pattern, size_t loc, int32_t distance,
                            size_t text_length, size_t pattern_length, const dmp_options *options);
const char *dmp_match_bitap_string(const char *text, const char *pattern, size_t loc, int32_t distance,
                                   const dmp_options *options);
long dmp_match_fuzzy_unchecked(const char *text, size_t text_length, const char *pattern, size_t pattern_length,
                               size_t loc, const dmp_options *options);
double dmp_match_score(size_t errors, size_t x, size_t loc, size_t pattern_length, int32_t distance);

// The bitap scans; patterns of 32 bytes or more find nothing.
const char *dmp_bitap_find(const char *text, size_t text_length, const char *pattern, size_t m);
const char *dmp_bitap_find_string(const char *text, const char *pattern);
const char *dmp_bitap_rfind(const char *text, size_t text_length, const char *pattern, size_t m);
const char *dmp_bitap_rfind_string(const char *text, const char *pattern);
const char *dmp_bitap_find_fuzzy(const char *text, size_t text_length, const char *pattern, size_t m, size_t k);
const char *dmp_bitap_find_fuzzy_string(const char *text, const char *pattern, size_t k);
const char *dmp_bitap_rfind_fuzzy(const char *text, size_t text_length, const char *pattern, size_t m, size_t k);
const char *dmp_bitap_rfind_fuzzy_string(const char *text, const char *pattern, size_t k);

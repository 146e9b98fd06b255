#include "textengine/diff/match.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "library/diagnostics.h"
#include "textengine/diff/diff.h"
#include "textengine/diff/diff_internal.h"

namespace {

constexpr size_t kMaxPattern = 31;

bool pattern_too_long(size_t m) {
    if (m <= kMaxPattern)
        return false;
    tzr_log("bitap search pattern > 31 characters.\n");
    return true;
}

// Bit i of a byte's mask is clear when the pattern has that byte at i
// (counted from the pattern's end when `reversed`).
void build_masks(uint64_t *mask, const char *pattern, size_t m, bool reversed) {
    for (int c = 0; c < 256; c++)
        mask[c] = ~(uint64_t)0;
    for (size_t i = 0; i < m; i++) {
        unsigned char c = (unsigned char)pattern[reversed ? m - 1 - i : i];
        mask[c] &= ~((uint64_t)1 << i);
    }
}

// Shift-or with up to k errors over text[0, n), forwards or backwards.
// Returns the index of the byte at which the (reversed) pattern completes,
// or -1.
long scan(const char *text, size_t n, const char *pattern, size_t m, size_t k, bool backwards) {
    uint64_t mask[256];
    build_masks(mask, pattern, m, backwards);
    const uint64_t done = (uint64_t)1 << m;
    uint64_t rows[kMaxPattern + 1], fresh[kMaxPattern + 1];
    k = std::min(k, m);
    // Row d starts with the first d pattern bytes already skipped.
    for (size_t d = 0; d <= k; d++)
        rows[d] = ~(((uint64_t)2 << d) - 1);
    for (size_t step = 0; step < n; step++) {
        size_t i = backwards ? n - 1 - step : step;
        uint64_t bits = mask[(unsigned char)text[i]];
        fresh[0] = (rows[0] | bits) << 1;
        for (size_t d = 1; d <= k; d++)
            fresh[d] = ((fresh[d - 1] & rows[d - 1] & (bits | rows[d])) << 1) & rows[d - 1];
        for (size_t d = 0; d <= k; d++)
            rows[d] = fresh[d];
        if (!(rows[k] & done))
            return (long)i;
    }
    return -1;
}

}  // namespace

dmp_options *dmp_options_new(void) {
    dmp_options *o = (dmp_options *)malloc(sizeof(dmp_options));
    if (!o)
        return nullptr;
    o->match_threshold = 0.5f;
    o->match_distance = 1000;
    o->match_max_bits = 31;
    o->patch_delete_threshold = 0.5f;
    o->patch_margin = 4;
    return o;
}

void dmp_options_free(dmp_options *options) { free(options); }

bool dmp_options_valid(const dmp_options *o) {
    return o && std::isfinite(o->match_threshold) && std::isfinite(o->patch_delete_threshold) &&
           o->match_distance >= 0 && o->patch_margin >= 0 && o->match_max_bits <= (int32_t)kMaxPattern &&
           (int64_t)o->patch_margin * 2 < o->match_max_bits;
}

const char *dmp_bitap_find(const char *text, size_t text_length, const char *pattern, size_t m) {
    if (!text || !pattern || pattern_too_long(m))
        return nullptr;
    if (m == 0)
        return text;
    long e = scan(text, text_length, pattern, m, 0, false);
    return e < 0 ? nullptr : text + (e - (long)m + 1);
}

const char *dmp_bitap_find_string(const char *text, const char *pattern) {
    if (!text || !pattern)
        return nullptr;
    return dmp_bitap_find(text, strlen(text), pattern, strlen(pattern));
}

const char *dmp_bitap_rfind(const char *text, size_t text_length, const char *pattern, size_t m) {
    if (!text || !pattern || pattern_too_long(m))
        return nullptr;
    if (m == 0)
        return text;
    long s = scan(text, text_length, pattern, m, 0, true);
    return s < 0 ? nullptr : text + s;
}

const char *dmp_bitap_rfind_string(const char *text, const char *pattern) {
    if (!text || !pattern)
        return nullptr;
    return dmp_bitap_rfind(text, strlen(text), pattern, strlen(pattern));
}

const char *dmp_bitap_find_fuzzy(const char *text, size_t text_length, const char *pattern, size_t m, size_t k) {
    if (!text || !pattern || pattern_too_long(m))
        return nullptr;
    if (m == 0)
        return text;
    long e = scan(text, text_length, pattern, m, k, false);
    return e < 0 ? nullptr : text + std::max(0L, e - (long)m + 1);
}

const char *dmp_bitap_find_fuzzy_string(const char *text, const char *pattern, size_t k) {
    if (!text || !pattern)
        return nullptr;
    return dmp_bitap_find_fuzzy(text, strlen(text), pattern, strlen(pattern), k);
}

const char *dmp_bitap_rfind_fuzzy(const char *text, size_t text_length, const char *pattern, size_t m, size_t k) {
    if (!text || !pattern || pattern_too_long(m))
        return nullptr;
    if (m == 0)
        return text + text_length;
    long s = scan(text, text_length, pattern, m, k, true);
    return s < 0 ? nullptr : text + s;
}

const char *dmp_bitap_rfind_fuzzy_string(const char *text, const char *pattern, size_t k) {
    if (!text || !pattern)
        return nullptr;
    return dmp_bitap_rfind_fuzzy(text, strlen(text), pattern, strlen(pattern), k);
}

double dmp_match_score(size_t errors, size_t x, size_t loc, size_t pattern_length, int32_t distance) {
    // An empty pattern has no errors to weigh; only the distance counts.
    double accuracy = pattern_length ? (double)errors / (double)pattern_length : 0.0;
    size_t proximity = x > loc ? x - loc : loc - x;
    if (distance <= 0)
        return proximity ? 1.0 : accuracy;
    return accuracy + (double)proximity / (double)distance;
}

const char *dmp_match_bitap(const char *text, const char *pattern, size_t loc, int32_t distance, size_t n,
                            size_t m, const dmp_options *options) {
    if (!text || !pattern || !dmp_options_valid(options))
        return nullptr;
    loc = std::min(loc, n);
    double best_score = 10.0;
    long best = -1;

    // Exact hits first: the first at or after the expected place...
    const void *fwd = m == 0 ? text + loc : memmem(text + loc, n - loc, pattern, m);
    if (fwd) {
        size_t at = (size_t)((const char *)fwd - text);
        if (at == loc)
            return text + loc;
        best = (long)at;
        best_score = dmp_match_score(0, at, loc, m, distance);
    }
    // ...and the last one that ends by the expected end.
    if (m == 0) {
        double s = dmp_match_score(0, 0, loc, m, distance);
        if (s < best_score)
            best_score = s, best = 0;
    } else if (m <= kMaxPattern) {
        const char *back = dmp_bitap_rfind(text, std::min(loc + m, n), pattern, m);
        if (back) {
            double s = dmp_match_score(0, (size_t)(back - text), loc, m, distance);
            if (s < best_score)
                best_score = s, best = back - text;
        }
    } else {
        pattern_too_long(m);
    }
    double threshold = std::min((double)options->match_threshold, best_score);
    if (m < 2 || m > kMaxPattern) {
        return best >= 0 && best_score <= threshold ? text + best : nullptr;
    }

    size_t bin_max = n + m;
    for (size_t e = 1; e < m; e++) {
        size_t bin_min = 0, bin_mid = bin_max;
        while (bin_min < bin_mid) {
            if (dmp_match_score(e, loc + bin_mid, loc, m, distance) <= threshold)
                bin_min = bin_mid;
            else
                bin_max = bin_mid;
            bin_mid = bin_min + (bin_max - bin_min) / 2;
        }
        size_t r = bin_mid;
        bin_max = r;
        size_t from = loc > r ? loc - r : 0;
        size_t to = std::min(loc + m + r, n);
        if (to > from) {
            const char *hit = dmp_bitap_rfind_fuzzy(text + from, to - from, pattern, m, e);
            if (hit) {
                size_t at = (size_t)(hit - text);
                double s = dmp_match_score(e, at, loc, m, distance);
                if (s < best_score)
                    best_score = s, best = (long)at;
            }
        }
        if (r == 0)
            break;
    }
    return best >= 0 && best_score <= threshold ? text + best : nullptr;
}

const char *dmp_match_bitap_string(const char *text, const char *pattern, size_t loc, int32_t distance,
                                   const dmp_options *options) {
    if (!text || !pattern)
        return nullptr;
    return dmp_match_bitap(text, pattern, loc, distance, strlen(text), strlen(pattern), options);
}

long dmp_match_fuzzy_unchecked(const char *text, size_t text_length, const char *pattern, size_t pattern_length,
                               size_t loc, const dmp_options *options) {
    if (!options)
        return -1;
    const char *hit = dmp_match_bitap(text, pattern, loc, options->match_distance, text_length, pattern_length,
                                      options);
    return hit ? hit - text : -1;
}

namespace dmp_detail {

long match_bytes(const char *text, size_t n, const char *pattern, size_t m, size_t loc,
                 const dmp_options *options) {
    if (!text || !pattern) {
        tzr_log("Invalid match request.\n");
        return -1;
    }
    if (n == 0) {
        tzr_log("Empty text for match.\n");
        return -1;
    }
    if (!dmp_options_valid(options)) {
        tzr_log("Invalid match options.\n");
        return -1;
    }
    if ((long)loc < 0)
        loc = 0;
    loc = std::min(loc, n);
    if (n == m && memcmp(text, pattern, n) == 0)
        return 0;
    if (n >= loc + m && memcmp(text + loc, pattern, m) == 0)
        return (long)loc;
    return dmp_match_fuzzy_unchecked(text, n, pattern, m, loc, options);
}

}  // namespace dmp_detail

long dmp_match_main(const char *text, size_t n, const char *pattern, size_t m, size_t loc,
                    const dmp_options *options) {
    long found = dmp_detail::match_bytes(text, n, pattern, m, loc, options);
    // A fuzzy hit may begin on a continuation byte; callers place carets
    // and edits there, so it moves back to the start of its character.
    return found < 0 ? -1 : (long)dmp_utf8_floor(text, n, (size_t)found);
}

// Working form of diff lists shared by the diff, match and patch code: a
// vector of records with std::string texts, converted to and from the
// linked records of the public interface at the edges.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "textengine/diff/diff.h"

struct dmp_options;

namespace dmp_detail {

struct D {
    uint32_t op;
    std::string text;
};
using Diffs = std::vector<D>;

// Work left for one diff; see diff.cpp.
struct Budget {
    Budget();
    int64_t left;
};

Diffs from_list(const diff *list);
diff *to_list(const Diffs &v);

size_t prefix(std::string_view a, std::string_view b);
size_t suffix(std::string_view a, std::string_view b);

Diffs raw_diff(Budget &b, std::string_view t1, std::string_view t2);
Diffs compute_diff(Budget &b, std::string_view t1, std::string_view t2);
Diffs bisect_diff(Budget &b, std::string_view t1, std::string_view t2);
Diffs cleanup_merge(Diffs v);
bool repair_utf8(Diffs &v);
Diffs tidy(Diffs v);
Diffs cleanup_semantic(Diffs v);
void cleanup_semantic_lossless(Diffs &v);
int semantic_score(std::string_view one, std::string_view two);

// dmp_match_main without the move back to a character start: for windows
// that begin at an arbitrary byte, such as the tail of a long patch.
long match_bytes(const char *text, size_t n, const char *pattern, size_t m, size_t loc,
                 const dmp_options *options);

}  // namespace dmp_detail

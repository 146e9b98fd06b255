// The parts of the three-way merge (merge.h), shared by its files:
//   merge_lines.cpp    how a version reads against the base line by line,
//                      and where other equally good readings would put its
//                      changes;
//   merge_agree.cpp    whether every reading of a stretch, merged with every
//                      other, gives the stretch's own text;
//   merge.cpp          the changes placed by their characters, gathered
//                      where the two versions' changes meet, and merged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace merge_parts {

// A text's lines, each with its line break (the last may have none).
struct Lines {
    explicit Lines(std::string_view text);
    size_t count() const { return starts.size() - 1; }
    std::string_view line(size_t i) const { return text.substr(starts[i], starts[i + 1] - starts[i]); }
    std::string_view span(size_t first, size_t last) const {
        return text.substr(starts[first], starts[last] - starts[first]);
    }
    // The line that byte `at` belongs to (count() at the text's end).
    size_t line_of(size_t at) const;

    std::string_view text;
    std::vector<size_t> starts;
};

// The lines of the base and of both versions as numbers, equal where their
// texts are, and how often each number occurs in each text.
struct Numbered {
    Numbered(const Lines &base, const Lines &mine, const Lines &theirs);

    std::vector<uint32_t> base, versions[2];
    std::vector<uint32_t> in_base, in_version[2];
    std::vector<uint8_t> blank;
};

// One change of a version: `text` stands for the range [start, end) of the
// base. [reach_start, reach_end] is the stretch of the base that the change
// meets the other version's changes over; [span_start, span_end], when not
// empty, a stretch it reaches over whatever its characters say.
struct Change {
    size_t start = 0, end = 0;
    std::string text;
    size_t reach_start = 0, reach_end = 0;
    size_t span_start = SIZE_MAX, span_end = 0;
    // A change inside a line rewritten one for one: the start of that line,
    // where a change of whole lines of the other version (lines inserted
    // there, lines deleted or replaced up to there) meets it. SIZE_MAX for
    // a change of whole lines.
    size_t line_start = SIZE_MAX;
    // Placed by the lines it takes or puts: its characters move it no more.
    bool settled = false;
    // Other equally good readings of the lines put changes here
    // differently.
    bool uncertain = false;
};

// A line of the base and a line of the version that stand for each other.
struct Pair {
    size_t b, v;
};

// How a version reads against the base: the lines it keeps (one of the
// readings that keep the most) and its changes, in the base's order.
struct Reading {
    std::vector<Pair> kept;
    std::vector<Change> changes;

    // The version's line at the boundary before base line `i`: before the
    // lines inserted there, or after them. Inside lines replaced by more or
    // fewer lines it is where they begin.
    size_t version_line(size_t i, bool after_insertions, size_t base_count, size_t version_count) const;
};

// Reads version `side` (0 mine, 1 theirs) against the base; `whole` reads
// it as one stretch, not cut at lines said once, as short texts are read.
Reading read_lines(const Lines &base, const Lines &version, const Numbered &numbers, int side, bool whole = false);

// Whether every two readings of `version` against `base` (lines as numbers)
// that keep the most lines, merged with each other, give `version`: false
// where two of them put the same change in places that do not meet, and
// where there are too many readings to tell.
bool readings_agree(const uint32_t *base, size_t n, const uint32_t *version, size_t m);

}  // namespace merge_parts

// Whether the readings of a stretch that keep the most lines all merge with
// each other to the stretch's own text. Both versions made the same change
// in a stretch whose lines cannot tell where (one of three blank lines
// deleted): each version may be read as having deleted another of them, and
// where two such readings put their deletions apart, both deletions are
// made. The merge goes through only where no two readings do that.
#include <algorithm>
#include <vector>

#include "textengine/diff/merge_parts.h"

namespace merge_parts {

namespace {

// Stretches of more cells than this (lines of each plus one, multiplied),
// or with more readings, are not judged: they fail.
constexpr size_t kMostCells = size_t(1) << 16;
constexpr size_t kMostReadings = 48;
// Steps the search for readings may take.
constexpr size_t kMostSteps = size_t(1) << 21;

// Base lines [b0, b1) become version lines [v0, v1).
struct Hunk {
    size_t b0, b1, v0, v1;
};
using Hunks = std::vector<Hunk>;

// Where a hunk lies, counting the boundary before base line i as 2i and the
// line as 2i + 1: a hunk covers its lines and the boundaries at its ends,
// except that lines rewritten one for one are each a hunk of their own that
// covers not the boundary after it. Hunks of the two readings meet where
// what they cover does.
struct Placed {
    size_t lo, hi;
    Hunk hunk;
    int side;
};

void place(const Hunks &hunks, int side, std::vector<Placed> &out) {
    for (const Hunk &h : hunks) {
        if (h.b1 > h.b0 && h.b1 - h.b0 == h.v1 - h.v0) {
            for (size_t t = 0; t < h.b1 - h.b0; t++)
                out.push_back({2 * (h.b0 + t), 2 * (h.b0 + t) + 1,
                               {h.b0 + t, h.b0 + t + 1, h.v0 + t, h.v0 + t + 1}, side});
        } else {
            out.push_back({2 * h.b0, 2 * h.b1, h, side});
        }
    }
}

// The base's lines [from, to) with `hunks` made in them.
void made(const uint32_t *base, const uint32_t *version, size_t from, size_t to, const std::vector<const Hunk *> &hunks,
          std::vector<uint32_t> &out) {
    size_t at = from;
    for (const Hunk *h : hunks) {
        out.insert(out.end(), base + at, base + h->b0);
        out.insert(out.end(), version + h->v0, version + h->v1);
        at = h->b1;
    }
    out.insert(out.end(), base + at, base + to);
}

// Whether two readings of `version`, merged, give it back.
bool merge_gives_version(const uint32_t *base, size_t n, const uint32_t *version, size_t m, const Hunks &one,
                         const Hunks &other) {
    std::vector<Placed> all;
    place(one, 0, all);
    place(other, 1, all);
    std::stable_sort(all.begin(), all.end(), [](const Placed &a, const Placed &b) { return a.lo < b.lo; });
    std::vector<uint32_t> out, theirs;
    out.reserve(m);
    size_t at = 0;
    for (size_t k = 0; k < all.size();) {
        size_t hi = all[k].hi, from = all[k].hunk.b0, to = all[k].hunk.b1;
        std::vector<const Hunk *> sides[2];
        for (; k < all.size() && all[k].lo <= hi; k++) {
            hi = std::max(hi, all[k].hi);
            from = std::min(from, all[k].hunk.b0);
            to = std::max(to, all[k].hunk.b1);
            sides[all[k].side].push_back(&all[k].hunk);
        }
        out.insert(out.end(), base + at, base + from);
        if (!sides[0].empty() && !sides[1].empty()) {
            theirs.clear();
            made(base, version, from, to, sides[1], theirs);
            const size_t before = out.size();
            made(base, version, from, to, sides[0], out);
            if (!std::equal(out.begin() + long(before), out.end(), theirs.begin(), theirs.end()))
                return false;
        } else {
            made(base, version, from, to, sides[0].empty() ? sides[1] : sides[0], out);
        }
        at = to;
    }
    out.insert(out.end(), base + at, base + n);
    return std::equal(out.begin(), out.end(), version, version + m);
}

}  // namespace

bool readings_agree(const uint32_t *base, size_t n, const uint32_t *version, size_t m) {
    if ((n + 1) * (m + 1) > kMostCells)
        return false;
    // common[i * width + j]: how many lines the rest from (i, j) keeps at most.
    const size_t width = m + 1;
    std::vector<uint32_t> common((n + 1) * width, 0);
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            common[i * width + j] = base[i] == version[j]
                                        ? common[(i + 1) * width + j + 1] + 1
                                        : std::max(common[(i + 1) * width + j], common[i * width + j + 1]);

    // Every way of keeping that many, as the hunks between the lines kept.
    std::vector<Hunks> readings;
    Hunks hunks;
    size_t steps = 0;
    bool fits = true;
    auto from = [&](auto &&self, size_t i, size_t j) -> void {
        if (!fits)
            return;
        const uint32_t rest = common[i * width + j];
        if (rest == 0) {
            if (i < n || j < m)
                hunks.push_back({i, n, j, m});
            if (readings.size() == kMostReadings)
                fits = false;
            else
                readings.push_back(hunks);
            if (i < n || j < m)
                hunks.pop_back();
            return;
        }
        for (size_t k = i; k < n && fits; k++)
            for (size_t l = j; l < m && fits; l++) {
                if (++steps > kMostSteps)
                    fits = false;
                if (base[k] != version[l] || common[(k + 1) * width + l + 1] + 1 != rest)
                    continue;
                const bool gap = k > i || l > j;
                if (gap)
                    hunks.push_back({i, k, j, l});
                self(self, k + 1, l + 1);
                if (gap)
                    hunks.pop_back();
            }
    };
    from(from, 0, 0);
    if (!fits)
        return false;
    for (size_t a = 0; a < readings.size(); a++)
        for (size_t b = a + 1; b < readings.size(); b++)
            if (!merge_gives_version(base, n, version, m, readings[a], readings[b]))
                return false;
    return true;
}

}  // namespace merge_parts

// How a version reads against the base line by line, and where other
// readings that keep as many lines would put its changes.
//
// A reading keeps lines of the base in the version, in order; those that
// keep the most lines are equally good, and the merge must hold for every
// one of them. Each version is cut at lines said once in each text (not
// blank), in the longest run whose places rise in both, into stretches; a
// stretch is read exactly where it is short or its reading changes few
// lines, and otherwise by a quicker diff of its lines, its changes then
// reaching over all of it. A stretch read exactly knows every reading that
// keeps the most of its lines: the lines every such reading keeps cut it
// again, and between two of them where readings differ, every change
// reaches from the first line any of them changes to the end of the last.
//
// The lines said once cut every equally good reading only when no such
// reading passes them by. One that does keeps none of a run of them, and
// keeps the lines said once around the run (take the run as long as it
// goes); between those it must keep as many lines as the reading made
// keeps there, run and all. It can keep no more there than the lines of
// each text it could pair, so beyond the lines the made reading keeps it
// gains at most as many as the lines of one text that the made reading
// deletes there and whose text it also inserts there. Where the stretches
// around a run hold fewer such lines than the run has lines said once, no
// reading passes the run by; elsewhere the stretches are read again, the
// run's lines left out, and where they then keep as many lines as with the
// run, the run is no cut: its stretches are read as one. So every reading
// that keeps the most lines of the whole keeps the lines said once that
// remain, and is made of readings of the stretches between them.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "textengine/diff/diff_internal.h"
#include "textengine/diff/merge_parts.h"

using std::string;
using std::string_view;

namespace merge_parts {

Lines::Lines(string_view text) : text(text) {
    starts.reserve(size_t(std::count(text.begin(), text.end(), '\n')) + 2);
    for (size_t at = 0; at < text.size();) {
        starts.push_back(at);
        const size_t brk = text.find('\n', at);
        at = brk == string_view::npos ? text.size() : brk + 1;
    }
    starts.push_back(text.size());
}

size_t Lines::line_of(size_t at) const {
    if (at >= text.size())
        return count();
    return size_t(std::upper_bound(starts.begin(), starts.end() - 1, at) - starts.begin()) - 1;
}

namespace {

// A blank line says nothing of where it is.
bool is_blank(string_view line) { return line.find_first_not_of(" \t\r\n") == string_view::npos; }

}  // namespace

namespace {

// A hash of a line's bytes, eight at a time.
uint64_t hash_of(string_view line) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ line.size();
    size_t at = 0;
    for (; at + 8 <= line.size(); at += 8) {
        uint64_t word;
        std::memcpy(&word, line.data() + at, 8);
        h = (h ^ word) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    uint64_t rest = 0;
    std::memcpy(&rest, line.data() + at, line.size() - at);
    h = (h ^ rest) * 0x94D049BB133111EBull;
    return h ^ (h >> 29);
}

}  // namespace

Numbered::Numbered(const Lines &base_lines, const Lines &mine, const Lines &theirs) {
    // An open table of the numbers given, by the hash of their line, kept
    // at most half full.
    size_t size = 1024;
    std::vector<uint32_t> table(size, UINT32_MAX);
    std::vector<string_view> texts;
    std::vector<uint64_t> hashes;
    auto grow = [&] {
        size *= 2;
        table.assign(size, UINT32_MAX);
        for (uint32_t id = 0; id < texts.size(); id++) {
            size_t at = hashes[id] & (size - 1);
            while (table[at] != UINT32_MAX)
                at = (at + 1) & (size - 1);
            table[at] = id;
        }
    };
    auto number = [&](string_view line) {
        const uint64_t h = hash_of(line);
        for (size_t at = h & (size - 1);; at = (at + 1) & (size - 1)) {
            const uint32_t id = table[at];
            if (id == UINT32_MAX) {
                if (2 * (texts.size() + 1) > size) {
                    grow();
                    at = h & (size - 1);
                    while (table[at] != UINT32_MAX)
                        at = (at + 1) & (size - 1);
                }
                table[at] = (uint32_t)texts.size();
                texts.push_back(line);
                hashes.push_back(h);
                blank.push_back(is_blank(line));
                in_base.push_back(0);
                in_version[0].push_back(0);
                in_version[1].push_back(0);
                return table[at];
            }
            if (hashes[id] == h && texts[id] == line)
                return id;
        }
    };
    base.reserve(base_lines.count());
    for (size_t i = 0; i < base_lines.count(); i++) {
        base.push_back(number(base_lines.line(i)));
        in_base[base.back()]++;
    }
    const Lines *sides[2] = {&mine, &theirs};
    for (int side = 0; side < 2; side++) {
        versions[side].reserve(sides[side]->count());
        for (size_t j = 0; j < sides[side]->count(); j++) {
            versions[side].push_back(number(sides[side]->line(j)));
            in_version[side][versions[side].back()]++;
        }
    }
}

size_t Reading::version_line(size_t i, bool after_insertions, size_t base_count, size_t version_count) const {
    // The hunk around the boundary: base lines [b0, kb) became version
    // lines [v0, kv), kb being the next kept line or the end.
    const auto next = std::lower_bound(kept.begin(), kept.end(), i, [](const Pair &p, size_t b) { return p.b < b; });
    const size_t kb = next == kept.end() ? base_count : next->b;
    const size_t kv = next == kept.end() ? version_count : next->v;
    const size_t b0 = next == kept.begin() ? 0 : (next - 1)->b + 1;
    const size_t v0 = next == kept.begin() ? 0 : (next - 1)->v + 1;
    if (i == kb)
        return b0 == kb && !after_insertions ? v0 : kv;
    if (i == b0)
        return v0;
    // Inside lines the hunk rewrote: one for one, line by line.
    return kb - b0 == kv - v0 ? v0 + (i - b0) : v0;
}

namespace {

// A stretch of lines of the base, [b0, b1), and of the version, [v0, v1).
struct Run {
    size_t b0, b1, v0, v1;
};

// Stretches of at most this many cells (their lines and one more of each
// text, multiplied; in a stretch of few changes, its lines and one more
// times the lines the quicker reading changes and one) are read exactly.
constexpr size_t kMostCells = size_t(1) << 18;
// A whole text of at most this many cells is read as one stretch.
constexpr size_t kWholeCells = size_t(1) << 14;
// Distinct lines a diff of lines can tell apart: one character each, every
// code point but NUL and the surrogates.
constexpr size_t kMostLines = 0x10FFFF - 0x800;
// How many runs of lines said once are read again in a round (past that, a
// run that might be passed by is taken to be, and its stretches are read as
// one), and how many rounds go before the whole text is read as one
// stretch instead.
constexpr size_t kMostRunChecks = 4096;
constexpr int kMostRounds = 12;
// How many cells a version's exact readings may take in all; past that,
// stretches are read roughly and runs that might be passed by are taken
// to be, so that no text costs more than a few tenths of a second.
constexpr size_t kMostWork = size_t(1) << 26;

// Lines [r0, r1) of the base where readings of a stretch differ: their
// changes reach from line r0's start to line r1's (or only to the line
// break before it, when every reading ends there with lines rewritten one
// for one).
struct Region {
    size_t r0, r1;
    bool to_break;
};

// A stretch read: the lines one reading keeps (absolute), and where
// readings that keep as many differ (read roughly, all of it).
struct Stretch {
    Run run;
    std::vector<Pair> kept;
    // Its lines alike in both texts, all kept (and not listed).
    bool alike = false;
    std::vector<Region> regions;

    size_t kept_count() const { return alike ? run.b1 - run.b0 : kept.size(); }
    void append_kept(std::vector<Pair> &out) const {
        if (!alike)
            out.insert(out.end(), kept.begin(), kept.end());
        else
            for (size_t k = 0; k < run.b1 - run.b0; k++)
                out.push_back({run.b0 + k, run.v0 + k});
    }
};

// One version against the base: their lines as numbers, how often each
// occurs, and the work its readings may still take.
struct Side {
    const Lines &base, &version;
    const uint32_t *b, *v;
    size_t n, m;
    const std::vector<uint32_t> &in_base, &in_version;
    const std::vector<uint8_t> &blank;
    dmp_detail::Budget budget;
    size_t work = kMostWork;

    // Takes `cells` of the work left, or refuses when there is not as much.
    bool spend(size_t cells) {
        if (cells > work)
            return false;
        work -= cells;
        return true;
    }
};

void append_code_point(string &out, uint32_t c) {
    if (c < 0x80) {
        out += (char)c;
    } else if (c < 0x800) {
        out += (char)(0xC0 | (c >> 6));
        out += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += (char)(0xE0 | (c >> 12));
        out += (char)(0x80 | ((c >> 6) & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    } else {
        out += (char)(0xF0 | (c >> 18));
        out += (char)(0x80 | ((c >> 12) & 0x3F));
        out += (char)(0x80 | ((c >> 6) & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    }
}

// The lines of a long stretch that a diff of its lines, one character each,
// keeps; none when its lines have more numbers than there are characters.
std::vector<Pair> kept_by_codes(Side &s, const Run &r) {
    std::vector<Pair> kept;
    string coded[2];
    coded[0].reserve(r.b1 - r.b0);
    coded[1].reserve(r.v1 - r.v0);
    const uint32_t *ids[2] = {s.b, s.v};
    const size_t firsts[2] = {r.b0, r.v0}, lasts[2] = {r.b1, r.v1};
    for (int side = 0; side < 2; side++)
        for (size_t i = firsts[side]; i < lasts[side]; i++) {
            const uint32_t id = ids[side][i] + 1;
            if (id > kMostLines)
                return kept;
            append_code_point(coded[side], id < 0xD800 ? id : id + 0x800);
        }
    const dmp_detail::Diffs diffs = dmp_detail::tidy(dmp_detail::raw_diff(s.budget, coded[0], coded[1]));
    coded[0] = coded[1] = string();
    kept.reserve(std::min(r.b1 - r.b0, r.v1 - r.v0));
    size_t b = r.b0, v = r.v0;
    for (const dmp_detail::D &d : diffs) {
        size_t count = 0;
        for (char c : d.text)
            count += !dmp_is_continuation((unsigned char)c);
        if (d.op == DMP_EQUAL)
            for (size_t k = 0; k < count; k++)
                kept.push_back({b + k, v + k});
        if (d.op != DMP_INSERT)
            b += count;
        if (d.op != DMP_DELETE)
            v += count;
    }
    return kept;
}

// The diagonals a reading of `n` and `m` lines that changes at most `cost`
// lines can pass (a node of i lines of the base and j of the version lies
// on diagonal i - j), as [low, high].
std::pair<long, long> band(size_t n, size_t m, size_t cost) {
    // cost = deletions + insertions, n - m = deletions - insertions.
    const long diff = long(n) - long(m);
    const long deletions = (long(cost) + diff) / 2, insertions = (long(cost) - diff) / 2;
    return {std::max(-insertions, -long(m)), std::min(deletions, long(n))};
}

// The table of a reading within a band of diagonals: how many lines the
// best way to a node keeps (or -1 where none within the band gets there).
// Each row holds the band's nodes that lie in the grid.
struct BandTable {
    size_t n, m, stride;
    long low, high;
    std::vector<int32_t> cells;

    static size_t size(size_t n, size_t m, std::pair<long, long> diagonals) {
        return (n + 1) * std::min(size_t(diagonals.second - diagonals.first + 1), m + 1);
    }
    void shape(size_t rows, size_t columns, std::pair<long, long> diagonals) {
        n = rows;
        m = columns;
        low = diagonals.first;
        high = diagonals.second;
        stride = std::min(size_t(high - low + 1), m + 1);
        cells.assign((n + 1) * stride, -1);
    }
    bool inside(long i, long j) const {
        return i >= 0 && j >= 0 && i <= long(n) && j <= long(m) && i - j >= low && i - j <= high;
    }
    size_t index(long i, long j) const { return size_t(i) * stride + size_t(j - std::max(0L, i - high)); }
    int32_t at(long i, long j) const { return inside(i, j) ? cells[index(i, j)] : -1; }
    int32_t &cell(long i, long j) { return cells[index(i, j)]; }
};

// How many lines the best way from the start to each node keeps.
void forward(const uint32_t *b, const uint32_t *v, BandTable &t) {
    for (long i = 0; i <= long(t.n); i++) {
        const long j0 = std::max(0L, i - t.high), j1 = std::min(long(t.m), i - t.low);
        for (long j = j0; j <= j1; j++) {
            int32_t best = i == 0 && j == 0 ? 0 : -1;
            best = std::max(best, t.at(i - 1, j));
            best = std::max(best, t.at(i, j - 1));
            if (i > 0 && j > 0 && b[i - 1] == v[j - 1] && t.at(i - 1, j - 1) >= 0)
                best = std::max(best, t.at(i - 1, j - 1) + 1);
            t.cell(i, j) = best;
        }
    }
}

// How many lines the best way from each node to the end keeps.
void backward(const uint32_t *b, const uint32_t *v, BandTable &t) {
    for (long i = long(t.n); i >= 0; i--) {
        const long j0 = std::max(0L, i - t.high), j1 = std::min(long(t.m), i - t.low);
        for (long j = j1; j >= j0; j--) {
            int32_t best = i == long(t.n) && j == long(t.m) ? 0 : -1;
            best = std::max(best, t.at(i + 1, j));
            best = std::max(best, t.at(i, j + 1));
            if (i < long(t.n) && j < long(t.m) && b[i] == v[j] && t.at(i + 1, j + 1) >= 0)
                best = std::max(best, t.at(i + 1, j + 1) + 1);
            t.cell(i, j) = best;
        }
    }
}

// The most lines a stretch keeps, read exactly within the band a reading
// that changes at most `cost` lines stays in; -1 when that is too many
// cells to read.
long most_kept(Side &s, const uint32_t *b, size_t n, const uint32_t *v, size_t m, size_t cost) {
    if (n == 0 || m == 0)
        return 0;
    const auto diagonals = band(n, m, cost);
    const size_t cells = BandTable::size(n, m, diagonals);
    if (cells > kMostCells || !s.spend(cells))
        return -1;
    thread_local BandTable table;
    table.shape(n, m, diagonals);
    forward(b, v, table);
    return table.at(long(n), long(m));
}

// Reads a stretch exactly, within the band a reading that changes at most
// `cost` lines stays in (every reading that keeps the most does). Of the
// ways that keep the most lines, a kept line is kept by every one where it
// is the only one any of them keeps as its k-th: those lines cut the
// stretch, and between two of them, where the ways differ, is a region.
bool read_exactly(Side &s, Stretch &out, size_t cost) {
    const Run &r = out.run;
    const size_t n = r.b1 - r.b0, m = r.v1 - r.v0;
    const uint32_t *b = s.b + r.b0, *v = s.v + r.v0;
    const auto diagonals = band(n, m, cost);
    const size_t cells = BandTable::size(n, m, diagonals);
    if (cells > kMostCells || !s.spend(4 * cells))
        return false;
    thread_local BandTable to, from;
    to.shape(n, m, diagonals);
    from.shape(n, m, diagonals);
    forward(b, v, to);
    backward(b, v, from);
    const int32_t most = to.at(long(n), long(m));

    // One way that keeps the most, from the end back.
    out.kept.clear();
    for (long i = long(n), j = long(m); i > 0 || j > 0;) {
        const int32_t here = to.at(i, j);
        if (i > 0 && j > 0 && b[i - 1] == v[j - 1] && to.at(i - 1, j - 1) >= 0 && to.at(i - 1, j - 1) + 1 == here) {
            i--, j--;
            out.kept.push_back({r.b0 + size_t(i), r.v0 + size_t(j)});
        } else if (i > 0 && to.at(i - 1, j) == here) {
            i--;
        } else {
            j--;
        }
    }
    std::reverse(out.kept.begin(), out.kept.end());

    // The kept lines of the ways that keep the most, by how many each keeps
    // before it.
    auto kept_at = [&](long i, long j) -> int32_t {
        if (i >= long(n) || j >= long(m) || b[i] != v[j])
            return -1;
        const int32_t before = to.at(i, j), after = from.at(i + 1, j + 1);
        return before >= 0 && after >= 0 && before + 1 + after == most ? before : -1;
    };
    thread_local std::vector<uint32_t> count;
    thread_local std::vector<Pair> only;
    count.assign(size_t(most), 0);
    only.resize(size_t(most));
    for (long i = 0; i < long(n); i++) {
        const long j0 = std::max(0L, i - to.high), j1 = std::min(long(m) - 1, i - to.low);
        for (long j = j0; j <= j1; j++) {
            const int32_t level = kept_at(i, j);
            if (level >= 0) {
                count[size_t(level)]++;
                only[size_t(level)] = {size_t(i), size_t(j)};
            }
        }
    }
    // Where a region closes (on the line kept by every way at that level,
    // or at the stretch's end), whether some way ends its last change there
    // with anything but lines rewritten one for one, so that the change
    // reaches the boundary before that line.
    thread_local std::vector<uint8_t> to_boundary;
    to_boundary.assign(size_t(most) + 1, 0);
    auto closing = [&](size_t level) {
        return level == size_t(most) ? Pair{n, m} : only[level];
    };
    for (long i = 0; i < long(n); i++) {
        const long j0 = std::max(0L, i - to.high), j1 = std::min(long(m) - 1, i - to.low);
        for (long j = j0; j <= j1; j++) {
            const int32_t level = kept_at(i, j);
            if (level < 0 || count[size_t(level)] < 2)
                continue;
            const size_t next = size_t(level) + 1;
            if (next < size_t(most) && count[next] != 1)
                continue;
            const Pair close = closing(next);
            if (close.b - size_t(i) - 1 != close.v - size_t(j) - 1)
                to_boundary[next] = 1;
        }
    }
    out.regions.clear();
    long open = -1;  // the level of the last line every way keeps
    for (size_t level = 0; level <= size_t(most); level++) {
        if (level < size_t(most) && count[level] != 1)
            continue;
        if (long(level) - open >= 2) {
            const size_t r0 = open < 0 ? 0 : only[size_t(open)].b + 1;
            const size_t r1 = closing(level).b;
            out.regions.push_back({r.b0 + r0, r.b0 + r1, !to_boundary[level]});
        }
        open = long(level);
    }
    return true;
}

// Reads a stretch: exactly where that is short enough (`known`, a reading
// of it when there is one, bounds how many lines the exact reading
// changes), and otherwise by a diff of its lines.
Stretch read_stretch(Side &s, const Run &r, std::vector<Pair> *known = nullptr) {
    Stretch out;
    out.run = r;
    const size_t n = r.b1 - r.b0, m = r.v1 - r.v0;
    if (n == 0 || m == 0)
        return out;
    if (n == m && std::equal(s.b + r.b0, s.b + r.b1, s.v + r.v0)) {
        out.alike = true;
        return out;
    }
    // Keeping the lines it begins and ends with alike is a reading, and
    // one that keeps the most changes no more lines: most stretches change
    // a line or two, and are read within a narrow band.
    size_t alike = 0;
    while (alike < std::min(n, m) && s.b[r.b0 + alike] == s.v[r.v0 + alike])
        alike++;
    for (size_t k = 0; alike < std::min(n, m) && s.b[r.b1 - 1 - k] == s.v[r.v1 - 1 - k]; k++)
        alike++;
    if (read_exactly(s, out, n + m - 2 * alike))
        return out;
    std::vector<Pair> quick = known ? std::move(*known) : kept_by_codes(s, r);
    if (quick.size() > alike && read_exactly(s, out, n + m - 2 * quick.size()))
        return out;
    out.kept = std::move(quick);
    out.regions = {{r.b0, r.b1, false}};
    return out;
}

// The lines said once in each text (not blank), in the longest run whose
// places rise in both.
std::vector<Pair> lines_said_once(const Side &s) {
    std::vector<uint32_t> where(s.in_base.size(), UINT32_MAX);
    for (size_t j = 0; j < s.m; j++)
        if (s.in_version[s.v[j]] == 1)
            where[s.v[j]] = (uint32_t)j;
    std::vector<Pair> once;
    for (size_t i = 0; i < s.n; i++) {
        const uint32_t id = s.b[i];
        if (s.in_base[id] == 1 && s.in_version[id] == 1 && !s.blank[id])
            once.push_back({i, where[id]});
    }
    // Patience: the smallest last place of a rising run of each length.
    std::vector<size_t> tails, previous(once.size(), SIZE_MAX);
    for (size_t k = 0; k < once.size(); k++) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), once[k].v,
                                         [&](size_t t, size_t v) { return once[t].v < v; });
        if (at != tails.begin())
            previous[k] = *(at - 1);
        if (at == tails.end())
            tails.push_back(k);
        else
            *at = k;
    }
    std::vector<Pair> run;
    for (size_t k = tails.empty() ? SIZE_MAX : tails.back(); k != SIZE_MAX; k = previous[k])
        run.push_back(once[k]);
    std::reverse(run.begin(), run.end());
    return run;
}

// The lines a stretch's reading deletes and inserts, by number.
template <typename Visit>
void changed_lines(const Side &s, const Stretch &st, Visit visit) {
    if (st.alike)
        return;
    size_t b = st.run.b0, v = st.run.v0;
    auto gap = [&](size_t kb, size_t kv) {
        for (; b < kb; b++)
            visit(s.b[b], true);
        for (; v < kv; v++)
            visit(s.v[v], false);
    };
    for (const Pair &p : st.kept) {
        gap(p.b, p.v);
        b = p.b + 1;
        v = p.v + 1;
    }
    gap(st.run.b1, st.run.v1);
}

// Cuts the version at the lines said once and reads the stretches between,
// until every run of those lines is shown to be kept by every reading that
// keeps the most lines.
std::vector<Stretch> read_all(Side &s, std::vector<Pair> &cuts, bool whole) {
    std::vector<Stretch> stretches;
    auto read_between = [&]() {
        stretches.clear();
        size_t b = 0, v = 0;
        for (size_t k = 0; k <= cuts.size(); k++) {
            const size_t kb = k < cuts.size() ? cuts[k].b : s.n, kv = k < cuts.size() ? cuts[k].v : s.m;
            stretches.push_back(read_stretch(s, {b, kb, v, kv}));
            b = kb + 1;
            v = kv + 1;
        }
    };
    if (whole || (s.n + 1) * (s.m + 1) <= kWholeCells)
        cuts.clear();
    else
        cuts = lines_said_once(s);
    read_between();

    std::vector<uint8_t> changed(s.in_base.size(), 0);
    for (int round = 0;; round++) {
        const size_t count = cuts.size();
        if (count == 0)
            break;
        if (round == kMostRounds) {
            cuts.clear();
            read_between();
            break;
        }
        // Lines deleted whose text some stretch inserts, and inserted whose
        // text some stretch deletes: what a reading passing lines said once
        // by could keep instead.
        std::vector<uint32_t> touched;
        for (const Stretch &st : stretches)
            changed_lines(s, st, [&](uint32_t id, bool deleted) {
                if (!changed[id])
                    touched.push_back(id);
                changed[id] |= deleted ? 1 : 2;
            });
        std::vector<long> deletable(count + 2, 0), insertable(count + 2, 0);
        bool any = false;
        for (size_t k = 0; k <= count; k++)
            changed_lines(s, stretches[k], [&](uint32_t id, bool deleted) {
                if (changed[id] == 3) {
                    (deleted ? deletable : insertable)[k]++;
                    any = true;
                }
            });
        for (uint32_t id : touched)
            changed[id] = 0;
        if (!any)
            break;
        // G(t) = the first t stretches' lines minus t, for deletions and for
        // insertions: the cuts [a, b - 2] with the stretches [a, b - 1]
        // around them hold as many of both as there are cuts only where
        // G(b) >= G(a) - 1 for both.
        std::vector<long> g(count + 2), h(count + 2), gmax(count + 3, LONG_MIN), hmax(count + 3, LONG_MIN);
        for (size_t t = 0; t <= count + 1; t++) {
            g[t] = t ? g[t - 1] + deletable[t - 1] - 1 : 0;
            h[t] = t ? h[t - 1] + insertable[t - 1] - 1 : 0;
        }
        for (size_t t = count + 2; t-- > 0;) {
            gmax[t] = std::max(gmax[t + 1], g[t]);
            hmax[t] = std::max(hmax[t + 1], h[t]);
        }
        auto last = [&](const std::vector<long> &best, long atleast) {
            size_t lo = 0, hi = count + 2;  // best[lo] >= atleast, best[hi] < atleast
            while (hi - lo > 1) {
                const size_t mid = (lo + hi) / 2;
                (best[mid] >= atleast ? lo : hi) = mid;
            }
            return lo;
        };
        // The stretches to read as one, as [first, last] ranges.
        std::vector<std::pair<size_t, size_t>> joined;
        size_t checks = 0;
        for (size_t a = 0; a + 1 <= count; a++) {
            const size_t reach = std::min(last(gmax, g[a] - 1), last(hmax, h[a] - 1));
            for (size_t bnd = a + 2; bnd <= reach; bnd++) {
                if (g[bnd] < g[a] - 1 || h[bnd] < h[a] - 1)
                    continue;
                // The stretches [a, bnd - 1] and the cuts between them: does
                // leaving the cuts out keep as many lines?
                bool passed_by = true;
                if (++checks <= kMostRunChecks) {
                    std::vector<uint32_t> base_ids, version_ids;
                    size_t kept = 0;
                    for (size_t k = a; k < bnd; k++) {
                        const Stretch &st = stretches[k];
                        base_ids.insert(base_ids.end(), s.b + st.run.b0, s.b + st.run.b1);
                        version_ids.insert(version_ids.end(), s.v + st.run.v0, s.v + st.run.v1);
                        kept += st.kept_count();
                    }
                    const size_t cost = base_ids.size() + version_ids.size() - 2 * kept;
                    const long without = most_kept(s, base_ids.data(), base_ids.size(), version_ids.data(),
                                                   version_ids.size(), cost);
                    passed_by = without < 0 || size_t(without) >= kept + (bnd - 1 - a);
                }
                if (passed_by)
                    joined.push_back({a, bnd - 1});
            }
        }
        if (joined.empty())
            break;
        // Join the stretches, the cuts inside each range going.
        std::sort(joined.begin(), joined.end());
        std::vector<uint8_t> goes(count, 0);
        for (const auto &[first, lastone] : joined)
            for (size_t k = first; k < lastone; k++)
                goes[k] = 1;
        std::vector<Pair> kept_cuts;
        std::vector<Stretch> next;
        for (size_t k = 0; k <= count;) {
            size_t end = k;
            while (end < count && goes[end])
                end++;
            if (end == k) {
                next.push_back(std::move(stretches[k]));
            } else {
                std::vector<Pair> known;
                for (size_t t = k; t <= end; t++) {
                    stretches[t].append_kept(known);
                    if (t < end)
                        known.push_back(cuts[t]);
                }
                next.push_back(read_stretch(
                    s, {stretches[k].run.b0, stretches[end].run.b1, stretches[k].run.v0, stretches[end].run.v1},
                    &known));
            }
            if (end < count)
                kept_cuts.push_back(cuts[end]);
            k = end + 1;
        }
        cuts = std::move(kept_cuts);
        stretches = std::move(next);
    }
    return stretches;
}

// Gathers the changes, in the base's order.
struct Emitter {
    const Lines &base;
    dmp_detail::Budget &budget;
    std::vector<Change> found;
    size_t at = 0;
    bool open = false;

    void equal(size_t length) {
        at += length;
        open = open && !length;
    }
    void edit(uint32_t op, string_view text, size_t line_start) {
        if (text.empty())
            return;
        if (!open) {
            found.push_back({});
            Change &c = found.back();
            c.start = c.end = c.reach_start = c.reach_end = at;
            c.line_start = line_start;
            c.settled = true;
        }
        open = true;
        if (op == DMP_DELETE) {
            found.back().end += text.size();
            at += text.size();
        } else {
            found.back().text += text;
        }
    }
    // A line rewritten one for one: its characters' changes.
    void rewrite(string_view from, string_view to, size_t line_start) {
        open = false;
        for (const dmp_detail::D &d : dmp_detail::tidy(dmp_detail::raw_diff(budget, from, to))) {
            if (d.op == DMP_EQUAL)
                equal(d.text.size());
            else
                edit(d.op, d.text, line_start);
        }
        open = false;
    }
    // Lines replaced whole: one change, settled, reaching over [from, to].
    void whole(size_t b0, size_t b1, string_view put, size_t from, size_t to, bool uncertain) {
        Change c;
        c.start = base.starts[b0];
        c.end = base.starts[b1];
        c.text = string(put);
        c.span_start = from;
        c.span_end = to;
        c.settled = true;
        c.uncertain = uncertain;
        at = c.end;
        open = false;
        found.push_back(std::move(c));
    }
};

}  // namespace

Reading read_lines(const Lines &base, const Lines &version, const Numbered &numbers, int side, bool whole) {
    Side s{base,
           version,
           numbers.base.data(),
           numbers.versions[side].data(),
           base.count(),
           version.count(),
           numbers.in_base,
           numbers.in_version[side],
           numbers.blank,
           {}};
    std::vector<Pair> cuts;
    std::vector<Stretch> stretches = read_all(s, cuts, whole);

    Reading out;
    if (stretches.size() == 1 && !stretches[0].alike)
        out.kept = std::move(stretches[0].kept);
    else
        out.kept.reserve(std::min(base.count(), version.count()));
    std::vector<Region> regions;
    for (size_t k = 0; k < stretches.size(); k++) {
        if (stretches.size() > 1)
            stretches[k].append_kept(out.kept);
        stretches[k].kept = std::vector<Pair>();
        regions.insert(regions.end(), stretches[k].regions.begin(), stretches[k].regions.end());
        if (k < cuts.size())
            out.kept.push_back(cuts[k]);
    }

    Emitter emit{base, s.budget, {}, 0, false};
    size_t region = 0, b = 0, v = 0;
    auto hunk = [&](size_t kb, size_t kv) {
        if (kb == b && kv == v)
            return;
        emit.equal(base.starts[b] - emit.at);
        while (region < regions.size() && regions[region].r1 < kb)
            region++;
        if (region < regions.size() && regions[region].r0 <= b && kb <= regions[region].r1) {
            const Region &r = regions[region];
            const size_t to = r.to_break ? base.starts[r.r1] - 1 : base.starts[r.r1];
            emit.whole(b, kb, version.span(v, kv), base.starts[r.r0], to, true);
        } else if (kb - b == kv - v) {
            for (size_t t = 0; t < kb - b; t++) {
                emit.equal(base.starts[b + t] - emit.at);
                emit.rewrite(base.line(b + t), version.line(v + t), base.starts[b + t]);
            }
        } else {
            emit.whole(b, kb, version.span(v, kv), base.starts[b], base.starts[kb], false);
        }
    };
    for (const Pair &p : out.kept) {
        hunk(p.b, p.v);
        b = p.b + 1;
        v = p.v + 1;
    }
    hunk(base.count(), version.count());
    out.changes = std::move(emit.found);
    return out;
}

}  // namespace merge_parts

#include "textengine/diff/merge.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "textengine/diff/diff_internal.h"
#include "textengine/heap_string.h"

using std::string;
using std::string_view;

namespace {

// One change of a version: `text` stands for the range [start, end) of the
// base. [reach_start, reach_end] is the stretch of the base that the places
// at which the same change could as well stand cover; [span_start,
// span_end], when not empty, the stretch over which other equally short
// readings of the version's lines put the changes there.
struct Change {
    size_t start = 0, end = 0;
    string text;
    size_t reach_start = 0, reach_end = 0;
    size_t span_start = SIZE_MAX, span_end = 0;
    // Found by reading its lines exactly: where it takes or puts a line
    // break, its place is the reading's, and other places are in its span.
    bool settled = false;
};

bool at_line_start(string_view base, size_t at) { return at == 0 || base[at - 1] == '\n'; }

bool is_line_break(char c) { return c == '\n' || c == '\r'; }

// Letters and digits, and every byte of a character beyond ASCII.
bool is_word(char c) {
    const unsigned char u = (unsigned char)c;
    return u >= 0x80 || (u >= '0' && u <= '9') || ((u | 0x20) >= 'a' && (u | 0x20) <= 'z');
}

// How far a change's reach goes over the word it falls in: past that, a run
// of letters is no word a person rewrote.
constexpr size_t kWordReach = 64;

// A change that begins or ends inside a word (or glues its text to one)
// reaches over that word: another version's edit of the same word meets it,
// rather than making a word of neither.
void reach_over_words(string_view base, Change &c) {
    const string &put = c.text;
    size_t &from = c.reach_start, &to = c.reach_end;
    if (from > 0 && is_word(base[from - 1]) &&
        ((from < base.size() && is_word(base[from])) || (!put.empty() && is_word(put.front())))) {
        for (size_t k = 0; k < kWordReach && from > 0 && is_word(base[from - 1]); k++)
            from--;
    }
    if (to < base.size() && is_word(base[to]) &&
        ((to > 0 && is_word(base[to - 1])) || (!put.empty() && is_word(put.back())))) {
        for (size_t k = 0; k < kWordReach && to < base.size() && is_word(base[to]); k++)
            to++;
    }
}

// `text` turned by `shift` bytes: to the left (the change moved right)
// when positive.
string rotated(const string &text, long shift) {
    if (text.empty())
        return text;
    const long n = (long)text.size();
    const size_t by = (size_t)(((shift % n) + n) % n);
    return text.substr(by) + text.substr(0, by);
}

// Finds how far the change can move and still stand for the same text (its
// deleted bytes the same run of the base turned, its inserted bytes turned
// alike), never past `low` or `high`, the changes of this version around
// it. Of those places, the ones where it keeps whole lines together (it
// begins at a line's start and what it deletes and what it inserts end with
// a line break) are how a person reads it: the change stands at the first of
// them, and they alone make its reach. Otherwise the reach is every place.
void place(string_view base, Change &c, size_t low, size_t high) {
    const size_t s = c.start, e = c.end;
    const bool deletes = e > s;
    const string &put = c.text;
    const size_t n = put.size();

    size_t left = 0;
    while (s - left > low) {
        const char entering = base[s - left - 1];
        if (deletes && entering != base[e - left - 1])
            break;
        if (n && entering != put[(n - 1 - left % n)])
            break;
        left++;
    }
    size_t right = 0;
    while (e + right < high) {
        const char entering = base[e + right];
        if (deletes && entering != base[s + right])
            break;
        if (n && entering != put[right % n])
            break;
        right++;
    }

    auto keeps_lines = [&](long shift) {
        const size_t start = (size_t)((long)s + shift), end = (size_t)((long)e + shift);
        if (!at_line_start(base, start) || (deletes && !at_line_start(base, end)))
            return false;
        return !n || put[(size_t)((((long)n - 1 + shift) % (long)n + (long)n) % (long)n)] == '\n';
    };
    long first = 1, last = 0;
    for (long shift = -(long)left; shift <= (long)right; shift++) {
        if (!keeps_lines(shift))
            continue;
        if (first > last)
            first = shift;
        last = shift;
    }
    if (first > last) {
        c.reach_start = s - left;
        c.reach_end = e + right;
        // Lines added at a line's end (or start) stand in the boundary after
        // (or before) it, as lines inserted there do.
        if (put.find('\n') != string::npos) {
            while (c.reach_end < high && is_line_break(base[c.reach_end]))
                c.reach_end++;
            while (c.reach_start > low && is_line_break(base[c.reach_start - 1]))
                c.reach_start--;
        }
    } else {
        c.start = (size_t)((long)s + first);
        c.end = (size_t)((long)e + first);
        c.text = rotated(put, first);
        c.reach_start = c.start;
        c.reach_end = (size_t)((long)e + last);
    }
    reach_over_words(base, c);
}

size_t weight(const Change &c) { return std::max(c.end - c.start, c.text.size()); }

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

// Distinct lines a line pass can tell apart: one character each, every
// code point but NUL and the surrogates.
constexpr size_t kMostLines = 0x10FFFF - 0x800;

// --- The differences, line by line first ---------------------------------------------

// A text's lines, each with its line break (the last may have none).
struct Lines {
    explicit Lines(string_view text) : text(text) {
        for (size_t at = 0; at < text.size();) {
            starts.push_back(at);
            const size_t brk = text.find('\n', at);
            at = brk == string_view::npos ? text.size() : brk + 1;
        }
        starts.push_back(text.size());
    }
    size_t count() const { return starts.size() - 1; }
    string_view line(size_t i) const { return text.substr(starts[i], starts[i + 1] - starts[i]); }
    string_view span(size_t first, size_t last) const { return text.substr(starts[first], starts[last] - starts[first]); }

    string_view text;
    std::vector<size_t> starts;
};

// A line of the base and a line of the version that stand for each other.
struct Pair {
    size_t b, v;
};

// A stretch of lines of the base, [b0, b1), and of the version, [v0, v1).
struct Run {
    size_t b0, b1, v0, v1;
};

// Stretches of at most this many cells (their lines and one more of each
// text, multiplied) are read exactly, every way of keeping their lines
// weighed; longer ones by the lines a quicker diff keeps.
constexpr size_t kMostCells = size_t(1) << 14;
// How much of two lines' ends the likeness compares.
constexpr size_t kLikenessSpan = 4096;
// How many kept lines on each side of lines not kept are read again with
// them.
constexpr size_t kMargin = 3;

size_t cells(const Run &r) { return (r.b1 - r.b0 + 1) * (r.v1 - r.v0 + 1); }

// The lines of a long stretch that a diff of its lines, one character each,
// keeps; none when it has more distinct lines than there are characters.
void kept_by_codes(const Lines &base, const Lines &version, const Run &r,
                   dmp_detail::Budget &budget, std::vector<Pair> &kept) {
    std::unordered_map<string_view, uint32_t> ids;
    string coded[2];
    const Lines *sides[2] = {&base, &version};
    const size_t firsts[2] = {r.b0, r.v0}, lasts[2] = {r.b1, r.v1};
    for (int side = 0; side < 2; side++)
        for (size_t i = firsts[side]; i < lasts[side]; i++) {
            const auto [it, fresh] = ids.emplace(sides[side]->line(i), (uint32_t)ids.size() + 1);
            if (ids.size() > kMostLines)
                return;
            append_code_point(coded[side], it->second < 0xD800 ? it->second : it->second + 0x800);
        }
    size_t b = r.b0, v = r.v0;
    for (const dmp_detail::D &d :
         dmp_detail::tidy(dmp_detail::raw_diff(budget, coded[0], coded[1]))) {
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
}

// A blank line says nothing of where it is.
bool blank(string_view line) { return line.find_first_not_of(" \t\r\n") == string_view::npos; }

// The lines of both texts as numbers, equal where their texts are, and for
// each number how often it occurs in the base and in the version, where it
// last does, and whether it is blank. `middle` is the stretch between the
// lines the two begin and end with alike.
struct Census {
    struct Seen {
        size_t in_base = 0, in_version = 0, b = 0, v = 0;
        bool blank = false;
    };

    Census(const Lines &base, const Lines &version) {
        std::unordered_map<string_view, uint32_t> numbers;
        numbers.reserve(base.count() + version.count());
        seen.reserve(base.count() + version.count());
        auto number = [&](string_view line) {
            const auto [it, fresh] = numbers.emplace(line, (uint32_t)seen.size());
            if (fresh)
                seen.push_back({0, 0, 0, 0, blank(line)});
            return it->second;
        };
        base_lines.reserve(base.count());
        for (size_t i = 0; i < base.count(); i++) {
            base_lines.push_back(number(base.line(i)));
            seen[base_lines.back()].in_base++;
            seen[base_lines.back()].b = i;
        }
        version_lines.reserve(version.count());
        for (size_t j = 0; j < version.count(); j++) {
            version_lines.push_back(number(version.line(j)));
            seen[version_lines.back()].in_version++;
            seen[version_lines.back()].v = j;
        }
        size_t head = 0, tail = 0;
        const size_t n = base.count(), m = version.count();
        while (head < n && head < m && base_lines[head] == version_lines[head])
            head++;
        while (tail < n - head && tail < m - head &&
               base_lines[n - 1 - tail] == version_lines[m - 1 - tail])
            tail++;
        middle = {head, n - tail, head, m - tail};
    }

    // Whether line `i` of the base occurs once in each text and is not
    // blank: such a line says where it is.
    bool said_once(size_t i) const {
        const Seen &s = seen[base_lines[i]];
        return s.in_base == 1 && s.in_version == 1 && !s.blank;
    }

    std::vector<uint32_t> base_lines, version_lines;
    std::vector<Seen> seen;
    Run middle;
};

// The lines of a stretch said once, both of their places in it, and of
// them those in every longest run whose places in the version rise too
// (where two such runs differ, as with two lines that swapped places,
// neither line says where it is): each a line of the base with its line of
// the version, in order.
std::vector<Pair> lines_once(const Census &census, const Run &r) {
    std::vector<Pair> once;
    once.reserve(std::min(r.b1 - r.b0, r.v1 - r.v0));
    for (size_t i = r.b0; i < r.b1; i++) {
        if (!census.said_once(i))
            continue;
        const size_t v = census.seen[census.base_lines[i]].v;
        if (v >= r.v0 && v < r.v1)
            once.push_back({i, v});
    }
    // How long the longest rising run ending at each is, and starting there.
    const size_t count = once.size();
    std::vector<size_t> ending(count), starting(count), tails;
    for (size_t k = 0; k < count; k++) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), once[k].v);
        ending[k] = size_t(at - tails.begin()) + 1;
        if (at == tails.end())
            tails.push_back(once[k].v);
        else
            *at = once[k].v;
    }
    const size_t longest = tails.size();
    tails.clear();
    for (size_t k = count; k-- > 0;) {
        // Rising to the right is falling to the left.
        const size_t key = SIZE_MAX - once[k].v;
        const auto at = std::lower_bound(tails.begin(), tails.end(), key);
        starting[k] = size_t(at - tails.begin()) + 1;
        if (at == tails.end())
            tails.push_back(key);
        else
            *at = key;
    }
    std::vector<size_t> at_length(longest + 1);
    for (size_t k = 0; k < count; k++)
        at_length[ending[k]] += ending[k] + starting[k] - 1 == longest;
    std::vector<Pair> sure;
    sure.reserve(count);
    for (size_t k = 0; k < count; k++)
        if (ending[k] + starting[k] - 1 == longest && at_length[ending[k]] == 1)
            sure.push_back(once[k]);
    return sure;
}

// The lines kept as they were, as far as they are found cheaply: the lines
// the texts begin and end with alike, between them the lines that occur once
// in each (so that a line both keep stays whole and in place however alike
// the lines around it are), between those again the lines each stretch
// begins and ends with alike and, where what is left is too long to read
// exactly, the lines a diff of the lines keeps.
std::vector<Pair> kept_lines(const Lines &base, const Lines &version, const Census &census,
                             dmp_detail::Budget &budget) {
    std::vector<Pair> kept;
    kept.reserve(std::min(base.count(), version.count()));
    // Keeps the lines `r` begins with alike, and returns how many it ends
    // with alike, which the caller keeps after what lies between.
    auto ends = [&](Run &r) {
        while (r.b0 < r.b1 && r.v0 < r.v1 && census.base_lines[r.b0] == census.version_lines[r.v0])
            kept.push_back({r.b0++, r.v0++});
        size_t tail = 0;
        while (r.b1 - tail > r.b0 && r.v1 - tail > r.v0 &&
               census.base_lines[r.b1 - 1 - tail] == census.version_lines[r.v1 - 1 - tail])
            tail++;
        r.b1 -= tail;
        r.v1 -= tail;
        return tail;
    };
    auto keep_tail = [&](const Run &r, size_t tail) {
        for (size_t k = 0; k < tail; k++)
            kept.push_back({r.b1 + k, r.v1 + k});
    };
    auto stretch = [&](Run r) {
        const size_t alike = ends(r);
        if (cells(r) > kMostCells)
            kept_by_codes(base, version, r, budget, kept);
        keep_tail(r, alike);
    };
    const Run middle = census.middle;
    for (size_t k = 0; k < middle.b0; k++)
        kept.push_back({k, k});
    size_t b = middle.b0, v = middle.v0;
    for (const Pair &anchor : lines_once(census, middle)) {
        stretch({b, anchor.b, v, anchor.v});
        kept.push_back(anchor);
        b = anchor.b + 1;
        v = anchor.v + 1;
    }
    stretch({b, middle.b1, v, middle.v1});
    keep_tail(middle, base.count() - middle.b1);
    return kept;
}

// A stretch read as one: lines the cheap finding did not keep, and the kept
// lines around them whose text is among the stretch's own, since another
// reading may keep one of those lines in their stead (which of two blank
// lines went). A kept line of another text stays kept in every reading, and
// closes the stretch. `first` and `last` bound the kept lines inside it.
struct Window {
    Run run;
    size_t first, last;
};

std::vector<Window> windows(const Lines &base, const Lines &version, const Census &census,
                            const std::vector<Pair> &kept) {
    std::vector<Window> out;
    // The texts of the last window's lines, gathered when first asked.
    std::unordered_set<uint32_t> texts;
    bool gathered = false;
    auto gather = [&](const Run &r) {
        for (size_t i = r.b0; i < r.b1; i++)
            texts.insert(census.base_lines[i]);
        for (size_t j = r.v0; j < r.v1; j++)
            texts.insert(census.version_lines[j]);
    };
    auto holds = [&](size_t line) {
        if (!gathered) {
            texts.clear();
            gather(out.back().run);
            gathered = true;
        }
        return texts.count(census.base_lines[line]) > 0;
    };
    auto take_in = [&](const Window &gap) {
        if (!out.empty() && out.back().run.b1 == gap.run.b0) {
            Window &w = out.back();
            if (gathered)
                gather(gap.run);
            w.run.b1 = gap.run.b1;
            w.run.v1 = gap.run.v1;
            w.last = gap.last;
        } else {
            out.push_back(gap);
            gathered = false;
        }
        for (;;) {
            Window &w = out.back();
            while (w.first > 0 && kept[w.first - 1].b + 1 == w.run.b0 &&
                   kept[w.first - 1].v + 1 == w.run.v0 && holds(w.run.b0 - 1)) {
                w.first--;
                w.run.b0--;
                w.run.v0--;
            }
            if (out.size() > 1 && out[out.size() - 2].run.b1 == w.run.b0) {
                Window &before = out[out.size() - 2];
                before.run.b1 = w.run.b1;
                before.run.v1 = w.run.v1;
                before.last = w.last;
                out.pop_back();
                gathered = false;
                continue;
            }
            while (w.last < kept.size() && kept[w.last].b == w.run.b1 &&
                   kept[w.last].v == w.run.v1 && holds(w.run.b1)) {
                w.last++;
                w.run.b1++;
                w.run.v1++;
            }
            return;
        }
    };
    size_t b = 0, v = 0;
    for (size_t k = 0; k <= kept.size(); k++) {
        const size_t kb = k < kept.size() ? kept[k].b : base.count(),
                     kv = k < kept.size() ? kept[k].v : version.count();
        if (kb != b || kv != v)
            take_in({{b, kb, v, kv}, k, k});
        b = kb + 1;
        v = kv + 1;
    }
    return out;
}

// A window with a few kept lines more on each side, since the cheap finding
// may have kept them where a shorter reading changes them: a line deleted
// and the same inserted a few lines on, where a line between could as well
// go and come, or a line said once that moved past lines a reading keeps
// in its stead.
Window with_margin(Window w, const std::vector<Pair> &kept) {
    for (size_t k = 0; k < kMargin && w.first > 0 && kept[w.first - 1].b + 1 == w.run.b0 &&
                       kept[w.first - 1].v + 1 == w.run.v0;
         k++) {
        w.first--;
        w.run.b0--;
        w.run.v0--;
    }
    for (size_t k = 0; k < kMargin && w.last < kept.size() && kept[w.last].b == w.run.b1 &&
                       kept[w.last].v == w.run.v1;
         k++) {
        w.last++;
        w.run.b1++;
        w.run.v1++;
    }
    return w;
}

// The weight of a way through a stretch of lines: the lines it keeps, of
// them the lines occurring once, the bytes it changes and the changes it
// cuts them into, heavier in that order.
struct Weight {
    int64_t kept, once;
    uint64_t bytes;
    int64_t changes;
    Weight operator+(const Weight &o) const {
        return {kept + o.kept, once + o.once, bytes + o.bytes, changes + o.changes};
    }
    bool operator==(const Weight &o) const = default;
    bool operator>(const Weight &o) const {
        if (kept != o.kept)
            return kept > o.kept;
        if (once != o.once)
            return once > o.once;
        if (bytes != o.bytes)
            return bytes < o.bytes;
        return changes < o.changes;
    }
};

// What reading a stretch exactly works in: the heaviest ways to and from
// each node and state, the last move of one, the change a way is inside,
// and what each pair of lines costs to rewrite.
struct Tables {
    std::vector<Weight> to, from;
    std::vector<uint8_t> how, kinds;
    std::vector<uint64_t> rewrites;
};

// The changes found, in the base's order: edits with nothing kept between
// them are one change.
struct LineDiff {
    LineDiff(const Lines &base, const Lines &version)
        : base(base), version(version), census(base, version) {}

    const Lines &base, &version;
    const Census census;
    dmp_detail::Budget budget;
    std::vector<Change> found;
    size_t at = 0;  // in the base
    bool open = false;

    void equal(size_t length) {
        at += length;
        open = open && !length;
    }
    void edit(uint32_t op, string_view text) {
        if (text.empty())
            return;
        if (!open)
            found.push_back({at, at, string(), at, at});
        open = true;
        if (op == DMP_DELETE) {
            found.back().end += text.size();
            at += text.size();
        } else {
            found.back().text += text;
        }
    }
    void characters(string_view from, string_view to) {
        for (const dmp_detail::D &d : dmp_detail::tidy(dmp_detail::raw_diff(budget, from, to))) {
            if (d.op == DMP_EQUAL)
                equal(d.text.size());
            else
                edit(d.op, d.text);
        }
    }
    // The changes from the `first`th on reach over [from, to] too.
    void widen(size_t first, size_t from, size_t to) {
        for (size_t k = first; k < found.size(); k++) {
            found[k].span_start = std::min(found[k].span_start, from);
            found[k].span_end = std::max(found[k].span_end, to);
        }
    }

    // What it costs to make line `b` into line `v`: the bytes outside what
    // they begin and end with alike. A line deleted or inserted costs its
    // length.
    static size_t cost(string_view b, string_view v) {
        if (b == v)
            return 0;
        const size_t most = std::min({b.size(), v.size(), kLikenessSpan});
        size_t p = 0;
        while (p < most && b[p] == v[p])
            p++;
        size_t s = 0;
        while (s < most - p && b[b.size() - 1 - s] == v[v.size() - 1 - s])
            s++;
        return b.size() + v.size() - 2 * (p + s);
    }

    // Reads a stretch exactly. Of the ways through it, those that keep the
    // most lines, of them those that keep the most lines occurring once in
    // each text (such a line says where it is), of them those that change the
    // fewest bytes (a line replaced by another costs the bytes outside what
    // the two begin and end with alike, and is then diffed by its
    // characters), and of them those that cut the changes into the fewest
    // stretches are equally short; one of them is made. Where equally short
    // ways differ between two lines that all of them keep, each change there
    // reaches from the first line any of them changes to where the last of
    // those changes ends.
    void read(const Run &r) {
        const size_t n = r.b1 - r.b0, m = r.v1 - r.v0, width = m + 1, nodes = (n + 1) * width;
        const uint32_t *b_id = census.base_lines.data() + r.b0,
                       *v_id = census.version_lines.data() + r.v0;

        // A way is a path through the nodes (i, j), i lines of the base and
        // j of the version behind, at each node in one of two states: after
        // a kept line (or at the start), or inside a change.
        enum Move : uint8_t { kKeep = 1, kDelete, kInsert, kRewrite };
        auto allowed = [&](int mv, size_t i, size_t j) {
            switch (mv) {
            case kKeep:
                return i < n && j < m && b_id[i] == v_id[j];
            case kDelete:
                return i < n;
            case kInsert:
                return j < m;
            default:
                return i < n && j < m && b_id[i] != v_id[j];
            }
        };
        auto target = [&](int mv, size_t i, size_t j) {
            return (i + (mv != kInsert)) * width + j + (mv != kDelete);
        };
        const Weight none{INT64_MIN, 0, 0, 0};
        // The tables stay with the thread for the next stretch it reads.
        thread_local Tables tables;
        std::vector<uint64_t> &rewrites = tables.rewrites;
        rewrites.assign(n * m, UINT64_MAX);
        auto step = [&](int mv, size_t i, size_t j, int state) -> Weight {
            const int64_t opens = state ? 0 : 1;
            switch (mv) {
            case kKeep:
                return {1, census.said_once(r.b0 + i), 0, 0};
            case kDelete:
                return {0, 0, base.line(r.b0 + i).size(), opens};
            case kInsert:
                return {0, 0, version.line(r.v0 + j).size(), opens};
            default:
                uint64_t &bytes = rewrites[i * m + j];
                if (bytes == UINT64_MAX)
                    bytes = cost(base.line(r.b0 + i), version.line(r.v0 + j));
                return {0, 0, bytes, opens};
            }
        };
        auto lines_kept = [&](const Weight &w) { return (size_t)w.kept; };

        // The heaviest way from the start to each node and state (and the
        // last move of one such), and from each to the end.
        std::vector<Weight> &to = tables.to, &from = tables.from;
        std::vector<uint8_t> &how = tables.how;
        to.assign(2 * nodes, none);
        from.assign(2 * nodes, none);
        how.assign(2 * nodes, 0);
        to[0] = {0, 0, 0, 0};
        for (size_t i = 0; i <= n; i++)
            for (size_t j = 0; j <= m; j++)
                for (int s = 0; s < 2; s++) {
                    const Weight here = to[2 * (i * width + j) + s];
                    if (here.kept == INT64_MIN)
                        continue;
                    for (int mv = kKeep; mv <= kRewrite; mv++)
                        if (allowed(mv, i, j)) {
                            const size_t there = 2 * target(mv, i, j) + (mv != kKeep);
                            const Weight w = here + step(mv, i, j, s);
                            if (to[there].kept == INT64_MIN || w > to[there]) {
                                to[there] = w;
                                how[there] = (uint8_t)(mv | s << 3);
                            }
                        }
                }
        from[2 * (nodes - 1)] = from[2 * (nodes - 1) + 1] = {0, 0, 0, 0};
        for (size_t i = n + 1; i-- > 0;)
            for (size_t j = m + 1; j-- > 0;)
                for (int s = 0; s < 2; s++)
                    for (int mv = kKeep; mv <= kRewrite; mv++)
                        if (allowed(mv, i, j)) {
                            const Weight rest = from[2 * target(mv, i, j) + (mv != kKeep)];
                            Weight &here = from[2 * (i * width + j) + s];
                            if (rest.kept != INT64_MIN) {
                                const Weight w = step(mv, i, j, s) + rest;
                                if (here.kept == INT64_MIN || w > here)
                                    here = w;
                            }
                        }
        const Weight best = from[0];
        auto on_best = [&](int mv, size_t i, size_t j, int s) {
            const Weight here = to[2 * (i * width + j) + s];
            if (here.kept == INT64_MIN || !allowed(mv, i, j))
                return false;
            const Weight rest = from[2 * target(mv, i, j) + (mv != kKeep)];
            return rest.kept != INT64_MIN && here + step(mv, i, j, s) + rest == best;
        };

        std::vector<uint8_t> path;
        for (size_t i = n, j = m, s = to[2 * (nodes - 1)] == best ? 0 : 1; i || j;) {
            const uint8_t last = how[2 * (i * width + j) + s];
            path.push_back(last & 7);
            i -= (last & 7) != kInsert;
            j -= (last & 7) != kDelete;
            s = last >> 3;
        }
        std::reverse(path.begin(), path.end());

        // The kept lines every equally short way keeps: the only line kept
        // at its count. Between two of them (or the stretch's ends), a part
        // whose ways differ.
        const size_t most = lines_kept(best);
        std::vector<uint32_t> candidates(most);
        std::vector<size_t> candidate(most);
        for (size_t i = 0; i < n; i++)
            for (size_t j = 0; j < m; j++)
                for (int s = 0; s < 2; s++)
                    if (on_best(kKeep, i, j, s)) {
                        const size_t level = lines_kept(to[2 * (i * width + j) + s]);
                        candidates[level]++;
                        candidate[level] = i * width + j;
                        break;
                    }
        struct Part {
            size_t end;  // the node of the kept line that closes it, or the last node
            bool differs;
            size_t from, to;
        };
        // How far the changes of a part whose ways differ reach: from the
        // first line any way changes to where the last change of any ends
        // (before the line break of a line rewritten, which stays; at the
        // next line's start after lines only deleted or only inserted).
        std::vector<uint8_t> &kinds = tables.kinds;  // of the change a way is inside, at each node
        kinds.clear();
        enum : uint8_t { kOutside = 1, kDeleting = 2, kInserting = 4, kBoth = 8 };
        auto reach_of = [&](size_t start, Part &part) {
            if (kinds.empty())
                kinds.assign(nodes, 0);
            const size_t r0 = start / width, c0 = start % width, r1 = part.end / width,
                         c1 = part.end % width;
            // `last` counts half lines: 2i at line i's start, 2i - 1 before
            // the break of the line before.
            size_t first_row = SIZE_MAX, last = 0;
            auto ends = [&](size_t row, uint8_t kind) {
                last = std::max(last, kind == kBoth ? 2 * row - 1 : 2 * row);
            };
            kinds[start] = kOutside;
            for (size_t i = r0; i <= r1; i++)
                for (size_t j = c0; j <= c1; j++)
                    for (uint8_t kind = kOutside; kind <= kBoth; kind <<= 1) {
                        if (!(kinds[i * width + j] & kind))
                            continue;
                        const int s = kind != kOutside;
                        if (i == r1 && j == c1) {
                            if (s)
                                ends(i, kind);
                            continue;
                        }
                        for (int mv = kKeep; mv <= kRewrite; mv++) {
                            if (!on_best(mv, i, j, s))
                                continue;
                            const size_t there = target(mv, i, j);
                            if (mv == kKeep) {
                                if (s)
                                    ends(i, kind);
                                kinds[there] |= kOutside;
                                continue;
                            }
                            first_row = std::min(first_row, i);
                            uint8_t next = kBoth;
                            if (mv == kDelete && (kind == kOutside || kind == kDeleting))
                                next = kDeleting;
                            else if (mv == kInsert && (kind == kOutside || kind == kInserting))
                                next = kInserting;
                            kinds[there] |= next;
                        }
                    }
            if (first_row == SIZE_MAX) {
                part.differs = false;
                return;
            }
            part.from = base.starts[r.b0 + first_row];
            part.to =
                last % 2 ? base.starts[r.b0 + (last + 1) / 2] - 1 : base.starts[r.b0 + last / 2];
        };
        std::vector<Part> parts;
        size_t start = 0, open_level = 0;  // the first kept line's count in the part
        for (size_t level = 0; level <= most; level++) {
            if (level < most && candidates[level] != 1)
                continue;
            // A part whose ways differ keeps lines that not all of them keep.
            Part part{level < most ? candidate[level] : nodes - 1, level > open_level, 0, 0};
            if (part.differs)
                reach_of(start, part);
            parts.push_back(part);
            start = part.end + width + 1;
            open_level = level + 1;
        }

        // Made move by move, each change where the way made puts it (the
        // other places its part's reach). Lines replaced by as many lines are
        // each rewritten apart; lines replaced by more or fewer are one
        // change, which of them became which being a guess, and it reaches
        // over all of them. It keeps the line break of the last line it
        // replaces, as a rewritten line does, rather than meeting what the
        // other version puts at the start of the next line.
        size_t i = 0, j = 0, part = 0, hunk_first = 0, hunk_i = 0, hunk_j = 0;
        for (size_t k = 0; k < path.size(); k++) {
            const uint8_t mv = path[k];
            const size_t first = open ? found.size() - 1 : found.size();
            if (mv != kKeep && (k == 0 || path[k - 1] == kKeep)) {
                hunk_first = first;
                hunk_i = i;
                hunk_j = j;
            }
            if (mv == kKeep) {
                equal(base.line(r.b0 + i).size());
                if (i * width + j == parts[part].end)
                    part++;
            } else if (mv == kDelete) {
                edit(DMP_DELETE, base.line(r.b0 + i));
            } else if (mv == kInsert) {
                edit(DMP_INSERT, version.line(r.v0 + j));
            } else {
                characters(base.line(r.b0 + i), version.line(r.v0 + j));
            }
            for (size_t c = first; c < found.size(); c++)
                found[c].settled = true;
            if (mv != kKeep && parts[part].differs)
                widen(first, parts[part].from, parts[part].to);
            i += mv != kInsert;
            j += mv != kDelete;
            if (mv != kKeep && (k + 1 == path.size() || path[k + 1] == kKeep) && i > hunk_i &&
                j > hunk_j) {
                keep_break(base.starts[r.b0 + i]);
                if (i - hunk_i != j - hunk_j)
                    widen(hunk_first, base.starts[r.b0 + hunk_i], base.starts[r.b0 + i] - 1);
            }
        }
    }

    // The last change, ending at `end` (a line's start), keeps the line
    // break before `end` where what it deletes and what it inserts can as
    // well end with that break: it is trimmed from both, or the change
    // stands before it.
    void keep_break(size_t end) {
        Change &c = found.back();
        const string_view text = base.text;
        if (c.end != end || end == 0 || text[end - 1] != '\n')
            return;
        const size_t k = end >= 2 && text[end - 2] == '\r' ? 2 : 1;
        const string_view brk = text.substr(end - k, k),
                          gone = text.substr(c.start, c.end - c.start);
        auto ends_with_break = [&](string_view s) {
            return s.size() >= k && s.substr(s.size() - k) == brk;
        };
        if (!gone.empty() && !c.text.empty()) {
            if (ends_with_break(gone) && ends_with_break(c.text)) {
                c.end -= k;
                c.text.resize(c.text.size() - k);
            }
        } else if (ends_with_break(gone.empty() ? string_view(c.text) : gone) && c.start >= k &&
                   text.substr(c.start - k, k) == brk) {
            c.start -= k;
            c.end -= k;
            if (!c.text.empty())
                c.text = string(brk) + c.text.substr(0, c.text.size() - k);
        }
    }

    // A stretch too long to read exactly: the lines kept as they were found,
    // and between them the lines diffed by their characters. When it holds
    // kept lines, which of them another reading keeps is not known, and its
    // changes reach over all of it.
    void coarse(const Window &w, const std::vector<Pair> &kept) {
        const size_t first = found.size();
        size_t b = w.run.b0, v = w.run.v0;
        for (size_t k = w.first; k <= w.last; k++) {
            const size_t kb = k < w.last ? kept[k].b : w.run.b1,
                         kv = k < w.last ? kept[k].v : w.run.v1;
            if (kb > b || kv > v)
                characters(base.span(b, kb), version.span(v, kv));
            if (k < w.last)
                equal(base.line(kb).size());
            b = kb + 1;
            v = kv + 1;
        }
        if (w.last > w.first)
            widen(first, base.starts[w.run.b0], base.starts[w.run.b1]);
    }
};

// The changes from `base` to `version`, found line by line. Windows whose
// margins meet are read as one with them when that is short enough, and
// each alone otherwise.
std::vector<Change> line_diff(string_view base_text, string_view version_text) {
    const Lines base(base_text), version(version_text);
    LineDiff diff(base, version);
    const std::vector<Pair> kept = kept_lines(base, version, diff.census, diff.budget);
    const std::vector<Window> found = windows(base, version, diff.census, kept);
    size_t b = 0;
    auto read = [&](const Window &w) {
        diff.equal(base.span(b, w.run.b0).size());
        if (cells(w.run) <= kMostCells)
            diff.read(w.run);
        else
            diff.coarse(w, kept);
        b = w.run.b1;
    };
    for (size_t k = 0; k < found.size();) {
        Window wide = with_margin(found[k], kept);
        size_t end = k + 1;
        for (; end < found.size(); end++) {
            const Window next = with_margin(found[end], kept);
            if (next.run.b0 > wide.run.b1)
                break;
            wide.run.b1 = next.run.b1;
            wide.run.v1 = next.run.v1;
            wide.last = next.last;
        }
        if (cells(wide.run) <= kMostCells)
            read(wide);
        else
            for (size_t w = k; w < end; w++)
                read(found[w]);
        k = end;
    }
    diff.equal(base.span(b, base.count()).size());
    return std::move(diff.found);
}

// The changes that make `version` of `base`, in the base's order.
std::vector<Change> changes(string_view base, string_view version) {
    std::vector<Change> found = line_diff(base, version);
    std::vector<Change> out;
    for (size_t i = 0; i < found.size(); i++) {
        Change c = std::move(found[i]);
        if (c.settled && (c.text.find('\n') != string::npos ||
                          base.substr(c.start, c.end - c.start).find('\n') != string_view::npos)) {
            c.reach_start = c.start;
            c.reach_end = c.end;
            reach_over_words(base, c);
        } else {
            place(base, c, out.empty() ? 0 : out.back().end,
                  i + 1 < found.size() ? found[i + 1].start : base.size());
        }
        if (c.span_start <= c.span_end) {
            c.reach_start = std::min(c.reach_start, c.span_start);
            c.reach_end = std::max(c.reach_end, c.span_end);
        }
        // Changes of one line with little between them are one change: that
        // little is rewritten with them.
        while (!out.empty()) {
            const Change &before = out.back();
            const string_view between = base.substr(before.end, c.start - before.end);
            if (between.find('\n') != string_view::npos || between.size() > std::min(weight(before), weight(c)))
                break;
            Change joined{before.start, c.end, before.text + string(between) + c.text,
                          std::min(before.reach_start, c.reach_start), std::max(before.reach_end, c.reach_end)};
            out.pop_back();
            c = std::move(joined);
        }
        out.push_back(std::move(c));
    }
    return out;
}

// The base's bytes [from, to) with `changes` made in them.
string with_changes(string_view base, const Change *first, const Change *last, size_t from, size_t to) {
    string text;
    size_t at = from;
    for (const Change *c = first; c != last; c++) {
        text.append(base, at, c->start - at);
        text += c->text;
        at = c->end;
    }
    text.append(base, at, to - at);
    return text;
}

// The merged text, or false when the versions' changes meet and differ.
bool merge(string_view base, const std::vector<Change> &mine, const std::vector<Change> &theirs, string &out) {
    size_t i = 0, j = 0, at = 0;
    while (i < mine.size() || j < theirs.size()) {
        // The changes of either version whose reaches overlap or touch, one
        // after the other, make a group.
        const size_t first_mine = i, first_theirs = j;
        const bool mine_first = j == theirs.size() || (i < mine.size() && mine[i].reach_start <= theirs[j].reach_start);
        size_t from = mine_first ? mine[i].reach_start : theirs[j].reach_start, to = from;
        for (;;) {
            if (i < mine.size() && mine[i].reach_start <= to)
                to = std::max(to, mine[i++].reach_end);
            else if (j < theirs.size() && theirs[j].reach_start <= to)
                to = std::max(to, theirs[j++].reach_end);
            else
                break;
        }
        const bool both = i > first_mine && j > first_theirs;
        if (!both) {
            const std::vector<Change> &side = i > first_mine ? mine : theirs;
            for (size_t k = i > first_mine ? first_mine : first_theirs; k < (i > first_mine ? i : j); k++) {
                out.append(base, at, side[k].start - at);
                out += side[k].text;
                at = side[k].end;
            }
            continue;
        }
        const string ours = with_changes(base, mine.data() + first_mine, mine.data() + i, from, to);
        if (ours != with_changes(base, theirs.data() + first_theirs, theirs.data() + j, from, to))
            return false;
        out.append(base, at, from - at);
        out += ours;
        at = to;
    }
    out.append(base, at, base.size() - at);
    return true;
}

}  // namespace

char *dmp_merge(const char *base, size_t base_length, const char *mine, size_t mine_length, const char *theirs,
                size_t theirs_length, size_t *length) {
    if (!base || !mine || !theirs)
        return nullptr;
    string_view original(base, base_length), edited(mine, mine_length),
        other(theirs, theirs_length);
    // A byte order mark that all three begin with is no part of the first
    // line, which is then read as the lines like it are (a blank line among
    // blank lines); the merge begins with it.
    constexpr string_view kByteOrderMark = "\xEF\xBB\xBF";
    string merged;
    if (original.starts_with(kByteOrderMark) && edited.starts_with(kByteOrderMark) &&
        other.starts_with(kByteOrderMark)) {
        for (string_view *text : {&original, &edited, &other})
            text->remove_prefix(kByteOrderMark.size());
        merged = kByteOrderMark;
    }
    if (!merge(original, changes(original, edited), changes(original, other), merged))
        return nullptr;
    if (length)
        *length = merged.size();
    return heap_string(merged);
}

#include "textengine/diff/merge.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "textengine/diff/diff_internal.h"
#include "textengine/heap_string.h"

using std::string;
using std::string_view;

namespace {

// One change of a version: `text` stands for the range [start, end) of the
// base. [reach_start, reach_end] is the stretch of the base that the places
// at which the same change could as well stand cover.
struct Change {
    size_t start = 0, end = 0;
    string text;
    size_t reach_start = 0, reach_end = 0;
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

// A run of lines of the base, [b0, b1), and of the version, [v0, v1).
struct Run {
    size_t b0, b1, v0, v1;
};

// Regions of at most this many pairs of lines are aligned by how alike the
// lines are; larger ones line by line as characters.
constexpr size_t kMostPairs = 4096;
// How much of two lines' ends the likeness compares.
constexpr size_t kLikenessSpan = 4096;

// The changes found, in the base's order: edits with nothing kept between
// them are one change.
struct LineDiff {
    const Lines &base, &version;
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

    // The cheapest way through the run, each line of the base kept as a
    // line of the version (the same or changed), deleted, or left for
    // lines inserted; a changed line is then diffed by its characters.
    void align(const Run &r) {
        const size_t n = r.b1 - r.b0, m = r.v1 - r.v0;
        std::vector<size_t> total((n + 1) * (m + 1));
        std::vector<unsigned char> step((n + 1) * (m + 1));  // 1 pair, 2 delete, 3 insert
        auto at = [m](size_t i, size_t j) { return i * (m + 1) + j; };
        for (size_t i = 0; i <= n; i++)
            for (size_t j = 0; j <= m; j++) {
                if (!i && !j)
                    continue;
                size_t best = SIZE_MAX;
                unsigned char how = 0;
                if (i && j) {
                    best = total[at(i - 1, j - 1)] + cost(base.line(r.b0 + i - 1), version.line(r.v0 + j - 1));
                    how = 1;
                }
                if (i && total[at(i - 1, j)] + base.line(r.b0 + i - 1).size() < best) {
                    best = total[at(i - 1, j)] + base.line(r.b0 + i - 1).size();
                    how = 2;
                }
                if (j && total[at(i, j - 1)] + version.line(r.v0 + j - 1).size() < best) {
                    best = total[at(i, j - 1)] + version.line(r.v0 + j - 1).size();
                    how = 3;
                }
                total[at(i, j)] = best;
                step[at(i, j)] = how;
            }
        std::vector<unsigned char> path;
        for (size_t i = n, j = m; i || j;) {
            const unsigned char how = step[at(i, j)];
            path.push_back(how);
            i -= how != 3;
            j -= how != 2;
        }
        size_t i = r.b0, j = r.v0;
        for (auto how = path.rbegin(); how != path.rend(); ++how) {
            if (*how == 1) {
                const string_view b = base.line(i++), v = version.line(j++);
                if (b == v)
                    equal(b.size());
                else
                    characters(b, v);
            } else if (*how == 2) {
                edit(DMP_DELETE, base.line(i++));
            } else {
                edit(DMP_INSERT, version.line(j++));
            }
        }
    }

    // A run too large to align pair by pair: its lines, one character
    // each, are diffed, and each run of lines that differ by its characters.
    void by_line_characters(const Run &r) {
        std::unordered_map<string_view, uint32_t> ids;
        string coded[2];
        const Lines *sides[2] = {&base, &version};
        const size_t firsts[2] = {r.b0, r.v0}, lasts[2] = {r.b1, r.v1};
        for (int side = 0; side < 2; side++)
            for (size_t i = firsts[side]; i < lasts[side]; i++) {
                const auto [it, fresh] = ids.emplace(sides[side]->line(i), (uint32_t)ids.size() + 1);
                if (ids.size() > kMostLines) {
                    characters(base.span(r.b0, r.b1), version.span(r.v0, r.v1));
                    return;
                }
                append_code_point(coded[side], it->second < 0xD800 ? it->second : it->second + 0x800);
            }
        size_t line[2] = {r.b0, r.v0}, pending[2] = {0, 0};
        auto end_pending = [&] {
            if (pending[0] || pending[1])
                characters(base.span(line[0], line[0] + pending[0]), version.span(line[1], line[1] + pending[1]));
            line[0] += pending[0];
            line[1] += pending[1];
            pending[0] = pending[1] = 0;
        };
        for (const dmp_detail::D &d : dmp_detail::tidy(dmp_detail::raw_diff(budget, coded[0], coded[1]))) {
            size_t count = 0;
            for (char c : d.text)
                count += !dmp_is_continuation((unsigned char)c);
            if (d.op == DMP_EQUAL) {
                end_pending();
                equal(base.span(line[0], line[0] + count).size());
                line[0] += count;
                line[1] += count;
            } else {
                pending[d.op == DMP_DELETE ? 0 : 1] += count;
            }
        }
        end_pending();
    }

    void run(const Run &r) {
        if (r.b0 == r.b1 && r.v0 == r.v1)
            return;
        if (r.b0 == r.b1 || r.v0 == r.v1) {
            edit(DMP_DELETE, base.span(r.b0, r.b1));
            edit(DMP_INSERT, version.span(r.v0, r.v1));
        } else if ((r.b1 - r.b0) * (r.v1 - r.v0) <= kMostPairs) {
            align(r);
        } else {
            by_line_characters(r);
        }
    }
};

// The changes from `base` to `version`, found so that a line both keep
// stays whole and in place however alike the lines around it are. The
// lines they begin and end with alike are kept; between, the lines that
// occur once in each and are not blank (the longest run of them in the same
// order) are kept too, and the runs of lines between those are aligned.
std::vector<Change> line_diff(string_view base_text, string_view version_text) {
    const Lines base(base_text), version(version_text);
    LineDiff diff{base, version, {}, {}};
    size_t head = 0;
    while (head < base.count() && head < version.count() && base.line(head) == version.line(head))
        head++;
    size_t tail = 0;
    while (tail < base.count() - head && tail < version.count() - head &&
           base.line(base.count() - 1 - tail) == version.line(version.count() - 1 - tail))
        tail++;
    diff.equal(base.span(0, head).size());
    const size_t b_end = base.count() - tail, v_end = version.count() - tail;

    struct Seen {
        size_t in_base = 0, in_version = 0, b = 0, v = 0;
    };
    std::unordered_map<string_view, Seen> seen;
    for (size_t i = head; i < b_end; i++) {
        Seen &s = seen[base.line(i)];
        s.in_base++;
        s.b = i;
    }
    for (size_t j = head; j < v_end; j++) {
        Seen &s = seen[version.line(j)];
        s.in_version++;
        s.v = j;
    }
    // A blank line says nothing of where it is.
    auto blank = [](string_view line) { return line.find_first_not_of(" \t\r\n") == string_view::npos; };
    std::vector<std::pair<size_t, size_t>> once;
    for (const auto &[line, s] : seen)
        if (s.in_base == 1 && s.in_version == 1 && !blank(line))
            once.emplace_back(s.b, s.v);
    std::sort(once.begin(), once.end());
    // The longest run of them whose places in the version rise too.
    std::vector<size_t> ends, before(once.size());
    for (size_t k = 0; k < once.size(); k++) {
        const auto place = std::lower_bound(ends.begin(), ends.end(), k,
                                            [&](size_t e, size_t key) { return once[e].second < once[key].second; });
        before[k] = place == ends.begin() ? SIZE_MAX : *(place - 1);
        if (place == ends.end())
            ends.push_back(k);
        else
            *place = k;
    }
    std::vector<std::pair<size_t, size_t>> anchors;
    for (size_t k = ends.empty() ? SIZE_MAX : ends.back(); k != SIZE_MAX; k = before[k])
        anchors.push_back(once[k]);
    std::reverse(anchors.begin(), anchors.end());

    size_t b = head, v = head;
    for (const auto &[ab, av] : anchors) {
        diff.run({b, ab, v, av});
        diff.equal(base.line(ab).size());
        b = ab + 1;
        v = av + 1;
    }
    diff.run({b, b_end, v, v_end});
    return std::move(diff.found);
}

// Two insertions of a version with only `kept` of the base between them,
// or two deletions, that are as well one insertion (or deletion) standing
// in `kept`: a line inserted after a run of blank lines, found as a blank
// line inserted before the run and its text put at the start of the run's
// last line. As one, it stands where the version put it, and meets what
// the other version did there. The one change, or nothing.
std::optional<Change> as_one(string_view base, const Change &before, const Change &after) {
    const bool inserts = before.start == before.end && after.start == after.end;
    const bool deletes = before.text.empty() && after.text.empty();
    if (!inserts && !deletes)
        return std::nullopt;
    const string_view kept = base.substr(before.end, after.start - before.end);
    // The longer of the stretch as the base has it and as the version does:
    // `kept` between the bytes the two changes insert, or delete.
    const string_view head = inserts ? string_view(before.text) : base.substr(before.start, before.end - before.start);
    const string_view tail = inserts ? string_view(after.text) : base.substr(after.start, after.end - after.start);
    const size_t longer = head.size() + kept.size() + tail.size();
    auto byte = [&](size_t i) {
        if (i < head.size())
            return head[i];
        i -= head.size();
        return i < kept.size() ? kept[i] : tail[i - kept.size()];
    };
    // One change when the longer begins with a part of `kept` (to a
    // character's start) and ends with the rest; it stands between them.
    size_t at = 0;
    while (at < kept.size() && byte(at) == kept[at])
        at++;
    while (at > 0 && at < kept.size() && dmp_is_continuation((unsigned char)kept[at]))
        at--;
    size_t same_end = 0;
    while (at + same_end < kept.size() && byte(longer - 1 - same_end) == kept[kept.size() - 1 - same_end])
        same_end++;
    if (at + same_end < kept.size())
        return std::nullopt;
    const size_t length = longer - kept.size();
    Change one;
    if (inserts) {
        one.start = one.end = before.end + at;
        for (size_t i = at; i < at + length; i++)
            one.text += byte(i);
    } else {
        one.start = before.start + at;
        one.end = one.start + length;
    }
    one.reach_start = one.start;
    one.reach_end = one.end;
    return one;
}

// The changes that make `version` of `base`, in the base's order.
std::vector<Change> changes(string_view base, string_view version) {
    std::vector<Change> found;
    for (Change &c : line_diff(base, version)) {
        std::optional<Change> one = found.empty() ? std::nullopt : as_one(base, found.back(), c);
        if (one)
            found.back() = std::move(*one);
        else
            found.push_back(std::move(c));
    }
    std::vector<Change> out;
    for (size_t i = 0; i < found.size(); i++) {
        Change c = std::move(found[i]);
        place(base, c, out.empty() ? 0 : out.back().end, i + 1 < found.size() ? found[i + 1].start : base.size());
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
    const string_view original(base, base_length);
    string merged;
    if (!merge(original, changes(original, string_view(mine, mine_length)),
               changes(original, string_view(theirs, theirs_length)), merged))
        return nullptr;
    if (length)
        *length = merged.size();
    return heap_string(merged);
}

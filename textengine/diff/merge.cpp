#include "textengine/diff/merge.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "textengine/diff/merge_parts.h"
#include "textengine/heap_string.h"

using merge_parts::Change;
using merge_parts::Lines;
using merge_parts::Numbered;
using merge_parts::Reading;
using std::string;
using std::string_view;

namespace {

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

// The changes that make a version of `base`, read by its lines, placed by
// their characters.
std::vector<Change> placed(string_view base, std::vector<Change> found) {
    std::vector<Change> out;
    out.reserve(found.size());
    for (size_t i = 0; i < found.size(); i++) {
        Change c = std::move(found[i]);
        if (c.settled && (c.text.find('\n') != string::npos ||
                          base.substr(c.start, c.end - c.start).find('\n') != string_view::npos)) {
            c.reach_start = c.start;
            c.reach_end = c.end;
            reach_over_words(base, c);
        } else {
            place(base, c, out.empty() ? 0 : out.back().end, i + 1 < found.size() ? found[i + 1].start : base.size());
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
            Change joined;
            joined.start = before.start;
            joined.end = c.end;
            joined.text = before.text + string(between) + c.text;
            joined.reach_start = std::min(before.reach_start, c.reach_start);
            joined.reach_end = std::max(before.reach_end, c.reach_end);
            joined.line_start = std::min(before.line_start, c.line_start);
            joined.uncertain = before.uncertain || c.uncertain;
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

// The changes of both versions that meet, and those that meet them, as
// stretches of the base [from, to] and the changes of each inside.
struct Group {
    size_t from, to;
    size_t first[2], last[2];
};

// Changes meet where their reaches overlap or touch. The start of a line
// rewritten one for one also meets a change of whole lines that reaches
// there (lines inserted before it, or deleted or replaced up to it), as the
// line itself would; lines rewritten one for one do not reach the boundary
// after them, so that lines inserted there stay apart. Groups are what meet,
// each widened to a stretch that holds everything between.
std::vector<Group> groups(const std::vector<Change> (&sides)[2]) {
    struct Item {
        size_t lo, hi;
        int side;
        size_t index;
    };
    std::vector<Item> items;
    items.reserve(sides[0].size() + sides[1].size());
    for (int side = 0; side < 2; side++)
        for (size_t k = 0; k < sides[side].size(); k++)
            items.push_back({sides[side][k].reach_start, sides[side][k].reach_end, side, k});
    std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) { return a.lo < b.lo; });
    std::vector<size_t> parent(items.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](size_t x) {
        while (parent[x] != x)
            x = parent[x] = parent[parent[x]];
        return x;
    };
    auto join = [&](size_t a, size_t b) { parent[find(a)] = find(b); };
    auto change = [&](const Item &item) -> const Change & { return sides[item.side][item.index]; };

    // Reaches that overlap or touch.
    for (size_t k = 1, open = 0; k < items.size(); k++) {
        if (items[k].lo <= items[open].hi) {
            join(k, open);
            if (items[k].hi > items[open].hi)
                open = k;
        } else {
            open = k;
        }
    }
    // Line starts inside changes of whole lines.
    std::vector<size_t> whole;
    for (size_t k = 0; k < items.size(); k++)
        if (change(items[k]).line_start == SIZE_MAX)
            whole.push_back(k);
    std::vector<size_t> widest(whole.size());
    for (size_t w = 0; w < whole.size(); w++)
        widest[w] = w == 0 || items[whole[w]].hi > items[whole[widest[w - 1]]].hi ? w : widest[w - 1];
    for (size_t k = 0; k < items.size(); k++) {
        const size_t at = change(items[k]).line_start;
        if (at == SIZE_MAX)
            continue;
        const auto next = std::upper_bound(whole.begin(), whole.end(), at,
                                           [&](size_t p, size_t w) { return p < items[w].lo; });
        if (next == whole.begin())
            continue;
        const size_t w = widest[size_t(next - whole.begin()) - 1];
        if (items[whole[w]].hi >= at)
            join(k, whole[w]);
    }

    // Each set of changes that meet, as a stretch; stretches that overlap
    // are one.
    std::vector<std::pair<size_t, size_t>> spans(items.size(), {SIZE_MAX, 0});
    for (size_t k = 0; k < items.size(); k++) {
        auto &span = spans[find(k)];
        span.first = std::min(span.first, items[k].lo);
        span.second = std::max(span.second, items[k].hi);
    }
    std::vector<std::pair<size_t, size_t>> stretches;
    for (const auto &span : spans)
        if (span.first != SIZE_MAX)
            stretches.push_back(span);
    std::sort(stretches.begin(), stretches.end());
    std::vector<Group> out;
    for (const auto &[from, to] : stretches) {
        if (!out.empty() && from <= out.back().to)
            out.back().to = std::max(out.back().to, to);
        else
            out.push_back({from, to, {0, 0}, {0, 0}});
    }
    // The changes of each side in each group, in order.
    for (int side = 0; side < 2; side++) {
        size_t k = 0;
        for (Group &g : out) {
            g.first[side] = k;
            while (k < sides[side].size() && sides[side][k].reach_start <= g.to)
                k++;
            g.last[side] = k;
        }
    }
    return out;
}

// The merged text as it is written: into the buffer handed to the caller,
// made as long as the text can be (the base with the text of every change)
// so that it is neither grown nor copied.
class Output {
  public:
    explicit Output(size_t most) : data_(static_cast<char *>(malloc(most + 1))), capacity_(most) {
        if (!data_)
            tzr_fatal("Out of memory merging a text of %zu bytes.\n", most);
    }
    ~Output() { free(data_); }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    void append(string_view text) {
        if (text.empty())
            return;
        if (size_ + text.size() > capacity_) {
            capacity_ = std::max(size_ + text.size(), 2 * capacity_);
            char *grown = static_cast<char *>(realloc(data_, capacity_ + 1));
            if (!grown)
                tzr_fatal("Out of memory merging a text of %zu bytes.\n", capacity_);
            data_ = grown;
        }
        memcpy(data_ + size_, text.data(), text.size());
        size_ += text.size();
    }
    void append(string_view text, size_t from, size_t length) { append(text.substr(from, length)); }
    size_t size() const { return size_; }
    // The text, NUL-terminated, for the caller to free.
    char *release() {
        data_[size_] = '\0';
        char *out = static_cast<char *>(realloc(data_, size_ + 1));
        out = out ? out : data_;
        data_ = nullptr;
        return out;
    }

  private:
    char *data_;
    size_t size_ = 0, capacity_;
};

// The merged text, or false when the versions' changes meet and differ, or
// are the same change at a place the texts cannot tell.
bool merge(const Lines &base, const Numbered &numbers, const Reading *const (&readings)[2],
           const std::vector<Change> (&sides)[2], Output &out) {
    const string_view text = base.text;
    size_t at = 0;
    for (const Group &g : groups(sides)) {
        const bool has[2] = {g.last[0] > g.first[0], g.last[1] > g.first[1]};
        if (!has[0] || !has[1]) {
            const int side = has[0] ? 0 : 1;
            for (size_t k = g.first[side]; k < g.last[side]; k++) {
                const Change &c = sides[side][k];
                out.append(text, at, c.start - at);
                out.append(c.text);
                at = c.end;
            }
            continue;
        }
        const string ours = with_changes(text, sides[0].data() + g.first[0], sides[0].data() + g.last[0], g.from, g.to);
        if (ours != with_changes(text, sides[1].data() + g.first[1], sides[1].data() + g.last[1], g.from, g.to))
            return false;
        // The same text: where some reading of the lines could put the
        // change elsewhere, every two readings must merge to it.
        bool uncertain = false;
        for (int side = 0; side < 2; side++)
            for (size_t k = g.first[side]; k < g.last[side]; k++)
                uncertain = uncertain || sides[side][k].uncertain;
        // Both versions' lines are asked, the whole lines the group touches
        // (which hold the same text over the group itself).
        if (uncertain) {
            const size_t first = base.line_of(g.from);
            const size_t last = g.to >= text.size() ? base.count() : base.line_of(g.to) + 1;
            for (int side = 0; side < 2; side++) {
                const size_t n = base.count(), m = numbers.versions[side].size();
                const size_t v0 = readings[side]->version_line(first, g.from != base.starts[first], n, m);
                const size_t v1 = readings[side]->version_line(last, g.to >= text.size(), n, m);
                if (!merge_parts::readings_agree(numbers.base.data() + first, last - first,
                                                 numbers.versions[side].data() + v0, v1 - v0))
                    return false;
            }
        }
        out.append(text, at, g.from - at);
        out.append(ours);
        at = g.to;
    }
    out.append(text, at, text.size() - at);
    return true;
}

}  // namespace

char *dmp_merge(const char *base, size_t base_length, const char *mine, size_t mine_length, const char *theirs,
                size_t theirs_length, size_t *length) {
    if (!base || !mine || !theirs)
        return nullptr;
    string_view original(base, base_length), edited(mine, mine_length), other(theirs, theirs_length);
    // Two versions alike, or one left as the base, give the other whole.
    if (edited == other || original == other || original == edited) {
        const string_view merged = original == edited ? other : edited;
        if (length)
            *length = merged.size();
        return heap_string(merged);
    }
    // A byte order mark that all three begin with is no part of the first
    // line, which is then read as the lines like it are (a blank line among
    // blank lines); the merge begins with it.
    constexpr string_view kByteOrderMark = "\xEF\xBB\xBF";
    string_view mark;
    if (original.starts_with(kByteOrderMark) && edited.starts_with(kByteOrderMark) &&
        other.starts_with(kByteOrderMark)) {
        for (string_view *t : {&original, &edited, &other})
            t->remove_prefix(kByteOrderMark.size());
        mark = kByteOrderMark;
    }
    const Lines base_lines(original), mine_lines(edited), their_lines(other);
    const Numbered numbers(base_lines, mine_lines, their_lines);
    Reading mine_read = merge_parts::read_lines(base_lines, mine_lines, numbers, 0);
    Reading their_read = merge_parts::read_lines(base_lines, their_lines, numbers, 1);
    const std::vector<Change> sides[2] = {placed(original, std::move(mine_read.changes)),
                                          placed(original, std::move(their_read.changes))};
    size_t most = mark.size() + original.size();
    for (const std::vector<Change> &side : sides)
        for (const Change &c : side)
            most += c.text.size();
    Output merged(most);
    merged.append(mark);
    const Reading *const readings[2] = {&mine_read, &their_read};
    if (!merge(base_lines, numbers, readings, sides, merged))
        return nullptr;
    if (length)
        *length = merged.size();
    return merged.release();
}

#include "textengine/diff/diff.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "library/char.h"
#include "library/diagnostics.h"
#include "textengine/diff/diff_internal.h"
#include "textengine/heap_string.h"

using std::string;
using std::string_view;

namespace dmp_detail {

// Work allowed for one diff, counted in compared bytes and visited
// diagonals. Two unrelated megabyte texts would need about 10^12 steps of
// bisection; past this budget the remaining sub-problems are answered by a
// plain delete and insert, which is coarse but still correct.
constexpr int64_t kDiffBudget = 45'000'000;

Budget::Budget() : left(kDiffBudget) {}

size_t utf8_prefix_fix(string_view a, string_view b, size_t p) {
    for (int back = 0; back < 3 && p > 0; back++) {
        bool split = (p < a.size() && dmp_is_continuation((unsigned char)a[p])) ||
                     (p < b.size() && dmp_is_continuation((unsigned char)b[p]));
        if (!split)
            break;
        p--;
    }
    return p;
}

size_t utf8_suffix_fix(string_view a, size_t s) {
    for (int back = 0; back < 3 && s > 0; back++) {
        if (!dmp_is_continuation((unsigned char)a[a.size() - s]))
            break;
        s--;
    }
    return s;
}

size_t byte_prefix(string_view a, string_view b) {
    size_t n = std::min(a.size(), b.size()), i = 0;
    while (i < n && a[i] == b[i])
        i++;
    return i;
}

size_t byte_suffix(string_view a, string_view b) {
    size_t n = std::min(a.size(), b.size()), i = 0;
    while (i < n && a[a.size() - 1 - i] == b[b.size() - 1 - i])
        i++;
    return i;
}

size_t prefix(string_view a, string_view b) { return utf8_prefix_fix(a, b, byte_prefix(a, b)); }

size_t suffix(string_view a, string_view b) { return utf8_suffix_fix(a, byte_suffix(a, b)); }

Diffs from_list(const diff *list) {
    Diffs v;
    for (const diff *d = list; d; d = d->next)
        v.push_back({d->op, d->text ? string(d->text) : string()});
    return v;
}

diff *to_list(const Diffs &v) {
    diff *head = nullptr, **tail = &head;
    for (const D &d : v) {
        *tail = dmp_diff_new_bytes(d.op, d.text.data(), d.text.size());
        tail = &(*tail)->next;
    }
    return head;
}

namespace {

void compute(Budget &b, string_view t1, string_view t2, Diffs &out);

void raw(Budget &b, string_view t1, string_view t2, Diffs &out) {
    if (t1 == t2) {
        out.push_back({DMP_EQUAL, string(t1)});
        return;
    }
    // Byte-wise here: the bisection needs both ends to differ to make
    // progress; the repair afterwards moves split characters back together.
    size_t p = byte_prefix(t1, t2);
    size_t s = byte_suffix(t1.substr(p), t2.substr(p));
    b.left -= (int64_t)(p + s);
    if (p)
        out.push_back({DMP_EQUAL, string(t1.substr(0, p))});
    compute(b, t1.substr(p, t1.size() - p - s), t2.substr(p, t2.size() - p - s), out);
    if (s)
        out.push_back({DMP_EQUAL, string(t1.substr(t1.size() - s))});
}

// First occurrence of `needle` in `hay` at or after `from`, or npos.
size_t find(string_view hay, string_view needle, size_t from = 0) {
    if (from > hay.size())
        return string_view::npos;
    if (needle.empty())
        return from;
    const void *hit = memmem(hay.data() + from, hay.size() - from, needle.data(), needle.size());
    return hit ? (size_t)((const char *)hit - hay.data()) : string_view::npos;
}

struct HalfMatch {
    string_view long_front, long_back, short_front, short_back, common;
};

bool half_match_i(Budget &b, string_view longer, string_view shorter, size_t i, HalfMatch &hm) {
    string_view seed = longer.substr(i, longer.size() / 4);
    size_t best = 0, best_long = 0, best_short = 0;
    bool found = false;
    for (size_t j = find(shorter, seed); j != string_view::npos; j = find(shorter, seed, j + 1)) {
        size_t p = dmp_detail::prefix(longer.substr(i), shorter.substr(j));
        size_t s = dmp_detail::suffix(longer.substr(0, i), shorter.substr(0, j));
        b.left -= (int64_t)(p + s + seed.size());
        if (b.left < 0)
            return false;
        if (p + s > best) {
            best = p + s;
            best_long = i - s;
            best_short = j - s;
            found = true;
        }
    }
    if (!found || best < longer.size() / 2)
        return false;
    hm.long_front = longer.substr(0, best_long);
    hm.long_back = longer.substr(best_long + best);
    hm.short_front = shorter.substr(0, best_short);
    hm.short_back = shorter.substr(best_short + best);
    hm.common = longer.substr(best_long, best);
    return true;
}

bool half_match(Budget &b, string_view t1, string_view t2, HalfMatch &out) {
    bool one_longer = t1.size() > t2.size();
    string_view longer = one_longer ? t1 : t2, shorter = one_longer ? t2 : t1;
    if (longer.size() < 4 || shorter.size() * 2 < longer.size() || b.left <= 0)
        return false;
    HalfMatch a{}, c{};
    bool ok_a = half_match_i(b, longer, shorter, (longer.size() + 3) / 4, a);
    bool ok_b = half_match_i(b, longer, shorter, (longer.size() + 1) / 2, c);
    if (!ok_a && !ok_b)
        return false;
    HalfMatch hm = ok_a && ok_b ? (a.common.size() > c.common.size() ? a : c) : ok_a ? a : c;
    if (one_longer) {
        out = hm;
    } else {
        out = {hm.short_front, hm.short_back, hm.long_front, hm.long_back, hm.common};
    }
    return true;
}

void bisect(Budget &b, string_view t1, string_view t2, Diffs &out);

// Large texts whose differences are spread out (no half-match) would cost
// the bisection far more than its budget. A short window of text1 near its
// middle that also occurs in text2 splits both into two smaller problems;
// the diff may then be less than minimal, but it stays fine-grained.
constexpr size_t kAnchorMinimum = 1 << 16;
constexpr size_t kAnchorWindow = 32;

bool anchor_split(Budget &b, string_view t1, string_view t2, Diffs &out) {
    if (t1.size() + t2.size() < kAnchorMinimum || t1.size() < 4 * kAnchorWindow || t2.size() < kAnchorWindow)
        return false;
    const size_t mid = t1.size() / 2, step = t1.size() / 64;
    for (size_t k = 0; k < 16; k++) {
        size_t offset = (k + 1) / 2 * step;
        size_t i = k % 2 ? mid + offset : mid - std::min(mid, offset);
        i = std::max<size_t>(1, std::min(i, t1.size() - kAnchorWindow));
        size_t j = find(t2, t1.substr(i, kAnchorWindow));
        b.left -= (int64_t)(t2.size() / 16);
        if (j == string_view::npos)
            continue;
        raw(b, t1.substr(0, i), t2.substr(0, j), out);
        raw(b, t1.substr(i), t2.substr(j), out);
        return true;
    }
    return false;
}

void compute(Budget &b, string_view t1, string_view t2, Diffs &out) {
    if (t1.empty()) {
        out.push_back({DMP_INSERT, string(t2)});
        return;
    }
    if (t2.empty()) {
        out.push_back({DMP_DELETE, string(t1)});
        return;
    }
    bool one_longer = t1.size() > t2.size();
    string_view longer = one_longer ? t1 : t2, shorter = one_longer ? t2 : t1;
    size_t at = find(longer, shorter);
    b.left -= (int64_t)(longer.size() / 8);
    if (at != string_view::npos) {
        uint32_t op = one_longer ? DMP_DELETE : DMP_INSERT;
        out.push_back({op, string(longer.substr(0, at))});
        out.push_back({DMP_EQUAL, string(shorter)});
        out.push_back({op, string(longer.substr(at + shorter.size()))});
        return;
    }
    if (shorter.size() == 1) {
        out.push_back({DMP_DELETE, string(t1)});
        out.push_back({DMP_INSERT, string(t2)});
        return;
    }
    HalfMatch hm;
    if (half_match(b, t1, t2, hm)) {
        raw(b, hm.long_front, hm.short_front, out);
        out.push_back({DMP_EQUAL, string(hm.common)});
        raw(b, hm.long_back, hm.short_back, out);
        return;
    }
    if (anchor_split(b, t1, t2, out))
        return;
    bisect(b, t1, t2, out);
}

void bisect(Budget &b, string_view t1, string_view t2, Diffs &out) {
    const int64_t n1 = (int64_t)t1.size(), n2 = (int64_t)t2.size();
    const int64_t max_d = (n1 + n2 + 1) / 2;
    // The d loop costs about d^2 steps up to d, so the budget left bounds the
    // edit distance worth searching and with it the working arrays.
    int64_t d_cap = b.left > 0 ? (int64_t)std::sqrt((double)b.left) + 2 : 0;
    d_cap = std::min(max_d, d_cap);
    const int64_t off = d_cap + 1, len = 2 * d_cap + 3;
    std::vector<int64_t> v1, v2;
    if (d_cap > 0) {
        v1.assign((size_t)len, -1);
        v2.assign((size_t)len, -1);
        v1[(size_t)off + 1] = 0;
        v2[(size_t)off + 1] = 0;
    }
    const int64_t delta = n1 - n2;
    const bool front = (delta % 2) != 0;
    int64_t k1start = 0, k1end = 0, k2start = 0, k2end = 0;
    auto split = [&](int64_t x, int64_t y) {
        if ((x == 0 && y == 0) || (x == n1 && y == n2)) {
            // No smaller sub-problem: answer coarsely rather than recurse.
            out.push_back({DMP_DELETE, string(t1)});
            out.push_back({DMP_INSERT, string(t2)});
            return;
        }
        raw(b, t1.substr(0, (size_t)x), t2.substr(0, (size_t)y), out);
        raw(b, t1.substr((size_t)x), t2.substr((size_t)y), out);
    };
    for (int64_t d = 0; d < d_cap && b.left > 0; d++) {
        b.left -= 2 * d + 2;
        for (int64_t k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
            int64_t i = off + k1;
            int64_t x1 = (k1 == -d || (k1 != d && v1[i - 1] < v1[i + 1])) ? v1[i + 1] : v1[i - 1] + 1;
            int64_t y1 = x1 - k1;
            int64_t run = 0;
            while (x1 < n1 && y1 >= 0 && y1 < n2 && t1[x1] == t2[y1])
                x1++, y1++, run++;
            b.left -= run;
            v1[i] = x1;
            if (x1 > n1) {
                k1end += 2;
            } else if (y1 > n2) {
                k1start += 2;
            } else if (front) {
                int64_t j = off + delta - k1;
                if (j >= 0 && j < len && v2[j] != -1 && x1 >= n1 - v2[j] && y1 >= 0) {
                    split(x1, y1);
                    return;
                }
            }
        }
        for (int64_t k2 = -d + k2start; k2 <= d - k2end; k2 += 2) {
            int64_t i = off + k2;
            int64_t x2 = (k2 == -d || (k2 != d && v2[i - 1] < v2[i + 1])) ? v2[i + 1] : v2[i - 1] + 1;
            int64_t y2 = x2 - k2;
            int64_t run = 0;
            while (x2 < n1 && y2 >= 0 && y2 < n2 && t1[n1 - x2 - 1] == t2[n2 - y2 - 1])
                x2++, y2++, run++;
            b.left -= run;
            v2[i] = x2;
            if (x2 > n1) {
                k2end += 2;
            } else if (y2 > n2) {
                k2start += 2;
            } else if (!front) {
                int64_t j = off + delta - k2;
                if (j >= 0 && j < len && v1[j] != -1) {
                    int64_t x1 = v1[j];
                    int64_t y1 = x1 - (j - off);
                    if (x1 >= n1 - x2 && y1 >= 0 && y1 <= n2 && x1 <= n1) {
                        split(x1, y1);
                        return;
                    }
                }
            }
        }
    }
    out.push_back({DMP_DELETE, string(t1)});
    out.push_back({DMP_INSERT, string(t2)});
}

}  // namespace

Diffs raw_diff(Budget &b, string_view t1, string_view t2) {
    Diffs out;
    raw(b, t1, t2, out);
    return out;
}

Diffs compute_diff(Budget &b, string_view t1, string_view t2) {
    Diffs out;
    compute(b, t1, t2, out);
    return out;
}

Diffs bisect_diff(Budget &b, string_view t1, string_view t2) {
    Diffs out;
    bisect(b, t1, t2, out);
    return out;
}

Diffs cleanup_merge(Diffs in) {
    for (;;) {
        Diffs r;
        r.push_back({DMP_EQUAL, string()});
        string del, ins;
        size_t ndel = 0, nins = 0;
        auto take = [&](D &d) {
            if (d.op == DMP_DELETE) {
                ndel++;
                del += d.text;
                return;
            }
            if (d.op == DMP_INSERT) {
                nins++;
                ins += d.text;
                return;
            }
            if (ndel + nins > 0) {
                if (ndel && nins) {
                    size_t p = prefix(ins, del);
                    if (p) {
                        r.back().text.append(ins, 0, p);
                        ins.erase(0, p);
                        del.erase(0, p);
                    }
                    size_t s = suffix(ins, del);
                    if (s) {
                        d.text.insert(0, ins, ins.size() - s, s);
                        ins.erase(ins.size() - s);
                        del.erase(del.size() - s);
                    }
                }
                if (!del.empty())
                    r.push_back({DMP_DELETE, del});
                if (!ins.empty())
                    r.push_back({DMP_INSERT, ins});
                r.push_back(std::move(d));
            } else if (r.back().op == DMP_EQUAL) {
                r.back().text += d.text;
            } else {
                r.push_back(std::move(d));
            }
            del.clear();
            ins.clear();
            ndel = nins = 0;
        };
        for (D &d : in)
            take(d);
        D end{DMP_EQUAL, string()};
        take(end);

        bool changed = false;
        for (size_t i = 2; i + 1 < r.size(); i++) {
            D &left = r[i - 1], &mid = r[i], &right = r[i + 1];
            if (left.op != DMP_EQUAL || right.op != DMP_EQUAL || mid.op == DMP_EQUAL)
                continue;
            const string &l = left.text, &m = mid.text, &rt = right.text;
            if (!l.empty() && m.size() >= l.size() && m.compare(m.size() - l.size(), l.size(), l) == 0) {
                string old_left = l;
                left = {mid.op, l + m.substr(0, m.size() - l.size())};
                mid = {DMP_EQUAL, old_left};
                changed = true;
            } else if (!rt.empty() && m.size() >= rt.size() && m.compare(0, rt.size(), rt) == 0) {
                string old_right = rt;
                right = {mid.op, m.substr(rt.size()) + rt};
                mid = {DMP_EQUAL, old_right};
                changed = true;
            }
        }
        if (!changed)
            return r;
        in = std::move(r);
    }
}

namespace {

// Length of an unfinished UTF-8 sequence at the end of `t`, or 0.
size_t partial_tail(const string &t) {
    size_t n = t.size();
    for (size_t back = 1; back <= 4 && back <= n; back++) {
        unsigned char c = (unsigned char)t[n - back];
        if (dmp_is_continuation(c))
            continue;
        return utf8_sequence_length(c) > back && c >= 0xC0 ? back : 0;
    }
    return 0;
}

// Index range [first, last) of the edits between equality `eq_before`
// and the next equality; makes sure the run holds a delete and an insert
// (delete first) and returns their indexes.
void ensure_run(Diffs &v, size_t first, size_t &del, size_t &ins) {
    size_t last = first;
    while (last < v.size() && v[last].op != DMP_EQUAL)
        last++;
    del = ins = SIZE_MAX;
    for (size_t i = first; i < last; i++) {
        if (v[i].op == DMP_DELETE && del == SIZE_MAX)
            del = i;
        if (v[i].op == DMP_INSERT)
            ins = i;
    }
    if (del == SIZE_MAX) {
        v.insert(v.begin() + (ptrdiff_t)first, D{DMP_DELETE, string()});
        del = first;
        last++;
        if (ins != SIZE_MAX)
            ins++;
    }
    if (ins == SIZE_MAX) {
        v.insert(v.begin() + (ptrdiff_t)last, D{DMP_INSERT, string()});
        ins = last;
    }
}

}  // namespace

bool repair_utf8(Diffs &v) {
    bool changed = false;
    // Neighbouring equalities join and empty edits go, so that every
    // equality has at most one run of edits on each side.
    Diffs joined;
    for (D &d : v) {
        if (d.op != DMP_EQUAL && d.text.empty()) {
            changed = true;
            continue;
        }
        if (d.op == DMP_EQUAL && !joined.empty() && joined.back().op == DMP_EQUAL) {
            joined.back().text += d.text;
            changed = true;
            continue;
        }
        joined.push_back(std::move(d));
    }
    v = std::move(joined);
    for (size_t i = 0; i < v.size(); i++) {
        if (v[i].op != DMP_EQUAL)
            continue;
        // A character that began in the edits before this equality: its
        // continuation bytes belong to both sides of those edits.
        size_t lead = 0;
        while (lead < 3 && lead < v[i].text.size() && dmp_is_continuation((unsigned char)v[i].text[lead]))
            lead++;
        if (lead && i > 0 && v[i - 1].op != DMP_EQUAL) {
            size_t first = i - 1;
            while (first > 0 && v[first - 1].op != DMP_EQUAL)
                first--;
            size_t del, ins;
            size_t before = v.size();
            ensure_run(v, first, del, ins);
            i += v.size() - before;
            string moved = v[i].text.substr(0, lead);
            v[i].text.erase(0, lead);
            v[del].text += moved;
            v[ins].text += moved;
            changed = true;
        }
        // A character that this equality starts and the edits after it end.
        size_t tail = partial_tail(v[i].text);
        if (tail && i + 1 < v.size()) {
            size_t del, ins;
            ensure_run(v, i + 1, del, ins);
            string moved = v[i].text.substr(v[i].text.size() - tail);
            v[i].text.erase(v[i].text.size() - tail);
            v[del].text.insert(0, moved);
            v[ins].text.insert(0, moved);
            changed = true;
        }
    }
    return changed;
}

// Merges, repairs sequence boundaries, and merges again until both hold;
// the character-aware merge never splits what the repair joined.
Diffs tidy(Diffs v) {
    v = cleanup_merge(std::move(v));
    for (int round = 0; round < 4 && repair_utf8(v); round++)
        v = cleanup_merge(std::move(v));
    return v;
}

namespace {

bool is_blank_line_end(string_view s) {
    // LF, CRs, LF, CRs at the very end.
    size_t i = s.size();
    while (i > 0 && s[i - 1] == '\r')
        i--;
    if (i == 0 || s[i - 1] != '\n')
        return false;
    i--;
    while (i > 0 && s[i - 1] == '\r')
        i--;
    return i > 0 && s[i - 1] == '\n';
}

bool is_blank_line_start(string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == '\r')
        i++;
    if (i == s.size() || s[i] != '\n')
        return false;
    i++;
    while (i < s.size() && s[i] == '\r')
        i++;
    return i < s.size() && s[i] == '\n';
}

}  // namespace

int semantic_score(string_view one, string_view two) {
    if (one.empty() || two.empty())
        return 6;
    unsigned char c1 = (unsigned char)one.back(), c2 = (unsigned char)two.front();
    bool alnum1 = char_is_alphanumeric(c1), alnum2 = char_is_alphanumeric(c2);
    bool ws1 = char_is_whitespace_or_line_ending(c1), ws2 = char_is_whitespace_or_line_ending(c2);
    bool le1 = char_is_line_ending(c1), le2 = char_is_line_ending(c2);
    if ((le1 && is_blank_line_end(one)) || (le2 && is_blank_line_start(two)))
        return 5;
    if (le1 || le2)
        return 4;
    if (!alnum1 && !ws1 && ws2)
        return 3;
    if (ws1 || ws2)
        return 2;
    if (!alnum1 || !alnum2)
        return 1;
    return 0;
}

void cleanup_semantic_lossless(Diffs &v) {
    for (size_t i = 1; i + 1 < v.size(); i++) {
        if (v[i - 1].op != DMP_EQUAL || v[i + 1].op != DMP_EQUAL || v[i].op == DMP_EQUAL)
            continue;
        // Slide the edit as far left as it goes, then walk it right over
        // the whole text e1 + edit + e2, which stays the same throughout.
        size_t c = suffix(v[i - 1].text, v[i].text);
        string whole = v[i - 1].text + v[i].text + v[i + 1].text;
        size_t m = v[i].text.size();
        size_t p = v[i - 1].text.size() - c;
        string_view w(whole);
        auto score_at = [&](size_t q) {
            return semantic_score(w.substr(0, q), w.substr(q, m)) + semantic_score(w.substr(q, m), w.substr(q + m));
        };
        size_t best = p;
        int best_score = score_at(p);
        while (m > 0 && p + m < w.size() && w[p] == w[p + m]) {
            p++;
            bool aligned = !dmp_is_continuation((unsigned char)w[p]) &&
                           (p + m == w.size() || !dmp_is_continuation((unsigned char)w[p + m]));
            if (!aligned)
                continue;
            int s = score_at(p);
            if (s >= best_score) {
                best_score = s;
                best = p;
            }
        }
        if (best != v[i - 1].text.size()) {
            v[i - 1].text = string(w.substr(0, best));
            v[i].text = string(w.substr(best, m));
            v[i + 1].text = string(w.substr(best + m));
        }
    }
}

Diffs cleanup_semantic(Diffs v) {
    bool changes = false;
    std::vector<size_t> eqs;
    bool has_candidate = false;
    size_t cand_len = 0;
    size_t ins1 = 0, del1 = 0, ins2 = 0, del2 = 0;
    size_t i = (!v.empty() && v[0].text.empty()) ? 1 : 0;
    while (i < v.size()) {
        if (v[i].op == DMP_EQUAL) {
            eqs.push_back(i);
            ins1 = ins2;
            del1 = del2;
            ins2 = del2 = 0;
            cand_len = v[i].text.size();
            has_candidate = true;
            i++;
            continue;
        }
        (v[i].op == DMP_INSERT ? ins2 : del2) += v[i].text.size();
        if (has_candidate && cand_len <= std::max(ins1, del1) && cand_len <= std::max(ins2, del2)) {
            size_t at = eqs.back();
            v[at].op = DMP_DELETE;
            v.insert(v.begin() + (ptrdiff_t)at + 1, D{DMP_INSERT, v[at].text});
            eqs.pop_back();
            if (!eqs.empty())
                eqs.pop_back();
            ins1 = del1 = ins2 = del2 = 0;
            has_candidate = false;
            changes = true;
            i = eqs.empty() ? 0 : eqs.back() + 1;
            continue;
        }
        i++;
    }
    if (changes)
        v = cleanup_merge(std::move(v));
    cleanup_semantic_lossless(v);
    return tidy(std::move(v));
}

}  // namespace dmp_detail

using namespace dmp_detail;

// ---- records ----

diff *dmp_diff_new_bytes(uint32_t op, const char *bytes, size_t count) {
    diff *d = (diff *)calloc(1, sizeof(diff));
    if (!d)
        tzr_fatal("Out of memory making a diff record.\n");
    d->op = op;
    if (bytes) {
        d->text = (char *)malloc(count + 1);
        if (!d->text)
            tzr_fatal("Out of memory copying a diff text of %zu bytes.\n", count);
        memcpy(d->text, bytes, count);
        d->text[count] = '\0';
    }
    return d;
}

diff *dmp_diff_new(uint32_t op, const char *text) {
    return dmp_diff_new_bytes(op, text, text ? strlen(text) : 0);
}

void dmp_diff_free(diff *diffs) {
    while (diffs) {
        diff *next = diffs->next;
        free(diffs->text);
        free(diffs);
        diffs = next;
    }
}

void dmp_diff_append(diff **head, diff *d) {
    if (!head || !d)
        return;
    while (*head)
        head = &(*head)->next;
    *head = d;
}

void dmp_diff_drop_first(diff **head) {
    if (!head || !*head)
        return;
    diff *first = *head;
    *head = first->next;
    first->next = nullptr;
    dmp_diff_free(first);
}

diff *dmp_diff_list_copy(const diff *list) {
    diff *head = nullptr, **tail = &head;
    for (; list; list = list->next) {
        *tail = dmp_diff_new(list->op, list->text);
        tail = &(*tail)->next;
    }
    return head;
}

void dmp_diff_list_append_copies(diff **head, const diff *list) {
    if (head)
        dmp_diff_append(head, dmp_diff_list_copy(list));
}

size_t dmp_diff_length(const diff *d) { return d && d->text ? strlen(d->text) : 0; }

static void set_text(diff *d, const string &s) {
    diff *fresh = dmp_diff_new_bytes(d->op, s.data(), s.size());
    free(d->text);
    d->text = fresh->text;
    free(fresh);
}

void dmp_diff_prepend_text(diff *d, const char *bytes, size_t count) {
    if (!d || !bytes)
        return;
    set_text(d, string(bytes, count) + (d->text ? d->text : ""));
}

void dmp_diff_append_text(diff *d, const char *bytes, size_t count) {
    if (!d || !bytes)
        return;
    set_text(d, string(d->text ? d->text : "") + string(bytes, count));
}

void dmp_diff_drop_head_bytes(diff *d, size_t count) {
    size_t n = dmp_diff_length(d);
    if (!d || !d->text)
        return;
    count = std::min(count, n);
    memmove(d->text, d->text + count, n - count + 1);
}

void dmp_diff_drop_tail_bytes(diff *d, size_t count) {
    size_t n = dmp_diff_length(d);
    if (!d || !d->text)
        return;
    d->text[n - std::min(count, n)] = '\0';
}

size_t dmp_diff_last_char_length(const diff *d) {
    size_t n = dmp_diff_length(d);
    if (n == 0)
        return 0;
    return n - dmp_utf8_floor(d->text, n, n - 1);
}

// Start of the well-formed sequence that covers `pos`, or `pos` itself when
// it starts one or lies on a stray byte.
static size_t sequence_start(const char *text, size_t len, size_t pos) {
    if (pos >= len || !dmp_is_continuation((unsigned char)text[pos]))
        return pos;
    for (size_t back = 1; back <= 3 && back <= pos; back++) {
        unsigned char c = (unsigned char)text[pos - back];
        if (dmp_is_continuation(c))
            continue;
        size_t need = c >= 0xF8 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (need <= back || pos - back + need > len)
            return pos;
        for (size_t k = 1; k < need; k++)
            if (!dmp_is_continuation((unsigned char)text[pos - back + k]))
                return pos;
        return pos - back;
    }
    return pos;
}

size_t dmp_utf8_floor(const char *text, size_t len, size_t pos) {
    if (!text || pos >= len)
        return std::min(pos, len);
    return sequence_start(text, len, pos);
}

size_t dmp_utf8_ceil(const char *text, size_t len, size_t pos) {
    if (!text || pos >= len)
        return std::min(pos, len);
    size_t start = sequence_start(text, len, pos);
    if (start == pos)
        return pos;
    // A sequence start that is not `pos` is a lead byte of 0xC0 or more.
    return std::min(start + utf8_sequence_length((unsigned char)text[start]), len);
}

// ---- prefix and suffix ----

size_t dmp_common_prefix_ranges(const char *a, size_t la, const char *b, size_t lb) {
    if (!a || !b)
        return 0;
    return prefix(string_view(a, la), string_view(b, lb));
}

size_t dmp_common_suffix_ranges(const char *a, size_t la, const char *b, size_t lb) {
    if (!a || !b)
        return 0;
    return suffix(string_view(a, la), string_view(b, lb));
}

size_t dmp_common_prefix(const char *a, const char *b, size_t *out) {
    size_t n = (a && b) ? prefix(a, b) : 0;
    if (out)
        *out = n;
    return n;
}

size_t dmp_common_suffix(const char *a, const char *b, size_t *out) {
    size_t n = (a && b) ? suffix(a, b) : 0;
    if (out)
        *out = n;
    return n;
}

void dmp_common_prefix_suffix(const char *a, const char *b, size_t *out_prefix, size_t *out_suffix) {
    size_t p = 0, s = 0;
    if (a && b) {
        string_view x(a), y(b);
        p = prefix(x, y);
        s = suffix(x.substr(p), y.substr(p));
    }
    if (out_prefix)
        *out_prefix = p;
    if (out_suffix)
        *out_suffix = s;
}

// ---- main operations ----

static string_view clip(const char *text, size_t len) { return string_view(text, strnlen(text, len)); }

diff *dmp_diff_raw(const char *text1, const char *text2, size_t len1, size_t len2) {
    if (!text1 || !text2)
        return nullptr;
    Budget b;
    return to_list(raw_diff(b, clip(text1, len1), clip(text2, len2)));
}

diff *dmp_diff_compute(const char *text1, size_t len1, const char *text2, size_t len2) {
    if (!text1 || !text2)
        return nullptr;
    Budget b;
    return to_list(compute_diff(b, clip(text1, len1), clip(text2, len2)));
}

diff *dmp_diff_bisect(const char *text1, size_t len1, const char *text2, size_t len2) {
    if (!text1 || !text2)
        return nullptr;
    Budget b;
    return to_list(bisect_diff(b, clip(text1, len1), clip(text2, len2)));
}

diff *dmp_diff_main(const char *text1, const char *text2, size_t len1, size_t len2) {
    if (!text1 || !text2)
        return nullptr;
    Budget b;
    return to_list(tidy(raw_diff(b, clip(text1, len1), clip(text2, len2))));
}

diff *dmp_diff_main_strings(const char *text1, const char *text2) {
    if (!text1 || !text2)
        return nullptr;
    return dmp_diff_main(text1, text2, strlen(text1), strlen(text2));
}

diff *dmp_diff_cleanup_merge(diff *diffs) {
    if (!diffs)
        return nullptr;
    diff *out = to_list(cleanup_merge(from_list(diffs)));
    dmp_diff_free(diffs);
    return out;
}

diff *dmp_diff_repair_utf8(diff *diffs) {
    if (!diffs)
        return nullptr;
    Diffs v = from_list(diffs);
    if (!repair_utf8(v))
        return diffs;
    dmp_diff_free(diffs);
    return to_list(v);
}

diff *dmp_diff_cleanup_semantic(diff *diffs) {
    if (!diffs)
        return nullptr;
    diff *out = to_list(cleanup_semantic(from_list(diffs)));
    dmp_diff_free(diffs);
    return out;
}

diff *dmp_diff_cleanup_semantic_lossless(diff *diffs) {
    if (!diffs)
        return nullptr;
    Diffs v = from_list(diffs);
    cleanup_semantic_lossless(v);
    dmp_diff_free(diffs);
    return to_list(v);
}

int dmp_diff_semantic_score(const char *one, const char *two) {
    return semantic_score(one ? one : "", two ? two : "");
}

char *dmp_diff_to_critic_markup(const diff *diffs) {
    string out;
    for (const diff *d = diffs; d; d = d->next) {
        const char *t = d->text ? d->text : "";
        if (d->op == DMP_DELETE && d->next && d->next->op == DMP_INSERT) {
            out += "{~~";
            out += t;
            out += "~>";
            out += d->next->text ? d->next->text : "";
            out += "~~}";
            d = d->next;
        } else if (d->op == DMP_DELETE) {
            out += "{--";
            out += t;
            out += "--}";
        } else if (d->op == DMP_INSERT) {
            out += "{++";
            out += t;
            out += "++}";
        } else {
            out += t;
        }
    }
    return heap_string(out);
}

static char *side_text(const diff *diffs, uint32_t skip) {
    string out;
    for (const diff *d = diffs; d; d = d->next)
        if (d->op != skip && d->text)
            out += d->text;
    return heap_string(out);
}

char *dmp_diff_text1(const diff *diffs) { return side_text(diffs, DMP_INSERT); }
char *dmp_diff_text2(const diff *diffs) { return side_text(diffs, DMP_DELETE); }

size_t dmp_diff_x_index(const diff *diffs, size_t loc) {
    size_t chars1 = 0, chars2 = 0, last1 = 0, last2 = 0;
    const diff *hit = nullptr;
    for (const diff *d = diffs; d; d = d->next) {
        size_t n = dmp_diff_length(d);
        if (d->op != DMP_INSERT)
            chars1 += n;
        if (d->op != DMP_DELETE)
            chars2 += n;
        if (chars1 > loc) {
            hit = d;
            break;
        }
        last1 = chars1;
        last2 = chars2;
    }
    if (hit && hit->op == DMP_DELETE)
        return last2;
    if (hit)
        return last2 + (loc - last1);
    // Past every record: shift by the total change of length.
    return loc - chars1 + chars2;
}

size_t dmp_diff_levenshtein(const diff *diffs) {
    size_t total = 0, ins = 0, del = 0;
    for (const diff *d = diffs; d; d = d->next) {
        if (d->op == DMP_INSERT) {
            ins += dmp_diff_length(d);
        } else if (d->op == DMP_DELETE) {
            del += dmp_diff_length(d);
        } else {
            total += std::max(ins, del);
            ins = del = 0;
        }
    }
    return total + std::max(ins, del);
}

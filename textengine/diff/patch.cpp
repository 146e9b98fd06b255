#include "textengine/diff/patch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library/diagnostics.h"
#include "textengine/diff/diff_internal.h"
#include "textengine/heap_string.h"

using std::string;
using namespace dmp_detail;

namespace {

struct P {
    Diffs diffs;
    size_t start1 = 0, start2 = 0, length1 = 0, length2 = 0;
};
using Patches = std::vector<P>;

Patches from_list(const patch *list) {
    Patches v;
    for (; list; list = list->next)
        v.push_back({dmp_detail::from_list(list->diffs), list->start1, list->start2, list->length1, list->length2});
    return v;
}

patch *to_list(const Patches &v) {
    patch *head = nullptr, **tail = &head;
    for (const P &p : v) {
        *tail = dmp_patch_new(dmp_detail::to_list(p.diffs), p.start1, p.start2, p.length1, p.length2);
        tail = &(*tail)->next;
    }
    return head;
}

// Rewrites `list` in place with the records of `v`, keeping the head record
// (callers hold it).
void replace_list(patch *list, const Patches &v) {
    patch *fresh = to_list(v);
    if (!fresh)
        fresh = dmp_patch_new(nullptr, 0, 0, 0, 0);
    dmp_diff_free(list->diffs);
    dmp_patch_free(list->next);
    *list = *fresh;
    free(fresh);
}

string side(const Diffs &v, uint32_t skip) {
    string out;
    for (const D &d : v)
        if (d.op != skip)
            out += d.text;
    return out;
}

bool invalid(const dmp_options *o) {
    if (dmp_options_valid(o))
        return false;
    tzr_log("Invalid match options.\n");
    return true;
}

void add_context(P &p, const string &text, const dmp_options *o) {
    if (text.empty())
        return;
    size_t margin = (size_t)o->patch_margin;
    size_t start = std::min(p.start2, text.size());
    // Context is widened to whole characters so that no record splits one.
    size_t from = dmp_utf8_floor(text.data(), text.size(), start > margin ? start - margin : 0);
    size_t end = std::min(start + p.length1, text.size());
    size_t to = dmp_utf8_ceil(text.data(), text.size(), std::min(end + margin, text.size()));
    string pre = text.substr(from, start - from), post = text.substr(end, to - end);
    if (!pre.empty())
        p.diffs.insert(p.diffs.begin(), D{DMP_EQUAL, pre});
    if (!post.empty())
        p.diffs.push_back(D{DMP_EQUAL, post});
    p.start1 -= std::min(p.start1, pre.size());
    p.start2 -= pre.size();
    p.length1 += pre.size() + post.size();
    p.length2 += pre.size() + post.size();
}

Patches make(const string &text1, const Diffs &diffs, const dmp_options *o) {
    Patches out;
    P cur;
    size_t margin = (size_t)o->patch_margin;
    string prepatch = text1, postpatch = text1;
    size_t count1 = 0, count2 = 0;
    for (size_t i = 0; i < diffs.size(); i++) {
        const D &d = diffs[i];
        size_t len = d.text.size();
        if (cur.diffs.empty() && d.op != DMP_EQUAL) {
            cur.start1 = count1;
            cur.start2 = count2;
        }
        if (d.op == DMP_INSERT) {
            cur.diffs.push_back(d);
            cur.length2 += len;
            postpatch.insert(std::min(count2, postpatch.size()), d.text);
        } else if (d.op == DMP_DELETE) {
            cur.length1 += len;
            cur.diffs.push_back(d);
            if (count2 < postpatch.size())
                postpatch.erase(count2, len);
        } else {
            if (len <= 2 * margin && !cur.diffs.empty() && i + 1 != diffs.size()) {
                cur.diffs.push_back(d);
                cur.length1 += len;
                cur.length2 += len;
            }
            if (len >= 2 * margin && !cur.diffs.empty()) {
                add_context(cur, prepatch, o);
                out.push_back(std::move(cur));
                cur = P{};
                prepatch = postpatch;
                count1 = count2;
            }
        }
        if (d.op != DMP_INSERT)
            count1 += len;
        if (d.op != DMP_DELETE)
            count2 += len;
    }
    if (!cur.diffs.empty()) {
        add_context(cur, prepatch, o);
        out.push_back(std::move(cur));
    }
    if (out.empty())
        out.push_back(P{});
    return out;
}

// Cuts at most `n` bytes from the front of `text`, moved back to a
// character boundary; 0 when not even the first character fits.
size_t whole_chars(const string &text, size_t n) {
    if (n >= text.size())
        return text.size();
    return dmp_utf8_floor(text.data(), text.size(), n);
}

Patches split_max(const Patches &in, const dmp_options *o) {
    const size_t size = (size_t)o->match_max_bits, margin = (size_t)o->patch_margin;
    Patches out;
    for (const P &original : in) {
        if (original.length1 <= size) {
            out.push_back(original);
            continue;
        }
        P big = original;
        size_t start1 = big.start1, start2 = big.start2;
        string pre;
        size_t front = 0;  // diffs of `big` used up
        while (front < big.diffs.size()) {
            P np;
            bool empty = true;
            np.start1 = start1 - std::min(start1, pre.size());
            np.start2 = start2 - std::min(start2, pre.size());
            if (!pre.empty()) {
                np.length1 = np.length2 = pre.size();
                np.diffs.push_back({DMP_EQUAL, pre});
            }
            while (front < big.diffs.size() && np.length1 < size - margin) {
                D &d = big.diffs[front];
                size_t len = d.text.size();
                if (d.op == DMP_INSERT) {
                    np.length2 += len;
                    start2 += len;
                    np.diffs.push_back(std::move(d));
                    front++;
                    empty = false;
                } else if (d.op == DMP_DELETE && np.diffs.size() == 1 && np.diffs[0].op == DMP_EQUAL &&
                           len > 2 * size) {
                    np.length1 += len;
                    start1 += len;
                    np.diffs.push_back(std::move(d));
                    front++;
                    empty = false;
                } else {
                    size_t take = whole_chars(d.text, std::min(size - np.length1 - margin, len));
                    if (take == 0 && len > 0) {
                        // A character that does not fit starts the next patch;
                        // only a patch holding no more than its leading context
                        // takes it whole and runs a few bytes long.
                        if (np.diffs.size() > (pre.empty() ? 0u : 1u))
                            break;
                        take = dmp_utf8_ceil(d.text.data(), d.text.size(), 1);
                    }
                    np.length1 += take;
                    start1 += take;
                    if (d.op == DMP_EQUAL) {
                        np.length2 += take;
                        start2 += take;
                    } else {
                        empty = false;
                    }
                    np.diffs.push_back({d.op, d.text.substr(0, take)});
                    if (take == len)
                        front++;
                    else
                        d.text.erase(0, take);
                }
            }
            string t2 = side(np.diffs, DMP_DELETE);
            size_t cut = t2.size() > margin ? t2.size() - margin : 0;
            cut = dmp_utf8_ceil(t2.data(), t2.size(), cut);
            pre = t2.substr(cut);
            string rest;
            for (size_t i = front; i < big.diffs.size() && rest.size() < margin + 4; i++)
                if (big.diffs[i].op != DMP_INSERT)
                    rest += big.diffs[i].text;
            string post = rest.substr(0, std::min(margin, rest.size()));
            post.resize(dmp_utf8_floor(rest.data(), rest.size(), post.size()));
            if (!post.empty()) {
                np.length1 += post.size();
                np.length2 += post.size();
                if (!np.diffs.empty() && np.diffs.back().op == DMP_EQUAL)
                    np.diffs.back().text += post;
                else
                    np.diffs.push_back({DMP_EQUAL, post});
            }
            if (!empty)
                out.push_back(std::move(np));
        }
    }
    return out;
}

string add_padding(Patches &v, const dmp_options *o) {
    size_t margin = (size_t)o->patch_margin;
    string pad;
    for (size_t i = 1; i <= margin; i++)
        pad += (char)i;
    for (P &p : v) {
        p.start1 += margin;
        p.start2 += margin;
    }
    if (v.empty())
        return pad;
    P &first = v.front();
    if (first.diffs.empty() || first.diffs.front().op != DMP_EQUAL) {
        first.diffs.insert(first.diffs.begin(), D{DMP_EQUAL, pad});
        first.start1 -= margin;
        first.start2 -= margin;
        first.length1 += margin;
        first.length2 += margin;
    } else if (first.diffs.front().text.size() < margin) {
        string &t = first.diffs.front().text;
        size_t extra = margin - t.size();
        t = pad.substr(t.size()) + t;
        first.start1 -= extra;
        first.start2 -= extra;
        first.length1 += extra;
        first.length2 += extra;
    }
    P &last = v.back();
    if (last.diffs.empty() || last.diffs.back().op != DMP_EQUAL) {
        last.diffs.push_back(D{DMP_EQUAL, pad});
        last.length1 += margin;
        last.length2 += margin;
    } else if (last.diffs.back().text.size() < margin) {
        string &t = last.diffs.back().text;
        size_t extra = margin - t.size();
        t += pad.substr(0, extra);
        last.length1 += extra;
        last.length2 += extra;
    }
    return pad;
}

}  // namespace

patch *dmp_patch_new(diff *diffs, size_t start1, size_t start2, size_t length1, size_t length2) {
    patch *p = (patch *)calloc(1, sizeof(patch));
    if (!p)
        tzr_fatal("Out of memory making a patch.\n");
    *p = {diffs, start1, start2, length1, length2, nullptr};
    return p;
}

void dmp_patch_free(patch *patches) {
    while (patches) {
        patch *next = patches->next;
        dmp_diff_free(patches->diffs);
        free(patches);
        patches = next;
    }
}

patch *dmp_patch_copy(const patch *p) {
    if (!p)
        return nullptr;
    return dmp_patch_new(dmp_diff_list_copy(p->diffs), p->start1, p->start2, p->length1, p->length2);
}

patch *dmp_patch_list_copy(const patch *list) {
    patch *head = nullptr, **tail = &head;
    for (; list; list = list->next) {
        *tail = dmp_patch_copy(list);
        tail = &(*tail)->next;
    }
    return head;
}

void dmp_patch_prepend_diffs(patch *p, diff *diffs) {
    if (!p || !diffs)
        return;
    dmp_diff_append(&diffs, p->diffs);
    p->diffs = diffs;
}

void dmp_patch_append_diff_copy(patch *p, const diff *d) {
    if (p && d)
        dmp_diff_append(&p->diffs, dmp_diff_new(d->op, d->text));
}

diff *dmp_patch_last_diff(const patch *p) {
    diff *d = p ? p->diffs : nullptr;
    while (d && d->next)
        d = d->next;
    return d;
}

patch *dmp_patch_make_from_diffs(const char *text1, const diff *diffs, const dmp_options *options) {
    if (!text1 || invalid(options))
        return nullptr;
    return to_list(make(text1, dmp_detail::from_list(diffs), options));
}

patch *dmp_patch_make(const char *text1, const char *text2, const dmp_options *options) {
    if (!text1 || !text2 || invalid(options))
        return nullptr;
    diff *d = dmp_diff_main_strings(text1, text2);
    d = dmp_diff_cleanup_semantic(dmp_diff_cleanup_merge(d));
    patch *out = dmp_patch_make_from_diffs(text1, d, options);
    dmp_diff_free(d);
    return out;
}

patch *dmp_patch_make_from_diff_list(const diff *diffs, const dmp_options *options) {
    char *text1 = dmp_diff_text1(diffs);
    patch *out = dmp_patch_make_from_diffs(text1, diffs, options);
    free(text1);
    return out;
}

void dmp_patch_add_context(patch *p, const char *text, const dmp_options *options) {
    if (!p || !text || invalid(options))
        return;
    Patches v = from_list(p);
    v.resize(1);
    add_context(v[0], text, options);
    dmp_diff_free(p->diffs);
    p->diffs = dmp_detail::to_list(v[0].diffs);
    p->start1 = v[0].start1;
    p->start2 = v[0].start2;
    p->length1 = v[0].length1;
    p->length2 = v[0].length2;
}

void dmp_patch_split_max(patch *patches, const dmp_options *options) {
    if (!patches || invalid(options))
        return;
    replace_list(patches, split_max(from_list(patches), options));
}

char *dmp_patch_add_padding(patch *patches, const dmp_options *options) {
    if (!patches || invalid(options))
        return nullptr;
    Patches v = from_list(patches);
    string pad = add_padding(v, options);
    replace_list(patches, v);
    return heap_string(pad);
}

char *dmp_patch_apply(const patch *patches, const char *text, bool *applied, const dmp_options *options) {
    if (applied)
        *applied = false;
    if (!text)
        return nullptr;
    if (!patches || invalid(options))
        return heap_string(text);
    if (!patches->next && !patches->diffs) {
        if (applied)
            *applied = true;
        return heap_string(text);
    }
    bool all = true;
    const size_t max_bits = (size_t)options->match_max_bits;
    Patches v = from_list(patches);
    string pad = add_padding(v, options);
    v = split_max(v, options);
    string work = pad + text + pad;

    long long delta = 0;
    for (const P &p : v) {
        long long expected_signed = (long long)p.start2 + delta;
        size_t expected = expected_signed > 0 ? (size_t)expected_signed : 0;
        string t1 = side(p.diffs, DMP_INSERT);
        long start = -1, end = -1;
        if (t1.size() > max_bits) {
            start = dmp_match_main(work.data(), work.size(), t1.data(), max_bits, expected, options);
            if (start != -1) {
                // The tail window starts at whatever byte the length gives,
                // so its hit is taken as found, not moved to a character start.
                end = match_bytes(work.data(), work.size(), t1.data() + t1.size() - max_bits, max_bits,
                                  expected + t1.size() - max_bits, options);
                if (end == -1 || start >= end)
                    start = -1;
            }
        } else {
            start = dmp_match_main(work.data(), work.size(), t1.data(), t1.size(), expected, options);
        }
        if (start == -1) {
            all = false;
            delta += (long long)p.length1 - (long long)p.length2;
            continue;
        }
        delta = (long long)start - (long long)expected;
        size_t s = (size_t)start;
        size_t stop = end == -1 ? s + t1.size() : (size_t)end + max_bits;
        stop = dmp_utf8_ceil(work.data(), work.size(), std::min(stop, work.size()));
        string t2 = work.substr(s, stop - s);
        if (t1 == t2) {
            work.replace(s, t1.size(), side(p.diffs, DMP_DELETE));
            continue;
        }
        Budget budget;
        Diffs d = tidy(compute_diff(budget, t1, t2));
        diff *dl = dmp_detail::to_list(d);
        if (t1.size() > max_bits &&
            (float)dmp_diff_levenshtein(dl) / (float)t1.size() > options->patch_delete_threshold) {
            dmp_diff_free(dl);
            all = false;
            continue;
        }
        dmp_diff_free(dl);
        cleanup_semantic_lossless(d);
        dl = dmp_detail::to_list(d);
        size_t index1 = 0;
        for (const D &mod : p.diffs) {
            if (mod.op != DMP_EQUAL) {
                size_t at = s + dmp_diff_x_index(dl, index1);
                at = dmp_utf8_floor(work.data(), work.size(), std::min(at, work.size()));
                if (mod.op == DMP_INSERT) {
                    work.insert(at, mod.text);
                } else {
                    size_t to = s + dmp_diff_x_index(dl, index1 + mod.text.size());
                    to = dmp_utf8_ceil(work.data(), work.size(), std::min(to, work.size()));
                    if (to > at)
                        work.erase(at, to - at);
                }
            }
            if (mod.op != DMP_DELETE)
                index1 += mod.text.size();
        }
        dmp_diff_free(dl);
    }
    // The padding normally survives intact; cut no more than is there.
    size_t cut = std::min(pad.size(), work.size() / 2);
    string out = work.substr(cut, work.size() - 2 * cut);
    if (applied)
        *applied = all;
    return heap_string(out);
}

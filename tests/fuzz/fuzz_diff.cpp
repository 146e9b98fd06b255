// Two texts from the input (split at the first 0xFF byte): their diff must
// rebuild both texts, and patches made from them must turn the first into
// the second; a third text from the input takes the same patches without
// harm. Merged three ways with the first as the base, a version left as the
// base gives the other, one edit made in both gives it once, and the merge
// of the second and third is the same whichever is called whose, also with
// CRLF line breaks and between runs of lines said again. Any bytes, valid
// UTF-8 or not.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textengine/diff/diff.h"
#include "textengine/diff/merge.h"
#include "textengine/diff/patch.h"

static void check(bool ok) {
    if (!ok)
        abort();
}

static std::string take(char *s) {
    std::string out = s ? s : "";
    free(s);
    return out;
}

// The merge, or "<failed>" (which no input holds: 0xFF splits them).
static std::string merged(const std::string &base, const std::string &mine, const std::string &theirs) {
    size_t length = 0;
    char *text = dmp_merge(base.data(), base.size(), mine.data(), mine.size(), theirs.data(), theirs.size(), &length);
    std::string out = text ? std::string(text, length) : "<\xFF failed>";
    free(text);
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string in((const char *)data, size);
    for (char &c : in)
        if (c == 0)
            c = 1;
    size_t cut = in.find('\xFF');
    std::string a = in.substr(0, cut);
    std::string b = cut == std::string::npos ? std::string() : in.substr(cut + 1);
    size_t cut2 = b.find('\xFF');
    std::string third = cut2 == std::string::npos ? a : b.substr(cut2 + 1);
    if (cut2 != std::string::npos)
        b = b.substr(0, cut2);

    diff *d = dmp_diff_main(a.data(), b.data(), a.size(), b.size());
    d = dmp_diff_cleanup_semantic(d);
    check(take(dmp_diff_text1(d)) == a);
    check(take(dmp_diff_text2(d)) == b);
    free(dmp_diff_to_critic_markup(d));
    dmp_diff_x_index(d, a.size() / 2);
    dmp_diff_levenshtein(d);
    dmp_diff_free(d);

    dmp_options *o = dmp_options_new();
    patch *p = dmp_patch_make(a.c_str(), b.c_str(), o);
    bool ok = false;
    check(take(dmp_patch_apply(p, a.c_str(), &ok, o)) == b);
    free(dmp_patch_apply(p, third.c_str(), &ok, o));
    dmp_patch_free(p);
    if (!a.empty())
        dmp_match_main(third.data(), third.size(), a.data(), std::min<size_t>(a.size(), 40), b.size(), o);
    dmp_options_free(o);

    check(merged(a, a, b) == b);
    check(merged(a, b, a) == b);
    check(merged(a, b, b) == b);
    // Which version is whose changes nothing.
    check(merged(a, b, third) == merged(a, third, b));
    // The versions' lines as well, whatever they end with: none, CR alone,
    // CRLF, and runs of one line said again.
    auto crlf = [](std::string s) {
        std::string out;
        for (char c : s)
            out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    };
    check(merged(crlf(a), crlf(b), crlf(third)) == merged(crlf(a), crlf(third), crlf(b)));
    const std::string again = "same line\n" + std::string(a.size() % 7, '\n') + "same line\n";
    check(merged(again + a + again, again + b + again, again + third + again) ==
          merged(again + a + again, again + third + again, again + b + again));
    return 0;
}

// Random edits through the replace operation, checked after every edit
// against a plain model of the text: the mirror equals a fresh encoding, the
// offset conversions invert each other on character boundaries, and the
// live statistics equal a full recount.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "textengine/buffer/smart_string.h"

namespace {

const std::vector<std::string> kFragments = {
    "a", "word", "Tessaro", " ", "  ", "\t", "\n", "\n\n", "\r\n", "\r", ".", "-",
    "\xC3\xA9",          // two bytes
    "\xE2\x82\xAC",      // three bytes
    "\xF0\x9F\x98\x80",  // four bytes: a surrogate pair
    "\xEF\xBB\xBF",      // byte-order mark
};

bool is_boundary(const std::string &text, size_t i) {
    return i >= text.size() || ((unsigned char)text[i] & 0xC0) != 0x80;
}

size_t boundary_at_or_before(const std::string &text, size_t i) {
    while (i > 0 && !is_boundary(text, i))
        i--;
    return i;
}

std::string encode(const std::string &text) {
    char *m = smart_string_mirror_encode(text.c_str());
    std::string result(m);
    free(m);
    return result;
}

TEST(SmartStringProperty, RandomEditsKeepMirrorOffsetsAndCountsInStep) {
    std::mt19937 rng(20261206);
    auto pick = [&](size_t n) { return (size_t)(rng() % n); };
    auto random_text = [&](size_t max_fragments) {
        std::string t;
        for (size_t k = pick(max_fragments + 1); k > 0; k--)
            t += kFragments[pick(kFragments.size())];
        return t;
    };

    std::string model = "\xEF\xBB\xBF" "Start\r\nof a text\n\n";
    _SString *s = smart_string_new(model.c_str(), 0xB01);
    ASSERT_NE(s, nullptr);

    size_t paragraph_drifts = 0, largest = 0;
    const int kEdits = 6000;
    for (int step = 0; step < kEdits; step++) {
        size_t start, length;
        std::string text;
        size_t kind = pick(400);
        if (kind == 0) {  // replace everything, at times starting with a mark
            start = 0;
            length = (size_t)-1;
            text = (pick(2) ? "\xEF\xBB\xBF" : "") + random_text(200);
        } else {
            start = boundary_at_or_before(model, pick(model.size() + 1));
            // Past 4000 bytes edits remove more than they insert, so the
            // text stays small enough to re-check whole after every edit.
            bool shrink = model.size() > 4000;
            size_t reach = pick(shrink ? 40 : 6);
            size_t end = boundary_at_or_before(model, std::min(model.size(), start + reach));
            length = end - start;
            text = kind < 300 ? random_text(4) : (kind < 340 ? "" : kFragments[pick(kFragments.size())]);
        }
        smart_string_change c = {};
        c.tags = 1;
        smart_string_replace(s, start, length, text.c_str(), &c);
        size_t removed = length == (size_t)-1 ? model.size() - start : length;
        model.replace(start, removed, text);

        ASSERT_EQ(std::string(smart_string_text(s)), model) << "step " << step;
        largest = std::max(largest, model.size());
        ASSERT_EQ(c.removed_length, removed);
        ASSERT_EQ(c.new_end, start + text.size());

        // The mirror equals a fresh encoding, one byte per UTF-16 unit.
        std::string mirror = smart_string_mirror_text(s)->str;
        ASSERT_EQ(mirror, encode(model)) << "step " << step;
        ASSERT_EQ(mirror.size(), utf8_units_in_bytes(model.c_str(), (size_t)-1));

        // Characters, words and lines equal a full recount. Paragraphs may
        // drift: whether a line ending closes a paragraph depends on whether
        // any content came since the last blank line, which can lie before
        // the five bytes of context the incremental update looks at.
        uint64_t ch, w, l, p;
        text_statistics(model.c_str(), model.size(), &ch, &w, &l, &p);
        ASSERT_EQ(smart_string_char_count(s), ch) << "step " << step;
        ASSERT_EQ(smart_string_word_count(s), w) << "step " << step;
        ASSERT_EQ(smart_string_line_count(s), l) << "step " << step;
        if (smart_string_paragraph_count(s) != p) {
            paragraph_drifts++;
            smart_string_count_statistics(s);  // start the next edit from a true count
        }

        // Conversions on character boundaries invert each other.
        for (int probe = 0; probe < 4; probe++) {
            size_t bs = boundary_at_or_before(model, pick(model.size() + 1));
            size_t be = boundary_at_or_before(model, bs + pick(model.size() - bs + 1));
            if (be < bs)
                be = bs;
            size_t us, ul, bs2, bl2;
            utf8_byte_range_to_unit_range(model.c_str(), &us, &ul, bs, be - bs);
            utf8_unit_range_to_byte_range(model.c_str(), us, ul, &bs2, &bl2);
            ASSERT_EQ(bs2, bs);
            ASSERT_EQ(bl2, be - bs);
            size_t us2, ul2;
            utf8_byte_range_to_unit_range(model.c_str(), &us2, &ul2, bs2, bl2);
            ASSERT_EQ(us2, us);
            ASSERT_EQ(ul2, ul);
        }

        // The caret's unit range agrees with a conversion from the start.
        size_t cs = smart_string_caret_start(s), cl = smart_string_caret_length(s);
        size_t us, ul, es, el;
        smart_string_caret_unit_range(s, &us, &ul);
        utf8_byte_range_to_unit_range(model.c_str(), &es, &el, cs, cl);
        ASSERT_EQ(us, es);
        ASSERT_EQ(ul, el);
    }
    RecordProperty("paragraph_drifts", (int)paragraph_drifts);
    RecordProperty("largest_text", (int)largest);
    // Drift is the exception, not the rule.
    EXPECT_LT(paragraph_drifts, (size_t)kEdits / 10);
    smart_string_free(s, true);
}

}  // namespace

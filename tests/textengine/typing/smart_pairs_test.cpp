#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "textengine/marked_text.h"
#include "textengine/typing/smart_pairs.h"
#include "textengine/buffer/smart_string.h"

namespace {

constexpr uint64_t kPairs = 0xB01 | SMART_STRING_SMART_PAIRS;
constexpr char kDefaultPairs[] = "<>\"\"{}[]()**__``";

MarkedSStringPtr make(const MarkedText &m, uint64_t options, const char *pairs) {
    MarkedSStringPtr s(smart_string_new(m.text.c_str(), options));
    smart_string_set_pairs(s.get(), pairs);
    smart_string_set_caret(s.get(), m.start, m.length);
    return s;
}

void type(_SString *s, const std::string &keys) { type_keys(s, keys); }

struct PairCase {
    const char *before;
    const char *keys;
    const char *after;
    uint64_t options = kPairs;
    const char *pairs = kDefaultPairs;
};

TEST(SmartPairs, TypingTable) {
    const PairCase cases[] = {
        {"a ‸", "(", "a (‸)"},
        {"a‸", "(", "a(‸)"},                  // end of text: the NUL is a delimiter
        {"‸ b", "(", "(‸) b"},
        {"‸b", "(", "(‸b"},                   // before a letter: no closer
        {"a‸ ", "()", "a()‸ "},               // the closer steps over the automatic one
        {"‸)", ")", ")‸"},                    // steps over without a fresh pair too
        {"‸\"", "\"", "\"‸"},                 // same opener and closer: steps over
        {"‸", "\"", "\"‸\""},
        {"«abc»", "(", "(abc)‸"},             // wraps a selection
        {"x «a b» y", "*", "x *a b*‸ y"},
        {"a‸", "(\b", "a‸"},                  // Backspace removes both halves
        {"a‸", "( ", "a( ‸"},                 // a blank replaces the closer
        {"a‸", "(x", "a(x‸)"},
        {"a‸", "(\n", "a(\n‸)"},              // Return is not a follow-up
        {"a‸", "(\n\b", "a(‸)"},
        {"Bob‸", "'s", "Bob's‸", kPairs, "''"},  // possessive
        {"a ‸", "'s", "a 's‸'", kPairs, "''"},    // no letter before the apostrophe
        {"a‸", "'", "a'‸", kPairs, "()"},          // not an opener
        {"a‸.", ".", "a.‸", kPairs | SMART_STRING_TYPE_OVER_PERIODS, "()"},
        {"a‸.", ".", "a.‸.", kPairs, "()"},
        {"a‸", "(", "a(‸", 0xB01},                // smart pairs off
        // Pair strings: a final opener without its closer is ignored, and a
        // pair holding a multi-byte character is skipped whole.
        {"a ‸", "([", "a ([‸)", kPairs, "()["},
        {"a ‸", "(", "a (‸)", kPairs, "«»()"},
        {"a ‸", "<", "a <‸", kPairs, "«»()"},
        {"a ‸", "\xC2", "a \xC2‸", kPairs, "\xC2\xAB\xC2\xBB"},
        {"a ‸", "(", "a (‸", kPairs, "(\xE2\x80"},  // a truncated closer
    };
    for (const PairCase &pc : cases) {
        SCOPED_TRACE(std::string(pc.before) + " + " + pc.keys);
        MarkedText m = parse_marked(pc.before);
        MarkedSStringPtr s = make(m, pc.options, pc.pairs);
        type(s.get(), pc.keys);
        EXPECT_EQ(render_marked(s.get()), pc.after);
    }
}

// The fresh pair is forgotten once its closer no longer follows the caret.
TEST(SmartPairs, PendingCloserNeedsItsByteAndCaret) {
    MarkedText m = parse_marked("a ‸");
    // The caret moves away and back: a blank is then just a blank.
    MarkedSStringPtr s = make(m, kPairs, kDefaultPairs);
    type(s.get(), "(");
    smart_string_set_caret(s.get(), 0, 0);
    smart_string_set_caret(s.get(), 3, 0);
    type(s.get(), " ");
    EXPECT_EQ(render_marked(s.get()), "a ( ‸)");

    // The closer was replaced behind the step's back: Backspace removes one byte.
    s = make(m, kPairs, kDefaultPairs);
    type(s.get(), "(");
    smart_string_change c = {};
    smart_string_set_options(s.get(), 0xB01);
    smart_string_replace(s.get(), 3, 1, "]", &c);
    smart_string_set_options(s.get(), kPairs);
    smart_string_set_caret(s.get(), 3, 0);
    type(s.get(), "\b");
    EXPECT_EQ(render_marked(s.get()), "a ‸]");

    // After undo or redo the derived state is refreshed and the pair is gone.
    s = make(m, kPairs, kDefaultPairs);
    type(s.get(), "(");
    smart_string_refresh_derived(s.get());
    type(s.get(), "\b");
    EXPECT_EQ(render_marked(s.get()), "a ‸)");
}

}  // namespace

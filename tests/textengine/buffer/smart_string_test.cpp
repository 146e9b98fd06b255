#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "textengine/buffer/smart_string.h"
#include "textengine/buffer/smart_string_steps.h"

namespace {

constexpr uint64_t kDefault = 0xB01;  // what the text storage sets with every preference off

struct SStringDeleter {
    void operator()(_SString *s) const { smart_string_free(s, true); }
};
using SStringPtr = std::unique_ptr<_SString, SStringDeleter>;

SStringPtr make(const char *text, uint64_t options = kDefault) {
    return SStringPtr(smart_string_new(text, options));
}

std::string text_of(_SString *s) { return smart_string_text(s); }
std::string mirror_of(_SString *s) { return smart_string_mirror_text(s)->str; }

smart_string_change replace(_SString *s, size_t start, size_t length, const char *text) {
    smart_string_change c = {};
    c.tags = 1;
    smart_string_replace(s, start, length, text, &c);
    return c;
}

TEST(SmartString, NewStartsWithCountsMirrorAndNoCaretMoves) {
    auto s = make("a\xF0\x9F\x98\x80 b");
    EXPECT_EQ(text_of(s.get()), "a\xF0\x9F\x98\x80 b");
    EXPECT_EQ(mirror_of(s.get()), "axx b");
    EXPECT_EQ(smart_string_char_count(s.get()), 5u);
    EXPECT_EQ(smart_string_word_count(s.get()), 2u);
    EXPECT_EQ(smart_string_caret_start(s.get()), 0u);
    EXPECT_EQ(smart_string_caret_length(s.get()), 0u);

    // Without the statistics bit the counts stay 0, the mirror is still made.
    auto bare = make("x y", 0);
    EXPECT_EQ(smart_string_word_count(bare.get()), 0u);
    EXPECT_EQ(mirror_of(bare.get()), "x y");
}

TEST(SmartString, ReplaceReportsTheAppliedEdit) {
    struct Case {
        const char *before;
        size_t start, length;
        const char *text;
        const char *after;
        uint64_t removed, new_end, caret;
        uint8_t last_typed;  // set by one-byte edits only
    };
    const Case cases[] = {
        {"hello world", 6, 5, "there", "hello there", 5, 11, 11, 0},
        {"abc", 0, (size_t)-1, "xy", "xy", 3, 2, 2, 0},  // to the end: the whole text
        {"abc", 3, 0, "d", "abcd", 0, 4, 4, 'd'},        // at the end: appends
        {"abc", 1, 1, nullptr, "ac", 1, 1, 1, 0},        // NULL text deletes
        {"", 0, 0, "\xC3\xA9", "\xC3\xA9", 0, 2, 2, 0},
    };
    for (const auto &k : cases) {
        auto s = make(k.before);
        auto c = replace(s.get(), k.start, k.length, k.text);
        EXPECT_EQ(text_of(s.get()), k.after);
        EXPECT_EQ(c.start, k.start);
        EXPECT_EQ(c.new_start, k.start);
        EXPECT_EQ(c.removed_length, k.removed);
        EXPECT_EQ(c.new_end, k.new_end);
        EXPECT_EQ(c.tags, 1u);
        EXPECT_EQ(smart_string_caret_start(s.get()), k.caret);
        EXPECT_EQ(smart_string_caret_length(s.get()), 0u);
        EXPECT_EQ(s->last_typed, k.last_typed);
    }
}

TEST(SmartString, TextTakenFromTheBufferItselfIsCopiedFirst) {
    std::string line(600, 'x');
    line += '\n';
    auto s = make(line.c_str());
    // The doubled text outgrows the buffer, which moves during the edit.
    replace(s.get(), 0, 0, smart_string_text(s.get()));
    EXPECT_TRUE(text_of(s.get()) == line + line);
    EXPECT_EQ(s->last_typed, 0);
}

TEST(SmartString, RangesOutsideTheTextAreRefusedWithoutWrapping) {
    struct Case {
        size_t start, length;
        const char *message;
    };
    const Case cases[] = {
        {4, 0, "Smart String: Attempt to modify illegal start position.\n"},
        {(size_t)-1, 0, "Smart String: Attempt to modify illegal start position.\n"},
        {1, 3, "Smart String: Attempt to modify illegal stop position.\n"},
        // start + length would wrap around to 1 and pass a naive check.
        {3, (size_t)-2, "Smart String: Attempt to modify illegal stop position.\n"},
        {1, (size_t)-2, "Smart String: Attempt to modify illegal stop position.\n"},
    };
    for (const auto &k : cases) {
        auto s = make("abc");
        smart_string_change c = {};
        c.tags = 77;
        c.start = 55;
        testing::internal::CaptureStderr();
        smart_string_replace(s.get(), k.start, k.length, "zz", &c);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), k.message);
        EXPECT_EQ(text_of(s.get()), "abc");
        EXPECT_EQ(mirror_of(s.get()), "abc");
        EXPECT_EQ(c.start, 55u);  // the record is left as the caller made it
    }
    smart_string_replace(nullptr, 0, 0, "x", nullptr);
}

TEST(SmartString, PlaceholderTabSelectsTheNextPlaceholder) {
    struct Case {
        const char *text;
        size_t caret;  // where the Tab is typed
        size_t found;
    };
    const Case cases[] = {
        {"a %| b %| c", 0, 2},
        {"a %| b %| c", 3, 7},   // the next one after the caret
        {"a %| b %| c", 2, 7},   // standing on one: skip it
        {"a %| b %| c", 7, 2},   // on the last: wrap to the first
        {"x %| tail", 8, 2},     // only before the caret: wrap
        {"x %| tail", 9, 2},     // at the very end: wrap
    };
    for (const auto &k : cases) {
        auto s = make(k.text);
        auto c = replace(s.get(), k.caret, 0, "\t");
        EXPECT_EQ(text_of(s.get()), k.text) << k.text << " @" << k.caret;
        EXPECT_EQ(smart_string_caret_start(s.get()), k.found) << k.text << " @" << k.caret;
        EXPECT_EQ(smart_string_caret_length(s.get()), 2u);
        EXPECT_EQ(c.start, k.found);
        EXPECT_EQ(c.removed_length, 0u);
        EXPECT_EQ(c.new_end, k.found);
        EXPECT_EQ(s->last_typed, '\t');
    }
    // Without a placeholder, or without the option, the Tab is typed.
    auto none = make("ab");
    replace(none.get(), 1, 0, "\t");
    EXPECT_EQ(text_of(none.get()), "a\tb");
    auto off = make("%|", kDefault & ~(uint64_t)SMART_STRING_PLACEHOLDER_TAB);
    replace(off.get(), 0, 0, "\t");
    EXPECT_EQ(text_of(off.get()), "\t%|");
}

TEST(SmartString, SetOptionsKeepsTheCreationBitsAndRecounts) {
    auto s = make("one two", kDefault | SMART_STRING_LINEAR_UNDO);
    smart_string_set_options(s.get(), SMART_STRING_SMART_PAIRS | SMART_STRING_EXPANSION_DELIMITER);
    EXPECT_EQ(smart_string_get_options(s.get()),
              (uint64_t)(SMART_STRING_UNDO | SMART_STRING_LINEAR_UNDO | SMART_STRING_SMART_PAIRS));
    EXPECT_EQ(smart_string_word_count(s.get()), 0u);

    // Statistics and mirror come back in step with edits made while off.
    replace(s.get(), 7, 0, " three\xF0\x9F\x98\x80");
    EXPECT_EQ(mirror_of(s.get()), "one two");
    smart_string_set_options(s.get(), kDefault);
    EXPECT_EQ(smart_string_word_count(s.get()), 3u);
    EXPECT_EQ(mirror_of(s.get()), "one two threexx");
}

TEST(SmartString, CaretUnitRange) {
    auto s = make("\xC3\xA9\xF0\x9F\x98\x80xyz");
    size_t us, ul;
    smart_string_set_caret(s.get(), 2, 5);
    smart_string_caret_unit_range(s.get(), &us, &ul);
    EXPECT_EQ(us, 1u);
    EXPECT_EQ(ul, 3u);
    const size_t invalid[][2] = {{(size_t)-1, 0}, {0, (size_t)-1}, {6, 4}, {2, (size_t)-3}};
    for (const auto &r : invalid) {
        smart_string_set_caret(s.get(), r[0], r[1]);
        smart_string_caret_unit_range(s.get(), &us, &ul);
        EXPECT_EQ(us, (size_t)-1);
        EXPECT_EQ(ul, (size_t)-1);
    }
}

TEST(SmartString, ParagraphDriftNeverWrapsBelowZero) {
    // A sequence (found by search) whose windows take away one paragraph
    // more than the text ever held.
    auto s = make(" a     ", SMART_STRING_STATISTICS);
    replace(s.get(), 7, 0, "\n\n");
    replace(s.get(), 2, 2, "");
    replace(s.get(), 4, 1, " ");
    replace(s.get(), 0, 3, "");
    EXPECT_EQ(text_of(s.get()), "  \n\n");
    EXPECT_EQ(smart_string_paragraph_count(s.get()), 0u);
    EXPECT_EQ(smart_string_line_count(s.get()), 2u);
}

TEST(SmartString, ByteOrderMarksKeepMirrorAndOffsetsInStep) {
    auto s = make("\xEF\xBB\xBFtitle");
    EXPECT_EQ(mirror_of(s.get()), "xtitle");
    replace(s.get(), 4, 0, "\xEF\xBB\xBF");  // pasted into the middle
    replace(s.get(), 0, 3, "");              // and the leading one deleted
    EXPECT_EQ(mirror_of(s.get()), "txitle");
    size_t us, ul;
    utf8_byte_range_to_unit_range(smart_string_text(s.get()), &us, &ul, 4, 3);
    EXPECT_EQ(us, 2u);
    EXPECT_EQ(mirror_of(s.get()).substr(us, ul), "itl");
}

// --- The pipeline's steps, driven through fakes ---------------------------

struct StepLog {
    std::vector<std::string> calls;
};
StepLog *g_log;

bool log_step(const char *name) {
    g_log->calls.push_back(name);
    return false;
}

bool fake_tab(_SString *, size_t, size_t, char **, smart_string_change *) { return log_step("tab"); }
bool fake_enter(_SString *, size_t, size_t, char **, smart_string_change *) {
    return log_step("enter");
}
void fake_scan(_SString *) { g_log->calls.push_back("scan"); }
bool fake_track_accept(_SString *, size_t, size_t, char **, smart_string_change *) {
    g_log->calls.push_back("track");
    return true;
}
bool fake_track_refuse(_SString *s, size_t start, size_t length, char **, smart_string_change *) {
    g_log->calls.push_back("track");
    smart_string_set_caret(s, start, length);
    return false;
}
bool fake_expand_none(_SString *, size_t, size_t, char **, smart_string_change *) {
    return log_step("expand");
}
bool fake_pairs(_SString *, size_t, size_t, char **, smart_string_change *) { return log_step("pairs"); }
bool fake_undo(_SString *s, size_t start, size_t length, const char *text, uint64_t tags) {
    // Recorded against the text before the edit.
    g_log->calls.push_back("undo " + std::string(smart_string_text(s)).substr(start, length) +
                           "->" + text + " tags " + std::to_string(tags));
    return true;
}

// An expansion of the key "sig" (typed as its last byte "g") into a template
// with a caret placeholder.
bool fake_expand_sig(_SString *s, size_t start, size_t, char **text, smart_string_change *c) {
    g_log->calls.push_back("expand");
    if (strcmp(*text, "g") != 0 || start < 2 || strncmp(smart_string_text(s) + start - 2, "si", 2))
        return false;
    free(*text);
    *text = strdup("Best, %|\nAnn");
    c->start = start - 2;
    c->removed_length = 2;
    return true;
}
class Pipeline : public testing::Test {
  protected:
    void SetUp() override { g_log = &log_; }
    void TearDown() override { g_log = nullptr; }
    smart_string_change run(_SString *s, size_t start, size_t length, const char *text,
                            const smart_string_steps &steps) {
        smart_string_change c = {};
        c.tags = 1;
        smart_string_replace_with_steps(s, start, length, text, &c, &steps);
        return c;
    }
    StepLog log_;
};

TEST_F(Pipeline, StepsRunInOrderAndUndoSeesTheOldText) {
    smart_string_steps steps = {fake_tab,  fake_enter, fake_scan, fake_track_accept,
                                fake_expand_none, fake_pairs, fake_undo};
    auto s = make("abcd", kDefault | 0x401428);  // tab, enter, tracking, expansions, pairs
    run(s.get(), 1, 2, "XY", steps);
    const std::vector<std::string> expected = {"tab", "enter", "scan", "track",
                                               "expand", "pairs", "undo bc->XY tags 1"};
    EXPECT_EQ(log_.calls, expected);
    EXPECT_EQ(text_of(s.get()), "aXYd");
}

TEST_F(Pipeline, RefusedTrackedEditChangesNothing) {
    smart_string_steps steps = {fake_tab,  fake_enter, fake_scan, fake_track_refuse,
                                fake_expand_none, fake_pairs, fake_undo};
    auto s = make("keep this");
    replace(s.get(), 0, 0, "k");  // through the real steps: last typed byte 'k'
    smart_string_set_options(s.get(), kDefault | SMART_STRING_CHANGE_TRACKING);
    log_.calls.clear();
    auto c = run(s.get(), 3, 4, "XY", steps);
    EXPECT_EQ(text_of(s.get()), "kkeep this");
    EXPECT_EQ(mirror_of(s.get()), "kkeep this");
    EXPECT_EQ(c.start, 3u);
    EXPECT_EQ(c.removed_length, 0u);
    EXPECT_EQ(c.new_start, 3u);
    EXPECT_EQ(c.new_end, 3u);
    EXPECT_EQ(smart_string_caret_start(s.get()), 3u);
    EXPECT_EQ(smart_string_caret_length(s.get()), 4u);
    EXPECT_EQ(s->last_typed, 'k');
    const std::vector<std::string> expected = {"scan", "track"};
    EXPECT_EQ(log_.calls, expected);
}

TEST_F(Pipeline, ExpansionCaretLandsOnItsPlaceholderWithOrWithoutPairs) {
    smart_string_steps steps = {fake_tab,  fake_enter, fake_scan, fake_track_accept,
                                fake_expand_sig, fake_pairs, fake_undo};
    for (uint64_t pairs : {(uint64_t)0, (uint64_t)SMART_STRING_SMART_PAIRS}) {
        auto s = make("Hi si", kDefault | SMART_STRING_EXPANSIONS | pairs);
        auto c = run(s.get(), 5, 0, "g", steps);
        EXPECT_EQ(text_of(s.get()), "Hi Best, %|\nAnn");
        EXPECT_EQ(mirror_of(s.get()), "Hi Best, %|\nAnn");
        EXPECT_EQ(c.start, 3u);
        EXPECT_EQ(c.removed_length, 2u);
        EXPECT_EQ(c.new_end, 15u);
        EXPECT_EQ(smart_string_caret_start(s.get()), 9u) << "pairs " << pairs;
        EXPECT_EQ(smart_string_caret_length(s.get()), 2u) << "pairs " << pairs;
        // No pairs step after an expansion.
        EXPECT_EQ(std::count(log_.calls.begin(), log_.calls.end(), "pairs"), 0);
        log_.calls.clear();
    }
    // Without the placeholder option the caret goes after the expansion.
    auto s = make("si", (kDefault & ~(uint64_t)SMART_STRING_PLACEHOLDER_TAB) | SMART_STRING_EXPANSIONS);
    run(s.get(), 2, 0, "g", steps);
    EXPECT_EQ(smart_string_caret_start(s.get()), 12u);
    EXPECT_EQ(smart_string_caret_length(s.get()), 0u);
}

// --- Highlight store ------------------------------------------------------

TEST(SmartStringHighlight, LookupFindsTheBlocksAroundARange) {
    auto s = make("");
    // Blocks [0,10) [10,20) [20,30) [30,40).
    token *chain = token_new(50, 0, 10);
    for (size_t i = 1; i < 4; i++)
        token_chain_append(chain, token_new(50, i * 10, 10));
    smart_string_set_highlight_tokens(s.get(), chain, 100);
    EXPECT_EQ(smart_string_highlight_base(s.get()), 100u);

    token *first, *last;
    auto starts = [&](size_t a, size_t n) {
        smart_string_highlight_tokens_at(s.get(), a, n, &first, &last);
        return std::make_pair(first ? (long)first->start : -1L, last ? (long)last->start : -1L);
    };
    EXPECT_EQ(starts(5, 2), std::make_pair(0L, 0L));
    EXPECT_EQ(starts(12, 10), std::make_pair(10L, 30L));  // one block past the end
    EXPECT_EQ(starts(12, 25), std::make_pair(10L, 30L));  // the chain's last
    EXPECT_EQ(starts(12, 40), std::make_pair(10L, -1L));  // past the chain
    EXPECT_EQ(starts(45, 0), std::make_pair(-1L, -1L));
    EXPECT_EQ(starts(12, (size_t)-1), std::make_pair(10L, -1L));

    s->highlight_cursor = chain->next->next;  // lookups walk back from a cursor
    EXPECT_EQ(starts(3, 1), std::make_pair(0L, 0L));

    token *taken = smart_string_take_highlight_tokens(s.get());
    EXPECT_EQ(taken, chain);
    EXPECT_EQ(starts(5, 2), std::make_pair(-1L, -1L));
    // With no cursor only the scan flag searches from the head.
    smart_string_set_highlight_tokens(s.get(), taken, 0);
    s->highlight_cursor = nullptr;
    EXPECT_EQ(starts(25, 1), std::make_pair(-1L, -1L));
    s->highlight_scan = 1;
    EXPECT_EQ(starts(25, 1), std::make_pair(20L, 20L));
    // Handing the held chain back in keeps it alive (the sanitizers watch).
    smart_string_set_highlight_tokens(s.get(), taken, 0);
    EXPECT_EQ(starts(25, 1), std::make_pair(20L, 20L));
}

}  // namespace

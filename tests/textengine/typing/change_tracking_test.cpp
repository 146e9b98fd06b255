#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "textengine/typing/change_tracking.h"
#include "library/critic.h"
#include "textengine/buffer/smart_string.h"

namespace {

constexpr uint64_t kDefault = 0xB01;

struct SStringDeleter {
    void operator()(_SString *s) const { smart_string_free(s, true); }
};
using SStringPtr = std::unique_ptr<_SString, SStringDeleter>;

SStringPtr tracking(const char *text, const char *comment = nullptr) {
    SStringPtr s(smart_string_new(text, kDefault));
    smart_string_start_tracking_changes(s.get());
    smart_string_set_comment_template(s.get(), comment);
    return s;
}

std::string text_of(_SString *s) { return smart_string_text(s); }

smart_string_change replace(_SString *s, size_t start, size_t length, const char *text) {
    smart_string_change c = {};
    c.tags = 1;
    smart_string_replace(s, start, length, text, &c);
    return c;
}

// (text, selection, typed text) -> (text, caret), through the Smart String.
TEST(ChangeTracking, EditsBecomeCriticMarkup) {
    struct Case {
        const char *name;
        const char *before;
        size_t start, length;
        const char *typed;
        const char *after;
        size_t caret, caret_length;
    } cases[] = {
        {"insertion", "abc", 1, 0, "x", "a{++x++}bc", 5, 0},
        {"replacement", "the old word", 4, 3, "new", "the {~~old~>new~~} word", 15, 0},
        {"deletion", "axb", 1, 1, "", "a{--x--}b", 1, 0},
        {"deletion joins the one after", "x{--abc--}", 0, 1, "", "{--xabc--}", 0, 0},
        {"deletion joins the one before", "{--abc--}x", 9, 1, "", "{--abcx--}", 10, 0},
        {"insertion in an addition", "{++abc++}", 4, 0, "x", "{++axbc++}", 5, 0},
        {"deletion in an addition", "{++abc++}", 4, 1, "", "{++ac++}", 4, 0},
        {"replacement in a comment", "{>>abc<<}", 3, 2, "xy", "{>>xyc<<}", 5, 0},
        {"insertion in a new half", "{~~old~>new~~}", 9, 0, "x", "{~~old~>nxew~~}", 10, 0},
        {"insertion right after ~>", "{~~old~>new~~}", 8, 0, "x", "{~~old~>xnew~~}", 9, 0},
        {"at the first byte of {++", "{++a++}", 0, 0, "x", "{++x++}{++a++}", 4, 0},
        {"right after ++}", "{++a++}", 7, 0, "x", "{++a++}{++x++}", 11, 0},
        {"next to a lone opener", "{++ a", 5, 0, "x", "{++ a{++x++}", 9, 0},
        {"multi-byte", "caf", 3, 0, "\xC3\xA9", "caf{++\xC3\xA9++}", 8, 0},
        // Refused: the text stays, the caret keeps the selection.
        {"in a deletion", "{--abc--}", 4, 0, "x", "{--abc--}", 4, 0},
        {"in a highlight", "{==abc==}", 4, 1, "", "{==abc==}", 4, 1},
        {"in an old half", "{~~old~>new~~}", 4, 0, "x", "{~~old~>new~~}", 4, 0},
        {"at the ~>", "{~~old~>new~~}", 6, 0, "x", "{~~old~>new~~}", 6, 0},
        {"touching an opener", "{++abc++}", 2, 3, "x", "{++abc++}", 2, 3},
        {"touching a closer", "{++abc++}x", 5, 3, "", "{++abc++}x", 5, 3},
        // Reaching from a lone marker into a change would nest them.
        {"lone marker then change", "{-- a {++b++} c", 0, 15, "", "{-- a {++b++} c", 0, 15},
    };
    for (const auto &c : cases) {
        auto s = tracking(c.before);
        replace(s.get(), c.start, c.length, c.typed);
        EXPECT_EQ(text_of(s.get()), c.after) << c.name;
        EXPECT_EQ(smart_string_caret_start(s.get()), c.caret) << c.name;
        EXPECT_EQ(smart_string_caret_length(s.get()), c.caret_length) << c.name;
    }
}

TEST(ChangeTracking, RefusedEditIsReportedEmpty) {
    auto s = tracking("{--abc--}");
    auto c = replace(s.get(), 4, 2, "xy");
    EXPECT_EQ(c.start, 4u);
    EXPECT_EQ(c.removed_length, 0u);
    EXPECT_EQ(c.new_end, 4u);
}

// A comment or highlight written by command, in place of a selection: made
// plainly where tracking would mark it (with no comment of its own after
// it), inside a change as typing there is, and never reaching into one.
TEST(ChangeTracking, NotesAreNotMarkedAsChanges) {
    struct Case {
        const char *name;
        const char *before;
        size_t start, length;
        const char *note;
        const char *after;
        size_t caret, caret_length;
    } cases[] = {
        {"comment at a caret", "abc", 1, 0, "{>>n<<}", "a{>>n<<}bc", 8, 0},
        {"highlight on a selection", "abc", 1, 1, "{==b==}{>>n<<}", "a{==b==}{>>n<<}c", 15, 0},
        {"right after a change", "{++a++}b", 7, 1, "{>>b<<}", "{++a++}{>>b<<}", 14, 0},
        {"beside a lone marker", "{++ a", 4, 1, "{>>a<<}", "{++ {>>a<<}", 11, 0},
        {"in an addition", "{++abc++}", 4, 1, "{>>b<<}", "{++a{>>b<<}c++}", 11, 0},
        {"in a new half", "{~~old~>new~~}", 9, 0, "{>><<}", "{~~old~>n{>><<}ew~~}", 15, 0},
        // Refused: the text stays, the caret keeps the selection.
        {"in a deletion", "{--abc--}", 4, 1, "{>>b<<}", "{--abc--}", 4, 1},
        {"in a highlight", "{==abc==}", 4, 0, "{>><<}", "{==abc==}", 4, 0},
        {"in an old half", "{~~old~>new~~}", 4, 1, "{>>l<<}", "{~~old~>new~~}", 4, 1},
        {"over a marker", "{++abc++}", 5, 3, "{>>c++<<}", "{++abc++}", 5, 3},
        {"from the text into a change", "ab{++cd++}", 1, 5, "{>>b{++c<<}", "ab{++cd++}", 1, 5},
    };
    for (const auto &c : cases) {
        auto s = tracking(c.before, "stamp");
        smart_string_change change = {};
        change.tags = 1;
        smart_string_replace_with_note(s.get(), c.start, c.length, c.note, &change);
        EXPECT_EQ(text_of(s.get()), c.after) << c.name;
        EXPECT_EQ(smart_string_caret_start(s.get()), c.caret) << c.name;
        EXPECT_EQ(smart_string_caret_length(s.get()), c.caret_length) << c.name;
        // Typing goes on as tracked: a note takes nothing from the rules.
        replace(s.get(), 0, 0, "x");
        EXPECT_EQ(text_of(s.get()), "{++x++}{>>stamp<<}" + std::string(c.after)) << c.name;
    }
}

TEST(ChangeTracking, CommentTemplateFollowsNewChanges) {
    auto s = tracking("abc", "note");
    replace(s.get(), 1, 0, "x");
    EXPECT_EQ(text_of(s.get()), "a{++x++}{>>note<<}bc");
    EXPECT_EQ(smart_string_caret_start(s.get()), 5u);

    auto d = tracking("abc", "on %Y");
    replace(d.get(), 0, 1, "");
    char year[8];
    time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    strftime(year, sizeof year, "%Y", &local);
    EXPECT_EQ(text_of(d.get()), std::string("{--a--}{>>on ") + year + "<<}bc");

    // Substitutions carry no comment; an empty template adds none.
    replace(s.get(), 18, 2, "yz");
    EXPECT_EQ(text_of(s.get()), "a{++x++}{>>note<<}{~~bc~>yz~~}");
    smart_string_set_comment_template(s.get(), "");
    replace(s.get(), 0, 0, "w");
    EXPECT_EQ(text_of(s.get()).substr(0, 7), "{++w++}");
}

TEST(ChangeTracking, StartStopToggle) {
    auto s = tracking("a");
    EXPECT_TRUE(smart_string_is_tracking_changes(s.get()));
    smart_string_toggle_change_tracking(s.get());
    EXPECT_FALSE(smart_string_is_tracking_changes(s.get()));
    EXPECT_EQ(s->change_tokens, nullptr);
    replace(s.get(), 1, 0, "b");
    EXPECT_EQ(text_of(s.get()), "ab");
    smart_string_toggle_change_tracking(s.get());
    EXPECT_NE(s->change_tokens, nullptr);
    replace(s.get(), 2, 0, "c");
    EXPECT_EQ(text_of(s.get()), "ab{++c++}");
}

TEST(ChangeTracking, ScanPairsMarkers) {
    token *root = critic_scan_text("x{++a~>b++}{~~c~>d~~}~~>{==", 27);
    critic_pair_changes(root);
    ASSERT_NE(root, nullptr);
    token *t = root->child;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->type, PAIR_CRITIC_ADD);
    EXPECT_EQ(t->start, 1u);
    EXPECT_EQ(t->len, 10u);
    t = t->next;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->type, PAIR_CRITIC_SUB_ADD);
    EXPECT_EQ(t->child->next->type, CRITIC_SUB_DIV);
    t = t->next;
    ASSERT_NE(t, nullptr);  // "~~>" holds one "~>" at its second byte
    EXPECT_EQ(t->type, CRITIC_SUB_DIV);
    EXPECT_EQ(t->start, 22u);
    t = t->next;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->type, CRITIC_HI_OPEN);  // lone
    EXPECT_EQ(t->child, nullptr);
    EXPECT_EQ(t->next, nullptr);
    token_tree_free(root);

    // The scan never reads past the range, whatever the bytes.
    const char bytes[] = "{+\xFF\xC3{-";
    token *cut = critic_scan_text(bytes, 2);
    EXPECT_EQ(cut->child, nullptr);
    token_tree_free(cut);
}

TEST(ChangeTracking, NextPreviousAndIntersecting) {
    //            0         1         2
    //            0123456789012345678901
    auto s = tracking("a {++b++} c {--d--} e");
    struct Case {
        bool next;
        size_t position;
        size_t start, length;
    } cases[] = {
        {true, 0, 2, 7},   {true, 4, 12, 7},  {true, 15, 2, 7},  // wraps
        {false, 21, 12, 7}, {false, 15, 2, 7}, {false, 4, 12, 7},  // wraps
    };
    for (const auto &c : cases) {
        size_t start = 0, length = 0;
        if (c.next)
            smart_string_next_change(s.get(), c.position, &start, &length);
        else
            smart_string_previous_change(s.get(), c.position, &start, &length);
        EXPECT_EQ(start, c.start) << c.next << " " << c.position;
        EXPECT_EQ(length, c.length) << c.next << " " << c.position;
    }

    size_t start = 0, length = 0;
    smart_string_change_intersecting_range(s.get(), 5, 1, &start, &length);
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(length, 7u);
    smart_string_change_intersecting_range(s.get(), 5, 10, &start, &length);
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(length, 17u);
    smart_string_change_intersecting_range(s.get(), 0, 1, &start, &length);
    EXPECT_EQ(start, (size_t)-1);
    EXPECT_EQ(length, 0u);

    auto nested = tracking("{++a{--b--}c++}");
    smart_string_change_intersecting_range(nested.get(), 7, 1, &start, &length);
    EXPECT_EQ(start, 4u);
    EXPECT_EQ(length, 7u);

    auto one = tracking("x {++y++}");
    smart_string_next_change(one.get(), 5, &start, &length);
    EXPECT_EQ(start, 2u);
    auto none = tracking("plain");
    smart_string_next_change(none.get(), 2, &start, &length);
    EXPECT_EQ(start, (size_t)-1);
    smart_string_previous_change(none.get(), 2, &start, &length);
    EXPECT_EQ(start, (size_t)-1);
    EXPECT_EQ(length, 0u);
}

TEST(ChangeTracking, CanEditRange) {
    //            0         1         2
    //            012345678901234567890123456789
    auto s = tracking("{++ab++} {--cd--} {~~e~>f~~} {==g==}");
    struct Case {
        size_t start, length, replacement;
        int expected;
    } cases[] = {
        {4, 0, 0, 1},     // nothing to do
        {4, 0, 1, 1},     // in an addition
        {13, 0, 1, 0},    // in a deletion
        {32, 1, 0, 0},    // in a highlight
        {21, 0, 1, 0},    // old half
        {24, 0, 1, 1},    // new half
        {23, 1, 1, 0},    // the "~>"
        {1, 0, 1, 0},     // inside "{++"
        {8, 0, 1, -1},    // between changes
        {5, 10, 0, 0},    // from one change into another
    };
    for (const auto &c : cases)
        EXPECT_EQ(smart_string_can_edit_range(s.get(), c.start, c.length, c.replacement),
                  c.expected)
            << c.start << "+" << c.length;

    // The answer is about the text as it is now, not as the last scan saw it.
    auto t = tracking("ab{--cd--}");
    replace(t.get(), 0, 0, "x");  // "{++x++}ab{--cd--}"
    EXPECT_EQ(smart_string_can_edit_range(t.get(), 8, 0, 1), -1);
    EXPECT_EQ(smart_string_can_edit_range(t.get(), 13, 0, 1), 0);

    // A lone marker first, then a change: refused, the change must not nest.
    auto lone = tracking("{-- a {++b++} c");
    EXPECT_EQ(smart_string_can_edit_range(lone.get(), 0, 15, 0), 0);
    EXPECT_EQ(smart_string_can_edit_range(lone.get(), 1, 2, 0), -1);

    smart_string_stop_tracking_changes(s.get());
    EXPECT_EQ(smart_string_can_edit_range(s.get(), 13, 0, 1), 1);
}

// Typing, deleting and replacing with tracking on, then settling the
// changes with the library's CriticMarkup functions.
TEST(ChangeTracking, AcceptAndRejectGiveBothTexts) {
    const char *original = "The quick fox jumps.";
    auto s = tracking(original);
    // Type " brown" after "quick", one character at a time at the caret.
    smart_string_set_caret(s.get(), 9, 0);
    for (const char *p = " brown"; *p; p++) {
        char one[2] = {*p, 0};
        replace(s.get(), smart_string_caret_start(s.get()), 0, one);
    }
    EXPECT_EQ(text_of(s.get()), "The quick{++ brown++} fox jumps.");
    // Replace "fox" by "dog" in one edit.
    std::string now = text_of(s.get());
    replace(s.get(), now.find("fox"), 3, "dog");
    // Backspace over "jumps" from its end.
    now = text_of(s.get());
    size_t caret = now.find("jumps") + 5;
    for (int i = 0; i < 5; i++) {
        replace(s.get(), caret - 1, 1, "");
        caret = smart_string_caret_start(s.get());
    }
    // Type an accented word where "jumps" was.
    now = text_of(s.get());
    replace(s.get(), now.find("{--"), 0, "\xC3\xA9lans");
    EXPECT_EQ(text_of(s.get()),
              "The quick{++ brown++} {~~fox~>dog~~} {++\xC3\xA9lans++}{--jumps--}.");

    DString *accepted = d_string_new(smart_string_text(s.get()));
    critic_accept_all(accepted);
    EXPECT_STREQ(accepted->str, "The quick brown dog \xC3\xA9lans.");
    d_string_free(accepted, true);
    DString *rejected = d_string_new(smart_string_text(s.get()));
    critic_reject_all(rejected);
    EXPECT_STREQ(rejected->str, original);
    d_string_free(rejected, true);
}

}  // namespace

// The undo history through the Smart String's edit pipeline: grouping and
// coalescing, tag masks, plain and linear history, and random edit runs
// whose undo and redo must restore text, caret and mirror exactly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "textengine/buffer/smart_string.h"
#include "textengine/buffer/smart_string_steps.h"
#include "textengine/test_text.h"
#include "textengine/buffer/undo.h"

namespace {

constexpr uint64_t kPlain = SMART_STRING_UNDO | SMART_STRING_STATISTICS | SMART_STRING_MIRROR;
constexpr uint64_t kLinear = kPlain | SMART_STRING_LINEAR_UNDO;

struct Buffer {
    _SString *s;
    explicit Buffer(const char *text, uint64_t options = kPlain, uint32_t level = 0)
        : s(smart_string_new(text, options)) {
        smart_string_set_coalesce_level(s, level);
    }
    ~Buffer() { smart_string_free(s, true); }
    void edit(size_t start, size_t length, const char *text, uint64_t tags = 1) {
        smart_string_change *c = smart_string_change_new();
        c->tags = tags;
        smart_string_replace(s, start, length, text, c);
        smart_string_change_free(c);
    }
    void type(const std::string &chars) {
        for (char ch : chars) {
            char one[2] = {ch, 0};
            edit(smart_string_length(s), 0, one);
        }
    }
    std::string text() const { return smart_string_text(s); }
    size_t groups() const {
        size_t n = 0;
        for (undo_group *g = s->undo_head; g; g = g->next)
            n++;
        return n - 1;  // without the first group
    }
    bool undo(uint64_t mask = 1) { return smart_string_undo(s, nullptr, nullptr, nullptr, mask); }
    bool redo(uint64_t mask = 1) { return smart_string_redo(s, nullptr, nullptr, nullptr, mask); }
    // The view's copy must stay what a fresh mirror of the text would be.
    void expect_mirror_in_step() const {
        _SString *fresh = smart_string_new(smart_string_text(s), kPlain);
        EXPECT_EQ(std::string(smart_string_mirror_text(s)->str), std::string(smart_string_mirror_text(fresh)->str));
        smart_string_free(fresh, true);
    }
};

TEST(Undo, CoalescingByLevel) {
    struct Case {
        uint32_t level;
        std::string typed;
        size_t groups;
    } cases[] = {
        {0, "ab", 2},  {1, "a b", 2},    {2, "a b", 1},       {2, "a.b", 2},
        {3, "a.b", 1}, {3, "a\nb", 2},   {1, "\xC3\xA9t\xC3\xA9", 1},
    };
    for (const Case &c : cases) {
        Buffer b("", kPlain, c.level);
        if (c.typed == "\xC3\xA9t\xC3\xA9") {
            b.edit(0, 0, "\xC3\xA9");
            b.edit(2, 0, "t");
            b.edit(3, 0, "\xC3\xA9");
        } else {
            b.type(c.typed);
        }
        EXPECT_EQ(b.groups(), c.groups) << "level " << c.level << " typing " << c.typed;
    }
    // At level 1, "b" joins the space's group: undo leaves "a".
    Buffer b("", kPlain, 1);
    b.type("a b");
    EXPECT_TRUE(b.undo());
    EXPECT_EQ(b.text(), "a");
}

TEST(Undo, DeletionRunsMergeIntoOnePatch) {
    Buffer back("abcdef", kPlain, 3);
    back.edit(4, 1, "");  // Backspace over "e", "d", "c"
    back.edit(3, 1, "");
    back.edit(2, 1, "");
    EXPECT_EQ(back.groups(), 1u);
    EXPECT_EQ(back.s->undo_current->patches->next, nullptr);
    size_t start = 0, old_len = 0, new_len = 0;
    EXPECT_TRUE(smart_string_undo(back.s, &start, &old_len, &new_len, 1));
    EXPECT_EQ(back.text(), "abcdef");
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(old_len, 0u);
    EXPECT_EQ(new_len, 3u);
    EXPECT_EQ(smart_string_caret_start(back.s), 2u);

    Buffer fwd("abcdef", kPlain, 3);
    fwd.edit(1, 1, "");  // forward Delete twice
    fwd.edit(1, 1, "");
    EXPECT_EQ(fwd.groups(), 1u);
    EXPECT_TRUE(fwd.undo());
    EXPECT_EQ(fwd.text(), "abcdef");

    // A typed character replacing a selection joins a run of deletions.
    Buffer sel("abc", kPlain, 3);
    sel.edit(1, 1, "X");
    EXPECT_EQ(sel.s->undo_current->patches->diffs->op, (uint32_t)DMP_DELETE);
    EXPECT_STREQ(dmp_patch_last_diff(sel.s->undo_current->patches)->text, "X");
}

TEST(Undo, MasksAndTheFirstGroup) {
    Buffer b("");
    EXPECT_FALSE(smart_string_can_undo(b.s, 1));
    EXPECT_FALSE(smart_string_can_undo(b.s, 0));
    b.edit(0, (size_t)-1, "whole document", 2);
    EXPECT_FALSE(smart_string_can_undo(b.s, 1));
    b.edit(0, 5, "entire");
    EXPECT_TRUE(b.undo());
    EXPECT_FALSE(b.undo());
    EXPECT_EQ(b.text(), "whole document");
    EXPECT_TRUE(b.undo(0));  // mask 0: every bit
    EXPECT_EQ(b.text(), "");
    smart_string_set_last_undo_tags(b.s, 8);
    EXPECT_FALSE(smart_string_can_undo(b.s, 1));
}

TEST(Undo, PlainHistoryDropsTheRedoTail) {
    Buffer b("one");
    b.edit(3, 0, " two");
    b.edit(7, 0, " three");
    EXPECT_TRUE(b.undo());
    EXPECT_TRUE(smart_string_can_redo(b.s, 1));
    b.edit(0, 0, ">");
    EXPECT_FALSE(smart_string_can_redo(b.s, 1));
    EXPECT_EQ(b.groups(), 2u);
    EXPECT_TRUE(b.undo());
    EXPECT_TRUE(b.undo());
    EXPECT_EQ(b.text(), "one");
}

TEST(Undo, LinearHistoryUndoesTheUndo) {
    Buffer b("one", kLinear);
    b.edit(3, 0, " two");
    EXPECT_TRUE(b.undo());
    EXPECT_EQ(b.text(), "one");
    b.edit(0, 0, ">");
    EXPECT_FALSE(smart_string_can_redo(b.s, 1));
    EXPECT_TRUE(b.undo());  // the new edit
    EXPECT_EQ(b.text(), "one");
    EXPECT_TRUE(b.undo());  // the undo: " two" comes back
    EXPECT_EQ(b.text(), "one two");
    b.expect_mirror_in_step();
}

TEST(Undo, LinearHistoryLeavesGroupsOutsideTheMask) {
    Buffer b("abc", kLinear);
    b.edit(3, 0, "def");     // tag 1
    b.edit(0, 0, "<<", 2);  // tag 2, outside the mask
    EXPECT_TRUE(b.undo(1));
    EXPECT_EQ(b.text(), "<<abc");  // "def" undone, the tag-2 edit kept
    EXPECT_TRUE(b.redo(1));
    EXPECT_EQ(b.text(), "<<abcdef");
    // An edit over the same place blocks the older group.
    Buffer c("abc", kLinear);
    c.edit(3, 0, "def");
    c.edit(2, 3, "Z", 2);
    EXPECT_FALSE(smart_string_can_undo(c.s, 1));
    EXPECT_EQ(c.text(), "abZf");
}

TEST(Undo, RecordsKeepWholeCharacters) {
    Buffer b("x\xC3\xA9y");
    b.edit(1, 2, "\xC3\xA8");  // the two characters share their lead byte
    patch *p = b.s->undo_current->patches;
    EXPECT_EQ(p->start1, 1u);
    EXPECT_EQ(p->length1, 2u);
    size_t start = 0, old_len = 0, new_len = 0;
    EXPECT_TRUE(smart_string_undo(b.s, &start, &old_len, &new_len, 1));
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(old_len, 2u);
    EXPECT_EQ(b.text(), "x\xC3\xA9y");
    b.expect_mirror_in_step();
}

bool refuse_record(_SString *, size_t, size_t, const char *, uint64_t) { return false; }

TEST(Undo, UnrecordableEditIsRefused) {
    Buffer b("keep");
    smart_string_steps steps = kSmartStringSteps;
    steps.undo_record = refuse_record;
    smart_string_change *c = smart_string_change_new();
    c->tags = 1;
    smart_string_replace_with_steps(b.s, 0, 4, "lost", c, &steps);
    EXPECT_EQ(b.text(), "keep");
    EXPECT_EQ(c->removed_length, 0u);
    EXPECT_EQ(c->new_end, c->new_start);
    smart_string_change_free(c);
    EXPECT_FALSE(smart_string_undo_record(b.s, 9, 1, "x", 1));  // outside the text
}

TEST(Undo, StackDescription) {
    Buffer b("", kPlain);
    b.edit(0, 0, "hello");
    char *d = smart_string_undo_stack_description(b.s);
    std::string text = d;
    free(d);
    EXPECT_EQ(text.rfind("* \xE2\x80\xA2 {++hello++} (1)[", 0), 0u) << text;
    EXPECT_NE(text.find("\n  \xE2\x80\xA2  (0)["), std::string::npos) << text;
}

struct State {
    std::string text;
    size_t caret_start, caret_length;
};

// Random edits at character boundaries and inside characters; undo all the
// way back, then redo all the way forward.
void run_random_history(uint64_t options, uint32_t level, unsigned seed) {
    std::mt19937 rng(seed);
    Buffer b(test_text::random_text(rng, 20, true).c_str(), options, level);
    std::vector<State> states{{b.text(), 0, 0}};
    for (int i = 0; i < 60; i++) {
        std::string t = b.text();
        size_t at = t.empty() ? 0 : rng() % (t.size() + 1);
        if (rng() % 3)
            at = test_text::char_boundary(t, at);
        size_t len = std::min(t.size() - at, (size_t)(rng() % 4));
        std::string ins = rng() % 3 ? test_text::random_text(rng, rng() % 3, true) : "";
        if (len == 0 && ins.empty())
            continue;  // records nothing
        b.edit(at, len, ins.c_str());
        states.push_back({b.text(), smart_string_caret_start(b.s), smart_string_caret_length(b.s)});
    }
    // Undo: each step lands on an earlier state, and at last on the first.
    size_t undos = 0;
    std::vector<State> seen;
    while (b.undo()) {
        undos++;
        ASSERT_LE(undos, states.size());
        seen.push_back({b.text(), smart_string_caret_start(b.s), smart_string_caret_length(b.s)});
        bool known = false;
        for (const State &s : states)
            known |= s.text == b.text();
        ASSERT_TRUE(known) << "undo made a text that never existed";
        b.expect_mirror_in_step();
        size_t cs = smart_string_caret_start(b.s), cl = smart_string_caret_length(b.s);
        ASSERT_LE(cs + cl, b.text().size());
    }
    EXPECT_EQ(b.text(), states.front().text);
    size_t redos = 0;
    while (b.redo()) {
        redos++;
        b.expect_mirror_in_step();
    }
    EXPECT_EQ(redos, undos);
    EXPECT_EQ(b.text(), states.back().text);
    EXPECT_EQ(smart_string_caret_start(b.s), states.back().caret_start);
    EXPECT_EQ(smart_string_caret_length(b.s), states.back().caret_length);
}

TEST(UndoProperty, UndoThenRedoRestoresTextAndCaret) {
    for (unsigned seed = 0; seed < 30; seed++) {
        SCOPED_TRACE(seed);
        {
            SCOPED_TRACE("plain");
            run_random_history(kPlain, 0, seed);
        }
        {
            SCOPED_TRACE("plain coalescing");
            run_random_history(kPlain, 3, seed);
        }
        {
            SCOPED_TRACE("linear");
            run_random_history(kLinear, 0, seed);
        }
        {
            SCOPED_TRACE("linear coalescing");
            run_random_history(kLinear, 3, seed);
        }
    }
}

TEST(UndoProperty, EveryUndoStepRestoresTheStateBeforeIt) {
    // Without coalescing each undo goes back exactly one edit.
    for (unsigned seed = 0; seed < 20; seed++) {
        std::mt19937 rng(seed);
        Buffer b("seed text \xE2\x82\xAC", kPlain);
        std::vector<State> before;
        for (int i = 0; i < 30; i++) {
            std::string t = b.text();
            size_t at = test_text::char_boundary(t, rng() % (t.size() + 1));
            size_t len = test_text::char_boundary(t, std::min(t.size(), at + rng() % 5)) - at;
            std::string ins = test_text::random_text(rng, rng() % 3, true);
            if (len == 0 && ins.empty())
                continue;
            before.push_back({t, at, len});
            b.edit(at, len, ins.c_str());
        }
        for (size_t i = before.size(); i-- > 0;) {
            ASSERT_TRUE(b.undo());
            EXPECT_EQ(b.text(), before[i].text);
            EXPECT_EQ(smart_string_caret_start(b.s), before[i].caret_start);
            EXPECT_EQ(smart_string_caret_length(b.s), before[i].caret_length);
        }
    }
}

}  // namespace

namespace {

// Edits, undos and redos mixed at random: whatever the order, the buffer,
// its mirror and the caret stay consistent, and in plain history undoing
// everything returns to the first text.
TEST(UndoProperty, MixedOperationsStayConsistent) {
    for (unsigned seed = 0; seed < 60; seed++) {
        for (uint64_t options : {kPlain, kLinear}) {
            std::mt19937 rng(seed);
            std::string first = test_text::random_text(rng, 10, true);
            uint32_t level = rng() % 4;
            Buffer b(first.c_str(), options, level);
            for (int i = 0; i < 80; i++) {
                int op = rng() % 5;
                SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(i));
                if (op == 0) {
                    b.undo(rng() % 2);
                } else if (op == 1) {
                    b.redo(rng() % 2);
                } else {
                    std::string t = b.text();
                    size_t at = test_text::char_boundary(t, rng() % (t.size() + 1));
                    size_t len = test_text::char_boundary(t, std::min(t.size(), at + rng() % 4)) - at;
                    std::string ins = test_text::random_text(rng, rng() % 3, true);
                    uint64_t tags = 1 + rng() % 2;
                    b.edit(at, len, ins.c_str(), tags);
                }
                size_t cs = smart_string_caret_start(b.s), cl = smart_string_caret_length(b.s);
                ASSERT_LE(cs + cl, b.text().size());
                ASSERT_TRUE(test_text::valid_utf8(b.text().c_str()));
            }
            b.expect_mirror_in_step();
            if (options == kPlain) {
                while (b.undo(0)) {
                }
                EXPECT_EQ(b.text(), first) << seed;
            }
        }
    }
}

}  // namespace

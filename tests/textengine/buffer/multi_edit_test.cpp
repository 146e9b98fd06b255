// Multi-edit, section move and bulk replace: several edits as one change,
// one undo group, and the per-edit results in the change record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "textengine/buffer/multi_edit.h"
#include "textengine/buffer/smart_string.h"
#include "textengine/buffer/smart_string_steps.h"
#include "textengine/test_text.h"
#include "textengine/buffer/undo.h"

namespace {

constexpr uint64_t kOptions = SMART_STRING_UNDO | SMART_STRING_STATISTICS | SMART_STRING_MIRROR;

struct Edit {
    size_t start, length;
    const char *text;
};

stack *edit_stack(const std::vector<Edit> &edits) {
    stack *st = stack_new(16);
    for (const Edit &e : edits)
        stack_push(st, smart_string_heading_record_new(e.start, e.length, e.text));
    stack_sort(st, smart_string_heading_record_compare);
    return st;
}

struct Buffer {
    _SString *s;
    smart_string_change *c = smart_string_change_new();
    explicit Buffer(const char *text, uint64_t options = kOptions) : s(smart_string_new(text, options)) {
        c->tags = 1;
    }
    ~Buffer() {
        smart_string_change_free(c);
        smart_string_free(s, true);
    }
    void apply(const std::vector<Edit> &edits, uint64_t w0 = 0) {
        stack *st = edit_stack(edits);
        smart_string_apply_edits(s, st, c, w0);
        smart_string_diff_edits_free(st);
    }
    std::string text() const { return smart_string_text(s); }
    size_t groups() const {
        size_t n = 0;
        for (undo_group *g = s->undo_head; g; g = g->next)
            n++;
        return n - 1;
    }
    void expect_derived_in_step() const {
        _SString *fresh = smart_string_new(smart_string_text(s), kOptions);
        EXPECT_STREQ(smart_string_mirror_text(s)->str, smart_string_mirror_text(fresh)->str);
        EXPECT_EQ(smart_string_word_count(s), smart_string_word_count(fresh));
        EXPECT_EQ(smart_string_char_count(s), smart_string_char_count(fresh));
        EXPECT_EQ(smart_string_line_count(s), smart_string_line_count(fresh));
        smart_string_free(fresh, true);
    }
};

TEST(MultiEdit, AppliesEditsAsOneChange) {
    struct Case {
        const char *text;
        std::vector<Edit> edits;
        const char *expected;
        uint64_t start, removed, new_end;
    } cases[] = {
        // Edits at 10 and 2 growing by 3 and 1 bytes.
        {"0123456789abcdef", {{10, 1, "WXYZ"}, {2, 1, "PQ"}}, "01PQ3456789WXYZbcdef", 2, 9, 15},
        {"one two three", {{4, 3, "2"}}, "one 2 three", 4, 3, 5},
        {"abc", {{3, 0, "!"}, {0, 0, ">"}}, ">abc!", 0, 3, 5},
        {"abcdef", {{0, (size_t)-1, "x"}}, "x", 0, 6, 1},
        // A removal and an insertion at the same place: the insertion stays.
        {"# A\ntext\n# B\n", {{4, 5, ""}, {4, 0, "moved\n"}}, "# A\nmoved\n# B\n", 4, 5, 10},
        {"héllo wörld", {{8, 2, "o"}, {1, 2, "e"}}, "hello world", 1, 9, 8},
    };
    for (const Case &k : cases) {
        Buffer b(k.text);
        smart_string_set_caret(b.s, 1, 0);
        b.apply(k.edits);
        EXPECT_EQ(b.text(), k.expected) << k.text;
        EXPECT_EQ(b.c->start, k.start) << k.text;
        EXPECT_EQ(b.c->new_start, k.start) << k.text;
        EXPECT_EQ(b.c->removed_length, k.removed) << k.text;
        EXPECT_EQ(b.c->new_end, k.new_end) << k.text;
        EXPECT_EQ(b.c->result_count, k.edits.size()) << k.text;
        EXPECT_EQ(b.groups(), 1u) << k.text;
        EXPECT_EQ(smart_string_caret_start(b.s), 1u) << "the Smart String's caret stays";
        b.expect_derived_in_step();
        // Undo restores the whole text in one step; redo brings it back.
        ASSERT_TRUE(smart_string_undo(b.s, nullptr, nullptr, nullptr, 1)) << k.text;
        EXPECT_EQ(b.text(), k.text);
        ASSERT_TRUE(smart_string_redo(b.s, nullptr, nullptr, nullptr, 1)) << k.text;
        EXPECT_EQ(b.text(), k.expected);
    }
}

TEST(MultiEdit, ResultCaretsAreOffsetsAfterTheWholeChange) {
    Buffer b("0123456789abcdef");
    b.apply({{10, 1, "WXYZ"}, {2, 1, "PQ"}});
    ASSERT_EQ(b.c->result_count, 2u);
    // Stack order: the edit at 10 first; its caret moves by the 1 byte the
    // edit at 2 added.
    EXPECT_EQ(b.c->results[0]->start, 10u);
    EXPECT_EQ(b.c->results[0]->caret_start, 15u);
    EXPECT_EQ(b.c->results[1]->start, 2u);
    EXPECT_EQ(b.c->results[1]->caret_start, 4u);
    EXPECT_EQ(b.text().substr(0, 15), "01PQ3456789WXYZ");
}

TEST(MultiEdit, RejectsEditsOutsideTheTextOrOverlapping) {
    struct Case {
        std::vector<Edit> edits;
        const char *message;
    } cases[] = {
        {{{20, 0, "x"}, {1, 1, "y"}}, "illegal start position"},
        {{{5, 9, "x"}, {1, 1, "y"}}, "illegal stop position"},
        {{{2, 4, "x"}, {1, 2, "y"}}, "illegal stop position"},
    };
    for (const Case &k : cases) {
        Buffer b("0123456789");
        testing::internal::CaptureStderr();
        stack *st = stack_new(4);
        for (const Edit &e : k.edits)  // already highest first
            stack_push(st, smart_string_heading_record_new(e.start, e.length, e.text));
        smart_string_apply_edits(b.s, st, b.c, 0);
        smart_string_diff_edits_free(st);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(k.message), std::string::npos) << err;
        EXPECT_EQ(err.rfind("Smart String: ", 0), 0u);
        EXPECT_EQ(b.text(), "0123456789");
        EXPECT_EQ(b.groups(), 0u);
        EXPECT_EQ(b.c->result_count, 0u);
    }
}

// Tracking stand-ins: one refuses edits at position 0, the other widens an
// edit to take in the marker before it, as tracking does when it joins an
// edit to the change beside it.
bool refuse_at_zero(_SString *, size_t start, size_t, char **, smart_string_change *) {
    return start != 0;
}
bool widen_into_change(_SString *s, size_t start, size_t length, char **text, smart_string_change *c) {
    // "{++ab++}" + insertion at the closer: rewrite the whole addition.
    const char *t = smart_string_text(s);
    if (start >= 8 && strncmp(t + start - 8, "{++ab++}", 8) == 0 && length == 0) {
        std::string joined = "{++ab" + std::string(*text) + "++}";
        free(*text);
        *text = strdup(joined.c_str());
        c->start = start - 8;
        c->removed_length = 8;
        return true;
    }
    std::string wrapped = "{++" + std::string(*text) + "++}";
    free(*text);
    *text = strdup(wrapped.c_str());
    c->start = start;
    c->removed_length = length;
    return true;
}
void no_scan(_SString *) {}

TEST(MultiEdit, UsesTheRangeChangeTrackingReturns) {
    smart_string_steps steps = kSmartStringSteps;
    steps.scan_changes = no_scan;
    struct Case {
        const char *text;
        decltype(steps.track_change) track;
        std::vector<Edit> edits;
        const char *expected;
        uint64_t start, removed, new_end;
    } cases[] = {
        // The refused edit is not applied and its result is empty.
        {"abcdef", refuse_at_zero, {{4, 1, "X"}, {0, 1, "Y"}}, "abcdXf", 4, 1, 5},
        // The edit at 8 widens to the whole addition: no stray markers.
        {"{++ab++} tail", widen_into_change, {{9, 0, "t"}, {8, 0, "cd"}}, "{++abcd++} {++t++}tail", 0, 9, 18},
    };
    for (const Case &k : cases) {
        Buffer b(k.text, kOptions | SMART_STRING_CHANGE_TRACKING);
        steps.track_change = k.track;
        stack *st = edit_stack(k.edits);
        smart_string_apply_edits_with_steps(b.s, st, b.c, 0, &steps);
        smart_string_diff_edits_free(st);
        EXPECT_EQ(b.text(), k.expected) << k.text;
        EXPECT_EQ(b.c->start, k.start) << k.text;
        EXPECT_EQ(b.c->removed_length, k.removed) << k.text;
        EXPECT_EQ(b.c->new_end, k.new_end) << k.text;
        b.expect_derived_in_step();
        ASSERT_TRUE(smart_string_undo(b.s, nullptr, nullptr, nullptr, 1));
        EXPECT_EQ(b.text(), k.text);
    }
    // Refused edits report an empty edit at their position.
    Buffer b("abcdef", kOptions | SMART_STRING_CHANGE_TRACKING);
    steps.track_change = refuse_at_zero;
    stack *st = edit_stack({{4, 1, "X"}, {0, 1, "Y"}});
    smart_string_apply_edits_with_steps(b.s, st, b.c, 0, &steps);
    smart_string_diff_edits_free(st);
    ASSERT_EQ(b.c->result_count, 2u);
    EXPECT_EQ(b.c->results[1]->removed_length, 0u);
    EXPECT_EQ(b.c->results[1]->new_end, 0u);
}

TEST(MultiEdit, SectionMoveKeepsTheViewSelection) {
    Buffer b("# A\none\n# B\ntwo\n");
    heading_record *chain = smart_string_heading_record_new(8, 8, "");
    chain->next = smart_string_heading_record_new(0, 0, "# B\ntwo\n");
    smart_string_move_sections(b.s, chain, b.c);
    smart_string_heading_records_free(chain);
    EXPECT_EQ(b.text(), "# B\ntwo\n# A\none\n");
    EXPECT_EQ(smart_string_caret_start(b.s), (size_t)-1);
    EXPECT_EQ(b.groups(), 1u);
}

TEST(BulkReplace, WritesOnlyTheDifferences) {
    struct Case {
        const char *text;
        size_t start, length;
        const char *replacement;
        const char *expected;
        uint64_t results;
    } cases[] = {
        {"The quick brown fox.", 0, 20, "The quick brown fox.", "The quick brown fox.", 0},
        {"The quick brown fox.", 0, 20, "The quick red fox.", "The quick red fox.", 2},
        {"keep [The cat] keep", 6, 7, "The dog", "keep [The dog] keep", 1},
        // Accented and wider characters: exactly the differing characters.
        {"café crème brûlée", 0, (size_t)-1, "cafè crême brulée", "cafè crême brulée", 3},
        {"naïve ☃ snow", 0, (size_t)-1, "naive ☄ snow", "naive ☄ snow", 2},
        {"αβγ", 0, 6, "αδγ", "αδγ", 1},
        {"😀x😁", 0, 9, "😁x😀", "😁x😀", 2},
    };
    for (const Case &k : cases) {
        Buffer b(k.text);
        smart_string_bulk_replace(b.s, k.start, k.length, k.replacement, b.c);
        EXPECT_EQ(b.text(), k.expected) << k.text;
        EXPECT_EQ(b.c->result_count, k.results) << k.text;
        EXPECT_EQ(b.groups(), k.results ? 1u : 0u) << k.text;
        b.expect_derived_in_step();
        for (uint64_t i = 0; i < b.c->result_count; i++) {
            // No edit starts or ends inside a character of the old text.
            const std::string t = k.text;
            size_t s0 = b.c->results[i]->start, s1 = s0 + b.c->results[i]->removed_length;
            EXPECT_TRUE(s0 >= t.size() || (t[s0] & 0xC0) != 0x80) << k.text;
            EXPECT_TRUE(s1 >= t.size() || (t[s1] & 0xC0) != 0x80) << k.text;
        }
        if (k.results) {
            ASSERT_TRUE(smart_string_undo(b.s, nullptr, nullptr, nullptr, 1));
            EXPECT_EQ(b.text(), k.text);
        }
    }
}

TEST(BulkReplace, CaretComesBackOnTheReplacedRange) {
    Buffer b("keep [The cat] keep");
    smart_string_set_caret(b.s, 2, 0);
    smart_string_bulk_replace(b.s, 6, 7, "The dog", b.c);
    EXPECT_EQ(b.text(), "keep [The dog] keep");
    EXPECT_EQ(smart_string_caret_start(b.s), 6u);
    EXPECT_EQ(smart_string_caret_length(b.s), 7u);
}

TEST(BulkReplace, OneWordChangeReportsJustThatWord) {
    Buffer b("alpha beta gamma delta");
    smart_string_bulk_replace(b.s, 0, 22, "alpha BETA gamma delta", b.c);
    EXPECT_EQ(b.c->start, 6u);
    EXPECT_EQ(b.c->removed_length, 4u);
    EXPECT_EQ(b.c->new_end, 10u);
}

TEST(BulkReplace, RandomTextsRoundTrip) {
    std::mt19937 rng(18);
    for (int round = 0; round < 200; round++) {
        std::string before = test_text::random_text(rng, 30, true);
        std::string after = test_text::random_text(rng, 30, true);
        Buffer b(before.c_str());
        smart_string_bulk_replace(b.s, 0, before.size(), after.c_str(), b.c);
        ASSERT_EQ(b.text(), after);
        b.expect_derived_in_step();
        if (before != after) {
            ASSERT_TRUE(smart_string_undo(b.s, nullptr, nullptr, nullptr, 1));
            ASSERT_EQ(b.text(), before);
        }
    }
}

TEST(DiffEdits, TurnsEachRunOfChangesIntoOneEditHighestFirst) {
    diff *d = nullptr;
    dmp_diff_append(&d, dmp_diff_new(DMP_EQUAL, "ab"));
    dmp_diff_append(&d, dmp_diff_new(DMP_DELETE, "c"));
    dmp_diff_append(&d, dmp_diff_new(DMP_INSERT, "XY"));
    dmp_diff_append(&d, dmp_diff_new(DMP_EQUAL, "d"));
    dmp_diff_append(&d, dmp_diff_new(DMP_INSERT, "Z"));
    dmp_diff_append(&d, dmp_diff_new(DMP_DELETE, "ef"));
    dmp_diff_append(&d, dmp_diff_new(DMP_INSERT, "!"));
    // An empty kept stretch does not end a run: the two insertions around it
    // keep their order.
    dmp_diff_append(&d, dmp_diff_new(DMP_EQUAL, "gh"));
    dmp_diff_append(&d, dmp_diff_new(DMP_INSERT, "1"));
    dmp_diff_append(&d, dmp_diff_new(DMP_EQUAL, ""));
    dmp_diff_append(&d, dmp_diff_new(DMP_INSERT, "2"));
    stack *edits = smart_string_diff_edits(d, 100);
    ASSERT_EQ(edits->size, 3u);
    auto at = [&](size_t i) { return static_cast<heading_record *>(edits->element[i]); };
    EXPECT_EQ(at(0)->start, 108u);
    EXPECT_EQ(at(0)->length, 0u);
    EXPECT_STREQ(at(0)->text, "12");
    EXPECT_EQ(at(1)->start, 104u);
    EXPECT_EQ(at(1)->length, 2u);
    EXPECT_STREQ(at(1)->text, "Z!");
    EXPECT_EQ(at(2)->start, 102u);
    EXPECT_EQ(at(2)->length, 1u);
    EXPECT_STREQ(at(2)->text, "XY");
    smart_string_diff_edits_free(edits);
    dmp_diff_free(d);
}

TEST(BulkReplace, BrokenUtf8ComesOutAsGiven) {
    // Stray continuation bytes and lead bytes without theirs: the diff is
    // repaired around them, and the replaced text must still be the new one.
    const std::string before = "/\x01\x10\x83\xdf\x83\xdf\x9e\x83\x9d\xdf\x83\xdf\x9e.|-t\x01\x10\x83\xdf";
    const std::string after = "\x9e|)t\x01\x10\x83\xdf\x9e\x83\x9d\xdf\x83\x10\x83\xdf\xdf\x9e|-|\n";
    Buffer b(before.c_str());
    smart_string_bulk_replace(b.s, 0, (size_t)-1, after.c_str(), b.c);
    EXPECT_EQ(b.text(), after);
}

}  // namespace

// Through the real change tracking: each edit of a bulk replace is written
// as CriticMarkup, and accepting or rejecting every change gives back the
// new and the old text.
#include "textengine/typing/change_tracking.h"
#include "library/critic.h"

namespace {

TEST(MultiEditTracking, BulkReplaceWritesCriticMarkup) {
    struct Case {
        const char *text;
        const char *replacement;
    } cases[] = {
        {"The cat sat on the mat.", "The dog sat on a mat."},
        {"alpha beta gamma", "alpha gamma"},
        {"one two", "one and two three"},
        {"café crème", "cafè crème brûlée"},
    };
    for (const Case &k : cases) {
        Buffer b(k.text);
        smart_string_start_tracking_changes(b.s);
        smart_string_bulk_replace(b.s, 0, strlen(k.text), k.replacement, b.c);
        std::string tracked = b.text();
        EXPECT_NE(tracked, k.text) << k.text;
        b.expect_derived_in_step();
        // Every marker is paired, and no change nests inside another.
        token *root = critic_parse(tracked.c_str(), 0, tracked.size());
        size_t pairs = 0;
        for (token *t = root ? root->child : nullptr; t; t = t->next) {
            EXPECT_TRUE(t->type < CM_ADD_OPEN || t->type >= CM_ADD) << tracked;
            if (t->type >= CM_ADD && t->type <= CM_COM) {
                pairs++;
                for (token *c = t->child; c; c = c->next)
                    EXPECT_FALSE(c->type >= CM_ADD && c->type <= CM_COM) << tracked;
            }
        }
        EXPECT_GT(pairs, 0u) << tracked;
        token_tree_free(root);
        DString *accepted = d_string_new(tracked.c_str());
        critic_accept_all(accepted);
        EXPECT_STREQ(accepted->str, k.replacement) << tracked;
        d_string_free(accepted, true);
        DString *rejected = d_string_new(tracked.c_str());
        critic_reject_all(rejected);
        EXPECT_STREQ(rejected->str, k.text) << tracked;
        d_string_free(rejected, true);
        // Undo takes the whole tracked change back in one step.
        ASSERT_TRUE(smart_string_undo(b.s, nullptr, nullptr, nullptr, 1));
        EXPECT_EQ(b.text(), k.text);
    }
}

TEST(MultiEditTracking, EditsInsideDeletionsAreRefused) {
    Buffer b("keep {--gone--} keep");
    smart_string_start_tracking_changes(b.s);
    b.apply({{10, 2, "XX"}, {0, 4, "hold"}});
    ASSERT_EQ(b.c->result_count, 2u);
    EXPECT_EQ(b.c->results[0]->removed_length, 0u);
    EXPECT_EQ(b.c->results[0]->new_end, b.c->results[0]->new_start);
    const std::string t = b.text();
    EXPECT_EQ(t.substr(t.size() - 16), " {--gone--} keep");
    EXPECT_EQ(t.find("XX"), std::string::npos);
}

}  // namespace

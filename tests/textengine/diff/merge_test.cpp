// The three-way merge by position: each version's changes land where they
// were made in the base, among lines of one shape too (list items, table
// rows, numbered lines, paragraphs said twice), and changes of both
// versions at one place make the merge fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "support/sanitizers.h"
#include "textengine/diff/merge.h"
#include "textengine/test_text.h"

namespace {

// The merged text, or nothing when the merge failed.
std::optional<std::string> merge(const std::string &base, const std::string &mine, const std::string &theirs) {
    size_t length = 0;
    char *merged =
        dmp_merge(base.data(), base.size(), mine.data(), mine.size(), theirs.data(), theirs.size(), &length);
    if (!merged)
        return std::nullopt;
    std::string text(merged, length);
    free(merged);
    return text;
}

std::string joined(const std::vector<std::string> &lines, const std::string &separator) {
    std::string text;
    for (const std::string &line : lines)
        text += line + separator;
    return text;
}

struct Shape {
    const char *name;
    std::function<std::string(int)> line;
    std::string separator;
};

const std::vector<Shape> &shapes() {
    static const std::vector<Shape> all = {
        {"numbered paragraphs", [](int n) { return "Line " + std::to_string(n) + " of the safety document."; },
         "\n\n"},
        {"list items", [](int n) { return "- item " + std::to_string(n) + " of the list"; }, "\n"},
        {"table rows", [](int n) { return "| " + std::to_string(n) + " | apples | 3 kg |"; }, "\n"},
        {"numbered lines", [](int n) { return std::to_string(n) + ". Step"; }, "\n"},
        // Every other paragraph the same, word for word.
        {"paragraphs said again",
         [](int n) {
             return n % 2 ? std::string("The same paragraph, word for word.")
                          : "Line " + std::to_string(n) + " of the safety document.";
         },
         "\n\n"},
        {"CRLF lines", [](int n) { return "Line " + std::to_string(n) + " of the safety document."; }, "\r\n"},
        {"Unicode lines", [](int n) { return "Zeile " + std::to_string(n) + ": Größe, 日本語 😀"; }, "\n"},
    };
    return all;
}

// Lines 1 to 8 of a shape; `edit` changes them.
std::string text_of(const Shape &shape, const std::function<void(std::vector<std::string> &)> &edit = {}) {
    std::vector<std::string> lines;
    for (int n = 1; n <= 8; n++)
        lines.push_back(shape.line(n));
    if (edit)
        edit(lines);
    return joined(lines, shape.separator);
}

std::function<void(std::vector<std::string> &)> append(int line, const std::string &words) {
    return [=](std::vector<std::string> &lines) { lines[line - 1] += words; };
}
std::function<void(std::vector<std::string> &)> prepend(int line, const std::string &words) {
    return [=](std::vector<std::string> &lines) { lines[line - 1] = words + lines[line - 1]; };
}
std::function<void(std::vector<std::string> &)> remove(int line) {
    return [=](std::vector<std::string> &lines) { lines.erase(lines.begin() + line - 1); };
}
std::function<void(std::vector<std::string> &)> insert_after(int line, const std::string &text) {
    return [=](std::vector<std::string> &lines) { lines.insert(lines.begin() + line, text); };
}
std::function<void(std::vector<std::string> &)> both(std::function<void(std::vector<std::string> &)> first,
                                                     std::function<void(std::vector<std::string> &)> second) {
    return [=](std::vector<std::string> &lines) {
        first(lines);
        second(lines);
    };
}

TEST(Merge, AChangeLandsOnItsOwnLineAmongLinesOfOneShape) {
    struct Case {
        const char *name;
        std::function<void(std::vector<std::string> &)> mine, theirs;
        // The merge: both edits made, in this order; none when it must fail.
        std::function<void(std::vector<std::string> &)> merged;
    };
    const Case cases[] = {
        // Both appended to line 3: the other version's words do not go onto
        // line 2, which ends as line 3 does.
        {"the same line's end", append(3, " LOCAL3"), append(3, " OUTSIDE3"), nullptr},
        {"the neighbour before", append(3, " LOCAL3"), append(2, " OUTSIDE2"),
         both(append(3, " LOCAL3"), append(2, " OUTSIDE2"))},
        {"the neighbour after", append(3, " LOCAL3"), append(4, " OUTSIDE4"),
         both(append(3, " LOCAL3"), append(4, " OUTSIDE4"))},
        {"a start after an end", append(3, " LOCAL3"), prepend(4, "OUTSIDE4 "),
         both(append(3, " LOCAL3"), prepend(4, "OUTSIDE4 "))},
        {"one line's start and end", prepend(3, "LOCAL3 "), append(3, " OUTSIDE3"),
         both(prepend(3, "LOCAL3 "), append(3, " OUTSIDE3"))},
        {"the same change", append(3, " BOTH3"), append(3, " BOTH3"), append(3, " BOTH3")},
        {"a line deleted beside an appended one", remove(3), append(2, " OUTSIDE2"),
         both(remove(3), append(2, " OUTSIDE2"))},
        {"a line deleted before an appended one", remove(3), append(4, " OUTSIDE4"),
         both(append(4, " OUTSIDE4"), remove(3))},
        {"a line deleted where the other begins one", remove(3), prepend(4, "OUTSIDE4 "), nullptr},
        {"a line deleted that the other edited", remove(3), append(3, " OUTSIDE3"), nullptr},
        {"a line inserted after one appended to", insert_after(3, "A new line, 3½."), append(3, " OUTSIDE3"),
         both(append(3, " OUTSIDE3"), insert_after(3, "A new line, 3½."))},
        {"lines inserted at one place", insert_after(3, "Mine."), insert_after(3, "Theirs."), nullptr},
    };
    for (const Shape &shape : shapes())
        for (const Case &c : cases) {
            const std::string base = text_of(shape);
            const std::optional<std::string> merged = merge(base, text_of(shape, c.mine), text_of(shape, c.theirs));
            if (!c.merged)
                EXPECT_FALSE(merged) << shape.name << ", " << c.name << ": " << merged.value_or("");
            else
                EXPECT_EQ(merged, text_of(shape, c.merged)) << shape.name << ", " << c.name;
        }

    // Lines 2 and 3 deleted by one, line 6 appended to by the other.
    const Shape &list = shapes()[1];
    EXPECT_EQ(merge(text_of(list), text_of(list, append(6, " LOCAL6")), text_of(list, both(remove(3), remove(2)))),
              text_of(list, both(append(6, " LOCAL6"), both(remove(3), remove(2)))));
}

TEST(Merge, OneOfLinesSaidTwiceDeletedMeetsAnEditOfEither) {
    // Which of two equal neighbours went cannot be told: an edit of either
    // meets the deletion, while the line before them merges.
    const std::string base = "# Notes\n- same item\n- same item\n- other item\n";
    const std::string deleted = "# Notes\n- same item\n- other item\n";
    EXPECT_FALSE(merge(base, deleted, "# Notes\n- same item X\n- same item\n- other item\n"));
    EXPECT_FALSE(merge(base, deleted, "# Notes\n- same item\n- same item X\n- other item\n"));
    EXPECT_EQ(merge(base, deleted, "# Notes!\n- same item\n- same item\n- other item\n"),
              "# Notes!\n- same item\n- other item\n");
    EXPECT_EQ(merge(base, deleted, deleted), deleted);
}

TEST(Merge, LinesInsertedAtOnePlaceAfterBlankOrRepeatedLinesMeet) {
    // Each version inserts a line before "c"; theirs also changes "a", so
    // that its diff sees the blank lines among its changes.
    struct Case {
        const char *name;
        std::string base, mine, theirs;
        std::optional<std::string> merged;
    };
    const Case cases[] = {
        {"after two blank lines", "a\nb\n\n\nc\n", "a\nb\n\n\nM\nc\n", "A\nb\n\n\nT\nc\n", std::nullopt},
        {"after three blank lines", "a\nb\n\n\n\nc\n", "a\nb\n\n\n\nM\nc\n", "A\nb\n\n\n\nT\nc\n", std::nullopt},
        {"mine changes a line too", "a\nb\n\n\nc\n", "A\nb\n\n\nM\nc\n", "a\nb\n\n\nT\nc\n", std::nullopt},
        {"after repeated lines", "a\nb\nx\nx\nc\n", "a\nb\nx\nx\nM\nc\n", "A\nb\nx\nx\nM x\nc\n",
         std::nullopt},
        {"the same line at one place", "a\nb\n\n\nc\n", "a\nb\n\n\nT\nc\n", "A\nb\n\n\nT\nc\n",
         "A\nb\n\n\nT\nc\n"},
        {"a blank line apart", "a\nb\n\n\nc\n", "a\nb\n\n\nM\nc\n", "A\nb\n\nT\n\nc\n", "A\nb\n\nT\n\nM\nc\n"},
        {"before and after the blank lines", "a\nb\n\n\nc\n", "a\nb\n\n\nM\nc\n", "A\nb\nT\n\n\nc\n",
         "A\nb\nT\n\n\nM\nc\n"},
        // A line deleted after blank lines, the other inserting one there.
        {"deleted where the other inserts", "a\nb\n\n\nT\nc\n", "a\nb\n\n\nT\nM\nc\n", "A\nb\n\n\nc\n",
         std::nullopt},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(merge(c.base, c.mine, c.theirs), c.merged) << c.name;
        EXPECT_EQ(merge(c.base, c.theirs, c.mine), c.merged) << c.name << ", the other way";
    }
}

TEST(Merge, ChangesAmongBlankLinesKeepTheirPlaceAndTheirNeighbours) {
    struct Case {
        const char *name;
        std::string base, mine, theirs;
        std::optional<std::string> merged;
    };
    const Case cases[] = {
        // Theirs changes the line before the blank lines, so that its diff
        // takes them in; both insert a line before "y".
        {"lines inserted at one place after blank lines", "x\n\n\n\ny\n", "x\n\n\n\nM\ny\n", "X\n\n\n\nT\ny\n",
         std::nullopt},
        {"the same line inserted there by both", "x\n\n\n\ny\n", "x\n\n\n\nT\ny\n", "X\n\n\n\nT\ny\n",
         "X\n\n\n\nT\ny\n"},
        {"the same lines inserted after blank lines only", "\n\n\n", "\n\n\na\na\n", "\nd\n\n\na\na\n",
         "\nd\n\n\na\na\n"},
        // Which blank line became "T" cannot be told, nor whether "M" went
        // in after the last of them or the last went with "Y"'s: the lines
        // may not end up next to each other with the blank line between
        // them gone.
        {"a blank line changed two lines above an insertion", "a\n\n\n\ne\n", "a\nY\n\n\nM\ne\n", "a\n\nT\n\ne\n",
         std::nullopt},
    };
    // Each text as written, with CRLF line breaks, and after a byte order mark.
    auto crlf = [](std::string text) {
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
            text.replace(at, 1, "\r\n");
        return text;
    };
    auto marked = [](const std::string &text) { return "\xEF\xBB\xBF" + text; };
    const std::function<std::string(const std::string &)> forms[] = {[](const std::string &text) { return text; }, crlf,
                                                                     marked};
    for (const Case &c : cases)
        for (size_t f = 0; f < std::size(forms); f++) {
            const auto &form = forms[f];
            const std::optional<std::string> merged = c.merged ? std::optional(form(*c.merged)) : std::nullopt;
            EXPECT_EQ(merge(form(c.base), form(c.mine), form(c.theirs)), merged) << c.name << ", form " << f;
            EXPECT_EQ(merge(form(c.base), form(c.theirs), form(c.mine)), merged)
                << c.name << ", form " << f << ", the other way";
        }
}

TEST(Merge, ABlankLineDeletedFromARunTooLongToReadEveryWayMeetsWhatChangesInIt) {
    // Which of the blank lines went is not known: the deletion meets any
    // change among them or at their ends, and nothing beyond.
    const std::string blanks(300, '\n'), fewer(299, '\n');
    const std::string base = "x\n" + blanks + "y\n", mine = "x\n" + fewer + "y\n";
    EXPECT_FALSE(merge(base, mine, "x\n" + blanks.substr(100) + "T\n" + blanks.substr(200) + "y\n"));
    EXPECT_FALSE(merge(base, mine, "x\n" + blanks + "Y\n"));
    EXPECT_EQ(merge(base, mine, "X\n" + blanks + "y\n"), "X\n" + fewer + "y\n");
    EXPECT_EQ(merge(base, mine, mine), mine);
}

TEST(Merge, EditsOfOneWordOrOneRangeFail) {
    struct Case {
        const char *name;
        std::string base, mine, theirs;
        std::optional<std::string> merged;
    };
    const Case cases[] = {
        {"one word rewritten twice", "The cat sat on the mat.\n", "The dog sat on the mat.\n",
         "The cow sat on the mat.\n", std::nullopt},
        {"one number changed at either end", "Line 3 of the document.\n", "Line 103 of the document.\n",
         "Line 31 of the document.\n", std::nullopt},
        {"a letter changed inside a word the other rewrote", "The safety document.\n", "The security document.\n",
         "The safeTy document.\n", std::nullopt},
        {"words deleted where the other inserts", "The cat sat on the mat.\n", "The cat the mat.\n",
         "The cat sat quietly on the mat.\n", std::nullopt},
        {"a deletion touching an insertion", "alpha beta gamma\n", "alpha gamma\n", "alpha beta, beta gamma\n",
         std::nullopt},
        {"words apart", "The cat sat on the mat.\n", "The dog sat on the mat.\n", "The cat sat on the rug.\n",
         "The dog sat on the rug.\n"},
        {"neighbouring words", "The cat sat on the mat.\n", "The dog sat on the mat.\n", "The cat lay on the mat.\n",
         "The dog lay on the mat.\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(merge(c.base, c.mine, c.theirs), c.merged) << c.name;
}

TEST(Merge, ChangesAtTheStartAndTheEndOfTheText) {
    const std::string base = "first line\nmiddle line\nlast line\n";
    EXPECT_EQ(merge(base, "new first\n" + base, base + "new last\n"), "new first\n" + base + "new last\n");
    EXPECT_FALSE(merge(base, "mine first\n" + base, "theirs first\n" + base));
    EXPECT_FALSE(merge(base, base + "mine last\n", base + "theirs last\n"));
    EXPECT_EQ(merge(base, "middle line\nlast line\n", "first line\nmiddle line\nlast line, changed\n"),
              "middle line\nlast line, changed\n");
    EXPECT_EQ(merge(base, "first line\nmiddle line\n", "First line\nmiddle line\nlast line\n"),
              "First line\nmiddle line\n");
    // No line break at the end.
    EXPECT_EQ(merge("a\nb", "a\nb!", "A\nb"), "A\nb!");
    EXPECT_FALSE(merge("a\nb", "a\nb!", "a\nb?"));
    // All of it deleted by one, edited by the other.
    EXPECT_FALSE(merge(base, "", "first line\nmiddle line, changed\nlast line\n"));
    EXPECT_EQ(merge(base, "", base), "");
    // From nothing.
    EXPECT_FALSE(merge("", "mine\n", "theirs\n"));
    EXPECT_EQ(merge("", "same\n", "same\n"), "same\n");
}

TEST(Merge, OneSideAloneNulBytesAndMissingTexts) {
    const std::string base = "one\ntwo\nthree\n";
    EXPECT_EQ(merge(base, base, "one\n2\nthree\n"), "one\n2\nthree\n");
    EXPECT_EQ(merge(base, "one\n2\nthree\n", base), "one\n2\nthree\n");
    EXPECT_EQ(merge(base, base, base), base);
    const std::string nul("a\0b\nc\n", 6);
    EXPECT_EQ(merge(nul, std::string("a\0b\nC\n", 6), std::string("A\0b\nc\n", 6)), std::string("A\0b\nC\n", 6));

    size_t length = 7;
    EXPECT_EQ(dmp_merge(nullptr, 0, "a", 1, "b", 1, &length), nullptr);
    EXPECT_EQ(dmp_merge("a", 1, nullptr, 0, "b", 1, &length), nullptr);
    EXPECT_EQ(dmp_merge("a", 1, "b", 1, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(length, 7u);
    char *merged = dmp_merge("a", 1, "a", 1, "b", 1, nullptr);
    EXPECT_STREQ(merged, "b");
    free(merged);
}

TEST(Merge, MultibyteChangesStayWholeCharacters) {
    const std::string base = "Größe 1: 日本語\nGröße 2: 日本語\nGröße 3: 日本語\n";
    // Characters that share their first bytes, changed on neighbouring lines.
    const std::string mine = "Größe 1: 日本語\nGröße 2: 日本語\nGröße 3: 日本誤\n";
    const std::string theirs = "Größe 1: 日本語\nGröße 2: 日木語\nGröße 3: 日本語\n";
    const std::optional<std::string> merged = merge(base, mine, theirs);
    EXPECT_EQ(merged, "Größe 1: 日本語\nGröße 2: 日木語\nGröße 3: 日本誤\n");
    EXPECT_FALSE(merge(base, "Größe 1: 日本語\nGröße 2: 日本誤\nGröße 3: 日本語\n", theirs));
    EXPECT_FALSE(merge("é\n", "è\n", "ê\n"));

    std::mt19937 rng(11);
    for (int round = 0; round < 200; round++) {
        const std::string text = test_text::random_text(rng, 80, true);
        const std::optional<std::string> any =
            merge(text, test_text::mutate(rng, text, true), test_text::mutate(rng, text, true));
        if (any) {
            EXPECT_TRUE(test_text::valid_utf8(any->c_str())) << round;
        }
    }
}

// Both versions edit a few lines of a document whose lines look alike (or
// are blank, in runs), the lines of one version often next to or the same
// as the other's, and often inserted where the other inserted its own.
// Every line knows what happened to it, so the merge expected is known:
// when the merge succeeds it is that text, and it fails only where both
// versions changed the same line or a line and the boundary beside it, and
// always where they inserted different lines at one place.
namespace property {

enum class Kind { Append, Prepend, Renumber, Delete, InsertAfter };

struct Op {
    Kind kind;
    int line;  // the base line; InsertAfter: the line before the new one, -1 at the start
    std::string text;
    bool operator==(const Op &) const = default;
};

struct Template {
    std::string before, after;
    bool same;  // every line of this template is the same
};

const Template templates[] = {
    {"Line ", " of the safety document.", false}, {"- item ", " of the list", false},
    {"| ", " | apples | 3 kg |", false},           {"", ". Step", false},
    {"The same paragraph, ", "", true},            {"Zeile ", ": Größe, 日本語 😀", false},
};
const Template blank{"", "", true};

struct BaseLine {
    const Template *shape;
    std::string value;
};

std::string plain(const BaseLine &line, const std::string &value) {
    return line.shape->before + value + line.shape->after;
}

// The text of the base with `ops` made; nothing when they do not go
// together (two different changes of one line, or two different lines
// inserted at one place).
std::optional<std::string> made(const std::vector<BaseLine> &base, const std::vector<Op> &ops,
                                const std::string &separator) {
    const int n = int(base.size());
    std::vector<std::optional<std::string>> append(n), prepend(n), value(n);
    std::vector<bool> deleted(n);
    std::vector<std::optional<std::string>> inserted(n + 1);
    for (const Op &op : ops) {
        auto set = [](std::optional<std::string> &slot, const std::string &text) {
            if (slot && *slot != text)
                return false;
            slot = text;
            return true;
        };
        bool fits = true;
        switch (op.kind) {
        case Kind::Append: fits = set(append[op.line], op.text); break;
        case Kind::Prepend: fits = set(prepend[op.line], op.text); break;
        case Kind::Renumber: fits = set(value[op.line], op.text); break;
        case Kind::Delete: deleted[op.line] = true; break;
        case Kind::InsertAfter: fits = set(inserted[op.line + 1], op.text); break;
        }
        if (!fits)
            return std::nullopt;
    }
    std::string text = inserted[0] ? *inserted[0] + separator : "";
    for (int i = 0; i < n; i++) {
        if (deleted[i] && (append[i] || prepend[i] || value[i]))
            return std::nullopt;
        if (!deleted[i])
            text += prepend[i].value_or("") + plain(base[i], value[i].value_or(base[i].value)) +
                    append[i].value_or("") + separator;
        if (inserted[i + 1])
            text += *inserted[i + 1] + separator;
    }
    return text;
}

// Where an op acts, with the boundary before line i at 2i and line i at
// 2i + 1: a deleted line and the boundary after it go together.
std::string describe(const std::vector<Op> &ops) {
    static const char *names[] = {"append", "prepend", "renumber", "delete", "insert after"};
    std::string text;
    for (const Op &op : ops)
        text += std::string(names[int(op.kind)]) + " " + std::to_string(op.line) + " '" + op.text + "'; ";
    return text;
}

std::pair<int, int> place(const Op &op) {
    switch (op.kind) {
    case Kind::Delete: return {2 * op.line + 1, 2 * op.line + 2};
    case Kind::InsertAfter: return {2 * op.line + 2, 2 * op.line + 2};
    default: return {2 * op.line + 1, 2 * op.line + 1};
    }
}

// How many places lie between two ops (negative when they overlap).
int gap(const Op &a, const Op &b) {
    const auto [a0, a1] = place(a);
    const auto [b0, b1] = place(b);
    return std::max(a0, b0) - std::min(a1, b1) - 1;
}

bool near(const Op &a, const Op &b) { return gap(a, b) < 1; }

}  // namespace property

TEST(MergeProperty, ChangesLandOnTheirOwnLinesOrTheMergeFailsWhereBothMet) {
    using namespace property;
    std::mt19937 rng(20240611);
    const std::string separators[] = {"\n", "\n\n", "\r\n"};
    int merged = 0, failed = 0, mustFail = 0, apart = 0, oneInsertionPlace = 0;
    for (int round = 0; round < 8000; round++) {
        // Lines of one or two templates, numbered, so that neighbours differ
        // by a digit or not at all.
        const int n = 6 + int(rng() % 20);
        const Template *kinds[2] = {&templates[rng() % 6], &templates[rng() % 6]};
        // In half the rounds, runs of blank lines between the lines: a line
        // inserted after a run may be told as a blank line inserted before
        // it and the text put at the start of its last line.
        const bool blanks = rng() % 2;
        std::vector<BaseLine> base;
        for (int i = 0; i < n; i++) {
            const Template *shape = kinds[rng() % 2];
            base.push_back({shape, shape->same ? "said again." : std::to_string(i + 1)});
            if (blanks && rng() % 3 == 0)
                for (int b = 1 + int(rng() % 3); b > 0 && int(base.size()) < n; b--, i++)
                    base.push_back({&blank, ""});
        }
        const std::string separator = separators[rng() % 3];
        auto line_text = [&](int i) { return plain(base[size_t(i)], base[size_t(i)].value); };
        // A line equal to a neighbour is not deleted: which of the two went
        // could not be told (the test above has that case).
        auto deletable = [&](int i) {
            return (i == 0 || line_text(i - 1) != line_text(i)) && (i + 1 == n || line_text(i + 1) != line_text(i));
        };

        const int centre = int(rng() % unsigned(n));
        int counter = 0;
        auto make_ops = [&](char side, const std::vector<Op> &other) {
            std::vector<Op> ops;
            const int count = 1 + int(rng() % 3);
            for (int k = 0; k < count; k++) {
                if (!other.empty() && rng() % 4 == 0) {
                    ops.push_back(other[rng() % other.size()]);  // the same change in both
                    continue;
                }
                const std::string mark = std::string(1, side) + std::to_string(++counter);
                if (!other.empty() && rng() % 4 == 0) {
                    // A line of its own inserted where the other version
                    // inserted one or changed a line.
                    const Op &there = other[rng() % other.size()];
                    const int after = there.kind == Kind::InsertAfter ? there.line : there.line - int(rng() % 2);
                    ops.push_back({Kind::InsertAfter, after, "> Inserted " + mark + "."});
                    continue;
                }
                // Mostly around the centre; now and then anywhere, so that a
                // version's diff takes in the lines between.
                const int line =
                    rng() % 6 ? std::clamp(centre + int(rng() % 5) - 2, 0, n - 1) : int(rng() % unsigned(n));
                Op op{Kind(rng() % 5), line, ""};
                switch (op.kind) {
                case Kind::Append: op.text = " " + mark; break;
                case Kind::Prepend: op.text = mark + " "; break;
                case Kind::Renumber: op.text = mark; break;
                case Kind::Delete:
                    if (!deletable(line))
                        op.kind = Kind::Renumber, op.text = mark;
                    break;
                case Kind::InsertAfter:
                    // A line of a shape of its own: one like its neighbours
                    // inserted beside a line rewritten to look like it is
                    // also that line rewritten and the other inserted.
                    op.line = line - int(rng() % 2);
                    op.text = "> Inserted " + mark + ".";
                    break;
                }
                ops.push_back(op);
            }
            // A version's own ops have a line between them that it left
            // alone and that is not blank, so that what it did can be told
            // from its text (a line inserted beside one deleted is that
            // line rewritten; of two changes in one run of blank lines, the
            // blank lines between could be any of the run's).
            auto told_apart = [&](const Op &a, const Op &b) {
                if (gap(a, b) < 2)
                    return false;
                const int after = std::min(place(a).second, place(b).second);
                const int before = std::max(place(a).first, place(b).first);
                for (int line = after / 2; 2 * line + 1 < before; line++)
                    if (2 * line + 1 > after && base[size_t(line)].shape != &blank)
                        return true;
                return false;
            };
            std::vector<Op> apart;
            for (const Op &op : ops)
                if (std::all_of(apart.begin(), apart.end(), [&](const Op &d) { return told_apart(d, op); }))
                    apart.push_back(op);
            return apart;
        };
        const std::vector<Op> mine = make_ops('A', {});
        const std::vector<Op> theirs = make_ops('B', mine);

        std::vector<Op> all = mine;
        all.insert(all.end(), theirs.begin(), theirs.end());
        const std::optional<std::string> expected = made(base, all, separator);
        bool met = false, onePlace = false;
        for (const Op &a : mine)
            for (const Op &b : theirs) {
                met = met || (a != b && near(a, b));
                onePlace = onePlace || (a.kind == Kind::InsertAfter && b.kind == Kind::InsertAfter &&
                                        a.line == b.line && a.text != b.text);
            }
        oneInsertionPlace += onePlace;

        const std::string original = *made(base, {}, separator);
        const std::optional<std::string> result =
            merge(original, *made(base, mine, separator), *made(base, theirs, separator));
        const std::string what = "round " + std::to_string(round) + "\nmine: " + describe(mine) +
                                 "\ntheirs: " + describe(theirs) + "\nbase:\n" + original + "\nmine:\n" +
                                 *made(base, mine, separator) + "\ntheirs:\n" + *made(base, theirs, separator);
        if (!expected) {
            mustFail++;
            EXPECT_FALSE(result) << what << "\nmerged:\n" << *result;
        } else if (result) {
            EXPECT_EQ(*result, *expected) << what;
        } else {
            EXPECT_TRUE(met) << what << "\nfailed though no change met another";
        }
        apart += !met;
        merged += bool(result);
        failed += !result;
    }
    // The cases cover every outcome.
    EXPECT_GT(mustFail, 800);
    EXPECT_GT(apart, 4000);
    EXPECT_GT(merged, 5000);
    EXPECT_GT(failed, 1500);
    EXPECT_GT(oneInsertionPlace, 400);
}

// A line-level three-way merge written only to judge the merge, on
// versions that replace, delete and insert whole lines drawn from a pool
// of one-word and blank lines (so that its merging inside lines is never
// judged). Its rules:
// - A version's changes are the hunks of a longest common subsequence of
//   its lines and the base's: the base's lines [b0, b1) become `put`.
// - A hunk lies where its bytes do, line i's text at 2i and its line break
//   at 2i + 1: an insertion is the point 2i, a deletion runs from 2i to
//   2 * b1 with its last line break, and a replacement from 2i to its last
//   line's text, since the line break after it stays.
// - A hunk that puts as many lines as it replaces is each line replaced by
//   the line in its place, apart from its neighbours.
// - Hunks of both versions that overlap or touch, and those joined to them
//   so, make a group; a group of both versions takes their lines over its
//   part of the base when those are the same, and otherwise the merge fails.
// - A version's readings are equally short when they keep as many lines,
//   as many of them lines said once (a line that is not blank and occurs
//   once in each text says where it is), change as many bytes (a line
//   replaced by another counts the bytes outside what the two begin and end
//   with alike) and have as many hunks. Where there are several (which of
//   two equal blank lines went), the readings of the two versions are
//   paired so that they share the most hunks, one change made in both read
//   alike. A merge is sure only when every such pair gives it; where they
//   differ, or any fails, the merge must fail.
namespace reference {

using Lines = std::vector<std::string>;

// A text's lines, each with its line break.
Lines lines_of(const std::string &text) {
    Lines lines;
    for (size_t at = 0; at < text.size();) {
        const size_t brk = text.find('\n', at);
        const size_t end = brk == std::string::npos ? text.size() : brk + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// A change of a version: the base's lines [b0, b1) become `put`; it lies
// over [lo, hi] as the rules above say.
struct Hunk {
    int b0, b1;
    Lines put;
    int lo() const { return 2 * b0; }
    int hi() const { return b0 == b1 ? 2 * b0 : put.empty() ? 2 * b1 : 2 * b1 - 1; }
    bool operator==(const Hunk &) const = default;
};
using Reading = std::vector<Hunk>;

// The bytes a reading changes: of a hunk's lines, each deleted or inserted
// line its length, and a line replaced by another (in order) the bytes
// outside what the two begin and end with alike, paired as cheaply as they
// can be.
size_t bytes(const Lines &base, const Reading &reading) {
    auto rewrite = [](const std::string &a, const std::string &b) {
        size_t p = 0, s = 0;
        while (p < std::min(a.size(), b.size()) && a[p] == b[p])
            p++;
        while (s < std::min(a.size(), b.size()) - p && a[a.size() - 1 - s] == b[b.size() - 1 - s])
            s++;
        return a.size() + b.size() - 2 * (p + s);
    };
    size_t total = 0;
    for (const Hunk &h : reading) {
        const size_t n = size_t(h.b1 - h.b0), m = h.put.size();
        std::vector<std::vector<size_t>> cheapest(n + 1, std::vector<size_t>(m + 1));
        for (size_t i = 0; i <= n; i++)
            for (size_t j = 0; j <= m; j++) {
                const std::string *deleted = i ? &base[size_t(h.b0) + i - 1] : nullptr;
                const std::string *inserted = j ? &h.put[j - 1] : nullptr;
                size_t c = i || j ? SIZE_MAX : 0;
                if (i)
                    c = std::min(c, cheapest[i - 1][j] + deleted->size());
                if (j)
                    c = std::min(c, cheapest[i][j - 1] + inserted->size());
                if (i && j)
                    c = std::min(c, cheapest[i - 1][j - 1] + rewrite(*deleted, *inserted));
                cheapest[i][j] = c;
            }
        total += cheapest[n][m];
    }
    return total;
}

// Every longest common subsequence of the two, as hunks, of those that keep
// the most lines said once (not blank, once in each text), of them those
// that change the fewest bytes, and of them those with the fewest hunks;
// false when there are more than `most` longest common subsequences.
bool readings(const Lines &base, const Lines &version, size_t most, std::vector<Reading> &out) {
    const int n = int(base.size()), m = int(version.size());
    // common[i][j]: the longest common subsequence of base[i..] and version[j..].
    std::vector<std::vector<int>> common(size_t(n + 1), std::vector<int>(size_t(m + 1)));
    for (int i = n - 1; i >= 0; i--)
        for (int j = m - 1; j >= 0; j--)
            common[i][j] =
                base[i] == version[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    Reading hunks;
    bool fits = true;
    // The next pair kept after (i, j) may be any that leaves the rest as long.
    std::function<void(int, int)> from = [&](int i, int j) {
        if (!fits)
            return;
        if (common[i][j] == 0) {
            if (i < n || j < m)
                hunks.push_back({i, n, Lines(version.begin() + j, version.end())});
            if (out.size() == most)
                fits = false;
            else
                out.push_back(hunks);
            if (i < n || j < m)
                hunks.pop_back();
            return;
        }
        for (int k = i; k < n; k++)
            for (int l = j; l < m; l++) {
                if (base[k] != version[l] || common[k + 1][l + 1] + 1 != common[i][j])
                    continue;
                const bool gap = k > i || l > j;
                if (gap)
                    hunks.push_back({i, k, Lines(version.begin() + j, version.begin() + l)});
                from(k + 1, l + 1);
                if (gap)
                    hunks.pop_back();
            }
    };
    from(0, 0);
    // The lines said once that a reading deletes.
    auto once_deleted = [&](const Reading &r) {
        size_t count = 0;
        for (const Hunk &h : r)
            for (int i = h.b0; i < h.b1; i++)
                count += std::string_view(base[size_t(i)]).find_first_not_of("\r\n") != std::string_view::npos &&
                         std::count(base.begin(), base.end(), base[size_t(i)]) == 1 &&
                         std::count(version.begin(), version.end(), base[size_t(i)]) == 1;
        return count;
    };
    auto length = [&](const Reading &r) { return std::tuple(once_deleted(r), bytes(base, r), r.size()); };
    std::tuple<size_t, size_t, size_t> shortest{SIZE_MAX, SIZE_MAX, SIZE_MAX};
    for (const Reading &r : out)
        shortest = std::min(shortest, length(r));
    std::erase_if(out, [&](const Reading &r) { return length(r) != shortest; });
    return fits;
}

// The base's lines [from, to) with a version's hunks there made.
Lines made(const Lines &base, int from, int to, const std::vector<const Hunk *> &hunks) {
    Lines text;
    int at = from;
    for (const Hunk *h : hunks) {
        text.insert(text.end(), base.begin() + at, base.begin() + h->b0);
        text.insert(text.end(), h->put.begin(), h->put.end());
        at = h->b1;
    }
    text.insert(text.end(), base.begin() + at, base.begin() + to);
    return text;
}

// The merge of a reading of each version, or nothing where the hunks of a
// group differ.
std::optional<Lines> merged(const Lines &base, const Reading &mine, const Reading &theirs) {
    struct Placed {
        const Hunk *hunk;
        int side;
    };
    std::vector<Placed> all;
    for (const Hunk &h : mine)
        all.push_back({&h, 0});
    for (const Hunk &h : theirs)
        all.push_back({&h, 1});
    std::stable_sort(all.begin(), all.end(),
                     [](const Placed &a, const Placed &b) { return a.hunk->lo() < b.hunk->lo(); });
    Lines out;
    int at = 0;
    for (size_t k = 0; k < all.size();) {
        int hi = all[k].hunk->hi(), from = all[k].hunk->b0, to = all[k].hunk->b1;
        std::vector<const Hunk *> sides[2];
        for (; k < all.size() && all[k].hunk->lo() <= hi; k++) {
            hi = std::max(hi, all[k].hunk->hi());
            from = std::min(from, all[k].hunk->b0);
            to = std::max(to, all[k].hunk->b1);
            sides[all[k].side].push_back(all[k].hunk);
        }
        const Lines ours = made(base, from, to, sides[0]);
        if (!sides[0].empty() && !sides[1].empty() && ours != made(base, from, to, sides[1]))
            return std::nullopt;
        out.insert(out.end(), base.begin() + at, base.begin() + from);
        const Lines &taken = sides[0].empty() ? made(base, from, to, sides[1]) : ours;
        out.insert(out.end(), taken.begin(), taken.end());
        at = to;
    }
    out.insert(out.end(), base.begin() + at, base.end());
    return out;
}

// What every pair of readings gives: the merged text, nothing when the merge
// must fail, or false when a version has too many readings to judge.
bool judge(const std::string &base_text, const std::string &mine_text, const std::string &theirs_text,
           std::optional<std::string> &verdict) {
    constexpr size_t kMostReadings = 200;
    const Lines base = lines_of(base_text);
    std::vector<Reading> mine, theirs;
    if (!readings(base, lines_of(mine_text), kMostReadings, mine) ||
        !readings(base, lines_of(theirs_text), kMostReadings, theirs))
        return false;
    // A hunk that puts as many lines as it replaces is each line replaced by
    // the one in its place, apart from its neighbours.
    for (std::vector<Reading> *side : {&mine, &theirs})
        for (Reading &reading : *side) {
            Reading apart;
            for (const Hunk &h : reading)
                if (h.b1 - h.b0 > 1 && size_t(h.b1 - h.b0) == h.put.size())
                    for (int i = h.b0; i < h.b1; i++)
                        apart.push_back({i, i + 1, {h.put[size_t(i - h.b0)]}});
                else
                    apart.push_back(h);
            reading = apart;
        }
    auto shared = [](const Reading &a, const Reading &b) {
        int count = 0;
        for (const Hunk &h : a)
            count += std::find(b.begin(), b.end(), h) != b.end();
        return count;
    };
    std::vector<std::vector<int>> common(mine.size(), std::vector<int>(theirs.size()));
    int most = 0;
    for (size_t i = 0; i < mine.size(); i++)
        for (size_t j = 0; j < theirs.size(); j++)
            most = std::max(most, common[i][j] = shared(mine[i], theirs[j]));
    bool first = true;
    for (size_t i = 0; i < mine.size(); i++)
        for (size_t j = 0; j < theirs.size(); j++) {
            if (common[i][j] < most)
                continue;
            std::optional<std::string> text;
            if (const std::optional<Lines> lines = merged(base, mine[i], theirs[j])) {
                text.emplace();
                for (const std::string &line : *lines)
                    *text += line;
            }
            if (first)
                verdict = text;
            else if (verdict != text)
                verdict = std::nullopt;
            first = false;
        }
    return true;
}

// A text's lines as they read, line breaks shown.
std::string shown(const std::string &text) {
    if (text.empty())
        return "(empty)\n";
    std::string out;
    for (const std::string &line : lines_of(text)) {
        out += "  |";
        for (size_t at = 0; at < line.size(); at++)
            if (line.compare(at, 3, "\xEF\xBB\xBF") == 0)
                out += "<BOM>", at += 2;
            else
                out += line[at] == '\r'   ? std::string("\\r")
                       : line[at] == '\n' ? std::string("\\n")
                                          : line.substr(at, 1);
        out += "\n";
    }
    return out;
}

}  // namespace reference

// A base of blank lines and one-word lines, many of them the same, and two
// versions of it that replace, delete and insert such lines: one to three
// edits each, mostly near one place, theirs often one of mine or lines
// inserted where mine edited.
struct Versions {
    std::string base, mine, theirs, separator;
};

Versions whole_line_edits(std::mt19937 &rng) {
    using reference::Lines;
    const char *const pool[] = {"alpha", "beta", "gamma", "delta"};
    auto pool_line = [&] { return rng() % 5 < 2 ? std::string() : std::string(pool[rng() % 4]); };
    // An edit of the base: its lines [at, at + deleted) become `put`.
    struct Edit {
        int at, deleted;
        Lines put;
    };
    Lines base;
    const int n = 3 + int(rng() % 10);
    for (int i = 0; i < n; i++)
        base.push_back(pool_line());
    const int centre = int(rng() % unsigned(n + 1));
    auto make_edits = [&](const std::vector<Edit> *other) {
        std::vector<Edit> edits;
        const int count = 1 + int(rng() % 3);
        for (int k = 0; k < count; k++) {
            Edit e{};
            if (other && !other->empty() && rng() % 4 == 0) {
                e = (*other)[rng() % other->size()];  // the same edit in both
            } else {
                int kind = 0;
                const int at = rng() % 5 ? std::clamp(centre + int(rng() % 7) - 3, 0, n) : int(rng() % unsigned(n + 1));
                if (other && !other->empty() && rng() % 4 == 0) {
                    // Lines inserted where the other version edited.
                    const Edit &there = (*other)[rng() % other->size()];
                    e.at = rng() % 2 ? there.at : there.at + there.deleted;
                } else {
                    // An insertion, a deletion of one or two lines, or a
                    // line replaced by one or two.
                    kind = int(rng() % 3);
                    e.at = at;
                    e.deleted = kind == 0 ? 0 : std::min(n - at, kind == 1 ? 1 + int(rng() % 2) : 1);
                }
                if (kind != 1 || !e.deleted)
                    for (int l = 1 + int(rng() % 2); l > 0; l--)
                        e.put.push_back(pool_line());
            }
            const bool apart = std::all_of(edits.begin(), edits.end(), [&](const Edit &d) {
                return e.at + e.deleted < d.at || d.at + d.deleted < e.at;
            });
            if (apart)
                edits.push_back(e);
        }
        return edits;
    };
    const std::vector<Edit> mine = make_edits(nullptr);
    const std::vector<Edit> theirs = make_edits(&mine);
    const std::string separator = rng() % 4 ? "\n" : "\r\n";
    auto text_of = [&](const std::vector<Edit> &edits) {
        Lines lines = base;
        std::vector<Edit> sorted = edits;
        std::sort(sorted.begin(), sorted.end(), [](const Edit &x, const Edit &y) { return x.at > y.at; });
        for (const Edit &e : sorted) {
            lines.erase(lines.begin() + e.at, lines.begin() + e.at + e.deleted);
            lines.insert(lines.begin() + e.at, e.put.begin(), e.put.end());
        }
        std::string text;
        for (const std::string &line : lines)
            text += line + separator;
        return text;
    };
    return {text_of({}), text_of(mine), text_of(theirs), separator};
}

TEST(MergeProperty, WholeLineEditsMergeAsALineByLineMergeDoesOrFail) {
    using namespace reference;
    std::mt19937 rng(7);
    // Fewer under the sanitizers, whose unoptimised build is many times
    // slower: what the merge gives is judged in the plain build.
    const int rounds = testing_build::sanitized() ? 2000 : 10000;
    int unjudged = 0, sure = 0, must_fail = 0, failed_though_sure = 0;
    for (int round = 0; round < rounds; round++) {
        const auto [original, mine, theirs, separator] = whole_line_edits(rng);
        // A byte order mark that all three begin with is no part of a line.
        const std::string bom = rng() % 5 ? "" : "\xEF\xBB\xBF";
        std::optional<std::string> verdict;
        if (!judge(original, mine, theirs, verdict)) {
            unjudged++;
            continue;
        }
        std::optional<std::string> result = merge(bom + original, bom + mine, bom + theirs);
        if (result && result->starts_with(bom))
            result = result->substr(bom.size());
        sure += bool(verdict);
        must_fail += !verdict;
        failed_though_sure += verdict && !result;
        if (result && result != verdict)
            ADD_FAILURE() << "round " << round << (bom.empty() ? "" : ", all after a byte order mark") << "\nbase:\n"
                          << shown(original) << "mine:\n"
                          << shown(mine) << "theirs:\n"
                          << shown(theirs) << "merged:\n"
                          << shown(*result) << "expected:\n"
                          << (verdict ? shown(*verdict) : "a failed merge\n");
    }
    // The cases cover both outcomes, and the merge takes nearly all of those
    // the reference is sure of.
    EXPECT_LT(unjudged, rounds / 200);
    EXPECT_GT(sure, rounds * 3 / 10);
    EXPECT_GT(must_fail, rounds * 3 / 10);
    EXPECT_LT(failed_though_sure, sure / 20);
}

// The same edits among many lines: lines said once before and after them,
// by which a long document is first cut into stretches, and next to them
// long runs of one line said again, read by a diff of the lines before the
// stretches between the lines that keeps are read exactly. Mine also edits
// the first line and theirs the last, so that both versions' changes span
// the document. The merge is the merge of the edits alone with those two
// edits, or fails where that one fails.
TEST(MergeProperty, EditsAmongManyLinesMergeAsTheyDoAlone) {
    std::mt19937 rng(11);
    const int rounds = testing_build::sanitized() ? 100 : 500;
    for (int round = 0; round < rounds; round++) {
        const auto [base, mine, theirs, separator] = whole_line_edits(rng);
        std::string before, after, mine_before, theirs_after;
        for (int k = 1; k <= 40; k++) {
            const std::string line = "Line " + std::to_string(k) + " of the preamble.";
            before += line + separator;
            mine_before += (k == 1 ? line + " Mine." : line) + separator;
        }
        // Long enough that the stretch between the lines said once around
        // the edits is too long to read exactly.
        std::string same;
        for (int k = 0; k < 80; k++)
            same += "- the same item" + separator;
        before += same;
        mine_before += same;
        after = theirs_after = same;
        for (int k = 1; k <= 40; k++) {
            const std::string line = "Line " + std::to_string(k) + " of the appendix.";
            after += line + separator;
            theirs_after += (k == 40 ? line + " Theirs." : line) + separator;
        }
        const std::optional<std::string> alone = merge(base, mine, theirs);
        const std::optional<std::string> among =
            merge(before + base + after, mine_before + mine + after, before + theirs + theirs_after);
        if (among == (alone ? std::optional(mine_before + *alone + theirs_after) : std::nullopt))
            continue;
        // What lies between the lines around the edits, when they are there.
        std::string between = "a failed merge\n";
        if (among && among->starts_with(mine_before) && among->ends_with(theirs_after))
            between = reference::shown(
                among->substr(mine_before.size(), among->size() - mine_before.size() - theirs_after.size()));
        else if (among)
            between = "a merge that changed the lines around the edits\n";
        ADD_FAILURE() << "round " << round << "\nbase:\n"
                      << reference::shown(base) << "mine:\n"
                      << reference::shown(mine) << "theirs:\n"
                      << reference::shown(theirs) << "alone:\n"
                      << (alone ? reference::shown(*alone) : "a failed merge\n") << "among many lines:\n"
                      << between;
    }
}

}  // namespace

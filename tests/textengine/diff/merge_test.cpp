// The three-way merge by position: each version's changes land where they
// were made in the base, among lines of one shape too (list items, table
// rows, numbered lines, paragraphs said twice), and changes of both
// versions at one place make the merge fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

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

}  // namespace

// The three-way merge by position: each version's changes land where they
// were made in the base, among lines of one shape too (list items, table
// rows, numbered lines, paragraphs said twice), and changes of both
// versions at one place make the merge fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "support/sanitizers.h"
#include "textengine/diff/merge.h"
#include "textengine/diff/merge_parts.h"
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

// Three texts and what merging them must give; nothing where it must fail.
struct MergeCase {
    const char *name;
    std::string base, mine, theirs;
    std::optional<std::string> merged;
};

// A way of writing a text's line breaks (and what comes before its first line).
using TextForm = std::function<std::string(const std::string &)>;

std::string asWritten(const std::string &text) { return text; }

std::string withCrlf(std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.replace(at, 1, "\r\n");
    return text;
}

std::string afterByteOrderMark(const std::string &text) { return "\xEF\xBB\xBF" + text; }

// Each case in each form merges to what it must, whichever version is mine.
template <size_t N>
void expectMerges(const MergeCase (&cases)[N], std::initializer_list<TextForm> forms = {asWritten}) {
    for (const MergeCase &c : cases) {
        int f = 0;
        for (const TextForm &form : forms) {
            const std::optional<std::string> merged = c.merged ? std::optional(form(*c.merged)) : std::nullopt;
            EXPECT_EQ(merge(form(c.base), form(c.mine), form(c.theirs)), merged) << c.name << ", form " << f;
            EXPECT_EQ(merge(form(c.base), form(c.theirs), form(c.mine)), merged)
                << c.name << ", form " << f << ", the other way";
            f++;
        }
    }
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
        // The deleted line reaches the line after it, which the other
        // version rewrote: the two meet, as they do for git merge-file.
        {"a line deleted before an appended one", remove(3), append(4, " OUTSIDE4"), nullptr},
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

TEST(Merge, LinesReplacedByMoreOrFewerMeetWhatTheOtherInsertsAfterThem) {
    const MergeCase cases[] = {
        // Theirs rewrote "x" and put "T" after it: one change of one line
        // into two, which reaches the place after "x", where mine put "M".
        {"a line rewritten and one inserted", "x\ny\n", "x\nM\ny\n", "X\nT\ny\n", std::nullopt},
        // Three lines, the last blank, became one: mine's line went in
        // after the blank line, which is gone.
        {"three lines made one", "Intro.\n\nFirst line.\nSecond line.\n\nNext paragraph.\n",
         "Intro.\n\nFirst line.\nSecond line.\n\nMine.\nNext paragraph.\n", "Intro.\n\nOne line.\nNext paragraph.\n",
         std::nullopt},
        {"two lines deleted", "a\nb\nc\nd\n", "a\nb\nc\nM\nd\n", "a\nd\n", std::nullopt},
        // A line rewritten one for one stays apart from a line inserted
        // after it.
        {"a line rewritten", "x\ny\n", "x\nM\ny\n", "X\ny\n", "X\nM\ny\n"},
        {"two lines rewritten", "x\ny\nz\n", "x\ny\nM\nz\n", "X\nY\nz\n", "X\nY\nM\nz\n"},
        // The same change made by both is made once.
        {"the same lines by both", "x\ny\n", "X\nT\ny\n", "X\nT\ny\n", "X\nT\ny\n"},
    };
    expectMerges(cases, {asWritten, withCrlf});
}

TEST(Merge, TheSameChangeWhereTheLinesCannotTellWhereItWasMadeFails) {
    const std::string said = "The same sentence.\n";
    auto lines = [](const std::string &line, int count) {
        std::string text;
        for (int k = 0; k < count; k++)
            text += line;
        return text;
    };
    // Mine deleted the last list item and one of the sentences, theirs one
    // of the sentences: whether it was the same one the texts cannot tell.
    const std::string base = lines("- list item\n", 3) + "\n" + lines(said, 4);
    const std::string mine = lines("- list item\n", 2) + "\n" + lines(said, 3);
    const std::string theirs = lines("- list item\n", 3) + "\n" + lines(said, 3);
    EXPECT_FALSE(merge(base, mine, theirs));
    EXPECT_FALSE(merge(base, theirs, mine));

    // Both deleted one of four sentences said alike and changed something
    // else: each may have deleted another one.
    const std::string four = "# Notes\n\n" + lines(said, 4) + "\nEnd.\n";
    EXPECT_FALSE(merge(four, "# Notes!\n\n" + lines(said, 3) + "\nEnd.\n", "# Notes\n\n" + lines(said, 3) + "\nEnd!\n"));
    // Of two sentences side by side either deletion reaches the other.
    const std::string two = "# Notes\n\n" + lines(said, 2) + "\nEnd.\n";
    EXPECT_EQ(merge(two, "# Notes!\n\n" + said + "\nEnd.\n", "# Notes\n\n" + said + "\nEnd!\n"),
              "# Notes!\n\n" + said + "\nEnd!\n");
    // A line said once deleted by both is deleted once.
    EXPECT_EQ(merge("a\nb\nc\nd\ne\n", "a\nc\nD\ne\n", "a\nc\nd\nE\n"), "a\nc\nD\nE\n");
    // Two versions alike merge to themselves.
    EXPECT_EQ(merge(four, lines(said, 3), lines(said, 3)), lines(said, 3));
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
    const MergeCase cases[] = {
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
    expectMerges(cases);
}

TEST(Merge, ChangesAmongBlankLinesKeepTheirPlaceAndTheirNeighbours) {
    const MergeCase cases[] = {
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
    expectMerges(cases, {asWritten, withCrlf, afterByteOrderMark});
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
    const MergeCase cases[] = {
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
    expectMerges(cases);
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

// A line-level three-way merge written only to judge the merge, by brute
// force over every reading, on versions that replace, delete and insert
// whole lines. Its rules:
// - A version's readings are all the ways of keeping the most lines of the
//   base, in order (its longest common subsequences with the base). What
//   lies between two kept lines is a hunk: base lines [b0, b1) become
//   `put`.
// - Counting the boundary before base line i as 2i and the line as 2i + 1,
//   a hunk covers its lines and the boundaries at both its ends, [2 b0,
//   2 b1]: lines inserted cover one boundary, and lines deleted or replaced
//   by more or fewer lines reach the boundary after them. A hunk that puts
//   as many lines as it replaces is each line replaced by the line in its
//   place, covering [2i, 2i + 1]: not the boundary after it.
// - Hunks of the two versions whose covers overlap or touch meet, and the
//   hunks joined so make a group, as git merge-file groups its changes. A
//   group of both versions takes their lines over its part of the base when
//   they are the same, and otherwise that merge fails.
// - Each reading of mine is merged with each reading of theirs. Where they
//   all give one text the verdict is sure; where any two differ, the merge
//   must fail.
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

struct Hunk {
    int b0, b1;
    Lines put;
};
using Reading = std::vector<Hunk>;

// Every reading of `version` against `base`, or false when there are more
// than `most`. A reading is one way through the texts that keeps the most
// lines, written with each hunk's deletions before its insertions so that
// each reading is made once.
bool readings(const Lines &base, const Lines &version, size_t most, std::vector<Reading> &out) {
    const int n = int(base.size()), m = int(version.size());
    // longest[i][j]: how many lines base[i..] and version[j..] keep at most.
    std::vector<std::vector<int>> longest(size_t(n + 1), std::vector<int>(size_t(m + 1), 0));
    for (int i = n - 1; i >= 0; i--)
        for (int j = m - 1; j >= 0; j--)
            longest[i][j] = base[i] == version[j] ? longest[i + 1][j + 1] + 1
                                                  : std::max(longest[i + 1][j], longest[i][j + 1]);
    std::vector<std::pair<int, int>> kept;
    bool fits = true;
    // At (i, j), `inserting` once the way has inserted since its last kept line.
    std::function<void(int, int, bool)> walk = [&](int i, int j, bool inserting) {
        if (!fits)
            return;
        if (i == n && j == m) {
            if (out.size() == most) {
                fits = false;
                return;
            }
            Reading reading;
            int b = 0, v = 0;
            for (size_t k = 0; k <= kept.size(); k++) {
                const auto [kb, kv] = k < kept.size() ? kept[k] : std::pair(n, m);
                if (kb > b || kv > v)
                    reading.push_back({b, kb, Lines(version.begin() + v, version.begin() + kv)});
                b = kb + 1;
                v = kv + 1;
            }
            out.push_back(reading);
            return;
        }
        if (i < n && j < m && base[i] == version[j] && longest[i][j] == longest[i + 1][j + 1] + 1) {
            kept.push_back({i, j});
            walk(i + 1, j + 1, false);
            kept.pop_back();
        }
        if (!inserting && i < n && longest[i + 1][j] == longest[i][j])
            walk(i + 1, j, false);
        if (j < m && longest[i][j + 1] == longest[i][j])
            walk(i, j + 1, true);
    };
    walk(0, 0, false);
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

// The merge of a reading of each version, or nothing where a group's hunks
// differ.
std::optional<Lines> merged(const Lines &base, const Reading &mine, const Reading &theirs) {
    struct Covered {
        int lo, hi;
        Hunk hunk;
        int side;
    };
    std::vector<Covered> all;
    const Reading *sides[2] = {&mine, &theirs};
    for (int side = 0; side < 2; side++)
        for (const Hunk &h : *sides[side]) {
            if (h.b1 > h.b0 && size_t(h.b1 - h.b0) == h.put.size()) {
                for (int i = h.b0; i < h.b1; i++)
                    all.push_back({2 * i, 2 * i + 1, {i, i + 1, {h.put[size_t(i - h.b0)]}}, side});
            } else {
                all.push_back({2 * h.b0, 2 * h.b1, h, side});
            }
        }
    std::stable_sort(all.begin(), all.end(), [](const Covered &a, const Covered &b) { return a.lo < b.lo; });
    Lines out;
    int at = 0;
    for (size_t k = 0; k < all.size();) {
        int hi = all[k].hi, from = all[k].hunk.b0, to = all[k].hunk.b1;
        std::vector<const Hunk *> hunks[2];
        for (; k < all.size() && all[k].lo <= hi; k++) {
            hi = std::max(hi, all[k].hi);
            from = std::min(from, all[k].hunk.b0);
            to = std::max(to, all[k].hunk.b1);
            hunks[all[k].side].push_back(&all[k].hunk);
        }
        const Lines ours = made(base, from, to, hunks[0]), others = made(base, from, to, hunks[1]);
        if (!hunks[0].empty() && !hunks[1].empty() && ours != others)
            return std::nullopt;
        out.insert(out.end(), base.begin() + at, base.begin() + from);
        const Lines &taken = hunks[0].empty() ? others : ours;
        out.insert(out.end(), taken.begin(), taken.end());
        at = to;
    }
    out.insert(out.end(), base.begin() + at, base.end());
    return out;
}

// What every pair of readings gives: the merged text, or nothing when the
// merge must fail; false when a version has too many readings to judge.
bool judge(const std::string &base_text, const std::string &mine_text, const std::string &theirs_text,
           std::optional<std::string> &verdict, size_t most = 100) {
    const Lines base = lines_of(base_text);
    std::vector<Reading> mine, theirs;
    if (!readings(base, lines_of(mine_text), most, mine) || !readings(base, lines_of(theirs_text), most, theirs))
        return false;
    bool first = true;
    for (const Reading &one : mine)
        for (const Reading &other : theirs) {
            std::optional<std::string> text;
            if (const std::optional<Lines> lines = merged(base, one, other)) {
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
    int merged = 0, failed = 0, mustFail = 0, apart = 0, oneInsertionPlace = 0, untold = 0, unjudged = 0;
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
        } else if (!met) {
            // No change met another as they were made, but the lines may not
            // tell where one was made: the same change where another reading
            // of them puts it elsewhere, or a change another reading puts
            // next to the other version's. Then the merge fails; it goes
            // through where every reading of the lines merges alike.
            std::optional<std::string> verdict;
            const bool judged = reference::judge(original, *made(base, mine, separator),
                                                 *made(base, theirs, separator), verdict);
            untold += judged && !verdict;
            unjudged += !judged;
            EXPECT_TRUE(!judged || !verdict) << what << "\nfailed though no change met another";
        }
        apart += !met;
        merged += bool(result);
        failed += !result;
    }
    std::printf("%d merged, %d failed: %d where changes met, %d where the lines cannot tell where a change "
                "was made, %d with too many readings to judge\n",
                merged, failed, failed - untold - unjudged, untold, unjudged);
    // The cases cover every outcome.
    EXPECT_LT(unjudged, 100);
    EXPECT_GT(mustFail, 800);
    EXPECT_GT(apart, 4000);
    // Fewer go through than where the place of a change was taken as it
    // was made: about one in ten fails because the lines cannot tell it.
    EXPECT_GT(merged, 3500);
    EXPECT_GT(failed, 1500);
    EXPECT_GT(oneInsertionPlace, 400);
}


// A base of blank lines and one-word lines, many of them the same, and two
// versions of it that replace, delete and insert such lines: one to three
// edits each, mostly near one place, theirs often one of mine or lines
// inserted where mine edited.
struct Versions {
    std::string base, mine, theirs, separator;
};

// An edit of a base: its lines [at, at + deleted) become `put`.
struct Edit {
    int at, deleted;
    reference::Lines put;
};

// The base's lines with `edits` made (none overlapping), each line ended by
// `separator`.
std::string edited(const reference::Lines &base, const std::vector<Edit> &edits, const std::string &separator) {
    reference::Lines lines = base;
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
}

Versions whole_line_edits(std::mt19937 &rng) {
    using reference::Lines;
    const char *const pool[] = {"alpha", "beta", "gamma", "delta"};
    auto pool_line = [&] { return rng() % 5 < 2 ? std::string() : std::string(pool[rng() % 4]); };
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
    return {edited(base, {}, separator), edited(base, mine, separator), edited(base, theirs, separator), separator};
}

// A base shaped as Markdown is, heavy in lines said again (blank lines,
// list items, table rows, one sentence) with a few lines said once, and two
// versions that insert, delete and replace lines of it: one to three edits
// each, mostly near one place, theirs often one of mine or lines inserted
// where mine edited. Lines one version puts in are the pool's or its own.
// Any two different lines here differ in their first character, so that
// two different rewrites of one line meet in its characters as they do in
// its lines.
Versions markdown_edits(std::mt19937 &rng) {
    using reference::Lines;
    const char *const again[] = {"", "- list item", "| a | b |", "The same sentence, said again."};
    const char *const once[] = {"Alpha said once;", "Bravo said once:", "Charlie said once?", "Delta said once)"};
    auto pool_line = [&] {
        const unsigned pick = rng() % 10;
        return std::string(again[pick < 4 ? 0 : pick < 6 ? 1 : pick < 8 ? 2 : 3]);
    };
    Lines base;
    const int n = 4 + int(rng() % 9);
    std::vector<bool> used(std::size(once));
    for (int i = 0; i < n; i++) {
        const size_t k = rng() % std::size(once);
        if (rng() % 10 < 3 && !used[k]) {
            used[k] = true;
            base.push_back(once[k]);
        } else {
            base.push_back(pool_line());
        }
    }
    const int centre = int(rng() % unsigned(n + 1));
    int counter = 0;
    auto make_edits = [&](const char *own, const std::vector<Edit> *other) {
        auto new_line = [&] { return rng() % 2 ? pool_line() : std::string(own) + " " + std::to_string(++counter) + "&"; };
        std::vector<Edit> edits;
        const int count = 1 + int(rng() % 3);
        for (int k = 0; k < count; k++) {
            Edit e{};
            if (other && !other->empty() && rng() % 4 == 0) {
                e = (*other)[rng() % other->size()];  // the same edit in both
            } else if (other && !other->empty() && rng() % 3 == 0) {
                // Lines inserted where the other version edited.
                const Edit &there = (*other)[rng() % other->size()];
                e.at = rng() % 2 ? there.at : there.at + there.deleted;
                for (int l = 1 + int(rng() % 2); l > 0; l--)
                    e.put.push_back(new_line());
            } else {
                e.at = rng() % 5 ? std::clamp(centre + int(rng() % 7) - 3, 0, n) : int(rng() % unsigned(n + 1));
                // Lines inserted, deleted, rewritten one for one, or replaced
                // by more or fewer.
                const int kind = int(rng() % 4);
                const int room = n - e.at;
                e.deleted = kind == 0 ? 0 : std::min(room, kind == 3 ? 1 + int(rng() % 3) : 1 + int(rng() % 2) * (kind == 1));
                int put = kind == 0 ? 1 + int(rng() % 2) : kind == 1 ? 0 : kind == 2 ? e.deleted : int(rng() % 4);
                if (kind == 3 && put == e.deleted)
                    put = put ? put - 1 : 1;
                for (int l = 0; l < put; l++)
                    e.put.push_back(new_line());
            }
            const bool apart = std::all_of(edits.begin(), edits.end(), [&](const Edit &d) {
                return e.at + e.deleted < d.at || d.at + d.deleted < e.at;
            });
            if (apart && (e.deleted || !e.put.empty()))
                edits.push_back(e);
        }
        return edits;
    };
    const std::vector<Edit> mine = make_edits("mine", nullptr);
    const std::vector<Edit> theirs = make_edits("their", &mine);
    const std::string separator = rng() % 4 ? "\n" : "\r\n";
    return {edited(base, {}, separator), edited(base, mine, separator), edited(base, theirs, separator), separator};
}

// Each merge of generated versions judged by the reference: where it goes
// through, its text is the one every pair of readings gives. Where the
// reference is sure and the merge fails anyway, the merge was more careful
// than it had to be; that stays rare.
TEST(MergeProperty, WholeLineEditsMergeAsEveryReadingOfTheLinesDoesOrFail) {
    using namespace reference;
    // Fewer under the sanitizers, whose unoptimised build is many times
    // slower: what the merge gives is judged in the plain build.
    const int rounds = testing_build::sanitized() ? 4000 : 20000;
    const struct {
        const char *name;
        Versions (*make)(std::mt19937 &);
    } generators[] = {{"one-word lines", whole_line_edits}, {"Markdown lines", markdown_edits}};
    for (const auto &generator : generators) {
        std::mt19937 rng(7);
        int unjudged = 0, sure = 0, must_fail = 0, failed_though_sure = 0, alike = 0;
        for (int round = 0; round < rounds; round++) {
            const auto [original, mine, theirs, separator] = generator.make(rng);
            // A byte order mark that all three begin with is no part of a line.
            const std::string bom = rng() % 5 ? "" : "\xEF\xBB\xBF";
            std::optional<std::string> result = merge(bom + original, bom + mine, bom + theirs);
            if (result && result->starts_with(bom))
                result = result->substr(bom.size());
            // Two versions alike merge to themselves, wherever the lines
            // they share with the base lie.
            if (mine == theirs) {
                alike++;
                EXPECT_EQ(result, mine) << generator.name << ", round " << round;
                continue;
            }
            std::optional<std::string> verdict;
            if (!judge(original, mine, theirs, verdict)) {
                unjudged++;
                continue;
            }
            sure += bool(verdict);
            must_fail += !verdict;
            failed_though_sure += verdict && !result;
            if (result && result != verdict)
                ADD_FAILURE() << generator.name << ", round " << round
                              << (bom.empty() ? "" : ", all after a byte order mark") << "\nbase:\n"
                              << shown(original) << "mine:\n"
                              << shown(mine) << "theirs:\n"
                              << shown(theirs) << "merged:\n"
                              << shown(*result) << "expected:\n"
                              << (verdict ? shown(*verdict) : "a failed merge\n");
        }
        std::printf("%s: %d rounds, %d unjudged (too many readings), %d alike, %d sure, %d must fail; "
                    "%d of the sure ones failed (%.1f%%)\n",
                    generator.name, rounds, unjudged, alike, sure, must_fail, failed_though_sure,
                    sure ? 100.0 * failed_though_sure / sure : 0.0);
        // The cases cover both outcomes, and the merge takes most of those
        // the reference is sure of.
        EXPECT_LT(unjudged, rounds / 20) << generator.name;
        EXPECT_GT(sure, rounds / 8) << generator.name;
        EXPECT_GT(must_fail, rounds / 8) << generator.name;
        EXPECT_LT(failed_though_sure, sure / 4) << generator.name;
    }
}

// Long texts are cut at lines said once and read stretch by stretch: a
// version read so must find the lines and changes it finds read whole,
// and where readings differ, the same places. The texts are blocks of
// lines said once among blank lines, list items and fences said again;
// the versions move, swap and copy blocks (so that a line said once may be
// kept by no reading that keeps the most) and insert, delete and rewrite
// lines near them.
TEST(MergeProperty, TextsCutAtLinesSaidOnceReadAsTheWholeTextDoes) {
    std::mt19937 rng(5);
    const int rounds = testing_build::sanitized() ? 60 : 300;
    int cut_apart = 0;
    for (int round = 0; round < rounds; round++) {
        std::vector<std::vector<std::string>> blocks;
        int said = 0;
        const int count = 40 + int(rng() % 50);
        for (int k = 0; k < count; k++) {
            std::vector<std::string> block;
            const int shape = int(rng() % 4);
            for (int l = 1 + int(rng() % 4); l > 0; l--) {
                const unsigned pick = rng() % 6;
                block.push_back(pick == 0 && shape ? "- list item" : pick == 1 && shape == 1 ? "```"
                                : pick == 2                       ? ""
                                                                  : "Sentence " + std::to_string(++said) + ".");
            }
            block.push_back("");
            blocks.push_back(block);
        }
        auto text_of = [](const std::vector<std::vector<std::string>> &parts) {
            std::string text;
            for (const auto &block : parts)
                for (const std::string &line : block)
                    text += line + "\n";
            return text;
        };
        std::vector<std::vector<std::string>> edited = blocks;
        for (int e = 1 + int(rng() % 4); e > 0; e--) {
            const size_t at = rng() % edited.size(), to = rng() % edited.size();
            switch (rng() % 6) {
            case 0: {  // a block moved
                const auto block = edited[at];
                edited.erase(edited.begin() + long(at));
                edited.insert(edited.begin() + long(std::min(to, edited.size())), block);
                break;
            }
            case 1:  // two blocks swapped
                std::swap(edited[at], edited[to]);
                break;
            case 2:  // a block copied
                edited.insert(edited.begin() + long(to), edited[at]);
                break;
            case 3:  // a line inserted
                edited[at].insert(edited[at].begin() + long(rng() % edited[at].size()),
                                  rng() % 2 ? std::string() : "Line " + std::to_string(rng() % 1000) + ".");
                break;
            case 4:  // a line deleted
                if (edited[at].size() > 1)
                    edited[at].erase(edited[at].begin() + long(rng() % edited[at].size()));
                break;
            default:  // a line rewritten
                edited[at][rng() % edited[at].size()] += " Changed.";
                break;
            }
        }
        const std::string base = text_of(blocks), version = text_of(edited);
        const merge_parts::Lines base_lines(base), version_lines(version);
        const merge_parts::Numbered numbers(base_lines, version_lines, version_lines);
        // What a reading finds: how many lines it keeps, its changes where
        // readings agree, and where they differ, the stretches its changes
        // reach over.
        auto found = [&](bool whole) {
            const merge_parts::Reading reading =
                merge_parts::read_lines(base_lines, version_lines, numbers, 0, whole);
            std::vector<std::tuple<size_t, size_t, std::string, size_t, size_t, size_t>> sure;
            std::set<std::pair<size_t, size_t>> unsure;
            for (const merge_parts::Change &c : reading.changes)
                if (c.uncertain)
                    unsure.insert({c.span_start, c.span_end});
                else
                    sure.emplace_back(c.start, c.end, c.text, c.line_start, c.span_start, c.span_end);
            return std::tuple(reading.kept.size(), sure, unsure);
        };
        const auto cut = found(false), whole = found(true);
        cut_apart += std::get<2>(cut) != std::get<2>(whole) || std::get<1>(cut) != std::get<1>(whole);
        EXPECT_EQ(std::get<0>(cut), std::get<0>(whole)) << "round " << round << ": lines kept";
        EXPECT_EQ(std::get<1>(cut), std::get<1>(whole)) << "round " << round << ": changes where readings agree";
        EXPECT_EQ(std::get<2>(cut), std::get<2>(whole)) << "round " << round << ": where readings differ\nbase:\n"
                                                        << reference::shown(base) << "version:\n"
                                                        << reference::shown(version);
    }
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
        std::optional<std::string> alone = merge(base, mine, theirs);
        // Two versions alike merge to themselves as whole texts only: among
        // other changes, the same change made where the lines cannot tell
        // where merges as every reading of the lines does.
        if (mine == theirs && !reference::judge(base, mine, theirs, alone))
            continue;
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

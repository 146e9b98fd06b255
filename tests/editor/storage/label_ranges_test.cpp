// Finding the label around a position, and the text of a label the user
// typed while it was completed.
#include <gtest/gtest.h>

#include "editor/storage/label_ranges.h"

TEST(LabelRanges, TheLabelAroundARangeIsBoundedByItsOwnBrackets) {
    struct Case {
        const char *text;
        CharRange range;
        bool footnotes;
        std::optional<CharRange> label;
    };
    const Case cases[] = {
        {"see [intro] now", {6, 0}, false, CharRange{4, 7}},
        {"see [intro] now", {5, 0}, false, CharRange{4, 7}},   // just after "["
        {"see [intro] now", {10, 0}, false, CharRange{4, 7}},  // just before "]"
        {"see [intro] now", {5, 3}, false, CharRange{4, 7}},   // a selection inside
        {"see [intro] now", {4, 0}, false, std::nullopt},      // before "["
        {"see [intro] now", {11, 0}, false, std::nullopt},     // after "]"
        {"[a] b [c", {5, 0}, false, std::nullopt},             // "]" before the caret
        {"[a b [c]", {2, 0}, false, std::nullopt},             // "[" before the "]"
        {"no brackets", {3, 0}, false, std::nullopt},
        {"[^note]", {3, 0}, false, std::nullopt},  // footnotes only when asked
        {"[^note]", {3, 0}, true, CharRange{0, 7}},
        {"[", {1, 0}, false, std::nullopt},
        {"]", {0, 0}, false, std::nullopt},
        {"[x]", {2, 5}, false, std::nullopt},  // past the end
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SCOPED_TRACE(c.range.location);
        EXPECT_EQ(labels::rangeOfLabel(QByteArrayView(c.text), c.range, c.footnotes), c.label);
    }
    EXPECT_EQ(labels::insideOfLabel("see [intro] now", {6, 0}, false), (CharRange{5, 5}));
    EXPECT_EQ(labels::insideOfLabel("see [] now", {5, 0}, false), (CharRange{5, 0}));
}

TEST(LabelRanges, ThePendingTextGrowsWithWhatTheUserTypes) {
    EXPECT_EQ(labels::pendingCompletion(QString(), QStringLiteral("In")), QStringLiteral("In"));
    // Typed on: the text kept so far stays as the user wrote it.
    EXPECT_EQ(labels::pendingCompletion(QStringLiteral("In"), QStringLiteral("intr")),
              QStringLiteral("Intr"));
    // Something else typed: it starts again.
    EXPECT_EQ(labels::pendingCompletion(QStringLiteral("In"), QStringLiteral("ab")), QStringLiteral("ab"));
    EXPECT_EQ(labels::pendingCompletion(QStringLiteral("Intro"), QStringLiteral("In")),
              QStringLiteral("In"));
}

// Text moved within the storage (a drag within the editor): one change and
// one undo step, wherever it goes and whatever characters it holds, marked
// like any edit while changes are tracked.
#include <gtest/gtest.h>

#include "editor/storage/smart_text_storage.h"
#include "editor/editor_test_support.h"

using editortest::expectedShown;
using editortest::shownText;

TEST(StorageMove, TextMovesAsOneUndoStepEitherWay) {
    struct Case {
        const char *name;
        CharRange moved;
        qsizetype to;
        QString expected;
        CharRange placed;
    };
    const QString text = QStringLiteral("Zoë's café 😀 and more words.");
    const Case cases[] = {
        {"forward", {0, 6}, 18, QStringLiteral("café 😀 and Zoë's more words."), {12, 6}},
        {"backward", {18, 5}, 0, QStringLiteral("more Zoë's café 😀 and words."), {0, 5}},
        {"to the end", {11, 3}, text.size(), QStringLiteral("Zoë's café and more words.😀 "), {26, 3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SmartTextStorage storage;
        storage.setInitialText(text);
        const quint64 generation = storage.editGeneration();
        const std::optional<CharRange> placed = storage.moveCharactersInRange(c.moved, c.to);
        EXPECT_EQ(storage.string(), c.expected);
        EXPECT_EQ(placed, c.placed);
        EXPECT_EQ(storage.caretRange(), c.placed);
        EXPECT_EQ(storage.editGeneration(), generation + 1);
        EXPECT_EQ(shownText(storage), expectedShown(storage));
        EXPECT_TRUE(storage.undo());
        EXPECT_EQ(storage.string(), text);
        EXPECT_FALSE(storage.canUndo());
    }
}

TEST(StorageMove, AMoveOntoItselfOrOfNothingChangesNothing) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("abc def"));
    EXPECT_FALSE(storage.moveCharactersInRange({0, 3}, 2));
    EXPECT_FALSE(storage.moveCharactersInRange({0, 3}, 3));
    EXPECT_FALSE(storage.moveCharactersInRange({2, 0}, 5));
    EXPECT_EQ(storage.string(), QStringLiteral("abc def"));
    EXPECT_FALSE(storage.canUndo());
}

TEST(StorageMove, ATrackedMoveIsMarkedAsADeletionAndAnAddition) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("one two three"));
    storage.startTrackingChanges();
    const std::optional<CharRange> placed = storage.moveCharactersInRange({0, 4}, 13);
    EXPECT_TRUE(storage.string().contains(QStringLiteral("{--one --}")));
    EXPECT_TRUE(storage.string().contains(QStringLiteral("{++one ++}")));
    ASSERT_TRUE(placed);
    EXPECT_TRUE(storage.string().mid(placed->location, placed->length).contains(QStringLiteral("one ")));
    EXPECT_EQ(shownText(storage), expectedShown(storage));
    EXPECT_TRUE(storage.undo());
    EXPECT_EQ(storage.string(), QStringLiteral("one two three"));
}

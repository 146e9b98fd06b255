// Structural edits through the storage: line commands and heading levels,
// selection growth, and section moves from the table of contents, each one
// undo step that leaves the document showing the buffer; moves that would
// cut the text in the wrong place are refused and change nothing.
#include <gtest/gtest.h>

#include "editor/storage/smart_text_storage.h"
#include "editor/editor_test_support.h"

using editortest::expectedShown;
using editortest::headingRows;
using editortest::LogCapture;
using editortest::rowAt;
using editortest::shownText;

namespace {

qsizetype at(const SmartTextStorage &storage, const char *text) {
    return storage.string().indexOf(QString::fromUtf8(text));
}

// Moves the section whose heading begins with `moved` onto, before or after
// the one that begins with `target`, with rows fresh from the text.
bool move(SmartTextStorage &storage, std::vector<const char *> moved, const char *how,
          const char *target) {
    const std::vector<HeadingRow> rows = headingRows(storage);
    std::vector<HeadingRow> headings;
    for (const char *heading : moved)
        headings.push_back(rowAt(rows, at(storage, heading)));
    const HeadingRow *t = &rowAt(rows, at(storage, target));
    const std::string mode = how;
    return storage.moveToCHeadings(headings, mode == "onto" ? t : nullptr,
                                   mode == "before" ? t : nullptr, mode == "after" ? t : nullptr);
}

}  // namespace

TEST(StorageStructure, LineCommandsAreOneUndoStepApartFromTyping) {
    struct Case {
        int action;
        const char *text;
        const char *line;  // where the selection sits
        const char *expected;
    };
    const Case cases[] = {
        {SmartTextStorage::ShiftIndent, "é one\ntwo\n", "two", "é one\n\ttwo\n"},
        {SmartTextStorage::ShiftOutdent, "é one\n\ttwo\n", "two", "é one\ntwo\n"},
        {SmartTextStorage::ShiftLinesUp, "é one\ntwo\n", "two", "two\né one\n"},
        {SmartTextStorage::ShiftLinesDown, "é one\ntwo\nthree", "é one", "two\né one\nthree"},
        {SmartTextStorage::HeadingRemoveHash, "é\n### Three ###\n", "Three", "é\n## Three ##\n"},
        {SmartTextStorage::HeadingAddHash, "é\n## Learn C#\n", "Learn", "é\n### Learn C#\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SmartTextStorage storage;
        storage.setInitialText(QString::fromUtf8(c.text));
        storage.shiftRange({at(storage, c.line), 2}, c.action);
        EXPECT_EQ(storage.string(), QString::fromUtf8(c.expected));
        EXPECT_EQ(shownText(storage), expectedShown(storage));
        ASSERT_TRUE(storage.undo());
        EXPECT_EQ(storage.string(), QString::fromUtf8(c.text));
    }

    // A "#" added right after a typed "#", and one typed right after the
    // command: three undo steps, not one.
    SmartTextStorage heading;
    heading.setInitialText(QStringLiteral("## T\n"));
    heading.replaceCharactersInRange({2, 0}, QStringLiteral("#"));
    heading.increaseLine({0, 0});
    heading.replaceCharactersInRange({0, 0}, QStringLiteral("#"));
    EXPECT_EQ(heading.string(), QStringLiteral("##### T\n"));
    ASSERT_TRUE(heading.undo());
    EXPECT_EQ(heading.string(), QStringLiteral("#### T\n"));
    ASSERT_TRUE(heading.undo());
    EXPECT_EQ(heading.string(), QStringLiteral("### T\n"));

    // Nothing to do: no edit, no undo step.
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("# Top\ntext\n"));
    const quint64 generation = storage.editGeneration();
    storage.decreaseLine({2, 0});  // a level-1 heading would stop being one
    storage.increaseLine({7, 0});  // not a heading
    storage.shiftRange({0, 3}, 5);
    EXPECT_EQ(storage.editGeneration(), generation);
    EXPECT_FALSE(storage.canUndo());
}

TEST(StorageStructure, SelectionAndParagraphCommandsMoveTheCaretOnly) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("Zoë's first. Second one here.\n\nNext paragraph.\n"));
    const quint64 generation = storage.editGeneration();
    storage.increaseSelection({at(storage, "cond"), 0});
    const CharRange word = *storage.caretRange();
    EXPECT_EQ(storage.string().mid(word.location, word.length), "Second");
    storage.increaseSelection(word);
    const CharRange larger = *storage.caretRange();
    EXPECT_TRUE(larger.location <= word.location && larger.end() > word.end());
    storage.decreaseSelection(larger);
    EXPECT_EQ(*storage.caretRange(), word);
    // To the end of the paragraph, then back to its start.
    storage.moveSelectionToNextParagraph(word);
    EXPECT_EQ(storage.caretRange()->location, at(storage, "\n\nNext") + 1);
    storage.moveSelectionToPreviousParagraph(word);
    EXPECT_EQ(storage.caretRange()->location, 0);
    EXPECT_EQ(storage.editGeneration(), generation);
}

TEST(StorageStructure, MovedSectionsTakeTheLevelsAndBlankLinesOfTheirNewPlace) {
    const QString start = QStringLiteral(
        "# Één\n\nintro\n\n## Kid\n\nkid text\n\n# Two\n\n## Move ##\n\nbody\n\n"
        "### Child\n\nchild text\n\n# Three\n\n## Sub\n\n### Deep\n\ndeep text\n");
    SmartTextStorage storage;
    storage.setInitialText(start);
    // Onto a level-1 heading that has sub-sections: after them, with levels
    // 2 and 3; one more newline makes the blank line before it.
    ASSERT_TRUE(move(storage, {"## Move"}, "onto", "# Één"));
    EXPECT_EQ(storage.string(), QStringLiteral(
        "# Één\n\nintro\n\n## Kid\n\nkid text\n\n## Move ##\n\nbody\n\n### Child\n\nchild text\n\n"
        "\n# Two\n\n\n# Three\n\n## Sub\n\n### Deep\n\ndeep text\n"));
    EXPECT_EQ(shownText(storage), expectedShown(storage));
    ASSERT_TRUE(storage.undo());
    EXPECT_EQ(storage.string(), start);
    EXPECT_EQ(shownText(storage), expectedShown(storage));

    // Before a level-3 heading: levels 3 and 4, closing hashes matched;
    // after a blank line no newline is added.
    ASSERT_TRUE(move(storage, {"## Move"}, "before", "### Deep"));
    EXPECT_TRUE(storage.string().endsWith(QStringLiteral(
        "# Three\n\n## Sub\n\n### Move ###\n\nbody\n\n#### Child\n\nchild text\n\n### Deep\n\ndeep text\n")));

    // After the last heading, at the end of a text without a final newline:
    // two newlines first; the "#" of "C#" is no closing run; the moved text
    // ends with a blank line.
    storage.setInitialText(QStringLiteral("# A\n\n## Learn C#\n\ntext\n\n# B\n\nlast"));
    ASSERT_TRUE(move(storage, {"## Learn"}, "after", "# B"));
    EXPECT_EQ(storage.string(), QStringLiteral("# A\n\n\n# B\n\nlast\n\n# Learn C#\n\ntext\n\n"));

    // At the very start nothing goes in front. Two sections that follow each
    // other without a blank line stay two headings, in the order dragged.
    storage.setInitialText(QStringLiteral("# A\n## B\nb\n## C\nc\n# D\nd\n"));
    ASSERT_TRUE(move(storage, {"## C", "## B"}, "before", "# A"));
    EXPECT_EQ(storage.string(), QStringLiteral("# C\nc\n# B\nb\n\n# A\n\n\n# D\nd\n"));

    // Levels stay within the six that are headings.
    storage.setInitialText(QStringLiteral("# A\n## B\n### C\n#### D\n##### E\n###### F\n\n# G\n## H\n"));
    ASSERT_TRUE(move(storage, {"## H"}, "onto", "###### F"));
    EXPECT_TRUE(storage.string().contains(QStringLiteral("\n###### H\n")));
}

TEST(StorageStructure, MovesThatWouldCorruptTheTextAreRefused) {
    const QString text = QStringLiteral(
        "# Zoë\n\n## A\n\na text\n\n### A1\n\nsub\n\n## B\n\nb text\n\n# End\n");
    SmartTextStorage storage;
    storage.setInitialText(text);
    auto rows = headingRows(storage);
    const HeadingRow &a = rowAt(rows, at(storage, "## A"));
    const HeadingRow &a1 = rowAt(rows, at(storage, "### A1"));
    const HeadingRow &b = rowAt(rows, at(storage, "## B"));
    const HeadingRow &end = rowAt(rows, at(storage, "# End"));

    auto refused = [&](const char *what, const std::vector<HeadingRow> &moved,
                       const HeadingRow *onto, const HeadingRow *before, const HeadingRow *after) {
        SCOPED_TRACE(what);
        const quint64 generation = storage.editGeneration();
        const bool couldUndo = storage.canUndo();
        EXPECT_FALSE(storage.moveToCHeadings(moved, onto, before, after));
        EXPECT_EQ(storage.string(), text);
        EXPECT_EQ(storage.editGeneration(), generation);
        EXPECT_EQ(storage.canUndo(), couldUndo);
    };
    {
        LogCapture log;
        refused("no destination", {a}, nullptr, nullptr, nullptr);
        EXPECT_TRUE(log.contains("Attempted to move TOC headings without a destination"));
    }
    refused("no headings", {}, &end, nullptr, nullptr);
    refused("onto its own sub-heading", {a}, &a1, nullptr, nullptr);
    refused("after its own sub-heading", {a}, nullptr, nullptr, &a1);
    refused("onto itself", {a}, &a, nullptr, nullptr);
    refused("a section with its own sub-section", {a, a1}, nullptr, nullptr, &end);
    refused("the same section twice", {b, b}, nullptr, &end, nullptr);
    HeadingRow shifted = b;
    shifted.start += 1;
    refused("a row off its heading", {shifted}, nullptr, &a, nullptr);
    HeadingRow longer = b;
    longer.length = storage.length() + 1;
    refused("a row past the end", {longer}, nullptr, &a, nullptr);
    HeadingRow badChild = a;
    badChild.children.front().start = b.start + 3;
    refused("a sub-heading outside its section", {badChild}, nullptr, &end, nullptr);

    // Rows read before an edit no longer fit, even when the edit was undone.
    storage.replaceCharactersInRange({0, 0}, QStringLiteral("x"));
    storage.undo();
    refused("rows of an older generation", {b}, nullptr, &a, nullptr);
    // Fresh rows move.
    ASSERT_TRUE(move(storage, {"## B"}, "before", "## A"));
    EXPECT_TRUE(storage.string().startsWith(QStringLiteral("# Zoë\n\n## B\n\nb text\n\n## A")));
}

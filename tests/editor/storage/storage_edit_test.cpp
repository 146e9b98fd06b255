// The storage's edit path: every edit goes through the text buffer and the
// displayed document follows what the buffer really did, position for
// position.
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "editor/editor_interfaces.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/editor_test_support.h"
#include "textengine/typing/change_tracking.h"
#include "textengine/buffer/smart_string.h"

using editortest::expectedShown;
using editortest::LogCapture;
using editortest::shownText;

namespace {

void expectInStep(const SmartTextStorage &storage) {
    EXPECT_EQ(shownText(storage), expectedShown(storage));
    EXPECT_EQ(storage.document()->characterCount() - 1, storage.length());
    EXPECT_EQ(storage.string(), QString::fromUtf8(storage.str(), qsizetype(storage.len())));
}

}  // namespace

TEST(StorageEdit, TypingPastingAndDeletingKeepTheDocumentInStep) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("Hello world\nsecond line"));
    expectInStep(storage);
    storage.replaceCharactersInRange({5, 0}, QStringLiteral(","));
    storage.replaceCharactersInRange({0, 0}, QStringLiteral("Café 😀 "));
    storage.replaceCharactersInRange({storage.length(), 0}, QStringLiteral("\nthird\nfourth"));
    storage.replaceCharactersInRange({3, 9}, QString());
    expectInStep(storage);
    EXPECT_EQ(storage.document()->blockCount(), 4);

    // A character outside the Basic Multilingual Plane is two units in the
    // view and two bytes of the mirror text, four bytes in the buffer.
    SmartTextStorage emoji;
    emoji.setInitialText(QStringLiteral("a😀b"));
    EXPECT_EQ(emoji.length(), 4);
    EXPECT_EQ(emoji.len(), 6u);
    auto [byte, bytes] = emoji.byteRangeFromCharRange({1, 2});
    EXPECT_EQ(byte, 1u);
    EXPECT_EQ(bytes, 4u);
    EXPECT_EQ(emoji.charRangeFromByteStart(5, 1), (CharRange{3, 1}));
    // A range that starts inside the pair takes the whole character.
    emoji.replaceCharactersInRange({2, 1}, QString());
    EXPECT_EQ(QString::fromUtf8(emoji.str()), QStringLiteral("ab"));
    expectInStep(emoji);
}

TEST(StorageEdit, CharactersThatQtWouldSplitIntoBlocksStayOneUnit) {
    SmartTextStorage storage;
    const QString text = QStringLiteral("a\rb\r\nc") + QChar(0x2029) + QStringLiteral("d") +
                         QChar(0xFDD0) + QChar(0xFDD1) + QStringLiteral("e\n");
    storage.setInitialText(text);
    EXPECT_EQ(storage.string(), text);
    expectInStep(storage);
    // Only the two line feeds break blocks.
    EXPECT_EQ(storage.document()->blockCount(), 3);
    storage.replaceCharactersInRange({1, 0}, QStringLiteral("\r\r") + QChar(0x2029));
    expectInStep(storage);
    EXPECT_EQ(storage.document()->blockCount(), 3);
}

// Whether the storage holds a text is answered alike whether its UTF-16 form
// is made or not (it is then compared with the buffer's bytes).
TEST(StorageEdit, WhetherItHoldsATextIsAnsweredWithOrWithoutItsUtf16) {
    SmartTextStorage storage;
    // Longer than the pieces the bytes are compared in, with characters of
    // every length across their edges.
    QString text;
    while (text.size() < 200000)
        text += QStringLiteral("Caf\u00e9 \U0001F600 a\rb\r\nc") + QChar(0x2029) + QChar(0xFFFD) + QChar(0xFFFF) +
                QChar(0x85) + QStringLiteral("\u65e5\u672c d\n");
    storage.setInitialText(text);
    for (bool made : {false, true}) {
        if (made)
            (void)storage.string();
        EXPECT_TRUE(storage.textEquals(text)) << made;
        EXPECT_FALSE(storage.textEquals(QString(text).replace(QStringLiteral("\u00e9"), QStringLiteral("e")))) << made;
        EXPECT_FALSE(storage.textEquals(text + QLatin1Char('x'))) << made;
        EXPECT_FALSE(storage.textEquals(text.chopped(1))) << made;
        EXPECT_FALSE(storage.textEquals(QString())) << made;
    }
    storage.replaceCharactersInRange({0, 1}, QStringLiteral("K"));
    EXPECT_FALSE(storage.textEquals(text));
    EXPECT_TRUE(storage.textEquals(QStringLiteral("K") + text.mid(1)));
}

TEST(StorageEdit, NulCharactersAreDroppedRatherThanEndingTheText) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("ab"));
    storage.replaceCharactersInRange({1, 0}, QStringLiteral("x") + QChar(0) + QStringLiteral("y"));
    EXPECT_EQ(storage.string(), QStringLiteral("axyb"));
    expectInStep(storage);
}

TEST(StorageEdit, LeadingByteOrderMarkIsDroppedOnLoadAndNeverInsertedAtTheStart) {
    SmartTextStorage storage;
    storage.setInitialText(QChar(0xFEFF) + QStringLiteral("Title: x\n\nbody"));
    EXPECT_EQ(storage.string(), QStringLiteral("Title: x\n\nbody"));
    storage.replaceCharactersInRange({0, 0}, QChar(0xFEFF) + QStringLiteral("A"));
    EXPECT_EQ(storage.string(), QStringLiteral("ATitle: x\n\nbody"));
    // Elsewhere it is a character like any other.
    storage.replaceCharactersInRange({1, 0}, QString(QChar(0xFEFF)));
    EXPECT_EQ(storage.length(), 16);
    expectInStep(storage);
}

TEST(StorageEdit, RangesPastTheEndAreClamped) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("abc"));
    storage.replaceCharactersInRange({2, 50}, QStringLiteral("Z"));
    EXPECT_EQ(storage.string(), QStringLiteral("abZ"));
    storage.replaceCharactersInRange({40, 3}, QStringLiteral("!"));
    EXPECT_EQ(storage.string(), QStringLiteral("abZ!"));
    storage.replaceCharactersInRange({-3, 1}, QStringLiteral("<"));
    EXPECT_EQ(storage.string(), QStringLiteral("<bZ!"));
    LogCapture log;
    CharAttrs attrs = storage.attributesAt(99);
    Q_UNUSED(attrs);
    EXPECT_TRUE(log.contains(QStringLiteral("get attributes at (99) in (4)")));
    expectInStep(storage);
}

TEST(StorageEdit, UndoAndRedoGoThroughTheBuffer) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("loaded"));
    EXPECT_FALSE(storage.canUndo());
    EXPECT_FALSE(storage.undo());  // the loaded text is never undone
    EXPECT_EQ(storage.string(), QStringLiteral("loaded"));
    storage.replaceCharactersInRange({6, 0}, QStringLiteral(" text"));
    storage.replaceCharactersInRange({0, 0}, QStringLiteral("Ünï "));
    ASSERT_TRUE(storage.canUndo());
    while (storage.undo())
        expectInStep(storage);
    EXPECT_EQ(storage.string(), QStringLiteral("loaded"));
    while (storage.redo())
        expectInStep(storage);
    EXPECT_EQ(storage.string(), QStringLiteral("Ünï loaded text"));
    EXPECT_FALSE(storage.canRedo());
}

TEST(StorageEdit, BulkReplaceWritesOnlyTheDifferences) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("one two three\nfour"));
    QList<TextChange> changes;
    QObject::connect(&storage, &SmartTextStorage::textChanged,
                     [&](const TextChange &change) { changes.append(change); });
    storage.bulkReplaceCharactersInRange({0, 13}, QStringLiteral("one 2 three"));
    EXPECT_EQ(storage.string(), QStringLiteral("one 2 three\nfour"));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_LE(changes[0].location, 4);
    expectInStep(storage);
    EXPECT_TRUE(storage.undo());
    EXPECT_EQ(storage.string(), QStringLiteral("one two three\nfour"));
}

TEST(StorageEdit, AChangeTheDocumentCannotFollowResynchronisesItWithALogLine) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("Crème brûlée\nand more"));
    // An edit of the buffer reported with a range that does not fit it: the
    // document would drift away from the buffer if it followed.
    smart_string_change *change = smart_string_change_new();
    smart_string_replace(storage.buffer(), 0, 0, "New ", change);
    smart_string_change_free(change);
    LogCapture log;
    storage.updateBackingStoreForChangeAtByteOffset(2, 0, 400);
    EXPECT_TRUE(log.contains(QStringLiteral("resynchronised from the text buffer")));
    expectInStep(storage);
    EXPECT_EQ(storage.string(), QStringLiteral("New Crème brûlée\nand more"));
}

TEST(StorageEdit, AnEditThatGoesAroundTheBufferIsUndoneFromIt) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("the buffer is the truth"));
    LogCapture log;
    QTextCursor cursor(storage.document());
    cursor.insertText(QStringLiteral("stray "));
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.contains(QStringLiteral("unrouted edit")));
    expectInStep(storage);
    EXPECT_EQ(shownText(storage), QStringLiteral("the buffer is the truth"));
}

TEST(StorageEdit, MetadataValuesAreReadFromTheRealText) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("Title: Café Ünïcode 😀\nAuthor: Zoë\n\nBody"));
    EXPECT_EQ(storage.metadataForKey(QStringLiteral("title")),
              QStringLiteral("Café Ünïcode 😀"));
    EXPECT_EQ(storage.metadataForKey(QStringLiteral("Author")), QStringLiteral("Zoë"));
    EXPECT_FALSE(storage.metadataForKey(QStringLiteral("date")).has_value());
}

TEST(StorageEdit, CountsAndCaretComeFromTheBuffer) {
    SmartTextStorage storage;
    storage.setInitialText(QStringLiteral("one two\n\nthree"));
    EXPECT_EQ(storage.wordCount(), 3u);
    EXPECT_EQ(storage.paraCount(), 2u);
    storage.replaceCharactersInRange({0, 0}, QStringLiteral("é"));
    ASSERT_TRUE(storage.caretRange().has_value());
    EXPECT_EQ(*storage.caretRange(), (CharRange{1, 0}));
    EXPECT_EQ(storage.paraRangeForByteOffset(0, 1), (CharRange{0, 9}));
}

// "%clipboard" in an expansion: the clipboard's text takes the marker's
// place, and the document follows what the buffer really did with it.
class ClipboardExpansion : public testing::Test, public ExtrasProvider {
protected:
    QStringList expansionFilePaths() const override {
        return {QString::fromUtf8(ORVANE_TEST_DATA "/expansions/clipboard.json")};
    }
    StoragePreferences preferences() const {
        StoragePreferences p;
        p.smartExpansion = true;
        return p;
    }
};

TEST_F(ClipboardExpansion, PastesTheClipboardAndKeepsTheCaretWhereTheTemplatePutIt) {
    SmartTextStorage storage(preferences(), this);
    storage.setInitialText(QStringLiteral("Start: "));
    QGuiApplication::clipboard()->setText(QStringLiteral("Grüße 😀"));
    for (QChar c : QStringLiteral(";cl"))
        storage.replaceCharactersInRange({storage.length(), 0}, QString(c));
    storage.replaceCharactersInRange({storage.length(), 0}, QStringLiteral("p"));
    EXPECT_EQ(storage.string(), QStringLiteral("Start: [Grüße 😀] done"));
    expectInStep(storage);
    ASSERT_TRUE(storage.caretRange().has_value());
    // The caret the expansion left after the template moved with the paste.
    EXPECT_EQ(storage.caretRange()->location, storage.length());
}

TEST_F(ClipboardExpansion, WithoutClipboardTextTheMarkerStays) {
    SmartTextStorage storage(preferences(), this);
    QGuiApplication::clipboard()->clear();
    for (QChar c : QStringLiteral(";clp"))
        storage.replaceCharactersInRange({storage.length(), 0}, QString(c));
    EXPECT_EQ(storage.string(), QStringLiteral("[%clipboard] done"));
    expectInStep(storage);
}

TEST_F(ClipboardExpansion, FollowsTheSecondEditEvenWhenTheBufferChangesIt) {
    // With smart pairs on, the buffer's pipeline does not insert a lone "("
    // as it is: what it inserts differs from the clipboard's text, and the
    // document must follow the buffer, not the clipboard.
    StoragePreferences p = preferences();
    p.enableSmartPairs = true;
    SmartTextStorage storage(p, this);
    storage.setInitialText(QStringLiteral("x "));
    QGuiApplication::clipboard()->setText(QStringLiteral("("));
    for (QChar c : QStringLiteral(";clp"))
        storage.replaceCharactersInRange({storage.length(), 0}, QString(c));
    expectInStep(storage);
    EXPECT_FALSE(storage.string().contains(QStringLiteral(";clp")));
    EXPECT_NE(storage.string(), QStringLiteral("x [(] done"));
}

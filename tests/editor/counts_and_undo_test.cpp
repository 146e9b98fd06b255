// What the editor publishes after each edit (the counts, the trigger that
// the engine bridge renders on, the typed space) and what it tells its
// document as edits are made, undone and redone.
#include <QAction>
#include <QApplication>
#include <QMenu>

#include <gtest/gtest.h>

#include "editor/smart_undo_manager.h"
#include "platform/runtime/action_router.h"
#include "editor/input/completion_popup.h"
#include "editor/smart_view_support.h"

using editortest::RecordingDocument;
using editortest::ShownEditor;
using Kind = OwningDocument::ChangeKind;

TEST(CountsAndUndo, CharCountIsToldAfterEveryEditTheOthersOnlyWhenTheyChange) {
    ShownEditor editor;
    editor.show(QStringLiteral("One two.\n\nThree.\n"));
    SmartTextView &view = editor.view();
    QList<quint64> chars;
    int words = 0, lines = 0, paras = 0, ranges = 0;
    QObject context;
    QObject::connect(&view, &SmartTextView::charCountChanged, &context, [&](quint64 n) { chars.append(n); });
    QObject::connect(&view, &SmartTextView::wordCountChanged, &context, [&](quint64) { words++; });
    QObject::connect(&view, &SmartTextView::lineCountChanged, &context, [&](quint64) { lines++; });
    QObject::connect(&view, &SmartTextView::paraCountChanged, &context, [&](quint64) { paras++; });
    QObject::connect(&view, &SmartTextView::lastEditedRangeChanged, &context, [&](CharRange) { ranges++; });

    // A letter replaced by a letter: the same counts, charCount told still.
    editor.select(0, 1);
    editor.type(QStringLiteral("A"));
    ASSERT_EQ(chars.size(), 1);
    EXPECT_EQ(chars.last(), editor.storage().charCount());
    EXPECT_EQ(words + lines + paras, 0);
    EXPECT_EQ(view.lastEditedRange(), (CharRange{1, 0}));
    // A new word and a new paragraph.
    editor.select(17);
    editor.type(QStringLiteral("\nFour"));
    EXPECT_EQ(chars.size(), 6);
    EXPECT_EQ(view.wordCount(), editor.storage().wordCount());
    EXPECT_EQ(words, 1);
    EXPECT_EQ(paras, 1);
    EXPECT_GE(lines, 1);
    EXPECT_EQ(ranges, 6);
    // An undo, a storage command and an edit that changes nothing all tell.
    editor.press(Qt::Key_Z, Qt::ControlModifier);
    view.shiftRight();
    view.replaceCharactersInRange({0, 0}, QString());
    EXPECT_EQ(chars.size(), 9);
    // The charCount handler finds the other values already updated.
    QList<quint64> seenWords;
    QObject::connect(&view, &SmartTextView::charCountChanged, &context,
                     [&](quint64) { seenWords.append(view.wordCount()); });
    editor.type(QStringLiteral(" five"));
    EXPECT_EQ(seenWords.last(), editor.storage().wordCount());
}

TEST(CountsAndUndo, TypedSpaceIsSetBySpacesAndClearedByDeletingAndReading) {
    ShownEditor editor;
    editor.show(QStringLiteral("word"));
    editor.select(4);
    editor.type(QStringLiteral(" "));
    EXPECT_TRUE(editor.view().typedSpace());
    editor.type(QStringLiteral("x"));
    EXPECT_FALSE(editor.view().typedSpace());
    editor.type(QStringLiteral(" "));
    editor.press(Qt::Key_Backspace);
    EXPECT_FALSE(editor.view().typedSpace());
    editor.type(QStringLiteral(" "));
    EXPECT_TRUE(editor.view().takeTypedSpace());
    EXPECT_FALSE(editor.view().takeTypedSpace());
}

TEST(CountsAndUndo, TheDocumentIsCleanAfterUndoOnlyWhenItsTextIsTheSavedText) {
    ShownEditor editor;
    editor.show(QStringLiteral("Saved.\n"));
    RecordingDocument document;
    document.saved = "Saved.\n";
    editor.view().setOwningDocument(&document);
    SmartUndoManager *undo = editor.view().undoManager();

    // An edit, and its undo back to the saved text: clean.
    editor.select(6);
    editor.type(QStringLiteral("!"));
    EXPECT_EQ(document.changes, (QList<Kind>{Kind::Done}));
    EXPECT_TRUE(undo->canUndo());
    undo->undo();
    EXPECT_EQ(document.changes.last(), Kind::Cleared);
    EXPECT_EQ(document.changes.size(), 2);  // told once, not as an edit too
    undo->redo();
    EXPECT_EQ(document.changes.last(), Kind::Redone);

    // Saved with the edit, then undone past the save: the text differs
    // from the file, though nothing is left to undo: still edited.
    document.saved = editor.storage().str();
    undo->undo();
    EXPECT_FALSE(undo->canUndo());
    EXPECT_EQ(document.changes.last(), Kind::Undone);
    // Redone back to the saved text: clean again.
    undo->redo();
    EXPECT_EQ(document.changes.last(), Kind::Cleared);

    // Typing merged into one undo step across a save: undoing it does not
    // reach the saved text.
    editor.select(7);
    editor.type(QStringLiteral("ab"));
    document.saved = editor.storage().str();
    editor.type(QStringLiteral("c"));
    const int told = int(document.changes.size());
    undo->undo();
    EXPECT_NE(QByteArray(editor.storage().str()), document.saved);
    EXPECT_EQ(document.changes.last(), Kind::Undone);
    EXPECT_EQ(document.changes.size(), told + 1);

    // Nothing to undo or redo: nothing told.
    while (undo->canUndo())
        undo->undo();
    const qsizetype before = document.changes.size();
    undo->undo();
    while (undo->canRedo())
        undo->redo();
    const qsizetype redone = document.changes.size();
    undo->redo();
    EXPECT_GT(redone, before);
    EXPECT_EQ(document.changes.size(), redone);
}

TEST(CountsAndUndo, UndoMenuItemsFollowTheBuffer) {
    ShownEditor editor;
    editor.show(QStringLiteral("x"));
    QAction undoItem, redoItem;
    platform::ActionRouter::setAction(&undoItem, QStringLiteral("undo:"));
    platform::ActionRouter::setAction(&redoItem, QStringLiteral("redo:"));
    QMenu menu;
    menu.addAction(&undoItem);
    menu.addAction(&redoItem);
    platform::ActionRouter::validateMenu(&menu, &editor.view());
    EXPECT_FALSE(undoItem.isEnabled());
    editor.select(1);
    editor.type(QStringLiteral("y"));
    platform::ActionRouter::validateMenu(&menu, &editor.view());
    EXPECT_TRUE(undoItem.isEnabled());
    EXPECT_FALSE(redoItem.isEnabled());
    // The item undoes through the router and the buffer.
    undoItem.trigger();
    EXPECT_EQ(editor.text(), QStringLiteral("x"));
    platform::ActionRouter::validateMenu(&menu, &editor.view());
    EXPECT_TRUE(redoItem.isEnabled());
}

// A word completion shown and then cancelled leaves the text as it was: a
// saved document is clean again, an edited one stays edited.
TEST(CountsAndUndo, ACancelledCompletionLeavesTheDocumentAsItWas) {
    // Headings are among the words offered.
    const QString text = QStringLiteral("# Alphabet\n\n## Alpine\n\nAl");
    for (bool editedBefore : {false, true}) {
        SCOPED_TRACE(editedBefore);
        ShownEditor editor;
        editor.show(text);
        RecordingDocument document;
        document.saved = text.toUtf8();
        editor.view().setOwningDocument(&document);
        editor.select(text.size());
        if (editedBefore)
            editor.type(QStringLiteral("p"));
        const QString before = editor.text();

        editor.press(Qt::Key_Escape);
        CompletionPopup *list = editor.view().completionPopup();
        ASSERT_TRUE(list && list->isVisible());
        EXPECT_NE(editor.text(), before);  // the first word stands in
        editor.press(Qt::Key_Escape);
        EXPECT_FALSE(list->isVisible());
        EXPECT_EQ(editor.text(), before);
        ASSERT_FALSE(document.changes.isEmpty());
        EXPECT_EQ(document.changes.last(), editedBefore ? Kind::Done : Kind::Cleared);
    }
}

// What keys mean in the Markdown editor: Tab and Shift-Tab, the Return
// variants, deleting and undoing by key, and the keys that open the label
// completion.
#include <QApplication>

#include <gtest/gtest.h>

#include "editor/input/completion_popup.h"
#include "platform/prefs/defaults.h"
#include "editor/smart_view_support.h"

using editortest::ShownEditor;

TEST(SmartTextViewKeys, TabIndentsASelectionOnlyWhenAskedAndShiftTabAlwaysOutdents) {
    for (bool indents : {false, true}) {
        SCOPED_TRACE(indents);
        ShownEditor editor([indents](platform::Defaults &d) {
            d.setBool(indents, QStringLiteral("TAB_INDENTS_SELECTION"));
        });
        editor.show(QStringLiteral("one\ntwo\n"));
        // An empty selection: a tab is typed, through the storage.
        editor.select(1);
        editor.press(Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
        EXPECT_EQ(editor.text(), QStringLiteral("o\tne\ntwo\n"));
        // A selection over both lines: indented, or replaced by the tab.
        editor.select(0, 9);
        editor.press(Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
        EXPECT_EQ(editor.text(), indents ? QStringLiteral("\to\tne\n\ttwo\n") : QStringLiteral("\t"));
        // Shift-Tab outdents the caret's line, selection or not.
        editor.storage().setInitialText(QStringLiteral("\t\tdeep\n"));
        editor.select(3);
        editor.press(Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(editor.text(), QStringLiteral("\tdeep\n"));
        EXPECT_TRUE(editor.inStep());
    }
}

TEST(SmartTextViewKeys, ReturnVariantsEndOrBreakTheLine) {
    ShownEditor editor;
    const QString text = QStringLiteral("first line\nsecond\n");
    editor.show(text);

    // Command-Return (Ctrl) in the middle of a line: the line feed goes at
    // its end, before its own line feed, and the caret follows.
    editor.select(3);
    editor.press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("first line\n\nsecond\n"));
    EXPECT_EQ(editor.selection(), (CharRange{11, 0}));

    // With a selection ending at a line's start, the line is the one the
    // selection ends in, not the next.
    editor.storage().setInitialText(text);
    editor.select(2, 9);  // "rst line\n"
    editor.press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("first line\n\nsecond\n"));

    // Command-Control-Return: a hard line break at the line's end.
    editor.storage().setInitialText(text);
    editor.select(13);
    editor.press(Qt::Key_Return, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("first line\nsecond  \n\n"));

    // Control-Return (Meta), or Ctrl+Shift+Return: the hard break at the caret.
    editor.storage().setInitialText(text);
    editor.select(5);
    editor.press(Qt::Key_Return, Qt::MetaModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("first  \n line\nsecond\n"));
    editor.select(14, 2);  // "se"
    editor.press(Qt::Key_Enter, Qt::ControlModifier | Qt::ShiftModifier | Qt::KeypadModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("first  \n line\n  \ncond\n"));

    // Return goes to the storage's smart enter, which continues a list.
    editor.storage().setInitialText(QStringLiteral("- item"));
    editor.select(6);
    editor.press(Qt::Key_Return);
    EXPECT_EQ(editor.text(), QStringLiteral("- item\n- "));
    EXPECT_EQ(editor.selection(), (CharRange{9, 0}));
    EXPECT_TRUE(editor.inStep());
}

TEST(SmartTextViewKeys, EditingKeysDeleteAndUndoThroughTheBuffer) {
    ShownEditor editor;
    editor.show(QStringLiteral("one two 👍🏽\n"));
    // Backspace takes a whole emoji with its skin tone.
    editor.select(12);
    editor.press(Qt::Key_Backspace);
    EXPECT_EQ(editor.text(), QStringLiteral("one two \n"));
    // Ctrl+Backspace a word, Delete a character.
    editor.select(7);
    editor.press(Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("one  \n"));
    editor.select(0);
    editor.press(Qt::Key_Delete);
    EXPECT_EQ(editor.text(), QStringLiteral("ne  \n"));
    // Ctrl+Z undoes in the buffer's steps; Ctrl+Shift+Z redoes.
    editor.press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("one  \n"));
    editor.press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("ne  \n"));
    // Keys that are no text (Ctrl+letters nobody binds, F5) change nothing.
    editor.press(Qt::Key_J, Qt::ControlModifier, QStringLiteral("\x0a"));
    editor.press(Qt::Key_F5);
    EXPECT_EQ(editor.text(), QStringLiteral("ne  \n"));
    EXPECT_TRUE(editor.inStep());
}

TEST(SmartTextViewKeys, TypingBeforeALabelsBracketOpensTheCompletionList) {
    const QString text = QStringLiteral("See [] and [^]. [x\n\n[intro]: http://a.org\n[^n1]: Note.\n[in]");
    auto listShown = [](ShownEditor &editor) {
        return editor.view().completionPopup() && editor.view().completionPopup()->isVisible();
    };
    struct Case {
        const char *name;
        bool labels, footnotes;
        qsizetype at;
        int key;
        QString typed;
        bool opens;
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    };
    const qsizetype ref = text.indexOf(QStringLiteral("[]")) + 1;
    const qsizetype note = text.indexOf(QStringLiteral("[^]")) + 2;
    const Case cases[] = {
        {"a letter before ]", true, false, ref, Qt::Key_I, QStringLiteral("i"), true},
        {"switched off", false, false, ref, Qt::Key_I, QStringLiteral("i"), false},
        {"a space", true, false, ref, Qt::Key_Space, QStringLiteral(" "), false},
        {"an arrow key", true, false, ref + 1, Qt::Key_Left, QString(), false},
        {"footnote, off", true, false, note, Qt::Key_N, QStringLiteral("n"), false},
        {"footnote, on", true, true, note, Qt::Key_N, QStringLiteral("n"), true},
        {"no ] next", true, false, text.indexOf(QStringLiteral("[x")) + 2, Qt::Key_I,
         QStringLiteral("i"), false},
        {"the end of the text", true, false, text.size() - 1, Qt::Key_I, QStringLiteral("i"), false},
        {"a shortcut", true, false, ref, Qt::Key_C, QStringLiteral("\x03"), false, Qt::ControlModifier},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ShownEditor editor([&c](platform::Defaults &d) {
            d.setBool(c.labels, QStringLiteral("autocompleteLabels"));
            d.setBool(c.footnotes, QStringLiteral("autocompleteFootnotes"));
        });
        editor.show(text);
        editor.select(c.at);
        editor.press(c.key, c.modifiers, c.typed);
        EXPECT_EQ(listShown(editor), c.opens);
    }
}

TEST(SmartTextViewKeys, CompletingALabelChoosesCancelsAndKeepsWhatWasTyped) {
    const QString refs = QStringLiteral("\n\n[intro]: http://a.org\n[index]: http://b.org\n");
    ShownEditor editor([](platform::Defaults &d) {
        d.setBool(true, QStringLiteral("autocompleteLabels"));
    });
    editor.show(QStringLiteral("See []") + refs);
    editor.select(5);
    editor.press(Qt::Key_I, Qt::NoModifier, QStringLiteral("i"));
    CompletionPopup *list = editor.view().completionPopup();
    ASSERT_TRUE(list && list->isVisible());
    EXPECT_EQ(list->count(), 2);
    // The first name stands in the label, its untyped part selected.
    const QString first = list->currentWord();
    EXPECT_TRUE(first.startsWith(QLatin1String("in")));
    EXPECT_EQ(editor.text(), QStringLiteral("See [") + first + QStringLiteral("]") + refs);
    EXPECT_EQ(editor.selection(), (CharRange{6, first.size() - 1}));
    // Down moves to the other name; Return puts it in, the caret after it.
    editor.press(Qt::Key_Down);
    const QString second = list->currentWord();
    EXPECT_NE(second, first);
    editor.press(Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(editor.text(), QStringLiteral("See [") + second + QStringLiteral("]") + refs);
    EXPECT_EQ(editor.selection(), (CharRange{5 + second.size(), 0}));

    // Escape brings back what the user typed.
    editor.storage().setInitialText(QStringLiteral("See []") + refs);
    editor.select(5);
    editor.press(Qt::Key_I, Qt::NoModifier, QStringLiteral("I"));
    ASSERT_TRUE(list->isVisible());
    editor.press(Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(editor.text(), QStringLiteral("See [I]") + refs);

    // Typing a name nothing matches closes nothing open and keeps the text.
    editor.select(6);
    editor.press(Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"));
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(editor.text(), QStringLiteral("See [Iz]") + refs);
    EXPECT_TRUE(editor.inStep());
}

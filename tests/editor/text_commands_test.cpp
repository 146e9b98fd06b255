// The text commands the editor performs by action name (as key bindings and
// menus send them): moving, deleting with the kill buffer and the mark,
// case and transposition, and the CriticMarkup steps; every edit through the
// storage, so one undo away.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "support/qt_wait.h"
#include "editor/smart_view_support.h"

using editortest::ShownEditor;

namespace {

void send(ShownEditor &editor, const char *action) {
    ASSERT_TRUE(platform::ActionRouter::sendAction(QString::fromLatin1(action), nullptr,
                                                   &editor.view()))
        << action;
}

}  // namespace

TEST(TextCommands, KillingYankingAndTheMark) {
    ShownEditor editor;
    editor.show(QStringLiteral("alpha beta\ngamma\n"));
    // Deleting to a paragraph's end keeps the text; at the end, the line end goes.
    editor.select(6);
    send(editor, "deleteToEndOfParagraph:");
    EXPECT_EQ(editor.text(), QStringLiteral("alpha \ngamma\n"));
    send(editor, "deleteToEndOfParagraph:");
    EXPECT_EQ(editor.text(), QStringLiteral("alpha gamma\n"));
    // Yank gives back the text killed last: the line end.
    editor.select(0);
    send(editor, "yankAndSelect:");
    EXPECT_EQ(editor.text(), QStringLiteral("\nalpha gamma\n"));
    EXPECT_EQ(editor.selection(), (CharRange{0, 1}));
    // The mark: select to it, delete to it (killed), swap with it.
    editor.storage().setInitialText(QStringLiteral("one two three"));
    editor.select(4);
    send(editor, "setMark:");
    editor.select(8);
    send(editor, "selectToMark:");
    EXPECT_EQ(editor.selection(), (CharRange{4, 4}));
    editor.select(8);
    send(editor, "swapWithMark:");
    EXPECT_EQ(editor.selection(), (CharRange{4, 0}));
    send(editor, "deleteToMark:");  // the mark is now at 8
    EXPECT_EQ(editor.text(), QStringLiteral("one three"));
    editor.select(9);
    send(editor, "yank:");
    EXPECT_EQ(editor.text(), QStringLiteral("one threetwo "));
    EXPECT_TRUE(editor.inStep());
}

TEST(TextCommands, MovingCaseAndTransposing) {
    ShownEditor editor;
    editor.show(QStringLiteral("hello wORLD café\nnext line\n"));
    // Left and right collapse a selection to its side first.
    editor.select(2, 3);
    send(editor, "moveRight:");
    EXPECT_EQ(editor.selection(), (CharRange{5, 0}));
    editor.select(2, 3);
    send(editor, "moveLeft:");
    EXPECT_EQ(editor.selection(), (CharRange{2, 0}));
    send(editor, "moveRightAndModifySelection:");
    EXPECT_EQ(editor.selection(), (CharRange{2, 1}));
    // Paragraph selection takes the line end; moving by paragraphs extends.
    send(editor, "selectParagraph:");
    EXPECT_EQ(editor.selection(), (CharRange{0, 17}));
    editor.select(3);
    send(editor, "moveParagraphForwardAndModifySelection:");
    EXPECT_EQ(editor.selection(), (CharRange{3, 13}));
    send(editor, "moveParagraphForwardAndModifySelection:");
    EXPECT_EQ(editor.selection(), (CharRange{3, 23}));
    // Case of the word at the caret, or of the selection.
    editor.select(8);
    send(editor, "capitalizeWord:");
    EXPECT_EQ(editor.text(), QStringLiteral("hello World café\nnext line\n"));
    editor.select(0, 16);
    send(editor, "uppercaseWord:");
    EXPECT_EQ(editor.text(), QStringLiteral("HELLO WORLD CAFÉ\nnext line\n"));
    EXPECT_EQ(editor.selection(), (CharRange{0, 16}));
    send(editor, "lowercaseWord:");
    EXPECT_EQ(editor.text(), QStringLiteral("hello world café\nnext line\n"));
    // Transposing around the caret, and at the end of the text.
    editor.select(1);
    send(editor, "transpose:");
    EXPECT_TRUE(editor.text().startsWith(QStringLiteral("ehllo")));
    editor.select(editor.storage().length());
    send(editor, "transpose:");
    EXPECT_TRUE(editor.text().endsWith(QStringLiteral("lin\ne")));
    // Each was one edit of the buffer.
    send(editor, "undo:");
    EXPECT_TRUE(editor.text().endsWith(QStringLiteral("line\n")));
    EXPECT_TRUE(editor.inStep());
}

TEST(TextCommands, CriticMarkupStepsAcceptAndReject) {
    ShownEditor editor;
    editor.show(QStringLiteral("A {++new++} word and {--old--} one, {~~this~>that~~}.\n"));
    editor.select(0);
    send(editor, "moveSelectionToNextCriticMarkup:");
    EXPECT_EQ(editor.selection(), (CharRange{2, 9}));
    send(editor, "moveSelectionToNextCriticMarkup:");
    EXPECT_EQ(editor.selection(), (CharRange{21, 9}));
    send(editor, "acceptCurrentCriticMarkup:");
    EXPECT_EQ(editor.text(), QStringLiteral("A {++new++} word and  one, {~~this~>that~~}.\n"));
    editor.select(editor.text().indexOf(QStringLiteral("this")));
    send(editor, "rejectCurrentCriticMarkup:");
    EXPECT_EQ(editor.text(), QStringLiteral("A {++new++} word and  one, this.\n"));
    editor.select(editor.storage().length());
    send(editor, "moveSelectionToPreviousCriticMarkup:");
    EXPECT_EQ(editor.selection(), (CharRange{2, 9}));
    EXPECT_TRUE(editor.inStep());
}

// Accepting or rejecting while changes are tracked would itself be tracked
// (and refused), so the commands say why nothing happens rather than
// silently doing nothing; tracking off, they work again.
TEST(TextCommands, AcceptAndRejectWhileTrackingSayWhyTheyChangeNothing) {
    ShownEditor editor;
    const QString text = QStringLiteral("A {++new++} word and {--old--} one.\n");
    editor.show(text);
    send(editor, "toggleChangeTracking:");
    ASSERT_TRUE(editor.storage().isTrackingChanges());
    platform::ScriptedAlerts alerts;
    for (const char *command : {"acceptCurrentCriticMarkup:", "rejectCurrentCriticMarkup:"}) {
        editor.select(4);
        send(editor, command);
    }
    ASSERT_TRUE(testing_qt::spinUntil([&] { return alerts.count() == 2; }));
    for (const platform::Alert &alert : alerts.shown())
        EXPECT_EQ(alert.informativeText, "You cannot modify CriticMarkup while change tracking is enabled.");
    EXPECT_EQ(editor.text(), text);
    // Away from any change there is nothing to accept, and nothing to say.
    editor.select(text.indexOf(QStringLiteral("one")));
    send(editor, "acceptCurrentCriticMarkup:");
    QCoreApplication::processEvents();
    send(editor, "toggleChangeTracking:");
    editor.select(4);
    send(editor, "acceptCurrentCriticMarkup:");
    EXPECT_EQ(editor.text(), QStringLiteral("A new word and {--old--} one.\n"));
    EXPECT_EQ(alerts.count(), 2);
}

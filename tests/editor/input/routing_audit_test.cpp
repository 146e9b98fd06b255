// Every way a person puts text into the editor reaches the text storage:
// typing, deleting, the clipboard (by key and by QTextEdit's own paste), the
// middle button's selection, drops from elsewhere, a drag within the view,
// input-method commits and compositions. After each, the buffer's text is
// the displayed text, and the storage never had to put the display back
// (it logs "unrouted edit" when something edited the display by itself).
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <memory>

#include "editor/smart_text_view.h"
#include "platform/text/pasteboard.h"
#include "editor/smart_view_support.h"
#include "support/log_capture.h"

using editortest::ShownEditor;


TEST(RoutingAudit, EveryInputPathEditsThroughTheStorage) {
    testing_qt::LogCapture log;
    ShownEditor editor;
    editor.show(QStringLiteral("Alpha beta gamma.\n\nSecond paragraph here.\n"));
    SmartTextStorage &storage = editor.storage();
    auto checkpoint = [&](const char *what) {
        SCOPED_TRACE(what);
        editor.settle();
        EXPECT_TRUE(editor.inStep()) << qPrintable(editor.text());
        EXPECT_EQ(log.count(QStringLiteral("unrouted")), 0);
        EXPECT_EQ(log.count(QStringLiteral("resynchronised")), 0);
    };

    // Typing, with a character outside the first plane and a Return.
    editor.select(5);
    editor.type(QStringLiteral(" Ünï 😀\nx"));
    EXPECT_TRUE(editor.text().startsWith(QStringLiteral("Alpha Ünï 😀\nx beta")));
    checkpoint("typing");

    // Deleting: Backspace takes the whole emoji, Delete and Ctrl+Backspace.
    editor.select(12);
    editor.press(Qt::Key_Backspace);
    EXPECT_TRUE(editor.text().startsWith(QStringLiteral("Alpha Ünï \nx beta")));
    editor.press(Qt::Key_Delete);
    editor.press(Qt::Key_Backspace, Qt::ControlModifier);
    checkpoint("deleting");

    // The clipboard: Ctrl+V, Ctrl+X, and QTextEdit's own paste slot.
    platform::Pasteboard::setString(QStringLiteral("pasted"));
    editor.select(0);
    editor.press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(editor.text().startsWith(QStringLiteral("pastedAlpha")));
    editor.select(0, 6);
    editor.press(Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(editor.text().startsWith(QStringLiteral("Alpha")));
    static_cast<QTextEdit &>(editor.view()).paste();
    EXPECT_TRUE(editor.text().startsWith(QStringLiteral("pastedAlpha")));
    checkpoint("clipboard");

    // The middle button pastes the selection buffer where it clicks.
    platform::Pasteboard::setSelectionString(QStringLiteral("[middle]"));
    const qsizetype second = editor.text().indexOf(QStringLiteral("Second"));
    editor.click(second, Qt::MiddleButton);
    EXPECT_TRUE(editor.text().contains(QStringLiteral("[middle]Second")));
    checkpoint("middle click");

    // Text dropped from elsewhere, at the drop point.
    const qsizetype here = editor.text().indexOf(QStringLiteral("here"));
    QMimeData dropped;
    dropped.setText(QStringLiteral("dropped "));
    editor.drop(here, dropped);
    EXPECT_TRUE(editor.text().contains(QStringLiteral("dropped here")));
    checkpoint("drop");

    // The selection dragged within the view: one move, one undo step.
    const QString beforeMove = editor.text();
    const qsizetype word = editor.text().indexOf(QStringLiteral("paragraph"));
    editor.select(word, 10);  // "paragraph "
    std::unique_ptr<QMimeData> dragged(editor.view().dragDataForSelection());
    editor.drop(0, *dragged, Qt::MoveAction);
    EXPECT_TRUE(editor.text().startsWith(QStringLiteral("paragraph pasted")));
    EXPECT_EQ(editor.text().count(QStringLiteral("paragraph")), 1);
    checkpoint("drag within the view");
    EXPECT_TRUE(storage.undo());
    EXPECT_EQ(editor.text(), beforeMove);
    checkpoint("undoing the move");

    // An input method: a composition over a selection, then its commit.
    const qsizetype beta = editor.text().indexOf(QStringLiteral("beta"));
    editor.select(beta, 4);
    QInputMethodEvent composing(QStringLiteral("ka"), {});
    QApplication::sendEvent(&editor.view(), &composing);
    EXPECT_FALSE(editor.text().contains(QStringLiteral("beta")));  // the selection went
    EXPECT_FALSE(editor.text().contains(QStringLiteral("ka")));     // the preedit is no text
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("か"));
    QApplication::sendEvent(&editor.view(), &commit);
    EXPECT_TRUE(editor.text().contains(QStringLiteral(" か gamma"))) << qPrintable(editor.text());
    checkpoint("input method");

    // A commit that replaces the two characters before the caret.
    editor.select(editor.text().indexOf(QStringLiteral("gamma")) + 5);
    QInputMethodEvent replace;
    replace.setCommitString(QStringLiteral("MA"), -2, 2);
    QApplication::sendEvent(&editor.view(), &replace);
    EXPECT_TRUE(editor.text().contains(QStringLiteral("gamMA.")));
    checkpoint("input method replacement");

    // Qt's own context menu is never shown (its items would edit).
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, editor.pointAt(0), editor.view().viewport()->mapToGlobal(editor.pointAt(0)));
    QApplication::sendEvent(editor.view().viewport(), &menu);
    checkpoint("context menu");
}

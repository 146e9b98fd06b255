// The find bar: finding forwards and backwards with wrap-around, case,
// replacing one match and all of them as one undoable edit of the text, and
// the keys of its fields.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <gtest/gtest.h>

#include "editor/view/find_bar.h"
#include "platform/runtime/action_router.h"
#include "editor/smart_view_support.h"
#include "support/qt_print.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view_test_support.h"
#include "support/qt_wait.h"

using editortest::ShownView;

TEST(FindBar, FindsForwardAndBackwardAroundTheText) {
    ShownView shown;
    shown.show(QStringLiteral("One fish, two Fish, red fish, blue FISH."));
    KVXTextView &view = shown.view();
    QKeyEvent find(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier);
    QApplication::sendEvent(&view, &find);
    FindBar *bar = view.findBar();
    EXPECT_TRUE(bar->isVisible());
    // The bar sits above the text, which moves down for it.
    EXPECT_EQ(view.viewport()->geometry().top() - view.contentsRect().top(), bar->height());

    bar->setFindString(QStringLiteral("fish"));
    EXPECT_EQ(bar->status(), QStringLiteral("4 matches"));
    view.setSelectedRange({0, 0});
    QList<qsizetype> found;
    for (int i = 0; i < 5; i++) {
        EXPECT_TRUE(bar->findNext());
        found.append(view.selectedRange().location);
    }
    EXPECT_EQ(found, (QList<qsizetype>{4, 14, 24, 35, 4}));
    EXPECT_EQ(view.selectedRange().length, 4);
    EXPECT_TRUE(bar->findPrevious());
    EXPECT_EQ(view.selectedRange().location, 35);
    EXPECT_TRUE(bar->findPrevious());
    EXPECT_EQ(view.selectedRange().location, 24);

    bar->setIgnoresCase(false);
    EXPECT_EQ(bar->status(), QStringLiteral("2 matches"));
    view.setSelectedRange({30, 0});
    EXPECT_TRUE(bar->findNext());
    EXPECT_EQ(view.selectedRange().location, 4);

    bar->setFindString(QStringLiteral("whale"));
    EXPECT_FALSE(bar->findNext());
    EXPECT_EQ(bar->status(), QStringLiteral("Not found"));
    EXPECT_EQ(view.selectedRange().location, 4);

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(bar, &escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(view.viewport()->geometry().top(), view.contentsRect().top());
}

TEST(FindBar, ReplacesOneMatchOrAllOfThemAsOneEdit) {
    ShownView shown;
    const QString text = QString::fromUtf8("Zoë met Zoë; then zoë left (Zoë stayed).");
    shown.show(text);
    KVXTextView &view = shown.view();
    SmartTextStorage &storage = shown.storage();
    FindBar *bar = view.findBar();
    bar->setFindString(QString::fromUtf8("zoë"));
    bar->setReplaceString(QStringLiteral("Ann (a friend)"));

    // No match selected: nothing replaced.
    view.setSelectedRange({0, 2});
    EXPECT_FALSE(bar->replace());
    view.setSelectedRange({8, 3});
    EXPECT_TRUE(bar->replace());
    EXPECT_EQ(storage.string(), QString::fromUtf8("Zoë met Ann (a friend); then zoë left (Zoë stayed)."));
    // On to the next match.
    EXPECT_EQ(view.textOfRange(view.selectedRange()), QString::fromUtf8("zoë"));

    // All the rest: one edit, taken back by one undo. The replacement's
    // own brackets are not paired or expanded.
    EXPECT_EQ(bar->replaceAll(), 3);
    EXPECT_EQ(storage.string(),
              QStringLiteral("Ann (a friend) met Ann (a friend); then Ann (a friend) left "
                             "(Ann (a friend) stayed)."));
    EXPECT_EQ(bar->status(), QStringLiteral("Not found"));
    EXPECT_TRUE(storage.undo());
    EXPECT_EQ(storage.string(), QString::fromUtf8("Zoë met Ann (a friend); then zoë left (Zoë stayed)."));
    EXPECT_TRUE(storage.undo());
    EXPECT_EQ(storage.string(), text);
    EXPECT_TRUE(storage.redo());
    EXPECT_TRUE(storage.redo());
    EXPECT_FALSE(storage.string().contains(QString::fromUtf8("Zoë")));

    bar->setFindString(QStringLiteral("nothing here"));
    EXPECT_EQ(bar->replaceAll(), 0);
}

namespace {

// A key pressed and released in `widget`, as the window system delivers it:
// through the application, so that a key the widget leaves goes on to its
// parents.
void pressIn(QWidget *widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             const QString &text = QString()) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(widget, &up);
}

void typeIn(QWidget *widget, const QString &text) {
    for (const QChar c : text)
        pressIn(widget, c.toUpper().unicode(), c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier, QString(c));
}

QLineEdit *fieldOf(FindBar *bar, const QString &placeholder) {
    for (QLineEdit *field : bar->findChildren<QLineEdit *>())
        if (field->placeholderText() == placeholder)
            return field;
    return nullptr;
}

}  // namespace

// Return in the fields moves between matches and replaces; no key pressed in
// them reaches the text, whatever the field leaves unhandled.
TEST(FindBar, KeysInItsFieldsNeverEditTheText) {
    editortest::ShownEditor shown;
    const QString text = QStringLiteral("first line\nsecond line\nthird line\n");
    shown.show(text);
    SmartTextView &view = shown.view();
    shown.press(Qt::Key_F, Qt::ControlModifier);
    FindBar *bar = view.findBar();
    ASSERT_TRUE(bar->isVisible());
    QLineEdit *find = fieldOf(bar, QStringLiteral("Find"));
    QLineEdit *replace = fieldOf(bar, QStringLiteral("Replace with"));
    ASSERT_TRUE(find && replace);
    EXPECT_EQ(QApplication::focusWidget(), find);

    // Found as typed: the first match.
    typeIn(find, QStringLiteral("line"));
    EXPECT_EQ(find->text(), QStringLiteral("line"));
    EXPECT_EQ(view.selectedRange(), (CharRange{6, 4}));
    EXPECT_EQ(shown.text(), text);

    // Return and Enter go on to the next match, round the end.
    pressIn(find, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_EQ(view.selectedRange(), (CharRange{18, 4}));
    pressIn(find, Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r"));
    EXPECT_EQ(view.selectedRange(), (CharRange{29, 4}));
    pressIn(find, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_EQ(view.selectedRange(), (CharRange{6, 4}));
    // Shift+Return goes back.
    pressIn(find, Qt::Key_Return, Qt::ShiftModifier, QStringLiteral("\r"));
    EXPECT_EQ(view.selectedRange(), (CharRange{29, 4}));
    pressIn(find, Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier, QStringLiteral("\r"));
    EXPECT_EQ(view.selectedRange(), (CharRange{18, 4}));
    EXPECT_EQ(shown.text(), text);
    EXPECT_TRUE(shown.inStep());

    // Keys the field has no use for stay in the bar: the caret does not
    // move and nothing is typed.
    for (int key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_F5}) {
        pressIn(find, key);
        pressIn(replace, key);
    }
    pressIn(find, Qt::Key_Return, Qt::ControlModifier, QStringLiteral("\r"));
    pressIn(find, Qt::Key_Return, Qt::AltModifier, QStringLiteral("\r"));
    pressIn(find, Qt::Key_Tab, Qt::ControlModifier, QStringLiteral("\t"));
    EXPECT_EQ(shown.text(), text);
    EXPECT_EQ(view.selectedRange().length, 4);
    EXPECT_EQ(view.textOfRange(view.selectedRange()), QStringLiteral("line"));

    // In the replace field Return replaces the selected match and goes on to
    // the next; with no match selected it replaces nothing.
    typeIn(replace, QStringLiteral("row"));
    EXPECT_EQ(replace->text(), QStringLiteral("row"));
    EXPECT_EQ(shown.text(), text);
    shown.select(18, 4);
    pressIn(replace, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_EQ(shown.text(), QStringLiteral("first line\nsecond row\nthird line\n"));
    EXPECT_EQ(view.selectedRange(), (CharRange{28, 4}));
    shown.select(0, 5);
    pressIn(replace, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    pressIn(replace, Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r"));
    EXPECT_EQ(shown.text(), QStringLiteral("first line\nsecond row\nthird line\n"));
    EXPECT_EQ(view.selectedRange(), (CharRange{0, 5}));
    shown.select(28, 4);
    pressIn(replace, Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r"));
    EXPECT_EQ(shown.text(), QStringLiteral("first line\nsecond row\nthird row\n"));
    EXPECT_TRUE(shown.inStep());

    // Escape closes the bar and gives the text its focus back.
    pressIn(find, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(shown.text(), QStringLiteral("first line\nsecond row\nthird row\n"));
}

// A menu's shortcut pressed while a field has the focus sends its action
// past the editor: it edits the text only from the editor itself.
TEST(FindBar, ActionsSentFromItsFieldsPassTheEditorBy) {
    editortest::ShownEditor shown;
    const QString text = QStringLiteral("first line\nsecond line\n");
    shown.show(text);
    SmartTextView &view = shown.view();
    QWidget holder;
    view.setParent(&holder);
    holder.show();
    view.findBar()->showBar();
    QLineEdit *find = fieldOf(view.findBar(), QStringLiteral("Find"));
    QLineEdit *replace = fieldOf(view.findBar(), QStringLiteral("Replace with"));
    ASSERT_TRUE(find && replace);

    for (QWidget *field : {static_cast<QWidget *>(find), static_cast<QWidget *>(replace)}) {
        EXPECT_NE(platform::ActionRouter::targetForAction(QStringLiteral("shiftRight:"), field),
                  static_cast<platform::Responder *>(&view));
        platform::ActionRouter::sendAction(QStringLiteral("shiftRight:"), nullptr, field);
        EXPECT_EQ(shown.text(), text);
    }
    // From the editor the same action indents its line.
    EXPECT_TRUE(platform::ActionRouter::sendAction(QStringLiteral("shiftRight:"), nullptr, &view));
    EXPECT_NE(shown.text(), text);
    view.setParent(nullptr);
}

// A match far down a tall document, whose blocks not shown yet have the
// heights their lengths give and are not styled yet either, shows in the
// view once the blocks around it have their real heights and styles,
// forwards and backwards.
TEST(FindBar, AMatchFarOffShowsInTheViewOnceTheBlocksAroundItAreLaidOutAndStyled) {
    ShownView shown;
    QString text;
    for (int i = 0; i < 30000; i++)
        text += QStringLiteral("# Heading %1\n\n").arg(i);
    shown.storage().setInitialText(text);
    KVXTextView &view = shown.view();
    view.resize(600, 400);
    view.show();
    QCoreApplication::processEvents();
    ASSERT_FALSE(shown.storage().documentLayout()->isExact());
    ASSERT_TRUE(shown.storage().isStylingAhead());
    FindBar *bar = view.findBar();
    bar->showBar();
    for (const char *needle : {"Heading 27000", "Heading 15000", "Heading 28500"}) {
        SCOPED_TRACE(needle);
        bar->setFindString(QString::fromLatin1(needle));
        ASSERT_TRUE(QByteArray(needle) == "Heading 15000" ? bar->findPrevious() : bar->findNext());
        EXPECT_EQ(view.textOfRange(view.selectedRange()), QString::fromLatin1(needle));
        testing_qt::spinFor(std::chrono::milliseconds(300));
        // The match's line shows (its middle: a pixel's rounding may leave
        // its last row out).
        const QRect caret = view.cursorRect();
        EXPECT_TRUE(view.viewport()->rect().contains(caret.center()))
            << "match's line at " << caret.top() << ".." << caret.bottom() << ", view 0.."
            << view.viewport()->height() - 1;
    }
}


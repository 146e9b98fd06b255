// The find bar: finding forwards and backwards with wrap-around, case,
// replacing one match and all of them as one undoable edit of the text.
#include <QApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include "editor/find_bar.h"
#include "view_test_support.h"

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

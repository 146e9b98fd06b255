// Disclosure views: the title strip over the content, and showing and hiding
// the content, on the offscreen platform.
#include "window/panes/disclosure_view.h"

#include "window/widget_test_support.h"

#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace window_test;

TEST(DisclosureView, TitleStripSitsOnTopAndTheContentFillsTheRest) {
    for (auto look : {DisclosureView::Look::Window, DisclosureView::Look::FloatingPanel}) {
        QWidget *content = pane("content");
        DisclosureView view("Statistics", content, look);
        showAt(view, QSize(240, 180));
        EXPECT_EQ(view.extensions(), 0xA8u);
        EXPECT_EQ(view.titleView()->geometry(), QRect(0, 0, 240, 20));
        EXPECT_EQ(content->geometry(), QRect(0, 20, 240, 160));

        // The label (and the panel's button) are in the strip, within it.
        QLabel *label = view.titleLabel();
        EXPECT_EQ(label->text(), "Statistics");
        EXPECT_EQ(label->parentWidget(), view.titleView());
        EXPECT_TRUE(view.titleView()->rect().contains(label->geometry()));
        if (look == DisclosureView::Look::FloatingPanel) {
            QToolButton *button = view.disclosureButton();
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->parentWidget(), view.titleView());
            EXPECT_TRUE(view.titleView()->rect().contains(button->geometry()));
            EXPECT_LT(button->geometry().right(), label->geometry().left());
        }
    }
}

TEST(DisclosureView, ThePanelButtonHidesAndShowsTheContent) {
    LogCapture log;
    QWidget *content = pane("content");
    DisclosureView view("Outline", content, DisclosureView::Look::FloatingPanel);
    showAt(view, QSize(240, 180));
    QToolButton *button = view.disclosureButton();
    button->click();
    EXPECT_FALSE(button->isChecked());
    EXPECT_TRUE(content->isHidden());
    EXPECT_TRUE(log.texts().last().startsWith("toggle QToolButton"));
    button->click();
    EXPECT_FALSE(content->isHidden());
    EXPECT_TRUE(button->isChecked());
}

// Toggled any number of times, the content comes back at its full height:
// in a column that sizes the view by its wish, the view closes down to its
// strip and opens up again.
TEST(DisclosureView, ToggledContentComesBackAtItsHeight) {
    QWidget window;
    auto *column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    QWidget *content = pane("content");
    content->setMinimumHeight(100);
    auto *view = new DisclosureView("Notes", content, DisclosureView::Look::FloatingPanel);
    column->addWidget(view);
    column->addStretch(1);
    showAt(window, QSize(240, 400));
    const int openHeight = view->height();
    ASSERT_GE(openHeight, 120);

    for (int round = 0; round < 3; round++) {
        view->toggleDisclosureView();
        ASSERT_TRUE(waitUntil([&] { return view->height() == 20; })) << view->height();
        EXPECT_TRUE(content->isHidden());
        EXPECT_FALSE(view->disclosureButton()->isChecked());
        view->toggleDisclosureView();
        ASSERT_TRUE(waitUntil([&] { return view->height() == openHeight; })) << view->height();
        EXPECT_FALSE(content->isHidden());
        EXPECT_EQ(content->height(), openHeight - 20);
    }
}

// Nested panes as widgets: the forms, exchanging sides, collapsing and
// opening with and without animation, and dragging, on the offscreen platform.
#include "window/panes/matryoshka_view.h"

#include "window/widget_test_support.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace window_test;
using Panes = MatryoshkaView::Panes;

namespace {

// Every value a view publishes for one of its targets.
template <typename Signal>
std::shared_ptr<std::vector<double>> published(MatryoshkaView &view, Signal signal) {
    auto values = std::make_shared<std::vector<double>>();
    QObject::connect(&view, signal, [values](double value) { values->push_back(value); });
    return values;
}

QList<QWidget *> childWidgets(const QWidget &view) {
    return view.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
}

// A preview beside an editor at the editor's share of 0.3, with a divider,
// shown 1000 by 600 (a 1-pixel divider on the offscreen screen).
struct RatioPanes {
    QWidget *editor = pane("editor");
    QWidget *preview = pane("preview");
    MatryoshkaView view{Panes::LeftWithToggleByRatio, editor, preview, 0.3, true};
    RatioPanes() { showAt(view, QSize(1000, 600)); }
};

// A sidebar 200 wide on the left of a document.
struct SidebarPanes {
    QWidget *document = pane("document");
    QWidget *sidebar = pane("sidebar");
    MatryoshkaView view{Panes::RightWithToggleByWidth, document, sidebar, 200, true};
    SidebarPanes() { showAt(view, QSize(1000, 600)); }
};

}  // namespace

TEST(MatryoshkaView, EachFormSetsItsBitsChildrenAndStartingState) {
    const struct {
        Panes form;
        bool resizable;
        quint64 bits;
        bool permanentFirst;   // the left (or bottom) child
    } forms[] = {
        {Panes::LeftBesideRightByRatio, false, 0x41, true},
        {Panes::LeftWithToggleByRatio, true, 0xD1, true},
        {Panes::RightWithToggleByRatio, true, 0xD2, false},
        {Panes::BottomUnderTopByRatio, false, 0x48, true},
        {Panes::RightWithToggleByWidth, true, 0xB2, false},
        {Panes::LeftWithToggleByWidth, false, 0xA1, true},
        {Panes::TopWithToggleByHeight, false, 0xA4, false},
        {Panes::BottomWithToggleByHeight, true, 0xB8, true},
    };
    for (const auto &f : forms) {
        SCOPED_TRACE(f.bits);
        QWidget *permanent = pane("permanent"), *other = pane("other");
        MatryoshkaView view(f.form, permanent, other, 0.4, f.resizable);
        EXPECT_EQ(view.extensions(), f.bits);
        const QList<QWidget *> children = childWidgets(view);
        ASSERT_EQ(children.size(), f.resizable ? 3 : 2);
        EXPECT_EQ(children[0], f.permanentFirst ? permanent : other);
        EXPECT_EQ(children[1], f.permanentFirst ? other : permanent);
        EXPECT_EQ(view.dividerView() != nullptr, f.resizable);
        EXPECT_EQ(view.toggleView(), (f.bits & 0x80) ? other : nullptr);
        const bool fixed = f.bits & 0x20;
        EXPECT_EQ(fixed ? view.fixedTarget() : view.ratioTarget(), 0.4);
        EXPECT_EQ(fixed ? view.currentSize() : view.currentRatio(), 0.4);
    }

    // The single-view forms.
    QWidget *inner = pane("inner"), *button = pane("button");
    button->setFixedSize(40, 20);
    std::unique_ptr<MatryoshkaView> inset(MatryoshkaView::inset(inner, QMarginsF(10, 5, 20, 15)));
    std::unique_ptr<MatryoshkaView> centred(MatryoshkaView::centred(button));
    showAt(*inset, QSize(300, 200));
    showAt(*centred, QSize(300, 200));
    EXPECT_EQ(inner->geometry(), QRect(10, 5, 270, 180));
    EXPECT_EQ(button->geometry(), QRect(130, 90, 40, 20));

    // Without a divider, stacked panes keep the spacer between them.
    QWidget *list = pane("list"), *search = pane("search");
    MatryoshkaView stacked(Panes::TopWithToggleByHeight, list, search, 22, false, 10);
    showAt(stacked, QSize(200, 300));
    EXPECT_EQ(list->geometry(), QRect(0, 0, 200, 268));
    EXPECT_EQ(search->geometry(), QRect(0, 278, 200, 22));
}

TEST(MatryoshkaView, SwappingExchangesSidesAndEachPaneKeepsItsSize) {
    RatioPanes panes;
    const QRect editorBefore = panes.editor->geometry(), previewBefore = panes.preview->geometry();
    panes.view.swapViews();
    EXPECT_EQ(panes.view.extensions(), 0xD2u);
    EXPECT_EQ(panes.editor->geometry(), QRect(700, 0, 300, 600));
    EXPECT_EQ(panes.preview->geometry(), QRect(0, 0, 699, 600));
    panes.view.swapViews();
    EXPECT_EQ(panes.editor->geometry(), editorBefore);
    EXPECT_EQ(panes.preview->geometry(), previewBefore);

    // Swapped while collapsed, the pane reopens at its share on its new side.
    panes.view.toggleViewWithAnimation(false);
    panes.view.swapViews();
    EXPECT_EQ(panes.editor->geometry(), QRect(0, 0, 1000, 600));
    panes.view.toggleViewWithAnimation(false);
    EXPECT_EQ(panes.editor->geometry(), QRect(700, 0, 300, 600));
    EXPECT_FALSE(panes.preview->isHidden());
}

TEST(MatryoshkaView, ASecondBackgroundViewReplacesTheFirst) {
    RatioPanes panes;
    QPointer<QWidget> first = new QWidget, second = new QWidget;
    panes.view.addBackgroundView(first);
    panes.view.addBackgroundView(second);
    const QList<QWidget *> children = childWidgets(panes.view);
    EXPECT_EQ(children.count(first.data()), 0);
    EXPECT_EQ(children[0], second.data());
    EXPECT_EQ(second->geometry(), panes.view.rect());
    waitUntil([&] { return first.isNull(); });
    EXPECT_TRUE(first.isNull());
}

TEST(MatryoshkaView, CollapsingWithoutAnimationHidesAtOnceAndKeepsTheTargets) {
    RatioPanes panes;
    const auto targets = published(panes.view, &MatryoshkaView::ratioTargetChanged);
    panes.view.toggleViewWithAnimation(false);
    EXPECT_TRUE(panes.preview->isHidden());
    EXPECT_TRUE(panes.view.dividerView()->isHidden());
    EXPECT_EQ(panes.editor->width(), 1000);
    EXPECT_FALSE(panes.view.trackingBand());
    panes.view.toggleViewWithAnimation(false);
    EXPECT_FALSE(panes.preview->isHidden());
    EXPECT_FALSE(panes.view.dividerView()->isHidden());
    EXPECT_EQ(panes.editor->width(), 300);
    EXPECT_TRUE(targets->empty());

    SidebarPanes sidebar;
    sidebar.view.toggleViewWithAnimation(false);
    EXPECT_TRUE(sidebar.sidebar->isHidden());
    EXPECT_EQ(sidebar.document->geometry(), QRect(0, 0, 1000, 600));
    sidebar.view.toggleViewWithAnimation(false);
    EXPECT_FALSE(sidebar.sidebar->isHidden());
    EXPECT_EQ(sidebar.sidebar->width(), 200);
    EXPECT_EQ(sidebar.view.fixedTarget(), 200);
}

TEST(MatryoshkaView, AnimatedChangesHideAtTheEndShowAtTheStartAndIgnoreTogglesMeanwhile) {
    RatioPanes panes;
    panes.view.toggleViewWithAnimation(true);
    EXPECT_TRUE(panes.view.isAdjusting());
    EXPECT_FALSE(panes.preview->isHidden());
    panes.view.toggleViewWithAnimation(true);   // ignored: still collapsing
    ASSERT_TRUE(waitUntil([&] { return !panes.view.isAdjusting(); }));
    EXPECT_TRUE(panes.preview->isHidden());
    EXPECT_EQ(panes.editor->width(), 1000);

    panes.view.toggleViewWithAnimation(true);
    EXPECT_FALSE(panes.preview->isHidden());
    EXPECT_GT(panes.editor->width(), 300);
    ASSERT_TRUE(waitUntil([&] { return !panes.view.isAdjusting(); }));
    EXPECT_EQ(panes.editor->width(), 300);

    SidebarPanes sidebar;
    sidebar.view.toggleViewWithAnimation(true);
    EXPECT_FALSE(sidebar.sidebar->isHidden());
    ASSERT_TRUE(waitUntil([&] { return !sidebar.view.isAdjusting(); }));
    EXPECT_TRUE(sidebar.sidebar->isHidden());
    sidebar.view.toggleViewWithAnimation(true);
    EXPECT_FALSE(sidebar.sidebar->isHidden());
    EXPECT_LT(sidebar.sidebar->width(), 200);
    ASSERT_TRUE(waitUntil([&] { return !sidebar.view.isAdjusting(); }));
    EXPECT_EQ(sidebar.sidebar->width(), 200);
}

// A toggle view that keeps its open size (a page laid out anew at each
// size): it slides out and in at that size, its edge by the divider and the
// rest cut off at the view's edge, and collapsed it takes only the size it
// will reopen at, also after the view was resized. On either side.
TEST(MatryoshkaView, AToggleViewThatKeepsItsOpenSizeSlidesAndTakesNoOtherSize) {
    for (bool swapped : {false, true}) {
        SCOPED_TRACE(swapped ? "on the left" : "on the right");
        RatioPanes panes;
        panes.view.setToggleViewKeepsOpenSize(true);
        if (swapped)
            panes.view.swapViews();
        QList<QSize> sizes{panes.preview->size()};
        bool edgeByEditor = true;  // while it moves, its edge stays by the editor's
        auto watch = [&] {
            if (sizes.last() != panes.preview->size())
                sizes << panes.preview->size();
            if (panes.view.isAdjusting() && !panes.preview->isHidden()) {
                const QRect editor = panes.editor->geometry(), preview = panes.preview->geometry();
                edgeByEditor = edgeByEditor && (swapped ? preview.right() < editor.left() && preview.right() >= editor.left() - 2
                                                        : preview.left() > editor.right() && preview.left() <= editor.right() + 2);
            }
            return !panes.view.isAdjusting();
        };
        panes.view.toggleViewWithAnimation(true);
        ASSERT_TRUE(waitUntil(watch));
        EXPECT_TRUE(panes.preview->isHidden());
        EXPECT_EQ(panes.editor->width(), 1000);
        panes.view.toggleViewWithAnimation(true);
        ASSERT_TRUE(waitUntil(watch));
        EXPECT_EQ(sizes, QList<QSize>{QSize(699, 600)});
        EXPECT_TRUE(edgeByEditor);

        // Collapsed while the view grows: it takes the size it reopens at.
        panes.view.toggleViewWithAnimation(false);
        panes.view.resize(1200, 500);
        EXPECT_EQ(panes.preview->size(), QSize(839, 500));
        panes.view.toggleViewWithAnimation(true);
        ASSERT_TRUE(waitUntil(watch));
        EXPECT_EQ(sizes, (QList<QSize>{QSize(699, 600), QSize(839, 500)}));
        EXPECT_EQ(panes.preview->geometry(), swapped ? QRect(0, 0, 839, 500) : QRect(361, 0, 839, 500));
        EXPECT_TRUE(edgeByEditor);
    }
}

TEST(MatryoshkaView, ADragStoppedAtALimitLeavesTheTargetSoTheToggleReopens) {
    RatioPanes panes;
    const auto targets = published(panes.view, &MatryoshkaView::ratioTargetChanged);
    panes.view.setDividerTo(QPointF(20, 100));   // 2 % of the width
    EXPECT_EQ(panes.view.currentRatio(), static_cast<double>(0.05f));
    EXPECT_EQ(panes.view.ratioTarget(), 0.3);
    EXPECT_EQ(panes.editor->width(), 50);
    panes.view.toggleViewWithAnimation(false);   // opens at the target, does not collapse
    EXPECT_EQ(panes.view.currentRatio(), 0.3);
    EXPECT_FALSE(panes.preview->isHidden());

    panes.view.setDividerTo(QPointF(600, 100));
    EXPECT_EQ(panes.view.ratioTarget(), 0.6);
    EXPECT_EQ(*targets, std::vector<double>{0.6});
    panes.view.toggleViewWithAnimation(false);   // at its target: collapses
    EXPECT_TRUE(panes.preview->isHidden());

    SidebarPanes sidebar;
    const auto sizes = published(sidebar.view, &MatryoshkaView::fixedTargetChanged);
    sidebar.view.setDividerTo(QPointF(4, 10));
    EXPECT_EQ(sidebar.sidebar->width(), 10);
    sidebar.view.setDividerTo(QPointF(1300, 10));
    EXPECT_EQ(sidebar.sidebar->width(), 990);
    EXPECT_TRUE(sizes->empty());
    sidebar.view.setDividerOffset(250);
    EXPECT_EQ(sidebar.view.fixedTarget(), 250);
    EXPECT_EQ(*sizes, std::vector<double>{250});
}

TEST(MatryoshkaView, DraggingTheDividerOrTheBandMovesItWithTheResizeCursor) {
    RatioPanes panes;
    DividerView *divider = panes.view.dividerView();
    const QPointF onDivider = divider->rect().center();
    EXPECT_TRUE(sendMouse(divider, QEvent::MouseButtonPress, onDivider));
    sendMouse(divider, QEvent::MouseMove, onDivider + QPointF(200, 0));
    sendMouse(divider, QEvent::MouseButtonRelease, onDivider + QPointF(200, 0));
    EXPECT_EQ(panes.editor->width(), 500);
    EXPECT_EQ(panes.view.ratioTarget(), 0.5);

    // Presses that the panes let through reach the band beside the divider.
    EXPECT_TRUE(sendMouse(panes.preview, QEvent::MouseButtonPress, QPointF(5, 300)));
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::SplitHCursor);
    sendMouse(&panes.view, QEvent::MouseMove, QPointF(400, 300));
    sendMouse(&panes.view, QEvent::MouseButtonRelease, QPointF(400, 300));
    EXPECT_EQ(panes.editor->width(), 400);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Hidden in mid-drag, the view gives the cursor back.
    EXPECT_TRUE(sendMouse(&panes.view, QEvent::MouseButtonPress, QPointF(402, 300)));
    panes.view.hide();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    panes.view.show();

    // Collapsed, the pane has no band: presses there pass on.
    panes.view.setDividerTo(QPointF(300, 0));
    panes.view.toggleViewWithAnimation(false);
    EXPECT_FALSE(sendMouse(&panes.view, QEvent::MouseButtonPress, QPointF(300, 300)));
    sendMouse(&panes.view, QEvent::MouseMove, QPointF(600, 300));
    EXPECT_EQ(panes.view.currentRatio(), 1.0);
}

TEST(MatryoshkaView, SizeChangesOfTheWrongKindAreRefused) {
    LogCapture log;
    RatioPanes panes;
    panes.view.adjustFixedDimension(120, false);
    EXPECT_TRUE(log.texts().contains("Error: Attempted to toggle view without a fixed dimension"));
    EXPECT_EQ(panes.editor->width(), 300);
    SidebarPanes sidebar;
    sidebar.view.adjustRatio(0.5, false);
    EXPECT_EQ(sidebar.sidebar->width(), 200);
}

// A plain pair that gives all its width to the other pane hides the
// permanent view and the divider, and shows them when it gets a share back.
TEST(MatryoshkaView, NoShareHidesThePermanentViewUntilItGetsOneBack) {
    QWidget *left = pane("left"), *right = pane("right");
    MatryoshkaView plain(Panes::LeftBesideRightByRatio, left, right, 0.5, true);
    plain.adjustRatio(0.0, false);
    EXPECT_TRUE(left->isHidden());
    EXPECT_TRUE(plain.dividerView()->isHidden());
    EXPECT_FALSE(right->isHidden());
    plain.adjustRatio(0.5, false);
    EXPECT_FALSE(left->isHidden());
    EXPECT_FALSE(plain.dividerView()->isHidden());
}

// The document window's arrangement in small: a sidebar beside a pane that
// holds an editor and its preview. The outer view sizes the inner one, which
// places its own panes; the picture shows the panes, the grey divider and no
// trace of the collapsed sidebar.
TEST(MatryoshkaView, NestedViewsLayOutAndDrawTogether) {
    QWidget *editor = pane("editor", QColor(250, 250, 250));
    QWidget *preview = pane("preview", QColor(200, 220, 255));
    QWidget *sidebar = pane("sidebar", QColor(230, 230, 200));
    auto *inner = new MatryoshkaView(Panes::LeftWithToggleByRatio, editor, preview, 0.5, true);
    MatryoshkaView outer(Panes::RightWithToggleByWidth, inner, sidebar, 200, true);
    showAt(outer, QSize(801, 400));
    EXPECT_EQ(inner->geometry(), QRect(201, 0, 600, 400));
    EXPECT_EQ(preview->geometry(), QRect(301, 0, 299, 400));

    outer.toggleViewWithAnimation(false);
    EXPECT_EQ(inner->geometry(), QRect(0, 0, 801, 400));
    EXPECT_EQ(editor->width(), 401);   // half of 801, rounded

    const QImage picture = outer.grab().toImage();
    EXPECT_EQ(picture.pixelColor(0, 200), QColor(250, 250, 250));
    EXPECT_EQ(picture.pixelColor(400, 200), QColor(250, 250, 250));
    EXPECT_EQ(picture.pixelColor(401, 200), QColor(128, 128, 128));
    EXPECT_EQ(picture.pixelColor(402, 200), QColor(200, 220, 255));
    EXPECT_EQ(picture.pixelColor(800, 200), QColor(200, 220, 255));
}

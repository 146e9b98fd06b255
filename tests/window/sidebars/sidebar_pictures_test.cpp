// Each sidebar over the sample document as a person sees it, in the plain
// look on the light grey the window gives sidebars: grabbed offscreen, kept
// in the build folder (test-artifacts/sidebar-*.png), and checked for what
// must be there: rows in their places, the selection in blue, the search
// field and the buttons below the list.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "window/sidebar_test_support.h"
#include "window/panes/kvx_hud_panel.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/tzr_critic_view.h"
#include "window/sidebars/tzr_reference_view.h"
#include "window/sidebars/tzr_toc_view.h"
#include "window/sidebars/smart_text_info_view.h"

using namespace sidebartest;

namespace {

const QColor kSidebarGrey(237, 237, 237), kBlue(56, 117, 215);

bool isBlue(QRgb p) { return qAbs(qRed(p) - 56) < 6 && qAbs(qGreen(p) - 117) < 6 && qAbs(qBlue(p) - 215) < 6; }
bool isDark(QRgb p) { return qGray(p) < 110; }

// How many pixels of `area` are ink of a kind.
int count(const QImage &image, QRect area, bool (*ink)(QRgb)) {
    int n = 0;
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); y++)
        for (int x = area.left(); x <= area.right(); x++)
            n += ink(image.pixel(x, y));
    return n;
}

QRect in(QWidget *child, QWidget *top) { return QRect(child->mapTo(top, QPoint(0, 0)), child->size()); }

}  // namespace

class SidebarPictures : public DocumentTest {
protected:
    void SetUp() override {
        DocumentTest::SetUp();
        defaults.setInteger(2, "appearanceTheme");
        defaults.setBool(true, "EXT_CRITIC");
        window->setAutoFillBackground(true);
        QPalette palette = window->palette();
        palette.setColor(QPalette::Window, kSidebarGrey);
        window->setPalette(palette);
    }
    template <typename Sidebar>
    Sidebar *open(Sidebar *sidebar) {
        place(sidebar);
        sidebar->coalescer().setResumeDelay(std::chrono::milliseconds(20));
        show(QSize(760, 420));
        start(sampleDocument());
        sidebar->observeEngine(bridge.get());
        sidebar->connectToTextView(editor);
        EXPECT_TRUE(settleAll());
        return sidebar;
    }
    QImage picture(const QString &name) {
        testing_qt::spinFor(std::chrono::milliseconds(20));
        QImage image = grab(window.get());
        image.save(artifactPath(name));
        return image;
    }
};

TEST_F(SidebarPictures, TableOfContents) {
    auto *toc = open(new TZRTOCView);
    toc->expandAll();
    editor->setSelectedRange({storage->string().indexOf("We count"), 0});
    toc->tableView()->setFocus();
    const QImage image = picture("sidebar-toc.png");
    KVXOutlineView *list = toc->tableView();
    const QRect method = list->visualRect(toc->treeModel()->indexForPath({0, 1})).translated(in(list->viewport(), window.get()).topLeft());
    EXPECT_GT(count(image, method, isBlue), method.width() * method.height() / 2);
    const QRect results = list->visualRect(toc->treeModel()->indexForPath({1})).translated(in(list->viewport(), window.get()).topLeft());
    EXPECT_GT(count(image, results, isDark), 20);
    EXPECT_GT(in(toc->searchField(), window.get()).top(), results.bottom());
}

TEST_F(SidebarPictures, References) {
    auto *refs = open(new TZRReferenceView);
    refs->selectRow(1);
    refs->tableView()->setFocus();
    const QImage image = picture("sidebar-references.png");
    KVXTableView *list = refs->tableView();
    const QPoint origin = in(list->viewport(), window.get()).topLeft();
    EXPECT_GT(count(image, list->visualRect(list->model()->index(1, 0)).translated(origin), isBlue), 100);
    EXPECT_GT(count(image, list->visualRect(list->model()->index(0, 0)).translated(origin), isDark), 20);
}

TEST_F(SidebarPictures, Changes) {
    auto *critic = open(new TZRCriticView);
    critic->selectRow(0);
    critic->tableView()->setFocus();
    const QImage image = picture("sidebar-changes.png");
    const QRect accept = in(critic->acceptButton(), window.get()), reject = in(critic->rejectButton(), window.get());
    const QRect list = in(critic->tableView(), window.get()), field = in(critic->searchField(), window.get());
    EXPECT_EQ(accept.top(), reject.top());
    EXPECT_LT(accept.right(), reject.left());
    EXPECT_GE(accept.top(), list.bottom());
    EXPECT_GE(field.top(), accept.bottom());
    EXPECT_GT(count(image, accept, isDark), 20);  // its title
    EXPECT_GT(count(image, list, isBlue), 100);
}

TEST_F(SidebarPictures, InfoBarAndFloatingPanel) {
    storage->setInitialText(sampleDocument());
    auto *info = new SmartTextInfoView;
    info->setFixedHeight(30);
    static_cast<QHBoxLayout *>(window->layout())->removeWidget(editor);
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(editor, 1);
    layout->addWidget(info);
    window->layout()->addWidget(column);
    show(QSize(760, 300));
    info->connectToTextView(editor);
    editor->setSelectedRange({storage->string().indexOf("Notes on"), 14});
    const QImage image = picture("sidebar-infobar.png");
    EXPECT_TRUE(info->statusText().endsWith(" Selected Text (16:30)"));
    EXPECT_GT(count(image, in(info->statusTextField(), window.get()), isDark), 50);

    KVXHUDPanel panel;
    panel.setHudTitle("Statistics");
    auto *stats = new SmartTextInfoView(SmartTextInfoView::Form::HUD);
    panel.setContentView(stats);
    panel.connectToTextView(editor);
    showAndWait(panel, QSize(230, 160));
    testing_qt::spinFor(std::chrono::milliseconds(20));
    const QImage hud = panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
    hud.save(artifactPath("sidebar-hud-info.png"));
    EXPECT_LT(qGray(hud.pixel(5, 150)), 60);  // the panel's dark ground
    EXPECT_GT(count(hud, QRect(150, 10, 70, 60), [](QRgb p) { return qGray(p) > 200; }), 20);  // white numbers
}

TEST_F(SidebarPictures, TableOfContentsInAFloatingPanel) {
    start(sampleDocument());
    KVXHUDPanel panel;
    panel.setHudTitle("Contents");
    auto *toc = new TZRTOCView(KVXFilterSidebar::Form::HUD);
    toc->coalescer().setResumeDelay(std::chrono::milliseconds(20));
    panel.setContentView(toc);
    toc->observeEngine(bridge.get());
    panel.connectToTextView(editor);
    showAndWait(panel, QSize(230, 300));
    ASSERT_TRUE(settleAll());
    toc->expandAll();
    toc->setSelectionIndexPath({1});
    testing_qt::spinFor(std::chrono::milliseconds(20));
    const QImage image = panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
    image.save(artifactPath("sidebar-hud-toc.png"));
    KVXOutlineView *list = toc->tableView();
    EXPECT_EQ(list->mapTo(&panel, QPoint(0, 0)).y(), 0);  // no top margin in a panel
    const QRect discussion =
        list->visualRect(toc->treeModel()->indexForPath({2})).translated(list->viewport()->mapTo(&panel, QPoint(0, 0)));
    EXPECT_GT(count(image, discussion, [](QRgb p) { return qGray(p) > 200; }), 20);  // white on the dark ground
}

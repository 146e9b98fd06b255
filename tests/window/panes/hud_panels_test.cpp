// Floating panels and their registry: showing and hiding by title with the
// visibility kept in the preferences, keeping and restoring it, panels
// shown when registered, staying in the background, frames, linking to an
// editor and undo of the editor's text from a panel.
#include <QLineEdit>

#include "window/sidebar_test_support.h"
#include "window/panes/kvx_hud_controller.h"
#include "window/panes/kvx_hud_panel.h"
#include "window/sidebars/kvx_filter_table_view.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/sidebars/smart_text_info_view.h"

using namespace sidebartest;

namespace {

std::unique_ptr<KVXHUDPanel> panelTitled(const QString &title) {
    auto panel = std::make_unique<KVXHUDPanel>();
    panel->setHudTitle(title);
    return panel;
}

}  // namespace

class HUDTest : public DocumentTest {
protected:
    KVXHUDController controller;
};

TEST_F(HUDTest, PanelsShowAndHideByTitleWithTheirVisibilityKeptAndRestored) {
    auto toc = panelTitled("TOC"), refs = panelTitled("Refs");
    EXPECT_EQ(toc->visibilityKey(), "showTOCHUD");
    EXPECT_EQ(toc->tempVisibilityKey(), "tempShowTOCHUD");
    EXPECT_EQ(toc->activateSearchKey(), "activateTOCHUDSearch");
    EXPECT_EQ(toc->frameSaveKey(), "NSWindow Frame TOC 1");
    EXPECT_TRUE(toc->windowFlags() & Qt::Tool);
    EXPECT_EQ(toc->size(), QSize(230, 300));

    // A panel registered while its key says shown appears at once.
    defaults.setBool(true, "showRefsHUD");
    controller.addHUD(toc.get());
    controller.addHUD(refs.get());
    controller.addHUD(refs.get());
    EXPECT_EQ(controller.availableHUDs().size(), 2);
    EXPECT_FALSE(toc->isVisible());
    EXPECT_TRUE(refs->isVisible());

    controller.toggleHUDbyName("TOC");
    EXPECT_TRUE(toc->isVisible());
    EXPECT_TRUE(defaults.boolForKey("showTOCHUD"));
    controller.toggleHUDbyName("TOC");
    EXPECT_FALSE(toc->isVisible());
    EXPECT_FALSE(defaults.boolForKey("showTOCHUD"));
    controller.toggleHUDbyName("Nothing");

    // Kept while shown: only the panels shown then come back.
    controller.storeHUDVisibility();
    EXPECT_TRUE(defaults.boolForKey("tempShowRefsHUD"));
    EXPECT_FALSE(defaults.boolForKey("tempShowTOCHUD"));
    controller.toggleHUDbyName("Refs");
    EXPECT_FALSE(refs->isVisible());
    controller.restoreHUDVisibility();
    EXPECT_TRUE(refs->isVisible());
    EXPECT_FALSE(toc->isVisible());

    // A panel that goes leaves the registry.
    toc.reset();
    EXPECT_EQ(controller.availableHUDs(), QList<KVXHUDPanel *>({refs.get()}));
}

TEST_F(HUDTest, PanelsHideInTheBackgroundUnlessAskedAndKeepTheirFrames) {
    auto panel = panelTitled("Info");
    controller.addHUD(panel.get());
    EXPECT_TRUE(panel->hidesOnDeactivate());
    defaults.setBool(true, "showHUDsInBackground");
    testing_qt::spinFor(std::chrono::milliseconds(5));
    EXPECT_FALSE(panel->hidesOnDeactivate());
    defaults.setBool(false, "showHUDsInBackground");
    testing_qt::spinFor(std::chrono::milliseconds(5));
    EXPECT_TRUE(panel->hidesOnDeactivate());

    panel->setGeometry(40, 50, 260, 320);
    controller.storeHUDPositions();
    EXPECT_EQ(defaults.stringForKey("NSWindow Frame Info 1"), "40 50 260 320");
    panel->setGeometry(0, 0, 200, 200);
    controller.restoreHUDPositions();
    EXPECT_EQ(panel->geometry(), QRect(40, 50, 260, 320));
    // A frame that is no frame changes nothing.
    defaults.setObject("40 fifty", "NSWindow Frame Info 1");
    panel->restoreHUDPosition();
    EXPECT_EQ(panel->geometry(), QRect(40, 50, 260, 320));
}

TEST_F(HUDTest, APanelServesTheLinkedEditorAndItsUndoIsTheEditors) {
    storage->setInitialText("Start");
    show();
    auto panel = panelTitled("Stats");
    auto *info = new SmartTextInfoView(SmartTextInfoView::Form::HUD);
    panel->setContentView(info);
    controller.addHUD(panel.get());
    controller.linkHUDsToTextView(editor);
    EXPECT_EQ(panel->linkedTextView(), editor);
    EXPECT_EQ(info->linkedTextView(), editor);
    controller.toggleHUDbyName("Stats");
    testing_qt::spinFor(std::chrono::milliseconds(5));
    EXPECT_TRUE(info->statusText().startsWith("1\n5\n"));

    storage->replaceCharactersInRange({5, 0}, " here");
    ASSERT_EQ(storage->string(), "Start here");
    pressKey(panel.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(storage->string(), "Start");
    pressKey(panel.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(storage->string(), "Start here");

    // A sidebar in a panel leaves other keys to the panel, which keeps them.
    auto lists = panelTitled("Lists");
    auto *table = new KVXFilterTableView(KVXFilterSidebar::Form::HUD);
    lists->setContentView(table);
    lists->connectToTextView(editor);
    EXPECT_EQ(table->linkedTextView(), editor);
    KeysSeen seen(editor);
    pressKey(table->tableView(), Qt::Key_BracketLeft, Qt::ControlModifier);
    EXPECT_TRUE(seen.keys.isEmpty());
    pressKey(table->tableView(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(storage->string(), "Start");
    storage->redo();

    controller.disconnectHUDsFromTextView(editor);
    EXPECT_EQ(panel->linkedTextView(), nullptr);
    EXPECT_EQ(info->linkedTextView(), nullptr);
    pressKey(panel.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(storage->string(), "Start here");
    // Closing a panel hides what it holds.
    panel->close();
    EXPECT_TRUE(info->isHidden());
}

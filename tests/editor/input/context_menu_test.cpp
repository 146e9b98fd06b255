// The editor's context menu: copies of the main menu's items, in a fixed
// order, shared by every editor, reaching the editor with the focus.
#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "editor/input/context_menu_controllers.h"
#include "platform/runtime/action_router.h"
#include "platform/text/pasteboard.h"
#include "editor/smart_view_support.h"

using editortest::ShownEditor;
using Item = ContextMenuSource::Item;

namespace {

// A main menu with some of the items, as the application would make it.
class MainMenu : public ContextMenuSource {
public:
    MainMenu() {
        add(Item::Paste, "Paste", "paste:");
        add(Item::Copy, "Copy", "copy:");
        add(Item::ToggleChangeTracking, "Track Changes", "toggleChangeTracking:");
        add(Item::TitleCase, "Title Case", "applyTitleCase:");
        QAction *themes = add(Item::Theme, "Theme", "");
        themeMenu.addAction(QStringLiteral("Dark"));
        QAction *light = themeMenu.addAction(QStringLiteral("Light"));
        QObject::connect(light, &QAction::triggered, [this] { lightChosen++; });
        themes->setMenu(&themeMenu);
    }
    QAction *menuItem(Item item) const override {
        const auto found = items.find(item);
        return found == items.end() ? nullptr : found->second;
    }
    QAction *add(Item item, const char *title, const char *action) {
        QAction *made = menu.addAction(QString::fromLatin1(title));
        if (*action)
            platform::ActionRouter::setAction(made, QString::fromLatin1(action));
        items[item] = made;
        return made;
    }
    QMenu menu, themeMenu;
    std::map<Item, QAction *> items;
    int lightChosen = 0;
};

}  // namespace

TEST(ContextMenu, RepeatsTheMainMenusItemsInItsOrderForEveryEditor) {
    MainMenu main;
    SmartTextContextMenuController &controller = SmartTextContextMenuController::sharedController();
    controller.setSource(&main);
    ShownEditor first;
    first.show(QStringLiteral("one two\n"));
    ShownEditor second;
    QMenu *menu = controller.contextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("Contextual Menu"));
    QStringList titles;
    for (const QAction *item : menu->actions())
        titles << item->text();
    // The title-case item is known but not shown; missing items leave no gap.
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Copy"), QStringLiteral("Paste"),
                                   QStringLiteral("Track Changes"), QStringLiteral("Theme")}));
    EXPECT_EQ(controller.contextMenu(), menu);

    // An item sends its action to the editor with the focus.
    platform::Pasteboard::setString(QStringLiteral("pasted "));
    first.view().setFocus();
    first.select(4);
    menu->actions()[1]->trigger();
    EXPECT_EQ(first.text(), QStringLiteral("one pasted two\n"));
    EXPECT_TRUE(first.inStep());
    // A submenu is copied; its items do what the originals do.
    QMenu *themes = menu->actions()[3]->menu();
    ASSERT_NE(themes, nullptr);
    ASSERT_EQ(themes->actions().size(), 2);
    themes->actions()[1]->trigger();
    EXPECT_EQ(main.lightChosen, 1);
    controller.setSource(nullptr);
}

// The menu is shared, but change tracking is each document's own: its check
// mark follows the editor the menu shows for, and stays enabled.
TEST(ContextMenu, MarksFollowTheEditorItShowsFor) {
    MainMenu main;
    SmartTextContextMenuController &controller = SmartTextContextMenuController::sharedController();
    controller.setSource(&main);
    ShownEditor tracking;
    tracking.show(QStringLiteral("one\n"));
    tracking.view().toggleChangeTracking();
    ShownEditor plain;
    plain.show(QStringLiteral("two\n"));
    QMenu *menu = controller.contextMenu();
    QAction *track = menu->actions()[2];
    ASSERT_EQ(track->text(), QStringLiteral("Track Changes"));
    auto shownFor = [&](ShownEditor &editor) {
        editor.view().activateWindow();
        editor.view().setFocus();
        editor.settle();
        Q_EMIT menu->aboutToShow();
        return track->isChecked();
    };
    EXPECT_TRUE(shownFor(tracking));
    EXPECT_FALSE(shownFor(plain));
    EXPECT_TRUE(track->isEnabled());
    // Triggered, it toggles the editor's tracking (the router's way) and the
    // next showing marks the new state.
    track->trigger();
    EXPECT_TRUE(plain.view().isTrackingChanges());
    EXPECT_TRUE(shownFor(plain));
    EXPECT_TRUE(shownFor(tracking));
    controller.setSource(nullptr);
}

TEST(ContextMenu, TheHolderOfAReadyMadeMenuGivesItBack) {
    KVXContextMenuController &holder = KVXContextMenuController::sharedController();
    EXPECT_EQ(holder.contextMenu(), nullptr);
    auto menu = std::make_unique<QMenu>();
    holder.setContextMenu(menu.get());
    EXPECT_EQ(holder.contextMenu(), menu.get());
    menu.reset();
    EXPECT_EQ(holder.contextMenu(), nullptr);
}

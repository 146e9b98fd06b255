#include "editor/input/context_menu_controllers.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

#include "platform/runtime/action_router.h"

namespace {

using Item = ContextMenuSource::Item;

// The items the menu repeats, in its order; the title-case item is known to
// the source but not shown.
constexpr Item kMenuItems[] = {
    Item::Copy,           Item::CopyAs,           Item::Paste,
    Item::PasteAs,        Item::CleanUp,          Item::Convert,
    Item::ToggleListType, Item::ToggleChangeTracking, Item::AcceptCriticMarkup,
    Item::RejectCriticMarkup, Item::Theme,        Item::StyleSheet,
};

void markItems(QMenu *menu) {
    for (QAction *item : menu->actions()) {
        const QString action = platform::ActionRouter::actionOf(item);
        if (action.isEmpty())
            continue;
        if (platform::Responder *target = platform::ActionRouter::targetForAction(action))
            target->validateAction(action, item);
        item->setEnabled(true);
    }
}

}  // namespace

SmartTextContextMenuController &SmartTextContextMenuController::sharedController() {
    static SmartTextContextMenuController controller;
    return controller;
}

void SmartTextContextMenuController::setSource(ContextMenuSource *source) {
    source_ = source;
    delete contextMenu_;
    contextMenu_ = nullptr;
}

QMenu *SmartTextContextMenuController::contextMenu() {
    if (!contextMenu_)
        buildMenu();
    return contextMenu_;
}

void SmartTextContextMenuController::buildMenu() {
    contextMenu_ = new QMenu(QStringLiteral("Contextual Menu"));
    contextMenu_->setTitle(QStringLiteral("Contextual Menu"));
    for (Item role : kMenuItems) {
        QAction *item = source_ ? source_->menuItem(role) : nullptr;
        if (item)
            contextMenu_->addAction(copyOfItem(item, contextMenu_));
    }
    // Items stay enabled, but their marks tell the state of the editor the
    // menu is shown for (the menu is shared, and change tracking, say, is
    // each document's own).
    QObject::connect(contextMenu_, &QMenu::aboutToShow, contextMenu_, [menu = contextMenu_] {
        markItems(menu);
    });
    // A widget must go while the application still exists.
    if (!freedAtQuit_) {
        freedAtQuit_ = true;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [this] {
            delete contextMenu_;
            contextMenu_ = nullptr;
        });
    }
}

QAction *SmartTextContextMenuController::copyOfItem(QAction *item, QMenu *parent) {
    if (QMenu *submenu = item->menu()) {
        auto *copy = new QMenu(item->text(), parent);
        for (QAction *child : submenu->actions())
            copy->addAction(copyOfItem(child, copy));
        copy->menuAction()->setIcon(item->icon());
        return copy->menuAction();
    }
    auto *copy = new QAction(parent);
    if (item->isSeparator()) {
        copy->setSeparator(true);
        return copy;
    }
    copy->setText(item->text());
    copy->setIcon(item->icon());
    copy->setToolTip(item->toolTip());
    copy->setStatusTip(item->statusTip());
    copy->setData(item->data());
    copy->setCheckable(item->isCheckable());
    copy->setChecked(item->isChecked());
    // Shown beside the item, and active only while the menu has the keys.
    copy->setShortcut(item->shortcut());
    copy->setShortcutContext(Qt::WidgetShortcut);
    const QString action = platform::ActionRouter::actionOf(item);
    if (!action.isEmpty()) {
        platform::ActionRouter::setAction(copy, action);
    } else {
        QObject::connect(copy, &QAction::triggered, item, [item] { item->trigger(); });
    }
    return copy;
}

KVXContextMenuController &KVXContextMenuController::sharedController() {
    static KVXContextMenuController controller;
    return controller;
}

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
    m_source = source;
    delete m_contextMenu;
    m_contextMenu = nullptr;
}

QMenu *SmartTextContextMenuController::contextMenu() {
    if (!m_contextMenu)
        buildMenu();
    return m_contextMenu;
}

void SmartTextContextMenuController::buildMenu() {
    m_contextMenu = new QMenu(QStringLiteral("Contextual Menu"));
    m_contextMenu->setTitle(QStringLiteral("Contextual Menu"));
    for (Item role : kMenuItems) {
        QAction *item = m_source ? m_source->menuItem(role) : nullptr;
        if (item)
            m_contextMenu->addAction(copyOfItem(item, m_contextMenu));
    }
    // Items stay enabled, but their marks tell the state of the editor the
    // menu is shown for (the menu is shared, and change tracking, say, is
    // each document's own).
    QObject::connect(m_contextMenu, &QMenu::aboutToShow, m_contextMenu, [menu = m_contextMenu] {
        markItems(menu);
    });
    // A widget must go while the application still exists.
    if (!m_freedAtQuit) {
        m_freedAtQuit = true;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [this] {
            delete m_contextMenu;
            m_contextMenu = nullptr;
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

// The editor's context menu, and the holder of a context menu for other
// reusable views.
//
// SmartTextContextMenuController builds one menu, the first time an editor
// asks for it, from copies of main-menu items (ContextMenuSource, filled by
// the application), in this order: copy, copy as, paste, paste as, clean
// up, convert, toggle list type, toggle change tracking, accept and reject
// a CriticMarkup change, theme, style sheet. Every editor shows that same
// menu. A copy sends its item's action through the action router (so it
// reaches the editor that has the focus), or triggers the item itself when
// the item sends no named action; submenus are copied too. The menu is not
// validated: its items stay enabled, and later changes of the main menu are
// not reflected in it. Only the marks of its items (checked or not) are
// asked of the focused editor each time it shows (the menu is shared, and what
// they mark, such as change tracking, is each document's own).
//
// KVXContextMenuController holds one ready-made menu (null until set).
//
// Both are made on first use and live until the program ends (the built
// menu until the application quits); main thread.
#pragma once

#include <QPointer>

#include "editor/editor_interfaces.h"

class QAction;
class QMenu;

class SmartTextContextMenuController {
public:
    static SmartTextContextMenuController &sharedController();

    // The main menu's items, read when the menu is built; a menu built from
    // another source before is dropped.
    void setSource(ContextMenuSource *source);
    // Built on the first call, then the same menu every time.
    QMenu *contextMenu();

    // A copy of `item` for `menu` (its text, shortcut, icon, check state and
    // a copy of its submenu) that does what the item does; `menu` owns it.
    static QAction *copyOfItem(QAction *item, QMenu *menu);

private:
    SmartTextContextMenuController() = default;
    void buildMenu();

    ContextMenuSource *m_source = nullptr;
    QMenu *m_contextMenu = nullptr;
    bool m_freedAtQuit = false;
};

class KVXContextMenuController {
public:
    static KVXContextMenuController &sharedController();
    void setContextMenu(QMenu *menu) { m_contextMenu = menu; }
    QMenu *contextMenu() const { return m_contextMenu; }

private:
    KVXContextMenuController() = default;
    QPointer<QMenu> m_contextMenu;
};

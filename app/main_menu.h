// The main menu, built in code: the application menu, File, Edit, Format,
// View, Window and Help, in that order (the Edit menu is the third, whose
// standard submenus after its second separator keep their own keys when
// the user's key bindings are applied to the menu).
//
// Every item that sends an action carries the action's selector string as
// its object name ("saveDocument:", "togglePreview:") and sends it through
// the action router when chosen: the focused widget and its parents (an
// editor, then its window's content, then the window) get it first, then the
// application's responders. Each menu is validated each time it is about to
// show, so items nobody answers are disabled.
//
// The Window menu ends with the windows on screen, each tab of a tab group
// by its name, listed again each time the menu is about to show.
//
// File > Open Recent lists the recent documents, newest first, each titled
// by its file's name (and as much of its folder as tells it from another of
// the same name), above Clear Menu; each item sends "openRecentDocument:"
// with the file's path as its data. The list is asked for each time the
// submenu is about to show, and may be given anew whenever it changes.
//
// View > Enter Full Screen (F11) reads Exit Full Screen while the active
// window is in full screen, however it got there.
//
// One menu tree serves every window: install() adds its menus to a window's
// menu bar. It is also the source of the items the editor's context menu
// repeats. Main thread only.
#pragma once

#include <QList>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

#include "editor/editor_interfaces.h"

class QMainWindow;
class QWindow;

class MainMenu : public ContextMenuSource {
public:
    MainMenu();
    ~MainMenu() override;
    MainMenu(const MainMenu &) = delete;
    MainMenu &operator=(const MainMenu &) = delete;

    // The root: its items are the top-level menus, in order.
    QMenu *menu() const { return m_root; }
    // The top-level menu titled `title` ("File", "Edit", ...).
    QMenu *topLevelMenu(const QString &title) const;
    // The first item (depth first) that sends `action`; null when none.
    QAction *itemForAction(const QString &action) const;
    // Every item that sends an action, depth first.
    QList<QAction *> actionItems() const;
    // The submenu titled `title`, anywhere in the tree; null when none.
    QMenu *submenuTitled(const QString &title) const;
    // The items the context menu repeats: an item, or a submenu's own item.
    QAction *menuItem(Item item) const override;
    // The submenus the extras keeper fills.
    QMenu *themeMenu() const { return m_themeMenu; }
    QMenu *cssMenu() const { return m_cssMenu; }

    // What Open Recent lists: the recent documents' paths, newest first,
    // asked for each time the submenu is about to show.
    using RecentDocuments = std::function<QStringList()>;
    void setRecentDocumentsSource(RecentDocuments source);
    // Lists the paths the source gives now.
    void updateOpenRecentMenu();
    // The items' titles for `paths`: each file's name, followed, where
    // another of the list has the same name, by the end of its folder's path
    // that tells them apart (the whole folder, home as "~", when nothing
    // shorter does).
    static QStringList recentDocumentTitles(const QStringList &paths);
    // The action of the items that open a recent document.
    static QString openRecentAction() { return QStringLiteral("openRecentDocument:"); }

    // The full-screen item's title for the window that is active now.
    void updateFullScreenItem();

    // Puts the menus in `window`'s menu bar.
    void install(QMainWindow *window) const;

private:
    QMenu *m_root;
    QPointer<QMenu> m_themeMenu;
    QPointer<QMenu> m_cssMenu;
    QPointer<QMenu> m_openRecentMenu;
    RecentDocuments m_recentDocuments;
    QPointer<QAction> m_fullScreenItem;
    // The active window whose state the full-screen item follows.
    QPointer<QWindow> m_watchedWindow;
    QMetaObject::Connection m_windowStateConnection;
};

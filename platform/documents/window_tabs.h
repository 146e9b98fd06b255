// Windows kept together as the tabs of one window. Qt has no tabs of
// top-level windows, so a tab group is a window of its own: a tab bar over a
// stack that holds the group's windows, each embedded whole (its content,
// title, edited mark and focus stay its own; its menu bar gives way to the
// group window's, which shows the same menus). Only the selected tab is
// shown; the others keep their content as it is, hidden.
//
//   WindowTabs::setTabbingIdentifier(window, "OrvaneDoc");
//   WindowTabs::setTabbingMode(window, WindowTabs::TabbingMode::Preferred);
//   WindowTabs::orderFront(window);   // a tab of the front window's group
//   WindowTabs::addTabbedWindow(projectWindow, documentWindow);  // after it
//   WindowTabs::makeKeyAndOrderFront(WindowTabs::tabbedWindows(documentWindow).first());
//
// A window alone is a top-level window as any other; the group window is
// made when a second window joins it, at its place, and stays while it has a
// tab (its tab bar shows from two tabs on). A tab leaves its group when its
// window closes (its close button asks the window, as closing the window
// would) or is destroyed, and when it is moved to a window of its own; the
// group window goes with its last tab, and closing it closes each tab in
// turn, stopping at the first that stays. The group window's title and
// edited mark are its selected tab's; each tab's label follows its window.
//
// The group window answers the tab commands ("selectNextTab:",
// "selectPreviousTab:", "gotoFirstTab:", "moveTabToNewWindow:",
// "mergeAllWindows:") and names its selected tab as the window its other
// commands go to (Responder::activeContent).
//
// Main thread only.
#pragma once

#include <QList>
#include <QString>

class QTabBar;
class QWidget;

namespace platform {

class WindowTabs {
public:
    enum class TabbingMode { Automatic = 0, Preferred = 1, Disallowed = 2 };

    // Which windows belong together as tabs, and whether new ones should
    // join; kept on the window (its "tabbingIdentifier" and "tabbingMode").
    // A group window has its selected tab's.
    static void setTabbingIdentifier(QWidget *window, const QString &identifier);
    static QString tabbingIdentifier(const QWidget *window);
    static void setTabbingMode(QWidget *window, TabbingMode mode);
    static TabbingMode tabbingMode(const QWidget *window);

    // --- Opening ----------------------------------------------------------------------

    // Adds `window` to the tab group of `anchor` as the tab right after it
    // (leaving any group it was in), selects it and brings the group's
    // window to the front, active. The group window is made at `anchor`'s
    // frame when `anchor` is alone. Nothing when either is null or they are
    // the same.
    static void addTabbedWindow(QWidget *anchor, QWidget *window);

    // Shows a window that is not on screen yet as a tab of the front
    // window's group (after its selected tab) when its tabbing mode is
    // preferred and the front window of its tabbing identifier allows tabs;
    // otherwise, and for a window already shown, as makeKeyAndOrderFront.
    // The front window is the one most recently brought forward or active,
    // still on screen and not minimized.
    static void orderFront(QWidget *window);

    // Brings a window to the front and makes it the active one; a tab is
    // selected in its group, whose window comes to the front.
    static void makeKeyAndOrderFront(QWidget *window);

    // --- Groups ------------------------------------------------------------------------

    // The windows of `window`'s tab group, in tab order; the window alone
    // when it is no tab (nothing when it is null). A group window gives its
    // tabs.
    static QList<QWidget *> tabbedWindows(QWidget *window);
    // Whether `window` is the window of a tab group.
    static bool isGroupWindow(const QWidget *window);
    // The window a group window stands for, its selected tab; any other
    // window is itself (null for null).
    static QWidget *selectedWindow(QWidget *window);
    // The active window as its commands see it: the selected tab when the
    // active window is a group window; null when no window is active.
    static QWidget *keyWindow();
    // The tab bar of the group `window` is in (or is); null when none.
    static QTabBar *tabBar(QWidget *window);
    // The windows on screen, a group window by its tabs in tab order.
    static QList<QWidget *> windowsAndTabs();
    // A window's title as shown: the edited mark ("[*]") as "*" when the
    // window is modified, else left out.
    static QString displayedTitle(const QWidget *window);

    // --- Commands ------------------------------------------------------------------------

    // The tab commands, by their action names; `window` is the window (or a
    // tab) they are sent in.
    static bool isTabAction(const QString &action);
    static void performTabAction(const QString &action, QWidget *window);
    // Next, previous, first and move need a group of two tabs or more;
    // merging needs another window of the same tabbing identifier.
    static bool validateTabAction(const QString &action, QWidget *window);

    // The next and previous tab, around the ends; the first.
    static void selectNextTab(QWidget *window);
    static void selectPreviousTab(QWidget *window);
    static void selectFirstTab(QWidget *window);
    // The tab leaves its group for a window of its own, of the group's size,
    // a step down and right from the windows on screen, within the screen.
    static void moveTabToNewWindow(QWidget *window);
    // Every window on screen with `window`'s tabbing identifier (tabbing
    // not disallowed) and the tabs of their groups join `window`'s group,
    // after its tabs, in the order they are on the screen.
    static void mergeAllWindows(QWidget *window);
};

}  // namespace platform

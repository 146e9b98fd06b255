// Windows kept together as the tabs of one window would be. Qt has no tabs
// of separate top-level windows, so a tab group here is a list of windows
// that share one place on the screen: a window added to a group takes the
// frame of the window it is added to and comes to the front, and the group
// knows its windows in tab order, so that the first can be brought back.
//
//   WindowTabs::setTabbingIdentifier(window, "OrvaneDoc");
//   WindowTabs::addTabbedWindow(projectWindow, documentWindow);  // in front
//   WindowTabs::tabbedWindows(documentWindow).first()->raise();
//
// A window leaves its group when it is destroyed or hidden (closed). Main
// thread only.
#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace platform {

class WindowTabs {
public:
    enum class TabbingMode { Automatic = 0, Preferred = 1, Disallowed = 2 };

    // Which windows belong together as tabs, and whether new ones should
    // join; kept on the window (its "tabbingIdentifier" and "tabbingMode").
    static void setTabbingIdentifier(QWidget *window, const QString &identifier);
    static QString tabbingIdentifier(const QWidget *window);
    static void setTabbingMode(QWidget *window, TabbingMode mode);
    static TabbingMode tabbingMode(const QWidget *window);

    // Adds `window` to the tab group of `anchor` as the tab right after it
    // (leaving any group it was in), gives it `anchor`'s frame, and shows it
    // in front, active. Nothing when either is null or they are the same.
    static void addTabbedWindow(QWidget *anchor, QWidget *window);

    // The windows of `window`'s tab group still on screen, in tab order; the
    // window alone when it has no group (nothing when it is null).
    static QList<QWidget *> tabbedWindows(QWidget *window);

    // Brings a window to the front and makes it the active one.
    static void makeKeyAndOrderFront(QWidget *window);
};

}  // namespace platform

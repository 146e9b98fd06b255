// Actions sent by name along the widgets that have the focus: the program's
// stand-in for a responder chain.
//
// An action is named by a selector string, colon included ("shiftLeft:",
// "togglePreview:", "terminate:"); menus, context menus and key bindings all
// send by name. A widget (or any object the application registers) takes
// part by implementing Responder.
//
//   ActionRouter::setAction(item, "shiftLeft:");      // the item sends it
//   ActionRouter::validateOnShow(editMenu);           // enabled by its target
//   ActionRouter::sendAction("undo:", sender);        // from code
//
// Sending walks from the first responder (the focus widget; while a menu bar
// or a menu has the keyboard, or nothing has, the widget of the active window
// that last had it, else the window it names as its active content, a tab
// group's selected tab, else that window) to each responder's next one,
// which is its parent widget unless it names another (a sidebar names its
// editor), up to the window; then the application's responders, in the
// order they were added. The first responder that answers the action
// performs it.
//
// Menus are validated each time they are about to show: an item whose action
// no responder answers is disabled; otherwise its target decides (and may
// mark the item). When a menu closes and leaves the keyboard with its menu
// bar (Escape does), the keyboard goes back to the window's first responder.
// Main thread only.
#pragma once

#include <QString>

class QAction;
class QMenu;
class QObject;
class QWidget;

namespace platform {

class Responder {
public:
    virtual ~Responder() = default;

    // Whether this responder performs `action`.
    virtual bool respondsToAction(const QString &action) const = 0;
    // Performs an action it responds to.
    virtual void performAction(const QString &action, QObject *sender) = 0;
    // Whether the item that sends an action it responds to is enabled; it
    // may also mark the item. Enabled unless the responder says otherwise.
    virtual bool validateAction(const QString &action, QAction *item) {
        (void)action;
        (void)item;
        return true;
    }
    // The responder after this one, when it is not the parent widget.
    virtual QWidget *nextResponder() const { return nullptr; }
    // For a window that holds other windows (a tab group): the one that
    // stands for it when it is active and nothing in it has the focus.
    virtual QWidget *activeContent() const { return nullptr; }
};

class ActionRouter {
public:
    // Where a walk starts: `first` when given, else the focus widget, else
    // (a menu bar, a menu or nothing has the keyboard) the widget of the active
    // window that last had it, else its active content (the focus widget of
    // a tab group's selected tab, or that tab), else that window; null
    // without a window.
    static QWidget *firstResponder(QWidget *first = nullptr);
    // Gives the keyboard back to the first responder of its window when a
    // menu bar holds it and no menu is open.
    static void returnKeyboardFromMenuBar();

    // The responder that would perform `action` sent from `first` (the
    // first responder when null); null when none.
    static Responder *targetForAction(const QString &action, QWidget *first = nullptr);
    // Sends `action` to its target; false when no responder answered it.
    static bool sendAction(const QString &action, QObject *sender, QWidget *first = nullptr);

    // Responders after every window (the application and its delegate).
    // A responder must be removed before it is destroyed.
    static void addApplicationResponder(Responder *responder);
    static void removeApplicationResponder(Responder *responder);

    // Makes `item` send `action` when triggered (once per item).
    static void setAction(QAction *item, const QString &action);
    // The action an item sends; empty when it sends none.
    static QString actionOf(const QAction *item);

    // Validates the items of `menu` that send actions (submenus are
    // validated when they show): each is enabled as its target says, or
    // disabled when nothing answers its action.
    static void validateMenu(QMenu *menu, QWidget *first = nullptr);
    // Validates `menu` each time it is about to show.
    static void validateOnShow(QMenu *menu);
};

}  // namespace platform

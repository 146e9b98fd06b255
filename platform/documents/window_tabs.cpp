#include "platform/documents/window_tabs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <algorithm>

#include "platform/documents/document.h"
#include "platform/documents/window_controller.h"
#include "platform/runtime/action_router.h"

namespace platform {

namespace {

constexpr char kIdentifierProperty[] = "tabbingIdentifier";
constexpr char kModeProperty[] = "tabbingMode";

const QString kNextTab = QStringLiteral("selectNextTab:");
const QString kPreviousTab = QStringLiteral("selectPreviousTab:");
const QString kFirstTab = QStringLiteral("gotoFirstTab:");
const QString kMoveTab = QStringLiteral("moveTabToNewWindow:");
const QString kMergeWindows = QStringLiteral("mergeAllWindows:");

// How far down and right of its group's window a tab moved to a window of
// its own lands, so that both are seen.

// --- Which window is in front --------------------------------------------------------------

// The top-level windows brought forward or activated, the most recent
// first, and in the order they were first seen (the Window menu's order).
struct WindowOrder {
    QList<QPointer<QWidget>> front;
    QList<QPointer<QWidget>> seen;
    bool watching = false;
};

WindowOrder &windowOrder() {
    static WindowOrder order;
    return order;
}

void noteSeen(QWidget *top) {
    WindowOrder &order = windowOrder();
    order.seen.removeAll(nullptr);
    if (top && !order.seen.contains(top))
        order.seen.append(top);
}

void noteFront(QWidget *top) {
    if (!top)
        return;
    WindowOrder &order = windowOrder();
    order.front.removeAll(top);
    order.front.removeAll(nullptr);
    order.front.prepend(top);
    noteSeen(top);
}

// Windows the user activates come to the front of the order too.
void watchActivation() {
    WindowOrder &order = windowOrder();
    auto *application = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (order.watching || !application)
        return;
    order.watching = true;
    QObject::connect(application, &QGuiApplication::focusWindowChanged, application, [] {
        if (QWidget *active = QApplication::activeWindow())
            noteFront(active);
    });
}

bool isOrdinaryWindow(const QWidget *window) {
    return window && window->isWindow() && window->windowType() == Qt::Window;
}

// --- The group window ------------------------------------------------------------------------

class TabGroupWindow final : public QMainWindow, public Responder {
public:
    // A group window at `anchor`'s place (its frame, maximized or full
    // screen as it is), with `anchor` as its only tab; not shown yet.
    static TabGroupWindow *around(QWidget *anchor);
    ~TabGroupWindow() override;

    int count() const { return int(m_tabs.size()); }
    QList<QWidget *> tabs() const;
    int indexOf(const QWidget *window) const;
    // The tab that is `widget` or holds it; null when none.
    QWidget *tabContaining(const QWidget *widget) const;
    QWidget *selected() const { return m_tabs.value(m_tabBar->currentIndex()).window; }
    QTabBar *tabBar() const { return m_tabBar; }

    // Embeds `window` as the tab at `index`.
    void insertTab(int index, QWidget *window);
    void moveTab(int from, int to) { m_tabBar->moveTab(from, to); }
    void select(QWidget *window);
    // `window` leaves the group: a window of its own again, hidden, at the
    // group window's frame moved by `offset`. The group window closes with
    // its last tab.
    void release(QWidget *window, QPoint offset = {});
    // Closes a tab's window as the user closing it would (it is selected
    // while it may ask); true when it closed.
    bool closeTab(QWidget *window);

    bool respondsToAction(const QString &action) const override { return WindowTabs::isTabAction(action); }
    void performAction(const QString &action, QObject *) override { WindowTabs::performTabAction(action, selected()); }
    bool validateAction(const QString &action, QAction *) override {
        return WindowTabs::validateTabAction(action, selected());
    }
    QWidget *activeContent() const override { return selected(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    TabGroupWindow();

    struct Tab {
        QWidget *key = nullptr;  // which window, also once it is destroyed
        QPointer<QWidget> window;
        QPointer<QWidget> focus;  // where its focus was when it was last selected
        Qt::WindowFlags flags;    // as a window of its own
        bool hidMenuBar = false;
        QMetaObject::Connection destroyed;
    };

    void currentChanged(int index);
    void restoreFocus(QWidget *window, QWidget *wanted);
    void forget(QWidget *key);
    void tabsChanged();
    void showSelectedTitle();
    void adoptMenus(QWidget *window);

    QTabBar *m_tabBar;
    QStackedWidget *m_stack;
    QList<Tab> m_tabs;
    QList<QWidget *> m_askingToClose;
    bool m_closingAll = false;
    QMetaObject::Connection m_focusConnection;
};

TabGroupWindow *groupOf(const QWidget *tab) {
    auto *group = tab ? dynamic_cast<TabGroupWindow *>(tab->window()) : nullptr;
    return group && group->indexOf(tab) >= 0 ? group : nullptr;
}

// The window `widget` stands for: a group window's selected tab, the tab
// that holds it, or its top-level window.
QWidget *windowOf(QWidget *widget) {
    if (!widget)
        return nullptr;
    QWidget *top = widget->window();
    if (auto *group = dynamic_cast<TabGroupWindow *>(top)) {
        if (QWidget *tab = group->tabContaining(widget))
            return tab;
        return group->selected();
    }
    return top;
}

TabGroupWindow::TabGroupWindow() {
    setAttribute(Qt::WA_DeleteOnClose);
    auto *holder = new QWidget(this);
    auto *layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabBar = new QTabBar(holder);
    m_tabBar->setDocumentMode(true);
    m_tabBar->setTabsClosable(true);
    m_tabBar->setMovable(true);
    m_tabBar->setExpanding(true);
    m_tabBar->setElideMode(Qt::ElideMiddle);
    m_tabBar->setUsesScrollButtons(true);
    m_tabBar->setFocusPolicy(Qt::NoFocus);
    m_tabBar->hide();
    m_stack = new QStackedWidget(holder);
    layout->addWidget(m_tabBar);
    layout->addWidget(m_stack, 1);
    setCentralWidget(holder);

    connect(m_tabBar, &QTabBar::currentChanged, this, [this](int index) { currentChanged(index); });
    // A tab dragged along the bar: the group's order is the bar's.
    connect(m_tabBar, &QTabBar::tabMoved, this, [this](int from, int to) { m_tabs.move(from, to); });
    connect(m_tabBar, &QTabBar::tabCloseRequested, this, [this](int index) {
        if (QWidget *window = m_tabs.value(index).window)
            closeTab(window);
    });
    m_focusConnection = connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        for (Tab &tab : m_tabs)
            if (now && tab.window && (tab.window == now || tab.window->isAncestorOf(now)))
                tab.focus = now;
    });
}

TabGroupWindow::~TabGroupWindow() {
    // The tabs go with the window's children: nothing is told of them.
    disconnect(m_focusConnection);
    disconnect(m_tabBar, nullptr, this, nullptr);
    for (Tab &tab : m_tabs)
        disconnect(tab.destroyed);
}

TabGroupWindow *TabGroupWindow::around(QWidget *anchor) {
    auto *group = new TabGroupWindow;
    const Qt::WindowStates state = anchor->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
    const QRect frame = state ? anchor->normalGeometry() : anchor->geometry();
    // The anchor's place is known once it was given one, or once it is on
    // screen where the window manager put it. A window just shown has
    // neither yet (its geometry says 0,0): the group takes its size alone,
    // and the window manager places the group as it would the window.
    const QWindow *handle = anchor->windowHandle();
    const bool placed = anchor->testAttribute(Qt::WA_Moved) || (handle && handle->isExposed());
    if (frame.isValid() && placed)
        group->setGeometry(frame);
    else if (frame.isValid())
        group->resize(frame.size());
    group->setWindowState(state);
    group->insertTab(0, anchor);
    noteSeen(group);
    return group;
}

QList<QWidget *> TabGroupWindow::tabs() const {
    QList<QWidget *> windows;
    for (const Tab &tab : m_tabs)
        if (tab.window)
            windows.append(tab.window);
    return windows;
}

int TabGroupWindow::indexOf(const QWidget *window) const {
    for (int i = 0; i < m_tabs.size(); i++)
        if (window && m_tabs[i].key == window && m_tabs[i].window)
            return i;
    return -1;
}

QWidget *TabGroupWindow::tabContaining(const QWidget *widget) const {
    for (const Tab &tab : m_tabs)
        if (tab.window && (tab.window == widget || tab.window->isAncestorOf(widget)))
            return tab.window;
    return nullptr;
}

void TabGroupWindow::insertTab(int index, QWidget *window) {
    index = std::clamp(index, 0, count());
    Tab tab;
    tab.key = window;
    tab.window = window;
    tab.flags = window->windowFlags();
    tab.focus = window->focusWidget();  // a window made a tab loses its focus
    adoptMenus(window);
    // The group window's menu bar shows the same menus.
    if (auto *main = qobject_cast<QMainWindow *>(window))
        if (QWidget *bar = main->menuWidget(); bar && !bar->isHidden()) {
            bar->hide();
            tab.hidMenuBar = true;
        }
    tab.destroyed = connect(window, &QObject::destroyed, this, [this, window] { forget(window); });
    m_tabs.insert(index, tab);
    m_stack->addWidget(window);
    window->installEventFilter(this);
    m_tabBar->insertTab(index, WindowTabs::displayedTitle(window));
    tabsChanged();
}

void TabGroupWindow::adoptMenus(QWidget *window) {
    auto *main = qobject_cast<QMainWindow *>(window);
    auto *bar = main ? qobject_cast<QMenuBar *>(main->menuWidget()) : nullptr;
    if (!bar || bar->actions().isEmpty() || (menuWidget() && !menuWidget()->actions().isEmpty()))
        return;
    for (QAction *menu : bar->actions())
        menuBar()->addAction(menu);
}

void TabGroupWindow::select(QWidget *window) {
    const int index = indexOf(window);
    if (index < 0)
        return;
    if (index == m_tabBar->currentIndex())
        currentChanged(index);  // the stack may still show another
    else
        m_tabBar->setCurrentIndex(index);
}

void TabGroupWindow::currentChanged(int index) {
    QWidget *next = m_tabs.value(index).window;
    if (!next)
        return;
    QWidget *previous = m_stack->currentWidget();
    if (previous != next) {
        if (QWidget *focus = QApplication::focusWidget(); previous && focus && previous->isAncestorOf(focus))
            if (const int at = indexOf(previous); at >= 0)
                m_tabs[at].focus = focus;
        // The focus Qt gives the incoming tab is not the one it had.
        const QPointer<QWidget> wanted = m_tabs[index].focus;
        m_stack->setCurrentWidget(next);
        restoreFocus(next, wanted);
    } else if (next->isHidden() && !m_tabs.isEmpty()) {
        next->show();  // the selected tab, hidden by someone else's call
    }
    showSelectedTitle();
}

void TabGroupWindow::restoreFocus(QWidget *window, QWidget *wanted) {
    const auto takes = [window](QWidget *widget) {
        return widget && window->isAncestorOf(widget) && widget->isEnabled() && widget->isVisibleTo(window);
    };
    if (takes(wanted)) {
        wanted->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (QWidget *last = window->focusWidget(); takes(last)) {
        last->setFocus(Qt::OtherFocusReason);
        return;
    }
    for (QWidget *widget = window->nextInFocusChain(); widget && widget != window; widget = widget->nextInFocusChain())
        if ((widget->focusPolicy() & Qt::TabFocus) && takes(widget)) {
            widget->setFocus(Qt::TabFocusReason);
            return;
        }
    // Nothing in it takes the focus: the window itself stands for it.
    window->setFocus(Qt::OtherFocusReason);
}

void TabGroupWindow::release(QWidget *window, QPoint offset) {
    const int index = indexOf(window);
    if (index < 0)
        return;
    const Tab tab = m_tabs.takeAt(index);
    disconnect(tab.destroyed);
    window->removeEventFilter(this);
    m_tabBar->removeTab(index);  // another tab is selected
    m_stack->removeWidget(window);
    const QRect frame = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    // A widget made a window of its own keeps its focus, and Qt leaves its
    // former ancestors naming it as their focus child: the group window
    // would go on pointing into the tab after the tab and that widget were
    // destroyed, and the next widget destroyed in the group window (a tab's
    // close button, deleted later) would read it. The group forgets it
    // first; the tab's window keeps it as its own.
    const QPointer<QWidget> focus = focusWidget() && window->isAncestorOf(focusWidget()) ? focusWidget() : nullptr;
    if (focus)
        focus->clearFocus();
    window->setParent(nullptr, tab.flags);
    if (focus)
        focus->setFocus(Qt::OtherFocusReason);
    if (frame.isValid())
        window->setGeometry(frame.translated(offset));
    if (auto *main = qobject_cast<QMainWindow *>(window); main && tab.hidMenuBar && main->menuWidget())
        main->menuWidget()->show();
    tabsChanged();
    if (m_tabs.isEmpty() && !m_closingAll)
        close();
}

void TabGroupWindow::forget(QWidget *key) {
    for (int i = 0; i < m_tabs.size(); i++) {
        if (m_tabs[i].key != key)
            continue;
        m_tabs.removeAt(i);
        m_tabBar->removeTab(i);
        tabsChanged();
        if (m_tabs.isEmpty() && !m_closingAll)
            close();
        return;
    }
}

bool TabGroupWindow::closeTab(QWidget *window) {
    const QPointer<QWidget> before = selected();
    const QPointer<QWidget> closing = window;
    select(window);
    window->close();
    if (closing && indexOf(closing) >= 0)
        return false;  // it stays, in front, as it asked
    if (before && before != window)
        select(before);
    return true;
}

void TabGroupWindow::tabsChanged() {
    m_tabBar->setVisible(m_tabs.size() > 1);
    showSelectedTitle();
}

void TabGroupWindow::showSelectedTitle() {
    QWidget *window = selected();
    if (!window)
        return;
    setWindowTitle(window->windowTitle());
    setWindowModified(window->isWindowModified());
}

bool TabGroupWindow::eventFilter(QObject *watched, QEvent *event) {
    auto *window = qobject_cast<QWidget *>(watched);
    const int index = indexOf(window);
    if (index < 0)
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::WindowTitleChange:
    case QEvent::ModifiedChange:
        m_tabBar->setTabText(index, WindowTabs::displayedTitle(window));
        if (window == selected())
            showSelectedTitle();
        break;
    case QEvent::Close: {
        // The window decides (and may ask); a window that closes leaves.
        if (m_askingToClose.contains(window))
            break;
        m_askingToClose.append(window);
        QCoreApplication::sendEvent(window, event);
        m_askingToClose.removeOne(window);
        if (event->isAccepted())
            release(window);
        return true;
    }
    case QEvent::Show:
        // A hidden tab shown by someone else's call is the selected one.
        if (window != m_stack->currentWidget())
            QMetaObject::invokeMethod(
                this,
                [this, shown = QPointer<QWidget>(window)] {
                    if (shown && !shown->isHidden() && shown != m_stack->currentWidget())
                        select(shown);
                },
                Qt::QueuedConnection);
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TabGroupWindow::event(QEvent *event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate)
        if (QWidget *window = selected();
            window && !window->isAncestorOf(QApplication::focusWidget()) && QApplication::focusWidget() != window)
            restoreFocus(window, m_tabs.value(indexOf(window)).focus);
    return handled;
}

void TabGroupWindow::closeEvent(QCloseEvent *event) {
    // Each tab in turn, the selected first, each asking as its window would;
    // the first that stays keeps the window open.
    m_closingAll = true;
    while (QWidget *window = selected()) {
        if (!closeTab(window)) {
            m_closingAll = false;
            event->ignore();
            return;
        }
    }
    m_closingAll = false;
    event->accept();
}

}  // namespace

// --- Identifiers ---------------------------------------------------------------------------

void WindowTabs::setTabbingIdentifier(QWidget *window, const QString &identifier) {
    if (window)
        window->setProperty(kIdentifierProperty, identifier);
}

QString WindowTabs::tabbingIdentifier(const QWidget *window) {
    if (auto *group = dynamic_cast<const TabGroupWindow *>(window))
        window = group->selected();
    return window ? window->property(kIdentifierProperty).toString() : QString();
}

void WindowTabs::setTabbingMode(QWidget *window, TabbingMode mode) {
    if (window)
        window->setProperty(kModeProperty, int(mode));
}

WindowTabs::TabbingMode WindowTabs::tabbingMode(const QWidget *window) {
    if (auto *group = dynamic_cast<const TabGroupWindow *>(window))
        window = group->selected();
    const int mode = window ? window->property(kModeProperty).toInt() : 0;
    return mode == int(TabbingMode::Preferred) || mode == int(TabbingMode::Disallowed) ? TabbingMode(mode)
                                                                                        : TabbingMode::Automatic;
}

// --- Opening -------------------------------------------------------------------------------

namespace {

// Makes `window` the tab after `anchor`'s, without bringing anything
// forward; false when nothing changed.
bool join(QWidget *anchor, QWidget *window) {
    QWidget *anchorTab = windowOf(anchor);
    QWidget *moved = windowOf(window);
    if (!anchorTab || !moved || anchorTab == moved)
        return false;
    TabGroupWindow *to = groupOf(anchorTab);
    TabGroupWindow *from = groupOf(moved);
    if (from && from == to) {
        const int at = to->indexOf(anchorTab), index = to->indexOf(moved);
        to->moveTab(index, index > at ? at + 1 : at);
        return true;
    }
    if (from)
        from->release(moved);
    if (!to)
        to = TabGroupWindow::around(anchorTab);
    to->insertTab(to->indexOf(anchorTab) + 1, moved);
    return true;
}

// The front window `window` would join as a tab: the window most recently
// brought forward or active that is on screen (dialogs and menus aside),
// when its tabbing identifier is `window`'s and it takes tabs; null when
// another kind of window is in front, or none is.
QWidget *frontWindowFor(QWidget *window) {
    QList<QPointer<QWidget>> candidates = windowOrder().front;
    if (QWidget *active = QApplication::activeWindow())
        candidates.prepend(active);
    for (QWidget *top : std::as_const(candidates)) {
        if (!isOrdinaryWindow(top) || top == window || !top->isVisible() || top->isMinimized())
            continue;
        QWidget *front = windowOf(top);
        const bool takesTabs = front && front != window &&
                               WindowTabs::tabbingIdentifier(front) == WindowTabs::tabbingIdentifier(window) &&
                               WindowTabs::tabbingMode(front) != WindowTabs::TabbingMode::Disallowed;
        return takesTabs ? front : nullptr;
    }
    return nullptr;
}

}  // namespace

void WindowTabs::addTabbedWindow(QWidget *anchor, QWidget *window) {
    watchActivation();
    if (join(anchor, window))
        makeKeyAndOrderFront(window);
}

void WindowTabs::orderFront(QWidget *window) {
    watchActivation();
    QWidget *shown = windowOf(window);
    if (!shown)
        return;
    if (!groupOf(shown) && !shown->isVisible() && tabbingMode(shown) == TabbingMode::Preferred &&
        !tabbingIdentifier(shown).isEmpty())
        if (QWidget *front = frontWindowFor(shown))
            join(front, shown);
    makeKeyAndOrderFront(shown);
}

void WindowTabs::makeKeyAndOrderFront(QWidget *window) {
    watchActivation();
    QWidget *shown = windowOf(window);
    if (!shown)
        return;
    QWidget *top = shown;
    if (TabGroupWindow *group = groupOf(shown)) {
        group->select(shown);
        top = group;
    }
    const bool appearing = !top->isVisible();
    if (top->isMinimized())
        top->showNormal();
    else
        top->show();
    if (appearing)
        WindowController::keepFrameOnScreen(top);
    top->raise();
    top->activateWindow();
    noteFront(top);
}

// --- Groups --------------------------------------------------------------------------------

QList<QWidget *> WindowTabs::tabbedWindows(QWidget *window) {
    QWidget *tab = windowOf(window);
    if (!tab)
        return {};
    if (TabGroupWindow *group = groupOf(tab))
        return group->tabs();
    return {tab};
}

bool WindowTabs::isGroupWindow(const QWidget *window) { return dynamic_cast<const TabGroupWindow *>(window); }

QWidget *WindowTabs::selectedWindow(QWidget *window) { return windowOf(window); }

QWidget *WindowTabs::keyWindow() { return windowOf(QApplication::activeWindow()); }

QTabBar *WindowTabs::tabBar(QWidget *window) {
    TabGroupWindow *group = groupOf(windowOf(window));
    return group ? group->tabBar() : nullptr;
}

QList<QWidget *> WindowTabs::windowsAndTabs() {
    QList<QWidget *> tops;
    for (QWidget *top : std::as_const(windowOrder().seen))
        if (top)
            tops.append(top);
    const QWidgetList all = QApplication::topLevelWidgets();
    for (QWidget *top : all)
        if (!tops.contains(top))
            tops.append(top);
    QList<QWidget *> windows;
    for (QWidget *top : std::as_const(tops)) {
        if (!isOrdinaryWindow(top) || !top->isVisible() || !all.contains(top))
            continue;
        if (auto *group = dynamic_cast<TabGroupWindow *>(top))
            windows += group->tabs();
        else
            windows.append(top);
    }
    return windows;
}

QString WindowTabs::displayedTitle(const QWidget *window) {
    if (!window)
        return {};
    QString title = window->windowTitle();
    const int mark = int(title.indexOf(QLatin1String("[*]")));
    if (mark >= 0)
        title.replace(mark, 3, window->isWindowModified() ? QStringLiteral("*") : QString());
    return title;
}

// --- Commands ------------------------------------------------------------------------------

bool WindowTabs::isTabAction(const QString &action) {
    return action == kNextTab || action == kPreviousTab || action == kFirstTab || action == kMoveTab ||
           action == kMergeWindows;
}

namespace {

// The windows that would join `window`'s group when all are merged.
QList<QWidget *> windowsToMerge(QWidget *window) {
    QWidget *key = windowOf(window);
    const QString identifier = WindowTabs::tabbingIdentifier(key);
    if (!key || identifier.isEmpty() || WindowTabs::tabbingMode(key) == WindowTabs::TabbingMode::Disallowed)
        return {};
    const QList<QWidget *> group = WindowTabs::tabbedWindows(key);
    QList<QWidget *> joining;
    for (QWidget *other : WindowTabs::windowsAndTabs())
        if (!group.contains(other) && WindowTabs::tabbingIdentifier(other) == identifier &&
            WindowTabs::tabbingMode(other) != WindowTabs::TabbingMode::Disallowed)
            joining.append(other);
    return joining;
}

}  // namespace

bool WindowTabs::validateTabAction(const QString &action, QWidget *window) {
    if (action == kMergeWindows)
        return !windowsToMerge(window).isEmpty();
    return isTabAction(action) && tabbedWindows(window).size() > 1;
}

void WindowTabs::performTabAction(const QString &action, QWidget *window) {
    if (action == kNextTab)
        selectNextTab(window);
    else if (action == kPreviousTab)
        selectPreviousTab(window);
    else if (action == kFirstTab)
        selectFirstTab(window);
    else if (action == kMoveTab)
        moveTabToNewWindow(window);
    else if (action == kMergeWindows)
        mergeAllWindows(window);
}

namespace {

void selectTabBy(QWidget *window, int step) {
    QWidget *tab = windowOf(window);
    TabGroupWindow *group = groupOf(tab);
    if (!group || group->count() < 2)
        return;
    const int count = group->count();
    WindowTabs::makeKeyAndOrderFront(group->tabs().value(((group->indexOf(tab) + step) % count + count) % count));
}

}  // namespace

void WindowTabs::selectNextTab(QWidget *window) { selectTabBy(window, 1); }

void WindowTabs::selectPreviousTab(QWidget *window) { selectTabBy(window, -1); }

void WindowTabs::selectFirstTab(QWidget *window) {
    const QList<QWidget *> tabs = tabbedWindows(window);
    if (!tabs.isEmpty())
        makeKeyAndOrderFront(tabs.first());
}

void WindowTabs::moveTabToNewWindow(QWidget *window) {
    QWidget *tab = windowOf(window);
    TabGroupWindow *group = groupOf(tab);
    if (!group || group->count() < 2)
        return;
    const QRect groupFrame = group->geometry();
    const QRect groupOuter = group->frameGeometry();
    const QMargins decorations(groupFrame.left() - groupOuter.left(), groupFrame.top() - groupOuter.top(),
                               groupOuter.right() - groupFrame.right(), groupOuter.bottom() - groupFrame.bottom());
    QScreen *screen = group->screen();
    group->release(tab);
    // Out of the group, the window steps down and right from the windows on
    // screen as a new window does, within the screen, rather than covering
    // the group window or a tab moved out before it.
    QList<QPoint> occupied;
    for (QWidget *other : QApplication::topLevelWidgets())
        if (other != tab && isOrdinaryWindow(other) && other->isVisible() && !other->isMinimized())
            occupied.append(other->geometry().topLeft());
    const QRect available = screen ? screen->availableGeometry() : QRect();
    tab->setGeometry(WindowController::cascadedFrame(tab->geometry(), occupied, available, decorations));
    makeKeyAndOrderFront(tab);
}

void WindowTabs::mergeAllWindows(QWidget *window) {
    QWidget *key = windowOf(window);
    const QList<QWidget *> joining = windowsToMerge(key);
    if (joining.isEmpty())
        return;
    QWidget *last = tabbedWindows(key).last();
    for (QWidget *other : joining) {
        join(last, other);
        last = other;
    }
    makeKeyAndOrderFront(key);
}

}  // namespace platform

#include "platform/documents/window_tabs.h"

#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <vector>

namespace platform {

namespace {

constexpr char kIdentifierProperty[] = "tabbingIdentifier";
constexpr char kModeProperty[] = "tabbingMode";

using Group = QList<QPointer<QWidget>>;

std::vector<Group> &groups() {
    static std::vector<Group> all;
    return all;
}

// Drops the windows that went or were closed, and the groups left empty.
void prune() {
    auto &all = groups();
    for (Group &group : all)
        group.removeIf([](const QPointer<QWidget> &window) { return !window || !window->isVisible(); });
    std::erase_if(all, [](const Group &group) { return group.isEmpty(); });
}

Group *groupOf(const QWidget *window) {
    for (Group &group : groups())
        if (group.contains(window))
            return &group;
    return nullptr;
}

}  // namespace

void WindowTabs::setTabbingIdentifier(QWidget *window, const QString &identifier) {
    if (window)
        window->setProperty(kIdentifierProperty, identifier);
}

QString WindowTabs::tabbingIdentifier(const QWidget *window) {
    return window ? window->property(kIdentifierProperty).toString() : QString();
}

void WindowTabs::setTabbingMode(QWidget *window, TabbingMode mode) {
    if (window)
        window->setProperty(kModeProperty, int(mode));
}

WindowTabs::TabbingMode WindowTabs::tabbingMode(const QWidget *window) {
    const int mode = window ? window->property(kModeProperty).toInt() : 0;
    return mode == int(TabbingMode::Preferred) || mode == int(TabbingMode::Disallowed) ? TabbingMode(mode)
                                                                                        : TabbingMode::Automatic;
}

void WindowTabs::addTabbedWindow(QWidget *anchor, QWidget *window) {
    if (!anchor || !window || anchor == window)
        return;
    anchor = anchor->window();
    window = window->window();
    prune();
    if (Group *old = groupOf(window))
        old->removeAll(window);
    prune();
    Group *group = groupOf(anchor);
    if (!group) {
        groups().push_back({anchor});
        group = &groups().back();
    }
    group->insert(group->indexOf(anchor) + 1, window);

    // One place on the screen for the whole group.
    if (anchor->isFullScreen()) {
        window->showFullScreen();
    } else if (anchor->isMaximized()) {
        window->showMaximized();
    } else {
        window->setGeometry(anchor->geometry());
        window->showNormal();
    }
    makeKeyAndOrderFront(window);
}

QList<QWidget *> WindowTabs::tabbedWindows(QWidget *window) {
    if (!window)
        return {};
    window = window->window();
    prune();
    const Group *group = groupOf(window);
    if (!group)
        return {window};
    QList<QWidget *> windows;
    for (const QPointer<QWidget> &member : *group)
        windows.append(member);
    return windows;
}

void WindowTabs::makeKeyAndOrderFront(QWidget *window) {
    if (!window)
        return;
    window = window->window();
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace platform

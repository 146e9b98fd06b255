#include "platform/runtime/action_router.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

// The property that holds an item's action name.
constexpr char kActionProperty[] = "orvaneAction";
// A responder that names a next responder may, by mistake, name one before
// it; the walk gives up after this many steps rather than loop.
constexpr int kLongestChain = 256;

std::vector<Responder *> &applicationResponders() {
    static std::vector<Responder *> responders;
    return responders;
}

QWidget *firstResponder(QWidget *first) {
    if (first)
        return first;
    if (QWidget *focus = QApplication::focusWidget())
        return focus;
    QWidget *active = QApplication::activeWindow();
    // A tab group's commands go to its selected tab, as if it were the window.
    if (const auto *holder = dynamic_cast<const Responder *>(active))
        if (QWidget *content = holder->activeContent())
            return content->focusWidget() ? content->focusWidget() : content;
    return active;
}

}  // namespace

Responder *ActionRouter::targetForAction(const QString &action, QWidget *first) {
    if (action.isEmpty())
        return nullptr;
    QWidget *widget = firstResponder(first);
    for (int step = 0; widget && step < kLongestChain; step++) {
        auto *responder = dynamic_cast<Responder *>(widget);
        if (responder && responder->respondsToAction(action))
            return responder;
        QWidget *next = responder ? responder->nextResponder() : nullptr;
        widget = next ? next : widget->parentWidget();
    }
    for (Responder *responder : applicationResponders())
        if (responder->respondsToAction(action))
            return responder;
    return nullptr;
}

bool ActionRouter::sendAction(const QString &action, QObject *sender, QWidget *first) {
    Responder *target = targetForAction(action, first);
    if (!target)
        return false;
    target->performAction(action, sender);
    return true;
}

void ActionRouter::addApplicationResponder(Responder *responder) {
    auto &responders = applicationResponders();
    if (responder && std::find(responders.begin(), responders.end(), responder) == responders.end())
        responders.push_back(responder);
}

void ActionRouter::removeApplicationResponder(Responder *responder) {
    auto &responders = applicationResponders();
    responders.erase(std::remove(responders.begin(), responders.end(), responder), responders.end());
}

void ActionRouter::setAction(QAction *item, const QString &action) {
    if (!item)
        return;
    const bool connected = item->property(kActionProperty).isValid();
    item->setProperty(kActionProperty, action);
    if (connected)
        return;
    QObject::connect(item, &QAction::triggered, item, [item] {
        sendAction(actionOf(item), item);
    });
}

QString ActionRouter::actionOf(const QAction *item) {
    return item ? item->property(kActionProperty).toString() : QString();
}

void ActionRouter::validateMenu(QMenu *menu, QWidget *first) {
    if (!menu)
        return;
    for (QAction *item : menu->actions()) {
        const QString action = actionOf(item);
        if (action.isEmpty())
            continue;
        Responder *target = targetForAction(action, first);
        item->setEnabled(target && target->validateAction(action, item));
    }
}

void ActionRouter::validateOnShow(QMenu *menu) {
    if (!menu)
        return;
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { validateMenu(menu); });
}

}  // namespace platform

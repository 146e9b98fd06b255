#include "platform/action_router.h"

#include <QAction>
#include <QApplication>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QWidget>

namespace platform {

namespace {

const char *const kActionProperty = "orvaneAction";

QList<Responder *> &applicationResponders() {
    static QList<Responder *> responders;
    return responders;
}

QWidget *firstResponder(QWidget *first) {
    if (first)
        return first;
    if (QWidget *focus = QApplication::focusWidget())
        return focus;
    return QApplication::activeWindow();
}

}  // namespace

Responder *ActionRouter::targetForAction(const QString &action, QWidget *first) {
    if (action.isEmpty())
        return nullptr;
    // Up the widgets to the window, each responder naming its next one.
    QWidget *widget = firstResponder(first);
    for (int steps = 0; widget && steps < 1000; steps++) {
        auto *responder = dynamic_cast<Responder *>(widget);
        if (responder && responder->respondsToAction(action))
            return responder;
        QWidget *next = responder ? responder->nextResponder() : nullptr;
        if (!next && widget->isWindow())
            break;
        widget = next ? next : widget->parentWidget();
    }
    for (Responder *responder : std::as_const(applicationResponders()))
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
    if (responder && !applicationResponders().contains(responder))
        applicationResponders().append(responder);
}

void ActionRouter::removeApplicationResponder(Responder *responder) {
    applicationResponders().removeAll(responder);
}

void ActionRouter::setAction(QAction *item, const QString &action) {
    if (!item || !actionOf(item).isEmpty())
        return;
    item->setProperty(kActionProperty, action);
    QObject::connect(item, &QAction::triggered, item, [item, action] { sendAction(action, item); });
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

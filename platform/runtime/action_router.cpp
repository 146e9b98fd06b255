#include "platform/runtime/action_router.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
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

// A menu bar or a menu holds the keyboard only while the user works the
// menus: it is nobody's first responder.
bool isMenu(const QWidget *widget) {
    return qobject_cast<const QMenuBar *>(widget) || qobject_cast<const QMenu *>(widget);
}

bool isPopup(const QWidget *window) { return window && window->windowType() == Qt::Popup; }

// The widget of each window that last had the keyboard, menus aside: the
// window's first responder while its menu bar has the focus (after Escape
// closed a menu, Qt leaves the keyboard with the bar) or nothing has.
class FocusMemory : public QObject {
public:
    // The one memory, following the application's focus from the first call.
    static FocusMemory *shared() {
        static QPointer<FocusMemory> memory;
        if (!memory) {
            auto *application = qobject_cast<QApplication *>(QCoreApplication::instance());
            if (!application)
                return nullptr;
            memory = new FocusMemory(application);
            if (QWidget *focus = QApplication::focusWidget())
                memory->remember(focus);
        }
        return memory;
    }

    QWidget *firstResponderOf(QWidget *window) const {
        if (!window)
            return nullptr;
        QWidget *remembered = m_last.value(window).data();
        if (remembered && remembered->window() == window && remembered->isVisible() && remembered->isEnabled())
            return remembered;
        QWidget *focus = window->focusWidget();
        return focus && !isMenu(focus) ? focus : nullptr;
    }

private:
    explicit FocusMemory(QApplication *application) : QObject(application) {
        connect(application, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { remember(now); });
    }

    void remember(QWidget *widget) {
        if (!widget || isMenu(widget) || isPopup(widget->window()))
            return;
        // Windows that went leave their entries behind; they go here.
        m_last.removeIf([](const auto &entry) { return entry.value().isNull(); });
        m_last.insert(widget->window(), widget);
    }

    QHash<const QWidget *, QPointer<QWidget>> m_last;
};

}  // namespace

QWidget *ActionRouter::firstResponder(QWidget *first) {
    if (first)
        return first;
    FocusMemory *memory = FocusMemory::shared();
    QWidget *focus = QApplication::focusWidget();
    if (focus && !isMenu(focus))
        return focus;
    // A menu that has the keyboard (one worked with the arrow keys takes it)
    // is a window of its own, a popup: the window it stands for is the
    // active one, which a popup never becomes.
    QWidget *window = focus && !isPopup(focus->window()) ? focus->window() : QApplication::activeWindow();
    if (QWidget *remembered = memory ? memory->firstResponderOf(window) : nullptr)
        return remembered;
    // A tab group's commands go to its selected tab, as if it were the window.
    if (const auto *holder = dynamic_cast<const Responder *>(window))
        if (QWidget *content = holder->activeContent())
            return content->focusWidget() ? content->focusWidget() : content;
    return window;
}

void ActionRouter::returnKeyboardFromMenuBar() {
    if (QApplication::activePopupWidget())
        return;  // another menu took over (the next one of the bar)
    QWidget *focus = QApplication::focusWidget();
    if (!qobject_cast<QMenuBar *>(focus))
        return;
    FocusMemory *memory = FocusMemory::shared();
    if (QWidget *owner = memory ? memory->firstResponderOf(focus->window()) : nullptr)
        owner->setFocus(Qt::PopupFocusReason);
}

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
    FocusMemory::shared();
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
    // Following the focus from now on, before any menu shows.
    FocusMemory::shared();
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { validateMenu(menu); });
    // Once the menu has closed (and Qt has given its bar the keyboard, after
    // Escape), the keyboard goes back to where the user was typing.
    QObject::connect(menu, &QMenu::aboutToHide, menu,
                     [menu] { QTimer::singleShot(0, menu, [] { returnKeyboardFromMenuBar(); }); });
}

}  // namespace platform

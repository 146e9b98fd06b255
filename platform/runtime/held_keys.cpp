#include "platform/runtime/held_keys.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <vector>

#include <xcb/xcb.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// The bit of an event's type that says another client sent it.
constexpr uint8_t kSent = 0x80;
// What the unused byte of a key sent on holds, to tell it from a key
// another program sent.
constexpr uint8_t kOwnMark = 0x4f;
// Keys sent on come back in milliseconds: one not back by then was lost
// with its window, and the keys after it wait for it no longer.
constexpr auto kLostAfter = std::chrono::milliseconds(500);

static_assert(sizeof(xcb_key_press_event_t) == 32, "an event sent is 32 bytes");

// Watches the X connection's events before Qt handles them.
class KeyHold : public QObject, public QAbstractNativeEventFilter {
public:
    static KeyHold *instance() {
        if (!s_hold) {
            auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
            if (!x11 || !x11->connection())
                return nullptr;
            s_hold = new KeyHold(x11->connection());
        }
        return s_hold;
    }

    void holdFor(QWidget *question) {
        letGo(m_question);
        m_question = question;
        m_focused = false;
    }

    void letGo(QWidget *question) {
        if (!question || question != m_question)
            return;
        m_question = nullptr;
        // Never given the focus: the keys go where they were sent, which
        // the question no longer blocks.
        for (const xcb_key_press_event_t &key : std::exchange(m_held, {}))
            send(key, key.event);
    }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override {
        if (type != "xcb_generic_event_t")
            return false;
        auto *event = static_cast<xcb_generic_event_t *>(message);
        const uint8_t kind = event->response_type & ~kSent;
        if (kind == XCB_FOCUS_IN) {
            const auto *focus = reinterpret_cast<const xcb_focus_in_event_t *>(event);
            const xcb_window_t question = questionWindow();
            if (question && focus->event == question && focus->detail != XCB_NOTIFY_DETAIL_POINTER &&
                !m_focused) {
                // Sent now, they come back after this event, to the window
                // it gives the focus to.
                m_focused = true;
                for (const xcb_key_press_event_t &key : std::exchange(m_held, {}))
                    send(key, question);
            }
            return false;
        }
        if (kind != XCB_KEY_PRESS && kind != XCB_KEY_RELEASE)
            return false;
        auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
        if ((event->response_type & kSent) && key->pad0 == kOwnMark) {
            key->pad0 = 0;
            m_inFlight = std::max(m_inFlight - 1, 0);
            // Its window gone meanwhile (the question answered): it goes
            // to the window with the focus.
            if (!isWindowOfOurs(key->event))
                if (QWindow *focus = QGuiApplication::focusWindow())
                    key->event = xcb_window_t(focus->winId());
            return false;
        }
        // Keys sent on are still on their way: this one goes after them.
        if (m_inFlight > 0 && Clock::now() - m_lastSent > kLostAfter)
            m_inFlight = 0;
        if (m_inFlight > 0) {
            const xcb_window_t question = questionWindow();
            send(*key, question && m_focused ? question : key->event);
            return true;
        }
        if (m_question && !m_focused && key->event != questionWindow()) {
            m_held.push_back(*key);
            return true;
        }
        return false;
    }

private:
    explicit KeyHold(xcb_connection_t *connection) : QObject(qGuiApp), m_connection(connection) {
        qGuiApp->installNativeEventFilter(this);
    }
    ~KeyHold() override {
        if (qGuiApp)
            qGuiApp->removeNativeEventFilter(this);
        s_hold = nullptr;
    }

    xcb_window_t questionWindow() const { return m_question ? xcb_window_t(m_question->internalWinId()) : 0; }

    static bool isWindowOfOurs(xcb_window_t window) {
        const QWindowList windows = QGuiApplication::allWindows();
        for (QWindow *shown : windows)
            if (shown->handle() && xcb_window_t(shown->winId()) == window)
                return true;
        return false;
    }

    // Sent by the X server to this program, as typed, for `window`: an event
    // sent with no mask goes to the client that made the window.
    void send(xcb_key_press_event_t key, xcb_window_t window) {
        key.response_type &= ~kSent;
        key.event = window;
        key.pad0 = kOwnMark;
        xcb_send_event(m_connection, false, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&key));
        xcb_flush(m_connection);
        m_inFlight++;
        m_lastSent = Clock::now();
    }

    static inline KeyHold *s_hold = nullptr;
    xcb_connection_t *m_connection;
    QPointer<QWidget> m_question;
    bool m_focused = false;
    std::vector<xcb_key_press_event_t> m_held;
    int m_inFlight = 0;  // keys sent on that have not come back yet
    Clock::time_point m_lastSent;
};

}  // namespace

void HeldKeys::holdFor(QWidget *question) {
    if (KeyHold *hold = KeyHold::instance())
        hold->holdFor(question);
}

void HeldKeys::letGo(QWidget *question) {
    if (KeyHold *hold = KeyHold::instance())
        hold->letGo(question);
}

}  // namespace platform

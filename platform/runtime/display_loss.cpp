#include "platform/runtime/display_loss.h"

#include <QGuiApplication>

#include <exception>
#include <utility>

#include <xcb/xcb.h>

#include "platform/runtime/log.h"

namespace platform {

namespace {

// The watch's `settle` while one lives (main thread only).
std::function<void()> *s_settle = nullptr;

// Made on the main thread by the first watch, and destroyed by exit() on
// that thread before anything else is.
struct AtExit {
    ~AtExit() {
        std::function<void()> *settle = std::exchange(s_settle, nullptr);
        if (!settle || !DisplayLossWatch::connectionBroken())
            return;
        qCWarning(lcPlatform, "The connection to the display broke (its X server ended): the documents are settled "
                              "as at the end of a session before the program ends");
        // An exception cannot leave a destructor that exit() runs; what
        // settling kept before it stays kept.
        try {
            (*settle)();
        } catch (const std::exception &failure) {
            qCCritical(lcPlatform, "Settling the documents failed: %s", failure.what());
        } catch (...) {
            qCCritical(lcPlatform, "Settling the documents failed");
        }
    }
};

}  // namespace

DisplayLossWatch::DisplayLossWatch(std::function<void()> settle) : m_settle(std::move(settle)) {
    static thread_local AtExit atExit;
    (void)atExit;
    s_settle = &m_settle;
}

DisplayLossWatch::~DisplayLossWatch() {
    if (s_settle == &m_settle)
        s_settle = nullptr;
}

bool DisplayLossWatch::connectionBroken() {
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && x11->connection() && xcb_connection_has_error(x11->connection()) != 0;
}

}  // namespace platform

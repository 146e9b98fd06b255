#include "e2e/window_manager.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "support/qt_wait.h"

#if defined(ORVANE_HAVE_XTEST)
#include <X11/Xatom.h>

#include "e2e/x_windows.h"
#endif

using namespace std::chrono_literals;

namespace testing_x {

#if defined(ORVANE_HAVE_XTEST)

namespace {

DisplayHandle openDisplay() { return DisplayHandle(XOpenDisplay(nullptr)); }

// A window property of 32-bit items (longs to Xlib).
std::vector<long> cardinals(Display *display, Window window, const char *name, Atom type) {
    std::vector<long> values;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False, type, &actual, &format,
                           &count, &left, &data) == Success &&
        data && format == 32) {
        const auto *items = reinterpret_cast<const long *>(data);
        values.assign(items, items + count);
    }
    if (data)
        XFree(data);
    return values;
}

int ignoreErrors(Display *, XErrorEvent *) { return 0; }

// Whether a frame holds the window (its parent is not the root); nothing
// when the X server no longer knows it.
std::optional<bool> inFrame(Display *x, Window window) {
    Window root = None, parent = None, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x, window, &root, &parent, &children, &count))
        return std::nullopt;
    if (children)
        XFree(children);
    return parent != root;
}

// Whether a window manager runs: the root names a window of it, which names
// itself (a manager that ended leaves the root's property behind, naming a
// window that is gone).
bool managed() {
    DisplayHandle display = openDisplay();
    if (!display)
        return false;
    const std::vector<long> named =
        cardinals(display.get(), DefaultRootWindow(display.get()), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (named.empty())
        return false;
    XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    const std::vector<long> itself =
        cardinals(display.get(), Window(named.front()), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    XSync(display.get(), False);
    XSetErrorHandler(previous);
    return !itself.empty() && itself.front() == named.front();
}

// Whether the window manager frames a window shown now. A manager claims the
// screen (and names itself on the root) some time before it takes the
// windows shown to it: the requests to show a window that come meanwhile are
// dropped for good, and on a loaded machine that time is long enough for a
// test's first windows. A probe window is shown, again after each half
// second without a frame, until the manager frames it.
bool framesNewWindows(std::chrono::milliseconds within) {
    DisplayHandle display = openDisplay();
    if (!display)
        return false;
    Display *x = display.get();
    const Window root = DefaultRootWindow(x);
    const Window probe = XCreateSimpleWindow(x, root, 0, 0, 16, 16, 0, 0, 0);
    XStoreName(x, probe, "window manager probe");
    const auto framed = [&] { return inFrame(x, probe).value_or(false); };
    bool done = false;
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < within.count()) {
        XMapWindow(x, probe);
        XSync(x, False);
        done = testing_qt::spinUntil(framed, std::min(500ms, within));
    }
    XDestroyWindow(x, probe);
    XSync(x, False);
    return done;
}

}  // namespace

WindowManager::WindowManager() {
    if (managed()) {
        m_running = true;  // one runs already: it is not this object's to stop
        return;
    }
    m_openbox.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_openbox.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_openbox.waitForStarted(10000))
        return;
    if (!testing_qt::spinUntil(managed, 10s))
        return;
    m_running = framesNewWindows(20s);
    if (!m_running)
        std::fprintf(stderr, "openbox claimed the screen but framed no window shown to it within 20 s\n");
}

WindowManager::~WindowManager() {
    if (m_openbox.state() == QProcess::NotRunning)
        return;
    m_openbox.terminate();
    if (!m_openbox.waitForFinished(10000)) {
        m_openbox.kill();
        m_openbox.waitForFinished();
    }
    // The windows left go back to the plain screen before the next test.
    testing_qt::spinUntil([] { return !managed(); }, 5s);
}

namespace {

bool s_refused = false;

int noteRefusal(Display *, XErrorEvent *error) {
    s_refused = s_refused || error->error_code == BadAccess;
    return 0;
}

}  // namespace

// Only one client may hold the redirection of the root's children: a
// window manager that runs has it, and the request is refused.
WindowsKeptOff::WindowsKeptOff() {
    Display *x = XOpenDisplay(nullptr);
    if (!x)
        return;
    m_display = x;
    s_refused = false;
    XErrorHandler previous = XSetErrorHandler(noteRefusal);
    XSelectInput(x, DefaultRootWindow(x), SubstructureRedirectMask);
    XSync(x, False);
    XSetErrorHandler(previous);
    m_keeping = !s_refused;
}

WindowsKeptOff::~WindowsKeptOff() {
    if (m_display)
        XCloseDisplay(static_cast<Display *>(m_display));
}

bool WindowsKeptOff::windowAsked() {
    auto *x = static_cast<Display *>(m_display);
    while (m_keeping && XPending(x)) {
        XEvent event;
        XNextEvent(x, &event);
        m_asked = m_asked || event.type == MapRequest;
    }
    return m_asked;
}

std::optional<QRect> frameOfWindowTitled(const std::string &title) {
    DisplayHandle display = openDisplay();
    if (!display)
        return std::nullopt;
    const Window rootWindow = DefaultRootWindow(display.get());
    Window frame = findTitled(display.get(), rootWindow, title);
    if (frame == None)
        return std::nullopt;
    // The frame is the window's ancestor that is a child of the root.
    for (int depth = 0; depth < 16; depth++) {
        Window root = None, parent = None, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display.get(), frame, &root, &parent, &children, &count))
            return std::nullopt;
        if (children)
            XFree(children);
        if (parent == root || parent == None)
            break;
        frame = parent;
    }
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display.get(), frame, &attributes))
        return std::nullopt;
    const int border = attributes.border_width;
    return QRect(attributes.x, attributes.y, attributes.width + 2 * border, attributes.height + 2 * border);
}

std::optional<QRect> settledFrameOfWindowTitled(const std::string &title,
                                                const std::function<bool(const QRect &)> &wanted) {
    std::optional<QRect> frame, last;
    const bool settled = testing_qt::spinUntil(
        [&] {
            last = std::exchange(frame, frameOfWindowTitled(title));
            testing_qt::spinFor(100ms);
            return frame && last == frame && (!wanted || wanted(*frame));
        },
        30s);
    if (settled)
        return frame;
    if (frame)
        std::fprintf(stderr, "The frame of the window titled \"%s\" last stood at %dx%d at (%d, %d)\n", title.c_str(),
                     frame->width(), frame->height(), frame->x(), frame->y());
    else
        std::fprintf(stderr, "No window titled \"%s\" is shown\n", title.c_str());
    return std::nullopt;
}

std::string describeWindow(unsigned long window) {
    DisplayHandle display = openDisplay();
    if (!display || window == 0)
        return {};
    XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    XWindowAttributes attributes;
    std::string said;
    if (!XGetWindowAttributes(display.get(), Window(window), &attributes)) {
        said = "gone from the X server";
    } else {
        said = attributes.map_state == IsViewable     ? "mapped"
               : attributes.map_state == IsUnviewable ? "mapped in an unmapped parent"
                                                      : "not mapped";
        if (const std::optional<bool> framed = inFrame(display.get(), Window(window)))
            said += *framed ? ", in a frame" : ", no frame";
    }
    XSync(display.get(), False);
    XSetErrorHandler(previous);
    return said + (managed() ? ", a window manager runs" : ", no window manager runs");
}

QRect workArea() {
    DisplayHandle display = openDisplay();
    if (!display)
        return {};
    const std::vector<long> area =
        cardinals(display.get(), DefaultRootWindow(display.get()), "_NET_WORKAREA", XA_CARDINAL);
    if (area.size() >= 4)
        return QRect(int(area[0]), int(area[1]), int(area[2]), int(area[3]));
    const int screen = DefaultScreen(display.get());
    return QRect(0, 0, DisplayWidth(display.get(), screen), DisplayHeight(display.get(), screen));
}

bool askForFullScreen(unsigned long window, bool fullScreen) {
    DisplayHandle display = openDisplay();
    if (!display || !window)
        return false;
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = XInternAtom(display.get(), "_NET_WM_STATE", False);
    request.xclient.format = 32;
    request.xclient.data.l[0] = fullScreen ? 1 : 0;  // add, remove
    request.xclient.data.l[1] = long(XInternAtom(display.get(), "_NET_WM_STATE_FULLSCREEN", False));
    request.xclient.data.l[3] = 2;  // from a pager: the user's own doing
    const bool sent = XSendEvent(display.get(), DefaultRootWindow(display.get()), False,
                                 SubstructureRedirectMask | SubstructureNotifyMask, &request) != 0;
    XFlush(display.get());
    return sent;
}

#else

WindowManager::WindowManager() = default;
WindowManager::~WindowManager() = default;
WindowsKeptOff::WindowsKeptOff() = default;
WindowsKeptOff::~WindowsKeptOff() = default;
bool WindowsKeptOff::windowAsked() { return false; }
std::optional<QRect> frameOfWindowTitled(const std::string &) { return std::nullopt; }
std::string describeWindow(unsigned long) { return {}; }
std::optional<QRect> settledFrameOfWindowTitled(const std::string &, const std::function<bool(const QRect &)> &) {
    return std::nullopt;
}
QRect workArea() { return {}; }

bool askForFullScreen(unsigned long, bool) { return false; }

#endif

}  // namespace testing_x

#include "e2e/x_keyboard.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#if defined(ORVANE_HAVE_XTEST)
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "e2e/x_windows.h"
#endif

namespace testing_x {

namespace {

// The display OnDisplay names; empty for $DISPLAY's.
std::string s_display;

}  // namespace

OnDisplay::OnDisplay(std::string name) : m_before(std::exchange(s_display, std::move(name))) {}

OnDisplay::~OnDisplay() { s_display = m_before; }

#if defined(ORVANE_HAVE_XTEST)

namespace {

Display *openNamedDisplay() { return XOpenDisplay(s_display.empty() ? nullptr : s_display.c_str()); }

DisplayHandle openDisplay() {
    DisplayHandle display(openNamedDisplay());
    int event = 0, error = 0, major = 0, minor = 0;
    if (display && !XTestQueryExtension(display.get(), &event, &error, &major, &minor))
        display.reset();
    return display;
}

KeySym keySymFor(char c) {
    if (c == '\n')
        return XK_Return;
    if (c == ' ')
        return XK_space;
    if (c == '.')
        return XK_period;
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return KeySym(c);  // their key symbols are their ASCII codes
    return NoSymbol;
}

}  // namespace

std::optional<std::string> titleOf(Display *display, Window window) {
    // The title as UTF-8, where programs put one; the old Latin-1 one else.
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, name, 0, 4096, False, utf8, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        const bool found = type == utf8 && format == 8;
        std::string title(reinterpret_cast<const char *>(data), count);
        XFree(data);
        if (found)
            return title;
    }
    char *fetched = nullptr;
    if (XFetchName(display, window, &fetched) && fetched) {
        std::string title(fetched);
        XFree(fetched);
        return title;
    }
    return std::nullopt;
}

Window findTitled(Display *display, Window parent, const std::string &title) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, parent, &attributes) && attributes.map_state == IsViewable) {
        if (const std::optional<std::string> name = titleOf(display, parent))
            if (name->find(title) != std::string::npos)
                return parent;
    }
    Window root = None, up = None, *children = nullptr;
    unsigned int count = 0;
    Window found = None;
    if (XQueryTree(display, parent, &root, &up, &children, &count)) {
        for (unsigned int i = 0; i < count && found == None; i++)
            found = findTitled(display, children[i], title);
        if (children)
            XFree(children);
    }
    return found;
}

bool canType() { return bool(openDisplay()); }

bool focusWindowTitled(const std::string &title) {
    DisplayHandle display = openDisplay();
    if (!display)
        return false;
    const Window window = findTitled(display.get(), DefaultRootWindow(display.get()), title);
    if (window == None)
        return false;
    XRaiseWindow(display.get(), window);
    XSetInputFocus(display.get(), window, RevertToParent, CurrentTime);
    XSync(display.get(), False);
    return true;
}

std::string focusedWindowTitle() {
    DisplayHandle display = openDisplay();
    if (!display)
        return {};
    Window window = None;
    int revert = 0;
    XGetInputFocus(display.get(), &window, &revert);
    // The focus may sit on a window inside the titled one.
    for (int depth = 0; window != None && window != PointerRoot && depth < 16; depth++) {
        if (std::optional<std::string> title = titleOf(display.get(), window))
            return *title;
        Window root = None, parent = None, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display.get(), window, &root, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        if (parent == root)
            break;
        window = parent;
    }
    return {};
}

std::string topWindowTitle() {
    DisplayHandle display = openDisplay();
    if (!display)
        return {};
    Window root = None, parent = None, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display.get(), DefaultRootWindow(display.get()), &root, &parent, &children, &count))
        return {};
    std::string title;
    // Bottom to top: the last one shown is the topmost.
    for (unsigned int i = count; i-- > 0 && title.empty();) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display.get(), children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        if (const std::optional<std::string> name = titleOf(display.get(), children[i]))
            title = *name;
        else
            break;  // an untitled window on top
    }
    if (children)
        XFree(children);
    return title;
}

std::vector<std::string> shownWindowTitles() {
    std::vector<std::string> titles;
    DisplayHandle display = openDisplay();
    if (!display)
        return titles;
    Window root = None, parent = None, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display.get(), DefaultRootWindow(display.get()), &root, &parent, &children, &count))
        return titles;
    for (unsigned int i = 0; i < count; i++) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display.get(), children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        if (std::optional<std::string> name = titleOf(display.get(), children[i]))
            titles.push_back(std::move(*name));
    }
    if (children)
        XFree(children);
    return titles;
}

CoveringWindow::CoveringWindow() {
    Display *display = openNamedDisplay();
    if (!display)
        return;
    m_display = display;
    const int screen = DefaultScreen(display);
    const Window window =
        XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, unsigned(DisplayWidth(display, screen)),
                            unsigned(DisplayHeight(display, screen)), 0, BlackPixel(display, screen),
                            WhitePixel(display, screen));
    m_window = window;
    XStoreName(display, window, "Another program");
    XMapRaised(display, window);
    XSync(display, False);
    m_shown = true;
}

CoveringWindow::~CoveringWindow() {
    if (!m_display)
        return;
    auto *display = static_cast<Display *>(m_display);
    XDestroyWindow(display, Window(m_window));
    XCloseDisplay(display);
}

void CoveringWindow::raise() {
    if (!m_display)
        return;
    auto *display = static_cast<Display *>(m_display);
    XRaiseWindow(display, Window(m_window));
    XSync(display, False);
}

bool typeText(const std::string &text) {
    DisplayHandle display = openDisplay();
    if (!display)
        return false;
    for (char c : text) {
        const KeySym symbol = keySymFor(c);
        const KeyCode key = symbol == NoSymbol ? 0 : XKeysymToKeycode(display.get(), symbol);
        if (key == 0)
            return false;
        XTestFakeKeyEvent(display.get(), key, True, CurrentTime);
        XTestFakeKeyEvent(display.get(), key, False, CurrentTime);
        XSync(display.get(), False);
    }
    return true;
}

bool pressKeys(const std::vector<std::string> &keys) {
    DisplayHandle display = openDisplay();
    if (!display)
        return false;
    std::vector<KeyCode> codes;
    for (const std::string &name : keys) {
        const KeySym symbol = XStringToKeysym(name.c_str());
        const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display.get(), symbol);
        if (code == 0)
            return false;
        codes.push_back(code);
    }
    for (KeyCode code : codes)
        XTestFakeKeyEvent(display.get(), code, True, CurrentTime);
    for (auto code = codes.rbegin(); code != codes.rend(); ++code)
        XTestFakeKeyEvent(display.get(), *code, False, CurrentTime);
    XSync(display.get(), False);
    return true;
}

#else

bool canType() { return false; }
bool focusWindowTitled(const std::string &) { return false; }
std::string focusedWindowTitle() { return {}; }
std::string topWindowTitle() { return {}; }
CoveringWindow::CoveringWindow() = default;
CoveringWindow::~CoveringWindow() = default;
void CoveringWindow::raise() {}
bool typeText(const std::string &) { return false; }
std::vector<std::string> shownWindowTitles() { return {}; }
bool pressKeys(const std::vector<std::string> &) { return false; }

#endif

}  // namespace testing_x

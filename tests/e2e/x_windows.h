// What the end-to-end tests' helpers for the X display share: a connection
// that closes itself, and the search for a shown window by its title. Only
// where the display's test extension is built in (ORVANE_HAVE_XTEST).
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <string>

namespace testing_x {

struct DisplayCloser {
    void operator()(Display *display) const { XCloseDisplay(display); }
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

// The window's title (UTF-8); nothing when it has none.
std::optional<std::string> titleOf(Display *display, Window window);

// A viewable window below `parent` (itself included) whose title holds
// `title`; None when there is none.
Window findTitled(Display *display, Window parent, const std::string &title);

}  // namespace testing_x

// The keyboard of the X display the end-to-end tests run on, as a person
// uses it: keys typed (one after another, or pressed together) through the
// server's test extension, to the window that has the focus, the focus given and looked at, and the order of the
// windows on screen, by window title. The program under test is another process, so Qt's own event
// simulation cannot reach it.
#pragma once

#include <string>
#include <vector>

namespace testing_x {

// Whether keys can be typed: a display in $DISPLAY with the test extension.
bool canType();

// Gives the keyboard focus to a shown window whose title holds `title`, as
// a click would (there is no window manager to do it); false when there is
// no such window yet.
bool focusWindowTitled(const std::string &title);

// The title of the window that has the keyboard focus; empty when none has.
std::string focusedWindowTitle();

// The title of the topmost window shown; empty when none is titled.
std::string topWindowTitle();

// The titles of the top-level windows shown, bottom to top (untitled ones
// left out).
std::vector<std::string> shownWindowTitles();

// A window of another program, over the whole screen while it lives.
class CoveringWindow {
public:
    CoveringWindow();
    ~CoveringWindow();
    CoveringWindow(const CoveringWindow &) = delete;
    CoveringWindow &operator=(const CoveringWindow &) = delete;
    bool isShown() const { return m_shown; }
    // Raises it over every other window again.
    void raise();

private:
    void *m_display = nullptr;
    unsigned long m_window = 0;
    bool m_shown = false;
};

// While it lives, the functions here type into and look at the X display
// `name` (":7"), a display the test started itself, not the one in
// $DISPLAY. Main thread.
class OnDisplay {
public:
    explicit OnDisplay(std::string name);
    ~OnDisplay();
    OnDisplay(const OnDisplay &) = delete;
    OnDisplay &operator=(const OnDisplay &) = delete;

private:
    std::string m_before;
};

// Types `text` (lower-case letters, digits, blanks, full stops and new
// lines); false when the display refused or a character has no key.
bool typeText(const std::string &text);

// Presses the keys named (X key symbol names: "Control_L", "Shift_L", "Tab",
// "Next", "Prior") together, in order, and lets them go in the reverse
// order; false when the display refused or a name has no key.
bool pressKeys(const std::vector<std::string> &keys);

}  // namespace testing_x

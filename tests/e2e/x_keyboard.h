// The keyboard of the X display the end-to-end tests run on, as a person
// uses it: keys typed through the server's test extension, to the window
// that has the focus, and the focus given, taken and looked at by window
// title. The program under test is another process, so Qt's own event
// simulation cannot reach it.
#pragma once

#include <string>

namespace testing_x {

// Whether keys can be typed: a display in $DISPLAY with the test extension.
bool canType();

// Gives the keyboard focus to a shown window whose title holds `title`, as
// a click would (there is no window manager to do it); false when there is
// no such window yet.
bool focusWindowTitled(const std::string &title);

// The title of the window that has the keyboard focus; empty when none has.
std::string focusedWindowTitle();

// Takes the keyboard focus from every window, as a click on the desktop
// would.
bool dropFocus();

// Types `text` (lower-case letters, digits, blanks and new lines); false when
// the display refused or a character has no key.
bool typeText(const std::string &text);

}  // namespace testing_x

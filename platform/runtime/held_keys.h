// Keys the X server sends to the program's windows while a question the user
// did not ask for is on its way to the keyboard's focus.
#pragma once

class QWidget;

namespace platform {

// A modal question blocks the program's other windows as soon as it is
// shown, but the X server sends the keys to the window that had the focus
// until the window manager has given the question's window the focus, a
// few milliseconds later: Qt drops the keys that come to a blocked window,
// before any event filter sees them. While a question is held for, such
// keys are kept from Qt and, once its window has the focus, sent to it in
// the order they were typed (the keys that come meanwhile with them), where
// the question decides whose they are; a question closed before it got the
// focus sends them back to the windows they came to, no longer blocked.
// Nothing is held off X11.
namespace HeldKeys {

// From now until `question` has the keyboard's focus (or is let go), on
// the main thread.
void holdFor(QWidget *question);
// `question` has been answered and hidden.
void letGo(QWidget *question);

}  // namespace HeldKeys

}  // namespace platform

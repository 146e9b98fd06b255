// A window manager on the X display the end-to-end tests run on (openbox, as
// a desktop has one): it frames each window with a title bar and places new
// windows itself. And the frames as the X server has them: a window's whole
// frame, decorations included, and the area of the screen windows may use.
#pragma once

#include <QProcess>
#include <QRect>

#include <optional>
#include <string>

namespace testing_x {

// openbox on $DISPLAY while it lives, once it frames the windows shown to it
// (a window manager that runs already is left to run).
class WindowManager {
public:
    WindowManager();
    ~WindowManager();
    WindowManager(const WindowManager &) = delete;
    WindowManager &operator=(const WindowManager &) = delete;
    // Whether a window manager runs: false when openbox is not installed,
    // or did not take the screen.
    bool isRunning() const { return m_running; }

private:
    QProcess m_openbox;
    bool m_running = false;
};

// A window manager that shows no window: it takes every request of a
// program to show a window, as a manager does, and grants none, so that the
// program's windows stay off the screen while it lives (then the screen is
// as it was).
class WindowsKeptOff {
public:
    WindowsKeptOff();
    ~WindowsKeptOff();
    WindowsKeptOff(const WindowsKeptOff &) = delete;
    WindowsKeptOff &operator=(const WindowsKeptOff &) = delete;
    // False without a display, or when another window manager runs.
    bool isKeeping() const { return m_keeping; }
    // Whether a program asked for a window to be shown (and was refused).
    bool windowAsked();

private:
    void *m_display = nullptr;
    bool m_keeping = false;
    bool m_asked = false;
};

// The frame around the shown window titled with `title` (the window manager's
// decorations included), in screen coordinates; nothing when no such window
// is shown.
std::optional<QRect> frameOfWindowTitled(const std::string &title);
// The same once the window is shown and its frame has stood still for a
// moment (the window manager frames and places a window after it is shown);
// nothing when that did not happen within 10 s.
std::optional<QRect> settledFrameOfWindowTitled(const std::string &title);
// What the X server says of a native window, for a failure's message:
// whether it is mapped, whether a frame holds it, and whether a window
// manager runs ("" without X).
std::string describeWindow(unsigned long window);
// The part of the screen the window manager leaves to windows.
QRect workArea();

}  // namespace testing_x

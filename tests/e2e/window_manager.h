// A window manager on the X display the end-to-end tests run on (openbox, as
// a desktop has one): it frames each window with a title bar and places new
// windows itself. And the frames as the X server has them: a window's whole
// frame, decorations included, and the area of the screen windows may use.
#pragma once

#include <QProcess>
#include <QRect>

#include <functional>
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
// The same once the window is shown, its frame is one that `wanted` takes
// (any, without it) and it has stood still for a moment; nothing when that
// did not happen within 30 s, and then where the frame last stood is
// written to standard error. The window manager frames and places a window
// some time after it is shown, the program may move it on screen once it
// sees it framed, and a window's title may be another's for a moment: what
// a test expects of such a frame comes only after those, and a busy machine
// may hold any of them for longer than a moment.
std::optional<QRect> settledFrameOfWindowTitled(const std::string &title,
                                                const std::function<bool(const QRect &)> &wanted = {});
// What the X server says of a native window, for a failure's message:
// whether it is mapped, whether a frame holds it, and whether a window
// manager runs ("" without X).
std::string describeWindow(unsigned long window);
// The part of the screen the window manager leaves to windows.
QRect workArea();
// Asks the window manager to put the native window in full screen or out
// of it, as a desktop's own key or a pager does, past the program; false
// when the request could not be sent.
bool askForFullScreen(unsigned long window, bool fullScreen);

}  // namespace testing_x

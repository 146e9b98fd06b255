// The end of the display the program's windows are on: its X server ends
// (a logout that takes the server down before the session's signal reaches
// the program, or without sending one; a server that dies). Qt then finds
// its connection broken and ends the process at once, with exit(1) from
// within its event loop on the main thread: the program's own quit never
// runs, and every text not in its file would be lost with it.
//
// exit() destroys the calling thread's thread_local objects before it
// destroys any static object or calls a function registered with atexit(),
// so a thread_local object of the main thread's is destroyed first, while
// the application, its documents and every static object of Qt's and of
// the program's are still there. While a DisplayLossWatch lives, that
// destructor runs the watch's `settle` when the display's connection is
// broken: what the program does for its documents when it ends without
// asking, which must not touch the display (no window, no alert). exit()
// then goes on as Qt asked.
//
// The process ending otherwise runs nothing: main() returning (the watch is
// gone by then), or exit() called while the display is still there.
#pragma once

#include <functional>

namespace platform {

class DisplayLossWatch {
public:
    // On the main thread, once the application is made; `settle` runs there.
    explicit DisplayLossWatch(std::function<void()> settle);
    ~DisplayLossWatch();
    DisplayLossWatch(const DisplayLossWatch &) = delete;
    DisplayLossWatch &operator=(const DisplayLossWatch &) = delete;

    // Whether the application's connection to its X server is broken; false
    // off X, and without an application.
    static bool connectionBroken();

private:
    std::function<void()> m_settle;
};

}  // namespace platform

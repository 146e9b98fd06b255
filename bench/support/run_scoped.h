// Objects the benchmarks of one run share (an editor built once over a large
// document, then typed into by several benchmarks), kept until the run ends.
//
// Such an editor holds widgets, and widgets must go while the application
// object still stands. A static would go with the exit handlers, after main
// has returned and the application is gone, and crash on the way out. So the
// shared objects are kept here instead, and the entry point releases them,
// newest first, when the benchmarks are done and before the application
// ends. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace benchsupport {

inline std::vector<std::function<void()>> &runScopedReleases() {
    static std::vector<std::function<void()>> releases;
    return releases;
}

// The object in `slot`, made from `args` on first use and released by
// releaseRunScoped().
template <typename T, typename... Args>
T &runScoped(std::unique_ptr<T> &slot, Args &&...args) {
    if (!slot) {
        slot = std::make_unique<T>(std::forward<Args>(args)...);
        runScopedReleases().push_back([&slot] { slot.reset(); });
    }
    return *slot;
}

// Releases every shared object, the newest first.
inline void releaseRunScoped() {
    std::vector<std::function<void()>> &releases = runScopedReleases();
    while (!releases.empty()) {
        std::function<void()> release = std::move(releases.back());
        releases.pop_back();
        release();
    }
}

}  // namespace benchsupport

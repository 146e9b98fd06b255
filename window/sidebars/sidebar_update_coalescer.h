// How a sidebar takes new lists from the engine bridge without redrawing on
// every keystroke: a list is shown, and for the next 2.0 s further lists only
// replace the one waiting; then the newest waiting list is shown (and the
// next pause begins). Lists that arrive while the sidebar is hidden are
// dropped. Main thread only.
#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <utility>

#include "platform/runtime/dispatch.h"
#include "window/bridge/engine_editor_link.h"

template <typename Rows>
class SidebarUpdateCoalescer {
public:
    static constexpr std::chrono::milliseconds kResumeDelay{2000};

    bool isUpdating() const { return isUpdating_; }
    bool needsFinalUpdate() const { return needsFinalUpdate_; }
    // The pause after each list shown (tests shorten it).
    std::chrono::milliseconds resumeDelay() const { return resumeDelay_; }
    void setResumeDelay(std::chrono::milliseconds delay) { resumeDelay_ = delay; }

    // True when `rows` may be shown now in `view`, which begins an update;
    // otherwise they wait for the end of the one in progress, replacing any
    // waiting, or, while `view` is hidden, are dropped.
    bool begin(const QWidget *view, const Rows &rows) {
        if (isHiddenOrHasHiddenAncestor(view))
            return false;
        if (isUpdating_) {
            needsFinalUpdate_ = true;
            pending_ = rows;
            return false;
        }
        isUpdating_ = true;
        return true;
    }

    // Ends the update after the pause, in `context`'s thread (dropped with
    // `context`, which must own this object): the waiting rows, if any, go
    // to `show`.
    void scheduleResume(QObject *context, std::function<void(const Rows &)> show) {
        platform::Dispatch::after(resumeDelay_, context, [this, show = std::move(show)] { resume(show); });
    }

    void resume(const std::function<void(const Rows &)> &show) {
        isUpdating_ = false;
        if (!needsFinalUpdate_)
            return;
        needsFinalUpdate_ = false;
        show(std::exchange(pending_, Rows{}));
    }

private:
    bool isUpdating_ = false;
    bool needsFinalUpdate_ = false;
    Rows pending_{};
    std::chrono::milliseconds resumeDelay_ = kResumeDelay;
};

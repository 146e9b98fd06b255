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

    bool isUpdating() const { return m_isUpdating; }
    bool needsFinalUpdate() const { return m_needsFinalUpdate; }
    // The pause after each list shown (tests shorten it).
    std::chrono::milliseconds resumeDelay() const { return m_resumeDelay; }
    void setResumeDelay(std::chrono::milliseconds delay) { m_resumeDelay = delay; }

    // True when `rows` may be shown now in `view`, which begins an update;
    // otherwise they wait for the end of the one in progress, replacing any
    // waiting, or, while `view` is hidden, are dropped.
    bool begin(const QWidget *view, const Rows &rows) {
        if (isHiddenOrHasHiddenAncestor(view))
            return false;
        if (m_isUpdating) {
            m_needsFinalUpdate = true;
            m_pending = rows;
            return false;
        }
        m_isUpdating = true;
        return true;
    }

    // Ends the update after the pause, in `context`'s thread (dropped with
    // `context`, which must own this object): the waiting rows, if any, go
    // to `show`.
    void scheduleResume(QObject *context, std::function<void(const Rows &)> show) {
        platform::Dispatch::after(m_resumeDelay, context, [this, show = std::move(show)] { resume(show); });
    }

    void resume(const std::function<void(const Rows &)> &show) {
        m_isUpdating = false;
        if (!m_needsFinalUpdate)
            return;
        m_needsFinalUpdate = false;
        show(std::exchange(m_pending, Rows{}));
    }

private:
    bool m_isUpdating = false;
    bool m_needsFinalUpdate = false;
    Rows m_pending{};
    std::chrono::milliseconds m_resumeDelay = kResumeDelay;
};

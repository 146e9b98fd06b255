// Holding a document's save in flight, and seeing where its steps ran: a
// gate at one step of every save in place that runs off the main thread
// (platform::SaveStep), shut until the test opens it, which notes the
// thread of each step reached. Opened,
// it stays open until it is shut again; with openWhenAwaited(), a main
// thread that begins to wait for the save in flight (quitting, closing)
// opens it, as the save would go on by itself.
#pragma once

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/documents/document.h"
#include "support/qt_wait.h"

namespace testing_qt {

class SaveGate {
public:
    explicit SaveGate(platform::SaveStep at) : m_at(at) {
        platform::Document::setSaveStepHook([this](platform::SaveStep step) { reached(step); });
    }
    ~SaveGate() {
        open();
        platform::Document::setSaveStepHook({});
    }
    SaveGate(const SaveGate &) = delete;
    SaveGate &operator=(const SaveGate &) = delete;

    void open() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void shut() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_open = false;
    }
    void openWhenAwaited() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_openWhenAwaited = true;
    }
    // Spins the main thread's loop until `saves` saves in all have come to
    // the shut gate (a save may be started by a timer).
    bool waitUntilHeld(int saves = 1) {
        return spinUntil([&] { return m_held.load() >= saves; }, std::chrono::seconds(20));
    }

    struct Step {
        platform::SaveStep step;
        bool onMainThread;
    };
    std::vector<Step> steps() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_steps;
    }
    // How often `step` ran on the main thread and how often elsewhere.
    std::pair<int, int> where(platform::SaveStep step) const {
        std::pair<int, int> count{0, 0};
        for (const Step &s : steps())
            if (s.step == step)
                (s.onMainThread ? count.first : count.second)++;
        return count;
    }

private:
    void reached(platform::SaveStep step) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const bool onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        m_steps.push_back({step, onMainThread});
        if (step == platform::SaveStep::Awaited && m_openWhenAwaited) {
            m_open = true;
            m_changed.notify_all();
        }
        if (step != m_at || m_open || onMainThread)
            return;
        m_held++;
        m_changed.wait(lock, [&] { return m_open; });
    }

    const platform::SaveStep m_at;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    bool m_openWhenAwaited = false;
    std::atomic<int> m_held{0};
    std::vector<Step> m_steps;
};

}  // namespace testing_qt

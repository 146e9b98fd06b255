// Waiting in tests of the application's layers: the test thread is the main
// thread, so queued blocks, timers and observers run only while it spins its
// event loop.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>

#include <chrono>
#include <functional>

namespace testing_qt {

// Spins the event loop until `done` holds; false when `timeout` passed first.
// The wait ends when `done` holds: the deadline only catches what never
// comes, and a busy machine, two cores under load and the sanitizers, takes
// its time.
inline bool spinUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done())
            return true;
        if (clock.elapsed() >= timeout.count())
            return false;
        QThread::msleep(1);
    }
}

// Spins the event loop for `time`.
inline void spinFor(std::chrono::milliseconds time) {
    spinUntil([] { return false; }, time);
}

}  // namespace testing_qt

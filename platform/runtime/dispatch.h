// Where work runs: the main thread (all views and text storages), a pool of
// background threads of our own, and serial queues.
//
//   Dispatch::main(fn)           queue fn on the main thread, always for later
//   Dispatch::performOnMain(fn)  run fn now when on the main thread, else queue it
//   Dispatch::mainSync(fn)       run fn on the main thread and wait for it
//                                (inline when already there)
//   Dispatch::after(d, fn)       run fn on the main thread after the delay d
//   Dispatch::background(fn)     run fn on the background pool
//   Dispatch::once(flag, fn)     one-time initialisation
//   SerialQueue                  runs its blocks one at a time, in order
//
// The forms that take a context QObject drop the block when the context is
// destroyed before it runs, and run it in the context's thread.
//
// THE RULE: never hold a lock across mainSync. The main thread may be waiting
// for that very lock, and then neither thread moves. Read what you need from
// the main thread first (a text snapshot, the caret, whether a view is
// hidden), then take your locks. The same holds for waiting on a background
// block or a serial queue from the main thread.
//
// When the application quits (QCoreApplication::aboutToQuit) the dispatcher
// shuts down: mainSync from other threads returns false without running its
// block, new main-thread blocks are dropped, and the background pool is
// drained so that no block outlives the application.
#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <chrono>
#include <functional>
#include <mutex>

namespace platform {

class Dispatch {
public:
    static bool isMainThread();

    static void main(std::function<void()> fn);
    static void main(const QObject *context, std::function<void()> fn);

    static void performOnMain(std::function<void()> fn);

    // Returns true when fn ran; false when the application has no main loop
    // any more (shutting down, or no QCoreApplication), and fn did not run.
    static bool mainSync(const std::function<void()> &fn);

    static void after(std::chrono::milliseconds delay, std::function<void()> fn);
    static void after(std::chrono::milliseconds delay, const QObject *context,
                      std::function<void()> fn);

    static void background(std::function<void()> fn);
    // The pool behind background(): a pool of its own, apart from Qt's global
    // one, so that Qt's own users of that pool never wait behind our work.
    static QThreadPool &backgroundPool();
    // Waits until every background block has finished (tests, shut-down).
    static bool waitForBackground(std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));

    template <typename F>
    static void once(std::once_flag &flag, F &&fn) {
        std::call_once(flag, std::forward<F>(fn));
    }

    // What aboutToQuit does; callable directly (a program without exec()).
    static void shutdown();
    static bool isShuttingDown();
};

class SerialQueue {
public:
    explicit SerialQueue(const QString &name = QString());
    ~SerialQueue();  // waits for the blocks already queued
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    const QString &name() const { return m_name; }
    void async(std::function<void()> fn);
    bool waitForDone(std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));
    // True inside a block of this queue.
    bool isCurrent() const;

private:
    QString m_name;
    QThreadPool m_pool;
};

}  // namespace platform

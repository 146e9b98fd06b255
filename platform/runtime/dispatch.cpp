#include "platform/runtime/dispatch.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <climits>
#include <condition_variable>
#include <memory>

namespace platform {

namespace {

std::atomic<bool> s_shuttingDown{false};

// Shut down with the application's loop. Connected on first use, once there
// is an application to connect to.
void hookQuit() {
    static std::atomic<bool> hooked{false};
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || hooked.exchange(true))
        return;
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { Dispatch::shutdown(); },
                     Qt::DirectConnection);
}

// One synchronous hop to the main thread. The waiting thread and the main
// thread agree on its state under the mutex, so that a hop given up at
// shut-down never runs later against a caller that has gone.
struct SyncHop {
    enum State { Pending, Running, Done, Abandoned };
    std::mutex mutex;
    std::condition_variable doneChanged;
    State state = Pending;
};

thread_local const SerialQueue *t_currentQueue = nullptr;

int toMsec(std::chrono::milliseconds timeout) {
    return timeout.count() < 0 ? -1 : int(std::min<long long>(timeout.count(), INT_MAX));
}

}  // namespace

bool Dispatch::isMainThread() {
    QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void Dispatch::main(std::function<void()> fn) {
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || s_shuttingDown)
        return;
    hookQuit();
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

void Dispatch::main(const QObject *context, std::function<void()> fn) {
    if (!context) {
        main(std::move(fn));
        return;
    }
    if (s_shuttingDown)
        return;
    hookQuit();
    QMetaObject::invokeMethod(const_cast<QObject *>(context), std::move(fn), Qt::QueuedConnection);
}

void Dispatch::performOnMain(std::function<void()> fn) {
    if (isMainThread())
        fn();
    else
        main(std::move(fn));
}

bool Dispatch::mainSync(const std::function<void()> &fn) {
    if (isMainThread()) {
        fn();
        return true;
    }
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || s_shuttingDown)
        return false;
    hookQuit();

    auto hop = std::make_shared<SyncHop>();
    QMetaObject::invokeMethod(
        app,
        [hop, &fn] {
            {
                std::lock_guard<std::mutex> lock(hop->mutex);
                if (hop->state != SyncHop::Pending)
                    return;  // the caller gave up and may be gone with fn
                hop->state = SyncHop::Running;
            }
            fn();
            {
                std::lock_guard<std::mutex> lock(hop->mutex);
                hop->state = SyncHop::Done;
            }
            hop->doneChanged.notify_all();
        },
        Qt::QueuedConnection);

    // Wait for the main thread; while the hop has not started, look now and
    // then whether the application is going away, in which case the main
    // loop may never run it.
    std::unique_lock<std::mutex> lock(hop->mutex);
    while (hop->state != SyncHop::Done) {
        if (hop->state == SyncHop::Pending && s_shuttingDown) {
            hop->state = SyncHop::Abandoned;
            return false;
        }
        hop->doneChanged.wait_for(lock, std::chrono::milliseconds(50));
    }
    return true;
}

void Dispatch::after(std::chrono::milliseconds delay, std::function<void()> fn) {
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    after(delay, app, std::move(fn));
}

void Dispatch::after(std::chrono::milliseconds delay, const QObject *context,
                     std::function<void()> fn) {
    if (!context || s_shuttingDown)
        return;
    // A timer needs the event loop of the thread that starts it: start it
    // on the main thread.
    auto start = [delay, context, fn = std::move(fn)]() mutable {
        QTimer::singleShot(delay, context, std::move(fn));
    };
    if (isMainThread())
        start();
    else
        main(context, std::move(start));
}

QThreadPool &Dispatch::backgroundPool() {
    static QThreadPool pool;
    static std::once_flag configured;
    std::call_once(configured, [] {
        pool.setObjectName(QStringLiteral("orvane background"));
        pool.setThreadPriority(QThread::LowPriority);
        // The document library parses on these threads, and a parse nested
        // to its depth limit needs several MiB of stack: give every thread
        // 8 MiB whatever the system's default for new threads is.
        pool.setStackSize(8u * 1024 * 1024);
    });
    return pool;
}

void Dispatch::background(std::function<void()> fn) {
    hookQuit();
    backgroundPool().start(std::move(fn));
}

bool Dispatch::waitForBackground(std::chrono::milliseconds timeout) {
    return backgroundPool().waitForDone(toMsec(timeout));
}

void Dispatch::shutdown() {
    if (s_shuttingDown.exchange(true))
        return;
    // Blocks that wait for the main thread now give up, so the pool drains.
    waitForBackground();
}

bool Dispatch::isShuttingDown() { return s_shuttingDown; }

SerialQueue::SerialQueue(const QString &name) : m_name(name) {
    m_pool.setObjectName(name);
    m_pool.setMaxThreadCount(1);
}

SerialQueue::~SerialQueue() { m_pool.waitForDone(); }

void SerialQueue::async(std::function<void()> fn) {
    m_pool.start([this, fn = std::move(fn)] {
        t_currentQueue = this;
        fn();
        t_currentQueue = nullptr;
    });
}

bool SerialQueue::waitForDone(std::chrono::milliseconds timeout) {
    return m_pool.waitForDone(toMsec(timeout));
}

bool SerialQueue::isCurrent() const { return t_currentQueue == this; }

}  // namespace platform

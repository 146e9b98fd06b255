#include "platform/files/inotify_watch.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<int> watchLimitForTesting{-1};

// Room for many events per read; each is a header plus a NUL-padded name.
constexpr size_t kReadBufferSize = 64 * 1024;

// Closes the descriptors of instances let go of, on threads of its own. The
// kernel's wait at a close is for the whole system's watches, so closes made
// side by side end together: a new thread starts for a descriptor when no
// other is free, up to kMostThreads; past that they wait their turn. A
// thread with nothing to close for kIdle ends.
//
// The threads are detached and what they share is never freed, so that the
// program's exit neither waits for them nor pulls their state away while
// they run: the process ends them, and the system closes what they had not.
class Closer {
public:
    static Closer &shared() {
        static Closer *const closer = new Closer;
        return *closer;
    }

    void close(int fd) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_queued.push_back(fd);
            if (m_free == 0 && m_threads < kMostThreads) {
                m_threads++;
                m_free++;
                try {
                    std::thread([this] { run(); }).detach();
                } catch (const std::system_error &) {
                    // No thread to be had: with none other left, this one
                    // closes it after all.
                    m_threads--;
                    m_free--;
                    if (m_threads == 0) {
                        m_queued.pop_back();
                        ::close(fd);
                    }
                }
            }
        }
        m_wake.notify_one();
    }

    int closing() {
        std::lock_guard<std::mutex> guard(m_lock);
        return int(m_queued.size()) + m_busy;
    }

    void hold(bool held) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_held = held;
        }
        m_wake.notify_all();
    }

private:
    static constexpr int kMostThreads = 8;
    static constexpr std::chrono::seconds kIdle{10};

    void run() {
        std::unique_lock<std::mutex> guard(m_lock);
        for (;;) {
            if (!m_wake.wait_for(guard, kIdle, [this] { return !m_held && !m_queued.empty(); })) {
                if (m_held)
                    continue;  // what is queued meanwhile is closed once let go
                break;
            }
            const int fd = m_queued.back();
            m_queued.pop_back();
            m_free--;
            m_busy++;
            guard.unlock();
            ::close(fd);
            guard.lock();
            m_busy--;
            m_free++;
        }
        m_free--;
        m_threads--;
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<int> m_queued;
    int m_threads = 0;  // running
    int m_free = 0;     // of those, not closing (started, waiting, or about to end)
    int m_busy = 0;     // closing now
    bool m_held = false;
};

}  // namespace

InotifyWatch::InotifyWatch(QObject *parent) : QObject(parent) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        m_error = errno == EMFILE
                     ? QStringLiteral("the system's limit of inotify instances is reached "
                                      "(fs.inotify.max_user_instances)")
                     : QString::fromLocal8Bit(strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InotifyWatch::readEvents);
}

InotifyWatch::~InotifyWatch() {
    if (m_fd >= 0) {
        // The event loop lets go of the descriptor with the notifier, before
        // another thread closes it.
        delete m_notifier;
        Closer::shared().close(m_fd);
    }
}

void InotifyWatch::setWatchLimitForTesting(int limit) { watchLimitForTesting = limit; }

int InotifyWatch::closing() { return Closer::shared().closing(); }

void InotifyWatch::holdClosingForTesting(bool held) { Closer::shared().hold(held); }

int InotifyWatch::addWatch(const QByteArray &path, uint32_t mask, int *errorNumber) {
    int refusal = 0;
    int wd = -1;
    const int limit = watchLimitForTesting;
    if (m_fd < 0) {
        refusal = EBADF;
    } else if (limit >= 0 && m_watches.size() >= limit) {
        refusal = ENOSPC;
    } else {
        wd = inotify_add_watch(m_fd, path.constData(), mask);
        if (wd < 0)
            refusal = errno;
        else
            m_watches.insert(wd);
    }
    if (errorNumber)
        *errorNumber = refusal;
    return wd;
}

void InotifyWatch::removeWatch(int wd) {
    if (m_fd >= 0 && m_watches.remove(wd))
        inotify_rm_watch(m_fd, wd);
}

void InotifyWatch::readEvents() {
    alignas(inotify_event) static thread_local char buffer[kReadBufferSize];
    std::vector<Event> events;
    for (;;) {
        const ssize_t got = read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            break;  // EAGAIN: drained (EINTR is retried by the next activation)
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            const auto *raw = reinterpret_cast<const inotify_event *>(buffer + at);
            Event event{raw->wd, raw->mask, raw->cookie, {}};
            if (raw->len > 0)
                event.name = QByteArray(raw->name, int(strnlen(raw->name, raw->len)));
            events.push_back(std::move(event));
            at += ssize_t(sizeof(inotify_event) + raw->len);
        }
    }
    if (!events.empty())
        emit eventsRead(events);  // may destroy this object: nothing follows
}

QString watchLimitMessage(const QString &folder, int unwatched) {
    return QStringLiteral("Folder watching is incomplete: the system's limit of inotify "
                          "watches is reached (raise fs.inotify.max_user_watches); "
                          "%1 folder(s) under \"%2\" are not watched")
        .arg(unwatched)
        .arg(folder);
}

}  // namespace platform

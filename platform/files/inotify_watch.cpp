#include "platform/files/inotify_watch.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <sys/inotify.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<int> watchLimitForTesting{-1};

// Room for many events per read; each is a header plus a NUL-padded name.
constexpr size_t kReadBufferSize = 64 * 1024;

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
        // The notifier must let go of the descriptor before it is closed.
        delete m_notifier;
        close(m_fd);
    }
}

void InotifyWatch::setWatchLimitForTesting(int limit) { watchLimitForTesting = limit; }

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

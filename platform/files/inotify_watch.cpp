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

InotifyWatch::InotifyWatch(Handler handler, QObject *parent)
    : QObject(parent), handler_(std::move(handler)) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno == EMFILE
                     ? QStringLiteral("the system's limit of inotify instances is reached "
                                      "(fs.inotify.max_user_instances)")
                     : QString::fromLocal8Bit(strerror(errno));
        return;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &InotifyWatch::readEvents);
}

InotifyWatch::~InotifyWatch() {
    if (fd_ >= 0) {
        // The notifier must let go of the descriptor before it is closed.
        delete notifier_;
        close(fd_);
    }
}

void InotifyWatch::setWatchLimitForTesting(int limit) { watchLimitForTesting = limit; }

int InotifyWatch::addWatch(const QByteArray &path, uint32_t mask, int *errorNumber) {
    int refusal = 0;
    int wd = -1;
    const int limit = watchLimitForTesting;
    if (fd_ < 0) {
        refusal = EBADF;
    } else if (limit >= 0 && watches_.size() >= limit) {
        refusal = ENOSPC;
    } else {
        wd = inotify_add_watch(fd_, path.constData(), mask);
        if (wd < 0)
            refusal = errno;
        else
            watches_.insert(wd);
    }
    if (errorNumber)
        *errorNumber = refusal;
    return wd;
}

void InotifyWatch::removeWatch(int wd) {
    if (fd_ >= 0 && watches_.remove(wd))
        inotify_rm_watch(fd_, wd);
}

void InotifyWatch::readEvents() {
    alignas(inotify_event) static thread_local char buffer[kReadBufferSize];
    std::vector<Event> events;
    for (;;) {
        const ssize_t got = read(fd_, buffer, sizeof buffer);
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
    if (events.empty() || !handler_)
        return;
    // The handler may destroy this object; its copy lives on this stack.
    const Handler handler = handler_;
    handler(events);
}

QString watchLimitMessage(const QString &folder, int unwatched) {
    return QStringLiteral("Folder watching is incomplete: the system's limit of inotify "
                          "watches is reached (raise fs.inotify.max_user_watches); "
                          "%1 folder(s) under \"%2\" are not watched")
        .arg(unwatched)
        .arg(folder);
}

}  // namespace platform

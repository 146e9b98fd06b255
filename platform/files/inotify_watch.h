// One inotify instance, read on the event loop of the thread that made it.
// The folder watchers build on it; it knows nothing of trees or delegates.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace platform {

class InotifyWatch : public QObject {
    Q_OBJECT
public:
    struct Event {
        int wd;           // -1 for a queue overflow
        uint32_t mask;
        uint32_t cookie;  // pairs IN_MOVED_FROM with IN_MOVED_TO
        QByteArray name;  // the entry's name inside a watched folder, or empty
    };
    explicit InotifyWatch(QObject *parent = nullptr);
    ~InotifyWatch() override;

    // False when the instance could not be made; `error()` says why.
    bool isValid() const { return m_fd >= 0; }
    QString error() const { return m_error; }

    // The watch descriptor of `path`, or -1 with `*errorNumber` set to the
    // errno of the refusal (ENOSPC when the system's limit of watches is used
    // up, ENOENT, EACCES, ENOTDIR ...).
    int addWatch(const QByteArray &path, uint32_t mask, int *errorNumber = nullptr);
    void removeWatch(int wd);
    // The kernel dropped a watch by itself (IN_IGNORED): forget it.
    void forgetWatch(int wd) { m_watches.remove(wd); }
    int watchCount() const { return int(m_watches.size()); }

    // Tests stand in for the system's limit: with a limit set, an instance
    // refuses more than `limit` watches with ENOSPC. -1 lifts it.
    static void setWatchLimitForTesting(int limit);

signals:
    // Every batch of events read at once, in the kernel's order. A receiver
    // may destroy this object.
    void eventsRead(const std::vector<platform::InotifyWatch::Event> &events);

private:
    void readEvents();

    int m_fd = -1;
    QString m_error;
    QSocketNotifier *m_notifier = nullptr;
    QSet<int> m_watches;
};

// The one text that explains an exhausted watch limit, so that every watcher
// reports it the same way.
QString watchLimitMessage(const QString &folder, int unwatched);

}  // namespace platform

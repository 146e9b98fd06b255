// One inotify instance, read on the event loop of the thread that made it.
// The folder watchers build on it; it knows nothing of trees or delegates.
//
// Closing an instance that held watches waits in the kernel until the system
// has let go of every watch, which on a busy machine takes up to seconds: an
// instance let go of is closed on a thread of its own (closing()), so that
// the thread that let go of it (the main thread, as a document or a folder
// closes) goes on at once. Its descriptor stays open, and so its number
// taken, until it is closed there. At the program's exit nothing waits for
// those closes: what is left open then, the system closes with the process.
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
    // Instances let go of and not yet closed (any thread).
    static int closing();
    // For tests: while held, no instance let go of is closed, so that a test
    // sees it handed over whatever the closing threads' speed.
    static void holdClosingForTesting(bool held);

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

// Follows a whole folder tree and tells its delegate, at most every half
// second, that something in it changed: files created, written, renamed or
// deleted at any depth, folders included.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include "platform/files/folder_watch.h"

class KVXDirectoryWatcher;

class KVXDirectoryWatcherDelegate {
public:
    virtual void directoryDidChange(KVXDirectoryWatcher *watcher) = 0;

protected:
    ~KVXDirectoryWatcherDelegate() = default;
};

class KVXDirectoryWatcher : public QObject {
    Q_OBJECT
public:
    // Changes are gathered for this long after the first one of a burst.
    static constexpr int kLatencyMs = 500;

    // A watcher of `path` that reports to `delegate`, or null when either is
    // missing. The delegate is not owned; it must outlive the watcher or be
    // cleared first. A folder that cannot be watched is logged and the
    // watcher reports nothing.
    static std::unique_ptr<KVXDirectoryWatcher> watchFolderWithPath(
        const QString &path, KVXDirectoryWatcherDelegate *delegate);

    explicit KVXDirectoryWatcher(QObject *parent = nullptr);
    ~KVXDirectoryWatcher() override;

    // Starts following `path`, from now on; a watcher follows one path.
    void monitorDirectory(const QString &path);

    QString observedPath() const { return m_observedPath; }
    KVXDirectoryWatcherDelegate *delegate() const { return m_delegate; }
    void setDelegate(KVXDirectoryWatcherDelegate *delegate) { m_delegate = delegate; }
    bool isWatching() const { return m_watch.isWatching(); }
    // Folders the system's watch limit kept out (see FolderWatch).
    int unwatchedFolderCount() const { return m_watch.unwatchedFolderCount(); }

private:
    void deliver();

    KVXDirectoryWatcherDelegate *m_delegate = nullptr;
    QString m_observedPath;
    platform::FolderWatch m_watch;
    QTimer m_latency;
};

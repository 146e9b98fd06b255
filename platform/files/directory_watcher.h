// Follows one folder and tells its delegate at once when an entry is added
// to it, removed from it, renamed, or written and closed. Subfolders are not
// followed.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "platform/files/folder_watch.h"

class DirectoryWatcher;

class DirectoryWatcherDelegate {
public:
    virtual void directoryDidChange(DirectoryWatcher *watcher) = 0;

protected:
    ~DirectoryWatcherDelegate() = default;
};

class DirectoryWatcher : public QObject {
    Q_OBJECT
public:
    explicit DirectoryWatcher(QObject *parent = nullptr);
    ~DirectoryWatcher() override;

    // A watcher of `path` that reports to `delegate`, or null when either is
    // missing or the folder cannot be watched (it does not exist, for
    // example). Nothing is retried then. The delegate is not owned.
    static std::unique_ptr<DirectoryWatcher> watchFolderWithPath(
        const QString &path, DirectoryWatcherDelegate *delegate);

    // False when already watching or when the folder cannot be watched.
    bool startMonitoringDirectory(const QString &path);
    // Stops watching; the watcher may be started again.
    void invalidate();

    QString observedPath() const { return m_observedPath; }
    DirectoryWatcherDelegate *delegate() const { return m_delegate; }
    void setDelegate(DirectoryWatcherDelegate *delegate) { m_delegate = delegate; }
    bool isWatching() const { return m_watch.isWatching(); }

private:
    DirectoryWatcherDelegate *m_delegate = nullptr;
    QString m_observedPath;
    platform::FolderWatch m_watch;
};

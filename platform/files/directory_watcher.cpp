#include "platform/files/directory_watcher.h"

DirectoryWatcher::DirectoryWatcher(QObject *parent)
    : QObject(parent), m_watch(platform::FolderWatch::Depth::OneFolder) {
    connect(&m_watch, &platform::FolderWatch::changed, this, [this] {
        if (m_delegate)
            m_delegate->directoryDidChange(this);  // may destroy this watcher
    });
}

DirectoryWatcher::~DirectoryWatcher() = default;

std::unique_ptr<DirectoryWatcher> DirectoryWatcher::watchFolderWithPath(
    const QString &path, DirectoryWatcherDelegate *delegate) {
    if (path.isEmpty() || !delegate)
        return nullptr;
    auto watcher = std::make_unique<DirectoryWatcher>();
    watcher->setDelegate(delegate);
    watcher->m_observedPath = path;
    if (!watcher->startMonitoringDirectory(path))
        return nullptr;
    return watcher;
}

bool DirectoryWatcher::startMonitoringDirectory(const QString &path) {
    if (m_watch.isWatching())
        return false;
    m_observedPath = path;
    return m_watch.start(path);
}

void DirectoryWatcher::invalidate() { m_watch.stop(); }

#include "platform/files/directory_watcher.h"

DirectoryWatcher::DirectoryWatcher(QObject *parent)
    : QObject(parent), watch_(platform::FolderWatch::Depth::OneFolder, [this] {
          if (delegate_)
              delegate_->directoryDidChange(this);  // may destroy this watcher
      }) {}

DirectoryWatcher::~DirectoryWatcher() = default;

std::unique_ptr<DirectoryWatcher> DirectoryWatcher::watchFolderWithPath(
    const QString &path, DirectoryWatcherDelegate *delegate) {
    if (path.isEmpty() || !delegate)
        return nullptr;
    auto watcher = std::make_unique<DirectoryWatcher>();
    watcher->setDelegate(delegate);
    watcher->observedPath_ = path;
    if (!watcher->startMonitoringDirectory(path))
        return nullptr;
    return watcher;
}

bool DirectoryWatcher::startMonitoringDirectory(const QString &path) {
    if (watch_.isWatching())
        return false;
    observedPath_ = path;
    return watch_.start(path);
}

void DirectoryWatcher::invalidate() { watch_.stop(); }

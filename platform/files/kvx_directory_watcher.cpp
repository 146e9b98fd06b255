#include "platform/files/kvx_directory_watcher.h"

KVXDirectoryWatcher::KVXDirectoryWatcher(QObject *parent)
    : QObject(parent),
      watch_(platform::FolderWatch::Depth::Tree,
             [this] {
                 // The first change of a burst starts the clock; later ones
                 // ride along.
                 if (!latency_.isActive())
                     latency_.start();
             }) {
    latency_.setSingleShot(true);
    latency_.setInterval(kLatencyMs);
    connect(&latency_, &QTimer::timeout, this, &KVXDirectoryWatcher::deliver);
}

KVXDirectoryWatcher::~KVXDirectoryWatcher() = default;

std::unique_ptr<KVXDirectoryWatcher> KVXDirectoryWatcher::watchFolderWithPath(
    const QString &path, KVXDirectoryWatcherDelegate *delegate) {
    if (path.isEmpty() || !delegate)
        return nullptr;
    auto watcher = std::make_unique<KVXDirectoryWatcher>();
    watcher->setDelegate(delegate);
    watcher->monitorDirectory(path);
    return watcher;
}

void KVXDirectoryWatcher::monitorDirectory(const QString &path) {
    observedPath_ = path;
    watch_.start(path);  // failures other than a missing folder are logged
}

void KVXDirectoryWatcher::deliver() {
    // A folder that vanished may be back by now (replaced, or restored).
    watch_.rearmIfLost();
    if (delegate_)
        delegate_->directoryDidChange(this);  // may destroy this watcher
}

#include "platform/files/kvx_directory_watcher.h"

KVXDirectoryWatcher::KVXDirectoryWatcher(QObject *parent)
    : QObject(parent), m_watch(platform::FolderWatch::Depth::Tree) {
    // The first change of a burst starts the clock; later ones ride along.
    connect(&m_watch, &platform::FolderWatch::changed, this, [this] {
        if (!m_latency.isActive())
            m_latency.start();
    });
    m_latency.setSingleShot(true);
    m_latency.setInterval(kLatencyMs);
    connect(&m_latency, &QTimer::timeout, this, &KVXDirectoryWatcher::deliver);
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
    m_observedPath = path;
    m_watch.start(path);  // failures other than a missing folder are logged
}

void KVXDirectoryWatcher::deliver() {
    // A folder that vanished may be back by now (replaced, or restored).
    m_watch.rearmIfLost();
    if (m_delegate)
        m_delegate->directoryDidChange(this);  // may destroy this watcher
}

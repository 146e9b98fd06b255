#include "platform/files/folder_watch.h"

#include <cerrno>
#include <cstring>

#include <sys/inotify.h>

#include "platform/files/folder_listing.h"
#include "platform/runtime/log.h"
#include "platform/files/native_path.h"

namespace platform {

namespace {

bool isHiddenName(const QByteArray &name) { return name.startsWith('.'); }

QByteArray childPath(const QByteArray &folder, const QByteArray &name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The subfolders of `folder` that a tree watch enters: not hidden, not
// reached through a symbolic link (which could lead out of the tree or round
// in a loop).
std::vector<QByteArray> subfolders(const QByteArray &folder) {
    std::vector<FolderEntry> entries;
    visibleEntries(folder, entries);
    std::vector<QByteArray> found;
    for (const FolderEntry &entry : entries)
        if (entry.isFolder)
            found.push_back(childPath(folder, entry.name));
    return found;
}

}  // namespace

FolderWatch::FolderWatch(Depth depth, QObject *parent) : QObject(parent), m_depth(depth) {}

FolderWatch::~FolderWatch() = default;

uint32_t FolderWatch::mask() const {
    const uint32_t entries = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                             IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
    // One folder: a file written in place counts once, when it is closed.
    // A tree: every write and every change of a file's dates or rights.
    return m_depth == Depth::OneFolder ? entries | IN_CLOSE_WRITE
                                      : entries | IN_MODIFY | IN_ATTRIB;
}

bool FolderWatch::start(const QString &path) {
    if (m_inotify) {
        m_error = QStringLiteral("already watching");
        return false;
    }
    m_error.clear();
    m_root = nativePath(path);
    while (m_root.size() > 1 && m_root.endsWith('/'))
        m_root.chop(1);
    m_inotify = std::make_unique<InotifyWatch>();
    connect(m_inotify.get(), &InotifyWatch::eventsRead, this, &FolderWatch::handle);
    if (!m_inotify->isValid()) {
        m_error = m_inotify->error();
        m_inotify.reset();
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("Cannot watch folder \"%1\": %2").arg(path, m_error);
        return false;
    }
    if (!armRoot()) {
        m_inotify.reset();
        // A folder that does not exist is ordinary (not made yet, or gone);
        // the exhausted limit has been reported already.
        if (m_rootRefusal != ENOENT && m_rootRefusal != ENOSPC)
            qCWarning(lcPlatform).noquote()
                << QStringLiteral("Cannot watch folder \"%1\": %2").arg(path, m_error);
        return false;
    }
    return true;
}

void FolderWatch::stop() {
    m_inotify.reset();  // closing the instance drops all its watches
    m_folders.clear();
    m_rootWd = -1;
    m_rootLost = false;
}

bool FolderWatch::armRoot() {
    int &refusal = m_rootRefusal;
    // The watched folder itself may be reached through a symbolic link.
    m_rootWd = m_inotify->addWatch(m_root, mask(), &refusal);
    if (m_rootWd < 0) {
        m_error = QString::fromLocal8Bit(strerror(refusal));
        if (refusal == ENOSPC) {
            m_unwatched++;
            m_error = watchLimitMessage(path(), m_unwatched);
            reportLimit();
        }
        return false;
    }
    m_rootLost = false;
    m_folders.insert(m_rootWd, m_root);
    if (m_depth == Depth::Tree)
        for (const QByteArray &folder : subfolders(m_root))
            addTree(folder);
    reportLimit();
    return true;
}

void FolderWatch::addTree(const QByteArray &top) {
    bool limitReached = false;
    std::vector<QByteArray> pending{top};
    while (!pending.empty()) {
        const QByteArray folder = std::move(pending.back());
        pending.pop_back();
        if (limitReached) {
            m_unwatched++;
        } else {
            int refusal = 0;
            const int wd = m_inotify->addWatch(folder, mask() | IN_DONT_FOLLOW, &refusal);
            if (wd >= 0) {
                m_folders.insert(wd, folder);
            } else if (refusal == ENOSPC) {
                limitReached = true;
                m_unwatched++;
            } else {
                continue;  // gone again, or unreadable: nothing below it to watch
            }
        }
        for (QByteArray &sub : subfolders(folder))
            pending.push_back(std::move(sub));
    }
}

void FolderWatch::reportLimit() {
    if (m_unwatched > 0 && !m_limitReported) {
        m_limitReported = true;
        qCWarning(lcPlatform).noquote() << watchLimitMessage(path(), m_unwatched);
    }
}

void FolderWatch::removeTree(const QByteArray &top) {
    const QByteArray below = top + '/';
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (it.key() != m_rootWd && (it.value() == top || it.value().startsWith(below))) {
            m_inotify->removeWatch(it.key());
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
}

void FolderWatch::rearmIfLost() {
    if (!m_inotify || !m_rootLost)
        return;
    // Whatever is still watched belongs to the old folder, wherever it went.
    for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it)
        m_inotify->removeWatch(it.key());
    m_folders.clear();
    m_rootWd = -1;
    armRoot();
}

void FolderWatch::handle(const std::vector<InotifyWatch::Event> &events) {
    bool changed = false;
    bool rescan = false;
    for (const InotifyWatch::Event &event : events) {
        if (event.mask & IN_Q_OVERFLOW) {
            // Events were lost, new folders among them perhaps.
            changed = rescan = true;
            continue;
        }
        const auto found = m_folders.constFind(event.wd);
        if (found == m_folders.cend())
            continue;  // a watch already dropped
        const QByteArray folder = found.value();
        if (event.mask & IN_IGNORED) {
            m_inotify->forgetWatch(event.wd);
            m_folders.remove(event.wd);
            if (event.wd == m_rootWd) {
                m_rootWd = -1;
                m_rootLost = changed = true;
            }
            continue;
        }
        if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
            // A subfolder's parent reports it as an entry; only the watched
            // folder itself matters here.
            if (event.wd == m_rootWd)
                m_rootLost = changed = true;
            continue;
        }
        changed = true;
        if (m_depth == Depth::Tree && (event.mask & IN_ISDIR) && !isHiddenName(event.name)) {
            const QByteArray child = childPath(folder, event.name);
            if (event.mask & (IN_CREATE | IN_MOVED_TO))
                addTree(child);
            else if (event.mask & IN_MOVED_FROM)
                removeTree(child);  // its IN_MOVED_TO, if any, watches it again
        }
    }
    if (m_rootLost)
        rearmIfLost();
    else if (rescan && m_depth == Depth::Tree)
        for (const QByteArray &folder : subfolders(m_root))
            addTree(folder);  // watches that exist already are kept as they are
    reportLimit();
    if (changed)
        emit this->changed();  // may destroy this object: nothing follows
}

}  // namespace platform

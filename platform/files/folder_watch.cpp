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

FolderWatch::FolderWatch(Depth depth, std::function<void()> changed, QObject *parent)
    : QObject(parent), depth_(depth), changed_(std::move(changed)) {}

FolderWatch::~FolderWatch() = default;

uint32_t FolderWatch::mask() const {
    const uint32_t entries = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                             IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
    // One folder: a file written in place counts once, when it is closed.
    // A tree: every write and every change of a file's dates or rights.
    return depth_ == Depth::OneFolder ? entries | IN_CLOSE_WRITE
                                      : entries | IN_MODIFY | IN_ATTRIB;
}

bool FolderWatch::start(const QString &path) {
    if (inotify_) {
        error_ = QStringLiteral("already watching");
        return false;
    }
    error_.clear();
    root_ = nativePath(path);
    while (root_.size() > 1 && root_.endsWith('/'))
        root_.chop(1);
    inotify_ = std::make_unique<InotifyWatch>(
        [this](const std::vector<InotifyWatch::Event> &events) { handle(events); });
    if (!inotify_->isValid()) {
        error_ = inotify_->error();
        inotify_.reset();
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("Cannot watch folder \"%1\": %2").arg(path, error_);
        return false;
    }
    if (!armRoot()) {
        inotify_.reset();
        // A folder that does not exist is ordinary (not made yet, or gone);
        // the exhausted limit has been reported already.
        if (rootRefusal_ != ENOENT && rootRefusal_ != ENOSPC)
            qCWarning(lcPlatform).noquote()
                << QStringLiteral("Cannot watch folder \"%1\": %2").arg(path, error_);
        return false;
    }
    return true;
}

void FolderWatch::stop() {
    inotify_.reset();  // closing the instance drops all its watches
    folders_.clear();
    rootWd_ = -1;
    rootLost_ = false;
}

bool FolderWatch::armRoot() {
    int &refusal = rootRefusal_;
    // The watched folder itself may be reached through a symbolic link.
    rootWd_ = inotify_->addWatch(root_, mask(), &refusal);
    if (rootWd_ < 0) {
        error_ = QString::fromLocal8Bit(strerror(refusal));
        if (refusal == ENOSPC) {
            unwatched_++;
            error_ = watchLimitMessage(path(), unwatched_);
            reportLimit();
        }
        return false;
    }
    rootLost_ = false;
    folders_.insert(rootWd_, root_);
    if (depth_ == Depth::Tree)
        for (const QByteArray &folder : subfolders(root_))
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
            unwatched_++;
        } else {
            int refusal = 0;
            const int wd = inotify_->addWatch(folder, mask() | IN_DONT_FOLLOW, &refusal);
            if (wd >= 0) {
                folders_.insert(wd, folder);
            } else if (refusal == ENOSPC) {
                limitReached = true;
                unwatched_++;
            } else {
                continue;  // gone again, or unreadable: nothing below it to watch
            }
        }
        for (QByteArray &sub : subfolders(folder))
            pending.push_back(std::move(sub));
    }
}

void FolderWatch::reportLimit() {
    if (unwatched_ > 0 && !limitReported_) {
        limitReported_ = true;
        qCWarning(lcPlatform).noquote() << watchLimitMessage(path(), unwatched_);
    }
}

void FolderWatch::removeTree(const QByteArray &top) {
    const QByteArray below = top + '/';
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it.key() != rootWd_ && (it.value() == top || it.value().startsWith(below))) {
            inotify_->removeWatch(it.key());
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
}

void FolderWatch::rearmIfLost() {
    if (!inotify_ || !rootLost_)
        return;
    // Whatever is still watched belongs to the old folder, wherever it went.
    for (auto it = folders_.cbegin(); it != folders_.cend(); ++it)
        inotify_->removeWatch(it.key());
    folders_.clear();
    rootWd_ = -1;
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
        const auto found = folders_.constFind(event.wd);
        if (found == folders_.cend())
            continue;  // a watch already dropped
        const QByteArray folder = found.value();
        if (event.mask & IN_IGNORED) {
            inotify_->forgetWatch(event.wd);
            folders_.remove(event.wd);
            if (event.wd == rootWd_) {
                rootWd_ = -1;
                rootLost_ = changed = true;
            }
            continue;
        }
        if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
            // A subfolder's parent reports it as an entry; only the watched
            // folder itself matters here.
            if (event.wd == rootWd_)
                rootLost_ = changed = true;
            continue;
        }
        changed = true;
        if (depth_ == Depth::Tree && (event.mask & IN_ISDIR) && !isHiddenName(event.name)) {
            const QByteArray child = childPath(folder, event.name);
            if (event.mask & (IN_CREATE | IN_MOVED_TO))
                addTree(child);
            else if (event.mask & IN_MOVED_FROM)
                removeTree(child);  // its IN_MOVED_TO, if any, watches it again
        }
    }
    if (rootLost_)
        rearmIfLost();
    else if (rescan && depth_ == Depth::Tree)
        for (const QByteArray &folder : subfolders(root_))
            addTree(folder);  // watches that exist already are kept as they are
    reportLimit();
    if (changed && changed_) {
        const auto changedCopy = changed_;
        changedCopy();  // may destroy this object: nothing follows
    }
}

}  // namespace platform

#include "platform/documents/file_presenter.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstring>

#include <sys/inotify.h>
#include <sys/stat.h>

#include "platform/runtime/log.h"
#include "platform/files/native_path.h"

namespace platform {

namespace {

constexpr uint32_t kFolderMask = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE |
                                 IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t kFileMask = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

FileState FileState::of(const QString &path) {
    FileState state;
    struct stat info;
    if (stat(nativePath(path).constData(), &info) != 0)
        return state;
    state.exists = true;
    state.size = qint64(info.st_size);
    state.modifiedNanoseconds = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    state.device = quint64(info.st_dev);
    state.inode = quint64(info.st_ino);
    return state;
}

QDateTime FileState::modificationDate() const {
    return exists ? QDateTime::fromMSecsSinceEpoch(modifiedNanoseconds / 1000000) : QDateTime();
}

FilePresenter::FilePresenter(std::function<void()> changed, QObject *parent)
    : QObject(parent), changed_(std::move(changed)) {
    debounce_ = new QTimer(this);
    debounce_->setSingleShot(true);
    debounce_->setInterval(kDefaultDebounce);
    connect(debounce_, &QTimer::timeout, this, &FilePresenter::fire);
}

FilePresenter::~FilePresenter() = default;

void FilePresenter::setDebounce(std::chrono::milliseconds time) { debounce_->setInterval(time); }

std::chrono::milliseconds FilePresenter::debounce() const { return debounce_->intervalAsDuration(); }

bool FilePresenter::isWatching() const { return inotify_ && folderWd_ >= 0; }

bool FilePresenter::setPath(const QString &path) {
    inotify_.reset();
    folderWd_ = fileWd_ = -1;
    fileInode_ = 0;
    pending_ = false;
    debounce_->stop();
    path_ = path;
    if (path.isEmpty())
        return true;
    const QFileInfo info(path);
    folder_ = nativePath(info.absolutePath());
    name_ = nativePath(info.fileName());
    inotify_ = std::make_unique<InotifyWatch>(
        [this](const std::vector<InotifyWatch::Event> &events) { handle(events); });
    if (!inotify_->isValid()) {
        qCWarning(lcPlatform, "changes of %s made by other programs go unnoticed: %s",
                  qPrintable(path), qPrintable(inotify_->error()));
        inotify_.reset();
        return false;
    }
    armFolder();
    armFile();
    return folderWd_ >= 0;
}

void FilePresenter::armFolder() {
    if (!inotify_ || folderWd_ >= 0)
        return;
    int refusal = 0;
    folderWd_ = inotify_->addWatch(folder_, kFolderMask, &refusal);
    if (folderWd_ < 0)
        qCWarning(lcPlatform, "the folder of %s cannot be watched: %s", qPrintable(path_),
                  strerror(refusal));
}

// Watches the file now at the path, unless that very file is watched already.
void FilePresenter::armFile() {
    if (!inotify_)
        return;
    const FileState state = FileState::of(path_);
    if (fileWd_ >= 0 && state.exists && state.inode == fileInode_)
        return;
    if (fileWd_ >= 0) {
        inotify_->removeWatch(fileWd_);
        fileWd_ = -1;
    }
    fileInode_ = 0;
    if (!state.exists)
        return;
    fileWd_ = inotify_->addWatch(folder_ + '/' + name_, kFileMask);
    if (fileWd_ >= 0)
        fileInode_ = state.inode;
}

void FilePresenter::handle(const std::vector<InotifyWatch::Event> &events) {
    bool relevant = false;
    for (const InotifyWatch::Event &event : events) {
        if (event.wd < 0) {  // the queue overflowed: anything may have happened
            relevant = true;
            continue;
        }
        if (event.mask & IN_IGNORED) {
            inotify_->forgetWatch(event.wd);
            if (event.wd == folderWd_)
                folderWd_ = -1;
            if (event.wd == fileWd_)
                fileWd_ = -1;
            relevant = true;
            continue;
        }
        if (event.wd == fileWd_) {
            relevant = true;
        } else if (event.wd == folderWd_) {
            if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF))
                relevant = true;
            else if (event.name == name_)
                relevant = true;
        }
    }
    if (relevant) {
        pending_ = true;
        debounce_->start();
    }
}

void FilePresenter::flush() {
    if (!pending_)
        return;
    debounce_->stop();
    fire();
}

void FilePresenter::fire() {
    pending_ = false;
    // A rename over the file, or the folder replaced: follow what stands at
    // the path now.
    armFolder();
    armFile();
    if (changed_)
        changed_();
}

}  // namespace platform

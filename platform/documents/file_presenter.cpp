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

FileState stateOf(const struct stat &info) {
    FileState state;
    state.exists = true;
    state.size = qint64(info.st_size);
    state.modifiedNanoseconds = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    state.device = quint64(info.st_dev);
    state.inode = quint64(info.st_ino);
    return state;
}

}  // namespace

FileState FileState::of(const QString &path) {
    struct stat info;
    return stat(nativePath(path).constData(), &info) == 0 ? stateOf(info) : FileState();
}

FileState FileState::at(const QString &path) {
    struct stat info;
    return lstat(nativePath(path).constData(), &info) == 0 ? stateOf(info) : FileState();
}

FileState FileState::ofOpenFile(int descriptor) {
    struct stat info;
    return fstat(descriptor, &info) == 0 ? stateOf(info) : FileState();
}

QDateTime FileState::modificationDate() const {
    return exists ? QDateTime::fromMSecsSinceEpoch(modifiedNanoseconds / 1000000) : QDateTime();
}

FilePresenter::FilePresenter(QObject *parent) : QObject(parent) {
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(kDefaultDebounce);
    connect(m_debounce, &QTimer::timeout, this, &FilePresenter::fire);
}

FilePresenter::~FilePresenter() = default;

void FilePresenter::setDebounce(std::chrono::milliseconds time) { m_debounce->setInterval(time); }

std::chrono::milliseconds FilePresenter::debounce() const { return m_debounce->intervalAsDuration(); }

bool FilePresenter::isWatching() const { return m_inotify && m_folderWd >= 0; }

bool FilePresenter::setPath(const QString &path) {
    m_inotify.reset();
    m_folderWd = m_fileWd = -1;
    m_fileInode = 0;
    m_pending = false;
    m_debounce->stop();
    m_path = path;
    if (path.isEmpty())
        return true;
    const QFileInfo info(path);
    m_folder = nativePath(info.absolutePath());
    m_name = nativePath(info.fileName());
    m_inotify = std::make_unique<InotifyWatch>();
    connect(m_inotify.get(), &InotifyWatch::eventsRead, this, &FilePresenter::handle);
    if (!m_inotify->isValid()) {
        qCWarning(lcPlatform, "changes of %s made by other programs go unnoticed: %s",
                  qPrintable(path), qPrintable(m_inotify->error()));
        m_inotify.reset();
        return false;
    }
    armFolder();
    armFile();
    return m_folderWd >= 0;
}

void FilePresenter::armFolder() {
    if (!m_inotify || m_folderWd >= 0)
        return;
    int refusal = 0;
    m_folderWd = m_inotify->addWatch(m_folder, kFolderMask, &refusal);
    if (m_folderWd < 0)
        qCWarning(lcPlatform, "the folder of %s cannot be watched: %s", qPrintable(m_path),
                  strerror(refusal));
}

// Watches the file now at the path, unless that very file is watched already.
void FilePresenter::armFile() {
    if (!m_inotify)
        return;
    const FileState state = FileState::of(m_path);
    if (m_fileWd >= 0 && state.exists && state.inode == m_fileInode)
        return;
    if (m_fileWd >= 0) {
        m_inotify->removeWatch(m_fileWd);
        m_fileWd = -1;
    }
    m_fileInode = 0;
    if (!state.exists)
        return;
    m_fileWd = m_inotify->addWatch(m_folder + '/' + m_name, kFileMask);
    if (m_fileWd >= 0)
        m_fileInode = state.inode;
}

void FilePresenter::handle(const std::vector<InotifyWatch::Event> &events) {
    bool relevant = false;
    for (const InotifyWatch::Event &event : events) {
        if (event.wd < 0) {  // the queue overflowed: anything may have happened
            relevant = true;
            continue;
        }
        if (event.mask & IN_IGNORED) {
            m_inotify->forgetWatch(event.wd);
            if (event.wd == m_folderWd)
                m_folderWd = -1;
            if (event.wd == m_fileWd)
                m_fileWd = -1;
            relevant = true;
            continue;
        }
        if (event.wd == m_fileWd) {
            relevant = true;
        } else if (event.wd == m_folderWd) {
            if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF))
                relevant = true;
            else if (event.name == m_name)
                relevant = true;
        }
    }
    if (relevant) {
        m_pending = true;
        m_debounce->start();
    }
}

void FilePresenter::flush() {
    if (!m_pending)
        return;
    m_debounce->stop();
    fire();
}

void FilePresenter::fire() {
    m_pending = false;
    // A rename over the file, or the folder replaced: follow what stands at
    // the path now.
    armFolder();
    armFile();
    emit changed();
}

}  // namespace platform

#include "platform/files/trash.h"

#include <QFile>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/folders.h"
#include "platform/runtime/log.h"
#include "platform/files/native_path.h"

namespace platform {

namespace {

QByteArray local(const QString &path) { return nativePath(path); }
QString fromLocal(const QByteArray &path) { return pathFromNative(path); }

QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The folder without its last component ("/a/b" gives "/a", "/a" gives "/").
QByteArray parentOf(const QByteArray &path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray joined(const QByteArray &folder, const QByteArray &name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// Makes `path` a folder of ours, mode 0700, when it is missing; true when it
// is then a real folder (not a link) owned by this user.
bool ownFolder(const QByteArray &path) {
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    return lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid();
}

// The device of `path`, or of the nearest folder above it that exists.
dev_t deviceOfNearest(QByteArray path) {
    struct stat info;
    while (stat(path.constData(), &info) != 0) {
        if (path == "/")
            return 0;
        path = parentOf(path);
    }
    return info.st_dev;
}

// The top folder of the file system that holds `folder` (a resolved path on
// `device`): the highest folder above it on the same device.
QByteArray topOf(QByteArray folder, dev_t device) {
    while (folder != "/") {
        const QByteArray up = parentOf(folder);
        struct stat info;
        if (stat(up.constData(), &info) != 0 || info.st_dev != device)
            break;
        folder = up;
    }
    return folder;
}

// The name an item is trashed under: its own, then "old.2.md", "old.3.md" ...
QByteArray trashName(const QByteArray &name, int attempt) {
    if (attempt == 1)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray number = '.' + QByteArray::number(attempt);
    return dot > 0 ? name.left(dot) + number + name.mid(dot) : name + number;
}

bool writeAll(int fd, const QByteArray &bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

// Renames without replacing anything at `to`.
int renameNoReplace(const QByteArray &from, const QByteArray &to) {
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system that cannot refuse to replace: look first. (The name is
    // ours already through its info file, so nobody else should take it.)
    struct stat info;
    if (lstat(to.constData(), &info) == 0)
        return EEXIST;
    return std::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

}  // namespace

QString Trash::homeTrash() { return Folders::userDataFolder() + QStringLiteral("/Trash"); }

QString Trash::topTrash(const QString &top) {
    const QByteArray root = local(top);
    const QByteArray uid = QByteArray::number(qulonglong(getuid()));
    const QByteArray shared = joined(root, ".Trash");
    struct stat info;
    if (lstat(shared.constData(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)) {
        const QByteArray mine = joined(shared, uid);
        if (ownFolder(mine))
            return fromLocal(mine);
        qCWarning(lcPlatform).noquote() << QStringLiteral("The trash folder %1 cannot be used.").arg(fromLocal(mine));
    }
    const QByteArray mine = joined(root, ".Trash-" + uid);
    return ownFolder(mine) ? fromLocal(mine) : QString();
}

QByteArray Trash::trashInfo(const QString &path, const QDateTime &when) {
    // The bytes of the name, so that a name that is not UTF-8 is put back
    // where it was.
    return "[Trash Info]\nPath=" + local(path).toPercentEncoding("/") +
           "\nDeletionDate=" + when.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() + '\n';
}

bool Trash::moveToTrash(const QString &path, QString *trashedPath, QString *error) {
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QByteArray item = local(path);
    while (item.size() > 1 && item.endsWith('/'))
        item.chop(1);
    if (!item.startsWith('/'))
        return fail(QStringLiteral("The path is not absolute."));
    const QByteArray name = item.mid(item.lastIndexOf('/') + 1);
    if (name.isEmpty() || name == "." || name == "..")
        return fail(QStringLiteral("The path names no item."));

    // The item's folder with its links resolved; the item itself is not
    // followed, so that a link goes to the trash rather than what it names.
    char resolved[PATH_MAX];
    if (!realpath(parentOf(item).constData(), resolved))
        return fail(reason(errno));
    item = joined(QByteArray(resolved), name);
    struct stat itemInfo, folderInfo;
    if (lstat(item.constData(), &itemInfo) != 0)
        return fail(reason(errno));
    if (stat(resolved, &folderInfo) != 0)
        return fail(reason(errno));
    if (folderInfo.st_dev != itemInfo.st_dev)
        return fail(QStringLiteral("The item is the top of a file system."));

    // The trash on the item's file system, and how its info names the item.
    QByteArray trash = local(homeTrash());
    QString infoPath = fromLocal(item);
    if (deviceOfNearest(trash) != itemInfo.st_dev) {
        const QByteArray top = topOf(QByteArray(resolved), itemInfo.st_dev);
        trash = local(topTrash(fromLocal(top)));
        if (trash.isEmpty())
            return fail(QStringLiteral("There is no trash on the item's file system."));
        infoPath = fromLocal(top == "/" ? item.mid(1) : item.mid(top.size() + 1));
    } else if (!Folders::ensureFolder(fromLocal(parentOf(trash))) || !ownFolder(trash)) {
        return fail(QStringLiteral("The trash folder cannot be made."));
    }
    const QByteArray files = joined(trash, "files"), info = joined(trash, "info");
    if (!ownFolder(files) || !ownFolder(info))
        return fail(QStringLiteral("The trash folder cannot be used."));
    if (deviceOfNearest(files) != itemInfo.st_dev)
        return fail(QStringLiteral("The trash is on another file system."));

    const QByteArray contents = trashInfo(infoPath, QDateTime::currentDateTime());
    for (int attempt = 1; attempt <= 10000; attempt++) {
        const QByteArray candidate = trashName(name, attempt);
        // The info file claims the name before the item moves in.
        const QByteArray infoFile = joined(info, candidate + ".trashinfo");
        const int fd = open(infoFile.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return fail(reason(errno));
        }
        const bool written = writeAll(fd, contents);
        const int closed = close(fd);
        if (!written || closed != 0) {
            const int cause = errno;
            unlink(infoFile.constData());
            return fail(reason(cause));
        }
        const QByteArray target = joined(files, candidate);
        const int moved = renameNoReplace(item, target);
        if (moved == 0) {
            if (trashedPath)
                *trashedPath = fromLocal(target);
            return true;
        }
        unlink(infoFile.constData());
        if (moved != EEXIST)
            return fail(reason(moved));
    }
    return fail(QStringLiteral("The trash holds too many items of this name."));
}

}  // namespace platform

#include "platform/documents/safe_write.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/documents/file_tags.h"
#include "platform/files/descriptor.h"
#include "platform/files/folders.h"
#include "platform/files/native_path.h"
#include "platform/runtime/log.h"

namespace platform {

namespace {

std::atomic<InPlaceStepHook> s_stepHook{nullptr};
std::atomic<FileStepHook> s_fileStepHook{nullptr};

void reached(InPlaceStep step) {
    if (InPlaceStepHook hook = s_stepHook.load())
        hook(step);
}

void reachedFileStep(FileStep step) {
    if (FileStepHook hook = s_fileStepHook.load())
        hook(step);
}

QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// A path as its folder and its last component.
struct Place {
    QByteArray folder;
    QByteArray name;
};

Place split(const QByteArray &path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {".", path};
    return {slash == 0 ? QByteArray("/") : path.left(slash), path.mid(slash + 1)};
}

QByteArray join(const QByteArray &folder, const QByteArray &name) {
    return (folder == "/" ? QByteArray() : folder) + '/' + name;
}

QByteArray withoutTrailingSlashes(QByteArray path) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

// 0, or the errno of a failed write of all of `bytes` at `offset`.
int writeAt(int descriptor, QByteArrayView bytes, off_t offset) {
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n = ::pwrite(descriptor, bytes.data() + written, size_t(bytes.size() - written), offset + written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        written += n;
    }
    return 0;
}

std::optional<QByteArray> readAllFrom(int descriptor) {
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::pread(descriptor, buffer, sizeof buffer, off_t(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return bytes;
        bytes.append(buffer, n);
    }
}

// Whether the open folder is the one at the real path `expected` (a link put
// in its way since it was found would lead elsewhere). Where the system does
// not say what a descriptor names, it is taken to be.
bool isFolderAt(int folder, const QByteArray &expected) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", folder);
    char named[PATH_MAX];
    const ssize_t length = ::readlink(link, named, sizeof named);
    if (length < 0 || size_t(length) >= sizeof named)
        return true;
    return QByteArrayView(named, length) == expected;
}

// The name of a user or a group by its number; the number where it has none.
template <typename Entry, typename Id>
QString nameOf(Id id, int (*lookup)(Id, Entry *, char *, size_t, Entry **), char *Entry::*name) {
    Entry entry, *found = nullptr;
    char buffer[4096];
    if (lookup(id, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->*name);
    return QString::number(id);
}

QString userName(uid_t uid) { return nameOf<struct passwd, uid_t>(uid, getpwuid_r, &passwd::pw_name); }
QString groupName(gid_t gid) { return nameOf<struct group, gid_t>(gid, getgrgid_r, &group::gr_name); }

constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// A save's new file is named ".NAME.orvane-save-" and twelve letters or
// digits: hidden beside the file it saves, and a name that another
// program's file (an rsync or an editor's ".NAME.XXXXXX") is not.
constexpr QByteArrayView kSaveMark = ".orvane-save-";
constexpr qsizetype kSaveSuffix = 12;
// The longest name a folder takes, less the rest of a save's name.
constexpr qsizetype kSavedNameRoom = 255 - 1 - kSaveMark.size() - kSaveSuffix;

QByteArray savePrefix(const QByteArray &name) { return '.' + name.left(kSavedNameRoom) + kSaveMark.toByteArray(); }

bool isSaveOf(QByteArrayView entry, const QByteArray &prefix) {
    if (entry.size() != prefix.size() + kSaveSuffix || !entry.startsWith(prefix))
        return false;
    const QByteArrayView suffix = entry.sliced(prefix.size());
    return std::all_of(suffix.begin(), suffix.end(), [](char c) { return std::strchr(kLetters, c) && c != 0; });
}

QByteArray randomSuffix() {
    QByteArray suffix(kSaveSuffix, 'x');
    for (char &c : suffix)
        c = kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters - 1))];
    return suffix;
}

// A new file beside `name` in the open folder, hidden and named after it.
struct NewFile {
    int descriptor = -1;
    QByteArray name;
};

NewFile createBeside(int folder, const QByteArray &name, mode_t mode) {
    const QByteArray base = savePrefix(name);
    for (int attempt = 0; attempt < 100; attempt++) {
        const QByteArray candidate = base + randomSuffix();
        const int descriptor =
            ::openat(folder, candidate.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (descriptor >= 0)
            return {descriptor, candidate};
        if (errno != EEXIST)
            return {};
    }
    return {};
}

// Writes `bytes` as the file `name` of the open folder so that it is there
// whole or not at all, on the disk once this answers true.
bool keepDurably(int folder, const QByteArray &name, QByteArrayView bytes) {
    const QByteArray partial = name + ".partial";
    Descriptor file(
        ::openat(folder, partial.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file)
        return false;
    if (const int cause = writeAt(file.get(), bytes, 0)) {
        errno = cause;
        return false;
    }
    return ::fsync(file.get()) == 0 && file.close() &&
           ::renameat(folder, partial.constData(), folder, name.constData()) == 0 && ::fsync(folder) == 0;
}

constexpr char kRecordedFile[] = "file";
constexpr char kBeforePrefix[] = "before saving - ";
constexpr char kAfterPrefix[] = "being saved - ";

// The copies of one write in place, in a folder of their own.
class Record {
public:
    // Makes the record of a write into the file at `target`; false, with
    // errno set, when it cannot be made.
    bool begin(const QByteArray &target) {
        const QString folder = unfinishedSavesFolder();
        if (!Folders::ensureFolder(folder)) {
            errno = EACCES;
            return false;
        }
        const QByteArray saves = nativePath(folder);
        // Copies of the user's files are the user's alone.
        if (::chmod(saves.constData(), 0700) != 0)
            return false;
        m_name = split(target).name.left(200);
        QByteArray pattern = join(saves, m_name.left(100) + "-XXXXXX");
        if (!::mkdtemp(pattern.data()))
            return false;
        m_path = pattern;
        m_folder.reset(::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!m_folder)
            return false;
        Descriptor parent(::open(saves.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (parent)
            ::fsync(parent.get());
        return keepDurably(m_folder.get(), kRecordedFile, target);
    }
    bool keepAfter(QByteArrayView bytes) { return keepDurably(m_folder.get(), kAfterPrefix + m_name, bytes); }
    bool keepBefore(QByteArrayView bytes) { return keepDurably(m_folder.get(), kBeforePrefix + m_name, bytes); }
    QString before() const { return pathFromNative(join(m_path, kBeforePrefix + m_name)); }
    void remove() {
        if (m_path.isEmpty())
            return;
        removeUnfinishedSave({pathFromNative(m_path), QString(), QString()});
        m_path.clear();
    }

private:
    QByteArray m_path;
    QByteArray m_name;
    Descriptor m_folder;
};

enum class InPlace {
    Written,
    Failed,  // the file as it was, or its old bytes kept in the record (said)
    NoCopy,  // no safe copy could be made: the file not touched
};

// Writes `data` into the open file itself, after copying it and its old
// bytes into a record; `name` is the file's name for the user.
InPlace writeInPlace(int file, const QByteArray &target, const QString &name, const QByteArray &data,
                     QString *error, WriteReport &report) {
    auto fail = [&](InPlace result, const QString &why) {
        if (error)
            *error = why;
        return result;
    };
    const std::optional<QByteArray> old = readAllFrom(file);
    if (!old)
        return fail(InPlace::NoCopy,
                    QStringLiteral("The file “%1” could not be read before it was written: %2.").arg(name, reason(errno)));
    Record record;
    auto noCopy = [&](int cause) {
        record.remove();
        return fail(InPlace::NoCopy,
                    QStringLiteral("The file “%1” could not be written: no safe copy of it could be made first (%2).")
                        .arg(name, reason(cause)));
    };
    if (!record.begin(target))
        return noCopy(errno);
    reached(InPlaceStep::Copying);
    if (!record.keepAfter(data) || !record.keepBefore(*old))
        return noCopy(errno);
    reached(InPlaceStep::Copied);

    // Room for the new bytes first, where the file system can promise it, so
    // that running out of space is found before the file is touched.
    if (data.size() > old->size() && ::fallocate(file, FALLOC_FL_KEEP_SIZE, 0, off_t(data.size())) != 0 &&
        errno == ENOSPC) {
        record.remove();
        return fail(InPlace::Failed, QStringLiteral("The file “%1” could not be written: %2.").arg(name, reason(ENOSPC)));
    }
    const qsizetype firstPart = std::min<qsizetype>(data.size(), 65536);
    int cause = writeAt(file, QByteArrayView(data).first(firstPart), 0);
    if (cause == 0) {
        reached(InPlaceStep::Writing);
        cause = writeAt(file, QByteArrayView(data).sliced(firstPart), off_t(firstPart));
    }
    if (cause == 0 && ::ftruncate(file, off_t(data.size())) != 0)
        cause = errno;
    if (cause == 0 && ::fsync(file) != 0)
        cause = errno;
    if (cause != 0) {
        const bool restored = writeAt(file, *old, 0) == 0 && ::ftruncate(file, off_t(old->size())) == 0 &&
                              ::fsync(file) == 0;
        if (!restored)
            return fail(InPlace::Failed,
                        QStringLiteral("The file “%1” could not be written: %2. Its text from before is kept in “%3”.")
                            .arg(name, reason(cause), displayablePath(record.before())));
        record.remove();
        return fail(InPlace::Failed, QStringLiteral("The file “%1” could not be written: %2.").arg(name, reason(cause)));
    }
    reached(InPlaceStep::Written);
    record.remove();
    report.inPlace = true;
    reachedFileStep(FileStep::Written);
    report.written = FileState::ofOpenFile(file);
    return InPlace::Written;
}

// The old file at `path` opened for a write in place, when it still is the
// file `old` and may be written; -1 otherwise (ESTALE: another file is there
// now).
int openInPlace(int folder, const QByteArray &name, const struct stat &old) {
    reachedFileStep(FileStep::WritingInPlace);
    Descriptor file(::openat(folder, name.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat now;
    if (!file || ::fstat(file.get(), &now) != 0)
        return -1;
    if (now.st_dev != old.st_dev || now.st_ino != old.st_ino) {
        errno = ESTALE;
        return -1;
    }
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    return file.release();
}

// The old file found at `name` opened, so that what it is and what it keeps
// are read from it rather than from a name a link may take: the very file
// `old` was, or -1. A file the user may not read is opened only as a name
// for that file (O_PATH), which is as sure of it.
int openAsFound(int folder, const QByteArray &name, const struct stat &old) {
    Descriptor file(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file && errno == EACCES)
        file.reset(::openat(folder, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat now;
    if (!file || ::fstat(file.get(), &now) != 0 || now.st_dev != old.st_dev || now.st_ino != old.st_ino)
        return -1;
    return file.release();
}

// What a new file could not take over of the old one.
struct Lost {
    bool owner = false;
    bool group = false;
    bool permissions = false;
    bool accessList = false;
    bool attributes = false;
    bool access() const { return owner || group || permissions || accessList; }
    bool any() const { return access() || attributes; }
};

// Gives the new file the old one's owner, group, permissions, access list
// and user attributes, as far as it can: `old` and `oldFile` are the old
// file's state and the old file itself, open.
Lost takeOver(int file, const struct stat &old, int oldFile) {
    Lost lost;
    struct stat now;
    if (::fstat(file, &now) != 0)
        now = old;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(file, old.st_uid, old.st_gid) != 0) {
        // Another user's file: its group may still be had.
        lost.owner = now.st_uid != old.st_uid;
        lost.group = now.st_gid != old.st_gid && ::fchown(file, uid_t(-1), old.st_gid) != 0;
    }
    // After the owner, which clears the set-id bits.
    lost.permissions = ::fchmod(file, old.st_mode & 07777) != 0;
    const FileTags::Copied copied = FileTags::copyAttributes(oldFile, file);
    lost.accessList = !copied.accessList;
    lost.attributes = !copied.userAttributes;
    return lost;
}

// The old file's mode with its group allowed no more than everybody was.
mode_t narrowed(mode_t mode) {
    mode &= 0777;
    const mode_t everybody = mode & 07;
    return (mode & ~mode_t(070)) | (mode & 070 & (everybody << 3));
}

QString sayLost(const Lost &lost, int file, const struct stat &old) {
    QStringList said;
    if (lost.owner || lost.group) {
        struct stat now;
        if (::fstat(file, &now) != 0)
            now = old;
        said << QStringLiteral("It now belongs to %1 and the group %2, where it belonged to %3 and the group %4; "
                               "that group may do no more with it than everybody may.")
                    .arg(userName(now.st_uid), groupName(now.st_gid), userName(old.st_uid), groupName(old.st_gid));
    }
    if (lost.accessList)
        said << QStringLiteral("Its access list could not be kept: the users and groups it named may now do with it "
                               "only what everybody may.");
    if (lost.permissions)
        said << QStringLiteral("Its permissions could not be kept: only its owner may use it now.");
    if (lost.attributes)
        said << QStringLiteral("Some of its extended attributes (its tags among them) could not be kept.");
    return said.join(u' ');
}

}  // namespace

QString realWritePath(const QString &path) {
    QByteArray current = nativePath(path);
    if (!current.startsWith('/'))
        current = join(nativePath(QDir::currentPath()), current);
    current = withoutTrailingSlashes(current);
    // A loop of links ends the walk on a link, which a write then refuses.
    for (int depth = 0; depth < 40; depth++) {
        const Place place = split(current);
        const std::optional<QByteArray> folder = canonicalNativePath(place.folder);
        if (!folder)
            break;
        const QByteArray here = join(*folder, place.name);
        char target[PATH_MAX];
        const ssize_t length = ::readlink(here.constData(), target, sizeof target);
        if (length <= 0 || size_t(length) >= sizeof target)
            return pathFromNative(here);
        const QByteArray to(target, length);
        current = withoutTrailingSlashes(to.startsWith('/') ? to : join(*folder, to));
    }
    return pathFromNative(current);
}

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error, WriteReport *report) {
    return writeFileAtRealPath(realWritePath(path), data, error, report);
}

bool writeFileAtRealPath(const QString &target, const QByteArray &data, QString *error, WriteReport *report) {
    WriteReport unused;
    WriteReport &said = report ? *report : unused;
    said = WriteReport{};
    const QByteArray path = nativePath(target);
    const Place place = split(path);
    const QString name = displayablePath(pathFromNative(place.name));
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    auto failed = [&](int cause) {
        return fail(QStringLiteral("The file “%1” could not be written: %2.").arg(name, reason(cause)));
    };

    Descriptor folder(::open(place.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return failed(errno);
    if (!isFolderAt(folder.get(), place.folder))
        return fail(QStringLiteral("The folder of “%1” was replaced while it was saved; nothing was written.").arg(name));
    auto replacedByLink = [&]() {
        return fail(QStringLiteral("“%1” was replaced by a link while it was saved; nothing was written.").arg(name));
    };
    // The old file, found and opened: from here on, what it is and what it
    // keeps come from it. (Another program's rename over it between the two
    // is looked at again.)
    struct stat old;
    bool existed = false;
    Descriptor oldFile;
    for (int attempt = 0;; attempt++) {
        existed = ::fstatat(folder.get(), place.name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
        if (!existed && errno != ENOENT)
            return failed(errno);
        if (!existed)
            break;
        if (S_ISLNK(old.st_mode))
            return replacedByLink();
        if (S_ISDIR(old.st_mode))
            return fail(QStringLiteral("A folder stands where the file “%1” would be written.").arg(name));
        if (!S_ISREG(old.st_mode))
            return fail(QStringLiteral("“%1” is not a plain file; it was left as it is.").arg(name));
        // A file the user may not write is not replaced either.
        if (::faccessat(folder.get(), place.name.constData(), W_OK, AT_EACCESS) != 0)
            return failed(errno);
        oldFile.reset(openAsFound(folder.get(), place.name, old));
        if (oldFile && ::fstat(oldFile.get(), &old) == 0)
            break;
        // (A link that took its place is found by the next look.)
        if (attempt == 2)
            return fail(QStringLiteral("“%1” kept being replaced while it was saved; nothing was written.").arg(name));
    }

    // A file with other names is written where it is, or not at all.
    if (existed && old.st_nlink > 1) {
        Descriptor file(openInPlace(folder.get(), place.name, old));
        if (!file && (errno == ELOOP || errno == ESTALE))
            return errno == ELOOP ? replacedByLink()
                                  : fail(QStringLiteral("“%1” was replaced by another file while it was saved; nothing "
                                                        "was written.")
                                             .arg(name));
        if (!file)
            return fail(QStringLiteral("The file “%1” has other names (hard links) and could not be written where it "
                                       "is: %2. A new file would part it from them, so nothing was written.")
                            .arg(name, reason(errno)));
        return writeInPlace(file.get(), path, name, data, error, said) == InPlace::Written;
    }

    reachedFileStep(FileStep::Creating);
    const NewFile created = createBeside(folder.get(), place.name, existed ? 0600 : 0666);
    if (created.descriptor < 0) {
        const int cause = errno;
        // A folder that takes no new file, around a file the user may write.
        if (existed && (cause == EACCES || cause == EPERM)) {
            Descriptor file(openInPlace(folder.get(), place.name, old));
            if (file)
                return writeInPlace(file.get(), path, name, data, error, said) == InPlace::Written;
        }
        return failed(cause);
    }
    Descriptor file(created.descriptor);
    // Locked while the save runs (the lock goes with the process, however
    // it ends): a look beside the file from elsewhere meanwhile takes it for
    // a save under way, not for one cut short. Never waited for.
    ::flock(file.get(), LOCK_EX | LOCK_NB);
    const Descriptor locked(::dup(file.get()));
    auto discard = [&]() {
        file.reset();
        ::unlinkat(folder.get(), created.name.constData(), 0);
    };
    auto discardFailed = [&](int cause) {
        discard();
        return failed(cause);
    };
    if (existed) {
        const Lost lost = takeOver(file.get(), old, oldFile.get());
        if (lost.any()) {
            // The old file itself keeps everything.
            if (Descriptor same(openInPlace(folder.get(), place.name, old)); same) {
                const InPlace result = writeInPlace(same.get(), path, name, data, error, said);
                if (result != InPlace::NoCopy) {
                    discard();
                    return result == InPlace::Written;
                }
            }
            // Else a new file, which gives nobody more than before.
            if (lost.access() && ::fchmod(file.get(), narrowed(old.st_mode)) != 0)
                return discardFailed(errno);
            said.notKept = sayLost(lost, file.get(), old);
            qCInfo(lcPlatform).noquote() << QStringLiteral("%1: %2").arg(target, said.notKept);
        }
    }
    if (const int cause = writeAt(file.get(), data, 0))
        return discardFailed(cause);
    if (::fsync(file.get()) != 0)
        return discardFailed(errno);
    // What the file is, before its name is one that a link may take.
    const FileState written = FileState::ofOpenFile(file.get());
    if (!written.exists)
        return discardFailed(errno);
    if (!file.close()) {
        const int cause = errno;
        ::unlinkat(folder.get(), created.name.constData(), 0);
        return failed(cause);
    }
    reachedFileStep(FileStep::Renaming);
    if (existed) {
        // The new file and what stands in the file's place trade names, and
        // what left the place is looked at: another program's version
        // renamed there since the old file was found goes back, and nothing
        // is written (a link put there goes, as a rename over it takes it).
        if (::renameat2(folder.get(), created.name.constData(), folder.get(), place.name.constData(),
                        RENAME_EXCHANGE) == 0) {
            struct stat left {};
            if (::fstatat(folder.get(), created.name.constData(), &left, AT_SYMLINK_NOFOLLOW) == 0 &&
                !S_ISLNK(left.st_mode) && (left.st_dev != old.st_dev || left.st_ino != old.st_ino)) {
                // (One that cannot go back stays beside it, never removed.)
                if (::renameat2(folder.get(), created.name.constData(), folder.get(), place.name.constData(),
                                RENAME_EXCHANGE) == 0)
                    ::unlinkat(folder.get(), created.name.constData(), 0);
                return fail(QStringLiteral("“%1” was replaced by another file while it was saved; nothing was written.")
                                .arg(name));
            }
            ::unlinkat(folder.get(), created.name.constData(), 0);
            ::fsync(folder.get());
            reachedFileStep(FileStep::Written);
            said.written = written;
            return true;
        }
        // Nothing there any more, or a file system that cannot trade names:
        // the new file is renamed into the place.
        if (errno != ENOENT && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            const int cause = errno;
            ::unlinkat(folder.get(), created.name.constData(), 0);
            return failed(cause);
        }
    }
    if (::renameat(folder.get(), created.name.constData(), folder.get(), place.name.constData()) != 0) {
        const int cause = errno;
        ::unlinkat(folder.get(), created.name.constData(), 0);
        return failed(cause);
    }
    ::fsync(folder.get());
    reachedFileStep(FileStep::Written);
    said.written = written;
    return true;
}

bool writeNewFile(const QString &path, const QByteArray &data, QString *error) {
    const Place place = split(withoutTrailingSlashes(nativePath(path)));
    const QString name = displayablePath(pathFromNative(place.name));
    auto failed = [&](int cause) {
        if (error)
            *error = QStringLiteral("The file “%1” could not be written: %2.").arg(name, reason(cause));
        errno = cause;
        return false;
    };
    Descriptor folder(::open(place.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return failed(errno);
    Descriptor file(
        ::openat(folder.get(), place.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file)
        return failed(errno);
    int cause = writeAt(file.get(), data, 0);
    if (!cause && ::fsync(file.get()) != 0)
        cause = errno;
    if (!cause && !file.close())
        cause = errno;
    if (cause) {
        file.reset();
        ::unlinkat(folder.get(), place.name.constData(), 0);
        return failed(cause);
    }
    ::fsync(folder.get());
    return true;
}

int openAtRealPath(const QString &target) {
    const QByteArray path = nativePath(target);
    const Place place = split(path);
    Descriptor folder(::open(place.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return -1;
    if (!isFolderAt(folder.get(), place.folder)) {
        errno = ELOOP;
        return -1;
    }
    reachedFileStep(FileStep::Reading);
    return ::openat(folder.get(), place.name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

// --- Writes in place that did not finish ---------------------------------------------------

QString unfinishedSavesFolder() {
    return Folders::userDataFolder() + QStringLiteral("/Tessaro Orvane 4/Unfinished Saves");
}

QList<UnfinishedSave> unfinishedSaves(const QString &target) {
    QList<UnfinishedSave> found;
    const QByteArray saves = nativePath(unfinishedSavesFolder());
    const QByteArray wanted = nativePath(target);
    DIR *folder = ::opendir(saves.constData());
    if (!folder)
        return found;
    while (const dirent *entry = ::readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const QByteArray record = join(saves, entry->d_name);
        QFile named;
        if (!openFile(named, pathFromNative(join(record, kRecordedFile)), QIODevice::ReadOnly) ||
            named.readAll() != wanted)
            continue;
        UnfinishedSave save{pathFromNative(record), QString(), QString()};
        const QByteArray file = split(wanted).name.left(200);
        struct stat info;
        const QByteArray before = join(record, kBeforePrefix + file);
        const QByteArray after = join(record, kAfterPrefix + file);
        if (::stat(before.constData(), &info) == 0)
            save.before = pathFromNative(before);
        if (::stat(after.constData(), &info) == 0)
            save.after = pathFromNative(after);
        found.append(save);
    }
    ::closedir(folder);
    return found;
}

void removeUnfinishedSave(const UnfinishedSave &save) {
    const QByteArray record = nativePath(save.record);
    if (DIR *folder = ::opendir(record.constData())) {
        while (const dirent *entry = ::readdir(folder))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                ::unlink(join(record, entry->d_name).constData());
        ::closedir(folder);
    }
    ::rmdir(record.constData());
}

// --- New files of saves cut short ----------------------------------------------------------

namespace {

// Whether the open file holds exactly `bytes`.
bool holdsExactly(int descriptor, const struct stat &info, const QByteArray &bytes) {
    if (info.st_size != off_t(bytes.size()))
        return false;
    char buffer[65536];
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n = ::pread(descriptor, buffer, sizeof buffer, off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || n > bytes.size() - at || std::memcmp(buffer, bytes.constData() + at, size_t(n)) != 0)
            return false;
        at += n;
    }
    return true;
}

}  // namespace

QStringList clearSavesLeftBeside(const QString &target, const QByteArray &current) {
    QStringList kept;
    const QByteArray path = nativePath(target);
    const Place place = split(path);
    Descriptor folder(::open(place.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder || !isFolderAt(folder.get(), place.folder))
        return kept;
    struct stat file {};
    const bool fileThere = ::fstatat(folder.get(), place.name.constData(), &file, AT_SYMLINK_NOFOLLOW) == 0;
    const QByteArray prefix = savePrefix(place.name);
    // (The listing reads a descriptor of its own.)
    DIR *listing = ::fdopendir(::dup(folder.get()));
    if (!listing)
        return kept;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (!isSaveOf(name, prefix))
            continue;
        struct stat seen;
        if (::fstatat(folder.get(), name.constData(), &seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(seen.st_mode))
            continue;
        // Made by this user, or given the owner of the file it saved.
        if (seen.st_uid != ::geteuid() && !(fileThere && seen.st_uid == file.st_uid))
            continue;
        Descriptor left(::openat(folder.get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened;
        if (!left || ::fstat(left.get(), &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino)
            continue;
        // A save under way holds its new file.
        if (::flock(left.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            continue;
        if (holdsExactly(left.get(), opened, current)) {
            struct stat still;
            if (::fstatat(folder.get(), name.constData(), &still, AT_SYMLINK_NOFOLLOW) == 0 &&
                still.st_dev == opened.st_dev && still.st_ino == opened.st_ino &&
                ::unlinkat(folder.get(), name.constData(), 0) == 0)
                continue;
        }
        kept << pathFromNative(join(place.folder, name));
    }
    ::closedir(listing);
    kept.sort();
    return kept;
}

void setInPlaceStepHook(InPlaceStepHook hook) { s_stepHook = hook; }

void setFileStepHook(FileStepHook hook) { s_fileStepHook = hook; }

}  // namespace platform

#include "platform/documents/safe_write.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/documents/file_tags.h"
#include "platform/files/native_path.h"

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The same write for a file whose name is not UTF-8, which QSaveFile cannot
// name (it would write another file): a new file beside it, on disk, then
// renamed over it.
bool writeNativeOnly(const QString &target, const QByteArray &data, QString *error) {
    const QByteArray path = nativePath(target);
    const QString name = displayablePath(QFileInfo(target).fileName());
    struct stat old;
    const bool existed = ::stat(path.constData(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) {
        if (error)
            *error = QStringLiteral("A folder stands where the file “%1” would be written.").arg(name);
        return false;
    }
    QByteArray temporary = path + ".XXXXXX";
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    auto fail = [&](int cause) {
        if (error)
            *error = QStringLiteral("The file “%1” could not be written: %2.").arg(name, reason(cause));
        if (descriptor >= 0) {
            ::close(descriptor);
            ::unlink(temporary.constData());
        }
        return false;
    };
    if (descriptor < 0)
        return fail(errno);
    mode_t mode = old.st_mode & 07777;
    if (!existed) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(descriptor, mode) != 0)
        return fail(errno);
    if (existed)
        FileTags::copyUserAttributes(target, descriptor);
    for (qsizetype written = 0; written < data.size();) {
        const ssize_t n = ::write(descriptor, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : EIO);
        written += n;
    }
    if (::fsync(descriptor) != 0)
        return fail(errno);
    if (::close(descriptor) != 0) {
        const int cause = errno;
        ::unlink(temporary.constData());
        if (error)
            *error = QStringLiteral("The file “%1” could not be written: %2.").arg(name, reason(cause));
        return false;
    }
    if (::rename(temporary.constData(), path.constData()) != 0) {
        const int cause = errno;
        ::unlink(temporary.constData());
        if (error)
            *error = QStringLiteral("The file “%1” could not be written: %2.").arg(name, reason(cause));
        return false;
    }
    return true;
}

}  // namespace

QString resolvedWritePath(const QString &path) {
    QString current = path;
    // A loop of links ends the walk where it began to repeat.
    for (int depth = 0; depth < 32; depth++) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(nativePath(current).constData(), target, sizeof target);
        if (length <= 0 || size_t(length) >= sizeof target)
            break;
        const QString to = pathFromNative(QByteArrayView(target, length));
        current = QDir::cleanPath(QDir(QFileInfo(current).absolutePath()).absoluteFilePath(to));
    }
    return current;
}

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error) {
    const QString target = resolvedWritePath(path);
    if (isNativeOnly(target))
        return writeNativeOnly(target, data, error);
    const QFileInfo existing(target);
    if (existing.isDir()) {
        if (error)
            *error = QStringLiteral("A folder stands where the file “%1” would be written.")
                         .arg(existing.fileName());
        return false;
    }
    QSaveFile file(target);
    // Writing over the old file in place is exactly what must not happen.
    file.setDirectWriteFallback(false);
    // The system's own words for a failure ("No space left on device"),
    // taken at once, before anything else can change errno; Qt's text where
    // the system said nothing.
    auto fail = [&](int number) {
        const QString reason = number != 0 ? QString::fromLocal8Bit(strerror(number)) : file.errorString();
        if (error)
            *error = QStringLiteral("The file “%1” could not be written: %2.").arg(existing.fileName(), reason);
        file.cancelWriting();
        return false;
    };
    errno = 0;
    // Unbuffered, so that a failed write says so where it fails, with its
    // own errno, and not later inside commit().
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(errno);
    if (existing.exists()) {
        file.setPermissions(existing.permissions());
        FileTags::copyUserAttributes(target, file.handle());
    }
    errno = 0;
    if (file.write(data) != data.size())
        return fail(errno);
    errno = 0;
    if (!file.commit())
        return fail(errno);
    return true;
}

}  // namespace platform

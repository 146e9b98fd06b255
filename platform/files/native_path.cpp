#include "platform/files/native_path.h"

#include "library/file_utils.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char16_t kFirstEscape = 0xDC80;  // stands for the byte 0x80
constexpr char16_t kLastEscape = 0xDCFF;   // ... and 0xFF

bool isEscape(QChar c) { return c.unicode() >= kFirstEscape && c.unicode() <= kLastEscape; }

// The escapes of `path`: its lone low surrogates that stand for a byte.
template <typename Visit>
void forEachEscape(QStringView path, Visit visit) {
    for (qsizetype i = 0; i < path.size(); i++)
        if (isEscape(path[i]) && (i == 0 || !path[i - 1].isHighSurrogate()))
            visit(i);
}

}  // namespace

QByteArray nativePath(QStringView path) {
    QByteArray bytes;
    qsizetype from = 0;
    forEachEscape(path, [&](qsizetype at) {
        bytes += path.mid(from, at - from).toUtf8();
        bytes += char(path[at].unicode() - kFirstEscape + 0x80);
        from = at + 1;
    });
    if (from == 0)
        return path.toUtf8();
    bytes += path.mid(from).toUtf8();
    return bytes;
}

QString pathFromNative(QByteArrayView bytes) {
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype size = bytes.size();
    QString path;
    qsizetype run = 0;  // the start of the UTF-8 run not yet decoded
    for (qsizetype at = 0; at < size;) {
        const qsizetype length = qsizetype(utf8_sequence_length(data + at, size_t(size - at)));
        if (length > 0) {
            at += length;
            continue;
        }
        if (run == 0 && path.isEmpty())
            path.reserve(size);
        path += QString::fromUtf8(bytes.sliced(run, at - run));
        path += QChar(char16_t(kFirstEscape + data[at] - 0x80));
        at++;
        run = at;
    }
    if (run == 0)
        return QString::fromUtf8(bytes);
    path += QString::fromUtf8(bytes.sliced(run));
    return path;
}

bool isNativeOnly(QStringView path) {
    bool found = false;
    forEachEscape(path, [&](qsizetype) { found = true; });
    return found;
}

QString displayablePath(QStringView path) {
    QString shown = path.toString();
    forEachEscape(path, [&](qsizetype at) { shown[at] = QChar::ReplacementCharacter; });
    return shown;
}

PathStatus pathStatus(const QString &path, bool followLinks) {
    PathStatus status;
    if (path.isEmpty())
        return status;
    const QByteArray bytes = nativePath(path);
    struct stat info;
    if (::lstat(bytes.constData(), &info) != 0)
        return status;
    status.isSymLink = S_ISLNK(info.st_mode);
    if (status.isSymLink && followLinks && ::stat(bytes.constData(), &info) != 0)
        return status;  // a dangling link: nothing there
    status.exists = true;
    status.isDir = S_ISDIR(info.st_mode);
    status.isFile = S_ISREG(info.st_mode);
    status.size = qint64(info.st_size);
    status.lastModified = QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000 +
                                                         info.st_mtim.tv_nsec / 1000000);
    return status;
}

bool openFile(QFile &file, const QString &path, QIODevice::OpenMode mode, QString *error) {
    if (!isNativeOnly(path)) {
        file.setFileName(path);
        if (file.open(mode))
            return true;
        if (error)
            *error = file.errorString();
        return false;
    }
    const int flags = (mode & QIODevice::WriteOnly) ? ((mode & QIODevice::ReadOnly) ? O_RDWR : O_WRONLY) : O_RDONLY;
    const int descriptor = ::open(nativePath(path).constData(), flags | O_CLOEXEC);
    if (descriptor < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!file.open(descriptor, mode, QFileDevice::AutoCloseHandle)) {
        if (error)
            *error = file.errorString();
        ::close(descriptor);
        return false;
    }
    return true;
}

QString canonicalPath(const QString &path) {
    if (path.isEmpty())
        return QString();
    const std::optional<QByteArray> canonical = canonicalNativePath(nativePath(path));
    return canonical ? pathFromNative(*canonical) : QString();
}

std::optional<QByteArray> canonicalNativePath(const QByteArray &path) {
    if (path.isEmpty() || path.contains('\0'))
        return std::nullopt;
    char *resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return std::nullopt;
    QByteArray canonical(resolved);
    std::free(resolved);
    return canonical;
}

}  // namespace platform

#include "platform/safe_write.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/file_tags.h"

#include <cerrno>
#include <cstring>

namespace platform {

QString resolvedWritePath(const QString &path) {
    QString current = path;
    // A loop of links ends the walk where it began to repeat.
    for (int depth = 0; depth < 32; depth++) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            break;
        QString target = info.symLinkTarget();
        if (target.isEmpty())
            break;
        current = QDir::cleanPath(QDir(info.absolutePath()).absoluteFilePath(target));
    }
    return current;
}

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error) {
    const QString target = resolvedWritePath(path);
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

#include "platform/safe_write.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/file_tags.h"

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
    auto fail = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("The file “%1” could not be written: %2.")
                         .arg(existing.fileName(), reason);
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (existing.exists()) {
        file.setPermissions(existing.permissions());
        FileTags::copyUserAttributes(target, file.handle());
    }
    if (file.write(data) != data.size())
        return fail(file.errorString());
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

}  // namespace platform

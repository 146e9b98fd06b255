#include "platform/file_kind.h"

#include <QFile>

#include <sys/stat.h>

namespace platform {

bool isRegularFile(const QString &path) {
    struct stat info;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace platform

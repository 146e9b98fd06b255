#include "platform/files/file_kind.h"

#include "platform/files/native_path.h"

#include <sys/stat.h>

namespace platform {

bool isRegularFile(const QString &path) {
    struct stat info;
    return !path.isEmpty() && ::stat(nativePath(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace platform

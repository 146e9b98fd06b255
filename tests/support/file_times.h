// Setting a file's or folder's modification time in tests.
#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>

namespace testing_qt {

inline bool setModificationTime(const QString &path, qint64 secondsSinceEpoch) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(secondsSinceEpoch), 0}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

}  // namespace testing_qt

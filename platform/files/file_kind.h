// What kind of thing a path names, for the places that must read only plain
// files: opening a pipe or a device for reading can wait forever, and a
// device can give bytes without end.
#pragma once

#include <QString>

namespace platform {

// True when `path` (after symbolic links) is a regular file.
bool isRegularFile(const QString &path);

}  // namespace platform

// Writing a file so that it is never seen half written: the bytes go to a
// new file beside it, reach the disk, and then take its place in one rename.
// A write that fails at any step leaves the old file as it was.
//
// The new file keeps what the old one had besides its bytes: its permissions
// and its user attributes (tags among them). A symbolic link is followed:
// the file it points to is replaced, and the link stays a link.
//
// There is no fallback to writing over the old file in place: where the
// folder refuses a new file (a folder the user may not write in), the write
// fails and says so.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// False, with a sentence for the user in `error`, when the file could not be
// written; the old file is then untouched.
bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error = nullptr);

// The path a write of `path` replaces: the target of a symbolic link (of a
// chain of them), else the path itself.
QString resolvedWritePath(const QString &path);

}  // namespace platform

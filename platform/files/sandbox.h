// The platform's sandbox as far as this program meets it: whether it runs
// sandboxed, bookmarks that keep access to folders the user granted, and
// starting to use such a bookmark.
//
// This platform has no sandbox of that kind: the program is not sandboxed
// unless told so (the environment variable ORVANE_SANDBOXED set to 1, or
// setSandboxed for tests), a bookmark is the folder's path and the access
// granted, kept as bytes in the preferences, and starting to use one answers
// whether the folder can be read now.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

class Sandbox {
public:
    static bool isSandboxed();
    // Replaces the answer of isSandboxed; nullopt goes back to the environment.
    static void setSandboxed(std::optional<bool> sandboxed);

    // A bookmark of the folder at `path`; empty when none can be made (the
    // folder does not exist).
    static QByteArray bookmarkData(const QString &path, bool readOnly);
    // The folder a bookmark names; nothing for bytes that are no bookmark.
    static std::optional<QString> resolveBookmark(const QByteArray &data);
    // Starts using the access a bookmark gave: whether the folder is readable.
    static bool startAccessing(const QString &path);
};

}  // namespace platform

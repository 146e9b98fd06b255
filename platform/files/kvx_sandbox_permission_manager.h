// Folder permissions for a sandboxed program: whether it runs sandboxed,
// bookmarks of the folders the user granted, kept in the preferences under
// "access folder - <path>", access restored from them (a folder's own
// bookmark or its nearest bookmarked parent's), and the open panel that asks
// the user for a folder none covers.
//
// Class operations only. Any thread may call them; the panel always runs on
// the main thread and a caller elsewhere waits for its answer.
#pragma once

#include <QString>

class KVXSandboxPermissionManager {
public:
    KVXSandboxPermissionManager() = delete;

    static bool isSandboxed();

    // The preference key of a folder's bookmark.
    static QString bookmarkKey(const QString &path);

    // Stores the bookmark of the folder at `path` under its key, as given;
    // a folder of which no bookmark can be made clears the key.
    static void saveSecurityBookmarkForURL(const QString &path, bool readOnly);
    // Starts the access stored for exactly this folder (its path
    // standardised); false without a bookmark or when access cannot start.
    static bool loadBookmarkHelper(const QString &path);
    // The folder's own bookmark or that of its nearest parent that has one.
    static bool loadSecurityBookmarkForFolder(const QString &path);

    // True when access to the folder is available, after asking the user
    // with an open panel if no bookmark covers it. `messageFormat` holds one
    // "%@", which the folder's path fills. Folders chosen in the panel are
    // stored; their access starts at the next load.
    static bool getPermissionForFolder(const QString &path, const QString &messageFormat,
                                       bool readOnly);

    // A folder common to two paths (a null QString stands for none):
    // neither gives none, one alone its parent folder, two equal paths that
    // path, else the longest common character prefix of `a` and the parent
    // folder of `b` (a plain prefix, which may end inside a component).
    static QString parentFolderOfPath(const QString &a, const QString &b);

    // Removes every stored bookmark.
    static void clearExistingSecurityBookmarks();
};

// The Default Folder X utility, told to keep out of the program's open panel.
// It does not run on this platform, so nothing is ever told.
class DefaultFolderXController {
public:
    DefaultFolderXController() = delete;
    // False when the utility is not running.
    static bool setEnabled(bool enabled);
};

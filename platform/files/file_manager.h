// Showing files in the user's file manager, the way desktops ask each other:
// the file manager's service on the session bus (org.freedesktop.FileManager1,
// whose ShowItems opens a window with the items selected). Without that
// service, each item's folder is opened instead, which a desktop gives to its
// file manager too.
//
//   platform::FileManager::revealFiles({"/home/ann/notes/a.md", "/home/ann/notes/b.md"});
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QDBusMessage;

namespace platform {

class FileManager {
public:
    // Shows the items at `paths` (absolute paths) selected in a file manager
    // window. Items that do not exist are left out; false when none is left.
    // The service answers later: an error, or no service at all, opens the
    // folders instead then.
    static bool revealFiles(const QStringList &paths);

    // The service's call for the items.
    static QDBusMessage showItemsMessage(const QStringList &paths);
    // The folders that hold the items, each once, in the order of the items.
    static QStringList containingFolders(const QStringList &paths);

    // Stand-ins for tests: `callService` answers whether the service took a
    // call; `openFolder` whether a folder was opened. Empty ones restore the
    // session bus and the desktop.
    struct Hooks {
        std::function<bool(const QDBusMessage &)> callService;
        std::function<bool(const QString &folder)> openFolder;
    };
    static void setHooksForTesting(Hooks hooks);
};

}  // namespace platform

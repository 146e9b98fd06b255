// The user's folders: where preferences, extras and documents live.
//
//   userDataFolder()  the user's data folder, the counterpart of the user's
//                     Application Support folder (~/.local/share): the extras
//                     live in "Tessaro Orvane 4/Themes" and so on below it
//   dataFolders()     the data folders of every domain, the user's first, then
//                     the machine's (/usr/local/share, /usr/share)
//   configFolder()    where the preferences file lives (~/.config/<org>/<app>)
//   documentsFolder() the user's documents
//   stateFolder()     what the program keeps of itself from one run to the
//                     next that is no setting: $XDG_STATE_HOME, else
//                     ~/.local/state
//
// The answers come from QStandardPaths unless a layout is set in its place
// (tests; see ScopedFolders), which then holds for every thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace platform {

class Folders {
public:
    static QString userDataFolder();
    static QStringList dataFolders();
    static QString configFolder();
    static QString documentsFolder();
    static QString stateFolder();

    // Makes the folder and its parents when missing. False, with the reason
    // logged, when it cannot be made or is not a writable folder.
    static bool ensureFolder(const QString &path);

    struct Layout {
        QString userData;
        QStringList sharedData;  // the other domains' data folders, in order
        QString config;
        QString documents;
        QString state;
    };
    // Replaces the answers above; nullopt returns to QStandardPaths.
    static void setLayout(std::optional<Layout> layout);
    static std::optional<Layout> layout();
};

// A path as the platform standardises it: a leading "~" becomes the home
// folder, "." and ".." components and repeated or trailing "/" go.
QString standardizedPath(const QString &path);

// The path without its last component: "/a/b/c.md" gives "/a/b", "/a" and
// "/" give "/", and a bare name gives "". Trailing "/" are ignored.
QString deletingLastPathComponent(const QString &path);

// A fresh temporary folder tree in place of the user's folders while it
// lives: root/data, root/shared, root/config, root/documents and root/state
// (made as needed by the code under test).
class ScopedFolders {
public:
    ScopedFolders();
    ~ScopedFolders();
    ScopedFolders(const ScopedFolders &) = delete;
    ScopedFolders &operator=(const ScopedFolders &) = delete;

    QString root() const { return m_dir.path(); }
    const Folders::Layout &layout() const { return m_layout; }

private:
    QTemporaryDir m_dir;
    Folders::Layout m_layout;
    std::optional<Folders::Layout> m_previous;
};

}  // namespace platform

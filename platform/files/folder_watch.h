// What both folder watchers share: inotify watches on one folder or on a
// whole tree, kept right as folders come, go and move, and a folder that
// another program replaced by renaming a new one over it watched again.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#include "platform/files/inotify_watch.h"

namespace platform {

class FolderWatch : public QObject {
    Q_OBJECT
public:
    enum class Depth {
        // Entries added to the folder, removed from it, renamed, or written
        // and closed.
        OneFolder,
        // Anything created, changed, renamed or deleted at any depth. Hidden
        // folders are not entered: the listings never show what is in them.
        Tree,
    };

    explicit FolderWatch(Depth depth, QObject *parent = nullptr);
    ~FolderWatch() override;

    // Watches `path` (symbolic links in it followed). False, with the reason
    // in `error()`, when the folder cannot be watched; false as well when
    // already watching.
    bool start(const QString &path);
    void stop();
    bool isWatching() const { return m_inotify != nullptr; }
    QString path() const { return QFile::decodeName(m_root); }
    QString error() const { return m_error; }

    // Folders of the tree left unwatched because the system's watch limit
    // was reached (logged once per watch, when it first happens).
    int unwatchedFolderCount() const { return m_unwatched; }

    // When the watched folder itself was deleted or moved away, watches
    // whatever folder now stands at its path. Runs by itself on every event
    // batch; a caller may try again later.
    void rearmIfLost();

signals:
    // Once for every batch of events that touched the watched folders. A
    // receiver may destroy this object.
    void changed();

private:
    uint32_t mask() const;
    bool armRoot();
    void addTree(const QByteArray &folder);
    void removeTree(const QByteArray &folder);
    // Logs the exhausted watch limit the first time it kept folders out.
    void reportLimit();
    void handle(const std::vector<InotifyWatch::Event> &events);

    Depth m_depth;
    std::unique_ptr<InotifyWatch> m_inotify;
    QByteArray m_root;
    int m_rootWd = -1;
    int m_rootRefusal = 0;  // errno of the last refused watch of the folder itself
    bool m_rootLost = false;
    QHash<int, QByteArray> m_folders;  // watch descriptor -> folder path
    QString m_error;
    int m_unwatched = 0;
    bool m_limitReported = false;
};

}  // namespace platform

// Follows one file on disk for the document that shows it, and tells the
// document, on the main thread, when another program may have changed it.
//
// Two inotify watches: one on the file itself (a write through any of its
// names), one on its folder (a new file renamed over it, the way most
// programs save; the file deleted, or made anew). After such a rename the
// file's watch follows the new file at the same path. Changes that come in a
// burst (a program writing in several steps) are told once, when the file has
// been quiet for the debounce time.
//
// The presenter says only that something happened. Whether the file really
// differs from what the document knows is the document's question: compare
// the state of what stands at the file's place (FileState::at) with the
// state recorded after the last read or write, so that the document's own
// saves never look like outside changes.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <vector>

#include "platform/files/inotify_watch.h"

class QTimer;

namespace platform {

// What identifies a version of a file without reading it.
struct FileState {
    bool exists = false;
    qint64 size = 0;
    qint64 modifiedNanoseconds = 0;  // since the epoch
    quint64 device = 0;
    quint64 inode = 0;

    // The file `path` leads to, links followed.
    static FileState of(const QString &path);
    // What stands at `path` itself: a link there is not followed, and gives
    // its own state, so that a link put in a file's place is never taken
    // for the file it leads to.
    static FileState at(const QString &path);
    // The file an open descriptor is, whatever its path leads to by now.
    static FileState ofOpenFile(int descriptor);
    QDateTime modificationDate() const;
    // Whether both are the same file (its device and inode), whatever its
    // bytes are.
    bool isSameFile(const FileState &other) const {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
    bool operator==(const FileState &) const = default;
};

class FilePresenter : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultDebounce{100};

    explicit FilePresenter(QObject *parent = nullptr);
    ~FilePresenter() override;

    // Follows the file at `path` (which need not exist yet); an empty path
    // stops. False when the folder cannot be watched (the reason is logged).
    bool setPath(const QString &path);
    QString path() const { return m_path; }
    bool isWatching() const;

    void setDebounce(std::chrono::milliseconds time);
    std::chrono::milliseconds debounce() const;
    // Tells at once what the debounce holds back (tests, and before a read
    // that must see every change).
    void flush();

signals:
    // On the thread that made the presenter (the main thread): the file may
    // have changed.
    void changed();

private:
    void handle(const std::vector<InotifyWatch::Event> &events);
    void armFolder();
    void armFile();
    void fire();

    std::unique_ptr<InotifyWatch> m_inotify;
    QTimer *m_debounce = nullptr;
    QString m_path;
    QByteArray m_folder;
    QByteArray m_name;
    int m_folderWd = -1;
    int m_fileWd = -1;
    quint64 m_fileInode = 0;
    bool m_pending = false;
};

}  // namespace platform

// A folder's contents as file entries, listed afresh on request and kept in
// `files` as the folder changes. Project windows and the file navigator show
// them.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <mutex>
#include <vector>

#include "platform/files/folder_listing.h"
#include "platform/files/kvx_directory_watcher.h"

class KVXFolderContents : public QObject, public KVXDirectoryWatcherDelegate {
    Q_OBJECT
public:
    using FileEntry = platform::FileEntry;

    // A listing of `url` named after its last path component.
    static std::unique_ptr<KVXFolderContents> initForURL(const QUrl &url);
    // "Local": the user's Documents folder.
    static std::unique_ptr<KVXFolderContents> initForLocal();
    // "iCloud": "Documents" in the folder the preference "iCloudURL" names;
    // no folder while it names none.
    static std::unique_ptr<KVXFolderContents> initForICloud();
    // "Dropbox": no folder (there is none to find).
    static std::unique_ptr<KVXFolderContents> initForDropbox();

    KVXFolderContents(const QString &displayName, const QUrl &baseURL, QObject *parent = nullptr);
    ~KVXFolderContents() override;

    QString displayName() const { return m_displayName; }
    void setDisplayName(const QString &name) { m_displayName = name; }
    QUrl baseURL() const { return m_baseURL; }
    // A different folder is followed from now on; the same one changes nothing.
    void setBaseURL(const QUrl &url);
    static QUrl dropboxURL() { return {}; }

    // The listing made at the last change of the folder; empty until the
    // first. Safe to read from any thread.
    std::vector<FileEntry> files() const;

    void directoryDidChange(KVXDirectoryWatcher *watcher) override;
    // Lists the folder again into `files` and signals `filesChanged`.
    void updateEnumeratedFiles();

    std::vector<FileEntry> enumerateFilesInURL(const QUrl &url) const;
    std::vector<FileEntry> enumerateFilesInBaseURL() const { return enumerateFilesInURL(m_baseURL); }
    static std::vector<FileEntry> hierarchicalArrayFromFlatArray(const std::vector<FileEntry> &flat);
    std::vector<FileEntry> fileHierarchy() const;
    std::vector<FileEntry> fileHierarchyMatchingQuery(const QString &query) const;

    // The order of later listings.
    void sortByNewest() { m_sort = platform::FileSort::Newest; }
    void sortByOldest() { m_sort = platform::FileSort::Oldest; }
    void sortAlphabetically() { m_sort = platform::FileSort::Alphabetical; }
    void sortReverseAlphabetically() { m_sort = platform::FileSort::ReverseAlphabetical; }
    void defaultSort() { sortAlphabetically(); }

signals:
    void filesChanged();

private:
    QString m_displayName;
    QUrl m_baseURL;
    platform::FileSort m_sort = platform::FileSort::Alphabetical;
    std::unique_ptr<KVXDirectoryWatcher> m_folderWatcher;
    mutable std::mutex m_filesLock;
    std::vector<FileEntry> m_files;
};

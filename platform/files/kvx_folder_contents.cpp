#include "platform/files/kvx_folder_contents.h"

#include "platform/prefs/defaults.h"
#include "platform/files/folders.h"

std::unique_ptr<KVXFolderContents> KVXFolderContents::initForURL(const QUrl &url) {
    return std::make_unique<KVXFolderContents>(url.fileName(), url);
}

std::unique_ptr<KVXFolderContents> KVXFolderContents::initForLocal() {
    return std::make_unique<KVXFolderContents>(QStringLiteral("Local"),
                                               QUrl::fromLocalFile(platform::Folders::documentsFolder()));
}

std::unique_ptr<KVXFolderContents> KVXFolderContents::initForICloud() {
    const QString container = platform::Defaults::standard().stringForKey(QStringLiteral("iCloudURL"));
    const QUrl folder = container.isEmpty() ? QUrl() : QUrl::fromLocalFile(container + QStringLiteral("/Documents"));
    return std::make_unique<KVXFolderContents>(QStringLiteral("iCloud"), folder);
}

std::unique_ptr<KVXFolderContents> KVXFolderContents::initForDropbox() {
    return std::make_unique<KVXFolderContents>(QStringLiteral("Dropbox"), dropboxURL());
}

KVXFolderContents::KVXFolderContents(const QString &displayName, const QUrl &baseURL, QObject *parent)
    : QObject(parent), m_displayName(displayName) {
    setBaseURL(baseURL);
}

KVXFolderContents::~KVXFolderContents() = default;

void KVXFolderContents::setBaseURL(const QUrl &url) {
    if (url == m_baseURL)
        return;
    m_baseURL = url;
    m_folderWatcher.reset();  // the old folder is no longer followed
    if (url.isLocalFile())
        m_folderWatcher = KVXDirectoryWatcher::watchFolderWithPath(url.toLocalFile(), this);
}

std::vector<platform::FileEntry> KVXFolderContents::files() const {
    std::lock_guard lock(m_filesLock);
    return m_files;
}

void KVXFolderContents::directoryDidChange(KVXDirectoryWatcher *) { updateEnumeratedFiles(); }

void KVXFolderContents::updateEnumeratedFiles() {
    std::vector<FileEntry> fresh = enumerateFilesInBaseURL();
    {
        std::lock_guard lock(m_filesLock);
        m_files = std::move(fresh);
    }
    emit filesChanged();
}

std::vector<platform::FileEntry> KVXFolderContents::enumerateFilesInURL(const QUrl &url) const {
    if (!url.isLocalFile())
        return {};
    return platform::listFolder(url.toLocalFile(), m_sort);
}

std::vector<platform::FileEntry> KVXFolderContents::hierarchicalArrayFromFlatArray(
    const std::vector<FileEntry> &flat) {
    return platform::fileHierarchy(flat);
}

std::vector<platform::FileEntry> KVXFolderContents::fileHierarchy() const {
    return platform::fileHierarchy(enumerateFilesInBaseURL());
}

std::vector<platform::FileEntry> KVXFolderContents::fileHierarchyMatchingQuery(const QString &query) const {
    return platform::fileHierarchy(platform::filesMatchingQuery(enumerateFilesInBaseURL(), query));
}

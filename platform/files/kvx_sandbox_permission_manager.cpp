#include "platform/files/kvx_sandbox_permission_manager.h"

#include "platform/prefs/defaults.h"
#include "platform/files/folder_picker.h"
#include "platform/files/folders.h"
#include "platform/files/sandbox.h"

using platform::Defaults;
using platform::Sandbox;

namespace {

const QString kKeyPrefix = QStringLiteral("access folder - ");

}  // namespace

bool KVXSandboxPermissionManager::isSandboxed() { return Sandbox::isSandboxed(); }

QString KVXSandboxPermissionManager::bookmarkKey(const QString &path) { return kKeyPrefix + path; }

void KVXSandboxPermissionManager::saveSecurityBookmarkForURL(const QString &path, bool readOnly) {
    const QByteArray data = Sandbox::bookmarkData(path, readOnly);
    if (data.isEmpty())
        Defaults::standard().removeObject(bookmarkKey(path));
    else
        Defaults::standard().setObject(data, bookmarkKey(path));
}

bool KVXSandboxPermissionManager::loadBookmarkHelper(const QString &path) {
    const QByteArray data = Defaults::standard().dataForKey(bookmarkKey(platform::standardizedPath(path)));
    if (data.isEmpty())
        return false;
    const std::optional<QString> folder = Sandbox::resolveBookmark(data);
    return folder && Sandbox::startAccessing(*folder);
}

bool KVXSandboxPermissionManager::loadSecurityBookmarkForFolder(const QString &path) {
    QString folder = path;
    if (loadBookmarkHelper(folder))
        return true;
    for (;;) {
        const QString parent = platform::deletingLastPathComponent(folder);
        if (parent.size() >= folder.size())
            return false;
        folder = parent;
        if (loadBookmarkHelper(folder))
            return true;
    }
}

bool KVXSandboxPermissionManager::getPermissionForFolder(const QString &path, const QString &messageFormat,
                                                         bool readOnly) {
    if (loadSecurityBookmarkForFolder(path))
        return true;
    DefaultFolderXController::setEnabled(false);
    QString message = messageFormat;
    message.replace(QLatin1String("%@"), path);
    const std::optional<QStringList> chosen = platform::FolderPicker::chooseFolders({path, message});
    if (chosen)
        for (const QString &folder : *chosen)
            saveSecurityBookmarkForURL(folder, readOnly);
    DefaultFolderXController::setEnabled(true);
    return chosen.has_value();
}

QString KVXSandboxPermissionManager::parentFolderOfPath(const QString &a, const QString &b) {
    if (a.isNull() && b.isNull())
        return QString();
    if (a.isNull())
        return platform::deletingLastPathComponent(b);
    if (b.isNull())
        return platform::deletingLastPathComponent(a);
    if (a == b)
        return a;
    const QString parentOfB = platform::deletingLastPathComponent(b);
    qsizetype common = 0;
    while (common < a.size() && common < parentOfB.size() && a[common] == parentOfB[common])
        common++;
    return a.left(common);
}

void KVXSandboxPermissionManager::clearExistingSecurityBookmarks() {
    Defaults &defaults = Defaults::standard();
    for (const QString &key : defaults.storedKeys())
        if (key.startsWith(kKeyPrefix))
            defaults.removeObject(key);
}

bool DefaultFolderXController::setEnabled(bool) { return false; }

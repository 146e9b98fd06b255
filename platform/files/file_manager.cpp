#include "platform/files/file_manager.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <mutex>

#include "platform/files/folders.h"
#include "platform/runtime/log.h"
#include "platform/files/native_path.h"

namespace platform {

namespace {

std::mutex s_mutex;
FileManager::Hooks s_hooks;

FileManager::Hooks hooks() {
    std::lock_guard<std::mutex> lock(s_mutex);
    return s_hooks;
}

// The URI of a local file, from the bytes of its path (a name that is not
// UTF-8 is percent-encoded byte for byte).
QString fileUri(const QString &path) {
    if (!isNativeOnly(path))
        return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    return QStringLiteral("file://") + QString::fromLatin1(nativePath(path).toPercentEncoding("/"));
}

// How long the service may take to start and answer.
constexpr int kServiceTimeoutMs = 10000;

bool openFolder(const QString &folder) {
    if (auto open = hooks().openFolder)
        return open(folder);
    return QDesktopServices::openUrl(QUrl::fromEncoded(fileUri(folder).toLatin1()));
}

void openFolders(const QStringList &paths) {
    for (const QString &folder : FileManager::containingFolders(paths))
        if (!openFolder(folder))
            qCWarning(lcPlatform).noquote() << QStringLiteral("The folder %1 could not be shown.").arg(folder);
}

// Calls the service and, when it does not take the call, opens the folders.
void callService(const QDBusMessage &message, const QStringList &paths) {
    if (auto call = hooks().callService) {
        if (!call(message))
            openFolders(paths);
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolders(paths);
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, kServiceTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [paths](QDBusPendingCallWatcher *call) {
        if (call->isError()) {
            qCInfo(lcPlatform).noquote()
                << QStringLiteral("No file manager service (%1): opening folders.").arg(call->error().message());
            openFolders(paths);
        }
        call->deleteLater();
    });
}

}  // namespace

void FileManager::setHooksForTesting(Hooks replacement) {
    std::lock_guard<std::mutex> lock(s_mutex);
    s_hooks = std::move(replacement);
}

QDBusMessage FileManager::showItemsMessage(const QStringList &paths) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    QStringList uris;
    for (const QString &path : paths)
        uris.append(fileUri(path));
    // No start-up notification to hand over.
    message << uris << QString();
    return message;
}

QStringList FileManager::containingFolders(const QStringList &paths) {
    QStringList folders;
    for (const QString &path : paths) {
        const QString folder = deletingLastPathComponent(standardizedPath(path));
        if (!folder.isEmpty() && !folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

bool FileManager::revealFiles(const QStringList &paths) {
    QStringList existing;
    for (const QString &path : paths) {
        // A link is shown itself, even when what it names is gone.
        if (QFileInfo(path).isAbsolute() && pathStatus(path, false).exists)
            existing.append(path);
    }
    if (existing.isEmpty())
        return false;
    callService(showItemsMessage(existing), existing);
    return true;
}

}  // namespace platform

#include "platform/workspace.h"

#include "platform/log.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>

#include <sys/stat.h>

#include <mutex>

namespace platform {

namespace {

// Types that a desktop runs instead of showing; their subtypes (a shell
// script is a kind of application/x-shellscript, an AppImage a kind of
// executable) are caught through inheritance.
constexpr const char *LaunchedTypes[] = {
    "application/x-executable",
    "application/x-pie-executable",
    "application/x-sharedlib",
    "application/x-desktop",
    "application/x-shellscript",
    "application/x-msdownload",
    "application/x-ms-dos-executable",
    "application/vnd.microsoft.portable-executable",
    "application/x-ms-shortcut",
    "application/x-java-archive",
    "application/x-java-jnlp-file",
    "application/vnd.appimage",
    "application/x-iso9660-appimage",
    "application/x-deb",
    "application/vnd.debian.binary-package",
    "application/x-rpm",
    "application/vnd.flatpak.ref",
    "application/x-perl",
    "text/x-python",
    "text/x-python3",
    "application/x-ruby",
    "application/x-php",
    "application/x-csh",
    "application/x-desktop-launcher",
};

bool isDocumentFile(QUrl url) {
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        url.setHost(QString());
    if (!url.host().isEmpty())
        return false;  // a file on another machine
    const QString path = url.toLocalFile();
    if (path.isEmpty())
        return false;
    // Follow links to what would actually be opened.
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return false;
    struct stat status;
    if (::stat(QFile::encodeName(target).constData(), &status) != 0)
        return false;
    if (!S_ISREG(status.st_mode) || (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)))
        return false;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(target);
    for (const char *launched : LaunchedTypes)
        if (type.inherits(QLatin1String(launched)))
            return false;
    return true;
}

std::mutex s_openerLock;
std::function<bool(const QUrl &)> s_opener;

}  // namespace

Workspace::Target Workspace::classify(const QUrl &url) {
    if (!url.isValid())
        return Target::Refused;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return url.host().isEmpty() ? Target::Refused : Target::Web;
    if (scheme == QLatin1String("mailto"))
        return Target::Mail;
    if (scheme == QLatin1String("file"))
        return isDocumentFile(url) ? Target::Document : Target::Refused;
    return Target::Refused;
}

bool Workspace::openExternally(const QUrl &url) {
    if (classify(url) == Target::Refused) {
        qCWarning(lcPlatform) << "Refused to open outside:" << url.toDisplayString();
        return false;
    }
    std::function<bool(const QUrl &)> opener;
    {
        std::lock_guard<std::mutex> lock(s_openerLock);
        opener = s_opener;
    }
    // A local file goes out without its fragment or query: the desktop opens
    // files by path.
    QUrl target = url;
    if (url.isLocalFile()) {
        target.setHost(QString());
        target = QUrl::fromLocalFile(target.toLocalFile());
    }
    return opener ? opener(target) : QDesktopServices::openUrl(target);
}

void Workspace::setOpenerForTesting(std::function<bool(const QUrl &)> opener) {
    std::lock_guard<std::mutex> lock(s_openerLock);
    s_opener = std::move(opener);
}

}  // namespace platform

#include "platform/files/workspace.h"

#include "platform/runtime/log.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QRegularExpression>

#include <sys/stat.h>

#include <mutex>

namespace platform {

namespace {

// Types that a desktop runs, installs or lets run code instead of showing;
// their subtypes (a shell script is a kind of application/x-shellscript, an
// AppImage a kind of executable) are caught through inheritance, and every
// type that names itself macro-enabled as well.
constexpr const char *LaunchedTypes[] = {
    // Programs, libraries and launchers.
    "application/x-executable",
    "application/x-pie-executable",
    "application/x-sharedlib",
    "application/x-desktop",
    "application/x-desktop-launcher",
    "application/x-msdownload",
    "application/x-ms-dos-executable",
    "application/vnd.microsoft.portable-executable",
    "application/x-ms-shortcut",
    "application/x-mswinurl",
    "application/x-ms-application",
    "application/hta",
    "application/vnd.ms-htmlhelp",
    "application/x-java-archive",
    "application/x-java",
    "application/x-java-jnlp-file",
    // Scripts.
    "application/x-shellscript",
    "application/x-csh",
    "application/x-perl",
    "text/x-python",
    "text/x-python3",
    "application/x-ruby",
    "application/x-php",
    "text/tcl",
    "text/x-tcl",
    "text/x-lua",
    "application/javascript",
    "text/vbscript",
    "text/vbscript.encode",
    "application/x-bat",
    "application/x-msdos-program",
    "application/x-powershell",
    "text/x-ms-regedit",
    // Installers and packages.
    "application/x-msi",
    "application/x-ms-installer",
    "application/vnd.ms-cab-compressed",
    "application/x-xar",
    "application/vnd.apple.installer+xml",
    "application/x-apple-diskimage",
    "application/vnd.appimage",
    "application/x-iso9660-appimage",
    "application/x-deb",
    "application/vnd.debian.binary-package",
    "application/x-rpm",
    "application/vnd.android.package-archive",
    "application/vnd.snap",
    "application/vnd.flatpak",
    "application/vnd.flatpak.ref",
    "application/vnd.flatpak.repo",
    "application/x-xpinstall",
};

// Names that a desktop (this one or another, for a file that travels) runs
// or installs, whatever the content says; compared without regard to case.
constexpr const char *LaunchedSuffixes[] = {
    // Programs and launchers.
    "exe", "com", "scr", "pif", "cpl", "dll", "ocx", "sys", "drv", "msc", "gadget", "lnk", "url", "desktop",
    "kdelnk", "application", "appref-ms", "hta", "chm", "jar", "jnlp", "class", "app", "command", "tool",
    "terminal", "workflow", "action", "run", "bin",
    // Scripts.
    "sh", "bash", "zsh", "ksh", "csh", "tcsh", "fish", "py", "pyw", "pyc", "pyo", "pyz", "pl", "pm", "rb", "php",
    "tcl", "lua", "awk", "js", "mjs", "jse", "vbs", "vbe", "wsf", "wsh", "wsc", "sct", "bat", "cmd", "ps1", "psm1",
    "psd1", "ps1xml", "psc1", "reg", "inf", "scpt", "applescript",
    // Installers and packages.
    "msi", "msp", "mst", "msix", "msixbundle", "appx", "appxbundle", "cab", "pkg", "mpkg", "dmg", "appimage",
    "deb", "udeb", "rpm", "apk", "xapk", "aab", "ipa", "snap", "flatpak", "flatpakref", "flatpakrepo", "xpi",
    "crx", "vsix", "mobileconfig",
    // Office documents that carry macros.
    "docm", "dotm", "xlsm", "xltm", "xlam", "xlsb", "xll", "pptm", "potm", "ppam", "ppsm", "sldm",
};

bool isLaunchedType(const QMimeType &type) {
    if (!type.isValid())
        return false;
    QStringList names = type.allAncestors();
    names << type.name() << type.aliases();
    for (const QString &name : std::as_const(names))
        if (name.contains(QLatin1String("macroenabled"), Qt::CaseInsensitive))
            return true;
    for (const char *launched : LaunchedTypes)
        if (type.inherits(QLatin1String(launched)))
            return true;
    return false;
}

bool hasLaunchedSuffix(const QString &path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const QString suffix = name.mid(dot + 1).toLower();
    for (const char *launched : LaunchedSuffixes)
        if (suffix == QLatin1String(launched))
            return true;
    return false;
}

// A file that starts with "#!" is a script, whatever its name.
bool startsWithInterpreterLine(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "#!";
}

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
    // The desktop may judge by the name it is given, by the name of the file
    // it leads to, or by the content: each must say document.
    if (hasLaunchedSuffix(path) || hasLaunchedSuffix(target) || startsWithInterpreterLine(target))
        return false;
    const QMimeDatabase types;
    if (isLaunchedType(types.mimeTypeForFile(target)) ||
        isLaunchedType(types.mimeTypeForFile(target, QMimeDatabase::MatchContent)))
        return false;
    for (const QString &name : {path, target})
        for (const QMimeType &type : types.mimeTypesForFileName(name))
            if (isLaunchedType(type))
                return false;
    return true;
}

// New mail that would go out with files of this machine attached (or put
// into its text): the mail programs that take such a request read the
// files without asking. The address is looked at with its escapes undone,
// as often as they nest.
bool carriesFiles(const QUrl &mail) {
    QString text = mail.toString(QUrl::FullyEncoded);
    for (int pass = 0; pass < 8; pass++) {
        const QString decoded = QUrl::fromPercentEncoding(text.toUtf8());
        if (decoded == text)
            break;
        text = decoded;
    }
    static const QRegularExpression fileFields(QStringLiteral(R"([?&;]\s*(attach|insert\s*=))"),
                                               QRegularExpression::CaseInsensitiveOption);
    return fileFields.match(text).hasMatch();
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
        return carriesFiles(url) ? Target::Refused : Target::Mail;
    if (scheme == QLatin1String("file"))
        return isDocumentFile(url) ? Target::Document : Target::Refused;
    return Target::Refused;
}

QString Workspace::refusal(const QUrl &url) {
    if (classify(url) != Target::Refused)
        return QString();
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file")) {
        QUrl file = url;
        if (file.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
            file.setHost(QString());
        const QString path = file.host().isEmpty() ? file.toLocalFile() : QString();
        if (!path.isEmpty() && !QFileInfo::exists(path))
            return QStringLiteral("there is no such file.");
        return QStringLiteral("only documents are opened in another application, never programs, scripts, "
                              "launchers or anything that is not a plain file on this computer.");
    }
    if (scheme == QLatin1String("mailto"))
        return QStringLiteral("new mail that would take files of this computer with it is not written.");
    return QStringLiteral("only web pages (http and https), new mail and documents are opened in another "
                          "application.");
}

bool Workspace::openExternally(const QUrl &url) {
    if (classify(url) == Target::Refused) {
        qCWarning(lcPlatform) << "Refused to open outside:" << loggedAddress(url);
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

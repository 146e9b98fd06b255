#include "platform/files/workspace.h"

#include "platform/files/native_path.h"
#include "platform/runtime/alerts.h"
#include "platform/runtime/dispatch.h"
#include "platform/runtime/log.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

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

// The address as the desktop's opener is given it: a local file by the bytes
// of its path (a name that is not UTF-8 percent-encoded byte for byte).
QString openerArgument(const QUrl &target) {
    if (!target.isLocalFile())
        return QString::fromLatin1(target.toEncoded());
    const QString path = target.toLocalFile();
    if (!isNativeOnly(path))
        return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    return QStringLiteral("file://") + QString::fromLatin1(nativePath(path).toPercentEncoding("/"));
}

// The desktop's openers still running. One is never destroyed while it runs
// (that would kill it, and a browser it runs in the foreground with it): it
// is kept here until it ends, and left running when the program ends.
QSet<QProcess *> &runningOpeners() {
    static QSet<QProcess *> openers;
    return openers;
}

// Hands `target` to xdg-open and learns from its exit status, once it ends,
// whether it opened anything; `failed` runs then when it did not. False
// when it could not be started. Main thread.
bool runDesktopOpener(const QString &program, const QUrl &target, const std::function<void()> &failed) {
    const QString shown = loggedAddress(target);
    auto *process = new QProcess;
    process->setProgram(program);
    process->setArguments({openerArgument(target)});
    // What it and what it starts say goes where this program's output goes,
    // and nothing waits on a pipe of this program that is read no more once
    // it ends.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // A session of its own, as a program the user started: the end of this
    // program's terminal or session is not signalled to it.
    process->setChildProcessModifier([] { ::setsid(); });
    process->start();
    if (!process->waitForStarted()) {
        qCWarning(lcPlatform).noquote() << QStringLiteral("The desktop's opener %1 could not be started for %2: %3")
                                               .arg(program, shown, process->errorString());
        delete process;
        if (failed)
            failed();
        return false;
    }
    runningOpeners().insert(process);
    QObject::connect(
        process, &QProcess::finished, process, [process, shown, failed](int code, QProcess::ExitStatus how) {
            runningOpeners().remove(process);
            process->deleteLater();
            if (how == QProcess::NormalExit && code == 0)
                return;
            qCWarning(lcPlatform).noquote()
                << (how == QProcess::NormalExit
                        ? QStringLiteral("The desktop's opener could not open %1 (exit status %2)").arg(shown).arg(code)
                        : QStringLiteral("The desktop's opener ended abnormally opening %1").arg(shown));
            if (failed)
                failed();
        });
    return true;
}

// Hands `target` (allowed already) to the opener of the tests, to xdg-open,
// or else to Qt's opener.
bool handOver(const QUrl &target, const std::function<void()> &failed) {
    std::function<bool(const QUrl &)> opener;
    {
        std::lock_guard<std::mutex> lock(s_openerLock);
        opener = s_opener;
    }
    bool opened = false;
    if (opener) {
        opened = opener(target);
    } else if (const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-open")); !program.isEmpty()) {
        return runDesktopOpener(program, target, failed);
    } else {
        opened = QDesktopServices::openUrl(target);
    }
    if (!opened) {
        qCWarning(lcPlatform).noquote() << "Nothing opened" << loggedAddress(target);
        if (failed)
            failed();
    }
    return opened;
}

// What opens a target of this kind, as the user would name it.
QString openerName(Workspace::Target target) {
    switch (target) {
    case Workspace::Target::Web:
        return QStringLiteral("No web browser");
    case Workspace::Target::Mail:
        return QStringLiteral("No mail program");
    case Workspace::Target::Document:
    case Workspace::Target::Refused:
        break;
    }
    return QStringLiteral("No application");
}

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

bool Workspace::openExternally(const QUrl &url) { return openExternally(url, {}); }

bool Workspace::openExternally(const QUrl &url, std::function<void()> failed) {
    if (!Dispatch::isMainThread()) {
        // The opener is watched from the main thread's loop.
        Dispatch::main([url, failed = std::move(failed)] { openExternally(url, failed); });
        return classify(url) != Target::Refused;
    }
    if (classify(url) == Target::Refused) {
        qCWarning(lcPlatform) << "Refused to open outside:" << loggedAddress(url);
        if (failed)
            failed();
        return false;
    }
    // A local file goes out without its fragment or query: the desktop opens
    // files by path.
    QUrl target = url;
    if (url.isLocalFile()) {
        target.setHost(QString());
        target = QUrl::fromLocalFile(target.toLocalFile());
    }
    return handOver(target, failed);
}

bool Workspace::openExternallyOrTell(const QUrl &url, const QString &what) {
    const Target target = classify(url);
    const QString address = url.toDisplayString();
    const QString refused = refusal(url);
    return openExternally(url, [what, address, target, refused] {
        tellNotOpened(what, address,
                      refused.isEmpty() ? QStringLiteral("%1 could open it.").arg(openerName(target))
                                        : QStringLiteral("It is not opened outside the program: %1").arg(refused));
    });
}

void Workspace::openFolderOrTell(const QString &path, const QString &what) {
    if (!Dispatch::isMainThread()) {
        Dispatch::main([path, what] { openFolderOrTell(path, what); });
        return;
    }
    const QString shown = displayablePath(path);
    if (!pathStatus(path).isDir) {
        qCWarning(lcPlatform).noquote() << QStringLiteral("%1 is no folder to open").arg(shown);
        tellNotOpened(what, shown, QStringLiteral("There is no folder there."));
        return;
    }
    handOver(QUrl::fromLocalFile(path),
             [what, shown] { tellNotOpened(what, shown, QStringLiteral("No file manager could open it.")); });
}

void Workspace::tellNotOpened(const QString &what, const QString &where, const QString &reason) {
    Alerts::simpleAlert(
        where.isEmpty() ? reason : QStringLiteral("%1 It is at %2, where you can open it yourself.").arg(reason, where),
        QStringLiteral("%1 could not be opened.").arg(what));
}

void Workspace::setOpenerForTesting(std::function<bool(const QUrl &)> opener) {
    std::lock_guard<std::mutex> lock(s_openerLock);
    s_opener = std::move(opener);
}

}  // namespace platform

// Lists, paths, installation, key bindings and watchers of the extras. The
// menus and actions are in tzr_theme_menus.cpp.
#include "app/extras/tzr_theme_controller.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdio.h>

#include "app/app_log.h"
#include "app/extras/tzr_extras_cloud_sync.h"
#include "textengine/settings/keybindings.h"
#include "platform/files/folder_listing.h"
#include "platform/files/folders.h"

// Outside any namespace, as Qt asks.
static void initExtrasResources() { Q_INIT_RESOURCE(extras); }

namespace {

constexpr const char *kExtrasBase = "Tessaro Orvane 4";

struct KindInfo {
    const char *extension;
    const char *folder;
};
constexpr KindInfo kKinds[] = {
    {"theme", "Themes"},
    {"css", "CSS"},
    {"json", "Expansions"},
    {"keybinding", "KeyBindings"},
};

const KindInfo &info(TZRThemeController::Kind kind) { return kKinds[int(kind)]; }

// The built-in bindings, used when the user's file gives none: the arrows
// and the tab written as JSON escapes, as a file would hold them.
constexpr const char *kBuiltInKeyBindings = R"([
    { "key": "{", "modifiers": ["cmd", "shift"], "action": "decreaseLine:" },
    { "key": "}", "modifiers": ["cmd", "shift"], "action": "increaseLine:" },
    { "key": "[", "modifiers": ["cmd", "shift"], "action": "decreaseLine:" },
    { "key": "]", "modifiers": ["cmd", "shift"], "action": "increaseLine:" },
    { "key": "\t", "modifiers": ["cmd"], "action": "shiftLeft:" },
    { "key": "[", "modifiers": ["cmd"], "action": "shiftLeft:" },
    { "key": "]", "modifiers": ["cmd"], "action": "shiftRight:" },
    { "key": "\uF702", "modifiers": ["cmd", "ctrl"], "action": "shiftLeft:" },
    { "key": "\uF703", "modifiers": ["cmd", "ctrl"], "action": "shiftRight:" }
])";

// A folder that exists but cannot be read is reported once per run.
void reportUnreadable(const QString &folder, int error) {
    static QMutex lock;
    static QSet<QString> reported;
    QMutexLocker locker(&lock);
    if (reported.contains(folder))
        return;
    reported.insert(folder);
    qCWarning(lcApp).noquote() << QStringLiteral("Cannot read extras folder \"%1\": %2")
                                      .arg(folder, QString::fromLocal8Bit(strerror(error)));
}

// The files (or links to files) with `extension` directly in `folder`, not
// hidden, as file names.
QStringList filesIn(const QString &folder, const QString &extension) {
    QStringList files;
    std::vector<platform::FolderEntry> entries;
    int error = 0;
    if (!platform::visibleEntries(QFile::encodeName(folder), entries, &error)) {
        if (error != ENOENT)  // a domain without extras is ordinary
            reportUnreadable(folder, error);
        return files;
    }
    for (const platform::FolderEntry &entry : entries) {
        const QString name = QFile::decodeName(entry.name);
        const QFileInfo file(folder + u'/' + name);
        if (file.suffix() == extension && !file.completeBaseName().isEmpty() && file.isFile())
            files << name;
    }
    return files;
}

// A name is looked up as one file name in a folder, never as a path.
bool isPlainName(const QString &name) {
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(QChar(0)) && name != ".." &&
           name != ".";
}

// Extras handed to the text engine must be real files: the application's
// own are copied out of its resources into a folder that lives as long as
// the program.
QString extractedResources() {
    static QTemporaryDir folder(QDir::tempPath() + "/orvane-extras-XXXXXX");
    static const QString path = [] {
        initExtrasResources();
        if (!folder.isValid()) {
            qCWarning(lcApp).noquote()
                << QStringLiteral("Cannot unpack the default extras: %1").arg(folder.errorString());
            return QString();
        }
        const QDir source(QStringLiteral(":/extras"));
        for (const QString &name : source.entryList(QDir::Files)) {
            const QString target = folder.filePath(name);
            if (!QFile::copy(source.filePath(name), target))
                qCWarning(lcApp).noquote() << QStringLiteral("Cannot unpack \"%1\"").arg(name);
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::ReadOther);
        }
        return folder.path();
    }();
    return path;
}

}  // namespace

QString TZRThemeController::extensionOf(Kind kind) { return QString::fromLatin1(info(kind).extension); }

QString TZRThemeController::folderOf(Kind kind) {
    return QStringLiteral("%1/%2").arg(QLatin1String(kExtrasBase), QLatin1String(info(kind).folder));
}

TZRExtrasLocations TZRThemeController::standardLocations() {
    return {extractedResources(), platform::Folders::dataFolders()};
}

TZRThemeController *TZRThemeController::sharedController() {
    static TZRThemeController *const shared = [] {
        auto *controller = new TZRThemeController(standardLocations());
        // It lives as long as the application and belongs to its thread.
        if (QCoreApplication *application = QCoreApplication::instance()) {
            controller->moveToThread(application->thread());
            controller->setParent(application);
        }
        controller->installDefaultResources();
        // The extras follow the user's other machines through the store
        // (while "syncConfigFilesBetweenDevices" is on).
        TZRExtrasCloudSync::startForSharedController(controller);
        return controller;
    }();
    return shared;
}

TZRThemeController::TZRThemeController(TZRExtrasLocations locations, QObject *parent)
    : QObject(parent), m_locations(std::move(locations)) {}

TZRThemeController::~TZRThemeController() = default;

// --- Lists and paths ---------------------------------------------------------

QStringList TZRThemeController::resourceListForExtension(const QString &extension,
                                                         const QString &folder) const {
    QSet<QString> names;
    auto add = [&](const QString &from) {
        for (const QString &file : filesIn(from, extension))
            names.insert(QFileInfo(file).completeBaseName());
    };
    if (!m_locations.resources.isEmpty())
        add(m_locations.resources);
    for (const QString &data : m_locations.dataFolders)
        add(data + u'/' + folder);
    QStringList sorted(names.begin(), names.end());
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return sorted;
}

QStringList TZRThemeController::listOf(Kind kind) const {
    return resourceListForExtension(extensionOf(kind), folderOf(kind));
}

QStringList TZRThemeController::themeList() const { return listOf(Kind::Theme); }
QStringList TZRThemeController::cssList() const { return listOf(Kind::CSS); }

QStringList TZRThemeController::expansionList() const {
    startWatching(Kind::Expansions);
    return listOf(Kind::Expansions);
}

QStringList TZRThemeController::expansionFilePaths() const {
    QStringList paths;
    for (const QString &name : expansionList()) {
        const QString path = filePathForExpansionNamed(name);
        if (!path.isEmpty())
            paths << path;
    }
    return paths;
}

QString TZRThemeController::filePathForResourceNamed(const QString &name, const QString &extension,
                                                     const QString &folder) const {
    if (!isPlainName(name))
        return {};
    const QString fileName = name + u'.' + extension;
    auto fileAt = [&](const QString &path) {
        const QFileInfo file(path);
        return file.isFile() ? file.absoluteFilePath() : QString();
    };
    QString found;
    if (!m_locations.resources.isEmpty())
        found = fileAt(m_locations.resources + u'/' + fileName);
    for (const QString &data : m_locations.dataFolders) {
        const QString here = fileAt(data + u'/' + folder + u'/' + fileName);
        if (!here.isEmpty())
            found = here;
    }
    return found;
}

QString TZRThemeController::filePathForThemeNamed(const QString &name) const {
    return filePathForResourceNamed(name, extensionOf(Kind::Theme), folderOf(Kind::Theme));
}
QString TZRThemeController::filePathForCSSNamed(const QString &name) const {
    return filePathForResourceNamed(name, extensionOf(Kind::CSS), folderOf(Kind::CSS));
}
QString TZRThemeController::filePathForExpansionNamed(const QString &name) const {
    return filePathForResourceNamed(name, extensionOf(Kind::Expansions), folderOf(Kind::Expansions));
}
QString TZRThemeController::filePathForKeyBindings() const {
    return filePathForResourceNamed(QStringLiteral("default"), extensionOf(Kind::KeyBindings),
                                    folderOf(Kind::KeyBindings));
}

QString TZRThemeController::possiblePathForCustomResourceNamed(const QString &name,
                                                               const QString &extension,
                                                               const QString &folder) const {
    if (m_locations.dataFolders.isEmpty())
        return {};
    return m_locations.dataFolders.first() + u'/' + folder + u'/' + name + u'.' + extension;
}

QString TZRThemeController::userFolder(Kind kind) const {
    if (m_locations.dataFolders.isEmpty())
        return {};
    return m_locations.dataFolders.first() + u'/' + folderOf(kind);
}

QStringList TZRThemeController::defaultResourcesForExtension(const QString &extension) const {
    QStringList paths;
    if (m_locations.resources.isEmpty())
        return paths;
    QStringList files = filesIn(m_locations.resources, extension);
    files.sort();
    for (const QString &file : files)
        paths << m_locations.resources + u'/' + file;
    return paths;
}

// --- Installing the defaults ---------------------------------------------------

bool TZRThemeController::installResource(const QString &path, const QString &folder, bool overWrite) {
    if (m_locations.dataFolders.isEmpty())
        return false;
    const QString targetFolder = m_locations.dataFolders.first() + u'/' + folder;
    if (!platform::Folders::ensureFolder(targetFolder))
        return false;  // the reason is logged
    const QString target = targetFolder + u'/' + QFileInfo(path).fileName();
    // A file of the user's (or a link, even a broken one) is never touched
    // unless asked to.
    if (!overWrite && (QFileInfo::exists(target) || QFileInfo(target).isSymLink()))
        return false;

    QFile source(path);
    if (!source.open(QIODevice::ReadOnly)) {
        qCWarning(lcApp).noquote() << QStringLiteral("Cannot read the default extra \"%1\": %2")
                                          .arg(path, source.errorString());
        return false;
    }
    const QByteArray contents = source.readAll();
    auto failed = [&](const QString &reason) {
        qCWarning(lcApp).noquote() << QStringLiteral("Cannot install \"%1\" into \"%2\": %3")
                                          .arg(QFileInfo(path).fileName(), targetFolder, reason);
        return false;
    };
    // Written beside the target first, so that a failure leaves no
    // half-written file, then moved into place.
    QTemporaryFile temporary(targetFolder + QStringLiteral("/.installing-XXXXXX"));
    if (!temporary.open() || temporary.write(contents) != contents.size() || !temporary.flush())
        return failed(temporary.errorString());
    const QByteArray from = QFile::encodeName(temporary.fileName());
    const QByteArray to = QFile::encodeName(target);
    int moved = overWrite ? rename(from.constData(), to.constData())
                          : renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (moved != 0 && !overWrite && (errno == EINVAL || errno == ENOSYS) && !QFileInfo::exists(target))
        moved = rename(from.constData(), to.constData());  // a file system without the no-replace move
    if (moved != 0) {
        if (errno == EEXIST)
            return false;  // the user's file came first
        return failed(QString::fromLocal8Bit(strerror(errno)));
    }
    temporary.setAutoRemove(false);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return true;
}

void TZRThemeController::installDefaultResourcesForExtension(const QString &extension,
                                                             const QString &folder) {
    const QStringList defaults = defaultResourcesForExtension(extension);
    if (defaults.isEmpty() || m_locations.dataFolders.isEmpty())
        return;
    // One attempt (and one logged reason) per folder, not per file.
    if (!platform::Folders::ensureFolder(m_locations.dataFolders.first() + u'/' + folder))
        return;
    for (const QString &path : defaults)
        installResource(path, folder, false);
}

void TZRThemeController::installDefaultResources() {
    for (Kind kind : {Kind::Theme, Kind::Expansions, Kind::CSS, Kind::KeyBindings})
        installDefaultResourcesForExtension(extensionOf(kind), folderOf(kind));
}

// --- Key bindings --------------------------------------------------------------

const char *TZRThemeController::builtInKeyBindings() { return kBuiltInKeyBindings; }

stack *TZRThemeController::keyBindingStack() {
    startWatching(Kind::KeyBindings);
    const QString path = filePathForKeyBindings();
    if (!path.isEmpty()) {
        stack *table = key_bindings_from_file(QFile::encodeName(path).constData());
        if (table && table->size > 0)
            return table;
        key_bindings_free(table);
        qCWarning(lcApp) << "Error loading custom key bindings";
    }
    return key_bindings_from_string(kBuiltInKeyBindings);
}

// --- Watchers ------------------------------------------------------------------

void TZRThemeController::startWatching(Kind kind) const {
    // Once per kind: a folder missing at that moment stays unwatched.
    if (m_watchStarted[int(kind)] || QThread::currentThread() != thread())
        return;
    m_watchStarted[int(kind)] = true;
    m_watchers[int(kind)] = DirectoryWatcher::watchFolderWithPath(
        userFolder(kind), const_cast<TZRThemeController *>(this));
}

void TZRThemeController::directoryDidChange(DirectoryWatcher *) {
    updateThemeMenu();
    updateCSSMenu();
    if (m_sync)
        m_sync->syncLocalToCloud();
}

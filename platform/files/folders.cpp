#include "platform/files/folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <filesystem>
#include <mutex>

#include "platform/runtime/log.h"

namespace platform {

namespace {

std::mutex s_mutex;
std::optional<Folders::Layout> s_layout;

}  // namespace

std::optional<Folders::Layout> Folders::layout() {
    std::lock_guard<std::mutex> lock(s_mutex);
    return s_layout;
}

QString Folders::userDataFolder() {
    if (auto set = Folders::layout())
        return set->userData;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QStringList Folders::dataFolders() {
    if (auto set = Folders::layout())
        return QStringList{set->userData} + set->sharedData;
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    // The user's own folder comes first even when it does not exist yet.
    const QString user = userDataFolder();
    folders.removeAll(user);
    folders.prepend(user);
    return folders;
}

QString Folders::configFolder() {
    if (auto set = Folders::layout())
        return set->config;
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString Folders::documentsFolder() {
    if (auto set = Folders::layout())
        return set->documents;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString Folders::stateFolder() {
    if (auto set = Folders::layout())
        return set->state;
    // Qt names no such location before 6.7. A relative value is to be
    // ignored, as the base directories say of all of them.
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return QDir::cleanPath(state);
    return QDir::homePath() + QStringLiteral("/.local/state");
}

bool Folders::ensureFolder(const QString &path) {
    auto refuse = [&path](const QString &why) {
        qCWarning(lcPlatform).noquote() << QStringLiteral("Folder %1 cannot be used: %2.").arg(path, why);
        return false;
    };
    if (path.isEmpty())
        return refuse(QStringLiteral("no path"));
    QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return refuse(QStringLiteral("not a folder"));
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path.toStdString()), error);
    info.refresh();
    if (!info.isDir())
        return refuse(error ? QString::fromStdString(error.message()) : QStringLiteral("not made"));
    if (!info.isWritable())
        return refuse(QStringLiteral("not writable"));
    return true;
}

void Folders::setLayout(std::optional<Layout> layout) {
    std::lock_guard<std::mutex> lock(s_mutex);
    s_layout = std::move(layout);
}

QString standardizedPath(const QString &path) {
    if (path.isEmpty())
        return path;
    QString expanded = path;
    if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/")))
        expanded.replace(0, 1, QDir::homePath());
    return QDir::cleanPath(expanded);
}

QString deletingLastPathComponent(const QString &path) {
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == u'/')
        end--;
    const qsizetype slash = path.lastIndexOf(u'/', end - 1);
    if (slash < 0)
        return QStringLiteral("");
    qsizetype cut = slash;
    while (cut > 0 && path[cut - 1] == u'/')
        cut--;
    return cut == 0 ? QStringLiteral("/") : path.left(cut);
}

ScopedFolders::ScopedFolders() {
    const QString root = m_dir.path();
    m_layout = {root + QStringLiteral("/data"),
                {root + QStringLiteral("/shared")},
                root + QStringLiteral("/config"),
                root + QStringLiteral("/documents"),
                root + QStringLiteral("/state")};
    m_previous = Folders::layout();
    Folders::setLayout(m_layout);
}

ScopedFolders::~ScopedFolders() {
    Folders::setLayout(m_previous);
    // Removed by the bytes of its names: QTemporaryDir gives up on a name
    // that is not text in the locale (a test's "caf\xe9.md" in the trash),
    // and the tree would stay behind.
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(m_dir.path()).toStdString(), ignored);
}

}  // namespace platform

#include "app/extras/tzr_extras_cloud_sync.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <optional>

#include "app/app_log.h"
#include "platform/files/cloud_store.h"
#include "platform/prefs/defaults.h"
#include "platform/files/folders.h"

using Kind = TZRThemeController::Kind;

namespace {

const QString kSwitch = QStringLiteral("syncConfigFilesBetweenDevices");
const QString kFileName = QStringLiteral("filename");
const QString kBody = QStringLiteral("body");
const QString kDeleted = QStringLiteral("deleted");

constexpr Kind kKinds[] = {Kind::Theme, Kind::CSS, Kind::Expansions, Kind::KeyBindings};

std::optional<Kind> kindForExtension(const QString &extension) {
    for (Kind kind : kKinds)
        if (TZRThemeController::extensionOf(kind) == extension)
            return kind;
    return std::nullopt;
}

// A file's text: by its byte-order mark, else UTF-8, else Latin-1. Nothing
// when it cannot be read.
std::optional<QString> readText(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    if (std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*marked, QStringConverter::Flag::ConvertInitialBom);
        return QString(decoder(bytes));
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// Written whole or not at all, as UTF-8, into a folder made as needed.
bool writeText(const QString &path, const QString &text) {
    if (!platform::Folders::ensureFolder(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    qCWarning(lcApp).noquote() << QStringLiteral("Cannot write the synced extra \"%1\": %2")
                                      .arg(path, file.errorString());
    return false;
}

// Marks a download as running for as long as it lives.
class WritingScope {
public:
    explicit WritingScope(std::atomic<bool> &flag) : m_flag(flag) { m_flag = true; }
    ~WritingScope() { m_flag = false; }
    WritingScope(const WritingScope &) = delete;
    WritingScope &operator=(const WritingScope &) = delete;

private:
    std::atomic<bool> &m_flag;
};

}  // namespace

struct TZRExtrasCloudSync::Entry {
    QString body;
    bool deleted = false;
};

TZRExtrasCloudSync::TZRExtrasCloudSync(TZRThemeController &controller, platform::CloudStore &store,
                                       platform::Defaults &defaults, QObject *parent)
    : QObject(parent), m_controller(&controller), m_store(store), m_defaults(defaults) {}

TZRExtrasCloudSync::~TZRExtrasCloudSync() {
    // A controller that goes first (its children go after it) is no longer
    // there to be told.
    if (m_controller)
        m_controller->setExtrasSync(nullptr);
}

QString TZRExtrasCloudSync::standardStoreFolder() {
    // Beside "Themes", "CSS" and the other kinds' folders.
    const QString base = QFileInfo(TZRThemeController::folderOf(Kind::Theme)).path();
    return platform::Folders::userDataFolder() + u'/' + base + QStringLiteral("/Sync");
}

TZRExtrasCloudSync *TZRExtrasCloudSync::startForSharedController(TZRThemeController *controller) {
    auto *store = new platform::CloudStore(standardStoreFolder());
    auto *sync = new TZRExtrasCloudSync(*controller, *store, platform::Defaults::standard(), controller);
    store->setParent(sync);
    sync->start();
    return sync;
}

void TZRExtrasCloudSync::start() {
    connect(&m_store, &platform::CloudStore::didChangeExternally, this, &TZRExtrasCloudSync::storeDidChange,
            Qt::UniqueConnection);
    m_controller->setExtrasSync(this);
    m_defaults.observe(kSwitch, this, [this](const QVariant &value) {
        if (!value.toBool())
            return;
        syncLocalToCloud();
        storeDidChange(m_store.dictionaryRepresentation().keys());
    });
    syncLocalToCloud();
    m_store.synchronize();
}

bool TZRExtrasCloudSync::enabled() const { return m_defaults.boolForKey(kSwitch); }

// --- Names and marks -------------------------------------------------------------------

quint64 TZRExtrasCloudSync::nameHash(const QString &fileName) {
    quint64 hash = 14695981039346656037ull;
    for (const char byte : fileName.normalized(QString::NormalizationForm_C).toUtf8()) {
        hash ^= quint8(byte);
        hash *= 1099511628211ull;
    }
    return hash;
}

QString TZRExtrasCloudSync::nameKey(const QString &fileName) { return QString::number(nameHash(fileName)); }

bool TZRExtrasCloudSync::isSafeFileName(const QString &fileName) {
    if (fileName.isEmpty() || fileName.startsWith(u'.') || fileName.contains(QStringLiteral("..")) ||
        fileName.toUtf8().size() > 255)
        return false;
    for (const QChar c : fileName)
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            return false;
    const QFileInfo file(fileName);
    return !file.isAbsolute() && !file.completeBaseName().isEmpty() && !file.suffix().isEmpty();
}

bool TZRExtrasCloudSync::isMarked(const QString &key) const { return m_defaults.boolForKey(key); }

void TZRExtrasCloudSync::setMark(const QString &key, bool present) { m_defaults.setBool(present, key); }

// The store's entries of one kind by file name: only entries of the right
// shape, under their own name's key, with a name safe to use.
QHash<QString, TZRExtrasCloudSync::Entry> TZRExtrasCloudSync::storeEntries(const QString &extension) const {
    QHash<QString, Entry> entries;
    const QVariantMap all = m_store.dictionaryRepresentation();
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap value = it.value().toMap();
        const QVariant name = value.value(kFileName);
        if (name.typeId() != QMetaType::QString)
            continue;
        const QString fileName = name.toString();
        if (!isSafeFileName(fileName) || QFileInfo(fileName).suffix() != extension ||
            nameKey(fileName) != it.key())
            continue;
        const bool deleted = value.value(kDeleted).toBool();
        const QVariant body = value.value(kBody);
        if (!deleted && body.typeId() != QMetaType::QString)
            continue;  // nothing to compare or write
        entries.insert(fileName, {body.toString(), deleted});
    }
    return entries;
}

bool TZRExtrasCloudSync::upload(const QString &fileName, const QString &body, bool deleted) {
    return m_store.setObject(QVariantMap{{kFileName, fileName}, {kBody, body}, {kDeleted, deleted}},
                            nameKey(fileName));
}

// --- Upload -------------------------------------------------------------------------------

void TZRExtrasCloudSync::syncLocalToCloud() {
    if (!enabled() || m_isWriting)
        return;
    for (Kind kind : kKinds)
        syncLocalExtensionWithCloud(TZRThemeController::extensionOf(kind), TZRThemeController::folderOf(kind));
}

void TZRExtrasCloudSync::syncLocalExtensionWithCloud(const QString &extension, const QString &folder) {
    const QHash<QString, Entry> stored = storeEntries(extension);
    QSet<QString> local;
    for (const QString &name : m_controller->resourceListForExtension(extension, folder)) {
        const QString fileName = name + u'.' + extension;
        local.insert(fileName);
        const QString path = m_controller->filePathForResourceNamed(name, extension, folder);
        // A file that cannot be read now is left alone: its text is not
        // known, and an empty one must not replace it everywhere.
        const std::optional<QString> text = path.isEmpty() ? std::nullopt : readText(path);
        if (!text)
            continue;
        const QString key = nameKey(fileName);
        const auto entry = stored.constFind(fileName);
        if (entry == stored.cend()) {
            if (upload(fileName, *text, false))
                setMark(key, true);
        } else if (!entry->deleted) {
            if (entry->body == *text)
                setMark(key, true);
            else if (upload(fileName, *text, false))
                setMark(key, true);
        } else if (entry->body == *text && isMarked(key)) {
            // Deleted on another machine: this one follows, but only in the
            // user's own folder; a copy among the application's defaults or
            // another domain's extras stays, and so does its mark.
            if (path != m_controller->possiblePathForCustomResourceNamed(name, extension, folder))
                continue;
            if (QFile::remove(path))
                setMark(key, false);
        } else if (upload(fileName, *text, false)) {
            setMark(key, true);  // a local copy revives the extra
        }
    }
    for (auto entry = stored.cbegin(); entry != stored.cend(); ++entry) {
        const QString key = nameKey(entry.key());
        // This machine had the extra and no longer has it: deleted here.
        // One it never had is left for handleCloudChange to bring.
        if (!local.contains(entry.key()) && !entry->deleted && isMarked(key) &&
            upload(entry.key(), entry->body, true))
            setMark(key, false);
    }
}

// --- Download -----------------------------------------------------------------------------

void TZRExtrasCloudSync::storeDidChange(const QStringList &changedKeys) {
    if (!enabled())
        return;
    for (const QString &key : changedKeys)
        handleCloudChange(key);
}

void TZRExtrasCloudSync::handleCloudChange(const QString &key) {
    WritingScope writing(m_isWriting);
    const QVariant value = m_store.objectForKey(key);
    if (value.typeId() != QMetaType::QVariantMap)
        return;
    const QVariantMap entry = value.toMap();
    if (entry.value(kFileName).typeId() != QMetaType::QString)
        return;
    const QString fileName = entry.value(kFileName).toString();
    if (!isSafeFileName(fileName)) {
        qCWarning(lcApp).noquote() << QStringLiteral("A synced extra's name is not a plain file name: \"%1\"")
                                          .arg(fileName);
        return;
    }
    const QString markKey = nameKey(fileName);
    const QFileInfo name(fileName);
    const std::optional<Kind> kind = kindForExtension(name.suffix());
    if (!kind || markKey != key)
        return;
    const QString path = m_controller->possiblePathForCustomResourceNamed(
        name.completeBaseName(), name.suffix(), TZRThemeController::folderOf(*kind));
    if (path.isEmpty())
        return;
    const bool deleted = entry.value(kDeleted).toBool();
    const QVariant body = entry.value(kBody);
    const bool exists = QFileInfo::exists(path) || QFileInfo(path).isSymLink();

    if (deleted) {
        if (exists && QFile::remove(path))
            setMark(markKey, false);
        return;
    }
    if (body.typeId() != QMetaType::QString)
        return;
    if (exists && readText(path) == body.toString()) {
        setMark(markKey, true);
        return;
    }
    // Marked present only once the file is there: a mark without its file
    // would read as a deletion on this machine at the next upload.
    if (writeText(path, body.toString()))
        setMark(markKey, true);
    else if (!exists)
        setMark(markKey, false);
}

// --- Restore ------------------------------------------------------------------------------

void TZRExtrasCloudSync::restoreDeletedExtras() {
    for (Kind kind : kKinds)
        restoreDeletedExtrasWithExtension(TZRThemeController::extensionOf(kind),
                                          TZRThemeController::folderOf(kind));
}

void TZRExtrasCloudSync::restoreDeletedExtrasWithExtension(const QString &extension, const QString &folder) {
    const QStringList names = m_controller->resourceListForExtension(extension, folder);
    const QSet<QString> local(names.cbegin(), names.cend());
    const QHash<QString, Entry> stored = storeEntries(extension);
    for (auto entry = stored.cbegin(); entry != stored.cend(); ++entry) {
        const QFileInfo name(entry.key());
        if (!entry->deleted || local.contains(name.completeBaseName()))
            continue;
        if (upload(entry.key(), entry->body, false))
            writeText(m_controller->possiblePathForCustomResourceNamed(name.completeBaseName(), extension, folder),
                      entry->body);
    }
}

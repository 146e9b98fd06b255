// The sync of extras over a store folder that anyone may write: random store
// entries (any name, any key, any shape), random files in the store folder,
// random extras in the local folders and random marks, then the sync's
// passes in a random order (uploads, the store's announcements, downloads
// of single keys, restoring deleted extras). Checks that whatever the store
// holds, nothing is written outside the store and the extras folders, no
// extra lands in a folder other than its kind's, no link is made, the
// store's key and file names map to each other, and no download is left
// marked as running.
#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/extras/tzr_extras_cloud_sync.h"
#include "app/extras/tzr_theme_controller.h"
#include "platform/files/cloud_store.h"
#include "platform/prefs/defaults.h"

namespace {

using Kind = TZRThemeController::Kind;

// A failed check names itself before the abort that reports the input.
#define check(condition) \
    ((condition) ? (void)0 : (fprintf(stderr, "check failed: %s\n", #condition), abort()))

QString g_base;  // this process's folder; one run's folder at a time below it

constexpr Kind kKinds[] = {Kind::Theme, Kind::CSS, Kind::Expansions, Kind::KeyBindings};

QString string(FuzzedDataProvider &input, size_t most) {
    const std::string bytes = input.ConsumeRandomLengthString(most);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// Names as extras are called, as an attacker would call them, or anything.
QString name(FuzzedDataProvider &input) {
    static const char *const names[] = {"Dusk", "a", "Zoë", "x.y", "..", "../evil", "sub/dir", "", ".hidden",
                                        "default", "/etc/passwd"};
    static const char *const extensions[] = {".theme", ".css", ".json", ".keybinding", ".txt", ""};
    if (input.ConsumeBool())
        return QString::fromUtf8(names[input.ConsumeIntegralInRange<size_t>(0, 10)]) +
               QString::fromLatin1(extensions[input.ConsumeIntegralInRange<size_t>(0, 5)]);
    return string(input, 48);
}

// A plain file name of a kind, for the local folders.
QString localName(FuzzedDataProvider &input, Kind kind) {
    QString base = name(input);
    QFileInfo info(base);
    base = info.completeBaseName();
    if (base.isEmpty() || base.contains(u'/') || base.contains(QChar(u'\0')) || base.startsWith(u'.'))
        base = QStringLiteral("x");
    return base + u'.' + TZRThemeController::extensionOf(kind);
}

void write(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// Everything below the run's folder: the store's files, the local extras of
// each kind in their own folder, nothing else, and no link.
void checkFolder(const QString &root, const TZRThemeController &controller) {
    const QStringList bases{root + QStringLiteral("/store"), root + QStringLiteral("/resources"),
                            root + QStringLiteral("/shared"), root + QStringLiteral("/user")};
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        check(!entry.isSymLink());
        if (entry.isDir())
            continue;
        const QString path = entry.absoluteFilePath();
        const QString folder = entry.absolutePath();
        bool placed = folder == bases[0] || folder == bases[1];
        for (Kind kind : kKinds) {
            if (folder == controller.userFolder(kind) ||
                folder == bases[2] + u'/' + TZRThemeController::folderOf(kind))
                placed = placed || entry.suffix() == TZRThemeController::extensionOf(kind);
        }
        check(placed);
        check(path.startsWith(root + u'/'));
    }
    const QStringList runs = QDir(g_base).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    check(runs == QStringList{QFileInfo(root).fileName()});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    new QCoreApplication(*argc, *argv);
    static QTemporaryDir base(QDir::tempPath() + QStringLiteral("/orvane-fuzz-sync-XXXXXX"));
    check(base.isValid());
    g_base = base.path();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    QTemporaryDir run(g_base + QStringLiteral("/run-XXXXXX"));
    check(run.isValid());
    const QString root = run.path();
    TZRThemeController controller(
        {root + QStringLiteral("/resources"), {root + QStringLiteral("/user"), root + QStringLiteral("/shared")}});
    platform::Defaults defaults;
    defaults.setBool(true, QStringLiteral("syncConfigFilesBetweenDevices"));
    platform::CloudStore store(root + QStringLiteral("/store"));
    TZRExtrasCloudSync sync(controller, store, defaults);

    const int steps = input.ConsumeIntegralInRange(1, 24);
    for (int step = 0; step < steps && input.remaining_bytes() > 0; step++) {
        switch (input.ConsumeIntegralInRange(0, 8)) {
        case 0: {  // an entry as some machine wrote it
            const QString fileName = name(input);
            QVariantMap entry;
            switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0:
                entry.insert(QStringLiteral("filename"), input.ConsumeIntegral<int>());
                break;
            case 1:
                break;
            default:
                entry.insert(QStringLiteral("filename"), fileName);
            }
            if (input.ConsumeBool())
                entry.insert(QStringLiteral("body"), string(input, 256));
            entry.insert(QStringLiteral("deleted"), input.ConsumeBool());
            const QString key = input.ConsumeBool() ? TZRExtrasCloudSync::nameKey(fileName) : string(input, 24);
            store.setObject(entry, key);
            break;
        }
        case 1: {  // a file in the store folder, any name and bytes
            const QString fileName = string(input, 40);
            const QByteArray bytes = QByteArray::fromStdString(input.ConsumeRandomLengthString(512));
            if (!fileName.isEmpty() && !fileName.contains(u'/') && !fileName.contains(QChar(u'\0')) &&
                fileName != u"." && fileName != u"..")
                write(root + QStringLiteral("/store/") + fileName, bytes);
            break;
        }
        case 2: {  // a local extra
            const Kind kind = kKinds[input.ConsumeIntegralInRange(0, 3)];
            const QString fileName = localName(input, kind);
            const QString folders[] = {controller.userFolder(kind),
                                       root + QStringLiteral("/shared/") + TZRThemeController::folderOf(kind),
                                       root + QStringLiteral("/resources")};
            write(folders[input.ConsumeIntegralInRange(0, 2)] + u'/' + fileName,
                  QByteArray::fromStdString(input.ConsumeRandomLengthString(256)));
            break;
        }
        case 3:
            defaults.setBool(input.ConsumeBool(), TZRExtrasCloudSync::nameKey(name(input)));
            break;
        case 4:
            sync.syncLocalToCloud();
            break;
        case 5:
            store.synchronize();
            break;
        case 6:
            sync.restoreDeletedExtras();
            break;
        case 7: {
            const QStringList keys = store.dictionaryRepresentation().keys();
            sync.handleCloudChange(keys.isEmpty() || input.ConsumeBool()
                                       ? string(input, 24)
                                       : keys[input.ConsumeIntegralInRange<qsizetype>(0, keys.size() - 1)]);
            break;
        }
        case 8:
            sync.start();
            break;
        }
        check(!sync.isWriting());
    }
    checkFolder(root, controller);

    // Keys and the store's file names stand for each other.
    const QString key = string(input, 64);
    if (!key.isEmpty() && QString::fromUtf8(key.toUtf8()) == key)
        check(platform::CloudStore::keyForFileName(platform::CloudStore::fileNameForKey(key)) == key);
    return 0;
}

// The extras (themes, style sheets, expansion sets, key bindings) kept in step
// with the user's other machines through a key-value store, while
// "syncConfigFilesBetweenDevices" is on.
//
// Every extra is one store entry, keyed by the decimal text of its file
// name's hash (nameKey), holding {"filename": name with extension, "body":
// the file's text, "deleted": whether some machine deleted it}. Entries are
// never removed: they move between present and deleted. A Boolean preference
// under the same key, the local mark, says whether this machine has the
// extra as the store has it (true) or deleted it or took the store's
// deletion (false; also when absent).
//
// Uploads (syncLocalToCloud) compare the local extras with the store after
// every change of a watched extras folder; downloads (handleCloudChange)
// write what other machines changed into the user's folders. The store's
// names are never trusted as paths, a local write that failed never becomes
// a deletion elsewhere, and nothing is deleted outside the user's extras
// folders. Everything runs on the thread that made the object.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>

#include "app/extras/tzr_theme_controller.h"

namespace platform {
class CloudStore;
class Defaults;
}

class TZRExtrasCloudSync : public QObject, public TZRExtrasSync {
    Q_OBJECT
public:
    // The sync of `controller`'s extras through `store`, with the marks and
    // the switch in `defaults`; none is owned. start() sets it going.
    TZRExtrasCloudSync(TZRThemeController &controller, platform::CloudStore &store,
                       platform::Defaults &defaults, QObject *parent = nullptr);
    ~TZRExtrasCloudSync() override;

    // The application's store: "Sync" beside the extras folders in the
    // user's data folder (a link to a folder another tool keeps in step
    // between machines serves as well).
    static QString standardStoreFolder();
    // Makes the application's sync over the shared controller, the store in
    // the standard folder and the user's preferences, and starts it; the
    // controller owns it.
    static TZRExtrasCloudSync *startForSharedController(TZRThemeController *controller);

    // Hears the store and the controller's folder changes, uploads, and
    // takes in what the store holds (its first synchronisation announces
    // every entry). Turning the switch on later does the same.
    void start();

    // With the switch on and no download running: the four kinds in order.
    void syncLocalToCloud() override;
    // Uploads and reconciles the extras of one kind ("theme", "Tessaro
    // Orvane 4/Themes" and so on).
    void syncLocalExtensionWithCloud(const QString &extension, const QString &folder);
    // With the switch on: handleCloudChange for each key, in order.
    void storeDidChange(const QStringList &changedKeys);
    // Writes one entry into the user's folder of its kind (or removes the
    // file there); the switch is its caller's to test.
    void handleCloudChange(const QString &key);
    // Brings back every extra of the four kinds that the store marks
    // deleted and this machine lacks, whatever the switch says.
    void restoreDeletedExtras();
    void restoreDeletedExtrasWithExtension(const QString &extension, const QString &folder);

    // True while handleCloudChange writes into the user's folders.
    bool isWriting() const { return m_isWriting; }

    // The store key and mark key of a file name: the decimal text of the
    // 64-bit FNV-1a hash of its UTF-8 bytes in Unicode normalisation form C,
    // the same on every machine and in every run.
    static quint64 nameHash(const QString &fileName);
    static QString nameKey(const QString &fileName);
    // Whether a name from the store may be used as a file name in an extras
    // folder: one plain, visible file name, no "..", no folder separators,
    // no control characters, a name and an extension.
    static bool isSafeFileName(const QString &fileName);

private:
    struct Entry;
    QHash<QString, Entry> storeEntries(const QString &extension) const;
    bool isMarked(const QString &key) const;
    void setMark(const QString &key, bool present);
    bool upload(const QString &fileName, const QString &body, bool deleted);
    bool enabled() const;

    // Cleared when the controller goes (before its children, this among them).
    QPointer<TZRThemeController> m_controller;
    platform::CloudStore &m_store;
    platform::Defaults &m_defaults;
    std::atomic<bool> m_isWriting{false};
};

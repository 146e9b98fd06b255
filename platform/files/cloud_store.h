// A key-value store kept in a folder: the stand-in for the platform's cloud
// key-value store. Each key is one JSON file, "<key>.json" (the key
// percent-encoded), written atomically, so that several programs, or several
// machines when another tool keeps the folder in step between them, can
// share one store. What other writers change is announced with the keys
// they touched, as the cloud store announces changes from other devices:
// the first synchronize() announces every key there is (the cloud store's
// initial sync), later ones and the folder's watcher what changed since.
//
//   platform::CloudStore store(folder);
//   connect(&store, &platform::CloudStore::didChangeExternally, ...);
//   store.setObject(QVariantMap{{"filename", "a.css"}, ...}, "1234");
//   store.synchronize();
//
// Values are what JSON holds (maps, lists, strings, numbers, Booleans); a
// number written as a Boolean reads back as one. The object belongs to the
// thread that made it, which also hears its announcements.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace platform {

class FolderWatch;

class CloudStore : public QObject {
    Q_OBJECT
public:
    // Reads the folder (made when missing) and watches it.
    explicit CloudStore(const QString &folder, QObject *parent = nullptr);
    ~CloudStore() override;

    QString folder() const { return m_folder; }
    // Whether the folder can be read and written.
    bool isUsable() const { return m_usable; }

    QVariant objectForKey(const QString &key) const;
    QVariantMap dictionaryForKey(const QString &key) const;  // empty unless a map
    QVariantMap dictionaryRepresentation() const;

    // False, with the reason logged, when the value cannot be written (the
    // store then keeps what it had).
    bool setObject(const QVariant &value, const QString &key);
    bool removeObjectForKey(const QString &key);

    // Reads the folder now and announces the keys that others changed.
    void synchronize();

    // The file name of a key, and the key of a file name (empty when the
    // name is no key's).
    static QString fileNameForKey(const QString &key);
    static QString keyForFileName(const QString &fileName);

signals:
    void didChangeExternally(const QStringList &changedKeys);

private:
    struct Entry {
        QVariant value;
        QByteArray bytes;  // the file as last read or written
    };
    // Reads every key's file; returns the keys whose files differ from what
    // was announced (or written) last.
    QStringList rescan();
    void report(const QString &message) const;

    const QString m_folder;
    bool m_usable = false;
    QHash<QString, Entry> m_entries;
    // What the listeners know: the bytes of each key as last announced or
    // written by this store.
    QHash<QString, QByteArray> m_announced;
    std::unique_ptr<FolderWatch> m_watch;
};

}  // namespace platform

#include "platform/files/cloud_store.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>
#include <QUrl>

#include "platform/files/folder_watch.h"
#include "platform/files/folders.h"
#include "platform/runtime/log.h"

namespace platform {

namespace {

const QString kSuffix = QStringLiteral(".json");
const QString kValue = QStringLiteral("value");

}  // namespace

CloudStore::CloudStore(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(QDir::cleanPath(folder)) {
    m_usable = Folders::ensureFolder(m_folder);
    // What is there now is the store's content; the first synchronize()
    // announces it.
    rescan();
    m_announced.clear();
    m_watch = std::make_unique<FolderWatch>(FolderWatch::Depth::OneFolder);
    connect(m_watch.get(), &FolderWatch::changed, this, [this] {
        const QStringList changed = rescan();
        if (!changed.isEmpty())
            emit didChangeExternally(changed);
    });
    if (m_usable && !m_watch->start(m_folder))
        report(QStringLiteral("changes made elsewhere are not seen: %1").arg(m_watch->error()));
}

CloudStore::~CloudStore() = default;

QString CloudStore::fileNameForKey(const QString &key) {
    QString name = QString::fromLatin1(QUrl::toPercentEncoding(key));
    // A leading dot would hide the file.
    if (name.startsWith(u'.'))
        name.replace(0, 1, QStringLiteral("%2E"));
    return name + kSuffix;
}

QString CloudStore::keyForFileName(const QString &fileName) {
    if (!fileName.endsWith(kSuffix) || fileName.size() == kSuffix.size())
        return {};
    const QString key =
        QString::fromUtf8(QByteArray::fromPercentEncoding(fileName.chopped(kSuffix.size()).toLatin1()));
    // Only the names this store writes: anything else in the folder (files
    // being written, other tools' files) is no key.
    return fileNameForKey(key) == fileName ? key : QString();
}

QVariant CloudStore::objectForKey(const QString &key) const { return m_entries.value(key).value; }

QVariantMap CloudStore::dictionaryForKey(const QString &key) const {
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

QVariantMap CloudStore::dictionaryRepresentation() const {
    QVariantMap all;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        all.insert(it.key(), it.value().value);
    return all;
}

bool CloudStore::setObject(const QVariant &value, const QString &key) {
    if (key.isEmpty() || !value.isValid())
        return false;
    const QJsonValue json = QJsonValue::fromVariant(value);
    const QByteArray bytes = QJsonDocument(QJsonObject{{kValue, json}}).toJson(QJsonDocument::Compact);
    QSaveFile file(m_folder + u'/' + fileNameForKey(key));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        report(QStringLiteral("cannot write \"%1\": %2").arg(key, file.errorString()));
        return false;
    }
    // Kept as any reader of the file reads it.
    m_entries.insert(key, {json.toVariant(), bytes});
    m_announced.insert(key, bytes);
    return true;
}

bool CloudStore::removeObjectForKey(const QString &key) {
    QFile file(m_folder + u'/' + fileNameForKey(key));
    if (file.exists() && !file.remove()) {
        report(QStringLiteral("cannot remove \"%1\": %2").arg(key, file.errorString()));
        return false;
    }
    m_entries.remove(key);
    m_announced.remove(key);
    return true;
}

void CloudStore::synchronize() {
    const QStringList changed = rescan();
    if (!changed.isEmpty())
        emit didChangeExternally(changed);
}

QStringList CloudStore::rescan() {
    QHash<QString, Entry> fresh;
    const QStringList names = QDir(m_folder).entryList({QStringLiteral("*") + kSuffix}, QDir::Files);
    for (const QString &name : names) {
        const QString key = keyForFileName(name);
        if (key.isEmpty())
            continue;
        QFile file(m_folder + u'/' + name);
        const auto known = m_entries.constFind(key);
        if (!file.open(QIODevice::ReadOnly)) {
            if (known != m_entries.cend())
                fresh.insert(key, *known);
            continue;
        }
        const QByteArray bytes = file.readAll();
        if (known != m_entries.cend() && known->bytes == bytes) {
            fresh.insert(key, *known);
            continue;
        }
        const QJsonDocument document = QJsonDocument::fromJson(bytes);
        if (!document.isObject() || !document.object().contains(kValue)) {
            // Half written by a tool that does not write atomically, or not
            // ours: what was there before stands until it reads well.
            if (known != m_entries.cend())
                fresh.insert(key, *known);
            continue;
        }
        fresh.insert(key, {document.object().value(kValue).toVariant(), bytes});
    }

    QStringList changed;
    for (auto it = fresh.cbegin(); it != fresh.cend(); ++it) {
        const auto told = m_announced.constFind(it.key());
        if (told == m_announced.cend() || *told != it.value().bytes) {
            changed.append(it.key());
            m_announced.insert(it.key(), it.value().bytes);
        }
    }
    QSet<QString> gone;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        if (!fresh.contains(it.key()))
            gone.insert(it.key());
    for (auto it = m_announced.cbegin(); it != m_announced.cend(); ++it)
        if (!fresh.contains(it.key()))
            gone.insert(it.key());
    for (const QString &key : gone) {
        changed.append(key);
        m_announced.remove(key);
    }
    m_entries = std::move(fresh);
    changed.sort();
    return changed;
}

void CloudStore::report(const QString &message) const {
    qCWarning(lcPlatform).noquote() << QStringLiteral("Key-value store in \"%1\": %2").arg(m_folder, message);
}

}  // namespace platform

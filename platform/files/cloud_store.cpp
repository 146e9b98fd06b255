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
    : QObject(parent), folder_(QDir::cleanPath(folder)) {
    usable_ = Folders::ensureFolder(folder_);
    // What is there now is the store's content; the first synchronize()
    // announces it.
    rescan();
    announced_.clear();
    watch_ = std::make_unique<FolderWatch>(FolderWatch::Depth::OneFolder, [this] {
        const QStringList changed = rescan();
        if (!changed.isEmpty())
            emit didChangeExternally(changed);
    });
    if (usable_ && !watch_->start(folder_))
        report(QStringLiteral("changes made elsewhere are not seen: %1").arg(watch_->error()));
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

QVariant CloudStore::objectForKey(const QString &key) const { return entries_.value(key).value; }

QVariantMap CloudStore::dictionaryForKey(const QString &key) const {
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

QVariantMap CloudStore::dictionaryRepresentation() const {
    QVariantMap all;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
        all.insert(it.key(), it.value().value);
    return all;
}

bool CloudStore::setObject(const QVariant &value, const QString &key) {
    if (key.isEmpty() || !value.isValid())
        return false;
    const QJsonValue json = QJsonValue::fromVariant(value);
    const QByteArray bytes = QJsonDocument(QJsonObject{{kValue, json}}).toJson(QJsonDocument::Compact);
    QSaveFile file(folder_ + u'/' + fileNameForKey(key));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        report(QStringLiteral("cannot write \"%1\": %2").arg(key, file.errorString()));
        return false;
    }
    // Kept as any reader of the file reads it.
    entries_.insert(key, {json.toVariant(), bytes});
    announced_.insert(key, bytes);
    return true;
}

bool CloudStore::removeObjectForKey(const QString &key) {
    QFile file(folder_ + u'/' + fileNameForKey(key));
    if (file.exists() && !file.remove()) {
        report(QStringLiteral("cannot remove \"%1\": %2").arg(key, file.errorString()));
        return false;
    }
    entries_.remove(key);
    announced_.remove(key);
    return true;
}

void CloudStore::synchronize() {
    const QStringList changed = rescan();
    if (!changed.isEmpty())
        emit didChangeExternally(changed);
}

QStringList CloudStore::rescan() {
    QHash<QString, Entry> fresh;
    const QStringList names = QDir(folder_).entryList({QStringLiteral("*") + kSuffix}, QDir::Files);
    for (const QString &name : names) {
        const QString key = keyForFileName(name);
        if (key.isEmpty())
            continue;
        QFile file(folder_ + u'/' + name);
        const auto known = entries_.constFind(key);
        if (!file.open(QIODevice::ReadOnly)) {
            if (known != entries_.cend())
                fresh.insert(key, *known);
            continue;
        }
        const QByteArray bytes = file.readAll();
        if (known != entries_.cend() && known->bytes == bytes) {
            fresh.insert(key, *known);
            continue;
        }
        const QJsonDocument document = QJsonDocument::fromJson(bytes);
        if (!document.isObject() || !document.object().contains(kValue)) {
            // Half written by a tool that does not write atomically, or not
            // ours: what was there before stands until it reads well.
            if (known != entries_.cend())
                fresh.insert(key, *known);
            continue;
        }
        fresh.insert(key, {document.object().value(kValue).toVariant(), bytes});
    }

    QStringList changed;
    for (auto it = fresh.cbegin(); it != fresh.cend(); ++it) {
        const auto told = announced_.constFind(it.key());
        if (told == announced_.cend() || *told != it.value().bytes) {
            changed.append(it.key());
            announced_.insert(it.key(), it.value().bytes);
        }
    }
    QSet<QString> gone;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
        if (!fresh.contains(it.key()))
            gone.insert(it.key());
    for (auto it = announced_.cbegin(); it != announced_.cend(); ++it)
        if (!fresh.contains(it.key()))
            gone.insert(it.key());
    for (const QString &key : gone) {
        changed.append(key);
        announced_.remove(key);
    }
    entries_ = std::move(fresh);
    changed.sort();
    return changed;
}

void CloudStore::report(const QString &message) const {
    qCWarning(lcPlatform).noquote() << QStringLiteral("Key-value store in \"%1\": %2").arg(folder_, message);
}

}  // namespace platform

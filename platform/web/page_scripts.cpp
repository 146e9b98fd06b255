#include "platform/web/page_scripts.h"

#include "platform/runtime/log.h"

#include <QFile>
#include <map>
#include <mutex>

// Outside any namespace, as Qt asks: the files live in this static library.
static void initPageResources() { Q_INIT_RESOURCE(page_scripts); }

namespace platform {

namespace {

void initialiseResources() {
    static std::once_flag resourcesInitialised;
    std::call_once(resourcesInitialised, initPageResources);
}

}  // namespace

bool hasPageResource(QStringView name) {
    initialiseResources();
    return QFile::exists(QStringLiteral(":/page/") + name.toString());
}

const QString &pageResource(QStringView name) {
    initialiseResources();
    static std::mutex lock;
    // A map, whose entries stay where they are as others join them.
    static std::map<QString, QString> texts;
    const std::lock_guard<std::mutex> held(lock);
    const QString key = name.toString();
    auto it = texts.find(key);
    if (it == texts.end()) {
        QFile file(QStringLiteral(":/page/") + key);
        QString text;
        if (file.open(QIODevice::ReadOnly))
            text = QString::fromUtf8(file.readAll());
        else
            qCCritical(lcPlatform) << "The program carries no page file" << key;
        it = texts.emplace(key, std::move(text)).first;
    }
    return it->second;
}

}  // namespace platform

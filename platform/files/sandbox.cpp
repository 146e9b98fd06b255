#include "platform/files/sandbox.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>

namespace platform {

namespace {

// -1: ask the environment; 0 and 1: the answer set.
std::atomic<int> s_sandboxed{-1};

const QLatin1String kPathKey("folder");
const QLatin1String kReadOnlyKey("readOnly");

}  // namespace

bool Sandbox::isSandboxed() {
    const int set = s_sandboxed;
    if (set >= 0)
        return set == 1;
    return qEnvironmentVariableIntValue("ORVANE_SANDBOXED") == 1;
}

void Sandbox::setSandboxed(std::optional<bool> sandboxed) {
    s_sandboxed = sandboxed ? int(*sandboxed) : -1;
}

QByteArray Sandbox::bookmarkData(const QString &path, bool readOnly) {
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return {};
    QJsonObject bookmark{{kPathKey, QFileInfo(path).absoluteFilePath()}, {kReadOnlyKey, readOnly}};
    return QJsonDocument(bookmark).toJson(QJsonDocument::Compact);
}

std::optional<QString> Sandbox::resolveBookmark(const QByteArray &data) {
    const QJsonObject bookmark = QJsonDocument::fromJson(data).object();
    const QString path = bookmark.value(kPathKey).toString();
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

bool Sandbox::startAccessing(const QString &path) {
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

}  // namespace platform

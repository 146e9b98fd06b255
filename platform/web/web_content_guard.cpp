#include "platform/web/web_content_guard.h"

#include "platform/runtime/log.h"

#include <QDir>
#include <QWebEngineProfile>

namespace platform {

namespace {

bool isInSystemScriptFolder(const QUrl &url) {
    if (!url.host().isEmpty())
        return false;
    const QString folder = WebContentGuard::SystemScriptFolder.toString() + u'/';
    return QDir::cleanPath(url.path()).startsWith(folder);
}

}  // namespace

bool WebContentGuard::allows(const QUrl &url, QWebEngineUrlRequestInfo::ResourceType type) {
    if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0)
        return true;
    switch (type) {
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
    case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
    case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
    case QWebEngineUrlRequestInfo::ResourceTypeMedia:
        return true;
    case QWebEngineUrlRequestInfo::ResourceTypeScript:
        return isInSystemScriptFolder(url);
    default:
        return false;
    }
}

void WebContentGuard::protect(QWebEngineProfile *profile) {
    if (!profile || isProtected(profile))
        return;
    profile->setUrlRequestInterceptor(new WebContentGuard(profile));
}

bool WebContentGuard::isProtected(const QWebEngineProfile *profile) {
    return profile && profile->findChild<WebContentGuard *>(QString(), Qt::FindDirectChildrenOnly);
}

void WebContentGuard::interceptRequest(QWebEngineUrlRequestInfo &info) {
    if (allows(info.requestUrl(), info.resourceType()))
        return;
    qCDebug(lcPlatform) << "A page may not load" << info.requestUrl().toDisplayString() << "as resource of type"
                        << int(info.resourceType());
    info.block(true);
}

}  // namespace platform

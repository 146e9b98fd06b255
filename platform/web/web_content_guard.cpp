#include "platform/web/web_content_guard.h"

#include "platform/runtime/log.h"
#include "platform/web/page_scheme.h"
#include "platform/web/page_site.h"

#include <QWebEngineProfile>

namespace platform {

namespace {

using Info = QWebEngineUrlRequestInfo;
using Decision = WebContentGuard::Decision;

const Decision Allowed{Decision::Allow, {}};
const Decision Blocked{Decision::Block, {}};

bool isNetwork(const QUrl &url) {
    static const QStringList schemes = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ws"),
                                        QStringLiteral("wss"), QStringLiteral("ftp")};
    return schemes.contains(url.scheme(), Qt::CaseInsensitive);
}

// Shown by a page, and kept from its scripts when it comes from another
// origin.
bool isShown(Info::ResourceType type) {
    return type == Info::ResourceTypeImage || type == Info::ResourceTypeStylesheet || type == Info::ResourceTypeMedia;
}

Decision decideSite(const PageSite &site, const QUrl &url, Info::ResourceType type, const QUrl &initiator) {
    if (type == Info::ResourceTypeMainFrame)
        return site.isPage(url) && initiator.isEmpty() ? Allowed : Blocked;
    if (PageSite::forOrigin(initiator) != &site)
        return Blocked;
    const bool font = type == Info::ResourceTypeFontResource && PageScheme::isFontName(url.path());
    const bool shown =
        isShown(type) && (type != Info::ResourceTypeStylesheet || PageScheme::isStyleSheetName(url.path()));
    if (!font && !shown)
        return Blocked;
    // Only what lies below the folder: an address that climbed out of it
    // stands for a file a click may open, never for one a page shows.
    const std::optional<QByteArray> path = site.folderPathOf(url);
    if (!path || !site.hasFolderFile(*path))
        return Blocked;
    return shown ? Decision{Decision::Redirect, site.folderFileUrl(*path)} : Allowed;
}

Decision decideFile(const QUrl &url, Info::ResourceType type, const QUrl &initiator) {
    const PageSite *site = PageSite::forOrigin(initiator);
    const std::optional<QByteArray> path = site ? site->folderPathOf(url) : std::nullopt;
    if (!path || !site->hasFolderFile(*path))
        return Blocked;
    if (isShown(type))
        return type != Info::ResourceTypeStylesheet || PageScheme::isStyleSheetName(url.path()) ? Allowed : Blocked;
    if (type == Info::ResourceTypeFontResource && PageScheme::isFontName(url.path())) {
        // A style sheet of the folder names its fonts by the folder's file:
        // address; the engine loads fonts of its own origin only.
        return {Decision::Redirect, site->siteUrlOf(*path)};
    }
    return Blocked;
}

}  // namespace

WebContentGuard::Decision WebContentGuard::decide(const QUrl &url, Info::ResourceType type, const QUrl &initiator) {
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String(PageScheme::Name)) {
        if (url.host() == PageScheme::ScriptHost) {
            const bool script = type == Info::ResourceTypeScript || type == Info::ResourceTypeStylesheet ||
                                type == Info::ResourceTypeFontResource || type == Info::ResourceTypeImage;
            return script ? Allowed : Blocked;
        }
        if (url.host() == PageScheme::ProgramHost)
            return type == Info::ResourceTypeScript ? Allowed : Blocked;
        const PageSite *site = PageSite::forHost(url.host());
        return site ? decideSite(*site, url, type, initiator) : Blocked;
    }
    if (scheme == QLatin1String("file"))
        return decideFile(url, type, initiator);
    if (isNetwork(url))
        return Blocked;
    return Allowed;
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
    const Decision decision = decide(info.requestUrl(), info.resourceType(), info.initiator());
    switch (decision.kind) {
    case Decision::Allow:
        return;
    case Decision::Redirect:
        info.redirect(decision.to);
        return;
    case Decision::Block:
        qCDebug(lcPlatform) << "A page may not load" << loggedAddress(info.requestUrl()) << "as resource of type"
                            << int(info.resourceType());
        info.block(true);
        return;
    }
}

}  // namespace platform

// What the program's web pages may load from this machine.
//
// The preview shows documents the program did not write, raw HTML and
// scripts included, at the document's own file: address; to the web engine
// that page may load any file: address as its own. So, for file: addresses
// only:
// - what a page shows loads: pictures, style sheets, fonts, sound and video
//   (the engine keeps their bytes from the page's scripts; the pixels of a
//   picture or a video drawn into a canvas are kept from them by the
//   engine's start-up flags, platform/web/engine_flags.h);
// - scripts load only from the folder of the system's shared script packages
//   (where the preview's MathJax and highlight.js come from): a script of any
//   other file would tell its first words through the error it raises;
// - nothing else: a script's reads (XMLHttpRequest, fetch), frames, objects,
//   workers, prefetches, pings, the page itself and anything the engine
//   does not name are refused.
// Other schemes are not this guard's business.
//
// protect() puts the guard on a profile, once; it then covers every page of
// that profile, and the workers the pages start. The guard is the profile's
// child. Main thread only (the engine asks it there).
#pragma once

#include <QUrl>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

class QWebEngineProfile;

namespace platform {

class WebContentGuard : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT

public:
    // The folder of the system's shared script packages.
    static constexpr QStringView SystemScriptFolder = u"/usr/share/javascript";

    // Whether a page may load `url` as `type`.
    static bool allows(const QUrl &url, QWebEngineUrlRequestInfo::ResourceType type);

    // Guards every page of `profile` from now on; a profile guarded already
    // keeps its guard.
    static void protect(QWebEngineProfile *profile);
    static bool isProtected(const QWebEngineProfile *profile);

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;

private:
    explicit WebContentGuard(QObject *parent) : QWebEngineUrlRequestInterceptor(parent) {}
};

}  // namespace platform
